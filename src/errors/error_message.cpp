#include "errors/error_message.h"

#include "bounded_format.h"

namespace quillmere {

namespace {

// Codes a dispatch interface defines for itself: FACILITY_ITF above 0x200.
constexpr DWORD kFirstDispatchError = 0x80040201;
constexpr DWORD kLastDispatchError = 0x8004FFFF;
constexpr DWORD kDispatchErrorBase = 0x80040200;
constexpr std::size_t kFallbackLimit = 32;

}  // namespace

winport::WideString SystemMessageText(DWORD code) {
  LPWSTR buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&buffer),
      0, nullptr);
  struct LocalText {
    LPWSTR text;
    ~LocalText() {
      if (text != nullptr) LocalFree(text);
    }
  } owner{buffer};
  if (length == 0 || buffer == nullptr) return winport::WideString();
  return winport::WideString(buffer, length);
}

winport::WideString ErrorMessage(HRESULT hr) {
  winport::WideString text = SystemMessageText(static_cast<DWORD>(hr));
  if (text.size() >= 2 && text[text.size() - 2] == OLESTR('\r') &&
      text[text.size() - 1] == OLESTR('\n')) {
    text.resize(text.size() - 2);
  }
  if (!text.empty()) return text;
  const DWORD code = static_cast<DWORD>(hr);
  if (code >= kFirstDispatchError && code <= kLastDispatchError) {
    return winport::Utf8ToWide(BoundedFormat(kFallbackLimit, "IDispatch error #%d",
                                             static_cast<int>(code - kDispatchErrorBase)));
  }
  return winport::Utf8ToWide(
      BoundedFormat(kFallbackLimit, "Unknown error 0x%0lX", static_cast<unsigned long>(code)));
}

}  // namespace quillmere
