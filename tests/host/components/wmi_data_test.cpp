// The host's WMI classes: installed once with the settings' defaults, and the instances of
// sessions, jobs and pools kept current; all read back through the WMI client API.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <winport/windows.h>

#include "host/components/wmi_data.h"

namespace host_testing {
namespace {

using quillmere::host::WmiData;

class HostWmi : public testing::Test {
 protected:
  static winport::ComPtr<IWbemServices> Services() {
    winport::ComPtr<IWbemLocator> locator;
    CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                     reinterpret_cast<void**>(locator.GetAddressOf()));
    winport::ComPtr<IWbemServices> services;
    locator->ConnectServer(winport::ScopedBstr(OLESTR("root\\cimv2\\quillmere")).Get(), nullptr,
                           nullptr, nullptr, 0, nullptr, nullptr, services.GetAddressOf());
    return services;
  }

  // "Name=value,..." in the class's order, null values left out; "" for no object.
  static std::string Text(IWbemClassObject* object) {
    std::string text;
    if (object == nullptr) return text;
    winport::ScopedBstr name;
    winport::ScopedVariant value;
    object->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY);
    while (object->Next(0, name.Receive(), value.Receive(), nullptr, nullptr) == S_OK) {
      if (value.Type() == VT_NULL || FAILED(value.ChangeType(VT_BSTR))) continue;
      text += (text.empty() ? "" : ",") + winport::WideToUtf8(winport::BstrView(name.Get())) + "=" +
              winport::WideToUtf8(winport::BstrView(value.Get().bstrVal));
    }
    return text;
  }

  static winport::ComPtr<IWbemClassObject> Object(const std::string& path) {
    winport::ComPtr<IWbemClassObject> object;
    Services()->GetObject(winport::ScopedBstr(winport::Utf8ToWide(path).c_str()).Get(), 0, nullptr,
                          object.GetAddressOf(), nullptr);
    return object;
  }

  static std::vector<std::string> Instances(const OLECHAR* className) {
    winport::ComPtr<IEnumWbemClassObject> walk;
    Services()->CreateInstanceEnum(winport::ScopedBstr(className).Get(), 0, nullptr,
                                   walk.GetAddressOf());
    std::vector<std::string> instances;
    winport::ComPtr<IWbemClassObject> object;
    ULONG fetched = 0;
    while (walk && walk->Next(0, 1, object.ReleaseAndGetAddressOf(), &fetched) == S_OK)
      instances.push_back(Text(object.Get()));
    return instances;
  }

  winport::ScopedComInit apartment{COINIT_MULTITHREADED};
};

// Reporting reads these seven, each of its type with a value where the type says.
TEST_F(HostWmi, InstallingOnAFreshMachineStoresEverySettingReportingReads) {
  ASSERT_EQ(WmiData::InstallMof(), S_OK);
  const auto holds = [](const char* name, const char* form) {
    EXPECT_THAT(Text(Object(std::string("Metadata=\"") + name + "\"").Get()),
                testing::ContainsRegex(form));
  };
  for (const char* name : {"ReportingLevel", "MSMQ_Capacity"})
    holds(name, ",IntVal=[0-9]+,CIMTYPE=3,");
  for (const char* name : {"LogToEventLog", "LogUserActivity", "LogToFile", "LogToMSMQ"})
    holds(name, ",IntVal=[01],CIMTYPE=11,");
  holds("MSMQ_Name", "StringValue=[^,]+,CIMTYPE=8,");
  EXPECT_EQ(WmiData::InstallMof(), S_FALSE);  // nothing missing: nothing compiled
}

TEST_F(HostWmi, InstallingAgainKeepsAChangedSetting) {
  ASSERT_EQ(WmiData::InstallMof(), S_OK);
  const auto level = Object("Metadata=\"ReportingLevel\"");
  winport::ScopedVariant changed(LONG{1234});
  level->Put(OLESTR("IntVal"), 0, changed.AsInput(), 0);
  ASSERT_EQ(Services()->PutInstance(level.Get(), 0, nullptr, nullptr), S_OK);
  ASSERT_EQ(Services()->DeleteClass(winport::ScopedBstr(OLESTR("Job")).Get(), 0, nullptr, nullptr),
            S_OK);
  ASSERT_EQ(WmiData::InstallMof(), S_OK);
  EXPECT_THAT(Text(Object("Metadata=\"ReportingLevel\"").Get()), testing::HasSubstr("IntVal=1234"));
  EXPECT_NE(Object("Job"), nullptr);
}

TEST_F(HostWmi, SessionsJobsAndPoolsAppearAndDisappear) {
  ASSERT_EQ(WmiData::InstallMof(), S_OK);
  {
    WmiData data;
    const quillmere::host::SessionRow ann{7, "ann", "ws1", 25569.5, "token-a"};  // 1970-01-01 noon
    ASSERT_EQ(data.SessionOpened(ann), S_OK);
    EXPECT_EQ(
        Instances(OLESTR("Session")),
        std::vector<std::string>{"Id=7,User=ann,Workstation=ws1,Started=1970-01-01T12:00:00Z"});
    ASSERT_EQ(data.JobsChanged({{"1", "token-a", "nightly", "2026-01-02T03:04:05Z"},
                                {"2", "token-x", "orphan", "2026-01-02T03:04:06Z"}}),
              S_OK);
    EXPECT_EQ(
        Instances(OLESTR("Job")),
        (std::vector<std::string>{"Id=1,Name=nightly,Session=7,Submitted=2026-01-02T03:04:05Z",
                                  "Id=2,Name=orphan,Session=0,Submitted=2026-01-02T03:04:06Z"}));
    ASSERT_EQ(data.JobsChanged({{"2", "token-x", "orphan", "2026-01-02T03:04:06Z"}}), S_OK);
    EXPECT_EQ(Instances(OLESTR("Job")).size(), 1u);
    ASSERT_EQ(data.Pool({"http", 8, 3, 2, 40}), S_OK);
    ASSERT_EQ(data.Pool({"http", 8, 5, 0, 41}), S_OK);
    EXPECT_EQ(Instances(OLESTR("VXPool")),
              std::vector<std::string>{"Name=http,Threads=8,Busy=5,Idle=3,Queued=0,Completed=41"});
    ASSERT_EQ(data.SessionClosed(ann), S_OK);
    EXPECT_TRUE(Instances(OLESTR("Session")).empty());
    ASSERT_EQ(data.SessionOpened({8, "bob", "ws2", 25569.5, "token-b"}), S_OK);
  }
  // A host that stopped leaves no live instance behind.
  for (const OLECHAR* className : {OLESTR("Session"), OLESTR("Job"), OLESTR("VXPool")})
    EXPECT_TRUE(Instances(className).empty());
}

// What a host that did not stop cleanly left is gone once the next one starts.
TEST_F(HostWmi, AStartingHostRemovesInstancesOfAnEarlierRun) {
  ASSERT_EQ(WmiData::InstallMof(), S_OK);
  WmiData earlier;
  ASSERT_EQ(earlier.SessionOpened({3, "ann", "ws", 25569.5, "t"}), S_OK);
  ASSERT_EQ(earlier.Pool({"http", 1, 0, 0, 0}), S_OK);
  const WmiData next;
  EXPECT_TRUE(Instances(OLESTR("Session")).empty());
  EXPECT_TRUE(Instances(OLESTR("VXPool")).empty());
}

}  // namespace
}  // namespace host_testing
