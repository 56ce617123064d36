// The SOAP service host as the objects see it: registration, named objects and the
// dispatch of an OnSuccess request. Its log keeps "Register <name>" and "Unregister
// <name>" (with " (null)" for a null object) and "DispatchSOAP <object> <method>".
#pragma once

#include <map>
#include <string>

#include <winport/com_object.h>
#include <winport/com_ptr.h>
#include <winport/scoped_bstr.h>
#include <winport/windows.h>

#include "fakes/call_log.h"
#include "quillmere/soap_host.h"

namespace fakes {

class FakeSoapService : public winport::ComObject<quillmere::ISoapService> {
 public:
  std::map<std::string, winport::ComPtr<IUnknown>> namedObjects;
  HRESULT dispatchResult = S_OK;
  winport::ComPtr<quillmere::ISOAPMessage> dispatchResponse;  // put in the slot by DispatchSOAP
  CallLog log;

  HRESULT STDMETHODCALLTYPE Register(quillmere::_ISoapObject* object, BSTR nameSpace) override {
    return log.Enter("Register", Registered(object, nameSpace));
  }
  HRESULT STDMETHODCALLTYPE Unregister(quillmere::_ISoapObject* object, BSTR nameSpace) override {
    return log.Enter("Unregister", Registered(object, nameSpace));
  }
  HRESULT STDMETHODCALLTYPE NamedObject(BSTR name, IUnknown** object) override {
    *object = nullptr;
    FAKE_ENTER(log, "NamedObject");
    const auto found = namedObjects.find(Utf8(name));
    if (found == namedObjects.end()) return E_INVALIDARG;
    found->second.CopyTo(object);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DispatchSOAP(BSTR objectName, quillmere::ISOAPMessage* request,
                                         quillmere::ISOAPMessage** response) override {
    winport::ScopedBstr method;
    request->methodName(method.Receive());
    FAKE_ENTER(log, "DispatchSOAP", Utf8(objectName) + " " + Utf8(method.Get()));
    if (dispatchResponse) dispatchResponse.CopyTo(response);
    return dispatchResult;
  }
  HRESULT STDMETHODCALLTYPE setReportingLevel(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE setThreadCount(LONG) override { return E_NOTIMPL; }

 private:
  static std::string Registered(quillmere::_ISoapObject* object, BSTR nameSpace) {
    return Utf8(nameSpace) + (object != nullptr ? "" : " (null)");
  }
};

}  // namespace fakes
