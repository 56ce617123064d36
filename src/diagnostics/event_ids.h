// The ids of the status events reporting writes through the "SOAP Service" source. Their
// message texts are registered with the source at installation.
#pragma once

#include <winport/windows.h>

namespace quillmere {

// A COM call failed (EventLogChannel::ReportComError); category 1, the text as string.
inline constexpr DWORD kEventComError = 0xC0000154;

// The worker could not join the multithreaded apartment and ended.
inline constexpr DWORD kEventWorkerComInitFailed = 0xC0000212;
// Delivering a record raised an exception; the record was dropped.
inline constexpr DWORD kEventProcessFailed = 0xC0000213;
// The worker's wait failed and it ended.
inline constexpr DWORD kEventWorkerWaitFailed = 0xC0000214;
// The queue was full; the new record was dropped.
inline constexpr DWORD kEventQueueFull = 0xC0000215;
// The worker did not end in time at stop and was terminated (warning).
inline constexpr DWORD kEventWorkerTerminated = 0xC0000244;
// Records were still queued at stop and were dropped (warning).
inline constexpr DWORD kEventRecordsDropped = 0xC0000245;

}  // namespace quillmere
