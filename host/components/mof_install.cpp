#include <regex>
#include <string>
#include <vector>

#include <winport/scoped_variant.h>

#include "embedded_text.h"
#include "host/components/wmi_data.h"
#include "wmi_connection.h"

namespace quillmere::host {
namespace {

constexpr const OLECHAR* kHostClasses[] = {OLESTR("Metadata"), OLESTR("Job"), OLESTR("VXPool"),
                                           OLESTR("Session")};
// The settings reporting reads; it reports them missing unless all are stored.
constexpr const OLECHAR* kSettingPaths[] = {
    OLESTR("Metadata=\"ReportingLevel\""),  OLESTR("Metadata=\"LogToEventLog\""),
    OLESTR("Metadata=\"LogUserActivity\""), OLESTR("Metadata=\"LogToFile\""),
    OLESTR("Metadata=\"LogToMSMQ\""),       OLESTR("Metadata=\"MSMQ_Capacity\""),
    OLESTR("Metadata=\"MSMQ_Name\"")};

bool Installed(IWbemServices* services) {
  for (const OLECHAR* name : kHostClasses)
    if (!ObjectExists(services, name)) return false;
  for (const OLECHAR* path : kSettingPaths)
    if (!ObjectExists(services, path)) return false;
  return true;
}

HRESULT CompileHostMof() {
  winport::ComPtr<IMofCompiler> compiler;
  const HRESULT hr =
      CoCreateInstance(CLSID_MofCompiler, nullptr, CLSCTX_INPROC_SERVER, IID_IMofCompiler,
                       reinterpret_cast<void**>(compiler.GetAddressOf()));
  if (FAILED(hr)) return hr;
  const std::string_view text = HostMof();
  WBEM_COMPILE_STATUS_INFO status{};
  const HRESULT compiled = compiler->CompileBuffer(
      static_cast<LONG>(text.size()), reinterpret_cast<BYTE*>(const_cast<char*>(text.data())),
      nullptr, nullptr, nullptr, nullptr, 0, 0, 0, &status);
  if (compiled == S_OK) return S_OK;
  return FAILED(status.hRes) ? status.hRes : E_FAIL;
}

}  // namespace

std::optional<LONG> DeclaredSettingType(std::string_view settingName) {
  static const std::regex instance(R"(instance of Metadata\s*\{([^}]*)\})");
  static const std::regex name(R"(SettingName\s*=\s*"([^"]*)\")");
  static const std::regex type(R"(CIMTYPE\s*=\s*(\d+))");
  const std::string_view text = HostMof();
  for (std::cregex_iterator found(text.data(), text.data() + text.size(), instance), end;
       found != end; ++found) {
    const std::string body = (*found)[1];
    std::smatch named, typed;
    if (std::regex_search(body, named, name) && named[1].str() == settingName &&
        std::regex_search(body, typed, type))
      return static_cast<LONG>(std::stol(typed[1]));
  }
  return std::nullopt;
}

HRESULT WmiData::InstallMof() {
  winport::ComPtr<IWbemServices> services;
  std::vector<winport::ComPtr<IWbemClassObject>> kept;
  if (SUCCEEDED(ConnectHostNamespace(services)) && services) {
    if (Installed(services.Get())) return S_FALSE;
    // Whatever is stored was set here before (perhaps by an administrator): it outlives the
    // defaults the MOF brings.
    InstancesOf(services.Get(), OLESTR("Metadata"), kept);
  }
  HRESULT hr = CompileHostMof();
  if (FAILED(hr) || kept.empty()) return hr;
  hr = ConnectHostNamespace(services);
  for (const auto& setting : kept) {
    if (SUCCEEDED(hr)) hr = services->PutInstance(setting.Get(), 0, nullptr, nullptr);
  }
  return hr;
}

}  // namespace quillmere::host
