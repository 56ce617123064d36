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
    ++created;
    return winport::MakeComObject<Widget>(42)->QueryInterface(riid, ppv);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
  int created = 0;
};

// Registers the widget class for one test.
class RegisteredWidget {
 public:
  explicit RegisteredWidget(DWORD context = CLSCTX_INPROC_SERVER, DWORD flags = REGCLS_MULTIPLEUSE)
      : factory_(winport::MakeComObject<WidgetFactory>()) {
    EXPECT_EQ(CoRegisterClassObject(kWidgetClass, factory_.Get(), context, flags, &cookie_), S_OK);
  }
  ~RegisteredWidget() { CoRevokeClassObject(cookie_); }
  WidgetFactory* factory() const { return factory_.Get(); }
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

TEST(ComApartment, SecondInitOfSameKindIsSFalseAndOtherKindIsRefused) {
  EXPECT_EQ(OnFreshThread([] {
              HRESULT first = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
              HRESULT second = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
              HRESULT other = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
              CoUninitialize();
              CoUninitialize();
              return first == S_OK && second == S_FALSE && other == RPC_E_CHANGED_MODE ? S_OK
                                                                                       : E_FAIL;
            }),
            S_OK);
}

TEST(ComApartment, BalancedUninitializeLeavesTheThreadFreeToChooseAgain) {
  EXPECT_EQ(OnFreshThread([] {
              CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
              CoUninitialize();
              const HRESULT again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
              CoUninitialize();
              return again;
            }),
            S_OK);
}

TEST(ComApartment, ActivationWithoutAnyApartmentFails) {
  EXPECT_EQ(OnFreshThread([] {
              void* object = nullptr;
              return CoCreateInstance(kWidgetClass, nullptr, CLSCTX_INPROC_SERVER,
                                      __uuidof(IWidget), &object);
            }),
            CO_E_NOTINITIALIZED);
}

TEST(ComApartment, ThreadWithoutInitUsesTheProcessMta) {
  winport::ScopedComInit mta(COINIT_MULTITHREADED);
  RegisteredWidget widget;
  EXPECT_EQ(OnFreshThread([] {
              winport::ComPtr<IWidget> object;
              return CoCreateInstance(kWidgetClass, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(object.GetAddressOf()));
            }),
            S_OK);
}

TEST(ComApartment, InitFailureIsInjectable) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("CoInitializeEx", static_cast<std::uint32_t>(E_OUTOFMEMORY));
  EXPECT_EQ(OnFreshThread([] { return CoInitializeEx(nullptr, COINIT_MULTITHREADED); }),
            E_OUTOFMEMORY);
}

TEST(ComActivation, CreatesThroughTheRegisteredFactory) {
  winport::ScopedComInit mta(COINIT_MULTITHREADED);
  RegisteredWidget widget;
  winport::ComPtr<IWidget> object;
  ASSERT_EQ(
      CoCreateInstance(kWidgetClass, nullptr, CLSCTX_ALL, IID_PPV_ARGS(object.GetAddressOf())),
      S_OK);
  LONG value = 0;
  object->Value(&value);
  EXPECT_EQ(value, 42);
  EXPECT_EQ(widget.factory()->created, 1);
}

TEST(ComActivation, ContextMaskMustMatchTheRegistration) {
  SKIP_ON_WINE("it serves a class object registered for another context");
  winport::ScopedComInit mta(COINIT_MULTITHREADED);
  RegisteredWidget widget(CLSCTX_LOCAL_SERVER);
  winport::ComPtr<IWidget> object;
  EXPECT_EQ(CoCreateInstance(kWidgetClass, nullptr, CLSCTX_INPROC_SERVER,
                             IID_PPV_ARGS(object.GetAddressOf())),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object.Get(), nullptr);
}

TEST(ComActivation, RevokedClassIsNotServed) {
  winport::ScopedComInit mta(COINIT_MULTITHREADED);
  DWORD cookie = 0;
  {
    RegisteredWidget widget;
    cookie = widget.cookie();
  }
  EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG);
  winport::ComPtr<IClassFactory> factory;
  EXPECT_EQ(CoGetClassObject(kWidgetClass, CLSCTX_INPROC_SERVER, nullptr,
                             IID_PPV_ARGS(factory.GetAddressOf())),
            REGDB_E_CLASSNOTREG);
}

TEST(ComActivation, UnsupportedInterfaceAndAggregationAreTheFactorysAnswer) {
  winport::ScopedComInit mta(COINIT_MULTITHREADED);
  RegisteredWidget widget;
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(kWidgetClass, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IClassFactory),
                             &object),
            E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  winport::ComPtr<IWidget> outer = winport::MakeComObject<Widget>(1);
  EXPECT_EQ(CoCreateInstance(kWidgetClass, outer.Get(), CLSCTX_INPROC_SERVER, __uuidof(IUnknown),
                             &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(
      CoCreateInstance(kWidgetClass, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IUnknown), nullptr),
      E_POINTER);
}

TEST(OleRun, RunsRunnableObjectsAndPassesTheirResult) {
  winport::ComPtr<Widget> widget = winport::MakeComObject<Widget>(1);
  EXPECT_EQ(OleRun(static_cast<IWidget*>(widget.Get())), S_OK);
  EXPECT_EQ(widget->runs, 1);
  widget->run_result = E_ACCESSDENIED;
  EXPECT_EQ(OleRun(static_cast<IWidget*>(widget.Get())), E_ACCESSDENIED);
}

TEST(OleRun, ObjectWithoutRunnableInterfaceIsAlreadyRunning) {
  winport::ComPtr<WidgetFactory> plain = winport::MakeComObject<WidgetFactory>();
  EXPECT_EQ(OleRun(plain.Get()), S_OK);
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
