// A minimal HTTP/1.1 client over a blocking socket: sends the request text as given and
// reads the answer until the server closes the connection.
#pragma once

#include <cstdint>
#include <string>

namespace host_testing {

struct RawReply {
  int status = 0;  // 0: no answer (refused or closed without one)
  std::string head, body;
};

RawReply SendRaw(uint16_t port, const std::string& request);

// A request with Connection: close and a Content-Length for body.
std::string Request(const std::string& method, const std::string& target,
                    const std::string& extraHeaders = "", const std::string& body = "");

}  // namespace host_testing
