#include <gtest/gtest.h>

#include <thread>

#include <winport/windows.h>

#include "platform_skips.h"

namespace {

struct IWidget : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Value(LONG* value) = 0;
};
}  // namespace
WINPORT_DEFINE_UUID(IWidget, 0x5A0C1E10, 0x1D2C, 0x4B7E, 0x9A, 0x11, 0x3C, 0x44, 0x55, 0x66, 0x77,
                    0x01);

namespace {

constexpr CLSID kWidgetClass = {
    0x5A0C1E10, 0x1D2C, 0x4B7E, {0x9A, 0x11, 0x3C, 0x44, 0x55, 0x66, 0x77, 0x02}};

class Widget : public winport::ComObject<IWidget, IRunnableObject> {
 public:
  explicit Widget(LONG value) : value_(value) {}
  HRESULT STDMETHODCALLTYPE Value(LONG* value) override {
    *value = value_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRunningClass(LPCLSID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Run(LPBINDCTX) override {
    ++runs;
    return run_result;
  }
  BOOL STDMETHODCALLTYPE IsRunning() override { return runs > 0; }
  HRESULT STDMETHODCALLTYPE LockRunning(BOOL, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetContainedObject(BOOL) override { return S_OK; }

  int runs = 0;
  HRESULT run_result = S_OK;

 private:
  LONG value_;
};

class WidgetFactory : public winport::ComObject<IClassFactory> {
 public:
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return winport::MakeComObject<Widget>(42)->QueryInterface(riid, ppv);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// Registers the widget class for one test.
class RegisteredWidget {
 public:
  RegisteredWidget() : factory_(winport::MakeComObject<WidgetFactory>()) {
    EXPECT_EQ(CoRegisterClassObject(kWidgetClass, factory_.Get(), CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie_),
              S_OK);
  }
  ~RegisteredWidget() { CoRevokeClassObject(cookie_); }
  DWORD cookie() const { return cookie_; }

 private:
  winport::ComPtr<WidgetFactory> factory_;
  DWORD cookie_ = 0;
};

HRESULT OnFreshThread(HRESULT (*body)()) {
  HRESULT result = E_UNEXPECTED;
  std::thread([&] { result = body(); }).join();
  return result;
}

// A thread that never joined an apartment activates nothing, unless the process has an
// MTA, which it then uses.
TEST(ComApartment, AThreadWithoutInitUsesTheProcessMtaIfThereIsOne) {
  auto activate = [] {
    winport::ComPtr<IWidget> object;
    return CoCreateInstance(kWidgetClass, nullptr, CLSCTX_INPROC_SERVER,
                            IID_PPV_ARGS(object.GetAddressOf()));
  };
  EXPECT_EQ(OnFreshThread(activate), CO_E_NOTINITIALIZED);
  winport::ScopedComInit mta(COINIT_MULTITHREADED);
  RegisteredWidget widget;
  EXPECT_EQ(OnFreshThread(activate), S_OK);
}

TEST(ComApartment, InitFailureIsInjectable) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("CoInitializeEx", static_cast<std::uint32_t>(E_OUTOFMEMORY));
  EXPECT_EQ(OnFreshThread([] { return CoInitializeEx(nullptr, COINIT_MULTITHREADED); }),
            E_OUTOFMEMORY);
}

// The factory answers for its class until revoked: it gives the interface asked for, or
// none, and refuses aggregation.
TEST(ComActivation, TheRegisteredFactoryServesUntilRevoked) {
  winport::ScopedComInit mta(COINIT_MULTITHREADED);
  DWORD cookie = 0;
  {
    RegisteredWidget widget;
    cookie = widget.cookie();
    winport::ComPtr<IWidget> object;
    ASSERT_EQ(
        CoCreateInstance(kWidgetClass, nullptr, CLSCTX_ALL, IID_PPV_ARGS(object.GetAddressOf())),
        S_OK);
    LONG value = 0;
    object->Value(&value);
    EXPECT_EQ(value, 42);
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kWidgetClass, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IClassFactory),
                               &other),
              E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(CoCreateInstance(kWidgetClass, object.Get(), CLSCTX_INPROC_SERVER, __uuidof(IUnknown),
                               &other),
              CLASS_E_NOAGGREGATION);
  }
  EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG);
  winport::ComPtr<IClassFactory> factory;
  EXPECT_EQ(CoGetClassObject(kWidgetClass, CLSCTX_INPROC_SERVER, nullptr,
                             IID_PPV_ARGS(factory.GetAddressOf())),
            REGDB_E_CLASSNOTREG);
}

// An object without IRunnableObject is taken as running already.
TEST(OleRun, RunsRunnableObjectsAndPassesTheirResult) {
  winport::ComPtr<Widget> widget = winport::MakeComObject<Widget>(1);
  EXPECT_EQ(OleRun(static_cast<IWidget*>(widget.Get())), S_OK);
  EXPECT_EQ(widget->runs, 1);
  widget->run_result = E_ACCESSDENIED;
  EXPECT_EQ(OleRun(static_cast<IWidget*>(widget.Get())), E_ACCESSDENIED);
  EXPECT_EQ(OleRun(winport::MakeComObject<WidgetFactory>().Get()), S_OK);
}

TEST(ComObject, QueryInterfaceAndReferenceCounting) {
  winport::ComPtr<Widget> widget = winport::MakeComObject<Widget>(7);
  winport::ComPtr<IUnknown> unknown;
  ASSERT_EQ(widget.As(&unknown), S_OK);
  winport::ComPtr<IRunnableObject> runnable;
  ASSERT_EQ(unknown.As(&runnable), S_OK);
  winport::ComPtr<IUnknown> unknown_again;
  ASSERT_EQ(runnable.As(&unknown_again), S_OK);
  EXPECT_EQ(unknown.Get(), unknown_again.Get());  // one identity
  winport::ComPtr<IErrorInfo> missing;
  EXPECT_EQ(widget.As(&missing), E_NOINTERFACE);
  EXPECT_EQ(missing.Get(), nullptr);
  IWidget* raw = widget.Get();
  raw->AddRef();
  EXPECT_EQ(raw->Release(), 4u);  // widget, unknown, runnable and unknown_again remain
}

TEST(ComPtr, CopyMoveAttachDetachKeepCountsBalanced) {
  winport::ComPtr<Widget> a = winport::MakeComObject<Widget>(1);
  Widget* raw = a.Get();
  winport::ComPtr<Widget> b = a;  // +1
  winport::ComPtr<Widget> c = std::move(b);
  EXPECT_EQ(b.Get(), nullptr);
  Widget* detached = c.Detach();  // count unchanged
  winport::ComPtr<Widget> d;
  d.Attach(detached);
  raw->AddRef();
  EXPECT_EQ(raw->Release(), 2u);  // a and d
  Widget* copy = nullptr;
  EXPECT_EQ(d.CopyTo(&copy), S_OK);
  EXPECT_EQ(copy->Release(), 2u);
  d = nullptr;
  EXPECT_EQ(a.Reset(), 0u);  // last reference: destroyed
}

}  // namespace
