#include "confined_path.h"

#include <algorithm>
#include <system_error>

namespace quillmere::host {
namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// The path's names in order, or nothing when one of them could reach beyond the folder.
std::optional<std::filesystem::path> RelativePart(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return std::nullopt;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return std::nullopt;
  std::filesystem::path relative;
  while (!path.empty()) {
    const auto end = std::find_if(path.begin(), path.end(), IsSeparator);
    const std::string_view name(path.begin(), end);
    path.remove_prefix(std::min(path.size(), name.size() + 1));
    if (name.empty() || name == ".") continue;
    if (name == ".." || name.find(':') != std::string_view::npos) return std::nullopt;
    relative /= std::string(name);
  }
  return relative;
}

bool Below(const std::filesystem::path& root, const std::filesystem::path& file) {
  const auto [rootEnd, fileAt] = std::mismatch(root.begin(), root.end(), file.begin(), file.end());
  return rootEnd == root.end();
}

}  // namespace

std::optional<std::filesystem::path> ConfinedPath(const std::filesystem::path& root,
                                                  std::string_view path) {
  const std::optional<std::filesystem::path> relative = RelativePart(path);
  if (!relative) return std::nullopt;
  std::error_code error;
  std::filesystem::path base = std::filesystem::weakly_canonical(root, error);
  if (error) return std::nullopt;
  if (!base.has_filename()) base = base.parent_path();  // a folder given with a trailing "/"

  // Links are followed here, so one that points out of the folder is seen for what it is.
  std::filesystem::path file = std::filesystem::weakly_canonical(base / *relative, error);
  if (error || !Below(base, file)) return std::nullopt;
  return file;
}

}  // namespace quillmere::host
