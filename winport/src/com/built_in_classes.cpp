#include "com/built_in_classes.h"

#include "com/inproc_servers.h"
#include "wmi/locator.h"
#include "wmi/mof_compiler.h"

namespace winport::detail {
namespace {

struct BuiltInClass {
  const CLSID& clsid;
  HRESULT (*get_class_object)(REFIID riid, void** ppv);
};

const BuiltInClass kBuiltInClasses[] = {
    {CLSID_StdComponentCategoriesMgr, GetComponentCategoriesClassObject},
    {CLSID_WbemLocator, winport::wmi::GetLocatorClassObject},
    {CLSID_MofCompiler, winport::wmi::GetMofCompilerClassObject},
};

}  // namespace

HRESULT GetBuiltInClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  for (const BuiltInClass& built_in : kBuiltInClasses) {
    if (IsEqualGUID(clsid, built_in.clsid)) return built_in.get_class_object(riid, ppv);
  }
  return REGDB_E_CLASSNOTREG;
}

}  // namespace winport::detail
