#include "host/server/http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include <winport/scoped_com_init.h>
#include <winport/windows.h>

#include "host/common/ascii_case.h"

namespace quillmere::host {
namespace {

using Clock = std::chrono::steady_clock;

// GnuTLS' usual choices without SSL 3.0, TLS 1.0 and 1.1, and DTLS.
constexpr const char* kTlsPriorities = "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2";
constexpr auto kSweepInterval = std::chrono::milliseconds(250);

// A request between the library's callbacks: its body so far and whether it outgrew the cap;
// a request refused from its headers alone carries its answer.
struct Exchange {
  HttpRequest request;
  Clock::time_point started = Clock::now();
  bool tooLarge = false;
  std::optional<HttpResponse> refusal;
};

// How the body's end is told: by Content-Length or by chunks, never both, never two lengths
// (a proxy in front may have read the other one).
struct Framing {
  unsigned lengths = 0;
  bool transferEncoding = false;
};
MHD_Result CountFraming(void* into, MHD_ValueKind, const char* key, const char*) {
  auto& framing = *static_cast<Framing*>(into);
  if (strcasecmp(key, "content-length") == 0) ++framing.lengths;
  if (strcasecmp(key, "transfer-encoding") == 0) framing.transferEncoding = true;
  return MHD_YES;
}

MHD_Result Collect(void* into, MHD_ValueKind, const char* key, const char* value, bool lowerCase) {
  auto& values = *static_cast<std::map<std::string, std::string>*>(into);
  values[lowerCase ? AsciiLower(key) : std::string(key)] = value != nullptr ? value : "";
  return MHD_YES;
}
MHD_Result CollectHeader(void* into, MHD_ValueKind kind, const char* key, const char* value) {
  return Collect(into, kind, key, value, true);
}
MHD_Result CollectArgument(void* into, MHD_ValueKind kind, const char* key, const char* value) {
  return Collect(into, kind, key, value, false);
}

// The listening address for the library: IPv4 or IPv6 by the literal's form.
struct SocketAddress {
  sockaddr_storage storage{};
  bool v6 = false;
};

SocketAddress ParseAddress(const std::string& address, uint16_t port) {
  SocketAddress parsed;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&parsed.storage);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&parsed.storage);
  if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
  } else if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    parsed.v6 = true;
  } else {
    throw std::runtime_error("not an IP address: " + address);
  }
  return parsed;
}

std::string PeerAddress(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (info == nullptr || info->client_addr == nullptr) return {};
  const sockaddr* peer = info->client_addr;
  if (peer->sa_family == AF_INET) {
    // By hand: the library's formatting goes through sprintf, on every request.
    const auto* bytes = reinterpret_cast<const unsigned char*>(
        &reinterpret_cast<const sockaddr_in*>(peer)->sin_addr);
    std::string text;
    for (int i = 0; i < 4; ++i) {
      if (i > 0) text += '.';
      text += std::to_string(bytes[i]);
    }
    return text;
  }
  char text[INET6_ADDRSTRLEN] = {};
  const void* address =
      peer->sa_family == AF_INET6
          ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(peer)->sin6_addr)
          : &reinterpret_cast<const sockaddr_in*>(peer)->sin_addr;
  return inet_ntop(peer->sa_family, address, text, sizeof text) != nullptr ? text : "";
}

void FreeBody(void* body) {
  delete static_cast<std::string*>(body);
}

}  // namespace

struct HttpCallbacks {
  static MHD_Result Access(void* self, MHD_Connection* connection, const char* url,
                           const char* method, const char*, const char* uploadData,
                           size_t* uploadSize, void** state) {
    auto& server = *static_cast<HttpServer*>(self);
    if (*state == nullptr) return Begin(server, connection, url, method, state);
    auto& exchange = *static_cast<Exchange*>(*state);
    if (*uploadSize != 0) {
      // Beyond the cap the rest is read and dropped: the client still gets its 413.
      if (!exchange.tooLarge &&
          exchange.request.body.size() + *uploadSize > server.options_.maxBodyBytes) {
        exchange.tooLarge = true;
        exchange.request.body.clear();
        exchange.request.body.shrink_to_fit();
      }
      if (!exchange.tooLarge) exchange.request.body.append(uploadData, *uploadSize);
      *uploadSize = 0;
      return MHD_YES;
    }
    return Answer(server, connection, exchange);
  }

