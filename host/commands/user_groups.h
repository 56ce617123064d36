// A user's permission bits as a person writes them: names ("admin,batch") or a number
// (64, 0x41).
#pragma once

#include <string>
#include <string_view>

#include <winport/windows.h>

namespace quillmere::host {

// Fails with a one-line reason naming the word it does not know.
ULONG ParseGroups(std::string_view text);
// "admin,batch"; "-" for none.
std::string GroupNames(ULONG groups);
// Every group's name, for help texts.
std::string KnownGroupNames();

}  // namespace quillmere::host
