#include "diagnostics/reporting.h"

#include <memory>
#include <utility>

#include "errors/com_error.h"
#include "errors/failure_helpers.h"
#include "errors/new_bstr.h"
#include "event_ids.h"
#include "report_forms.h"
#include "settings/settings_connection.h"
#include "timestamp.h"

namespace quillmere {

Reporting::Reporting(MsmqRuntime& msmqRuntime, ReportQueue::Consumer* consumer)
    : msmqRuntime_(msmqRuntime),
      msmqQueue_(msmqRuntime, eventLog_),
      processId_(GetCurrentProcessId()),
      queue_(consumer != nullptr ? *consumer : ownDelivery_) {}

void Reporting::Report(DWORD level, const OLECHAR* source, const OLECHAR* description) {
  EnsureInitialized();
  // Before any copy: a filtered report costs only the test.
  if (!ReportPassesFilter(level, ReportingLevel(), TraceBits())) return;
  QueueReport(level, source, description, nullptr, kNoErrorNumber);
}

void Reporting::ReportError(const OLECHAR* source, const OLECHAR* description, LONG errorNumber,
                            const OLECHAR* location) {
  EnsureInitialized();
  QueueReport(kLevelError, source, description, location, errorNumber);
}

void Reporting::Trace(bool entering, const OLECHAR* functionName) {
  EnsureInitialized();
  if (!LevelEnabled(kLevelTrace)) return;
  QueueReport(kLevelTrace, functionName, entering ? OLESTR("*ENTER*") : OLESTR("*LEAVE*"), nullptr,
              entering ? kTraceEntered : kTraceLeft);
}

void Reporting::EnsureInitialized() {
  initialized_.Run([this] { Initialize(); });
}

void Reporting::Initialize() {
  if (!ReadSettings()) WriteStatusEvent(EVENTLOG_ERROR_TYPE, kEventSettingsMissing);
  if (settings_.LogToFile) {
    // Without the writer, file logging stays off for the life of the object.
    CoCreateInstance(__uuidof(LogFileWriter), nullptr, kLogFileWriterContext,
                     __uuidof(ILogFileWriter),
                     reinterpret_cast<void**>(logFileWriter_.GetAddressOf()));
  }
  if (settings_.LogToMSMQ && LoadMsmqRuntime(msmqRuntime_, eventLog_))
    msmqQueue_.Open(settings_.MSMQ_Name.c_str(), settings_.MSMQ_Capacity);
  if (settings_.LogUserActivity) EnableUserActivityLog();
}

bool Reporting::ReadSettings() {
  using Apply = void (*)(Reporting&, const VARIANT&);
  struct Setting {
    const OLECHAR* name;
    Apply apply;
  };
  static const auto flag = [](const VARIANT& value) {
    return SettingsConnection::ValueAsLong(value) != 0;
  };
  static const Setting kSettings[] = {
      {OLESTR("ReportingLevel"),
       [](Reporting& r, const VARIANT& v) {
         r.SetReportingLevel(static_cast<DWORD>(SettingsConnection::ValueAsLong(v)));
       }},
      {OLESTR("LogToEventLog"),
       [](Reporting& r, const VARIANT& v) { r.settings_.LogToEventLog = flag(v); }},
      {OLESTR("LogUserActivity"),
       [](Reporting& r, const VARIANT& v) { r.settings_.LogUserActivity = flag(v); }},
      {OLESTR("LogToFile"),
       [](Reporting& r, const VARIANT& v) { r.settings_.LogToFile = flag(v); }},
      {OLESTR("LogToMSMQ"),
       [](Reporting& r, const VARIANT& v) { r.settings_.LogToMSMQ = flag(v); }},
      {OLESTR("MSMQ_Capacity"),
       [](Reporting& r, const VARIANT& v) {
         r.settings_.MSMQ_Capacity = static_cast<DWORD>(SettingsConnection::ValueAsLong(v));
       }},
      {OLESTR("MSMQ_Name"),
       [](Reporting& r, const VARIANT& v) {
         r.settings_.MSMQ_Name = SettingsConnection::ValueAsString(v);
       }},
  };
  const SettingsConnection store;
  for (const Setting& setting : kSettings) {
    if (!store.Exists(setting.name)) return false;
    setting.apply(*this, store.Read(setting.name).Value.Get());
  }
  return true;
}

bool Reporting::LogUserAction(const OLECHAR* user, const OLECHAR* action) {
  EnsureInitialized();
  return LogUserActions::LogUserAction(user, action);
}

void Reporting::Deliver(std::unique_ptr<ReportRecord> record) {
  const bool error = record->level == kLevelError;
  if (error || settings_.LogToEventLog) {
    const winport::WideString text = FormatMessageText(*record);
    if (error) WriteErrorReportEvent(text);
    eventLog_.WriteEvent(EventTypeForLevel(record->level), EventCategoryForLevel(record->level),
                         kEventReport, text.c_str());
  }
  const bool toFile = settings_.LogToFile && logFileWriter_;
  const bool toQueue = settings_.LogToMSMQ && msmqRuntime_.bound;
  if (!toFile && !toQueue) return;
  const winport::WideString xml = FormatMessageXml(*record);
  if (toFile) logFileWriter_->WriteMessage(NewBstr(xml).Get());
  if (toQueue && !msmqQueue_.IsFull()) msmqQueue_.Send(xml);
}

void Reporting::WriteErrorReportEvent(const winport::WideString& text) const {
  const HANDLE source = RegisterEventSourceW(nullptr, OLESTR("Quillmere"));
  if (source == nullptr) return;
  LPCWSTR strings[] = {text.c_str()};
  ReportEventW(source, EVENTLOG_ERROR_TYPE, kCategoryNone, kEventErrorReport, eventLog_.UserSid(),
               1, 0, strings, nullptr);
  DeregisterEventSource(source);
}

bool Reporting::LevelEnabled(DWORD level) const {
  return (level & EffectiveLevelMask(ReportingLevel(), TraceBits())) != 0;
}

void Reporting::WriteStatusEvent(WORD type, DWORD eventId) {
  eventLog_.WriteEvent(type, kCategoryNone, eventId);
}

void Reporting::QueueReport(DWORD level, const OLECHAR* source, const OLECHAR* description,
                            const OLECHAR* location, LONG errorNumber) {
  OLECHAR time[kTimestampBuffer];
  FormatTimestamp(time);
  // The queue owns it from here, also when it refuses it.
  queue_.Enqueue(OrOutOfMemory([&] {
    return ReportRecord::Make(level, processId_, GetCurrentThreadId(), time, source, location,
                              description, errorNumber);
  }));
}

}  // namespace quillmere
