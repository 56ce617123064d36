// The system's own in-process classes, served without any registration so that they
// work on a fresh machine: the component-category manager, the WMI locator and the MOF
// compiler. The file that implements such a class adds it as the library loads, so the
// COM runtime knows none of them by name.
#pragma once

#include <winport/windows_api.h>

namespace winport::detail {

using GetClassObjectFunction = HRESULT (*)(REFIID riid, void** ppv);

// Adds a built-in class as the library loads: one object of this type at namespace scope
// beside the class.
class BuiltInClass {
 public:
  BuiltInClass(const CLSID& clsid, GetClassObjectFunction get_class_object);
  BuiltInClass(const BuiltInClass&) = delete;
  BuiltInClass& operator=(const BuiltInClass&) = delete;
};

// The class object of a built-in class; REGDB_E_CLASSNOTREG for any other class.
HRESULT GetBuiltInClassObject(REFCLSID clsid, REFIID riid, void** ppv);

}  // namespace winport::detail
