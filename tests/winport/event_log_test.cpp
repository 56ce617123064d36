#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <winport/windows.h>

#ifndef _WIN32
#include <winport/event_log_reader.h>
#endif

#include "platform_skips.h"

namespace {

using winport::WideString;

// What a test can see of a record on both platforms.
struct Logged {
  WORD type = 0;
  WORD category = 0;
  DWORD event_id = 0;
  std::string user_sid;
  std::vector<WideString> strings;
  std::vector<BYTE> data;
  bool operator==(const Logged&) const = default;
};

void PrintTo(const Logged& logged, std::ostream* out) {
  *out << "{type " << logged.type << ", category " << logged.category << ", event "
       << logged.event_id << ", user '" << logged.user_sid << "', strings";
  for (const WideString& text : logged.strings)
    *out << " '" << winport::WideToUtf8(text) << "'";
  *out << ", " << logged.data.size() << " bytes}";
}

#ifdef _WIN32
// The newest records of the real Application log, oldest first; the sources are unique
// to the run, so a few thousand back hold every record of the test.
std::vector<Logged> LoggedBy(const WideString& source) {
  std::vector<Logged> found;
  HANDLE log = OpenEventLogW(nullptr, OLESTR("Application"));
  if (log == nullptr) return found;
  std::vector<BYTE> buffer(0x10000);
  DWORD read = 0;
  DWORD needed = 0;
  for (int scanned = 0; scanned < 5000;) {
    if (!ReadEventLogW(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &read, &needed)) {
      if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
      buffer.resize(needed);
      continue;
    }
    for (DWORD offset = 0; offset < read; ++scanned) {
      const BYTE* base = buffer.data() + offset;
      const auto* record = reinterpret_cast<const EVENTLOGRECORD*>(base);
      offset += record->Length;
      if (source != reinterpret_cast<const OLECHAR*>(record + 1)) continue;
      Logged logged{record->EventType, record->EventCategory, record->EventID, {}, {}, {}};
      if (record->UserSidLength != 0) {
        LPWSTR text = nullptr;
        if (ConvertSidToStringSidW(const_cast<BYTE*>(base + record->UserSidOffset), &text)) {
          logged.user_sid = winport::WideToUtf8(text);
          LocalFree(text);
        }
      }
      const auto* text = reinterpret_cast<const OLECHAR*>(base + record->StringOffset);
      for (WORD i = 0; i < record->NumStrings; ++i) {
        logged.strings.emplace_back(text);
        text += logged.strings.back().size() + 1;
      }
      logged.data.assign(base + record->DataOffset, base + record->DataOffset + record->DataLength);
      found.push_back(std::move(logged));
    }
  }
  CloseEventLog(log);
  std::reverse(found.begin(), found.end());
  return found;
}
#else
std::vector<Logged> LoggedBy(const WideString& source) {
  std::vector<Logged> found;
  for (auto& record : winport::eventlog::ReadEvents(0, source)) {
    found.push_back({record.type, record.category, record.event_id, record.user_sid, record.strings,
                     record.data});
  }
  return found;
}
#endif

// A source name no earlier run has used, as Windows keeps its log.
WideString UniqueSource() {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  std::string name =
      std::string("Quillmere test ") + test->name() + " " +
      std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
  std::replace(name.begin(), name.end(), '/', '-');
  return winport::Utf8ToWide(name);
}

// Registers a unique source for one test.
class Source {
 public:
  Source() : name_(UniqueSource()), handle_(RegisterEventSourceW(nullptr, name_.c_str())) {}
  ~Source() {
    if (handle_ != nullptr) DeregisterEventSource(handle_);
  }
  HANDLE handle() const { return handle_; }
  const WideString& name() const { return name_; }

