// The floor for the host's end-to-end figures: libmicrohttpd with the host's daemon flags
// and thread pool, reading the request body and answering a fixed 2 KB document, nothing
// else. bench/host_bench.py runs wrk against it and against `quillmere serve` in one run.
//
//   bare_http_server [--threads N] [--timeout SECONDS]
//
// Listens on 127.0.0.1 on a free port, prints "Listening on PORT" and serves until
// SIGTERM or SIGINT.
#include <microhttpd.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// A SOAP-shaped answer of exactly 2048 bytes, so the wire carries what the host sends.
std::string FixedAnswer() {
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
      "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><XMLDATA>";
  const std::string tail = "</XMLDATA></soap:Body></soap:Envelope>";
  return head + std::string(2048 - head.size() - tail.size(), 'x') + tail;
}

const std::string& Answer() {
  static const std::string answer = FixedAnswer();
  return answer;
}

// The first call sees the headers, the next ones the body in pieces, the last one nothing:
// then the answer is queued, as the host does.
MHD_Result Access(void*, MHD_Connection* connection, const char*, const char*, const char*,
                  const char*, size_t* uploadSize, void** state) {
  static int begun;
  if (*state == nullptr) {
    *state = &begun;
    return MHD_YES;
  }
  if (*uploadSize != 0) {
    *uploadSize = 0;
    return MHD_YES;
  }
  MHD_Response* reply = MHD_create_response_from_buffer(
      Answer().size(), const_cast<char*>(Answer().data()), MHD_RESPMEM_PERSISTENT);
  if (reply == nullptr) return MHD_NO;
  MHD_add_response_header(reply, MHD_HTTP_HEADER_CONTENT_TYPE, "text/xml; charset=utf-8");
  const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, reply);
  MHD_destroy_response(reply);
  return queued;
}

unsigned Number(const char* text, const char* option) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (*text == '\0' || *end != '\0' || value == 0 || value > 256) {
    std::fprintf(stderr, "%s: expected 1 to 256\n", option);
    std::exit(2);
  }
  return static_cast<unsigned>(value);
}

}  // namespace

int main(int argc, char** argv) {
  unsigned threads = 4;   // the host's default --threads
  unsigned timeout = 60;  // the host's idle connection timeout
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view option = argv[i];
    if (option == "--threads") {
      threads = Number(argv[i + 1], argv[i]);
    } else if (option == "--timeout") {
      timeout = Number(argv[i + 1], argv[i]);
    } else {
      std::fprintf(stderr, "usage: %s [--threads N] [--timeout SECONDS]\n", argv[0]);
      return 2;
    }
  }
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGINT);
  // Blocked before the pool starts, so only sigwait below sees them.
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO | MHD_USE_ITC;
  MHD_Daemon* daemon = MHD_start_daemon(
      flags, 0, nullptr, nullptr, &Access, nullptr, MHD_OPTION_SOCK_ADDR, &address,
      MHD_OPTION_THREAD_POOL_SIZE, threads, MHD_OPTION_CONNECTION_TIMEOUT, timeout, MHD_OPTION_END);
  if (daemon == nullptr) {
    std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
    return 1;
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_BIND_PORT);
  std::printf("Listening on %u\n", info != nullptr ? info->port : 0u);
  std::fflush(stdout);
  int signal = 0;
  sigwait(&stops, &signal);
  MHD_stop_daemon(daemon);
  return 0;
}
