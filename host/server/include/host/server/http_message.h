// One HTTP exchange as the host's handlers see it, independent of the server library.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace quillmere::host {

struct HttpRequest {
  std::string method;                            // "GET", "POST", ...
  std::string path;                              // without the query
  std::map<std::string, std::string> arguments;  // the query's keys; "?wsdl" is {"wsdl", ""}
  std::map<std::string, std::string> headers;    // names in lower case
  std::string body;
  std::string client;  // the peer's IP address

  // The header's value, or empty when it is absent.
  std::string Header(const std::string& lowerCaseName) const;
  bool HasHeader(const std::string& lowerCaseName) const;
};

struct HttpResponse {
  int status = 200;
  std::string contentType = "text/plain; charset=utf-8";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  // What the request log names the request by (e.g. "Administrator#UserList"); the path
  // when empty.
  std::string logLabel;
};

HttpResponse PlainResponse(int status, std::string text);

}  // namespace quillmere::host