 private:
  WideString name_;
  HANDLE handle_;
};

TEST(EventLogSource, RegistersOnTheLocalComputerAndDeregisters) {
  HANDLE source = RegisterEventSourceW(nullptr, OLESTR("Quillmere test source"));
  ASSERT_NE(source, nullptr);
  HANDLE same_name = RegisterEventSourceW(nullptr, OLESTR("Quillmere test source"));
  ASSERT_NE(same_name, nullptr);
  EXPECT_TRUE(DeregisterEventSource(same_name));
  EXPECT_TRUE(DeregisterEventSource(source));
}

TEST(EventLogSource, TheSecurityLogIsTheSystems) {
  SKIP_ON_WINE("it gives every source, the Security log's too, one made-up handle");
  SetLastError(0);
  EXPECT_EQ(RegisterEventSourceW(nullptr, OLESTR("Security")), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(EventLogSource, NullHandleIsRefused) {
  SKIP_ON_WINE("it takes any handle");
  LPCWSTR strings[] = {OLESTR("x")};
  SetLastError(0);
  EXPECT_FALSE(ReportEventW(nullptr, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(0);
  EXPECT_FALSE(DeregisterEventSource(nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

struct ReportCase {
  const char* name;
  WORD type;
  WORD category;
  DWORD event_id;
  bool with_sid;
  std::vector<WideString> strings;
  std::vector<BYTE> data;
};
void PrintTo(const ReportCase& c, std::ostream* out) {
  *out << c.name;
}

class EventLogReport : public testing::TestWithParam<ReportCase> {};

TEST_P(EventLogReport, WritesOneRecordAsGiven) {
  const ReportCase& c = GetParam();
  Source source;
  ASSERT_NE(source.handle(), nullptr);
  // S-1-5-32-544, the Administrators group.
  alignas(DWORD)
      BYTE administrators[SECURITY_MAX_SID_SIZE] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2};
  std::vector<LPCWSTR> strings;
  for (const WideString& text : c.strings)
    strings.push_back(text.c_str());
  EXPECT_TRUE(ReportEventW(source.handle(), c.type, c.category, c.event_id,
                           c.with_sid ? administrators : nullptr, static_cast<WORD>(strings.size()),
                           static_cast<DWORD>(c.data.size()),
                           strings.empty() ? nullptr : strings.data(),
                           c.data.empty() ? nullptr : const_cast<BYTE*>(c.data.data())));

  SKIP_ON_WINE("its event log keeps nothing");
  const Logged expected{c.type,    c.category, c.event_id, c.with_sid ? "S-1-5-32-544" : "",
                        c.strings, c.data};
  EXPECT_EQ(LoggedBy(source.name()), std::vector<Logged>{expected});
}

INSTANTIATE_TEST_SUITE_P(
    EventLog, EventLogReport,
    testing::Values(ReportCase{"Bare", EVENTLOG_INFORMATION_TYPE, 0, 1000, false, {}, {}},
                    ReportCase{"WithUser", EVENTLOG_AUDIT_SUCCESS, 3, 4624, true, {}, {}},
                    ReportCase{"WithStrings",
                               EVENTLOG_WARNING_TYPE,
                               1,
                               0x80000101,
                               false,
                               {OLESTR("disk D:"), OLESTR("two\nlines")},
                               {}},
                    ReportCase{
                        "WithData", EVENTLOG_ERROR_TYPE, 7, 1, false, {}, {0x00, 0xFF, 0x10, 0x0A}},
                    ReportCase{"WithEverything",
                               EVENTLOG_AUDIT_FAILURE,
                               65535,
                               0xC0000064,
                               true,
                               {OLESTR("user \"bob\""), OLESTR(""), OLESTR("C:\\Windows")},
                               {0xDE, 0xAD}},
                    ReportCase{"SuccessType", EVENTLOG_SUCCESS, 0, 2, false, {OLESTR("done")}, {}},
                    ReportCase{"LargestData",
                               EVENTLOG_INFORMATION_TYPE,
                               0,
                               3,
                               false,
                               {},
                               std::vector<BYTE>(0xF000, 0xA5)}),
    [](const testing::TestParamInfo<ReportCase>& info) { return std::string(info.param.name); });

struct RefusedReport {
  const char* name;
  WORD num_strings;
  bool null_strings;
  DWORD data_size;
  bool null_data;
  DWORD error;
};
void PrintTo(const RefusedReport& c, std::ostream* out) {
  *out << c.name;
}

class EventLogRefusedReport : public testing::TestWithParam<RefusedReport> {};

TEST_P(EventLogRefusedReport, FailsAndWritesNothing) {
  const RefusedReport& c = GetParam();
  SKIP_ON_WINE("it takes every report, whatever its arguments");
  Source source;
  ASSERT_NE(source.handle(), nullptr);
  LPCWSTR strings[] = {OLESTR("a"), OLESTR("b")};
  std::vector<BYTE> data(c.data_size, 0x5A);
  SetLastError(0);
  EXPECT_FALSE(ReportEventW(source.handle(), EVENTLOG_ERROR_TYPE, 0, 1, nullptr, c.num_strings,
                            c.data_size, c.null_strings ? nullptr : strings,
                            c.null_data ? nullptr : data.data()));
  EXPECT_EQ(GetLastError(), c.error);

  SKIP_ON_WINE("its event log keeps nothing");
  EXPECT_EQ(LoggedBy(source.name()), std::vector<Logged>{});
}

INSTANTIATE_TEST_SUITE_P(
    EventLog, EventLogRefusedReport,
    testing::Values(RefusedReport{"StringsMissing", 2, true, 0, false, ERROR_INVALID_PARAMETER},
                    RefusedReport{"DataMissing", 0, false, 4, true, ERROR_INVALID_PARAMETER},
                    RefusedReport{"DataTooLarge", 0, false, 0xF001, false, RPC_S_INVALID_BOUND}),
    [](const testing::TestParamInfo<RefusedReport>& info) { return std::string(info.param.name); });

TEST(EventLogFaults, RegisterFailsWithTheInjectedError) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("RegisterEventSourceW", ERROR_NOT_ENOUGH_MEMORY);
  SetLastError(0);
  EXPECT_EQ(RegisterEventSourceW(nullptr, OLESTR("Quillmere")), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  HANDLE next = RegisterEventSourceW(nullptr, OLESTR("Quillmere"));
  EXPECT_NE(next, nullptr);
  DeregisterEventSource(next);
}

TEST(EventLogFaults, ReportFailsWithTheInjectedErrorAndWritesNothing) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  Source source;
  ASSERT_NE(source.handle(), nullptr);
  winport::fault::FailCall("ReportEventW", ERROR_WRITE_FAULT);
  SetLastError(0);
  EXPECT_FALSE(
      ReportEventW(source.handle(), EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
  EXPECT_TRUE(
      ReportEventW(source.handle(), EVENTLOG_ERROR_TYPE, 0, 2, nullptr, 0, 0, nullptr, nullptr));
  const auto logged = LoggedBy(source.name());
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].event_id, 2u);
}

}  // namespace
