// Where the entry discipline sends its reports: the reporting object implements this,
// so the exception handling below it needs nothing of the report queue.
#pragma once

#include <winport/windows.h>

namespace quillmere {

// The report levels. A level is one bit; ReportingLevel is a mask of them.
inline constexpr DWORD kLevelError = 1;
inline constexpr DWORD kLevelWarning = 2;
inline constexpr DWORD kLevelInformation = 4;
inline constexpr DWORD kLevelTrace = 8;

class ReportSink {
 public:
  // Filtered by level; errors (level 1) always pass.
  virtual void Report(DWORD level, const OLECHAR* source, const OLECHAR* description) = 0;
  // Never filtered: always an error record.
  virtual void ReportError(const OLECHAR* source, const OLECHAR* description, LONG errorNumber,
                           const OLECHAR* location) = 0;
  // "*ENTER*" / "*LEAVE*" records, when tracing is on.
  virtual void Trace(bool entering, const OLECHAR* functionName) = 0;

 protected:
  ~ReportSink() = default;
};

}  // namespace quillmere
