#include <winport/platform_info.h>
#include <winport/windows.h>

namespace winport {

bool RunningOnWine() {
  // Wine's ntdll exports its version; Windows' does not.
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool FaultsReachPlatform() {
  return false;
}

}  // namespace winport
