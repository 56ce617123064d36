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

#include "event_log_file.h"
#include "injected_fault.h"

namespace {

// The Windows event log service takes no more raw data than this in one event.
constexpr DWORD kMaxDataSize = 0xF000;
constexpr BYTE kMaxSubAuthorities = 15;

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

bool EqualsIgnoringAsciiCase(winport::WideView a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto fold = [](char32_t c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

// The name GetComputerNameW answers (sysinfo.h): the host name's first label, upper-case,
// cut to MAX_COMPUTERNAME_LENGTH. Made here so that logging never depends on more.
std::string ComputerName() {
  std::string name = HostName();
  name = name.substr(0, std::min<std::size_t>(name.find('.'), MAX_COMPUTERNAME_LENGTH));
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return name;
}

bool IsLocalServer(LPCWSTR server) {
  if (server == nullptr) return true;
  winport::WideView name(server);
  if (name.substr(0, 2) == OLESTR("\\\\")) name.remove_prefix(2);
  return name.empty() || EqualsIgnoringAsciiCase(name, ComputerName()) ||
         EqualsIgnoringAsciiCase(name, HostName());
}

bool ValidSid(const SID* sid) {
  return sid->Revision == SID_REVISION && sid->SubAuthorityCount <= kMaxSubAuthorities;
}

// "S-1-5-32-544": the authority in decimal, or in hex when it needs more than 32 bits.
std::string SidText(const SID* sid) {
  const BYTE* authority = sid->IdentifierAuthority.Value;
  std::string text = "S-" + std::to_string(sid->Revision) + "-";
  if (authority[0] != 0 || authority[1] != 0) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%02X%02X%02X%02X%02X%02X", authority[0], authority[1],
                  authority[2], authority[3], authority[4], authority[5]);
    text += hex;
  } else {
    std::uint32_t value = 0;
    for (int i = 2; i < 6; ++i)
      value = value << 8 | authority[i];
    text += std::to_string(value);
  }
  // The sub-authorities run past the one the struct declares.
  const BYTE* subs = reinterpret_cast<const BYTE*>(sid) + offsetof(SID, SubAuthority);
  for (BYTE i = 0; i < sid->SubAuthorityCount; ++i) {
    DWORD value = 0;
    std::memcpy(&value, subs + i * sizeof(DWORD), sizeof value);
    text += "-" + std::to_string(value);
  }
  return text;
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
  if (EqualsIgnoringAsciiCase(lpSourceName, "Security")) {
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
  const auto* sid = static_cast<const SID*>(lpUserSid);
  if (sid != nullptr && !ValidSid(sid)) return Fail(ERROR_INVALID_SID);
  for (WORD i = 0; i < wNumStrings; ++i) {
    if (lpStrings[i] == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    record.strings.emplace_back(lpStrings[i]);
  }

  record.computer = winport::Utf8ToWide(ComputerName());
  record.type = wType;
  record.category = wCategory;
  record.event_id = dwEventID;
  if (sid != nullptr) record.user_sid = SidText(sid);
  const auto* data = static_cast<const std::uint8_t*>(lpRawData);
  if (dwDataSize > 0) record.data.assign(data, data + dwDataSize);

  const DWORD error = winport::eventlog::detail::AppendRecord(record);
  return error == ERROR_SUCCESS ? TRUE : Fail(error);
}
