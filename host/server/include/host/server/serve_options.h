// The options of `quillmere serve`, parsed by CLI11.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "host/server/host_log.h"

namespace CLI {
class App;
}

namespace quillmere::host {

struct ListenAddress {
  std::string host;  // an IP literal, without brackets
  uint16_t port = 0;
};

// "127.0.0.1:8080", "[::1]:0"; nullopt when malformed.
std::optional<ListenAddress> ParseListenAddress(std::string_view text);

struct ServeOptions {
  ListenAddress listen{"127.0.0.1", 8080};
  std::filesystem::path prefix;  // empty: QUILLMERE_PREFIX, then the machine's default
  unsigned threads = 4;
  unsigned sessionTimeoutSeconds = 1800;
  size_t maxSessions = 1024;
  size_t maxSessionsPerUser = 32;
  std::filesystem::path tlsCertificate;
  std::filesystem::path tlsKey;
  LogLevel logLevel = LogLevel::Info;
  size_t maxBodyBytes = 1 << 20;
  unsigned requestDeadlineSeconds = 30;
  unsigned maxConnections = 4096;
  unsigned maxConnectionsPerClient = 64;
  std::string publicUrl;          // the endpoint's URL in the WSDL; empty: from --listen
  std::filesystem::path module;   // empty: beside the program, then the build's own
  std::filesystem::path console;  // the console's files; empty: installed, then the sources'
  std::optional<ListenAddress> monitoringListen;  // /health and /metrics on their own listener
  bool noMetrics = false;                         // true: no /metrics
};

// Adds the options to the `serve` command, --config among them; they are written into
// `options` when parsed, the file's after the command line's.
void AddServeOptions(CLI::App& command, ServeOptions& options);

}  // namespace quillmere::host
