// The listening address as the operator writes it.
#include <gtest/gtest.h>

#include "host/server/serve_options.h"

namespace {

TEST(Parsing, ListenAddresses) {
  const struct {
    const char* text;
    const char* host;  // null: refused
    uint16_t port;
  } cases[] = {
      {"127.0.0.1:8080", "127.0.0.1", 8080},
      {"[::1]:0", "::1", 0},
      {"0.0.0.0:65535", "0.0.0.0", 65535},
      {"127.0.0.1", nullptr, 0},
      {"127.0.0.1:", nullptr, 0},
      {"127.0.0.1:65536", nullptr, 0},
      {"127.0.0.1:80x", nullptr, 0},
      {"::1:80", nullptr, 0},
      {"localhost:80", nullptr, 0},
      {"[127.0.0.1:80", nullptr, 0},
  };
  for (const auto& c : cases) {
    const auto parsed = quillmere::host::ParseListenAddress(c.text);
    ASSERT_EQ(parsed.has_value(), c.host != nullptr) << c.text;
    if (!parsed) continue;
    EXPECT_EQ(parsed->host, c.host);
    EXPECT_EQ(parsed->port, c.port);
  }
}

}  // namespace
