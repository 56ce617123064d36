// The console's files: what is loaded from the folder, what each request gets, and the
// headers every answer carries.
#include "host/server/console_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

namespace quillmere::host {
namespace {

namespace fs = std::filesystem;

class Folder : public testing::Test {
 protected:
  void SetUp() override {
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "sub");
    for (const auto& [name, text] : {std::pair{"index.html", "<!doctype html>"},
                                     {"app.js", "export {};"},
                                     {"look.css", "body{}"},
                                     {"notes.txt", "not served"},
                                     {"sub/inner.js", "nested"}})
      Write(name, text);
  }
  void TearDown() override { fs::remove_all(folder_); }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(folder_ / name, std::ios::binary) << text;
  }
  const fs::path folder_ =
      fs::path(testing::TempDir()) /
      ("console-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
};

std::map<std::string, std::string> Headers(const HttpResponse& response) {
  return {response.headers.begin(), response.headers.end()};
}

HttpResponse Get(const ConsoleFiles& files, const std::string& path,
                 std::map<std::string, std::string> headers = {}, const char* method = "GET") {
  HttpRequest request;
  request.method = method;
  request.path = path;
  request.headers = std::move(headers);
  return files(request);
}

struct PathCase {
  const char* name;
  const char* method;
  std::string path;
  int status;
  std::string contentType;  // empty: plain text
  std::string body;
};

class Paths : public Folder, public testing::WithParamInterface<PathCase> {};

TEST_P(Paths, AnswerFromTheTableOnly) {
  const PathCase& c = GetParam();
  const ConsoleFiles files(folder_);
  const HttpResponse response = Get(files, c.path, {}, c.method);
  EXPECT_EQ(response.status, c.status);
  EXPECT_EQ(response.body, c.body);
  EXPECT_EQ(response.contentType,
            c.contentType.empty() ? "text/plain; charset=utf-8" : c.contentType);
  // Every answer, a refusal too, keeps the page to its own origin.
  const auto headers = Headers(response);
  EXPECT_EQ(headers.at("Content-Security-Policy"),
            "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
            "frame-ancestors 'none'; base-uri 'none'; form-action 'self'");
  EXPECT_EQ(headers.at("X-Content-Type-Options"), "nosniff");
  EXPECT_EQ(headers.at("X-Frame-Options"), "DENY");
  EXPECT_EQ(headers.at("Referrer-Policy"), "no-referrer");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Requests, Paths, testing::Values(
    PathCase{"Root", "GET", "/", 200, "text/html; charset=utf-8", "<!doctype html>"},
    PathCase{"Script", "GET", "/app.js", 200, "text/javascript; charset=utf-8", "export {};"},
    PathCase{"Style", "HEAD", "/look.css", 200, "text/css; charset=utf-8", "body{}"},
    PathCase{"UnknownType", "GET", "/notes.txt", 404, "", "Not found\n"},
    PathCase{"Subfolder", "GET", "/sub/inner.js", 404, "", "Not found\n"},
    PathCase{"DotDot", "GET", "/../index.html", 404, "", "Not found\n"},
    PathCase{"Encoded", "GET", "/%2e%2e/app.js", 404, "", "Not found\n"},
    PathCase{"Post", "POST", "/", 405, "", "Method not allowed\n"},
    PathCase{"PostElsewhere", "POST", "/soap/x", 404, "", "Not found\n"}),
    [](const testing::TestParamInfo<PathCase>& info) { return info.param.name; });
// clang-format on

TEST_F(Folder, AnUnchangedFileIsNotSentAgain) {
  const ConsoleFiles files(folder_);
  const HttpResponse first = Get(files, "/app.js");
  const std::string etag = Headers(first).at("ETag");
  EXPECT_EQ(Headers(first).at("Cache-Control"), "no-cache");
  EXPECT_NE(etag, Headers(Get(files, "/look.css")).at("ETag"));
  for (const std::string& asked : {etag, "\"other\", " + etag, "W/" + etag, std::string("*")}) {
    const HttpResponse again = Get(files, "/app.js", {{"if-none-match", asked}});
    EXPECT_EQ(std::pair(again.status, again.body), std::pair(304, std::string())) << asked;
    EXPECT_EQ(Headers(again).at("ETag"), etag);
  }
  EXPECT_EQ(Get(files, "/app.js", {{"if-none-match", "\"other\""}}).body, "export {};");
  // The tag follows the content, not the time the server started.
  EXPECT_EQ(Headers(Get(ConsoleFiles(folder_), "/app.js")).at("ETag"), etag);
}

TEST_F(Folder, RefusedFolders) {
  EXPECT_THROW(ConsoleFiles(folder_ / "missing"), std::runtime_error);
  fs::remove(folder_ / "index.html");
  EXPECT_THROW(ConsoleFiles{folder_}, std::runtime_error);
  Write("index.html", std::string(ConsoleFiles::kMaxFileBytes + 1, 'x'));
  EXPECT_THROW(ConsoleFiles{folder_}, std::runtime_error);
}

}  // namespace
}  // namespace quillmere::host
