// Execute without a response to answer with: the failure is Execute's own answer.
#include <gtest/gtest.h>

#include <winport/wide.h>

#include "errors/error_message.h"
#include "test_host.h"

namespace {

using soap_testing::TestHost;
using soap_testing::TestObject;

struct Tester {
  TestHost host;
  winport::ComPtr<TestObject> object =
      winport::MakeComObject<TestObject>(host.reporting, OLESTR("Tester"));
  bool ran = false;

  Tester() {
    host.reporting.SetReportingLevel(0);
    object->AddScripted("Run", [this](quillmere::ISOAPMessage*, quillmere::ISOAPMessage*) {
      ran = true;
      return S_OK;
    });
    EXPECT_EQ(object->Init(host.service.Get()), S_OK);
  }
};

TEST(ExecuteFailures, ANullResponseSlotCreatesNothing) {
  Tester tester;
  EXPECT_EQ(tester.object->Execute(TestHost::Request("Run").Get(), nullptr), E_POINTER);
  EXPECT_EQ(tester.host.messages.factory->Made().size(), 0u);
  EXPECT_FALSE(tester.ran);
}

TEST(ExecuteFailures, AResponseThatCannotBeMadeIsExecutesAnswerAndTheSlotIsLeftAlone) {
  Tester tester;
  tester.host.messages.factory->log.Fail("CreateInstance", E_OUTOFMEMORY);
  quillmere::ISOAPMessage* slot = nullptr;

  EXPECT_EQ(tester.object->Execute(TestHost::Request("Run").Get(), &slot), E_OUTOFMEMORY);

  EXPECT_EQ(slot, nullptr);
  EXPECT_FALSE(tester.ran);
  const auto errors = soap_testing::ErrorsFrom(tester.host.reporting, "ISOAPObjectImpl::Execute");
  EXPECT_EQ(errors,
            std::vector<std::string>{"COM Error:  " +
                                     winport::WideToUtf8(quillmere::ErrorMessage(E_OUTOFMEMORY))});
}

TEST(ExecuteFailures, AnUnreadableMethodNameIsExecutesAnswer) {
  Tester tester;
  auto request = TestHost::Request("Run");
  request->log.Fail("methodName", E_UNEXPECTED);

  const auto answer = tester.host.Execute(tester.object.Get(), request.Get());

  EXPECT_EQ(answer.hr, E_UNEXPECTED);
  EXPECT_FALSE(tester.ran);
}

TEST(ExecuteFailures, AFaultThatCannotBeSetFailsExecute) {
  struct Row {
    const char* name;
    std::function<void(fakes::FakeSoapMessage&)> breakResponse;
    HRESULT expected;
  };
  const Row rows[] = {
      {"no fault object", [](fakes::FakeSoapMessage& m) { m.nullFault = true; }, E_POINTER},
      {"getSOAPFault fails",
       [](fakes::FakeSoapMessage& m) { m.log.Fail("getSOAPFault", E_ACCESSDENIED); },
       E_ACCESSDENIED},
      {"setSpecificFault fails",
       [](fakes::FakeSoapMessage& m) { m.fault->log.Fail("setSpecificFault", E_INVALIDARG); },
       E_INVALIDARG},
  };
  for (const Row& row : rows) {
    Tester tester;
    tester.host.messages.factory->prepare = row.breakResponse;
    const auto answer =
        tester.host.Execute(tester.object.Get(), TestHost::Request("Missing").Get());
    EXPECT_EQ(answer.hr, row.expected) << row.name;
  }
}

}  // namespace
