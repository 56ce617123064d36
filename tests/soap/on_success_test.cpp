// A method that succeeds may name a next request: the host runs it on the next object and
// its response replaces this one, carrying the workstation id over.
#include <gtest/gtest.h>

#include <winport/wide.h>

#include "errors/error_message.h"
#include "test_host.h"

namespace {

using soap_testing::Methods;
using soap_testing::Tester;
using soap_testing::TestHost;

const auto kNext = TestHost::Request("Follow");

// "Run" names the next request, for "Next", with workstation as its QMS_WSID when not empty.
Methods Naming(std::string workstation) {
  return {{"Run", [workstation](quillmere::ISOAPMessage*, quillmere::ISOAPMessage* response) {
             auto* fake = static_cast<fakes::FakeSoapMessage*>(response);
             fake->onSuccessNext = kNext;
             fake->onSuccessObject = "Next";
             if (!workstation.empty()) fake->parameters.push_back({"QMS_WSID", workstation});
             return S_OK;
           }}};
}

TEST(OnSuccess, TheNextObjectsResponseReplacesOursWithTheWorkstationCarriedOver) {
  for (const std::string workstation : {"ws-7", ""}) {
    Tester tester(Naming(workstation));
    const auto nextResponse = winport::MakeComObject<fakes::FakeSoapMessage>();
    tester.service->dispatchResponse = nextResponse;
    tester.service->dispatchResult = 2;  // whatever success the dispatch answers
    const auto request = TestHost::Request("Run");

    const auto answer = tester.Execute(tester.object.Get(), request.Get());

    EXPECT_EQ(answer.hr, 2);
    EXPECT_EQ(answer.slot.Get(), static_cast<quillmere::ISOAPMessage*>(nextResponse.Get()));
    EXPECT_EQ(tester.service->log.Calls(),
              (std::vector<std::string>{"Register Tester", "DispatchSOAP Next Follow"}));
    const std::vector<fakes::Parameter> carried = {{"QMS_WSID", workstation}};
    EXPECT_EQ(nextResponse->parameters,
              workstation.empty() ? std::vector<fakes::Parameter>{} : carried);
    EXPECT_EQ(answer.created->variablesFrom, request.Get());
    EXPECT_FALSE(answer.created->fault->faulted);
  }
}

TEST(OnSuccess, AFailedDispatchIsAServerFaultOnOurOwnResponse) {
  Tester tester(Naming("ws-7"));
  tester.service->dispatchResult = DISP_E_MEMBERNOTFOUND;

  const auto answer = tester.Ask("Run");

  EXPECT_EQ(answer.hr, S_FALSE);
  EXPECT_EQ(answer.slot.Get(), nullptr);  // what the dispatch left
  EXPECT_EQ(answer.created->fault->code, quillmere::FaultCode::Server);
  EXPECT_EQ(answer.created->fault->text,
            "Failed to execute {Tester#Run}:\n[COM error] " +
                winport::WideToUtf8(quillmere::ErrorMessage(DISP_E_MEMBERNOTFOUND)) + "\n");
}

TEST(OnSuccess, AnExceptionWhileFollowingIsReportedAndFailsTheRequest) {
  TestHost host;
  // The host pointer is needed to dispatch: without Init there is none.
  auto orphan = winport::MakeComObject<soap_testing::TestObject>(host.reporting, OLESTR("Orphan"),
                                                                 Naming(""));

  const auto answer = host.Execute(orphan.Get(), TestHost::Request("Run").Get());

  EXPECT_EQ(answer.hr, S_FALSE);
  // Its ladder reported the failure and left its text as the error info; the E_POINTER
  // raised carries none, so the fault's description is empty.
  EXPECT_EQ(answer.created->fault->text, "Failed to execute {Orphan#Run}:\n[COM error] " +
                                             winport::WideToUtf8(quillmere::ErrorMessage(E_FAIL)) +
                                             "\n");
  const auto reports = host.reporting.Reports();
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports[0].source, "SoapObjectImpl.ProcessOnSuccess");
  EXPECT_EQ(reports[0].errorNumber, E_POINTER);
}

}  // namespace
