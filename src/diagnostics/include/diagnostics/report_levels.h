// Reporting levels, the level filter and the event type and category each level is
// written with.
#pragma once

#include <winport/windows.h>

#include "errors/report_sink.h"

namespace quillmere {

// The trace bits the module takes when it is loaded into a process: ReportingLevel
// 0x100 then switches tracing on as if kLevelTrace were set.
inline constexpr DWORD kTraceBitsLoaded = 0x100;

// ReportingLevel, plus kLevelTrace when it shares a bit with the trace bits.
constexpr DWORD EffectiveLevelMask(DWORD reportingLevel, DWORD traceBits) {
  return reportingLevel | ((reportingLevel & traceBits) != 0 ? kLevelTrace : 0);
}

// Whether a report of `level` is queued; errors always pass.
constexpr bool ReportPassesFilter(DWORD level, DWORD reportingLevel, DWORD traceBits) {
  return (level & EffectiveLevelMask(reportingLevel, traceBits)) != 0 || (level & kLevelError) != 0;
}

// The event categories: one per level, and none for anything else and for the status
// events of the queue and its worker.
inline constexpr WORD kCategoryNone = 0;
inline constexpr WORD kCategoryError = 1;
inline constexpr WORD kCategoryWarning = 2;
inline constexpr WORD kCategoryInformation = 3;
inline constexpr WORD kCategoryTrace = 4;

// The event type a report of `level` is written with; anything but the four levels is
// information.
constexpr WORD EventTypeForLevel(DWORD level) {
  switch (level) {
    case kLevelError:
      return EVENTLOG_ERROR_TYPE;
    case kLevelWarning:
      return EVENTLOG_WARNING_TYPE;
    case kLevelTrace:
      return EVENTLOG_AUDIT_SUCCESS;
    default:
      return EVENTLOG_INFORMATION_TYPE;
  }
}

constexpr WORD EventCategoryForLevel(DWORD level) {
  switch (level) {
    case kLevelError:
      return kCategoryError;
    case kLevelWarning:
      return kCategoryWarning;
    case kLevelInformation:
      return kCategoryInformation;
    case kLevelTrace:
      return kCategoryTrace;
    default:
      return kCategoryNone;
  }
}

}  // namespace quillmere
