// The ids of the events reporting writes, all through the "SOAP Service" source except
// kEventErrorReport. Their message texts are registered with the sources at installation.
#pragma once

#include <winport/windows.h>

namespace quillmere {

// A delivered report; type and category by its level, the text form as string.
inline constexpr DWORD kEventReport = 0x40000220;
// An error report, through the "Quillmere" source; the text form as string.
inline constexpr DWORD kEventErrorReport = 0xC0000007;
// The settings store lacked one of reporting's settings; those after it were not read.
inline constexpr DWORD kEventSettingsMissing = 0xC0000216;

// Message queuing is not installed (warning).
inline constexpr DWORD kEventMsmqNotInstalled = 0x80000150;
// The message-queue runtime could not be loaded or lacks a function.
inline constexpr DWORD kEventMsmqRuntimeMissing = 0xC0000151;
// The queue manager is not running (warning).
inline constexpr DWORD kEventMsmqServiceStopped = 0x80000152;
// The destination queue holds its capacity; the report was not sent.
inline constexpr DWORD kEventMsmqQueueFull = 0xC0000155;

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
