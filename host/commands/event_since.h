// The start of the time span `quillmere events --since` asks for, in the form the event
// log records times ("2024-05-01T12:34:56.789Z", UTC), so that comparing text compares times.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace quillmere::host {

// A UTC time "YYYY-MM-DD[THH:MM[:SS]][Z]" (a space may stand for the T), or a span back
// from now: "90s", "30m", "2h", "7d". Fails with a one-line reason otherwise.
std::string SinceText(std::string_view given, std::chrono::system_clock::time_point now);

}  // namespace quillmere::host
