// The one HTTP exchange `quillmere call` needs: a POST over plain HTTP/1.1 to a host the
// operator names, the whole answer read back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillmere::host {

struct HttpUrl {
  std::string host;  // a name or an IP literal, without brackets
  uint16_t port = 80;
  std::string path;  // "/soap", with any query
};

// "http://127.0.0.1:8080/soap", "http://[::1]/soap"; nullopt for anything else.
std::optional<HttpUrl> ParseHttpUrl(std::string_view text);

struct HttpAnswer {
  int status = 0;
  std::string reason;
  std::string body;
};

// Throws CommandFailure when the host cannot be reached or answers something that is
// not HTTP.
HttpAnswer PostHttp(const HttpUrl& url,
                    const std::vector<std::pair<std::string, std::string>>& headers,
                    std::string_view body);

}  // namespace quillmere::host
