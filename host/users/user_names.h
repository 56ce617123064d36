// What the store accepts as a user name, a password and a set of permission bits.
#pragma once

#include <string_view>

#include <winport/windows.h>

namespace quillmere::host {

inline constexpr size_t kLongestUserName = 64;  // characters
inline constexpr ULONG kAllGroups = 0x7F;

// Non-empty well-formed UTF-8, at most kLongestUserName characters, none a control and
// none of < > & " (SafeInMarkup).
bool ValidUserName(std::string_view name);
bool ValidPassword(std::string_view password);
bool ValidGroups(ULONG groups);

// Throw UserError when the value is not acceptable.
void CheckUserName(std::string_view name);
void CheckPassword(std::string_view password);
void CheckGroups(ULONG groups);

}  // namespace quillmere::host
