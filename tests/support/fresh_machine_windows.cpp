#include "fresh_machine.h"

namespace testing_support {

void EnterFreshMachine() {}
void LeaveFreshMachine() {}
std::filesystem::path MachinePrefix() {
  return {};
}

}  // namespace testing_support
