// The repository under failure: a process killed inside a write, a write that fails
// before it is durable, injected call failures, and a file that is not a repository.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include <winport/machine.h>

#include "wmi/repository.h"
#include "wmi_client.h"

namespace wmi_tests {
namespace {

// A class "Counter" (key Name, sint32 Value) in root\cimv2 with one instance "c" = 1.
class Repository : public testing::Test {
 protected:
  void SetUp() override {
    root_ = ConnectRoot();
    ASSERT_TRUE(root_);
    ComPtr<IWbemClassObject> counter =
        NewClass(root_.Get(), OLESTR("Counter"), OLESTR("Name"), CIM_STRING, BooleanTrue());
    ASSERT_EQ(counter->Put(OLESTR("Value"), 0, nullptr, CIM_SINT32), S_OK);
    ASSERT_EQ(root_->PutClass(counter.Get(), 0, nullptr, nullptr), S_OK);
    ASSERT_EQ(Store(root_.Get(), 1), S_OK);
  }

  static HRESULT Store(IWbemServices* root, LONG value) {
    ComPtr<IWbemClassObject> instance = Spawn(root, OLESTR("Counter"));
    if (!instance) return E_FAIL;
    Put(instance.Get(), OLESTR("Name"), Text(OLESTR("c")));
    Put(instance.Get(), OLESTR("Value"), ScopedVariant(value));
    return root->PutInstance(instance.Get(), 0, nullptr, nullptr);
  }

