// A forked child that stands for another program on the same machine: it runs
// body(go, done) once the parent says go, and exits with its result; it reads further
// words of the parent from go and writes its own to done.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

namespace winport_tests {

class Child {
 public:
  template <typename Body>
  explicit Child(Body body) {
    int go[2];
    int done[2];
    if (::pipe(go) != 0 || ::pipe(done) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(go[1]);
      ::close(done[0]);
      char byte;
      const bool started = ::read(go[0], &byte, 1) == 1;
      ::_exit(started ? body(go[0], done[1]) : 100);
    }
    ::close(go[0]);
    ::close(done[1]);
    go_ = go[1];
    done_ = done[0];
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (go_ >= 0) ::close(go_);
    if (done_ >= 0) ::close(done_);
    if (pid_ > 0 && !reaped_) Wait();
  }
  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // The end the parent reads the child's words from.
  int done() const { return done_; }
  void Go() { (void)!::write(go_, "g", 1); }
  // Waits for the child to write a byte to its done.
  bool Signalled() {
    char byte;
    return ::read(done_, &byte, 1) == 1;
  }
  // The child's exit status, -1 when it did not exit.
  int Wait() {
    int status = 0;
    reaped_ = true;
    if (::waitpid(pid_, &status, 0) != pid_ || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }

 private:
  pid_t pid_ = -1;
  int go_ = -1;
  int done_ = -1;
  bool reaped_ = false;
};

}  // namespace winport_tests
