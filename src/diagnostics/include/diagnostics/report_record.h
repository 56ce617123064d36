// One queued report: made on the reporting thread, owned by the queue while queued,
// destroyed by the worker after delivery or by the queue when it is dropped.
#pragma once

#include <winport/scoped_bstr.h>
#include <winport/windows.h>

namespace quillmere {

struct ReportRecord {
  DWORD level = 0;
  DWORD processId = 0;
  DWORD threadId = 0;
  winport::ScopedBstr time;         // FormatTimestamp() at the time of the report
  winport::ScopedBstr source;       // who reports, or null
  winport::ScopedBstr location;     // where, for errors that carry one, or null
  winport::ScopedBstr description;  // the message, or null
  LONG errorNumber = 0;             // 0 when none; +1 / -1 for entered / left
};

}  // namespace quillmere
