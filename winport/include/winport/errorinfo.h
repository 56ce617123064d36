// The thread's COM error info.
#pragma once

#include <winport/unknown.h>

extern "C" HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo);
// Stores perrinfo (or nothing) as the calling thread's error info; dwReserved must be 0.
extern "C" HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
// Hands the thread's error info over and clears it; S_FALSE and null when there is none.
extern "C" HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);
