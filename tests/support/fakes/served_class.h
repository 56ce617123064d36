// A class served from this process under its class id for as long as this lives. Its
// factory hands out what make() answers and keeps each object made, so that the test can
// look at it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include <winport/com_object.h>
#include <winport/com_ptr.h>
#include <winport/windows.h>

#include "fakes/call_log.h"

namespace fakes {

template <class Object>
class FakeFactory : public winport::ComObject<IClassFactory> {
 public:
  explicit FakeFactory(std::function<winport::ComPtr<Object>()> make) : make_(std::move(make)) {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** object) override {
    *object = nullptr;
    FAKE_ENTER(log, "CreateInstance");
    const winport::ComPtr<Object> made = make_();
    if (prepare) prepare(*made.Get());
    const HRESULT hr = made->QueryInterface(riid, object);
    if (SUCCEEDED(hr)) {
      std::lock_guard<std::mutex> hold(mutex_);
      made_.push_back(made);
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  std::vector<winport::ComPtr<Object>> Made() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return made_;
  }

  CallLog log;
  // Applied to every object made, before the module sees it.
  std::function<void(Object&)> prepare;

 private:
  std::function<winport::ComPtr<Object>()> make_;
  mutable std::mutex mutex_;
  std::vector<winport::ComPtr<Object>> made_;
};

template <class Object>
class ServedClass {
 public:
  // `context` is where the class is served as: in process, or as a local server (an
  // out-of-process component stood in for by this process).
  ServedClass(REFCLSID classId, std::function<winport::ComPtr<Object>()> make,
              DWORD context = CLSCTX_INPROC_SERVER)
      : factory(winport::MakeComObject<FakeFactory<Object>>(std::move(make))) {
    EXPECT_EQ(CoRegisterClassObject(classId, factory.Get(), context, REGCLS_MULTIPLEUSE, &cookie_),
              S_OK);
  }
  ~ServedClass() { CoRevokeClassObject(cookie_); }
  ServedClass(const ServedClass&) = delete;
  ServedClass& operator=(const ServedClass&) = delete;

  const winport::ComPtr<FakeFactory<Object>> factory;

 private:
  DWORD cookie_ = 0;
};

}  // namespace fakes
