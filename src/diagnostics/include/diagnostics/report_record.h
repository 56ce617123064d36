// One queued report: made on the reporting thread, owned by the queue while queued,
// destroyed by the worker after delivery or by the queue when it is dropped.
#pragma once

#include <winport/scoped_bstr.h>
#include <winport/windows.h>

namespace quillmere {

// ReportRecord::errorNumber of a report without one, and of the two trace records.
inline constexpr LONG kNoErrorNumber = 0;
inline constexpr LONG kTraceEntered = 1;
inline constexpr LONG kTraceLeft = -1;

struct ReportRecord {
  DWORD level = 0;
  DWORD processId = 0;
  DWORD threadId = 0;
  winport::ScopedBstr time;         // FormatTimestamp() at the time of the report
  winport::ScopedBstr source;       // who reports, or null
  winport::ScopedBstr location;     // where, for errors that carry one, or null
  winport::ScopedBstr description;  // the message, or null
  LONG errorNumber = kNoErrorNumber;
};

}  // namespace quillmere