  std::string Stored() {
    ComPtr<IWbemClassObject> found;
    return FAILED(GetObject(root_.Get(), OLESTR("Counter=\"c\""), &found))
               ? "error"
               : PropertyText(found.Get(), OLESTR("Value"));
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
        GetObject(root.Get(), OLESTR("Counter"), &counter);
        counter->Put(OLESTR("Extra"), 0, nullptr, CIM_STRING);
        root->PutClass(counter.Get(), 0, nullptr, nullptr);
      } else {
        Store(root.Get(), 2);
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
  ASSERT_EQ(GetObject(root_.Get(), OLESTR("Counter"), &counter), S_OK);
  EXPECT_EQ(counter->Get(OLESTR("Extra"), 0, nullptr, nullptr, nullptr), Status(WBEM_E_NOT_FOUND));
  EXPECT_EQ(Store(root_.Get(), 3), S_OK);
  EXPECT_EQ(Stored(), "3");
}

TEST_F(Repository, ClassesChangedByAnotherProcessAreReadAgain) {
  ASSERT_EQ(Stored(), "1");  // the class is now known to this process
  ASSERT_TRUE(ChangedByAnotherProcess([](IWbemServices* root) {
    ComPtr<IWbemClassObject> counter;
    HRESULT hr = GetObject(root, OLESTR("Counter"), &counter);
    if (SUCCEEDED(hr)) hr = Put(counter.Get(), OLESTR("Unit"), Text(OLESTR("km")));
    return SUCCEEDED(hr) ? root->PutClass(counter.Get(), 0, nullptr, nullptr) : hr;
  }));
  ComPtr<IEnumWbemClassObject> instances;
  ASSERT_EQ(root_->CreateInstanceEnum(Bstr(OLESTR("Counter")).Get(), 0, nullptr,
                                      instances.GetAddressOf()),
            S_OK);
  ComPtr<IWbemClassObject> instance;
  ULONG returned = 0;
  ASSERT_EQ(instances->Next(0, 1, instance.GetAddressOf(), &returned), S_OK);
  EXPECT_EQ(PropertyText(instance.Get(), OLESTR("Unit")), "km");

  ASSERT_TRUE(ChangedByAnotherProcess([](IWbemServices* root) {
    return root->DeleteClass(Bstr(OLESTR("Counter")).Get(), 0, nullptr, nullptr);
  }));
  ComPtr<IWbemClassObject> gone;
  EXPECT_EQ(GetObject(root_.Get(), OLESTR("Counter"), &gone), Status(WBEM_E_NOT_FOUND));
}

TEST_F(Repository, DeepEnumerationEndsWhenARedefinedSuperclassMakesALoop) {
  ComPtr<IWbemClassObject> counter;
  ASSERT_EQ(GetObject(root_.Get(), OLESTR("Counter"), &counter), S_OK);
  // Tally derives from Counter; then Counter is stored again as a subclass of Tally.
  for (const OLECHAR* name : {OLESTR("Tally"), OLESTR("Counter")}) {
    ComPtr<IWbemClassObject> derived;
    ASSERT_EQ(counter->SpawnDerivedClass(0, derived.GetAddressOf()), S_OK);
    ASSERT_EQ(Put(derived.Get(), OLESTR("__CLASS"), Text(name)), S_OK);
    ASSERT_EQ(root_->PutClass(derived.Get(), 0, nullptr, nullptr), S_OK);
    counter = derived;
  }
  ComPtr<IEnumWbemClassObject> instances;
  ASSERT_EQ(
      root_->CreateInstanceEnum(Bstr(OLESTR("Tally")).Get(), 0, nullptr, instances.GetAddressOf()),
      S_OK);
  EXPECT_EQ(Drain(instances.Get()), 1u);  // the instance "c" of Counter
}

TEST_F(Repository, AWriteThatFailsBeforeItIsDurableChangesNothing) {
  winport::fault::FailCall("WmiRepositoryWrite", Status(WBEM_E_OUT_OF_DISK_SPACE));
  EXPECT_EQ(Store(root_.Get(), 2), Status(WBEM_E_OUT_OF_DISK_SPACE));
  EXPECT_EQ(Stored(), "1");
}

TEST_F(Repository, EveryCheckedCallCanBeMadeToFail) {
  ComPtr<IWbemLocator> locator = Locator();
  auto counter_enum = [&](ComPtr<IEnumWbemClassObject>* enumerator) {
    return root_->CreateInstanceEnum(Bstr(OLESTR("Counter")).Get(), 0, nullptr,
                                     enumerator->GetAddressOf());
  };
  const std::pair<const char*, std::function<HRESULT()>> cases[] = {
      {"ConnectServer",
       [&] {
         ComPtr<IWbemServices> root;
         return Connect(locator.Get(), OLESTR("root\\cimv2"), &root);
       }},
      {"GetObject",
       [&] {
         ComPtr<IWbemClassObject> object;
         return GetObject(root_.Get(), OLESTR("Counter"), &object);
       }},
      {"CreateInstanceEnum",
       [&] {
         ComPtr<IEnumWbemClassObject> enumerator;
         return counter_enum(&enumerator);
       }},
      {"Next",
       [&] {
         ComPtr<IEnumWbemClassObject> enumerator;
         counter_enum(&enumerator);
         ComPtr<IWbemClassObject> object;
         ULONG returned = 0;
         return enumerator->Next(0, 1, object.GetAddressOf(), &returned);
       }},
      {"SpawnInstance",
       [&] {
         ComPtr<IWbemClassObject> object;
         GetObject(root_.Get(), OLESTR("Counter"), &object);
         ComPtr<IWbemClassObject> instance;
         return object->SpawnInstance(0, instance.GetAddressOf());
       }},
  };
  for (const auto& [function, call] : cases) {
    winport::fault::FailCall(function, Status(WBEM_E_ACCESS_DENIED));
    EXPECT_EQ(call(), Status(WBEM_E_ACCESS_DENIED)) << function;
    winport::fault::Reset();
  }
}

TEST(CorruptRepository, EveryConnectionFailsWithoutACrash) {
  winport::ScopedComInit com(COINIT_MULTITHREADED);
  std::ofstream(winport::machine::WmiDirectory() / "repository.db", std::ios::binary)
      << std::string(8192, 'x');
  ComPtr<IWbemLocator> locator = Locator();
  ASSERT_TRUE(locator);
  for (int attempt = 0; attempt < 2; ++attempt) {
    ComPtr<IWbemServices> root;
    EXPECT_EQ(Connect(locator.Get(), OLESTR("\\\\.\\root\\cimv2"), &root),
              Status(WBEM_E_CRITICAL_ERROR));
    EXPECT_FALSE(root);
  }
}

TEST(Connection, NamespacesAndServersAreChecked) {
  winport::ScopedComInit com(COINIT_MULTITHREADED);
  ComPtr<IWbemLocator> locator = Locator();
  ASSERT_TRUE(locator);
  const std::pair<const OLECHAR*, HRESULT> cases[] = {
      {OLESTR("\\\\.\\root\\cimv2"), S_OK},
      {OLESTR("root\\CIMV2"), S_OK},
      {OLESTR("//localhost/root"), S_OK},
      {OLESTR("root\\nothing"), Status(WBEM_E_INVALID_NAMESPACE)},
      {OLESTR("\\\\elsewhere\\root\\cimv2"), HRESULT_FROM_WIN32(1722)},
  };
  for (const auto& [resource, expected] : cases) {
    ComPtr<IWbemServices> services;
    EXPECT_EQ(Connect(locator.Get(), resource, &services), expected)
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
