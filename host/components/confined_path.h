// A repository path as a file of the content folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace quillmere::host {

// The file `path` names below `root`, with symbolic links resolved; nothing when the path
// names a drive or a network share, climbs with "..", holds a NUL or resolves outside root.
std::optional<std::filesystem::path> ConfinedPath(const std::filesystem::path& root,
                                                  std::string_view path);

}  // namespace quillmere::host
