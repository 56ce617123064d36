// What every fake of the host's components shares: the log of what it was asked, which of
// its calls must fail, the texts it trades in BSTRs, and the walk over a fixed list.
// Each fake operation starts with FAKE_ENTER(log, "Op") or FAKE_ENTER(log, "Op", detail).
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <winport/com_object.h>
#include <winport/com_ptr.h>
#include <winport/wide.h>
#include <winport/windows.h>

namespace fakes {

inline std::string Utf8(BSTR text) {
  return winport::WideToUtf8(winport::BstrView(text));
}
inline BSTR NewBstr(const std::string& text) {
  return SysAllocString(winport::Utf8ToWide(text).c_str());
}

class CallLog {
 public:
  // The calls of operation after the first `after` answer hr; with `times`, only that many.
  void Fail(const std::string& operation, HRESULT hr, int after = 0, int times = -1) {
    std::lock_guard<std::mutex> hold(mutex_);
    failures_[operation] = {hr, after, times};
  }

  // Records the call, followed by its detail when it has one; answers the failure set for
  // it, or S_OK.
  HRESULT Enter(const std::string& operation, const std::string& detail = {}) {
    std::lock_guard<std::mutex> hold(mutex_);
    calls_.push_back(detail.empty() ? operation : operation + " " + detail);
    const int made = ++counts_[operation];
    const auto failure = failures_.find(operation);
    if (failure == failures_.end()) return S_OK;
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
    const auto counted = counts_.find(operation);
    return counted == counts_.end() ? 0 : counted->second;
  }

 private:
  struct Failure {
    HRESULT hr;
    int after;
    int times;
  };

  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::map<std::string, int> counts_;
  std::map<std::string, Failure> failures_;
};

// Hands out a reference to what a fake keeps, as an out-parameter of interface type.
template <class Interface, class Object>
void HandOut(Object* object, Interface** out) {
  *out = object;
  if (object != nullptr) object->AddRef();
}

// Returns from the calling fake operation when the log says it must fail.
#define FAKE_ENTER(log, ...)                                                                     \
  do {                                                                                           \
    if (const HRESULT injected_ = (log).Enter(__VA_ARGS__); FAILED(injected_)) return injected_; \
  } while (0)

// Walks a fixed list one item at a time; log (shared by every walk of one fake) can make
// Next fail.
template <class Interface, class Record, class Item>
class FakeWalk : public winport::ComObject<Interface> {
 public:
  FakeWalk(std::vector<winport::ComPtr<Item>> items, std::shared_ptr<CallLog> log)
      : items_(std::move(items)), log_(std::move(log)) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG, Record** item, ULONG* fetched) override {
    *item = nullptr;
    if (fetched) *fetched = 0;
    FAKE_ENTER(*log_, "Next");
    if (next_ >= items_.size()) return S_FALSE;
    HandOut(items_[next_++].Get(), item);
    if (fetched) *fetched = 1;
    return S_OK;
  }

 private:
  std::vector<winport::ComPtr<Item>> items_;
  std::shared_ptr<CallLog> log_;
  size_t next_ = 0;
};

}  // namespace fakes
