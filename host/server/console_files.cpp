#include "host/server/console_files.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string_view>

namespace quillmere::host {
namespace {

constexpr std::pair<std::string_view, std::string_view> kContentTypes[] = {
    {".html", "text/html; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},
    {".js", "text/javascript; charset=utf-8"},
    {".svg", "image/svg+xml"},
    {".png", "image/png"},
    {".ico", "image/x-icon"}};

const std::pair<const char*, const char*> kSecurityHeaders[] = {
    {"Content-Security-Policy",
     "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
     "frame-ancestors 'none'; base-uri 'none'; form-action 'self'"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Cache-Control", "no-cache"}};

std::string_view ContentTypeOf(const std::filesystem::path& file) {
  for (const auto& [extension, type] : kContentTypes) {
    if (file.extension() == extension) return type;
  }
  return {};
}

// A strong validator from the content alone (FNV-1a, 64 bits): the same files give the
// same tags across restarts.
std::string EntityTag(const std::string& body) {
  unsigned long long hash = 14695981039346656037ull;
  for (const unsigned char c : body)
    hash = (hash ^ c) * 1099511628211ull;
  std::ostringstream tag;
  tag << '"' << std::hex << hash << std::dec << '-' << body.size() << '"';
  return tag.str();
}

// If-None-Match holds a list of tags, or "*".
bool Matches(const std::string& ifNoneMatch, const std::string& etag) {
  if (ifNoneMatch.find('*') != std::string::npos) return true;
  size_t start = 0;
  while (start < ifNoneMatch.size()) {
    size_t end = ifNoneMatch.find(',', start);
    if (end == std::string::npos) end = ifNoneMatch.size();
    std::string_view tag(ifNoneMatch.data() + start, end - start);
    while (!tag.empty() && tag.front() == ' ')
      tag.remove_prefix(1);
    while (!tag.empty() && tag.back() == ' ')
      tag.remove_suffix(1);
    if (tag.starts_with("W/")) tag.remove_prefix(2);
    if (tag == etag) return true;
    start = end + 1;
  }
  return false;
}

HttpResponse Secured(HttpResponse response) {
  for (const auto& [name, value] : kSecurityHeaders)
    response.headers.emplace_back(name, value);
  return response;
}

}  // namespace

ConsoleFiles::ConsoleFiles(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error) throw std::runtime_error("cannot read the console folder " + folder.string());
  for (const auto& entry : entries) {
    const std::string_view type = ContentTypeOf(entry.path());
    if (type.empty() || !entry.is_regular_file(error)) continue;
    if (files_.size() == kMaxFiles) {
      throw std::runtime_error("the console folder holds more than " + std::to_string(kMaxFiles) +
                               " files");
    }
    if (entry.file_size(error) > kMaxFileBytes || error) {
      throw std::runtime_error("console file too large: " + entry.path().string());
    }
    std::ifstream in(entry.path(), std::ios::binary);
    std::string body{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.good() && !in.eof()) throw std::runtime_error("cannot read " + entry.path().string());
    const std::string etag = EntityTag(body);
    files_["/" + entry.path().filename().string()] = {std::string(type), std::move(body), etag};
  }
  const auto index = files_.find("/index.html");
  if (index == files_.end()) {
    throw std::runtime_error("the console folder " + folder.string() + " has no index.html");
  }
  files_["/"] = index->second;
}

HttpResponse ConsoleFiles::operator()(const HttpRequest& request) const {
  const auto found = files_.find(request.path);
  if (found == files_.end()) return Secured(PlainResponse(404, "Not found"));
  if (request.method != "GET" && request.method != "HEAD") {
    HttpResponse response = PlainResponse(405, "Method not allowed");
    response.headers.emplace_back("Allow", "GET, HEAD");
    return Secured(std::move(response));
  }
  const File& file = found->second;
  HttpResponse response;
  response.contentType = file.contentType;
  response.headers.emplace_back("ETag", file.etag);
  if (Matches(request.Header("if-none-match"), file.etag)) {
    response.status = 304;
  } else {
    response.body = file.body;
  }
  return Secured(std::move(response));
}

}  // namespace quillmere::host
