#include "host/server/http_message.h"

namespace quillmere::host {

std::string HttpRequest::Header(const std::string& lowerCaseName) const {
  const auto found = headers.find(lowerCaseName);
  return found == headers.end() ? std::string() : found->second;
}

bool HttpRequest::HasHeader(const std::string& lowerCaseName) const {
  return headers.contains(lowerCaseName);
}

HttpResponse PlainResponse(int status, std::string text) {
  HttpResponse response;
  response.status = status;
  response.body = std::move(text) + "\n";
  return response;
}

}  // namespace quillmere::host
