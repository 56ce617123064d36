// A SOAP object's life with its host: Init registers it and says so, SetStop takes it
// back, and a request for a method it does not have is the caller's fault.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <winport/wide.h>

#include "admin/administrator.h"
#include "errors/error_message.h"
#include "test_host.h"
#include "wbem_provider/wbem_provider.h"

namespace {

using quillmere::FaultCode;
using soap_testing::TestHost;
using soap_testing::TestObject;
using testing_support::RecordedReport;

using Create = std::function<winport::ComPtr<quillmere::ISOAPObjectImpl>(quillmere::Reporting&)>;

struct ShellRow {
  const char* objectName;
  const char* className;
  Create create;
};

void PrintTo(const ShellRow& row, std::ostream* out) {
  *out << row.className;
}

template <class Shell>
Create Creating() {
  return [](quillmere::Reporting& reporting) {
    auto shell = winport::MakeComObject<Shell>(reporting);
    EXPECT_EQ(shell->FinalConstruct(), S_OK);
    return winport::ComPtr<quillmere::ISOAPObjectImpl>(shell.Get());
  };
}

class Shells : public testing::TestWithParam<ShellRow> {};

bool IsReport(const RecordedReport& report, DWORD level, const std::string& source,
              const std::string& description) {
  return report.level == level && report.source == source && report.description == description;
}

TEST_P(Shells, InitRegistersUnderTheObjectNameAndTheStartReachesTheWorker) {
  TestHost host;
  host.reporting.SetReportingLevel(4);
  auto object = GetParam().create(host.reporting);
  const std::string name = GetParam().objectName;

  ASSERT_EQ(object->Init(host.service.Get()), S_OK);

  const auto registrations = host.service->Registrations();
  ASSERT_EQ(registrations.size(), 1u);
  EXPECT_TRUE(registrations[0].registering);
  EXPECT_EQ(registrations[0].nameSpace, name);
  EXPECT_TRUE(registrations[0].withObject);
  EXPECT_TRUE(host.reporting.WaitForRecord([&](const RecordedReport& r) {
    return IsReport(r, 4, "ISOAPObjectImpl::Init", "SOAP Object started: " + name);
  }));
}

TEST_P(Shells, SetStopUnregistersAndSaysSo) {
  TestHost host;
  host.reporting.SetReportingLevel(4);
  auto object = GetParam().create(host.reporting);
  const std::string name = GetParam().objectName;
  ASSERT_EQ(object->Init(host.service.Get()), S_OK);

  ASSERT_EQ(object->SetStop(), S_OK);

  const auto registrations = host.service->Registrations();
  ASSERT_EQ(registrations.size(), 2u);
  EXPECT_FALSE(registrations[1].registering);
  EXPECT_EQ(registrations[1].nameSpace, name);
  EXPECT_TRUE(host.reporting.WaitForRecord([&](const RecordedReport& r) {
    return IsReport(r, 4, "ISOAPObjectImpl::SetStop", "SOAP Object stopped: " + name);
  }));
}

TEST_P(Shells, AMethodNameInTheWrongCaseIsNotFound) {
  TestHost host;
  auto object = GetParam().create(host.reporting);
  ASSERT_EQ(object->Init(host.service.Get()), S_OK);
  const std::string name = GetParam().objectName;

  for (const char* method :
       {"adminjoblist", "ADMINSESSIONLIST", "GetMetadata", "getmetadata", ""}) {
    const auto answer = host.Execute(object.Get(), TestHost::Request(method).Get());
    EXPECT_EQ(answer.hr, S_FALSE) << method;
    ASSERT_TRUE(answer.created) << method;
    EXPECT_EQ(answer.created->fault->Code(), FaultCode::Client) << method;
    EXPECT_EQ(answer.created->fault->Text(),
              "SOAP object does not implement the requested method: " + name + "#" + method);
  }
}

TEST_P(Shells, HooksAreTracedInsideTheOperationsThatCallThem) {
  TestHost host;
  host.reporting.SetReportingLevel(8);
  auto object = GetParam().create(host.reporting);
  ASSERT_EQ(object->Init(host.service.Get()), S_OK);
  const std::string shell = GetParam().className;

  std::vector<std::string> traces;
  for (const auto& report : soap_testing::Delivered(host.reporting)) {
    if (report.level == 8)
      traces.push_back(report.description.value_or("") + " " + report.source.value_or(""));
  }
  const std::vector<std::string> expected = {
      "*ENTER* " + shell + "::FinalConstruct", "*LEAVE* " + shell + "::FinalConstruct",
      "*ENTER* ISOAPObjectImpl::Init",         "*ENTER* " + shell + "::OnStart",
      "*LEAVE* " + shell + "::OnStart",        "*LEAVE* ISOAPObjectImpl::Init"};
  EXPECT_EQ(traces, expected);
}

INSTANTIATE_TEST_SUITE_P(Both, Shells,
                         testing::Values(ShellRow{"Administrator", "CAdministrator",
                                                  Creating<quillmere::CAdministrator>()},
                                         ShellRow{"WbemProvider", "CWbemProvider",
                                                  Creating<quillmere::CWbemProvider>()}),
                         [](const auto& info) { return std::string(info.param.objectName); });

TEST(SoapObjectLifecycle, WithoutInformationLevelNothingIsSaidAboutStarting) {
  TestHost host;
  host.reporting.SetReportingLevel(2);
  auto object = winport::MakeComObject<TestObject>(host.reporting, OLESTR("Tester"));
  ASSERT_EQ(object->Init(host.service.Get()), S_OK);
  ASSERT_EQ(object->SetStop(), S_OK);
  EXPECT_EQ(soap_testing::Delivered(host.reporting).size(), 0u);
}

TEST(SoapObjectLifecycle, AnObjectWithoutANameSaysSoWithoutOne) {
  TestHost host;
  host.reporting.SetReportingLevel(4);
  auto object = winport::MakeComObject<TestObject>(host.reporting, nullptr);
  ASSERT_EQ(object->Init(host.service.Get()), S_OK);
  EXPECT_TRUE(host.reporting.WaitForRecord([](const RecordedReport& r) {
    return IsReport(r, 4, "ISOAPObjectImpl::Init", "SOAP Object started: ");
  }));
  EXPECT_EQ(host.service->Registrations().at(0).nameSpace, "");
}

TEST(SoapObjectLifecycle, AnObjectThatCannotStartStaysRegisteredAndSaysWhy) {
  TestHost host;
  host.reporting.SetReportingLevel(0);
  auto object = winport::MakeComObject<TestObject>(host.reporting, OLESTR("Tester"));
  object->canStart = false;

  EXPECT_EQ(object->Init(host.service.Get()), E_FAIL);

  EXPECT_EQ(host.service->Registrations().size(), 1u);
  EXPECT_TRUE(host.reporting.WaitForRecord([](const RecordedReport& r) {
    return IsReport(r, 1, "ISOAPObjectImpl::Init", "SOAP Object failed to start: Tester");
  }));
}

TEST(SoapObjectLifecycle, ARefusedRegistrationIsInitsAnswerAndIsReported) {
  TestHost host;
  host.reporting.SetReportingLevel(4);
  host.service->log.Fail("Register", E_ACCESSDENIED);
  auto object = winport::MakeComObject<TestObject>(host.reporting, OLESTR("Tester"));

  EXPECT_EQ(object->Init(host.service.Get()), E_ACCESSDENIED);

  const auto delivered = soap_testing::Delivered(host.reporting);
  ASSERT_EQ(delivered.size(), 1u);  // the failure, and no "started"
  EXPECT_EQ(delivered[0].source, "ISOAPObjectImpl::Init");
  EXPECT_EQ(delivered[0].description,
            "COM Error:  " + winport::WideToUtf8(quillmere::ErrorMessage(E_ACCESSDENIED)));
  EXPECT_EQ(delivered[0].errorNumber, E_ACCESSDENIED);
}

TEST(SoapObjectIdentity, AnswersItsHostsInterfacesAndNoOthers) {
  TestHost host;
  auto object = winport::MakeComObject<TestObject>(host.reporting, OLESTR("Tester"));
  struct Asked {
    const char* name;
    GUID iid;
    HRESULT expected;
  };
  const Asked asked[] = {{"IUnknown", __uuidof(IUnknown), S_OK},
                         {"_ISoapObject", __uuidof(quillmere::_ISoapObject), S_OK},
                         {"ISetting", __uuidof(quillmere::ISetting), S_OK},
                         {"ISOAPMessage", __uuidof(quillmere::ISOAPMessage), E_NOINTERFACE},
                         {"IErrorInfo", __uuidof(IErrorInfo), E_NOINTERFACE}};
  for (const Asked& a : asked) {
    winport::ComPtr<IUnknown> answer;
    EXPECT_EQ(object->QueryInterface(a.iid, reinterpret_cast<void**>(answer.GetAddressOf())),
              a.expected)
        << a.name;
    EXPECT_EQ(answer.Get() != nullptr, a.expected == S_OK) << a.name;
  }
  // One identity: IUnknown from either interface is the same pointer.
  winport::ComPtr<quillmere::ISetting> setting;
  ASSERT_EQ(object.As(&setting), S_OK);
  winport::ComPtr<IUnknown> viaSetting, viaObject;
  setting.As(&viaSetting);
  object.As(&viaObject);
  EXPECT_EQ(viaSetting.Get(), viaObject.Get());
}

TEST(SoapObjectIdentity, ASettingChangeReplacesTheReportingLevelWhateverItsName) {
  TestHost host;
  host.reporting.SetReportingLevel(4);
  auto object = winport::MakeComObject<TestObject>(host.reporting, OLESTR("Tester"));
  winport::ComPtr<quillmere::ISetting> setting;
  ASSERT_EQ(object.As(&setting), S_OK);
  winport::ScopedBstr name(OLESTR("LogToFile"));
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = 15;

  EXPECT_EQ(setting->Modify(name.Get(), value), S_OK);
  EXPECT_EQ(host.reporting.ReportingLevel(), 15u);
  value.lVal = 0;
  EXPECT_EQ(setting->Modify(nullptr, value), S_OK);
  EXPECT_EQ(host.reporting.ReportingLevel(), 0u);
}

}  // namespace
