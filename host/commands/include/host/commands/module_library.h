// Where the program finds the module library it registers and serves.
#pragma once

#include <filesystem>

namespace quillmere::host {

// Installed: <prefix>/lib/quillmere/libquillmere_admin.so beside the program's bin/.
// Run from the build tree: the module it was built with.
std::filesystem::path ModuleLibrary();

}  // namespace quillmere::host
