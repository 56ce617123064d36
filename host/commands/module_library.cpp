#include "host/commands/module_library.h"

namespace quillmere::host {

std::filesystem::path ModuleLibrary() {
  std::error_code error;
  // The program's own file, not a link to it: an installed tree may be linked from
  // another bin/ folder.
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path installed =
        program.parent_path() / QUILLMERE_BIN_TO_LIB / "libquillmere_admin.so";
    if (std::filesystem::exists(installed, error)) return installed.lexically_normal();
  }
  return QUILLMERE_BUILT_MODULE;
}

}  // namespace quillmere::host
