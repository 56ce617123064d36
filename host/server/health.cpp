#include "host/server/health.h"

#include <utility>
#include <vector>

#include "host/server/metrics.h"

namespace quillmere::host {
namespace {

// JSON string content: the reasons are ASCII from the host, but quotes and controls are
// escaped all the same.
std::string JsonText(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (static_cast<unsigned char>(c) < 0x20) {
      out.push_back(' ');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

HttpResponse MethodNotAllowed() {
  HttpResponse response = PlainResponse(405, "Method not allowed");
  response.headers.emplace_back("Allow", "GET");
  return response;
}

}  // namespace

MachineMonitor::MachineMonitor(MachineSources sources, std::chrono::milliseconds fresh)
    : sources_(std::move(sources)), fresh_(fresh) {}

MachineState MachineMonitor::Take() {
  const std::lock_guard hold(mutex_);
  const auto now = std::chrono::steady_clock::now();
  if (taken_ && now - *taken_ < fresh_) return state_;
  MachineState state;
  state.reportQueue = sources_.reportQueue();
  state.settings = sources_.settings(state.wmiFailure);
  state.queuingRunning = sources_.queuingRunning();
  if (state.queuingRunning && state.settings) {
    state.messagesQueued = sources_.messagesQueued(state.settings->pathName);
  }
  state.eventsWritten = sources_.eventsWritten();
  state.liveSessions = sources_.liveSessions();
  state.process = sources_.process();
  state_ = std::move(state);
  taken_ = now;
  return state_;
}

HttpResponse HealthResponse(const MachineState& state) {
  const std::vector<std::pair<const char*, std::string>> checks = {
      {"module", state.reportQueue ? "" : "the module does not answer"},
      {"wmi", state.settings ? "" : state.wmiFailure},
      {"message_queuing", state.queuingRunning ? "" : "message queuing is not running"},
      {"report_worker", !state.reportQueue || state.reportQueue->workerAlive
                            ? ""
                            : "the module's report worker has ended"},
  };
  bool healthy = true;
  std::string body = "{\"checks\":{";
  for (const auto& [name, failure] : checks) {
    if (body.back() != '{') body += ",";
    body +=
        "\"" + std::string(name) + "\":\"" + (failure.empty() ? "ok" : JsonText(failure)) + "\"";
    healthy = healthy && failure.empty();
  }
  body += std::string("},\"status\":\"") + (healthy ? "ok" : "failing") + "\"}\n";
  HttpResponse response;
  response.status = healthy ? 200 : 503;
  response.contentType = "application/json";
  response.body = std::move(body);
  response.headers.emplace_back("Cache-Control", "no-store");
  return response;
}

HttpResponse MonitoringRoutes::operator()(const HttpRequest& request) const {
  const bool health = request.path == "/health";
  const bool metricsPage = metrics != nullptr && request.path == "/metrics";
  if (!health && !metricsPage) return next ? next(request) : PlainResponse(404, "Not found");
  if (request.method != "GET" && request.method != "HEAD") return MethodNotAllowed();
  const MachineState state = monitor.Take();
  if (health) return HealthResponse(state);
  HttpResponse response;
  response.contentType = "text/plain; version=0.0.4; charset=utf-8";
  response.body = metrics->Text(state);
  response.headers.emplace_back("Cache-Control", "no-store");
  return response;
}

}  // namespace quillmere::host
