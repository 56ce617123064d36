// IWbemQualifierSet over the qualifiers of an object or of one of its properties. The
// set keeps its object alive and finds the qualifiers again on every call, so it stays
// right while the object changes.
#pragma once

#include "class_object.h"

namespace winport::wmi {

// property empty: the object's own qualifiers. Throws std::bad_alloc.
ComPtr<IWbemQualifierSet> MakeQualifierSet(ComPtr<ClassObject> owner, WideString property);

}  // namespace winport::wmi
