// What reporting's status events look like in the Application log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <winport/com_ptr.h>
#include <winport/windows.h>

#include "diagnostics/event_ids.h"
#include "diagnostics/event_log_channel.h"
#include "diagnostics/reporting.h"
#include "logged_events.h"
#include "platform_skips.h"

namespace {

using testing_support::LoggedEvent;
using testing_support::LoggedSince;
using testing_support::UserEvent;

const winport::WideString kSource = OLESTR("SOAP Service");

// Makes `description` the calling thread's current error info.
void SetThreadErrorDescription(const OLECHAR* description) {
  winport::ComPtr<ICreateErrorInfo> create;
  ASSERT_EQ(CreateErrorInfo(create.GetAddressOf()), S_OK);
  ASSERT_EQ(create->SetDescription(const_cast<LPOLESTR>(description)), S_OK);
  winport::ComPtr<IErrorInfo> info;
  ASSERT_EQ(create.As(&info), S_OK);
  ASSERT_EQ(SetErrorInfo(0, info.Get()), S_OK);
}

bool ThreadHasErrorInfo() {
  winport::ComPtr<IErrorInfo> info;
  const bool has = GetErrorInfo(0, info.GetAddressOf()) == S_OK && info;
  if (has) SetErrorInfo(0, info.Get());  // put it back
  return has;
}

TEST(EventLogChannel, RegistersTheSourceAndCapturesTheUser) {
  quillmere::EventLogChannel channel;
  EXPECT_EQ(channel.SourceName(), kSource);
  EXPECT_NE(channel.Source(), nullptr);
  ASSERT_NE(channel.UserSid(), nullptr);
  EXPECT_TRUE(IsValidSid(channel.UserSid()));
}

struct WriterCase {
  const char* name;
  void (quillmere::Reporting::*write)(DWORD);
  WORD type;
  DWORD eventId;
};
void PrintTo(const WriterCase& c, std::ostream* out) {
  *out << c.name;
}

class ReportingEventWriter : public testing::TestWithParam<WriterCase> {};

TEST_P(ReportingEventWriter, WritesCategoryZeroWithTheUserAndNoStrings) {
  const WriterCase& c = GetParam();
  const std::uint64_t mark = testing_support::EventLogMark();
  {
    quillmere::Reporting reporting;
    (reporting.*c.write)(c.eventId);
  }
  SKIP_ON_WINE("its event log keeps nothing");
  EXPECT_EQ(LoggedSince(mark, kSource),
            std::vector<LoggedEvent>(1, UserEvent(c.type, 0, c.eventId)));
}

INSTANTIATE_TEST_SUITE_P(
    Writers, ReportingEventWriter,
    testing::Values(WriterCase{"Error", &quillmere::Reporting::WriteErrorEvent, EVENTLOG_ERROR_TYPE,
                               quillmere::kEventQueueFull},
                    WriterCase{"Warning", &quillmere::Reporting::WriteWarningEvent,
                               EVENTLOG_WARNING_TYPE, quillmere::kEventRecordsDropped},
                    WriterCase{"Information", &quillmere::Reporting::WriteInfoEvent,
                               EVENTLOG_INFORMATION_TYPE, 0x40000001}),
    [](const testing::TestParamInfo<WriterCase>& info) { return std::string(info.param.name); });

struct ComErrorCase {
  const char* name;
  const OLECHAR* functionName;
  HRESULT hr;
  bool withErrorInfo;
  const OLECHAR* description;
  const char* expected;
};
void PrintTo(const ComErrorCase& c, std::ostream* out) {
  *out << c.name;
}

class ReportComError : public testing::TestWithParam<ComErrorCase> {};

TEST_P(ReportComError, WritesTheFunctionCodeAndDescription) {
  const ComErrorCase& c = GetParam();
  const std::uint64_t mark = testing_support::EventLogMark();
  quillmere::EventLogChannel channel;
  if (c.withErrorInfo) SetThreadErrorDescription(c.description);

  EXPECT_TRUE(channel.ReportComError(c.functionName, c.hr));
  EXPECT_FALSE(ThreadHasErrorInfo()) << "the error info is taken";

  SKIP_ON_WINE("its event log keeps nothing");
  EXPECT_EQ(LoggedSince(mark, kSource),
            std::vector<LoggedEvent>(
                1, UserEvent(EVENTLOG_ERROR_TYPE, 1, quillmere::kEventComError, {c.expected})));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ReportComError,
    testing::Values(
        ComErrorCase{"WithDescription", OLESTR("MQOpenQueue"), static_cast<HRESULT>(0xC00E0003),
                     true, OLESTR("The queue does not exist."),
                     "Function [MQOpenQueue] returned COM error: 0xC00E0003 (The queue does not "
                     "exist.)"},
        ComErrorCase{"WithoutErrorInfo", OLESTR("MQSendMessage"), E_FAIL, false, nullptr,
                     "Function [MQSendMessage] returned COM error: 0x80004005"},
        ComErrorCase{"EmptyDescription", OLESTR("MQCreateQueue"), E_OUTOFMEMORY, true, OLESTR(""),
                     "Function [MQCreateQueue] returned COM error: 0x8007000E"},
        ComErrorCase{"NoLeadingZeros", OLESTR("F"), static_cast<HRESULT>(0x00000A1F), false,
                     nullptr, "Function [F] returned COM error: 0xA1F"},
        ComErrorCase{"WideText", OLESTR("Öffnen"), E_FAIL, true, OLESTR("Warteschlange fehlt – ß"),
                     "Function [Öffnen] returned COM error: 0x80004005 (Warteschlange fehlt – ß)"}),
    [](const testing::TestParamInfo<ComErrorCase>& info) { return std::string(info.param.name); });

TEST(ReportComError, ALongTextStopsAtTheFormattersLimit) {
  const std::uint64_t mark = testing_support::EventLogMark();
  quillmere::EventLogChannel channel;
  const winport::WideString name(2000, OLECHAR('x'));
  EXPECT_TRUE(channel.ReportComError(name.c_str(), E_FAIL));

  SKIP_ON_WINE("its event log keeps nothing");
  const auto logged = LoggedSince(mark, kSource);
  ASSERT_EQ(logged.size(), 1u);
  ASSERT_EQ(logged[0].strings.size(), 1u);
  EXPECT_EQ(logged[0].strings[0], "Function [" + std::string(1023 - 10, 'x'));
}

// Without the source nothing is written, and the thread's error info is left alone.
TEST(EventLogChannel, WithoutTheSourceNothingIsWritten) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  const std::uint64_t mark = testing_support::EventLogMark();
  winport::fault::FailCall("RegisterEventSourceW", ERROR_ACCESS_DENIED);
  quillmere::Reporting reporting;
  EXPECT_EQ(reporting.EventLog().Source(), nullptr);

  SetThreadErrorDescription(OLESTR("kept"));
  EXPECT_FALSE(reporting.EventLog().ReportComError(OLESTR("MQOpenQueue"), E_FAIL));
  EXPECT_TRUE(ThreadHasErrorInfo());
  SetErrorInfo(0, nullptr);
  reporting.WriteErrorEvent(quillmere::kEventQueueFull);
  reporting.WriteWarningEvent(quillmere::kEventRecordsDropped);
  reporting.WriteInfoEvent(0x40000001);
  EXPECT_TRUE(LoggedSince(mark, kSource).empty());
}

}  // namespace
