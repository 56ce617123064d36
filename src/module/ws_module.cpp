#include "module/ws_module.h"

#include "diagnostics/report_levels.h"
#include "errors/structured_exception.h"
#include "module/registration.h"
#include "module/served_classes.h"

namespace quillmere {

CWSModule::CWSModule() : previousTranslator_(_set_se_translator(&TranslateStructuredException)) {}

CWSModule::~CWSModule() {
  _set_se_translator(previousTranslator_);
}

void CWSModule::ProcessAttach(HINSTANCE module) {
  module_ = module;
  SetTraceBits(kTraceBitsLoaded);
  DisableThreadLibraryCalls(module);
}

void CWSModule::ProcessDetach() {
  ReleaseFactories();
}

HRESULT CWSModule::GetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  for (std::size_t index = 0; index < kServedClasses.size(); ++index) {
    if (!IsEqualGUID(clsid, kServedClasses[index].clsid)) continue;
    IClassFactory* factory = nullptr;
    const HRESULT hr = CachedFactory(
        index,
        [&](IClassFactory** made) {
          *made = winport::MakeComObject<CClassFactory>(*this, *this, kServedClasses[index].create)
                      .Detach();
          return *made != nullptr ? S_OK : E_OUTOFMEMORY;
        },
        &factory);
    return FAILED(hr) ? hr : factory->QueryInterface(riid, object);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CWSModule::CanUnloadNow() const {
  return GetLockCount() == 0 ? S_OK : S_FALSE;
}

HRESULT CWSModule::RegisterServer() const {
  return RegisterModule(module_, ModulePath());
}

HRESULT CWSModule::UnregisterServer() const {
  return UnregisterModule(module_, ModulePath());
}

winport::WideString CWSModule::ModulePath() const {
  OLECHAR path[MAX_PATH * 4] = {};
  const DWORD length = GetModuleFileNameW(module_, path, MAX_PATH * 4);
  return winport::WideString(path, length);
}

}  // namespace quillmere