  static MHD_Result Begin(HttpServer& server, MHD_Connection* connection, const char* url,
                          const char* method, void** state) {
    {
      // Once the last request in progress is answered, the stop closes what arrives after.
      std::lock_guard hold(server.mutex_);
      if (server.closing_) return MHD_NO;
      ++server.inFlight_;
    }
    auto exchange = std::make_unique<Exchange>();
    exchange->request.method = method;
    exchange->request.path = url;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, CollectHeader,
                              &exchange->request.headers);
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, CollectArgument,
                              &exchange->request.arguments);
    exchange->request.client = PeerAddress(connection);
    Exchange& started = *exchange;
    *state = exchange.release();
    // Refused before any of the body is read; the library closes the connection after.
    Framing framing;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, CountFraming, &framing);
    if (framing.lengths > 1 || (framing.lengths == 1 && framing.transferEncoding)) {
      started.refusal = PlainResponse(MHD_HTTP_BAD_REQUEST,
                                      "Send one Content-Length, or Transfer-Encoding without one");
      return Answer(server, connection, started);
    }
    const std::string length = started.request.Header("content-length");
    if (!length.empty() &&
        std::strtoull(length.c_str(), nullptr, 10) > server.options_.maxBodyBytes) {
      started.tooLarge = true;
      return Answer(server, connection, started);
    }
    return MHD_YES;
  }

  static MHD_Result Answer(HttpServer& server, MHD_Connection* connection, Exchange& exchange) {
    // The request is in: the time the handler takes is not the client's.
    server.Restart(connection, false);
    HttpResponse response =
        exchange.refusal    ? *exchange.refusal
        : exchange.tooLarge ? PlainResponse(MHD_HTTP_CONTENT_TOO_LARGE, "Request body too large")
                            : server.Handle(exchange.request);
    // The library takes the body over rather than copying it.
    auto body = std::make_unique<std::string>(std::move(response.body));
    MHD_Response* reply = MHD_create_response_from_buffer_with_free_callback_cls(
        body->size(), body->data(), &FreeBody, body.get());
    if (reply == nullptr) return MHD_NO;
    body.release();
    MHD_add_response_header(reply, MHD_HTTP_HEADER_CONTENT_TYPE, response.contentType.c_str());
    for (const auto& [name, value] : response.headers) {
      MHD_add_response_header(reply, name.c_str(), value.c_str());
    }
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(response.status), reply);
    MHD_destroy_response(reply);
    server.Restart(connection, true);  // the client has the deadline to take the answer
    Log(server, exchange, response);
    return queued;
  }

  static void Log(HttpServer& server, const Exchange& exchange, const HttpResponse& response) {
    if (!server.log_.Enabled(LogLevel::Info)) return;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - exchange.started);
    const std::string& label =
        response.logLabel.empty() ? exchange.request.path : response.logLabel;
    server.log_.Write(LogLevel::Info, exchange.request.method + " " + label + " " +
                                          std::to_string(response.status) + " " +
                                          std::to_string(elapsed.count()) + " ms");
  }

  // The library's own messages (a refused bind, a TLS handshake gone wrong) join the log.
  static void LibraryMessage(void* self, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
      line.pop_back();
    static_cast<HttpServer*>(self)->log_.Write(LogLevel::Warning, "http: " + line);
  }

  static void Connection(void* self, MHD_Connection* connection, void**,
                         MHD_ConnectionNotificationCode code) {
    auto& server = *static_cast<HttpServer*>(self);
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) return server.Closed(connection);
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (info != nullptr) server.Opened(connection, info->connect_fd);
  }

  static void Completed(void* self, MHD_Connection* connection, void** state,
                        MHD_RequestTerminationCode) {
    auto& server = *static_cast<HttpServer*>(self);
    server.Restart(connection, true);  // a kept-alive connection's next request
    std::unique_ptr<Exchange> exchange(static_cast<Exchange*>(*state));
    *state = nullptr;
    if (!exchange) return;
    std::lock_guard hold(server.mutex_);
    ++server.completed_;
    if (--server.inFlight_ == 0) server.idle_.notify_all();
  }
};

