// Event sources and ReportEventW: the handles, the checks Windows makes of the
// arguments, and the record they make. event_log_file.cpp keeps the log itself.
#include <winport/eventlog.h>

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_set>

#include <winport/sysinfo.h>
#include <winport/wide.h>

#include "common/ascii_case.h"
#include "common/injected_fault.h"
#include "event_log_file.h"

namespace {

// The Windows event log service takes no more raw data than this in one event.
constexpr DWORD kMaxDataSize = 0xF000;

struct EventSource {
  winport::WideString name;
};

// Handles are checked against the live ones, so a stale or made-up handle is refused
// rather than followed.
std::mutex& SourcesMutex() {
  static std::mutex mutex;
  return mutex;
}
std::unordered_set<EventSource*>& Sources() {
  static auto* sources = new std::unordered_set<EventSource*>;  // outlives static destructors
  return *sources;
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

winport::WideString ComputerName() {
  OLECHAR name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(name, &size) ? winport::WideString(name, size) : winport::WideString();
}

bool IsLocalServer(LPCWSTR server) {
  if (server == nullptr) return true;
  winport::WideView name(server);
  if (name.substr(0, 2) == OLESTR("\\\\")) name.remove_prefix(2);
  return name.empty() ||
         winport::detail::EqualsIgnoringAsciiCase(name, winport::WideView(ComputerName())) ||
         winport::detail::EqualsIgnoringAsciiCase(name, std::string_view(HostName()));
}

std::string SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return {};
  std::string narrow = winport::WideToUtf8(text);
  LocalFree(text);
  return narrow;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

extern "C" HANDLE RegisterEventSourceW(LPCWSTR lpUNCServerName, LPCWSTR lpSourceName) {
  WINPORT_FAIL_NULL("RegisterEventSourceW");
  if (!IsLocalServer(lpUNCServerName)) {
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return nullptr;
  }
  if (lpSourceName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (winport::detail::EqualsIgnoringAsciiCase(winport::WideView(lpSourceName),
                                               std::string_view("Security"))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  auto* source = new EventSource{winport::WideString(lpSourceName)};
  std::lock_guard lock(SourcesMutex());
  Sources().insert(source);
  return source;
}

extern "C" BOOL DeregisterEventSource(HANDLE hEventLog) {
  auto* source = static_cast<EventSource*>(hEventLog);
  {
    std::lock_guard lock(SourcesMutex());
    if (Sources().erase(source) == 0) return Fail(ERROR_INVALID_HANDLE);
  }
  delete source;
  return TRUE;
}

extern "C" BOOL ReportEventW(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID,
                             PSID lpUserSid, WORD wNumStrings, DWORD dwDataSize, LPCWSTR* lpStrings,
                             LPVOID lpRawData) {
  std::uint32_t injected = 0;
  if (winport::fault::ShouldFail("ReportEventW", &injected)) return Fail(injected);

  winport::eventlog::EventRecord record;
  {
    std::lock_guard lock(SourcesMutex());
    auto* source = static_cast<EventSource*>(hEventLog);
    if (Sources().count(source) == 0) return Fail(ERROR_INVALID_HANDLE);
    record.source = source->name;
  }
  if (wNumStrings > 0 && lpStrings == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (dwDataSize > 0 && lpRawData == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (dwDataSize > kMaxDataSize) return Fail(RPC_S_INVALID_BOUND);
  if (lpUserSid != nullptr && !IsValidSid(lpUserSid)) return Fail(ERROR_INVALID_SID);
  for (WORD i = 0; i < wNumStrings; ++i) {
    if (lpStrings[i] == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    record.strings.emplace_back(lpStrings[i]);
  }

  record.computer = ComputerName();
  record.type = wType;
  record.category = wCategory;
  record.event_id = dwEventID;
  if (lpUserSid != nullptr) record.user_sid = SidText(lpUserSid);
  const auto* data = static_cast<const std::uint8_t*>(lpRawData);
  if (dwDataSize > 0) record.data.assign(data, data + dwDataSize);

  const DWORD error = winport::eventlog::detail::AppendRecord(record);
  return error == ERROR_SUCCESS ? TRUE : Fail(error);
}
