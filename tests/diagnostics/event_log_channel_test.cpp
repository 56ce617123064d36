// What reporting's status events and the COM-error event look like in the Application
// log. Every test runs on a fresh machine, so the log holds only the test's own events.
// Only winport's log is read back: the Windows stage runs under Wine, whose log keeps
// nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <winport/com_ptr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "diagnostics/event_ids.h"
#include "diagnostics/event_log_channel.h"
#include "diagnostics/reporting.h"
#include "platform_skips.h"

#ifdef _WIN32
#define SKIP_UNLESS_LOG_READS_BACK() GTEST_SKIP() << "only winport's event log is read back"
#else
#include <winport/event_log_reader.h>
#define SKIP_UNLESS_LOG_READS_BACK() static_cast<void>(0)
#endif

namespace {

// The process user's SID as the log shows it ("S-1-..."), as the token tells it.
std::string UserSid() {
  HANDLE token = nullptr;
  union {
    TOKEN_USER user;
    BYTE bytes[512];  // room for the longest SID after it
  } buffer;
  DWORD size = 0;
  LPWSTR sid = nullptr;
  std::string text;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
      GetTokenInformation(token, TokenUser, &buffer, sizeof buffer, &size) &&
      ConvertSidToStringSidW(buffer.user.User.Sid, &sid)) {
    text = winport::WideToUtf8(sid);
    LocalFree(sid);
  }
  if (token != nullptr) CloseHandle(token);
  return text;
}

// An event as "type category id user 'string'...".
std::string Event(WORD type, WORD category, DWORD eventId, const std::string& userSid,
                  const std::vector<std::string>& strings = {}) {
  std::string text = std::to_string(type) + " " + std::to_string(category) + " " +
                     std::to_string(eventId) + " " + userSid;
  for (const std::string& one : strings)
    text += " '" + one + "'";
  return text;
}

// The events of "SOAP Service", oldest first.
std::vector<std::string> Logged() {
  std::vector<std::string> found;
#ifndef _WIN32
  for (const auto& record : winport::eventlog::ReadEvents(0, OLESTR("SOAP Service"))) {
    std::vector<std::string> strings;
    for (const winport::WideString& text : record.strings)
      strings.push_back(winport::WideToUtf8(text));
    found.push_back(Event(record.type, record.category, record.event_id, record.user_sid, strings));
  }
#endif
  return found;
}

constexpr DWORD kSomeInfoEvent = 0x40000001;

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

TEST(EventLogChannel, AComErrorNamesTheFunctionTheCodeAndTheErrorInfo) {
  struct Row {
    winport::WideString function;
    HRESULT hr;
    const OLECHAR* description;  // of the thread's error info; null for none
    std::string expected;
  };
  const Row rows[] = {
      {OLESTR("MQOpenQueue"), static_cast<HRESULT>(0xC00E0003), OLESTR("The queue does not exist."),
       "Function [MQOpenQueue] returned COM error: 0xC00E0003 (The queue does not exist.)"},
      // Nothing in brackets without a description; no leading zeros.
      {OLESTR("MQSendMessage"), 0x00000A1F, nullptr,
       "Function [MQSendMessage] returned COM error: 0xA1F"},
      {OLESTR("MQCreateQueue"), E_OUTOFMEMORY, OLESTR(""),
       "Function [MQCreateQueue] returned COM error: 0x8007000E"},
      {OLESTR("Öffnen"), E_FAIL, OLESTR("Warteschlange fehlt – ß"),
       "Function [Öffnen] returned COM error: 0x80004005 (Warteschlange fehlt – ß)"},
      // The formatter stops at 1023 characters.
      {winport::WideString(2000, OLECHAR('x')), E_FAIL, nullptr,
       "Function [" + std::string(1023 - 10, 'x')}};
  quillmere::EventLogChannel channel;
  std::vector<std::string> expected;
  for (const Row& row : rows) {
    if (row.description != nullptr) SetThreadErrorDescription(row.description);
    EXPECT_TRUE(channel.ReportComError(row.function.c_str(), row.hr));
    EXPECT_FALSE(ThreadHasErrorInfo()) << "the error info is taken";
    expected.push_back(
        Event(EVENTLOG_ERROR_TYPE, 1, quillmere::kEventComError, UserSid(), {row.expected}));
  }
  SKIP_UNLESS_LOG_READS_BACK();
  EXPECT_EQ(Logged(), expected);
}

// Without the source nothing is written, and the thread's error info is left alone.
TEST(EventLogChannel, WithoutTheSourceNothingIsWritten) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("RegisterEventSourceW", ERROR_ACCESS_DENIED);
  quillmere::Reporting reporting;
  EXPECT_EQ(reporting.EventLog().Source(), nullptr);

  SetThreadErrorDescription(OLESTR("kept"));
  EXPECT_FALSE(reporting.EventLog().ReportComError(OLESTR("MQOpenQueue"), E_FAIL));
  EXPECT_TRUE(ThreadHasErrorInfo());
  SetErrorInfo(0, nullptr);
  reporting.WriteStatusEvent(EVENTLOG_ERROR_TYPE, quillmere::kEventQueueFull);
  reporting.WriteStatusEvent(EVENTLOG_WARNING_TYPE, quillmere::kEventRecordsDropped);
  reporting.WriteStatusEvent(EVENTLOG_INFORMATION_TYPE, kSomeInfoEvent);
  EXPECT_TRUE(Logged().empty());
}

}  // namespace
