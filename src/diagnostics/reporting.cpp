#include "diagnostics/reporting.h"

#include <memory>
#include <utility>

#include "errors/com_error.h"
#include "errors/failure_helpers.h"
#include "timestamp.h"

namespace quillmere {

namespace {

// A copy of text, null for null; raises E_OUTOFMEMORY when it cannot be made.
winport::ScopedBstr CopyText(const OLECHAR* text) {
  winport::ScopedBstr copy(text);
  if (text != nullptr && copy.Get() == nullptr) RaiseComErrorWithoutInfo(E_OUTOFMEMORY);
  return copy;
}

}  // namespace

Reporting::Reporting() : processId_(GetCurrentProcessId()) {}

Reporting::~Reporting() {
  // The worker calls Process and the event writers, which use the members below.
  Stop();
}

void Reporting::Report(DWORD level, const OLECHAR* source, const OLECHAR* description) {
  EnsureInitialized();
  // Before any copy: a filtered report costs only the test.
  if (!ReportPassesFilter(level, ReportingLevel(), TraceBits())) return;
  Queue(level, source, description, nullptr, kNoErrorNumber);
}

void Reporting::ReportError(const OLECHAR* source, const OLECHAR* description, LONG errorNumber,
                            const OLECHAR* location) {
  EnsureInitialized();
  Queue(kLevelError, source, description, location, errorNumber);
}

void Reporting::Trace(bool entering, const OLECHAR* functionName) {
  EnsureInitialized();
  if (!LevelEnabled(kLevelTrace)) return;
  Queue(kLevelTrace, functionName, entering ? OLESTR("*ENTER*") : OLESTR("*LEAVE*"), nullptr,
        entering ? kTraceEntered : kTraceLeft);
}

void Reporting::EnsureInitialized() {
  // The steps (reading the settings, opening the sinks) come with report delivery.
  initialized_.Run([] {});
}

bool Reporting::LevelEnabled(DWORD level) const {
  return (level & EffectiveLevelMask(ReportingLevel(), TraceBits())) != 0;
}

void Reporting::WriteErrorEvent(DWORD eventId) {
  eventLog_.WriteEvent(EVENTLOG_ERROR_TYPE, kCategoryNone, eventId);
}

void Reporting::WriteWarningEvent(DWORD eventId) {
  eventLog_.WriteEvent(EVENTLOG_WARNING_TYPE, kCategoryNone, eventId);
}

void Reporting::WriteInfoEvent(DWORD eventId) {
  eventLog_.WriteEvent(EVENTLOG_INFORMATION_TYPE, kCategoryNone, eventId);
}

void Reporting::Queue(DWORD level, const OLECHAR* source, const OLECHAR* description,
                      const OLECHAR* location, LONG errorNumber) {
  auto record = OrOutOfMemory([] { return std::make_unique<ReportRecord>(); });
  record->level = level;
  record->processId = processId_;
  record->threadId = GetCurrentThreadId();
  record->source = CopyText(source);
  record->location = CopyText(location);
  record->description = CopyText(description);
  record->errorNumber = errorNumber;
  record->time = FormatTimestamp();
  // The queue owns it from here, also when it refuses it.
  Enqueue(std::move(record));
}

}  // namespace quillmere
