#include <winport/machine.h>
#include <winport/message.h>
#include <winport/sysinfo.h>
#include <winport/wide.h>

#include <unistd.h>

#include <cstdint>
#include <string>

#include <winport/fault_injection.h>

namespace {

constexpr char16_t kSystemDirectory[] = u"C:\\Windows\\system32";

bool Injected(const char* function) {
  std::uint32_t error;
  if (!winport::fault::ShouldFail(function, &error)) return false;
  SetLastError(error);
  return true;
}

// The NetBIOS name Windows derives from a host name: the first DNS label, upper-case,
// cut to MAX_COMPUTERNAME_LENGTH.
winport::WideString ComputerName() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  std::string name(host);
  name = name.substr(0, name.find('.'));
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (name.empty()) name = "LOCALHOST";
  winport::WideString wide = winport::Utf8ToWide(name);
  if (wide.size() > MAX_COMPUTERNAME_LENGTH) wide.resize(MAX_COMPUTERNAME_LENGTH);
  return wide;
}

}  // namespace

extern "C" BOOL GetComputerNameW(LPWSTR lpBuffer, LPDWORD nSize) {
  if (Injected("GetComputerNameW")) return FALSE;
  if (nSize == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const winport::WideString name = ComputerName();
  if (lpBuffer == nullptr || *nSize <= name.size()) {
    *nSize = static_cast<DWORD>(name.size() + 1);
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return FALSE;
  }
  name.copy(lpBuffer, name.size());
  lpBuffer[name.size()] = u'\0';
  *nSize = static_cast<DWORD>(name.size());
  return TRUE;
}

extern "C" UINT GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  if (Injected("GetSystemDirectoryW")) return 0;
  // Callers go on to use the directory, so it must exist.
  winport::machine::SystemDirectory();
  constexpr UINT kLength = sizeof kSystemDirectory / sizeof kSystemDirectory[0] - 1;
  if (lpBuffer == nullptr || uSize <= kLength) return kLength + 1;
  for (UINT i = 0; i <= kLength; ++i)
    lpBuffer[i] = kSystemDirectory[i];
  return kLength;
}
