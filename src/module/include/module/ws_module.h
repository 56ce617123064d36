// The module object: the COM server's state and, as its other half, the process's
// Reporting. One lives in the process while the library is loaded (module_instance.h);
// tests may make their own.
#pragma once

#include <winport/windows.h>

#include "diagnostics/reporting.h"
#include "module/com_module.h"

namespace quillmere {

class CWSModule : public CComModule, public Reporting {
 public:
  // Installs the structured-exception translator on this thread, keeping the one before.
  CWSModule();
  // Puts the kept translator back.
  ~CWSModule() override;

  // The library has been loaded as `module`: tracing marks, no thread notifications.
  void ProcessAttach(HINSTANCE module);
  // The library is being unloaded: the class factories go.
  void ProcessDetach();

  // The served class's factory, asked for riid; CLASS_E_CLASSNOTAVAILABLE for any other
  // class.
  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);
  // S_OK when no object is alive and no lock is held; S_FALSE otherwise.
  HRESULT CanUnloadNow() const;
  HRESULT RegisterServer() const;
  HRESULT UnregisterServer() const;

 private:
  winport::WideString ModulePath() const;

  _se_translator_function previousTranslator_;
  HINSTANCE module_ = nullptr;
};

}  // namespace quillmere
