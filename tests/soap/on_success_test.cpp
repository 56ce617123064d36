// A method that succeeds may name a next request: the host runs it on the next object and
// its response replaces this one, carrying the workstation id over.
#include <gtest/gtest.h>

#include <winport/wide.h>

#include "errors/error_info.h"
#include "errors/error_message.h"
#include "test_host.h"

namespace {

using soap_testing::TestHost;
using soap_testing::TestObject;

// A method whose response names the next request, to be run by "Next".
struct Chain {
  TestHost host;
  winport::ComPtr<TestObject> object =
      winport::MakeComObject<TestObject>(host.reporting, OLESTR("Tester"));
  winport::ComPtr<fakes::FakeSoapMessage> next = TestHost::Request("Follow");
  winport::ComPtr<fakes::FakeSoapMessage> nextResponse =
      winport::MakeComObject<fakes::FakeSoapMessage>();

  explicit Chain(std::string workstation) {
    host.reporting.SetReportingLevel(0);
    object->AddScripted(
        "Run", [this, workstation](quillmere::ISOAPMessage*, quillmere::ISOAPMessage* response) {
          auto* fake = static_cast<fakes::FakeSoapMessage*>(response);
          fake->onSuccessNext = next;
          fake->onSuccessObject = "Next";
          if (!workstation.empty()) {
            winport::ScopedBstr accessor(OLESTR("QMS_WSID"));
            winport::ScopedBstr value(winport::Utf8ToWide(workstation).c_str());
            response->addResponseParameter(accessor.Get(), value.Get(), VARIANT_FALSE);
          }
          return S_OK;
        });
    EXPECT_EQ(object->Init(host.service.Get()), S_OK);
  }
};

TEST(OnSuccess, TheNextObjectsResponseReplacesOursWithTheWorkstationCarriedOver) {
  Chain chain("ws-7");
  chain.host.service->dispatchResponse = chain.nextResponse;
  chain.host.service->dispatchResult = 2;  // whatever success the dispatch answers

  const auto request = TestHost::Request("Run");
  const auto answer = chain.host.Execute(chain.object.Get(), request.Get());

  EXPECT_EQ(answer.hr, 2);
  EXPECT_EQ(answer.slot.Get(), static_cast<quillmere::ISOAPMessage*>(chain.nextResponse.Get()));
  const auto dispatches = chain.host.service->Dispatches();
  ASSERT_EQ(dispatches.size(), 1u);
  EXPECT_EQ(dispatches[0].objectName, "Next");
  EXPECT_EQ(dispatches[0].request, static_cast<quillmere::ISOAPMessage*>(chain.next.Get()));
  EXPECT_EQ(chain.nextResponse->Parameters(),
            (std::vector<fakes::ResponseParameter>{{"QMS_WSID", "ws-7", false}}));
  EXPECT_EQ(answer.created->VariablesFrom(), request.Get());
  EXPECT_FALSE(answer.created->fault->Faulted());
}

TEST(OnSuccess, NoWorkstationIdNothingCarriedOver) {
  Chain chain("");
  chain.host.service->dispatchResponse = chain.nextResponse;

  const auto answer = chain.host.Execute(chain.object.Get(), TestHost::Request("Run").Get());

  EXPECT_EQ(answer.hr, S_OK);
  EXPECT_TRUE(chain.nextResponse->Parameters().empty());
}

TEST(OnSuccess, AFailedDispatchIsAServerFaultOnOurOwnResponse) {
  Chain chain("ws-7");
  chain.host.service->dispatchResult = DISP_E_MEMBERNOTFOUND;

  const auto answer = chain.host.Execute(chain.object.Get(), TestHost::Request("Run").Get());

  EXPECT_EQ(answer.hr, S_FALSE);
  EXPECT_EQ(answer.slot.Get(), nullptr);  // what the dispatch left
  ASSERT_TRUE(answer.created);
  EXPECT_EQ(answer.created->fault->Code(), quillmere::FaultCode::Server);
  EXPECT_EQ(answer.created->fault->Text(),
            "Failed to execute {Tester#Run}:\n[COM error] " +
                winport::WideToUtf8(quillmere::ErrorMessage(DISP_E_MEMBERNOTFOUND)) + "\n");
}

TEST(OnSuccess, AnExceptionWhileFollowingIsReportedAndFailsTheRequest) {
  Chain chain("ws-7");
  // The host pointer is needed to dispatch: without Init there is none.
  auto orphan = winport::MakeComObject<TestObject>(chain.host.reporting, OLESTR("Orphan"));
  orphan->AddScripted("Run", [&](quillmere::ISOAPMessage*, quillmere::ISOAPMessage* response) {
    static_cast<fakes::FakeSoapMessage*>(response)->onSuccessNext = chain.next;
    return S_OK;
  });

  const auto answer = chain.host.Execute(orphan.Get(), TestHost::Request("Run").Get());

  EXPECT_EQ(answer.hr, S_FALSE);
  const std::string ladderText =
      "COM Error:  " + winport::WideToUtf8(quillmere::ErrorMessage(E_POINTER));
  // The raised E_POINTER carries no error info, so the fault has no description.
  EXPECT_EQ(answer.created->fault->Text(),
            "Failed to execute {Orphan#Run}:\n[COM error] " +
                winport::WideToUtf8(quillmere::ErrorMessage(E_FAIL)) + "\n");
  const auto errors =
      soap_testing::ErrorsFrom(chain.host.reporting, "SoapObjectImpl.ProcessOnSuccess");
  EXPECT_EQ(errors, std::vector<std::string>{ladderText});
}

}  // namespace
