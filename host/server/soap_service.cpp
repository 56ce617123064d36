#include "host/server/soap_service.h"

#include <mutex>

#include "host/common/bstr_text.h"

namespace quillmere::host {

SoapService::SoapService(FaultMaker unknownObject) : unknownObject_(std::move(unknownObject)) {}

winport::ComPtr<SoapService> MakeSoapService(SoapService::FaultMaker unknownObject) {
  return winport::MakeComObject<SoapService>(std::move(unknownObject));
}

void SoapService::SetNamedObject(const std::string& name, winport::ComPtr<IUnknown> object) {
  std::unique_lock hold(mutex_);
  named_[name] = std::move(object);
}

winport::ComPtr<quillmere::_ISoapObject> SoapService::Find(const std::string& name) const {
  std::shared_lock hold(mutex_);
  const auto found = objects_.find(name);
  return found == objects_.end() ? nullptr : found->second;
}

void SoapService::Clear() {
  std::map<std::string, winport::ComPtr<quillmere::_ISoapObject>> objects;
  std::map<std::string, winport::ComPtr<IUnknown>> named;
  {
    std::unique_lock hold(mutex_);
    objects.swap(objects_);
    named.swap(named_);
  }
  // Released outside the lock: a last release may call back into the service.
}

HRESULT SoapService::Register(quillmere::_ISoapObject* object, BSTR nameSpace) {
  if (object == nullptr) return E_POINTER;
  const std::string name = Utf8Of(nameSpace);
  if (name.empty()) return E_INVALIDARG;
  std::unique_lock hold(mutex_);
  auto& slot = objects_[name];
  if (slot && slot.Get() != object) return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
  slot = object;
  return S_OK;
}

HRESULT SoapService::Unregister(quillmere::_ISoapObject* object, BSTR nameSpace) {
  winport::ComPtr<quillmere::_ISoapObject> leaving;
  std::unique_lock hold(mutex_);
  const auto found = objects_.find(Utf8Of(nameSpace));
  if (found == objects_.end() || found->second.Get() != object) return S_FALSE;
  leaving = std::move(found->second);
  objects_.erase(found);
  hold.unlock();
  return S_OK;
}

HRESULT SoapService::NamedObject(BSTR name, IUnknown** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  std::shared_lock hold(mutex_);
  const auto found = named_.find(Utf8Of(name));
  if (found == named_.end() || !found->second) return E_INVALIDARG;
  return found->second.CopyTo(object);
}

HRESULT SoapService::DispatchSOAP(BSTR objectName, quillmere::ISOAPMessage* request,
                                  quillmere::ISOAPMessage** response) {
  return Dispatch(Utf8Of(objectName), request, response);
}

HRESULT SoapService::Dispatch(const std::string& name, quillmere::ISOAPMessage* request,
                              quillmere::ISOAPMessage** response) {
  if (request == nullptr || response == nullptr) return E_POINTER;
  *response = nullptr;
  if (const winport::ComPtr<quillmere::_ISoapObject> object = Find(name)) {
    return object->Execute(request, response);
  }
  const winport::ComPtr<quillmere::ISOAPMessage> fault =
      unknownObject_(request, "Unknown SOAP object: " + name);
  if (!fault) return E_OUTOFMEMORY;
  return fault.CopyTo(response);
}

HRESULT SoapService::setReportingLevel(LONG) {
  return E_NOTIMPL;
}

HRESULT SoapService::setThreadCount(LONG) {
  return E_NOTIMPL;
}

}  // namespace quillmere::host
