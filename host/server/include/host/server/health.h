// What /health and /metrics report about the machine and the module: one snapshot of the
// probes, taken at most once a second whatever the polling rate, so that the cost of
// either page is bounded; and the routes that serve both pages.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "host/components/machine_probes.h"
#include "host/server/http_message.h"
#include "host/server/module_loader.h"

namespace quillmere::host {

class RequestMetrics;

struct MachineState {
  std::optional<LoadedModule::ReportQueueState> reportQueue;  // nullopt: no answer
  std::optional<ReportQueueSettings> settings;                // nullopt: WMI unreadable
  std::string wmiFailure;
  bool queuingRunning = false;
  std::optional<unsigned long> messagesQueued;  // in the report queue
  std::uint64_t eventsWritten = 0;
  std::uint64_t liveSessions = 0;
  ProcessUsage process;
};

// Where each part of the state is read from; the serve command wires the real ones.
struct MachineSources {
  std::function<std::optional<LoadedModule::ReportQueueState>()> reportQueue;
  std::function<std::optional<ReportQueueSettings>(std::string& failure)> settings;
  std::function<bool()> queuingRunning;
  std::function<std::optional<unsigned long>(const std::string& pathName)> messagesQueued;
  std::function<std::uint64_t()> eventsWritten;
  std::function<std::uint64_t()> liveSessions;
  std::function<ProcessUsage()> process;
};

class MachineMonitor {
 public:
  explicit MachineMonitor(MachineSources sources,
                          std::chrono::milliseconds fresh = std::chrono::seconds(1));
  // The last snapshot while it is fresh, else a new one; callers meanwhile wait for it.
  MachineState Take();

 private:
  const MachineSources sources_;
  const std::chrono::milliseconds fresh_;
  std::mutex mutex_;
  std::optional<std::chrono::steady_clock::time_point> taken_;
  MachineState state_;
};

// 200 with each check "ok", or 503 naming the failing ones; JSON.
HttpResponse HealthResponse(const MachineState& state);

// GET /health and, when `metrics` is set, GET /metrics; any other request goes to `next`,
// or is 404 when there is none (a listener for monitoring only).
struct MonitoringRoutes {
  MachineMonitor& monitor;
  const RequestMetrics* metrics = nullptr;
  std::function<HttpResponse(const HttpRequest&)> next;

  HttpResponse operator()(const HttpRequest& request) const;
};

}  // namespace quillmere::host
