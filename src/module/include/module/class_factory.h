// The class object of a served class: makes its objects and holds the module for clients
// that ask it to. The factory itself does not keep the library loaded.
#pragma once

#include <winport/com_object.h>
#include <winport/windows.h>

#include "diagnostics/reporter.h"
#include "module/com_module.h"

namespace quillmere {

// Makes one object of a served class, asked for riid (see CServedObject::Create).
using ObjectCreator = HRESULT (*)(CComModule& module, Reporter& reporting, REFIID riid,
                                  void** object);

class CClassFactory final : public winport::ComObject<IClassFactory> {
 public:
  CClassFactory(CComModule& module, Reporter& reporting, ObjectCreator create)
      : module_(module), reporting_(reporting), create_(create) {}

  // E_POINTER without an out-pointer; CLASS_E_NOAGGREGATION with an outer unknown (the
  // out-pointer's target nulled first); otherwise the creator's answer.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  CComModule& module_;
  Reporter& reporting_;
  ObjectCreator create_;
};

}  // namespace quillmere
