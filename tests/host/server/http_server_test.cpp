// The HTTP layer over real sockets: bodies up to the cap, refusals beyond it, the workers'
// apartment, the request log and the graceful stop.
#include <gtest/gtest.h>

#include <future>
#include <regex>
#include <sstream>

#include <winport/windows.h>

#include "host/http_server.h"
#include "raw_http.h"

namespace {

using host_testing::Request;
using host_testing::SendRaw;
using quillmere::host::HostLog;
using quillmere::host::HttpRequest;
using quillmere::host::HttpResponse;
using quillmere::host::HttpServer;
using quillmere::host::HttpServerOptions;
using quillmere::host::LogLevel;

HttpServerOptions SmallServer() {
  HttpServerOptions options;
  options.port = 0;
  options.threads = 2;
  options.maxBodyBytes = 1024;
  return options;
}

// Answers with what it received: method, path, the SOAPAction header and the body.
HttpResponse Echo(const HttpRequest& request) {
  HttpResponse response;
  response.body = request.method + " " + request.path + " [" + request.Header("soapaction") + "] " +
                  request.body;
  response.logLabel = "Echo#It";
  return response;
}

class HttpServerTest : public testing::Test {
 protected:
  std::ostringstream logText_;
  HostLog log_{LogLevel::Info, logText_};
};

TEST_F(HttpServerTest, BodiesUpToTheCapArriveWholeAndLargerOnesAre413) {
  HttpServer server(SmallServer(), Echo, log_);
  ASSERT_NE(server.Port(), 0);
  const std::string atCap(1024, 'a');
  const struct {
    std::string request;
    int status;
    std::string body;
  } cases[] = {
      {Request("POST", "/x", "SOAPAction: A#B\r\n", atCap), 200, "POST /x [A#B] " + atCap},
      {Request("POST", "/x", "", atCap + "b"), 413, "Request body too large\n"},
      // Sent in chunks, the size is known only as the body arrives.
      {"POST /y HTTP/1.1\r\nHost: h\r\nConnection: close\r\nTransfer-Encoding: chunked\r\n\r\n"
       "400\r\n" +
           atCap + "\r\n1\r\nb\r\n0\r\n\r\n",
       413, "Request body too large\n"},
      {"POST /y HTTP/1.1\r\nHost: h\r\nConnection: close\r\nTransfer-Encoding: chunked\r\n\r\n"
       "3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n",
       200, "POST /y [] abcde"},
  };
  for (const auto& c : cases) {
    const auto reply = SendRaw(server.Port(), c.request);
    EXPECT_EQ(reply.status, c.status) << c.request.substr(0, 60);
    EXPECT_EQ(reply.body, c.body);
  }
  // The server still answers after each refusal.
  EXPECT_EQ(SendRaw(server.Port(), Request("GET", "/z")).body, "GET /z [] ");
}

TEST_F(HttpServerTest, HandlersRunInTheMultithreadedApartment) {
  HttpServer server(
      SmallServer(),
      [](const HttpRequest&) {
        HttpResponse response;
        // A thread already in the MTA cannot join a single-threaded one.
        const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(hr)) CoUninitialize();
        response.body = hr == RPC_E_CHANGED_MODE ? "mta" : "other";
        return response;
      },
      log_);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(SendRaw(server.Port(), Request("GET", "/")).body, "mta");
}

TEST_F(HttpServerTest, EachRequestIsLoggedAsOneLine) {
  HttpServer server(SmallServer(), Echo, log_);
  SendRaw(server.Port(), Request("POST", "/soap", "", "x"));
  SendRaw(server.Port(), Request("POST", "/soap", "", std::string(2000, 'x')));
  server.Stop();
  const std::regex line(
      R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z INFO POST (Echo#It 200|/soap 413) \d+ ms)");
  std::istringstream lines(logText_.str());
  int count = 0;
  for (std::string text; std::getline(lines, text); ++count) {
    EXPECT_TRUE(std::regex_match(text, line)) << text;
  }
  EXPECT_EQ(count, 2);
}

TEST_F(HttpServerTest, StopAnswersTheRequestInProgressThenRefusesConnections) {
  std::promise<void> entered, release;
  std::shared_future<void> released = release.get_future().share();
  HttpServer server(
      SmallServer(),
      [&](const HttpRequest& request) {
        entered.set_value();
        released.wait();
        return Echo(request);
      },
      log_);
  const uint16_t port = server.Port();
  auto inFlight = std::async(std::launch::async,
                             [&] { return SendRaw(port, Request("POST", "/slow", "", "b")); });
  entered.get_future().wait();
  EXPECT_EQ(server.Activity().busy, 1u);
  auto stopping = std::async(std::launch::async, [&] { server.Stop(); });
  // The stop waits for the handler; the listening socket is already closed.
  EXPECT_EQ(stopping.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  release.set_value();
  stopping.get();
  EXPECT_EQ(inFlight.get().body, "POST /slow [] b");
  EXPECT_EQ(SendRaw(port, Request("GET", "/")).status, 0);
}

TEST_F(HttpServerTest, UnusableListenSettingsAreRefused) {
  HttpServerOptions halfTls = SmallServer();
  halfTls.tlsCertificate = "-----BEGIN CERTIFICATE-----";
  HttpServerOptions badAddress = SmallServer();
  badAddress.address = "localhost";
  HttpServer first(SmallServer(), Echo, log_);
  HttpServerOptions taken = SmallServer();
  taken.port = first.Port();
  for (const HttpServerOptions& options : {halfTls, badAddress, taken}) {
    EXPECT_THROW(HttpServer(options, Echo, log_), std::runtime_error) << options.address;
  }
}

}  // namespace
