// One per entry point, on its stack: traces "*ENTER*" when opened and "*LEAVE*" when
// closed, under the entry's name ("Class::Operation", cut to 79 characters).
#pragma once

#include <winport/windows.h>

#include "errors/report_sink.h"

namespace quillmere {

class TraceScope {
 public:
  static constexpr int kNameCapacity = 80;  // 79 characters and the terminator

  TraceScope(ReportSink& sink, const OLECHAR* name);
  ~TraceScope();
  TraceScope(const TraceScope&) = delete;
  TraceScope& operator=(const TraceScope&) = delete;

  const OLECHAR* Name() const { return name_; }

 private:
  ReportSink& sink_;
  OLECHAR name_[kNameCapacity];
};

}  // namespace quillmere
