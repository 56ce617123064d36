// The repository under failure: a process killed inside a write, a write that fails
// before it is durable, injected call failures, and a file that is not a repository.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include <winport/machine.h>

#include "wmi/repository.h"
#include "wmi_client.h"

namespace wmi_tests {
namespace {

using winport::ComPtr;

// A class "Counter" (key Name, sint32 Value) in root\cimv2 with one instance "c" = 1.
class Repository : public testing::Test {
 protected:
  void SetUp() override {
    root_ = ConnectRoot();
    ASSERT_TRUE(root_);
    ComPtr<IWbemClassObject> counter;
    ASSERT_EQ(root_->GetObject(nullptr, 0, nullptr, counter.GetAddressOf(), nullptr), S_OK);
    winport::ScopedVariant name = Text(OLESTR("Counter"));
    ASSERT_EQ(counter->Put(OLESTR("__CLASS"), 0, const_cast<VARIANT*>(&name.Get()), 0), S_OK);
    ASSERT_EQ(counter->Put(OLESTR("Name"), 0, nullptr, CIM_STRING), S_OK);
    ASSERT_EQ(counter->Put(OLESTR("Value"), 0, nullptr, CIM_SINT32), S_OK);
    ComPtr<IWbemQualifierSet> qualifiers;
    ASSERT_EQ(counter->GetPropertyQualifierSet(OLESTR("Name"), qualifiers.GetAddressOf()), S_OK);
    VARIANT key;
    VariantInit(&key);
    key.vt = VT_BOOL;
    key.boolVal = VARIANT_TRUE;
    ASSERT_EQ(qualifiers->Put(OLESTR("key"), &key, 0), S_OK);
    ASSERT_EQ(root_->PutClass(counter.Get(), 0, nullptr, nullptr), S_OK);
    ASSERT_EQ(Store(1), S_OK);
  }

  HRESULT Store(LONG value) {
    ComPtr<IWbemClassObject> counter;
    HRESULT hr = root_->GetObject(Bstr(OLESTR("Counter")).Get(), 0, nullptr, counter.GetAddressOf(),
                                  nullptr);
    ComPtr<IWbemClassObject> instance;
    if (SUCCEEDED(hr)) hr = counter->SpawnInstance(0, instance.GetAddressOf());
    if (FAILED(hr)) return hr;
    winport::ScopedVariant name = Text(OLESTR("c"));
    winport::ScopedVariant number(value);
    instance->Put(OLESTR("Name"), 0, const_cast<VARIANT*>(&name.Get()), 0);
    instance->Put(OLESTR("Value"), 0, const_cast<VARIANT*>(&number.Get()), 0);
    return root_->PutInstance(instance.Get(), 0, nullptr, nullptr);
  }

  std::string Stored() {
    ComPtr<IWbemClassObject> found;
    const HRESULT hr = root_->GetObject(Bstr(OLESTR("Counter=\"c\"")).Get(), 0, nullptr,
                                        found.GetAddressOf(), nullptr);
    return FAILED(hr) ? "error" : PropertyText(found.Get(), OLESTR("Value"));
  }

