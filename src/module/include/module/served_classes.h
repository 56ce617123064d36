// The classes the module serves, in the order they are registered.
#pragma once

#include <array>

#include <winport/windows.h>

#include "module/class_factory.h"

namespace quillmere {

struct ServedClass {
  const CLSID& clsid;
  // The coclass name: its ProgIDs are "quillmere.<name>" and "quillmere.<name>.1".
  const OLECHAR* coclass;
  ObjectCreator create;
  WORD registryScript;  // the resource id of its registration script
};

extern const std::array<ServedClass, 2> kServedClasses;

}  // namespace quillmere
