#include "raw_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace host_testing {

RawReply SendRaw(uint16_t port, const std::string& request) {
  RawReply reply;
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return reply;
  }
  // The server may answer and close before taking the whole request; that is no failure.
  for (size_t sent = 0; sent < request.size();) {
    const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  std::string answer;
  char buffer[4096];
  for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
    answer.append(buffer, n);
  close(fd);
  const size_t split = answer.find("\r\n\r\n");
  if (answer.rfind("HTTP/1.", 0) != 0 || split == std::string::npos) return reply;
  reply.status = std::atoi(answer.c_str() + 9);
  reply.head = answer.substr(0, split);
  reply.body = answer.substr(split + 4);
  return reply;
}

std::string Request(const std::string& method, const std::string& target,
                    const std::string& extraHeaders, const std::string& body) {
  return method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
         extraHeaders + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace host_testing
