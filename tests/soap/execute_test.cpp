// How Execute answers a request: the method's result code, or what it throws, becomes
// the response, a Client or Server fault, or a failure of Execute itself.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include <winport/wide.h>

#include "errors/automation_exception.h"
#include "errors/com_error.h"
#include "errors/error_info.h"
#include "errors/error_message.h"
#include "test_host.h"

namespace {

using quillmere::FaultCode;
using soap_testing::MethodBody;
using soap_testing::TestHost;
using soap_testing::TestObject;

std::string Text(HRESULT hr) {
  return winport::WideToUtf8(quillmere::ErrorMessage(hr));
}

const std::string kPrefix = "Failed to execute {Tester#Run}:\n";
constexpr HRESULT kNotAuthenticated = static_cast<HRESULT>(0x800704DC);

struct ExecuteRow {
  const char* name;
  const char* method;  // the object has one method, "Run"
  MethodBody body;
  std::vector<std::pair<std::string, std::string>> parameters;
  HRESULT answer;
  bool variablesCopied;
  bool reported;  // the fault's reason was also reported as an error from Execute
  bool faulted;   // by the object; a method that sets its own fault is not counted
  FaultCode code = FaultCode::Client;
  std::function<std::string()> text = {};
  std::string detail = {};
};

void PrintTo(const ExecuteRow& row, std::ostream* out) {
  *out << row.name;
}

MethodBody Answering(HRESULT hr) {
  return [hr](quillmere::ISOAPMessage*, quillmere::ISOAPMessage*) { return hr; };
}

MethodBody Throwing(std::function<void()> thrower) {
  return [thrower](quillmere::ISOAPMessage*, quillmere::ISOAPMessage*) -> HRESULT {
    thrower();
    return S_OK;
  };
}

std::function<std::string()> Fixed(std::string text) {
  return [text] { return text; };
}

// One row per way a request can end; the object's fault, when it sets one, is last.
// clang-format off
const ExecuteRow kRows[] = {
    {"UnknownMethodIsAClientFault", "run", Answering(S_OK), {},
     S_FALSE, false, false, true, FaultCode::Client,
     Fixed("SOAP object does not implement the requested method: Tester#run"), ""},
    {"NotAuthenticatedAlone", "Run", Answering(kNotAuthenticated), {},
     S_FALSE, false, false, true, FaultCode::Client,
     [] { return Text(kNotAuthenticated); }, "{_UserNotAuthenticated}"},
    {"NotAuthenticatedNamesIdentityAndUri", "Run", Answering(kNotAuthenticated),
     {{"IdentityToken", "tok-1"}, {"uri", "/soap/Tester"}},
     S_FALSE, false, false, true, FaultCode::Client,
     [] { return Text(kNotAuthenticated); },
     "{_UserNotAuthenticated} {Identity: tok-1} {URI: /soap/Tester}"},
    {"NotAuthenticatedWithAnEmptyIdentity", "Run", Answering(kNotAuthenticated),
     {{"IdentityToken", ""}},
     S_FALSE, false, false, true, FaultCode::Client,
     [] { return Text(kNotAuthenticated); }, "{_UserNotAuthenticated} {Identity: }"},
    {"MethodsOwnAnswerStands", "Run", Answering(S_FALSE), {},
     S_FALSE, false, false, false},
    {"DirectResultTwo", "Run", Answering(2), {},
     S_OK, true, false, false},
    {"DirectResultThree", "Run", Answering(3), {},
     S_OK, true, false, false},
    {"DoneWithoutOnSuccessRequestIsSFalse", "Run", Answering(S_OK), {},
     S_FALSE, true, false, false},
    {"FailureCodeCarriesTheErrorInfo", "Run",
     [](quillmere::ISOAPMessage*, quillmere::ISOAPMessage*) {
       quillmere::MakeErrorInfo(std::string_view("no such session"));
       return E_ACCESSDENIED;
     }, {},
     S_FALSE, false, true, true, FaultCode::Server,
     [] { return kPrefix + "[COM error] " + Text(E_ACCESSDENIED) + "\nno such session"; }, ""},
    {"FailureCodeWithoutErrorInfoKeepsTheLineFeed", "Run", Answering(E_INVALIDARG), {},
     S_FALSE, false, true, true, FaultCode::Server,
     [] { return kPrefix + "[COM error] " + Text(E_INVALIDARG) + "\n"; }, ""},
    {"ThrownComError", "Run",
     Throwing([] {
       quillmere::MakeErrorInfo(std::string_view("gone"));
       quillmere::RaiseComError(E_POINTER);
     }), {},
     S_FALSE, false, true, true, FaultCode::Server,
     [] { return kPrefix + "[COM error] " + Text(E_POINTER) + "\ngone"; }, ""},
    {"ThrownNarrowAutomationException", "Run",
     Throwing([] { throw quillmere::AutomationException<char>(E_INVALIDARG, "bad input"); }), {},
     S_FALSE, false, true, true, FaultCode::Server,
     Fixed(kPrefix + "[Automation error] bad input"), ""},
    {"ThrownWideAutomationException", "Run",
     Throwing([] {
       throw quillmere::AutomationException<OLECHAR>(E_INVALIDARG, OLESTR("bad w\u00e9de"));
     }), {},
     S_FALSE, false, true, true, FaultCode::Server,
     Fixed(kPrefix + "[Automation error] bad w\u00e9de"), ""},
    {"ThrownStdException", "Run", Throwing([] { throw std::runtime_error("boom"); }), {},
     S_FALSE, false, true, true, FaultCode::Server, Fixed(kPrefix + "boom"), ""},
    {"ThrownAnythingElse", "Run", Throwing([] { throw 42; }), {},
     S_FALSE, false, true, true, FaultCode::Server, Fixed(kPrefix + "anonymous exception"), ""},
    {"UnknownSuccessCode", "Run", Answering(4), {},
     S_FALSE, false, false, true, FaultCode::Server, Fixed(kPrefix + "unknown exception"), ""},
    {"FailedOnSuccessQuery", "Run",
     [](quillmere::ISOAPMessage*, quillmere::ISOAPMessage* response) {
       static_cast<fakes::FakeSoapMessage*>(response)->log.Fail("GetOnSuccessNext", E_UNEXPECTED);
       return S_OK;
     }, {},
     S_FALSE, true, true, true, FaultCode::Server,
     [] { return kPrefix + "[COM error] " + Text(E_UNEXPECTED) + "\n"; }, ""},
};
// clang-format on

class ExecuteAnswers : public testing::TestWithParam<ExecuteRow> {};

TEST_P(ExecuteAnswers, AsTheResultCodeSays) {
  const ExecuteRow& row = GetParam();
  TestHost host;
  host.reporting.SetReportingLevel(0);
  auto object = winport::MakeComObject<TestObject>(host.reporting, OLESTR("Tester"));
  object->AddScripted("Run", row.body);
  ASSERT_EQ(object->Init(host.service.Get()), S_OK);
  auto request = TestHost::Request(row.method, row.parameters);
  SetErrorInfo(0, nullptr);

  const auto answer = host.Execute(object.Get(), request.Get());

  EXPECT_EQ(answer.hr, row.answer);
  ASSERT_TRUE(answer.created);
  EXPECT_EQ(answer.slot.Get(), static_cast<quillmere::ISOAPMessage*>(answer.created.Get()));
  EXPECT_EQ(answer.created->StructureFrom(), request.Get());
  const auto& fault = *answer.created->fault.Get();
  EXPECT_EQ(fault.Faulted(), row.faulted);
  if (row.faulted) {
    EXPECT_EQ(fault.Code(), row.code);
    EXPECT_EQ(fault.Text(), row.text());
    EXPECT_EQ(fault.Detail(), row.detail);
  }
  EXPECT_EQ(answer.created->VariablesFrom() == request.Get(), row.variablesCopied);
  const auto errors = soap_testing::ErrorsFrom(host.reporting, "ISOAPObjectImpl::Execute");
  if (row.reported) {
    // The report carries the reason alone, without the prefix.
    std::string reason = row.text();
    if (reason.rfind(kPrefix, 0) == 0) reason.erase(0, kPrefix.size());
    EXPECT_EQ(errors, std::vector<std::string>{reason});
  } else {
    EXPECT_EQ(errors, std::vector<std::string>{});
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ExecuteAnswers, testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
