#include <winport/fault_injection.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace winport::fault {
namespace {

struct Rule {
  unsigned calls_to_skip;
  unsigned calls_to_fail;
  std::uint32_t result;
};

struct Rules {
  std::mutex mutex;
  std::map<std::string, Rule, std::less<>> by_function;
  // Lets every call of every function skip the lock while no rule is set.
  std::atomic<bool> any{false};
};

Rules& TheRules() {
  static Rules rules;
  return rules;
}

}  // namespace

void FailCall(std::string_view function, std::uint32_t result, unsigned nth, unsigned times) {
  Rules& rules = TheRules();
  std::lock_guard lock(rules.mutex);
  rules.by_function[std::string(function)] = Rule{nth > 0 ? nth - 1 : 0, times, result};
  rules.any.store(true, std::memory_order_release);
}

void Reset() {
  Rules& rules = TheRules();
  std::lock_guard lock(rules.mutex);
  rules.by_function.clear();
  rules.any.store(false, std::memory_order_release);
}

bool ShouldFail(std::string_view function, std::uint32_t* result) {
  Rules& rules = TheRules();
  if (!rules.any.load(std::memory_order_acquire)) return false;
  std::lock_guard lock(rules.mutex);
  auto it = rules.by_function.find(function);
  if (it == rules.by_function.end()) return false;
  Rule& rule = it->second;
  if (rule.calls_to_skip > 0) {
    --rule.calls_to_skip;
    return false;
  }
  *result = rule.result;
  if (--rule.calls_to_fail == 0) {
    rules.by_function.erase(it);
    if (rules.by_function.empty()) rules.any.store(false, std::memory_order_release);
  }
  return true;
}

}  // namespace winport::fault
