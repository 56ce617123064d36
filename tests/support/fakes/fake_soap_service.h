// The SOAP service host as the objects see it: registration, named objects and the
// dispatch of an OnSuccess request.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <winport/com_object.h>
#include <winport/com_ptr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "fakes/call_log.h"
#include "soap/soap_object_interfaces.h"

namespace fakes {

class FakeSoapService : public winport::ComObject<quillmere::ISoapService> {
 public:
  struct Registration {
    bool registering;
    std::string nameSpace;
    bool withObject;  // a non-null _ISoapObject was passed
  };
  struct Dispatch {
    std::string objectName;
    quillmere::ISOAPMessage* request;
  };

  // --- set up by the test ---
  std::map<std::string, winport::ComPtr<IUnknown>> namedObjects;
  HRESULT dispatchResult = S_OK;
  winport::ComPtr<quillmere::ISOAPMessage> dispatchResponse;  // put in the slot by DispatchSOAP
  CallLog log;

  // --- read back ---
  std::vector<Registration> Registrations() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return registrations_;
  }
  std::vector<Dispatch> Dispatches() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return dispatches_;
  }

  HRESULT STDMETHODCALLTYPE Register(quillmere::_ISoapObject* object, BSTR nameSpace) override {
    return Record(true, object, nameSpace);
  }
  HRESULT STDMETHODCALLTYPE Unregister(quillmere::_ISoapObject* object, BSTR nameSpace) override {
    return Record(false, object, nameSpace);
  }
  HRESULT STDMETHODCALLTYPE NamedObject(BSTR name, IUnknown** object) override {
    *object = nullptr;
    FAKE_ENTER(log, "NamedObject");
    const auto found = namedObjects.find(winport::WideToUtf8(winport::BstrView(name)));
    if (found == namedObjects.end()) return E_INVALIDARG;
    found->second.CopyTo(object);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DispatchSOAP(BSTR objectName, quillmere::ISOAPMessage* request,
                                         quillmere::ISOAPMessage** response) override {
    FAKE_ENTER(log, "DispatchSOAP");
    {
      std::lock_guard<std::mutex> hold(mutex_);
      dispatches_.push_back({winport::WideToUtf8(winport::BstrView(objectName)), request});
    }
    if (dispatchResponse) dispatchResponse.CopyTo(response);
    return dispatchResult;
  }
  HRESULT STDMETHODCALLTYPE setReportingLevel(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE setThreadCount(LONG) override { return E_NOTIMPL; }

 private:
  HRESULT Record(bool registering, quillmere::_ISoapObject* object, BSTR nameSpace) {
    FAKE_ENTER(log, registering ? "Register" : "Unregister");
    std::lock_guard<std::mutex> hold(mutex_);
    registrations_.push_back(
        {registering, winport::WideToUtf8(winport::BstrView(nameSpace)), object != nullptr});
    return S_OK;
  }

  mutable std::mutex mutex_;
  std::vector<Registration> registrations_;
  std::vector<Dispatch> dispatches_;
};

}  // namespace fakes
