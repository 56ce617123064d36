#include <stdlib.h>

#include <string>
#include <system_error>

#include "fresh_machine.h"

namespace testing_support {
namespace {
std::filesystem::path g_prefix;
}

void EnterFreshMachine() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return;
  g_prefix = pattern;
  ::setenv("QUILLMERE_PREFIX", pattern.c_str(), 1);
}

void LeaveFreshMachine() {
  if (g_prefix.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(g_prefix, ignored);
  g_prefix.clear();
  ::unsetenv("QUILLMERE_PREFIX");
}

std::filesystem::path MachinePrefix() {
  return g_prefix;
}

}  // namespace testing_support
