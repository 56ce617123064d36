// Every test runs on a fresh machine: the test main gives each test its own empty
// QUILLMERE_PREFIX in a temporary directory and removes it afterwards, so tests never
// see each other's registry, event log or files, nor the user's own. On Windows the
// machine is the real one and this does nothing.
#pragma once

#include <filesystem>

namespace testing_support {

void EnterFreshMachine();
void LeaveFreshMachine();

// The current test's prefix (empty on Windows).
std::filesystem::path MachinePrefix();

}  // namespace testing_support
