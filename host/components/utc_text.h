// Times as the host writes them: UTC, to the second.
#pragma once

#include <chrono>
#include <string>

#include <winport/windows.h>

namespace quillmere::host {

std::string UtcText(std::chrono::system_clock::time_point time);  // YYYY-MM-DDTHH:MM:SSZ
std::string UtcDate(std::chrono::system_clock::time_point time);  // YYYYMMDD
std::chrono::system_clock::time_point FromOleDate(DATE date);

}  // namespace quillmere::host
