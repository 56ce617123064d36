// Reading back what reporting wrote to the Application log, on both platforms: the
// records of one source written after a mark taken at the start of a test.
#pragma once

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <winport/wide.h>
#include <winport/windows.h>

#ifndef _WIN32
#include <winport/event_log_reader.h>
#endif

namespace testing_support {

struct LoggedEvent {
  WORD type = 0;
  WORD category = 0;
  DWORD eventId = 0;
  std::string userSid;
  std::vector<std::string> strings;
  bool operator==(const LoggedEvent&) const = default;
};

inline void PrintTo(const LoggedEvent& event, std::ostream* out) {
  *out << "{type " << event.type << ", category " << event.category << ", id 0x" << std::hex
       << event.eventId << std::dec << ", user '" << event.userSid << "', strings";
  for (const std::string& text : event.strings)
    *out << " '" << text << "'";
  *out << "}";
}

// The process user's SID as text ("S-1-..."), as the log shows it; empty if unknown.
inline std::string ProcessUserSidText() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  std::string text;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<std::uintptr_t> buffer(size / sizeof(std::uintptr_t) + 1);
  if (GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    LPWSTR sid = nullptr;
    if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
      text = winport::WideToUtf8(sid);
      LocalFree(sid);
    }
  }
  CloseHandle(token);
  return text;
}

// An event written with the process user's SID.
inline LoggedEvent UserEvent(WORD type, WORD category, DWORD eventId,
                             std::vector<std::string> strings = {}) {
  return {type, category, eventId, ProcessUserSidText(), std::move(strings)};
}

#ifdef _WIN32
// The number of the newest record of the log.
inline std::uint64_t EventLogMark() {
  HANDLE log = OpenEventLogW(nullptr, OLESTR("Application"));
  if (log == nullptr) return 0;
  DWORD oldest = 0;
  DWORD count = 0;
  GetOldestEventLogRecord(log, &oldest);
  GetNumberOfEventLogRecords(log, &count);
  CloseEventLog(log);
  return count == 0 ? 0 : std::uint64_t{oldest} + count - 1;
}

// The records of `source` numbered above `mark`, oldest first.
inline std::vector<LoggedEvent> LoggedSince(std::uint64_t mark, const winport::WideString& source) {
  std::vector<LoggedEvent> found;
  HANDLE log = OpenEventLogW(nullptr, OLESTR("Application"));
  if (log == nullptr) return found;
  std::vector<BYTE> buffer(0x10000);
  DWORD read = 0;
  DWORD needed = 0;
  for (bool older = false; !older;) {
    if (!ReadEventLogW(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &read, &needed)) {
      if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
      buffer.resize(needed);
      continue;
    }
    for (DWORD offset = 0; offset < read;) {
      const BYTE* base = buffer.data() + offset;
      const auto* record = reinterpret_cast<const EVENTLOGRECORD*>(base);
      offset += record->Length;
      if (record->RecordNumber <= mark) {
        older = true;
        break;
      }
      if (source != reinterpret_cast<const OLECHAR*>(record + 1)) continue;
      LoggedEvent event{record->EventType, record->EventCategory, record->EventID, {}, {}};
      if (record->UserSidLength != 0) {
        LPWSTR text = nullptr;
        if (ConvertSidToStringSidW(const_cast<BYTE*>(base + record->UserSidOffset), &text)) {
          event.userSid = winport::WideToUtf8(text);
          LocalFree(text);
        }
      }
      const auto* text = reinterpret_cast<const OLECHAR*>(base + record->StringOffset);
      for (WORD i = 0; i < record->NumStrings; ++i) {
        const winport::WideString one(text);
        event.strings.push_back(winport::WideToUtf8(one));
        text += one.size() + 1;
      }
      found.push_back(std::move(event));
    }
  }
  CloseEventLog(log);
  std::reverse(found.begin(), found.end());
  return found;
}
#else
inline std::uint64_t EventLogMark() {
  const auto all = winport::eventlog::ReadEvents();
  return all.empty() ? 0 : all.back().number;
}

inline std::vector<LoggedEvent> LoggedSince(std::uint64_t mark, const winport::WideString& source) {
  std::vector<LoggedEvent> found;
  for (const auto& record : winport::eventlog::ReadEvents(mark, source)) {
    LoggedEvent event{record.type, record.category, record.event_id, record.user_sid, {}};
    for (const winport::WideString& text : record.strings)
      event.strings.push_back(winport::WideToUtf8(text));
    found.push_back(std::move(event));
  }
  return found;
}
#endif

}  // namespace testing_support
