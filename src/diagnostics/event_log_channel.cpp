#include "diagnostics/event_log_channel.h"

#include <cstdint>
#include <string>
#include <vector>

#include <winport/com_ptr.h>
#include <winport/scoped_bstr.h>
#include <winport/scoped_handle.h>

#include "diagnostics/report_levels.h"
#include "event_ids.h"

namespace quillmere {

namespace {

// The most a formatted event text may hold: the platform's formatter stops at 1024
// characters with the terminator.
constexpr std::size_t kMaxFormattedLength = 1023;

// A copy of the process user's SID, or null when the token cannot tell it.
std::unique_ptr<BYTE[]> CopyProcessUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
  const winport::ScopedHandle ownedToken(token);

  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  if (size < sizeof(TOKEN_USER)) return nullptr;
  // TOKEN_USER holds a pointer: keep the buffer pointer-aligned.
  std::vector<std::uintptr_t> buffer((size + sizeof(std::uintptr_t) - 1) / sizeof(std::uintptr_t));
  if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return nullptr;

  const PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
  if (!IsValidSid(sid)) return nullptr;
  const DWORD length = GetLengthSid(sid);
  auto copy = std::make_unique<BYTE[]>(length);
  if (!CopySid(length, copy.get(), sid)) return nullptr;
  return copy;
}

}  // namespace

EventLogChannel::EventLogChannel()
    : sourceName_(OLESTR("SOAP Service")),
      source_(RegisterEventSourceW(nullptr, sourceName_.c_str())),
      userSid_(CopyProcessUserSid()) {}

EventLogChannel::~EventLogChannel() = default;

bool EventLogChannel::WriteEvent(WORD type, WORD category, DWORD eventId,
                                 const OLECHAR* text) const {
  if (!source_) return false;
  LPCWSTR strings[] = {text};
  return ReportEventW(source_.get(), type, category, eventId, userSid_.get(),
                      text != nullptr ? 1 : 0, 0, text != nullptr ? strings : nullptr,
                      nullptr) != FALSE;
}

bool EventLogChannel::ReportComError(const OLECHAR* functionName, HRESULT hr) const {
  if (!source_) return false;

  winport::ComPtr<IErrorInfo> errorInfo;
  winport::ScopedBstr description;
  if (GetErrorInfo(0, errorInfo.GetAddressOf()) == S_OK && errorInfo)
    errorInfo->GetDescription(description.Receive());

  const std::string name = functionName != nullptr ? winport::WideToUtf8(functionName) : "";
  const unsigned code = static_cast<unsigned>(hr);
  winport::WideString message =
      description.Empty()
          ? winport::FormatWide("Function [%s] returned COM error: 0x%X", name.c_str(), code)
          : winport::FormatWide("Function [%s] returned COM error: 0x%X (%s)", name.c_str(), code,
                                winport::WideToUtf8(winport::BstrView(description.Get())).c_str());
  if (message.size() > kMaxFormattedLength) message.resize(kMaxFormattedLength);

  return WriteEvent(EVENTLOG_ERROR_TYPE, kCategoryError, kEventComError, message.c_str());
}

}  // namespace quillmere
