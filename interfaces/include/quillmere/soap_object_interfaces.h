// What the module's SOAP objects offer: the host's contract and the setting-change hook.
#pragma once

#include <winport/windows.h>

#include "quillmere/guids.h"
#include "quillmere/soap_host.h"

namespace quillmere {

struct _ISoapObject : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Init(ISoapService* service) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetStop() = 0;
  // S_OK or S_FALSE with a response (possibly a fault) in the slot; a failure only when
  // no response could be made.
  virtual HRESULT STDMETHODCALLTYPE Execute(ISOAPMessage* request, ISOAPMessage** response) = 0;
};

struct ISetting : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Modify(BSTR name, VARIANT value) = 0;
};

}  // namespace quillmere
