// The host's counters for Prometheus: SOAP requests by object, method and outcome, their
// duration, logon failures. Counting is a few relaxed atomic increments on the request
// path, no lock; the names counted are fixed when the registry is made, so no request
// can add a series.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quillmere::host {

struct MachineState;

class RequestMetrics {
 public:
  // Upper bounds of the duration histogram's buckets, in seconds (+Inf follows).
  static constexpr std::array<double, 14> kBuckets = {
      0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10};

  // `methods` are the object and method pairs counted by name; any other request is
  // counted under object and method "other".
  explicit RequestMetrics(const std::vector<std::pair<std::string, std::string>>& methods);

  // `label` is "Object#Method" as the request log names it; ok: answered without a fault.
  void Count(std::string_view label, bool ok, std::chrono::nanoseconds duration);
  void LogonFailed() { logonFailures_.fetch_add(1, std::memory_order_relaxed); }

  // The text format 0.0.4 of every metric, the machine's state included.
  std::string Text(const MachineState& machine) const;

 private:
  struct Series {
    std::string object, method;
    std::atomic<std::uint64_t> ok{0}, fault{0};
  };
  std::vector<std::unique_ptr<Series>> series_;  // the last one is "other"
  // Looked up by the label's view: no string is made on the request path.
  struct LabelHash {
    using is_transparent = void;
    size_t operator()(std::string_view label) const { return std::hash<std::string_view>()(label); }
  };
  std::unordered_map<std::string, Series*, LabelHash, std::equal_to<>> byLabel_;
  std::array<std::atomic<std::uint64_t>, kBuckets.size() + 1> buckets_{};
  std::atomic<std::uint64_t> durationNanoseconds_{0};
  std::atomic<std::uint64_t> logonFailures_{0};
};

// The services' methods, as RequestMetrics counts them by name.
std::vector<std::pair<std::string, std::string>> CatalogueMethods();

}  // namespace quillmere::host
