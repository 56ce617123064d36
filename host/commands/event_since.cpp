#include "event_since.h"

#include <cctype>
#include <optional>

#include "host/commands/command_support.h"
#include "host/common/utc_time.h"

namespace quillmere::host {
namespace {

// Digits where the pattern has 9, the pattern's own character elsewhere.
bool Matches(std::string_view text, std::string_view pattern) {
  if (text.size() != pattern.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (pattern[i] == '9' ? !digit : text[i] != pattern[i]) return false;
  }
  return true;
}

std::optional<std::chrono::seconds> Span(std::string_view given) {
  if (given.size() < 2) return std::nullopt;
  long long count = 0;
  for (const char c : given.substr(0, given.size() - 1)) {
    if (!std::isdigit(static_cast<unsigned char>(c)) || count > 1'000'000'000) return std::nullopt;
    count = count * 10 + (c - '0');
  }
  switch (given.back()) {
    case 's':
      return std::chrono::seconds(count);
    case 'm':
      return std::chrono::minutes(count);
    case 'h':
      return std::chrono::hours(count);
    case 'd':
      return std::chrono::hours(24 * count);
    default:
      return std::nullopt;
  }
}

}  // namespace

std::string SinceText(std::string_view given, std::chrono::system_clock::time_point now) {
  if (const std::optional<std::chrono::seconds> span = Span(given)) {
    std::string since = UtcText(now - *span);
    since.pop_back();  // the events' times carry no zone letter
    return since;
  }
  std::string time(given);
  if (!time.empty() && (time.back() == 'Z' || time.back() == 'z')) time.pop_back();
  if (time.size() > 10 && time[10] == ' ') time[10] = 'T';
  for (const std::string_view form : {"9999-99-99", "9999-99-99T99:99", "9999-99-99T99:99:99"}) {
    if (Matches(time, form)) return time;
  }
  throw CommandFailure("--since " + std::string(given) +
                       ": expected a UTC time YYYY-MM-DD[THH:MM[:SS]] or a span such as 30m, "
                       "2h or 7d");
}

}  // namespace quillmere::host
