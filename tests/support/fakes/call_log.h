// What a fake of the host's components was asked, and which of its calls must fail.
// Each fake operation starts with `if (FAILED(hr = log.Enter("Op"))) return hr;`.
#pragma once

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <winport/windows.h>

namespace fakes {

class CallLog {
 public:
  // The calls of operation after the first `after` answer hr (S_OK clears it); with
  // `times`, only that many of them.
  void Fail(const std::string& operation, HRESULT hr, int after = 0, int times = -1) {
    std::lock_guard<std::mutex> hold(mutex_);
    failures_[operation] = {hr, after, times};
  }

  // Records the call; answers the failure set for it, or S_OK.
  HRESULT Enter(const std::string& operation) {
    std::lock_guard<std::mutex> hold(mutex_);
    calls_.push_back(operation);
    const auto failure = failures_.find(operation);
    if (failure == failures_.end()) return S_OK;
    const auto made = std::count(calls_.begin(), calls_.end(), operation);
    const Failure& rule = failure->second;
    const bool inRange = made > rule.after && (rule.times < 0 || made <= rule.after + rule.times);
    return inRange ? rule.hr : S_OK;
  }

  std::vector<std::string> Calls() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return calls_;
  }
  int Count(const std::string& operation) const {
    std::lock_guard<std::mutex> hold(mutex_);
    return static_cast<int>(std::count(calls_.begin(), calls_.end(), operation));
  }

 private:
  struct Failure {
    HRESULT hr;
    int after;
    int times;
  };
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::map<std::string, Failure> failures_;
};

// Hands out a reference to what a fake keeps, as an out-parameter of interface type.
template <class Interface, class Object>
void HandOut(Object* object, Interface** out) {
  *out = object;
  if (object != nullptr) object->AddRef();
}

}  // namespace fakes

// Returns from the calling fake operation when the log says it must fail.
#define FAKE_ENTER(log, operation)                                                             \
  do {                                                                                         \
    if (const HRESULT injected_ = (log).Enter(operation); FAILED(injected_)) return injected_; \
  } while (0)
