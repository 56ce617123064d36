// Reaching the host's WMI namespace, and the instance operations the host's data needs.
#pragma once

#include <utility>
#include <vector>

#include <winport/com_ptr.h>
#include <winport/scoped_variant.h>
#include <winport/wide.h>
#include <winport/windows.h>

namespace quillmere::host {

inline constexpr const OLECHAR* kHostNamespace = OLESTR("root\\cimv2\\quillmere");

HRESULT ConnectHostNamespace(winport::ComPtr<IWbemServices>& services);

// Every instance of the class (derived classes too).
HRESULT InstancesOf(IWbemServices* services, const OLECHAR* className,
                    std::vector<winport::ComPtr<IWbemClassObject>>& instances);

using PropertyValues = std::vector<std::pair<const OLECHAR*, winport::ScopedVariant>>;

// Creates or replaces the instance with these values.
HRESULT StoreInstance(IWbemServices* services, const OLECHAR* className,
                      const PropertyValues& values);

HRESULT DeleteInstance(IWbemServices* services, winport::WideView path);

// Whether the class, or the instance a path names, is stored.
bool ObjectExists(IWbemServices* services, winport::WideView path);

}  // namespace quillmere::host
