// IEnumWbemClassObject over objects gathered when the enumeration was made: every call
// answers at once, so timeouts never expire.
#pragma once

#include <memory>
#include <vector>

#include <winport/com_object.h>

namespace winport::wmi {

using ObjectList = std::vector<ComPtr<IWbemClassObject>>;

// Throws std::bad_alloc.
ComPtr<IEnumWbemClassObject> MakeObjectEnumerator(std::shared_ptr<const ObjectList> objects);

}  // namespace winport::wmi
