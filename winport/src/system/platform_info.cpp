#include <winport/platform_info.h>

namespace winport {

bool RunningOnWine() {
  return false;
}
bool FaultsReachPlatform() {
  return true;
}

}  // namespace winport
