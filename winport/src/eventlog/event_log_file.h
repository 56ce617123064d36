// The Application log's file: records as text lines, and appending them whole.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <winport/event_log_reader.h>

namespace winport::eventlog::detail {

// One record as its line, without the line end; and back (nullopt if it is not one).
std::string FormatRecord(const EventRecord& record);
std::optional<EventRecord> ParseRecord(std::string_view line);

// Numbers and time-stamps `record` and appends it to the log, whole. ERROR_SUCCESS or
// the Win32 error of the failure (the log is then as it was).
DWORD AppendRecord(EventRecord& record);

}  // namespace winport::eventlog::detail
