// A SOAP object's life with its host: Init registers it and says so, SetStop takes it
// back; what it answers to the host's questions about itself.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <winport/wide.h>

#include "admin/administrator.h"
#include "test_host.h"
#include "wbem_provider/wbem_provider.h"

namespace {

using quillmere::kLevelError;
using quillmere::kLevelInformation;
using soap_testing::TestHost;
using soap_testing::TestObject;
using testing_support::ReportCall;

ReportCall Said(DWORD level, std::string source, std::string text) {
  return {ReportCall::Kind::kReport, level, std::move(source), std::move(text), 0, {}};
}

template <class Shell>
winport::ComPtr<quillmere::ISOAPObjectImpl> Create(quillmere::Reporter& reporting) {
  auto shell = winport::MakeComObject<Shell>(reporting);
  EXPECT_EQ(shell->FinalConstruct(), S_OK);
  return winport::ComPtr<quillmere::ISOAPObjectImpl>(shell.Get());
}

// Each shell's life: its hooks traced inside the operations that call them, registered
// under its name and saying so, unregistered.
TEST(Shells, LiveAsTheirHostExpects) {
  const std::tuple<std::string, std::string, decltype(&Create<quillmere::CWbemProvider>)> shells[] =
      {{"Administrator", "CAdministrator", &Create<quillmere::CAdministrator>},
       {"WbemProvider", "CWbemProvider", &Create<quillmere::CWbemProvider>}};
  for (const auto& [name, shell, create] : shells) {
    TestHost host;
    auto object = create(host.reporting);
    ASSERT_EQ(object->Init(host.service.Get()), S_OK);
    std::vector<std::string> traces;
    for (const auto& call : host.reporting.Calls()) {
      if (call.kind == ReportCall::Kind::kTrace)
        traces.push_back(call.description + " " + call.source);
    }
    EXPECT_EQ(traces,
              (std::vector<std::string>{
                  "*ENTER* " + shell + "::FinalConstruct", "*LEAVE* " + shell + "::FinalConstruct",
                  "*ENTER* ISOAPObjectImpl::Init", "*ENTER* " + shell + "::OnStart",
                  "*LEAVE* " + shell + "::OnStart", "*LEAVE* ISOAPObjectImpl::Init"}));

    ASSERT_EQ(object->SetStop(), S_OK);
    EXPECT_EQ(host.service->log.Calls(),
              (std::vector<std::string>{"Register " + name, "Unregister " + name}));
    EXPECT_EQ(
        host.reporting.Reports(),
        (std::vector<ReportCall>{
            Said(kLevelInformation, "ISOAPObjectImpl::Init", "SOAP Object started: " + name),
            Said(kLevelInformation, "ISOAPObjectImpl::SetStop", "SOAP Object stopped: " + name)}));
  }
}

// The test's own object, "Tester", made and not yet started.
class SoapObject : public testing::Test {
 protected:
  TestHost host;
  winport::ComPtr<TestObject> object =
      winport::MakeComObject<TestObject>(host.reporting, OLESTR("Tester"));
};

TEST_F(SoapObject, ThatCannotStartStaysRegisteredAndSaysWhy) {
  object->canStart = false;
  EXPECT_EQ(object->Init(host.service.Get()), E_FAIL);
  EXPECT_EQ(host.service->log.Calls(), std::vector<std::string>{"Register Tester"});
  EXPECT_EQ(host.reporting.Reports(),
            std::vector<ReportCall>{
                Said(kLevelError, "ISOAPObjectImpl::Init", "SOAP Object failed to start: Tester")});
}

TEST_F(SoapObject, ARefusedRegistrationIsInitsAnswerAndIsReported) {
  host.service->log.Fail("Register", E_ACCESSDENIED);

  EXPECT_EQ(object->Init(host.service.Get()), E_ACCESSDENIED);

  const auto reports = host.reporting.Reports();
  ASSERT_EQ(reports.size(), 1u);  // the failure, and no "started"
  EXPECT_EQ(reports[0].source, "ISOAPObjectImpl::Init");
  EXPECT_EQ(reports[0].errorNumber, E_ACCESSDENIED);
}

}  // namespace
