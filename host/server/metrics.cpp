#include "host/server/metrics.h"

#include <algorithm>
#include <charconv>

#include "host/server/health.h"
#include "host/soap/service_catalog.h"

namespace quillmere::host {
namespace {

// The shortest form that reads back as the same double: bucket bounds read as written.
std::string Number(double value) {
  char text[64];
  const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return std::string(text, written.ptr);
}

void Header(std::string& out, const char* name, const char* type, const char* help) {
  out.append("# HELP ").append(name).append(" ").append(help).append("\n");
  out.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

void Sample(std::string& out, const char* name, std::uint64_t value) {
  out.append(name).append(" ").append(std::to_string(value)).append("\n");
}

}  // namespace

std::vector<std::pair<std::string, std::string>> CatalogueMethods() {
  std::vector<std::pair<std::string, std::string>> methods;
  for (const ServiceInfo& service : ServiceCatalog()) {
    for (const MethodInfo& method : service.methods)
      methods.emplace_back(service.object, method.name);
  }
  return methods;
}

RequestMetrics::RequestMetrics(const std::vector<std::pair<std::string, std::string>>& methods) {
  for (const auto& [object, method] : methods) {
    auto series = std::make_unique<Series>();
    series->object = object;
    series->method = method;
    byLabel_.emplace(object + "#" + method, series.get());
    series_.push_back(std::move(series));
  }
  auto other = std::make_unique<Series>();
  other->object = other->method = "other";
  series_.push_back(std::move(other));
}

void RequestMetrics::Count(std::string_view label, bool ok, std::chrono::nanoseconds duration) {
  const auto found = byLabel_.find(label);
  Series& series = found != byLabel_.end() ? *found->second : *series_.back();
  (ok ? series.ok : series.fault).fetch_add(1, std::memory_order_relaxed);
  const double seconds = std::chrono::duration<double>(duration).count();
  size_t bucket = 0;
  while (bucket < kBuckets.size() && seconds > kBuckets[bucket])
    ++bucket;
  buckets_[bucket].fetch_add(1, std::memory_order_relaxed);
  durationNanoseconds_.fetch_add(static_cast<std::uint64_t>(duration.count()),
                                 std::memory_order_relaxed);
}

std::string RequestMetrics::Text(const MachineState& machine) const {
  std::string out;
  out.reserve(16384);
  Header(out, "quillmere_requests_total", "counter",
         "SOAP requests answered, by object, method and outcome (ok or fault).");
  for (const auto& series : series_) {
    for (const auto& [outcome, count] :
         {std::pair{"ok", &series->ok}, std::pair{"fault", &series->fault}}) {
      out.append("quillmere_requests_total{object=\"")
          .append(series->object)
          .append("\",method=\"")
          .append(series->method)
          .append("\",outcome=\"")
          .append(outcome)
          .append("\"} ")
          .append(std::to_string(count->load(std::memory_order_relaxed)))
          .append("\n");
    }
  }

  Header(out, "quillmere_request_duration_seconds", "histogram",
         "Time from a SOAP request's arrival at the dispatcher to its answer.");
  std::uint64_t cumulative = 0;
  for (size_t i = 0; i < buckets_.size(); ++i) {
    cumulative += buckets_[i].load(std::memory_order_relaxed);
    const std::string bound = i < kBuckets.size() ? Number(kBuckets[i]) : "+Inf";
    out.append("quillmere_request_duration_seconds_bucket{le=\"")
        .append(bound)
        .append("\"} ")
        .append(std::to_string(cumulative))
        .append("\n");
  }
  out.append("quillmere_request_duration_seconds_sum ")
      .append(
          Number(static_cast<double>(durationNanoseconds_.load(std::memory_order_relaxed)) / 1e9))
      .append("\n");
  Sample(out, "quillmere_request_duration_seconds_count", cumulative);

  Header(out, "quillmere_logon_failures_total", "counter",
         "Logons refused: wrong password, unknown user, throttled or over a limit.");
  Sample(out, "quillmere_logon_failures_total", logonFailures_.load(std::memory_order_relaxed));
  Header(out, "quillmere_sessions_live", "gauge", "Sessions logged on and not yet ended.");
  Sample(out, "quillmere_sessions_live", machine.liveSessions);

  if (machine.reportQueue) {
    Header(out, "quillmere_report_queue_depth", "gauge",
           "Reports waiting in the module's report queue for its worker.");
    Sample(out, "quillmere_report_queue_depth", machine.reportQueue->depth);
    Header(out, "quillmere_reports_dropped_total", "counter",
           "Reports the module dropped: queue full, delivery failed, or left at stop.");
    Sample(out, "quillmere_reports_dropped_total", machine.reportQueue->dropped);
  }
  Header(out, "quillmere_events_written_total", "counter",
         "Records written to the machine's event log since the host started.");
  Sample(out, "quillmere_events_written_total", machine.eventsWritten);
  Header(out, "quillmere_message_queuing_up", "gauge", "1 when message queuing is running.");
  Sample(out, "quillmere_message_queuing_up", machine.queuingRunning ? 1 : 0);
  if (machine.messagesQueued) {
    Header(out, "quillmere_report_messages_queued", "gauge",
           "Messages waiting in the report message queue (MSMQ_Name).");
    Sample(out, "quillmere_report_messages_queued", *machine.messagesQueued);
  }
  if (machine.settings) {
    Header(out, "quillmere_report_messages_capacity", "gauge",
           "Messages the report message queue holds at most (MSMQ_Capacity).");
    Sample(out, "quillmere_report_messages_capacity",
           static_cast<std::uint64_t>(std::max(0L, machine.settings->capacity)));
    if (machine.messagesQueued && machine.settings->capacity > 0) {
      Header(out, "quillmere_report_messages_fill_ratio", "gauge",
             "Messages queued against MSMQ_Capacity: 1 is full.");
      out.append("quillmere_report_messages_fill_ratio ")
          .append(Number(static_cast<double>(*machine.messagesQueued) /
                         static_cast<double>(machine.settings->capacity)))
          .append("\n");
    }
  }
  Header(out, "quillmere_process_resident_memory_bytes", "gauge",
         "Resident memory of the host's process.");
  Sample(out, "quillmere_process_resident_memory_bytes", machine.process.residentBytes);
  Header(out, "quillmere_process_open_fds", "gauge", "Open file descriptors of the process.");
  Sample(out, "quillmere_process_open_fds", machine.process.openDescriptors);
  return out;
}

}  // namespace quillmere::host
