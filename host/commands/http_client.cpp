#include "host/commands/http_client.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>

#include <winport/scoped_generic.h>

#include "host/commands/command_support.h"

namespace quillmere::host {
namespace {

struct SocketTraits {
  using Handle = int;
  static int InvalidValue() { return -1; }
  static bool IsValid(int fd) { return fd >= 0; }
  static void Close(int fd) { ::close(fd); }
};
using Socket = winport::ScopedGeneric<SocketTraits>;

using AddressList = std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)>;

std::string Where(const HttpUrl& url) {
  return url.host + ":" + std::to_string(url.port);
}

Socket Connect(const HttpUrl& url) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int resolved =
      ::getaddrinfo(url.host.c_str(), std::to_string(url.port).c_str(), &hints, &found);
  if (resolved != 0) {
    throw CommandFailure("cannot find " + url.host + ": " + ::gai_strerror(resolved));
  }
  const AddressList addresses(found, &::freeaddrinfo);
  int error = 0;
  for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
    Socket socket(
        ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC, address->ai_protocol));
    if (socket.IsValid() && ::connect(socket.Get(), address->ai_addr, address->ai_addrlen) == 0)
      return socket;
    error = errno;
  }
  throw CommandFailure("cannot connect to " + Where(url) + ": " + std::strerror(error));
}

void SendAll(const Socket& socket, std::string_view data) {
  while (!data.empty()) {
    const ssize_t sent = ::send(socket.Get(), data.data(), data.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0)
      throw CommandFailure(std::string("sending the request: ") + std::strerror(errno));
    data.remove_prefix(static_cast<size_t>(sent));
  }
}

// The request says Connection: close, so the answer ends where the stream does.
std::string ReceiveAll(const Socket& socket) {
  std::string received;
  char buffer[16384];
  for (;;) {
    const ssize_t count = ::recv(socket.Get(), buffer, sizeof buffer, 0);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) throw CommandFailure(std::string("reading the answer: ") + std::strerror(errno));
    if (count == 0) return received;
    received.append(buffer, static_cast<size_t>(count));
  }
}

bool StartsWithNoCase(std::string_view text, std::string_view start) {
  if (text.size() < start.size()) return false;
  for (size_t i = 0; i < start.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != start[i]) return false;
  return true;
}

std::string Unchunk(std::string_view chunked) {
  std::string body;
  for (;;) {
    const size_t lineEnd = chunked.find("\r\n");
    size_t size = 0;
    const auto [end, error] = std::from_chars(chunked.data(), chunked.data() + lineEnd, size, 16);
    if (lineEnd == std::string_view::npos || error != std::errc() ||
        chunked.size() - lineEnd - 2 < size) {
      throw CommandFailure("the answer's chunked body is cut short");
    }
    if (size == 0) return body;
    body.append(chunked.substr(lineEnd + 2, size));
    const size_t next = lineEnd + 2 + size + 2;  // the chunk's own line end too
    if (next > chunked.size()) throw CommandFailure("the answer's chunked body is cut short");
    chunked.remove_prefix(next);
  }
}

HttpAnswer ReadAnswer(std::string_view received) {
  const size_t headersEnd = received.find("\r\n\r\n");
  const size_t statusEnd = received.find("\r\n");
  if (headersEnd == std::string_view::npos || !received.starts_with("HTTP/1.") || statusEnd < 12 ||
      received[8] != ' ') {
    throw CommandFailure("the answer is not HTTP");
  }
  HttpAnswer answer;
  std::from_chars(received.data() + 9, received.data() + 12, answer.status);
  answer.reason = std::string(received.substr(13, statusEnd > 13 ? statusEnd - 13 : 0));
  std::string_view headers = received.substr(statusEnd + 2, headersEnd - statusEnd);
  bool chunked = false;
  std::optional<size_t> length;
  while (!headers.empty()) {
    const size_t end = headers.find("\r\n");
    const std::string_view line = headers.substr(0, end);
    if (StartsWithNoCase(line, "transfer-encoding:") &&
        line.find("chunked") != std::string_view::npos) {
      chunked = true;
    } else if (StartsWithNoCase(line, "content-length:")) {
      size_t value = 0;
      std::string_view digits = line.substr(15);
      while (!digits.empty() && digits.front() == ' ')
        digits.remove_prefix(1);
      std::from_chars(digits.data(), digits.data() + digits.size(), value);
      length = value;
    }
    headers.remove_prefix(end == std::string_view::npos ? headers.size() : end + 2);
  }
  const std::string_view body = received.substr(headersEnd + 4);
  if (chunked) {
    answer.body = Unchunk(body);
  } else if (length) {
    if (body.size() < *length) throw CommandFailure("the answer is cut short");
    answer.body = std::string(body.substr(0, *length));
  } else {
    answer.body = std::string(body);
  }
  return answer;
}

}  // namespace

std::optional<HttpUrl> ParseHttpUrl(std::string_view text) {
  constexpr std::string_view kScheme = "http://";
  if (!text.starts_with(kScheme)) return std::nullopt;
  text.remove_prefix(kScheme.size());
  const size_t slash = text.find('/');
  std::string_view authority = text.substr(0, slash);
  HttpUrl url;
  url.path = slash == std::string_view::npos ? "/" : std::string(text.substr(slash));
  std::string_view port;
  if (authority.starts_with("[")) {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    url.host = std::string(authority.substr(1, close - 1));
    const std::string_view rest = authority.substr(close + 1);
    if (!rest.empty() && !rest.starts_with(":")) return std::nullopt;
    port = rest.empty() ? rest : rest.substr(1);
  } else {
    const size_t colon = authority.find(':');
    url.host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos) port = authority.substr(colon + 1);
    if (colon != std::string_view::npos && port.empty()) return std::nullopt;
  }
  if (url.host.empty() || url.host.find_first_of("@/ ") != std::string::npos) return std::nullopt;
  if (!port.empty()) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (error != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535)
      return std::nullopt;
    url.port = static_cast<uint16_t>(value);
  }
  return url;
}

HttpAnswer PostHttp(const HttpUrl& url,
                    const std::vector<std::pair<std::string, std::string>>& headers,
                    std::string_view body) {
  const bool ipv6 = url.host.find(':') != std::string::npos;
  std::string request =
      "POST " + url.path + " HTTP/1.1\r\nHost: " + (ipv6 ? "[" + url.host + "]" : url.host) + ":" +
      std::to_string(url.port) +
      "\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  for (const auto& [name, value] : headers)
    request += name + ": " + value + "\r\n";
  request += "\r\n";
  request += body;
  const Socket socket = Connect(url);
  SendAll(socket, request);
  return ReadAnswer(ReceiveAll(socket));
}

}  // namespace quillmere::host
