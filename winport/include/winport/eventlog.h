// The Application event log: event sources and ReportEventW.
//
// Every source writes to the Application log, a text file shared by the machine's
// processes (winport/event_log_reader.h reads it back). Only the local computer has
// a log: a remote server name fails with RPC_S_SERVER_UNAVAILABLE.
#pragma once

#include <winport/base_types.h>
#include <winport/security.h>
#include <winport/winerror.h>

#define EVENTLOG_SUCCESS 0x0000
#define EVENTLOG_ERROR_TYPE 0x0001
#define EVENTLOG_WARNING_TYPE 0x0002
#define EVENTLOG_INFORMATION_TYPE 0x0004
#define EVENTLOG_AUDIT_SUCCESS 0x0008
#define EVENTLOG_AUDIT_FAILURE 0x0010

// The RPC errors the Windows event log service answers with.
#ifndef RPC_S_SERVER_UNAVAILABLE
#define RPC_S_SERVER_UNAVAILABLE 1722L
#endif
#ifndef RPC_S_INVALID_BOUND
#define RPC_S_INVALID_BOUND 1734L
#endif

// A handle that writes to the Application log as lpSourceName. lpUNCServerName is null
// or the local computer's name ("NAME" or "\\NAME"). The Security log is the system's:
// ERROR_ACCESS_DENIED.
extern "C" HANDLE RegisterEventSourceW(LPCWSTR lpUNCServerName, LPCWSTR lpSourceName);
extern "C" BOOL DeregisterEventSource(HANDLE hEventLog);

// Appends one record. The strings must not be null when wNumStrings is not zero, nor
// lpRawData when dwDataSize is not; more than 61,440 bytes of data is RPC_S_INVALID_BOUND.
extern "C" BOOL ReportEventW(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID,
                             PSID lpUserSid, WORD wNumStrings, DWORD dwDataSize, LPCWSTR* lpStrings,
                             LPVOID lpRawData);
