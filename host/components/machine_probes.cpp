#include "host/components/machine_probes.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <winport/event_log_reader.h>
#include <winport/message_queuing.h>
#include <winport/scoped_bstr.h>
#include <winport/scoped_variant.h>
#include <winport/windows.h>

#include "host/common/bstr_text.h"
#include "host/common/hresult_text.h"
#include "wmi_connection.h"

namespace quillmere::host {
namespace {

// The runtime's limit for a format name, terminator included.
constexpr DWORD kFormatNameLength = 260;

HRESULT ReadSetting(IWbemServices* services, const OLECHAR* path, const OLECHAR* property,
                    winport::ScopedVariant& value) {
  const winport::ScopedBstr text(path);
  winport::ComPtr<IWbemClassObject> setting;
  const HRESULT hr = services->GetObject(text.Get(), 0, nullptr, setting.GetAddressOf(), nullptr);
  if (FAILED(hr)) return hr;
  return setting->Get(property, 0, value.Receive(), nullptr, nullptr);
}

template <class Function>
Function Bound(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

}  // namespace

std::optional<ReportQueueSettings> ReadReportQueueSettings(std::string& failure) {
  winport::ComPtr<IWbemServices> services;
  HRESULT hr = ConnectHostNamespace(services);
  winport::ScopedVariant name;
  winport::ScopedVariant capacity;
  if (SUCCEEDED(hr)) {
    hr = ReadSetting(services.Get(), OLESTR("Metadata.SettingName=\"MSMQ_Name\""),
                     OLESTR("StringValue"), name);
  }
  if (SUCCEEDED(hr)) {
    hr = ReadSetting(services.Get(), OLESTR("Metadata.SettingName=\"MSMQ_Capacity\""),
                     OLESTR("IntVal"), capacity);
  }
  if (SUCCEEDED(hr) && (name.Get().vt != VT_BSTR || capacity.Get().vt != VT_I4)) {
    hr = WBEM_E_TYPE_MISMATCH;
  }
  if (FAILED(hr)) {
    failure = "reading the report queue's settings failed: " + HresultText(hr);
    return std::nullopt;
  }
  return ReportQueueSettings{Utf8Of(name.Get().bstrVal), capacity.Get().lVal};
}

std::optional<unsigned long> QueueCounter::Count(const std::string& pathName) {
  if (!winport::msmq::IsRunning()) return std::nullopt;
  const std::lock_guard hold(mutex_);
  if (!library_.IsValid()) {
    library_.Reset(LoadLibraryW(u"mqrt.dll"));
    if (!library_.IsValid()) return std::nullopt;
    formatName_ =
        Bound<decltype(&MQPathNameToFormatName)>(library_.Get(), "MQPathNameToFormatName");
    mgmtGetInfo_ = Bound<decltype(&MQMgmtGetInfo)>(library_.Get(), "MQMgmtGetInfo");
  }
  if (formatName_ == nullptr || mgmtGetInfo_ == nullptr) return std::nullopt;
  WCHAR formatName[kFormatNameLength] = {};
  DWORD length = kFormatNameLength;
  if (FAILED(formatName_(winport::Utf8ToWide(pathName).c_str(), formatName, &length))) {
    return std::nullopt;
  }
  const winport::WideString object = u"QUEUE=" + winport::WideString(formatName);
  MGMTPROPID ids[] = {PROPID_MGMT_QUEUE_MESSAGE_COUNT};
  MQPROPVARIANT values[1] = {};
  values[0].vt = VT_NULL;
  MQMGMTPROPS properties{1, ids, values, nullptr};
  if (FAILED(mgmtGetInfo_(nullptr, object.c_str(), &properties))) return std::nullopt;
  return values[0].ulVal;
}

EventCounter::EventCounter() {
  const auto records = winport::eventlog::ReadEvents();
  start_ = newest_ = records.empty() ? 0 : records.back().number;
}

std::uint64_t EventCounter::Written() {
  const std::lock_guard hold(mutex_);
  const auto records = winport::eventlog::ReadEvents(newest_);
  if (!records.empty()) newest_ = records.back().number;
  return newest_ - start_;
}

ProcessUsage ReadProcessUsage() {
  ProcessUsage usage;
  std::ifstream statm("/proc/self/statm");
  std::uint64_t size = 0;
  std::uint64_t resident = 0;
  if (statm >> size >> resident) {
    usage.residentBytes = resident * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
  }
  std::error_code error;
  for (std::filesystem::directory_iterator entry("/proc/self/fd", error), end;
       !error && entry != end; entry.increment(error)) {
    ++usage.openDescriptors;
  }
  return usage;
}

}  // namespace quillmere::host
