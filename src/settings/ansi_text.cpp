#include "settings/ansi_text.h"

#include <winport/windows.h>

#include "errors/com_error.h"
#include "errors/failure_helpers.h"

namespace quillmere {
namespace {

[[noreturn]] void RaiseLastError() {
  RaiseComErrorWithoutInfo(HRESULT_FROM_WIN32(GetLastError()));
}

}  // namespace

std::string WideToAnsi(winport::WideView text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int needed =
      WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) RaiseLastError();
  std::string ansi = OrOutOfMemory([&] { return std::string(needed, '\0'); });
  if (WideCharToMultiByte(CP_ACP, 0, text.data(), length, ansi.data(), needed, nullptr, nullptr) <=
      0)
    RaiseLastError();
  return ansi;
}

winport::WideString AnsiToWideAcp(std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) RaiseLastError();
  winport::WideString wide = OrOutOfMemory([&] { return winport::WideString(needed, 0); });
  if (MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), needed) <= 0)
    RaiseLastError();
  return wide;
}

}  // namespace quillmere
