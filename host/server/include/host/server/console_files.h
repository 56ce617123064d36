// The administration console's static files, served at every path but /soap. The files
// are read once at start from one folder (not its subfolders), only those whose
// extension has a known content type and within a size bound; a request only ever looks
// up that table, so nothing it names reaches the file system. Every answer carries the
// headers that keep the page to its own origin and its own scripts.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "host/server/http_message.h"

namespace quillmere::host {

class ConsoleFiles {
 public:
  static constexpr size_t kMaxFiles = 64;
  static constexpr size_t kMaxFileBytes = 1 << 20;

  // Throws std::runtime_error when the folder cannot be read, holds too many files, a file
  // is too large, or there is no index.html.
  explicit ConsoleFiles(const std::filesystem::path& folder);

  // GET and HEAD of "/" (index.html) and of "/<name>" for a loaded file; 304 when
  // If-None-Match names the file's ETag; 404 for any other path, 405 for another method.
  HttpResponse operator()(const HttpRequest& request) const;

 private:
  struct File {
    std::string contentType;
    std::string body;
    std::string etag;
  };
  std::map<std::string, File> files_;  // by request path
};

}  // namespace quillmere::host
