// `serve --config FILE`: what the file sets, what the command line overrides, and the line
// each mistake is reported at.
#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <vector>

#include <unistd.h>

#include "host/server/serve_options.h"

namespace {

using quillmere::host::ServeOptions;

struct Parsed {
  ServeOptions options;
  std::string error;  // empty: parsed
};

// A folder of this test's own: ctest runs the tests of one program side by side.
std::filesystem::path OwnFolder() {
  const auto folder =
      std::filesystem::path(testing::TempDir()) / ("serve-config-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  return folder;
}

Parsed ParseWith(const std::string& file, std::vector<std::string> arguments) {
  const auto path = OwnFolder() / "serve.conf";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << file;
  Parsed parsed;
  CLI::App app;
  CLI::App* serve = app.add_subcommand("serve");
  quillmere::host::AddServeOptions(*serve, parsed.options);
  std::vector<std::string> argv{"quillmere", "serve", "--config", path.string()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (std::string& argument : argv)
    pointers.push_back(argument.data());
  try {
    app.parse(static_cast<int>(pointers.size()), pointers.data());
  } catch (const CLI::ParseError& error) {
    parsed.error = error.what();
  }
  return parsed;
}

TEST(ServeConfig, SetsEveryKindOfOptionAndTheCommandLineWins) {
  const Parsed parsed = ParseWith(
      "# the service's settings\n"
      "\n"
      "listen = 0.0.0.0:9090\n"
      "  threads=8  \n"
      "log-level = \"debug\"\n"
      "no-metrics = true\n"
      "monitoring-listen = 127.0.0.1:9100\n"
      "session-timeout = 60\r\n",
      {"--threads", "2"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.options.listen.host, "0.0.0.0");
  EXPECT_EQ(parsed.options.listen.port, 9090);
  EXPECT_EQ(parsed.options.threads, 2u);
  EXPECT_EQ(parsed.options.logLevel, quillmere::host::LogLevel::Debug);
  EXPECT_TRUE(parsed.options.noMetrics);
  ASSERT_TRUE(parsed.options.monitoringListen);
  EXPECT_EQ(parsed.options.monitoringListen->port, 9100);
  EXPECT_EQ(parsed.options.sessionTimeoutSeconds, 60u);
}

TEST(ServeConfig, AFlagSetFalseInTheFileStaysOff) {
  const Parsed parsed = ParseWith("no-metrics = false\n", {});
  ASSERT_EQ(parsed.error, "");
  EXPECT_FALSE(parsed.options.noMetrics);
}

TEST(ServeConfig, NamesTheLineOfEachMistake) {
  const struct {
    const char* file;
    const char* error;  // a part of the message
  } cases[] = {
      {"threads = 4\n\n# x\nthreds = 4\n", "serve.conf:4: unknown key \"threds\""},
      {"threads = 0\n", "serve.conf:1: threads = 0"},
      {"\nthreads = many\n", "serve.conf:2: threads = many"},
      {"listen = localhost\n", "serve.conf:1: listen = localhost"},
      {"log-level = loud\n", "serve.conf:1: log-level = loud"},
      {"no-metrics = perhaps\n", "serve.conf:1: no-metrics = perhaps"},
      {"listen\n", "serve.conf:1: expected key = value"},
      {"threads = 4\nthreads = 5\n", "serve.conf:2: \"threads\" is given a second time"},
      {"--threads = 4\n", "serve.conf:1: \"--threads\" is not an option's name"},
      {"config = /etc/other.conf\n", "serve.conf:1: unknown key \"config\""},
      {"tls-cert = /nonexistent.pem\n", "serve.conf:1: tls-cert = /nonexistent.pem"},
  };
  for (const auto& c : cases) {
    const Parsed parsed = ParseWith(c.file, {});
    EXPECT_NE(parsed.error.find(c.error), std::string::npos) << c.file << " -> " << parsed.error;
  }
}

TEST(ServeConfig, ACertificateWithoutItsKeyIsRefusedFromTheFileToo) {
  const auto certificate = OwnFolder() / "certificate.pem";
  std::ofstream(certificate) << "x";
  const Parsed parsed = ParseWith("tls-cert = " + certificate.string() + "\n", {});
  EXPECT_NE(parsed.error.find("--tls-cert and --tls-key go together"), std::string::npos)
      << parsed.error;
}

}  // namespace
