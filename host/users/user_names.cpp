#include "user_names.h"

#include <optional>
#include <string>

#include "host/common/xml_text.h"
#include "host/users/user_store.h"

namespace quillmere::host {

namespace {

// The next code point of well-formed UTF-8 (no surrogates, no overlong forms).
std::optional<char32_t> NextCodePoint(std::string_view text, size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at++]);
  if (lead < 0x80) return lead;
  int trailing;
  char32_t point;
  char32_t smallest;
  if ((lead & 0xE0) == 0xC0) {
    trailing = 1, point = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    trailing = 2, point = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    trailing = 3, point = lead & 0x07, smallest = 0x10000;
  } else {
    return std::nullopt;
  }
  for (; trailing > 0; --trailing) {
    if (at >= text.size()) return std::nullopt;
    const auto next = static_cast<unsigned char>(text[at++]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    point = (point << 6) | (next & 0x3F);
  }
  if (point < smallest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
    return std::nullopt;
  return point;
}

bool IsControl(char32_t point) {
  return point < 0x20 || (point >= 0x7F && point <= 0x9F);
}

}  // namespace

bool ValidUserName(std::string_view name) {
  if (!SafeInMarkup(name)) return false;
  size_t characters = 0;
  for (size_t at = 0; at < name.size();) {
    const auto point = NextCodePoint(name, at);
    if (!point || IsControl(*point) || ++characters > kLongestUserName) return false;
  }
  return characters > 0;
}

bool ValidPassword(std::string_view password) {
  return !password.empty();
}

bool ValidGroups(ULONG groups) {
  return (groups & ~kAllGroups) == 0;
}

void CheckUserName(std::string_view name) {
  // The module shows user names inside its markup as they are.
  if (!SafeInMarkup(name))
    throw UserError(UserProblem::kInvalidName,
                    "a user name may not contain " + std::string(kMarkupCharacters));
  if (!ValidUserName(name))
    throw UserError(UserProblem::kInvalidName, "a user name is 1 to 64 printable characters");
}

void CheckPassword(std::string_view password) {
  if (!ValidPassword(password))
    throw UserError(UserProblem::kInvalidPassword, "a password cannot be empty");
}

void CheckGroups(ULONG groups) {
  if (!ValidGroups(groups))
    throw UserError(UserProblem::kInvalidGroups,
                    "permission bits outside 0x7F: " + std::to_string(groups));
}

}  // namespace quillmere::host
