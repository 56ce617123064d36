// /health and /metrics from a given machine state: which check fails, what is counted
// under which series, and that the probes run once however often the pages are asked for.
#include <gtest/gtest.h>

#include <string>

#include "host/server/health.h"
#include "host/server/metrics.h"

namespace {

using quillmere::host::HttpRequest;
using quillmere::host::HttpResponse;
using quillmere::host::MachineMonitor;
using quillmere::host::MachineSources;
using quillmere::host::MachineState;
using quillmere::host::MonitoringRoutes;
using quillmere::host::RequestMetrics;

MachineState Healthy() {
  MachineState state;
  state.reportQueue = quillmere::host::LoadedModule::ReportQueueState{3, 1, true};
  state.settings = quillmere::host::ReportQueueSettings{".\\PRIVATE$\\Reports", 1000};
  state.queuingRunning = true;
  state.messagesQueued = 250;
  return state;
}

HttpRequest Get(const char* method, const char* path) {
  HttpRequest request;
  request.method = method;
  request.path = path;
  return request;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(Health, EachFailingCheckIsNamedWith503) {
  const struct {
    const char* check;
    void (*breakIt)(MachineState&);
    const char* reason;
  } cases[] = {
      {"module", [](MachineState& s) { s.reportQueue.reset(); }, "the module does not answer"},
      {"wmi",
       [](MachineState& s) {
         s.settings.reset();
         s.wmiFailure = "reading \"x\" failed";
       },
       "reading \\\"x\\\" failed"},
      {"message_queuing", [](MachineState& s) { s.queuingRunning = false; },
       "message queuing is not running"},
      {"report_worker", [](MachineState& s) { s.reportQueue->workerAlive = false; },
       "the module's report worker has ended"},
  };
  const HttpResponse healthy = quillmere::host::HealthResponse(Healthy());
  EXPECT_EQ(healthy.status, 200);
  EXPECT_EQ(healthy.body,
            "{\"checks\":{\"module\":\"ok\",\"wmi\":\"ok\",\"message_queuing\":\"ok\","
            "\"report_worker\":\"ok\"},\"status\":\"ok\"}\n");
  for (const auto& c : cases) {
    MachineState state = Healthy();
    c.breakIt(state);
    const HttpResponse response = quillmere::host::HealthResponse(state);
    EXPECT_EQ(response.status, 503) << c.check;
    EXPECT_TRUE(Contains(response.body, "\"" + std::string(c.check) + "\":\"" + c.reason + "\""))
        << response.body;
    EXPECT_TRUE(Contains(response.body, "\"status\":\"failing\"")) << response.body;
  }
}

TEST(Metrics, CountsByMethodAndOutcomeAndNothingElseAddsASeries) {
  RequestMetrics metrics({{"Host", "Logon"}, {"Administrator", "UserList"}});
  using std::chrono::microseconds;
  metrics.Count("Administrator#UserList", true, microseconds(300));    // first bucket
  metrics.Count("Administrator#UserList", true, microseconds(700));    // 0.001
  metrics.Count("Administrator#UserList", false, microseconds(2000));  // 0.0025
  metrics.Count("Host#Logon", false, std::chrono::seconds(20));        // +Inf only
  metrics.Count("Evil#\"}\n", true, microseconds(500));                // other, 0.0005
  metrics.Count("?", true, microseconds(500));
  metrics.LogonFailed();
  const std::string text = metrics.Text(Healthy());
  for (const char* line : {
           "quillmere_requests_total{object=\"Administrator\",method=\"UserList\",outcome=\"ok\"} "
           "2\n",
           "quillmere_requests_total{object=\"Administrator\",method=\"UserList\",outcome="
           "\"fault\"} 1\n",
           "quillmere_requests_total{object=\"Host\",method=\"Logon\",outcome=\"fault\"} 1\n",
           "quillmere_requests_total{object=\"other\",method=\"other\",outcome=\"ok\"} 2\n",
           "quillmere_request_duration_seconds_bucket{le=\"0.0005\"} 3\n",
           "quillmere_request_duration_seconds_bucket{le=\"0.001\"} 4\n",
           "quillmere_request_duration_seconds_bucket{le=\"0.0025\"} 5\n",
           "quillmere_request_duration_seconds_bucket{le=\"10\"} 5\n",
           "quillmere_request_duration_seconds_bucket{le=\"+Inf\"} 6\n",
           "quillmere_request_duration_seconds_count 6\n",
           "quillmere_request_duration_seconds_sum 20.004\n",
           "quillmere_logon_failures_total 1\n",
           "quillmere_report_queue_depth 3\n",
           "quillmere_reports_dropped_total 1\n",
           "quillmere_report_messages_fill_ratio 0.25\n",
       }) {
    EXPECT_TRUE(Contains(text, line)) << line << text;
  }
  EXPECT_FALSE(Contains(text, "Evil"));
}

TEST(Metrics, WhatCannotBeReadIsLeftOutRatherThanShownAsZero) {
  MachineState state = Healthy();
  state.reportQueue.reset();
  state.settings.reset();
  const std::string text = RequestMetrics({}).Text(state);
  EXPECT_FALSE(Contains(text, "quillmere_report_queue_depth"));
  EXPECT_FALSE(Contains(text, "quillmere_report_messages_fill_ratio"));
  EXPECT_TRUE(Contains(text, "quillmere_report_messages_queued 250\n"));
}

struct CountingSources {
  int taken = 0;
  MachineSources sources{
      .reportQueue =
          [this] {
            ++taken;
            return Healthy().reportQueue;
          },
      .settings = [](std::string&) { return Healthy().settings; },
      .queuingRunning = [] { return true; },
      .messagesQueued = [](const std::string&) { return std::optional<unsigned long>(1); },
      .eventsWritten = [] { return std::uint64_t{0}; },
      .liveSessions = [] { return std::uint64_t{2}; },
      .process = [] { return quillmere::host::ProcessUsage{}; },
  };
};

TEST(Monitoring, TheProbesRunOnceWhileTheSnapshotIsFresh) {
  CountingSources counting;
  MachineMonitor monitor(counting.sources, std::chrono::hours(1));
  RequestMetrics metrics({});
  const MonitoringRoutes routes{monitor, &metrics, nullptr};
  for (const char* path : {"/health", "/metrics", "/health", "/metrics"}) {
    const HttpResponse response = routes(Get("GET", path));
    EXPECT_EQ(response.status, 200) << path;
  }
  EXPECT_EQ(counting.taken, 1);

  MachineMonitor stale(counting.sources, std::chrono::milliseconds(0));
  stale.Take();
  stale.Take();
  EXPECT_EQ(counting.taken, 3);
}

}  // namespace
