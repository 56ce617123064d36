#include "host/commands/module_library.h"

namespace quillmere::host {
namespace {

// `relative` to the program's own folder when it exists there, else `built`. The
// program's own file, not a link to it: an installed tree may be linked from another bin/
// folder.
std::filesystem::path InstalledOr(const std::filesystem::path& relative, const char* built) {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path installed = program.parent_path() / relative;
    if (std::filesystem::exists(installed, error)) return installed.lexically_normal();
  }
  return built;
}

}  // namespace

std::filesystem::path ModuleLibrary() {
  return InstalledOr(std::filesystem::path(QUILLMERE_BIN_TO_LIB) / "libquillmere_admin.so",
                     QUILLMERE_BUILT_MODULE);
}

std::filesystem::path ConsoleFolder() {
  return InstalledOr(std::filesystem::path(QUILLMERE_BIN_TO_DATA) / "console",
                     QUILLMERE_SOURCE_CONSOLE);
}

}  // namespace quillmere::host
