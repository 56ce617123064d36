// Reading the Application event log back: for tests and for `quillmere events`.
// Not part of the Windows build: there the system's event log has its own readers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <winport/wide.h>

namespace winport::eventlog {

struct EventRecord {
  std::uint64_t number = 0;  // 1, 2, ...: the order of writing, unique on the machine
  std::string time_written;  // UTC, "2024-05-01T12:34:56.789Z"; sorts as text
  WideString computer;
  WideString source;
  WORD type = 0;  // EVENTLOG_*_TYPE, EVENTLOG_SUCCESS, EVENTLOG_AUDIT_*
  WORD category = 0;
  DWORD event_id = 0;
  std::string user_sid;  // "S-1-22-1-1000"; empty when the event names no user
  std::vector<WideString> strings;
  std::vector<std::uint8_t> data;

  bool operator==(const EventRecord&) const = default;
};

// The log's whole records in order, those numbered above after_number, only those of
// `source` (compared ignoring ASCII case, as Windows compares source names) when given.
// A record still being written is not seen.
std::vector<EventRecord> ReadEvents(std::uint64_t after_number = 0,
                                    std::optional<WideString> source = std::nullopt);

}  // namespace winport::eventlog