  winport::ScopedComInit com_{COINIT_MULTITHREADED};
  ComPtr<IWbemServices> root_;
};

TEST_F(Repository, AProcessKilledInsideAWriteLeavesThePreviousState) {
  // One child dies inside an instance write, another inside a class write.
  for (bool class_write : {false, true}) {
    const pid_t child = fork();
    if (child == 0) {
      winport::wmi::SetWriteInterruptionForTesting([] { raise(SIGKILL); });
      winport::ScopedComInit com(COINIT_MULTITHREADED);
      ComPtr<IWbemServices> root = ConnectRoot();
      if (class_write) {
        ComPtr<IWbemClassObject> counter;
        root->GetObject(Bstr(OLESTR("Counter")).Get(), 0, nullptr, counter.GetAddressOf(), nullptr);
        counter->Put(OLESTR("Extra"), 0, nullptr, CIM_STRING);
        root->PutClass(counter.Get(), 0, nullptr, nullptr);
      } else {
        Store(2);
      }
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child finished its write";
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
  }
  EXPECT_EQ(Stored(), "1");
  ComPtr<IWbemClassObject> counter;
  ASSERT_EQ(
      root_->GetObject(Bstr(OLESTR("Counter")).Get(), 0, nullptr, counter.GetAddressOf(), nullptr),
      S_OK);
  EXPECT_EQ(counter->Get(OLESTR("Extra"), 0, nullptr, nullptr, nullptr), Status(WBEM_E_NOT_FOUND));
  EXPECT_EQ(Store(3), S_OK);
  EXPECT_EQ(Stored(), "3");
}

TEST_F(Repository, AWriteThatFailsBeforeItIsDurableChangesNothing) {
  winport::fault::FailCall("WmiRepositoryWrite", Status(WBEM_E_OUT_OF_DISK_SPACE));
  EXPECT_EQ(Store(2), Status(WBEM_E_OUT_OF_DISK_SPACE));
  EXPECT_EQ(Stored(), "1");
}

TEST_F(Repository, EveryCheckedCallCanBeMadeToFail) {
  const struct {
    const char* function;
    std::function<HRESULT(IWbemServices*)> call;
  } cases[] = {
      {"ConnectServer", [](IWbemServices*) { return ConnectRoot() ? S_OK : E_FAIL; }},
      {"GetObject",
       [](IWbemServices* root) {
         ComPtr<IWbemClassObject> object;
         return root->GetObject(Bstr(OLESTR("Counter")).Get(), 0, nullptr, object.GetAddressOf(),
                                nullptr);
       }},
      {"CreateInstanceEnum",
       [](IWbemServices* root) {
         ComPtr<IEnumWbemClassObject> enumerator;
         return root->CreateInstanceEnum(Bstr(OLESTR("Counter")).Get(), 0, nullptr,
                                         enumerator.GetAddressOf());
       }},
      {"Next",
       [](IWbemServices* root) {
         ComPtr<IEnumWbemClassObject> enumerator;
         root->CreateInstanceEnum(Bstr(OLESTR("Counter")).Get(), 0, nullptr,
                                  enumerator.GetAddressOf());
         ComPtr<IWbemClassObject> object;
         ULONG returned = 0;
         return enumerator->Next(0, 1, object.GetAddressOf(), &returned);
       }},
      {"SpawnInstance",
       [](IWbemServices* root) {
         ComPtr<IWbemClassObject> object;
         root->GetObject(Bstr(OLESTR("Counter")).Get(), 0, nullptr, object.GetAddressOf(), nullptr);
         ComPtr<IWbemClassObject> instance;
         return object->SpawnInstance(0, instance.GetAddressOf());
       }},
  };
  for (const auto& c : cases) {
    winport::fault::FailCall(c.function, Status(WBEM_E_ACCESS_DENIED));
    if (std::string(c.function) == "ConnectServer") {
      winport::ComPtr<IWbemLocator> locator;
      ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                 reinterpret_cast<void**>(locator.GetAddressOf())),
                S_OK);
      ComPtr<IWbemServices> root;
      EXPECT_EQ(locator->ConnectServer(Bstr(OLESTR("root\\cimv2")).Get(), nullptr, nullptr, nullptr,
                                       0, nullptr, nullptr, root.GetAddressOf()),
                Status(WBEM_E_ACCESS_DENIED));
      continue;
    }
    EXPECT_EQ(c.call(root_.Get()), Status(WBEM_E_ACCESS_DENIED)) << c.function;
    winport::fault::Reset();
  }
}

TEST(CorruptRepository, EveryConnectionFailsWithoutACrash) {
  winport::ScopedComInit com(COINIT_MULTITHREADED);
  {
    std::ofstream garbage(winport::machine::WmiDirectory() / "repository.db", std::ios::binary);
    garbage << std::string(8192, 'x');
  }
  winport::ComPtr<IWbemLocator> locator;
  ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                             reinterpret_cast<void**>(locator.GetAddressOf())),
            S_OK);
  for (int attempt = 0; attempt < 2; ++attempt) {
    ComPtr<IWbemServices> root;
    EXPECT_EQ(locator->ConnectServer(Bstr(OLESTR("\\\\.\\root\\cimv2")).Get(), nullptr, nullptr,
                                     nullptr, 0, nullptr, nullptr, root.GetAddressOf()),
              Status(WBEM_E_CRITICAL_ERROR));
    EXPECT_FALSE(root);
  }
}

TEST(Connection, NamespacesAndServersAreChecked) {
  winport::ScopedComInit com(COINIT_MULTITHREADED);
  winport::ComPtr<IWbemLocator> locator;
  ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                             reinterpret_cast<void**>(locator.GetAddressOf())),
            S_OK);
  const std::pair<const OLECHAR*, HRESULT> cases[] = {
      {OLESTR("\\\\.\\root\\cimv2"), S_OK},
      {OLESTR("root\\CIMV2"), S_OK},
      {OLESTR("//localhost/root"), S_OK},
      {OLESTR("root\\nothing"), Status(WBEM_E_INVALID_NAMESPACE)},
      {OLESTR("\\\\elsewhere\\root\\cimv2"), HRESULT_FROM_WIN32(1722)},
  };
  for (const auto& [resource, expected] : cases) {
    ComPtr<IWbemServices> services;
    EXPECT_EQ(locator->ConnectServer(Bstr(resource).Get(), nullptr, nullptr, nullptr, 0, nullptr,
                                     nullptr, services.GetAddressOf()),
              expected)
        << winport::WideToUtf8(resource);
    if (services) {
      EXPECT_EQ(CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                  RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                  EOAC_NONE),
                S_OK);
    }
  }
}

}  // namespace
}  // namespace wmi_tests
