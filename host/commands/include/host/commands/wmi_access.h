// What the WMI commands share: a connection to one namespace of the prefix's repository,
// failures worded for a person, and objects read as text.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <winport/com_ptr.h>
#include <winport/scoped_bstr.h>
#include <winport/scoped_com_init.h>
#include <winport/windows.h>

#include "host/common/bstr_text.h"

namespace quillmere::host {

inline constexpr const char* kQuillmereNamespace = "root\\cimv2\\quillmere";

// "not found (0x80041002)": the WMI status in words where it has a common meaning.
std::string WbemErrorText(HRESULT hr);
// Throws CommandFailure("<what>: <text>") when hr failed.
void CheckWbem(HRESULT hr, std::string_view what);

class WmiConnection {
 public:
  explicit WmiConnection(std::string_view wmiNamespace);
  IWbemServices* operator->() const { return services_.Get(); }
  IWbemServices* Get() const { return services_.Get(); }

 private:
  winport::ScopedComInit com_{COINIT_MULTITHREADED};
  winport::ComPtr<IWbemServices> services_;
};

// Every object the enumeration still holds.
std::vector<winport::ComPtr<IWbemClassObject>> Drain(IEnumWbemClassObject* objects);

// A value as a person reads it: empty for null, true/false, {a, b} for an array.
std::string ValueText(const VARIANT& value);
std::string PropertyText(IWbemClassObject* object, const OLECHAR* name);

// Names of the object's properties chosen by flags (WBEM_FLAG_NONSYSTEM_ONLY...).
std::vector<std::string> PropertyNames(IWbemClassObject* object, LONG flags,
                                       const OLECHAR* qualifier = nullptr);

}  // namespace quillmere::host
