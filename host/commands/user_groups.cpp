#include "user_groups.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "host/commands/command_support.h"
#include "quillmere/session_manager.h"

namespace quillmere::host {
namespace {

struct NamedGroup {
  const char* name;
  ULONG bit;
};

constexpr NamedGroup kGroups[] = {
    {"admin", GroupAdmin},
    {"batch", GroupBatch},
    {"upload-data", GroupUploadData},
    {"download-files", GroupDownloadFiles},
    {"upload-scripts", GroupUploadScripts},
    {"portal-interactive", GroupPortalInteractive},
    {"portal", GroupPortal},
};
constexpr ULONG kAllGroups = 0x7F;

}  // namespace

ULONG ParseGroups(std::string_view text) {
  const std::string whole(text);
  if (!whole.empty() && std::isdigit(static_cast<unsigned char>(whole[0]))) {
    char* end = nullptr;
    const unsigned long bits = std::strtoul(whole.c_str(), &end, 0);
    if (*end != '\0' || bits > kAllGroups)
      throw CommandFailure("groups " + whole +
                           ": a number from 0 to 127 or names such as admin,batch");
    return static_cast<ULONG>(bits);
  }
  ULONG groups = 0;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    const std::string_view word = text.substr(start, comma - start);
    start = comma + 1;
    if (word.empty()) continue;
    bool known = false;
    for (const NamedGroup& group : kGroups) {
      if (word == group.name) {
        groups |= group.bit;
        known = true;
      }
    }
    if (!known)
      throw CommandFailure("no group named " + std::string(word) + " (" + KnownGroupNames() + ")");
  }
  return groups;
}

std::string GroupNames(ULONG groups) {
  std::string names;
  for (const NamedGroup& group : kGroups) {
    if ((groups & group.bit) == 0) continue;
    if (!names.empty()) names += ",";
    names += group.name;
  }
  return names.empty() ? "-" : names;
}

std::string KnownGroupNames() {
  std::string names;
  for (const NamedGroup& group : kGroups) {
    if (!names.empty()) names += ", ";
    names += group.name;
  }
  return names;
}

}  // namespace quillmere::host