HttpServer::HttpServer(HttpServerOptions options, HttpHandler handler, HostLog& log)
    : options_(std::move(options)), handler_(std::move(handler)), log_(log) {
  const SocketAddress address = ParseAddress(options_.address, options_.port);
  // epoll: an open connection costs no thread, and there is no FD_SETSIZE bound.
  unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_ITC | MHD_USE_ERROR_LOG;
  if (address.v6) flags |= MHD_USE_IPv6;
  const bool tls = !options_.tlsCertificate.empty() || !options_.tlsKey.empty();
  if (tls) {
    if (options_.tlsCertificate.empty() || options_.tlsKey.empty()) {
      throw std::runtime_error("TLS needs both a certificate and a key");
    }
    if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
      throw std::runtime_error("this libmicrohttpd was built without TLS");
    }
    flags |= MHD_USE_TLS;
  }
  std::vector<MHD_OptionItem> settings{
      {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&HttpCallbacks::LibraryMessage),
       this},
      {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&HttpCallbacks::Completed), this},
      {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&HttpCallbacks::Connection), this},
      // The pool's threads share the total; each needs one at least.
      {MHD_OPTION_CONNECTION_LIMIT,
       std::max(std::max(1u, options_.threads), options_.maxConnections), nullptr},
      {MHD_OPTION_PER_IP_CONNECTION_LIMIT, std::max(1u, options_.maxConnectionsPerClient), nullptr},
      {MHD_OPTION_SOCK_ADDR, 0, const_cast<sockaddr_storage*>(&address.storage)},
      {MHD_OPTION_THREAD_POOL_SIZE, std::max(1u, options_.threads), nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, options_.idleTimeoutSeconds, nullptr}};
  if (tls) {
    settings.push_back(
        {MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(options_.tlsCertificate.c_str())});
    settings.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(options_.tlsKey.c_str())});
    settings.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(kTlsPriorities)});
  }
  settings.push_back({MHD_OPTION_END, 0, nullptr});
  daemon_ = MHD_start_daemon(flags, options_.port, nullptr, nullptr, &HttpCallbacks::Access, this,
                             MHD_OPTION_ARRAY, settings.data(), MHD_OPTION_END);
  if (daemon_ == nullptr) {
    throw std::runtime_error("cannot listen on " + options_.address + ":" +
                             std::to_string(options_.port));
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
  port_ = info != nullptr ? info->port : options_.port;
  sweeper_ = std::thread([this] { Sweep(); });
}

HttpServer::~HttpServer() {
  Stop();
}

PoolActivity HttpServer::Activity() const {
  std::lock_guard hold(mutex_);
  const unsigned busy = busy_.load();
  return {options_.threads, busy, inFlight_ > busy ? inFlight_ - busy : 0, completed_};
}

void HttpServer::Stop(std::chrono::milliseconds grace) {
  {
    std::lock_guard hold(mutex_);
    if (stopped_) return;
    stopped_ = true;
  }
  const MHD_socket listening = MHD_quiesce_daemon(daemon_);
  if (listening != MHD_INVALID_SOCKET) close(listening);
  {
    std::unique_lock hold(mutex_);
    idle_.wait_for(hold, grace, [&] { return inFlight_ == 0; });
    closing_ = true;
  }
  MHD_stop_daemon(daemon_);
  daemon_ = nullptr;
  {
    std::lock_guard hold(deadlinesMutex_);
    sweeping_ = false;
  }
  sweepWake_.notify_all();
  sweeper_.join();
}

void HttpServer::Opened(MHD_Connection* connection, int socket) {
  const auto due = Clock::now() + std::chrono::seconds(options_.requestDeadlineSeconds);
  std::lock_guard hold(deadlinesMutex_);
  deadlines_[connection] = {socket, due};
}

void HttpServer::Closed(MHD_Connection* connection) {
  // The library closes the socket after this: the sweep never sees a number reused.
  std::lock_guard hold(deadlinesMutex_);
  deadlines_.erase(connection);
}

void HttpServer::Restart(MHD_Connection* connection, bool timed) {
  const auto due = timed ? Clock::now() + std::chrono::seconds(options_.requestDeadlineSeconds)
                         : Clock::time_point::max();
  std::lock_guard hold(deadlinesMutex_);
  const auto found = deadlines_.find(connection);
  if (found != deadlines_.end()) found->second.due = due;
}

void HttpServer::Sweep() {
  std::unique_lock hold(deadlinesMutex_);
  while (!sweepWake_.wait_for(hold, kSweepInterval, [&] { return !sweeping_; })) {
    const auto now = Clock::now();
    unsigned cut = 0;
    for (auto& [connection, deadline] : deadlines_) {
      if (deadline.due > now) continue;
      // The connection's own thread sees the end of the stream and closes it as usual.
      shutdown(deadline.socket, SHUT_RDWR);
      deadline.due = Clock::time_point::max();
      ++cut;
    }
    if (cut == 0) continue;
    hold.unlock();
    log_.Write(LogLevel::Warning, "closed " + std::to_string(cut) +
                                      " connection(s) that had not sent their request within " +
                                      std::to_string(options_.requestDeadlineSeconds) + " s");
    hold.lock();
  }
}

HttpResponse HttpServer::Handle(const HttpRequest& request) {
  // Each worker thread stays in the multithreaded apartment for its lifetime.
  thread_local const winport::ScopedComInit apartment(COINIT_MULTITHREADED);
  if (!apartment.Succeeded()) return PlainResponse(500, "Worker thread has no COM apartment");
  ++busy_;
  HttpResponse response;
  try {
    response = handler_(request);
  } catch (const std::exception& error) {
    log_.Write(LogLevel::Error, std::string("request failed: ") + error.what());
    response = PlainResponse(500, "Internal server error");
  }
  --busy_;
  return response;
}

}  // namespace quillmere::host
