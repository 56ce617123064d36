// The HTTP side of the host: libmicrohttpd with a pool of worker threads, each of which
// joins the COM multithreaded apartment before it first runs a handler. Request bodies
// are held up to a cap (413 beyond it, the rest discarded unread into memory); every
// request is logged as one line. Stop() is graceful: the listening socket closes first,
// requests already being served are answered, then the daemon stops.
//
// Slow and many clients: the library waits for every connection with epoll in its pool
// threads, so a connection that is only sending costs memory and a descriptor, never a
// thread. Each request has a deadline for the whole of it (headers, body, and taking the
// answer), counted from the connection's start or the end of its previous request: the
// library's own timeout is one of inactivity, which a header line every few seconds resets.
// Connections are limited per client address and in total; TLS is 1.2 or newer.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "host/server/host_log.h"
#include "host/server/http_message.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace quillmere::host {

struct HttpServerOptions {
  std::string address = "127.0.0.1";  // IPv4 or IPv6 literal
  uint16_t port = 8080;               // 0: any free port
  unsigned threads = 4;
  size_t maxBodyBytes = 1 << 20;
  std::string tlsCertificate;  // PEM text; both set: HTTPS
  std::string tlsKey;
  unsigned idleTimeoutSeconds = 60;
  unsigned requestDeadlineSeconds = 30;
  unsigned maxConnections = 4096;  // in total; more wait in the listening queue
  unsigned maxConnectionsPerClient = 64;
};

using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;

// What the worker pool is doing right now.
struct PoolActivity {
  unsigned threads = 0;
  unsigned busy = 0;    // requests being handled
  unsigned queued = 0;  // requests received in part, waiting for their body
  unsigned long long completed = 0;

  bool operator==(const PoolActivity&) const = default;
};

class HttpServer {
 public:
  // Starts listening; throws std::runtime_error when it cannot.
  HttpServer(HttpServerOptions options, HttpHandler handler, HostLog& log);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  uint16_t Port() const { return port_; }
  PoolActivity Activity() const;
  // Idempotent. Requests in flight get up to `grace` to finish.
  void Stop(std::chrono::milliseconds grace = std::chrono::seconds(30));

 private:
  friend struct HttpCallbacks;  // the library's callbacks, in the .cpp

  HttpResponse Handle(const HttpRequest& request);

  // Each open connection's socket and when it must have sent its request; max(): none due.
  struct Deadline {
    int socket = -1;
    std::chrono::steady_clock::time_point due;
  };
  void Opened(MHD_Connection* connection, int socket);
  void Closed(MHD_Connection* connection);
  void Restart(MHD_Connection* connection, bool timed);
  // Closes the connections past their deadline, until the server stops.
  void Sweep();

  const HttpServerOptions options_;
  const HttpHandler handler_;
  HostLog& log_;
  MHD_Daemon* daemon_ = nullptr;
  uint16_t port_ = 0;

  mutable std::mutex mutex_;
  std::condition_variable idle_;
  unsigned inFlight_ = 0;
  unsigned long long completed_ = 0;
  std::atomic<unsigned> busy_{0};
  bool stopped_ = false;
  bool closing_ = false;  // no request starts any more

  std::mutex deadlinesMutex_;
  std::condition_variable sweepWake_;
  bool sweeping_ = true;
  std::unordered_map<MHD_Connection*, Deadline> deadlines_;
  std::thread sweeper_;
};

}  // namespace quillmere::host
