// The settings store as the WbemProvider object's methods use it: connects to the
// settings namespace (creating it and its class on first use), lists every setting as a
// table row, lists the instances of any class of the namespace as a sheet, and fetches,
// changes and stores one setting. Built on the stack for each call; nothing is cached.
#pragma once

#include <winport/com_ptr.h>
#include <winport/scoped_bstr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "errors/report_sink.h"
#include "settings/setting_record.h"

namespace quillmere {

class CSetting {
 public:
  // Failures of the entry operations are reported to sink.
  explicit CSetting(ReportSink& sink) : sink_(sink) {}
  CSetting(const CSetting&) = delete;
  CSetting& operator=(const CSetting&) = delete;

  // Entry operations: nothing escapes them; a failed WMI step is their answer.
  HRESULT Connect();
  // One row per setting into rows, set only on success; count is the instances read, also
  // those read before a failure.
  HRESULT ReadMetadata(winport::WideString& rows, ULONG& count);
  // The instances of className as a sheet of variableCount columns; set only on success.
  HRESULT EnumerateWbemClassObject(const OLECHAR* className, LONG variableCount,
                                   winport::WideString& document);

  // S_OK with the record replaced by the stored setting of its name; E_FAIL when there is
  // none (the record is unchanged).
  HRESULT GetSetting(SettingRecord& record);
  // Writes the record over the stored instance of its name; never creates one. Answers
  // the result of storing, or of the step that failed.
  HRESULT PutSetting(const SettingRecord& record);
  // The stored setting of name with its value read from valueText (as its type reads it).
  HRESULT ModifySetting(winport::ScopedBstr name, winport::ScopedBstr valueText);

 private:
  // The namespace, or the failure of the connection that left none.
  IWbemServices& Namespace() const;

  ReportSink& sink_;
  winport::ComPtr<IWbemServices> namespace_;
  HRESULT connectResult_ = E_UNEXPECTED;
};

}  // namespace quillmere
