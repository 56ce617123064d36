#include "host/server/serve_options.h"

#include <arpa/inet.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>

#include "host/server/serve_config.h"

namespace quillmere::host {
namespace {

bool IsIpLiteral(const std::string& host) {
  unsigned char address[16];
  return inet_pton(AF_INET, host.c_str(), address) == 1 ||
         inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// "http(s)://authority/path" with nothing a WSDL attribute or a client would misread.
bool IsPublicUrl(std::string_view text) {
  const size_t start = text.starts_with("https://") ? 8 : text.starts_with("http://") ? 7 : 0;
  if (start == 0 || text.size() == start || text.size() > 2048 || text[start] == '/') return false;
  // Unreserved characters, the path's and the authority's punctuation, percent escapes: no
  // quotes, brackets of markup, spaces, queries or fragments.
  return std::all_of(text.begin() + start, text.end(), [](unsigned char c) {
    return std::isalnum(c) ||
           std::string_view("-._~/:[]@%!$'()*+,;=").find(c) != std::string_view::npos;
  });
}

}  // namespace

std::optional<ListenAddress> ParseListenAddress(std::string_view text) {
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view host = text.substr(0, colon);
  const std::string_view port = text.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  } else if (host.find(':') != std::string_view::npos) {
    return std::nullopt;  // an IPv6 address needs its brackets
  }
  unsigned value = 0;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (port.empty() || error != std::errc() || end != port.data() + port.size() || value > 65535) {
    return std::nullopt;
  }
  ListenAddress address{std::string(host), static_cast<uint16_t>(value)};
  if (!IsIpLiteral(address.host)) return std::nullopt;
  return address;
}

void AddServeOptions(CLI::App& command, ServeOptions& options) {
  command
      .add_option_function<std::string>(
          "--listen",
          [&options](const std::string& text) {
            const auto address = ParseListenAddress(text);
            if (!address) throw CLI::ValidationError("--listen", "expected ADDRESS:PORT");
            options.listen = *address;
          },
          "Address and port to listen on (port 0 picks a free one)")
      ->default_str("127.0.0.1:8080");
  command.add_option("--prefix", options.prefix,
                     "The machine's folder (default: $QUILLMERE_PREFIX, then "
                     "~/.local/share/quillmere)");
  command.add_option("--threads", options.threads, "Worker threads serving requests")
      ->check(CLI::Range(1u, 256u))
      ->capture_default_str();
  command
      .add_option("--session-timeout", options.sessionTimeoutSeconds,
                  "Seconds of inactivity after which a session ends")
      ->check(CLI::Range(1u, 7u * 24 * 3600))
      ->capture_default_str();
  command
      .add_option("--max-sessions", options.maxSessions,
                  "Live sessions at most; a logon beyond them is refused until one ends")
      ->check(CLI::Range(size_t{1}, size_t{1} << 20))
      ->capture_default_str();
  command
      .add_option("--max-sessions-per-user", options.maxSessionsPerUser,
                  "Live sessions one user may hold at most; a logon beyond them is refused")
      ->check(CLI::Range(size_t{1}, size_t{1} << 20))
      ->capture_default_str();
  auto* certificate =
      command.add_option("--tls-cert", options.tlsCertificate, "PEM certificate: serve HTTPS")
          ->check(CLI::ExistingFile);
  auto* key = command.add_option("--tls-key", options.tlsKey, "PEM private key of --tls-cert")
                  ->check(CLI::ExistingFile);
  certificate->needs(key);
  key->needs(certificate);
  const std::map<std::string, LogLevel> levels{{"error", LogLevel::Error},
                                               {"warning", LogLevel::Warning},
                                               {"info", LogLevel::Info},
                                               {"debug", LogLevel::Debug}};
  command.add_option("--log-level", options.logLevel, "error, warning, info or debug")
      ->transform(CLI::CheckedTransformer(levels))
      ->default_str("info");
  command.add_option("--max-body", options.maxBodyBytes, "Largest request body, in bytes")
      ->check(CLI::Range(size_t{1024}, size_t{1} << 30))
      ->capture_default_str();
  command
      .add_option("--request-deadline", options.requestDeadlineSeconds,
                  "Seconds a client has for a whole request (headers and body) and for taking "
                  "its answer; the connection is closed past it")
      ->check(CLI::Range(1u, 3600u))
      ->capture_default_str();
  command
      .add_option("--max-connections", options.maxConnections,
                  "Connections served at a time; more wait to be accepted (each is an open "
                  "file)")
      ->check(CLI::Range(1u, 1u << 20))
      ->capture_default_str();
  command
      .add_option("--max-connections-per-client", options.maxConnectionsPerClient,
                  "Connections from one client address at a time; more are closed as they "
                  "arrive")
      ->check(CLI::Range(1u, 1u << 20))
      ->capture_default_str();
  command.add_option_function<std::string>(
      "--public-url",
      [&options](const std::string& text) {
        if (!IsPublicUrl(text)) {
          throw CLI::ValidationError("--public-url", "expected http(s)://HOST[:PORT]/PATH");
        }
        options.publicUrl = text;
      },
      "The endpoint's URL as clients reach it, for the WSDL (default: "
      "http(s)://ADDRESS:PORT/soap from --listen)");
  command.add_option("--module", options.module, "The module library to register if needed")
      ->check(CLI::ExistingFile);
  command
      .add_option("--console", options.console,
                  "Folder of the administration console's files, served at / (default: the "
                  "installed share/quillmere/console)")
      ->check(CLI::ExistingDirectory);
  command.add_option_function<std::string>(
      "--monitoring-listen",
      [&options](const std::string& text) {
        const auto address = ParseListenAddress(text);
        if (!address) throw CLI::ValidationError("--monitoring-listen", "expected ADDRESS:PORT");
        options.monitoringListen = *address;
      },
      "Serve /health and /metrics on this address and port only, apart from SOAP (default: "
      "beside /soap)");
  command.add_flag("--no-metrics", options.noMetrics,
                   "Do not serve /metrics (in the file: no-metrics = true)");
  auto* config = command
                     .add_option("--config",
                                 "A file of `option = value` lines, one "
                                 "option of serve each (e.g. listen = "
                                 "0.0.0.0:8080); the command line wins over it")
                     ->type_name("FILE")
                     ->check(CLI::ExistingFile);
  command.parse_complete_callback([&command, config, &options] {
    if (config->count() > 0) ApplyConfigFile(command, config->as<std::string>());
    if (options.tlsCertificate.empty() != options.tlsKey.empty()) {
      throw CLI::ValidationError("--tls-cert", "--tls-cert and --tls-key go together");
    }
  });
}

}  // namespace quillmere::host
