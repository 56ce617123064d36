// The forwarder: a thread of each process that opens a queue on another computer for
// sending, which publishes the machine's outgoing messages to the broker.
//
// Why a thread of the senders rather than a service of its own: a send must never wait
// for the broker, but its messages must leave without an operator having to start
// anything, and the process that sends (the host serving the module) is the one that is
// running whenever there is something to forward. Several processes may send; a lock file
// in the storage elects one forwarder per machine, and when its process ends (or is
// killed) the system drops the lock and another sender's thread takes over. Messages a
// killed process left behind go with the next process that opens a remote queue for
// sending (`quillmere queue forward` is such a process, for an operator who wants them
// gone without sending anything new).
//
// Order: messages are published in the order they were committed, on one channel, so each
// machine's messages reach the broker's queue in order; one published again after a lost
// confirm follows its first copy, and the receiver drops it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace mqrt {

enum class LinkState;

class Forwarder {
 public:
  static Forwarder& Instance();
  // Stops and joins the thread: the runtime is being unloaded.
  static void Release();

  // Starts the thread unless this process runs it already.
  void Start();
  // New outgoing messages from this process.
  void Wake();

 private:
  Forwarder() = default;
  ~Forwarder();
  void Run();
  // Records the link's state and writes an event when it changed.
  void Report(LinkState state, const std::string& reason);
  void Pause(std::chrono::milliseconds pause);
  void StopAtExit();

  std::mutex mutex_;
  std::condition_variable woken_;
  bool work_ = false;
  bool running_ = false;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  int owner_ = 0;
};

}  // namespace mqrt
