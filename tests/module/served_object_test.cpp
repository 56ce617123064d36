#include <gtest/gtest.h>

#include <vector>

#include <winport/windows.h>

#include "module/com_module.h"
#include "module/module_ids.h"
#include "module/served_object.h"
#include "recording_reporter.h"
#include "soap/soap_object_impl.h"

namespace {

using quillmere::IAdminister;

// What the probe saw: its FinalConstruct's answer, and the events of its life.
struct ProbeScript {
  HRESULT finalConstruct = S_OK;
  std::vector<std::string> events;
};
ProbeScript* g_script = nullptr;

class Probe : public quillmere::ISOAPObjectImpl {
 public:
  explicit Probe(quillmere::Reporter& reporting) : ISOAPObjectImpl(reporting, OLESTR("Probe")) {}
  HRESULT FinalConstruct() {
    // Whatever it does with references cannot destroy the object being built.
    AddRef();
    Release();
    g_script->events.push_back("construct");
    return g_script->finalConstruct;
  }

 protected:
  HRESULT OnStart() override { return S_OK; }
  HRESULT OnStop() override { return S_OK; }
  void FinalRelease() override {
    // Nor, at the end, can it destroy the object twice.
    AddRef();
    Release();
    g_script->events.push_back("release");
  }
};

using ProbeObject = quillmere::CServedObject<Probe, IAdminister>;

class ServedObject : public testing::Test {
 protected:
  void SetUp() override { g_script = &script_; }
  void TearDown() override { g_script = nullptr; }

  ProbeScript script_;
  quillmere::CComModule module_;
  testing_support::RecordingReporter reporting_;
};

// A failed FinalConstruct or query gives its code and destroys the object again.
TEST_F(ServedObject, FailedConstructionOrQueryDestroysTheObject) {
  struct Case {
    HRESULT finalConstruct;
    IID iid;
    HRESULT expected;
  };
  for (const Case& c : {Case{E_ACCESSDENIED, __uuidof(IUnknown), E_ACCESSDENIED},
                        Case{S_OK, __uuidof(IDispatch), E_NOINTERFACE}}) {
    script_ = {c.finalConstruct, {}};
    void* object = &object;
    EXPECT_EQ(ProbeObject::Create(module_, reporting_, c.iid, &object), c.expected);
    EXPECT_EQ(object, c.expected == E_NOINTERFACE ? nullptr : &object);
    EXPECT_EQ(module_.GetLockCount(), 0);
    EXPECT_EQ(script_.events, (std::vector<std::string>{"construct", "release"}));
  }
}

}  // namespace
