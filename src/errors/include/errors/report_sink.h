// Where the entry discipline sends its reports: the reporting object implements this,
// so the exception handling below it needs nothing of the report queue.
#pragma once

#include <winport/windows.h>

namespace quillmere {

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
