// Session times as OLE dates and as the text of a SESSION element.
#pragma once

#include <chrono>
#include <string>

#include <winport/windows.h>

namespace quillmere::host {

DATE ToOleDate(std::chrono::system_clock::time_point time);
// YYYY-MM-DDTHH:MM:SSZ
std::string ToUtcText(std::chrono::system_clock::time_point time);

}  // namespace quillmere::host
