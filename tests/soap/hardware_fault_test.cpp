// A hardware fault inside a method is caught by the method's own entry discipline, which
// answers the exception code with its text as error info; Execute then answers with a
// Server fault that carries the text.
#include <gtest/gtest.h>

#include <regex>

#include <winport/wide.h>

#include "errors/entry.h"
#include "errors/error_message.h"
#include "hardware_faults.h"
#include "platform_skips.h"
#include "test_host.h"

namespace {

using soap_testing::TestHost;
using soap_testing::TestObject;

struct Row {
  const char* name;
  void (*fault)();
  HRESULT code;
  const char* secondLine;
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

const Row kRows[] = {
    {"DivisionByZero", [] { testing_support::Divide(1, 0); }, static_cast<HRESULT>(0xC0000094),
     "The thread attempted to divide a value by a divisor of zero"},
    {"WriteToAddress0x10", [] { testing_support::WriteTo(0x10); }, static_cast<HRESULT>(0xC0000005),
     "Attempt to write at 0x0000000000000010"},
    {"ReadFromAddress0x10", [] { testing_support::ReadFrom(0x10); },
     static_cast<HRESULT>(0xC0000005), "Attempt to read at 0x0000000000000010"},
};

class MethodFaults : public testing::TestWithParam<Row> {};

TEST_P(MethodFaults, BecomeAServerFaultWithTheWin32Text) {
  const Row& row = GetParam();
  TestHost host;
  host.reporting.SetReportingLevel(0);
  auto object = winport::MakeComObject<TestObject>(host.reporting, OLESTR("Tester"));
  quillmere::ISOAPObjectImpl* owner = object.Get();
  object->AddScripted("Run", [&](quillmere::ISOAPMessage*, quillmere::ISOAPMessage*) {
    return quillmere::RunEntry(owner->reporting(), OLESTR("CFaulty::execute::execute"),
                               [&] { row.fault(); });
  });
  ASSERT_EQ(object->Init(host.service.Get()), S_OK);

  const auto answer = host.Execute(object.Get(), TestHost::Request("Run").Get());

  EXPECT_EQ(answer.hr, S_FALSE);
  ASSERT_TRUE(answer.created);
  EXPECT_EQ(answer.created->fault->Code(), quillmere::FaultCode::Server);
  const std::string name =
      row.code == static_cast<HRESULT>(0xC0000094) ? "Division By Zero" : "Access Violation";
  const std::string win32 = "Win32 Exception:  " + name + "  at  0x[0-9A-F]{16}\n" + row.secondLine;
  const std::string text = answer.created->fault->Text();
  EXPECT_TRUE(std::regex_match(
      text, std::regex("Failed to execute \\{Tester#Run\\}:\n\\[COM error\\] " +
                       std::regex_replace(winport::WideToUtf8(quillmere::ErrorMessage(row.code)),
                                          std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") +
                       "\n" + win32)))
      << text;
  // The method's own ladder reported the fault under the method's name.
  const auto errors = soap_testing::ErrorsFrom(host.reporting, "CFaulty::execute::execute");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(std::regex_match(errors[0], std::regex(win32))) << errors[0];
}

INSTANTIATE_TEST_SUITE_P(Table, MethodFaults, testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
