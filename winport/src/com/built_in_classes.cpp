#include "com/built_in_classes.h"

#include <vector>

namespace winport::detail {
namespace {

struct BuiltInClassEntry {
  const CLSID& clsid;
  GetClassObjectFunction get_class_object;
};

// Filled while the library loads, read only afterwards. Never destroyed: libraries
// detached at process exit may still activate a class.
std::vector<BuiltInClassEntry>& BuiltInClasses() {
  static auto* classes = new std::vector<BuiltInClassEntry>();
  return *classes;
}

}  // namespace

BuiltInClass::BuiltInClass(const CLSID& clsid, GetClassObjectFunction get_class_object) {
  BuiltInClasses().push_back({clsid, get_class_object});
}

HRESULT GetBuiltInClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  for (const BuiltInClassEntry& built_in : BuiltInClasses()) {
    if (IsEqualGUID(clsid, built_in.clsid)) return built_in.get_class_object(riid, ppv);
  }
  return REGDB_E_CLASSNOTREG;
}

}  // namespace winport::detail
