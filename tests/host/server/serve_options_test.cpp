// `quillmere serve`'s options as the operator types them.
#include <gtest/gtest.h>

#include <CLI/CLI.hpp>

#include "host/serve_options.h"

namespace {

using quillmere::host::LogLevel;
using quillmere::host::ParseListenAddress;
using quillmere::host::ServeOptions;

TEST(ServeOptions, ListenAddresses) {
  const struct {
    const char* text;
    const char* host;  // null: refused
    uint16_t port;
  } cases[] = {
      {"127.0.0.1:8080", "127.0.0.1", 8080},
      {"0.0.0.0:0", "0.0.0.0", 0},
      {"[::1]:65535", "::1", 65535},
      {"[::]:80", "::", 80},
      {"127.0.0.1", nullptr, 0},
      {"127.0.0.1:", nullptr, 0},
      {"127.0.0.1:65536", nullptr, 0},
      {"127.0.0.1:80x", nullptr, 0},
      {"127.0.0.1:-1", nullptr, 0},
      {"::1:80", nullptr, 0},
      {"localhost:80", nullptr, 0},
      {"[127.0.0.1:80", nullptr, 0},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseListenAddress(c.text);
    ASSERT_EQ(parsed.has_value(), c.host != nullptr) << c.text;
    if (!parsed) continue;
    EXPECT_EQ(parsed->host, c.host);
    EXPECT_EQ(parsed->port, c.port);
  }
}

// The options parsed from a command line, or nullopt when CLI11 refuses it.
std::optional<ServeOptions> Parse(std::vector<std::string> arguments) {
  CLI::App app;
  ServeOptions options;
  quillmere::host::AddServeOptions(app, options);
  std::reverse(arguments.begin(), arguments.end());  // CLI11 takes them last first
  try {
    app.parse(arguments);
  } catch (const CLI::ParseError&) {
    return std::nullopt;
  }
  return options;
}

TEST(ServeOptions, CommandLinesTakenAndRefused) {
  const auto defaults = Parse({});
  ASSERT_TRUE(defaults);
  EXPECT_EQ(defaults->listen.host, "127.0.0.1");
  EXPECT_EQ(defaults->listen.port, 8080);
  EXPECT_EQ(defaults->logLevel, LogLevel::Info);

  const auto given = Parse({"--listen", "[::1]:0", "--threads", "8", "--session-timeout", "60",
                            "--log-level", "debug", "--max-body", "4096", "--prefix", "/tmp/p"});
  ASSERT_TRUE(given);
  EXPECT_EQ(given->listen.host, "::1");
  EXPECT_EQ(given->listen.port, 0);
  EXPECT_EQ(given->threads, 8u);
  EXPECT_EQ(given->sessionTimeoutSeconds, 60u);
  EXPECT_EQ(given->logLevel, LogLevel::Debug);
  EXPECT_EQ(given->maxBodyBytes, 4096u);
  EXPECT_EQ(given->prefix, "/tmp/p");

  for (const std::vector<std::string>& refused : std::vector<std::vector<std::string>>{
           {"--listen", "8080"},
           {"--threads", "0"},
           {"--log-level", "verbose"},
           {"--max-body", "10"},
           {"--tls-cert", "/etc/hostname"},  // without its key
           {"--tls-key", "/no/such/key", "--tls-cert", "/no/such/cert"},
           {"--module", "/no/such/library.so"}}) {
    EXPECT_FALSE(Parse(refused)) << refused[0];
  }
}

}  // namespace
