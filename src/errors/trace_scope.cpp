#include "errors/trace_scope.h"

#include "errors/failure_helpers.h"

namespace quillmere {

TraceScope::TraceScope(ReportSink& sink, const OLECHAR* name) : sink_(sink), name_{} {
  int length = 0;
  if (name != nullptr) {
    while (length < kNameCapacity - 1 && name[length] != OLESTR('\0')) {
      name_[length] = name[length];
      ++length;
    }
  }
  name_[length] = OLESTR('\0');
  sink_.Trace(true, name_);
}

TraceScope::~TraceScope() {
  // Runs while an exception may be unwinding: a trace that cannot be written is dropped.
  RunIgnoringFailure([&] { sink_.Trace(false, name_); });
}

}  // namespace quillmere
