// How Execute answers a request: the method's result code, or what it throws, becomes
// the response, a Client or Server fault, or a failure of Execute itself.
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>

#include <winport/wide.h>

#include "errors/automation_exception.h"
#include "errors/com_error.h"
#include "errors/error_info.h"
#include "errors/error_message.h"
#include "hardware_faults.h"
#include "test_host.h"

namespace {

using quillmere::FaultCode;
using soap_testing::Tester;
using soap_testing::TestHost;
using testing_support::ReportCall;

constexpr const char* kExecute = "ISOAPObjectImpl::Execute";

std::string Text(HRESULT hr) {
  return winport::WideToUtf8(quillmere::ErrorMessage(hr));
}

// Execute's own error reports.
std::vector<ReportCall> ExecuteErrors(const TestHost& host) {
  std::vector<ReportCall> errors;
  for (const ReportCall& call : host.reporting.Reports())
    if (call.source == kExecute) errors.push_back(call);
  return errors;
}

const std::string kPrefix = "Failed to execute {Tester#Run}:\n";

// What the method "Run" does, and how Execute answers for it. A failure Execute reports,
// it reports with the fault's text after the prefix as the reason.
struct ResultRow {
  const char* name;
  const char* method;             // what the request asks for
  std::function<HRESULT()> body;  // the method's
  HRESULT answer;
  bool variablesCopied;
  std::optional<FaultCode> faultCode;  // the object's fault; none when it sets none
  std::string text;                    // the fault's
  HRESULT reported = S_OK;             // the code of Execute's report; S_OK: none
  std::string detail = {};
  std::vector<fakes::Parameter> parameters = {};
};

void PrintTo(const ResultRow& row, std::ostream* out) {
  *out << row.name;
}

std::function<HRESULT()> Returns(HRESULT hr) {
  return [hr] { return hr; };
}
std::string ComError(HRESULT hr, const std::string& description) {
  return kPrefix + "[COM error] " + Text(hr) + "\n" + description;
}

// clang-format off
const ResultRow kResults[] = {
    {"UnknownMethodIsAClientFault", "run", Returns(S_OK), S_FALSE, false, FaultCode::Client,
     "SOAP object does not implement the requested method: Tester#run"},
    {"NotAuthenticatedNamesIdentityEvenEmptyAndUri", "Run", Returns(quillmere::kNotAuthenticated),
     S_FALSE, false, FaultCode::Client, Text(quillmere::kNotAuthenticated), S_OK,
     "{_UserNotAuthenticated} {Identity: } {URI: /soap/Tester}",
     {{"IdentityToken", ""}, {"uri", "/soap/Tester"}}},
    {"MethodAnsweredItself", "Run", Returns(quillmere::kMethodAnswered), S_FALSE, false, {}, ""},
    {"DoneDirectly", "Run", Returns(quillmere::kMethodDoneDirectly), S_OK, true, {}, ""},
    {"DoneWithoutOnSuccessRequestIsSFalse", "Run", Returns(S_OK), S_FALSE, true, {}, ""},
    {"FailureCodeCarriesTheErrorInfo", "Run", [] {
       quillmere::MakeErrorInfo(std::string_view("no such session"));
       return E_ACCESSDENIED;
     }, S_FALSE, false, FaultCode::Server, ComError(E_ACCESSDENIED, "no such session"),
     E_ACCESSDENIED},
    {"FailureCodeWithoutErrorInfoKeepsTheLineFeed", "Run", Returns(E_INVALIDARG), S_FALSE, false,
     FaultCode::Server, ComError(E_INVALIDARG, ""), E_INVALIDARG},
    {"UnknownSuccessCode", "Run", Returns(4), S_FALSE, false, FaultCode::Server,
     kPrefix + "unknown exception"},
    // What the method throws: a narrow text is read in the ANSI code page, as the catch
    // ladder reads it; Execute's own translator makes a hardware fault a std::exception
    // named by its code.
    {"AutomationException", "Run", []() -> HRESULT {
       throw quillmere::AutomationException<char>(E_INVALIDARG, "bad \x80 5");
     }, S_FALSE, false, FaultCode::Server, kPrefix + "[Automation error] bad \u20AC 5",
     E_INVALIDARG},
    {"StandardException", "Run", []() -> HRESULT { throw std::runtime_error("boom \x80"); },
     S_FALSE, false, FaultCode::Server, kPrefix + "boom \u20AC", E_FAIL},
    {"HardwareFault", "Run", [] { return HRESULT{testing_support::Divide(1, 0)}; }, S_FALSE, false,
     FaultCode::Server, kPrefix + "Division By Zero", E_FAIL},
    {"AnythingElse", "Run", []() -> HRESULT { throw 42; }, S_FALSE, false, FaultCode::Server,
     kPrefix + "anonymous exception", E_FAIL},
};
// clang-format on

class ExecuteAnswers : public testing::TestWithParam<ResultRow> {};

TEST_P(ExecuteAnswers, AsTheMethodsResultSays) {
  const ResultRow& row = GetParam();
  Tester tester({{"Run", [&](auto, auto) { return row.body(); }}});
  auto request = TestHost::Request(row.method, row.parameters);
  SetErrorInfo(0, nullptr);

  const auto answer = tester.Execute(tester.object.Get(), request.Get());

  EXPECT_EQ(answer.hr, row.answer);
  ASSERT_TRUE(answer.created);
  EXPECT_EQ(answer.slot.Get(), static_cast<quillmere::ISOAPMessage*>(answer.created.Get()));
  EXPECT_EQ(answer.created->structureFrom, request.Get());
  EXPECT_EQ(answer.created->variablesFrom == request.Get(), row.variablesCopied);
  const auto& fault = *answer.created->fault.Get();
  ASSERT_EQ(fault.faulted, row.faultCode.has_value());
  if (row.faultCode) {
    EXPECT_EQ(fault.code, *row.faultCode);
    EXPECT_EQ(fault.text, row.text);
    EXPECT_EQ(fault.detail, row.detail);
  }
  std::vector<ReportCall> expected;
  if (row.reported != S_OK) {
    expected.push_back({ReportCall::Kind::kReportError,
                        quillmere::kLevelError,
                        kExecute,
                        row.text.substr(kPrefix.size()),
                        row.reported,
                        {}});
  }
  EXPECT_EQ(ExecuteErrors(tester), expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ExecuteAnswers, testing::ValuesIn(kResults),
                         [](const auto& info) { return std::string(info.param.name); });

// Without a response to answer with, the failure is Execute's own answer. One tester at a
// time: each registers the message class, and which of two registrations serves differs
// between COM implementations.
TEST(ExecuteFailures, NoResponseSlotOrNoResponseOrNoMethodNameIsExecutesAnswer) {
  bool ran = false;
  const soap_testing::Methods run = {{"Run", [&](auto, auto) { return ran = true, S_OK; }}};
  {
    Tester noSlot(run);
    EXPECT_EQ(noSlot.object->Execute(TestHost::Request("Run").Get(), nullptr), E_POINTER);
    EXPECT_TRUE(noSlot.messages.factory->Made().empty());
    EXPECT_TRUE(ExecuteErrors(noSlot).empty());  // a failure returned is no error of the entry
  }
  {
    Tester noResponse(run);
    noResponse.messages.factory->log.Fail("CreateInstance", E_OUTOFMEMORY);
    quillmere::ISOAPMessage* slot = nullptr;
    EXPECT_EQ(noResponse.object->Execute(TestHost::Request("Run").Get(), &slot), E_OUTOFMEMORY);
    EXPECT_EQ(slot, nullptr);
    const auto errors = ExecuteErrors(noResponse);  // the entry's ladder's report
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].errorNumber, E_OUTOFMEMORY);
  }
  {
    Tester noName(run);
    auto request = TestHost::Request("Run");
    request->log.Fail("methodName", E_UNEXPECTED);
    EXPECT_EQ(noName.Execute(noName.object.Get(), request.Get()).hr, E_UNEXPECTED);
  }
  EXPECT_FALSE(ran);
}

// Only a fault that cannot be had fails Execute, for the Client fault of a missing method
// and the Server fault of a failed one alike; what setSpecificFault answers is not looked at.
TEST(ExecuteFailures, OnlyAFaultThatCannotBeHadFailsExecute) {
  const std::pair<std::function<void(fakes::FakeSoapMessage&)>, HRESULT> rows[] = {
      {[](fakes::FakeSoapMessage& m) { m.nullFault = true; }, E_POINTER},
      {[](fakes::FakeSoapMessage& m) { m.log.Fail("getSOAPFault", E_ACCESSDENIED); },
       E_ACCESSDENIED},
      {[](fakes::FakeSoapMessage& m) { m.fault->log.Fail("setSpecificFault", E_INVALIDARG); },
       S_FALSE},
  };
  for (const auto& [breakResponse, expected] : rows) {
    for (const char* method : {"Missing", "Run"}) {
      Tester tester({{"Run", [](auto, auto) { return E_FAIL; }}});
      tester.messages.factory->prepare = breakResponse;
      EXPECT_EQ(tester.Ask(method).hr, expected) << method;
    }
  }
}

}  // namespace
