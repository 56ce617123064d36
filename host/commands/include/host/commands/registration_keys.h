// What registering the module leaves in HKEY_CLASSES_ROOT, read back from the registry:
// each ProgID and the versioned one it names, each class's CLSID key, the type library's.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/commands/command_support.h"

namespace quillmere::host {

// Key paths below HKCR ("quillmere.Administer", "CLSID\{...}") that exist now.
std::vector<std::string> RegisteredKeys();
bool KeyExists(const std::string& path);

// Every key and value below the given keys: KEY ("HKCR\..."), VALUE ("(default)" for the
// unnamed one) and DATA.
Table KeyContents(const std::vector<std::string>& paths);

// The library the first ProgID's class names, when registered.
std::optional<std::filesystem::path> RegisteredLibrary();

}  // namespace quillmere::host
