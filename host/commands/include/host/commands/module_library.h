// Where the program finds the module library it registers and serves, and the console's
// files.
#pragma once

#include <filesystem>

namespace quillmere::host {

// Installed: <prefix>/lib/quillmere/libquillmere_admin.so beside the program's bin/.
// Run from the build tree: the module it was built with.
std::filesystem::path ModuleLibrary();

// Installed: <prefix>/share/quillmere/console beside the program's bin/.
// Run from the build tree: host/console of the sources it was built from.
std::filesystem::path ConsoleFolder();

}  // namespace quillmere::host
