// The host's ISoapService, handed to each SOAP object's Init: the objects register
// themselves under their names, find the host's named objects ("Session", "Repository",
// "Extension") and dispatch the next request of an OnSuccess chain.
#pragma once

#include <functional>
#include <map>
#include <shared_mutex>
#include <string>

#include <winport/com_object.h>
#include <winport/com_ptr.h>
#include <winport/windows.h>

#include "quillmere/soap_host.h"
#include "quillmere/soap_object_interfaces.h"

namespace quillmere::host {

class SoapService : public winport::ComObject<quillmere::ISoapService> {
 public:
  // Makes the response for a request naming an object nobody registered: a client fault
  // with this text.
  using FaultMaker = std::function<winport::ComPtr<quillmere::ISOAPMessage>(
      quillmere::ISOAPMessage* request, const std::string& text)>;

  explicit SoapService(FaultMaker unknownObject);

  void SetNamedObject(const std::string& name, winport::ComPtr<IUnknown> object);
  // Null when no object is registered under the name.
  winport::ComPtr<quillmere::_ISoapObject> Find(const std::string& name) const;
  // Forgets every registration and named object (the objects hold this service too).
  void Clear();
  // The request run by the object registered under the name (DispatchSOAP without the
  // BSTR): its Execute's answer, or S_OK and a client fault naming an unknown object.
  HRESULT Dispatch(const std::string& name, quillmere::ISOAPMessage* request,
                   quillmere::ISOAPMessage** response);

  HRESULT STDMETHODCALLTYPE Register(quillmere::_ISoapObject* object, BSTR nameSpace) override;
  HRESULT STDMETHODCALLTYPE Unregister(quillmere::_ISoapObject* object, BSTR nameSpace) override;
  HRESULT STDMETHODCALLTYPE NamedObject(BSTR name, IUnknown** object) override;
  HRESULT STDMETHODCALLTYPE DispatchSOAP(BSTR objectName, quillmere::ISOAPMessage* request,
                                         quillmere::ISOAPMessage** response) override;
  HRESULT STDMETHODCALLTYPE setReportingLevel(LONG level) override;
  HRESULT STDMETHODCALLTYPE setThreadCount(LONG count) override;

 private:
  const FaultMaker unknownObject_;
  mutable std::shared_mutex mutex_;
  std::map<std::string, winport::ComPtr<quillmere::_ISoapObject>> objects_;
  std::map<std::string, winport::ComPtr<IUnknown>> named_;
};

winport::ComPtr<SoapService> MakeSoapService(SoapService::FaultMaker unknownObject);

}  // namespace quillmere::host
