// The outside log-file component: an out-of-process server that receives each delivered
// report's XML form. The ids are ours; once published they never change.
#pragma once

#include <winport/windows.h>

namespace quillmere {

struct ILogFileWriter : public IUnknown {
  // One report's XML form; the answer is not examined.
  virtual HRESULT STDMETHODCALLTYPE WriteMessage(BSTR xml) = 0;
};

struct LogFileWriter;  // the component's class

// Where reporting looks for it: a local or remote server, never in process.
inline constexpr DWORD kLogFileWriterContext = CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

}  // namespace quillmere

WINPORT_DEFINE_UUID(quillmere::ILogFileWriter, 0x3c1f8a52, 0x6d0e, 0x4b7a, 0x9e, 0x41, 0x27, 0xd5,
                    0x0b, 0x8c, 0x61, 0xf3);  // {3C1F8A52-6D0E-4B7A-9E41-27D50B8C61F3}
WINPORT_DEFINE_UUID(quillmere::LogFileWriter, 0x8a4e6b19, 0x2f73, 0x4c05, 0xb6, 0x3d, 0x95, 0x1e,
                    0x7c, 0x20, 0xa4, 0x5b);  // {8A4E6B19-2F73-4C05-B63D-951E7C20A45B}
