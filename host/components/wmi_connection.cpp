#include "wmi_connection.h"

#include <winport/scoped_bstr.h>

namespace quillmere::host {
namespace {

winport::ScopedBstr BstrOf(winport::WideView text) {
  winport::ScopedBstr bstr;
  bstr.Reset(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  return bstr;
}

}  // namespace

HRESULT ConnectHostNamespace(winport::ComPtr<IWbemServices>& services) {
  winport::ComPtr<IWbemLocator> locator;
  const HRESULT hr =
      CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                       reinterpret_cast<void**>(locator.GetAddressOf()));
  if (FAILED(hr)) return hr;
  const winport::ScopedBstr path(kHostNamespace);
  return locator->ConnectServer(path.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                services.ReleaseAndGetAddressOf());
}

HRESULT InstancesOf(IWbemServices* services, const OLECHAR* className,
                    std::vector<winport::ComPtr<IWbemClassObject>>& instances) {
  winport::ComPtr<IEnumWbemClassObject> walk;
  const winport::ScopedBstr name(className);
  HRESULT hr = services->CreateInstanceEnum(name.Get(), 0, nullptr, walk.GetAddressOf());
  if (FAILED(hr)) return hr;
  for (;;) {
    winport::ComPtr<IWbemClassObject> instance;
    ULONG fetched = 0;
    hr = walk->Next(static_cast<LONG>(WBEM_INFINITE), 1, instance.GetAddressOf(), &fetched);
    if (FAILED(hr)) return hr;
    if (fetched == 0) return S_OK;
    instances.push_back(instance);
  }
}

HRESULT StoreInstance(IWbemServices* services, const OLECHAR* className,
                      const PropertyValues& values) {
  winport::ComPtr<IWbemClassObject> classObject;
  const winport::ScopedBstr name(className);
  HRESULT hr = services->GetObject(name.Get(), 0, nullptr, classObject.GetAddressOf(), nullptr);
  if (FAILED(hr)) return hr;
  winport::ComPtr<IWbemClassObject> instance;
  hr = classObject->SpawnInstance(0, instance.GetAddressOf());
  if (FAILED(hr)) return hr;
  for (const auto& [property, value] : values) {
    hr = instance->Put(property, 0, value.AsInput(), 0);
    if (FAILED(hr)) return hr;
  }
  return services->PutInstance(instance.Get(), WBEM_FLAG_CREATE_OR_UPDATE, nullptr, nullptr);
}

HRESULT DeleteInstance(IWbemServices* services, winport::WideView path) {
  const winport::ScopedBstr text = BstrOf(path);
  return services->DeleteInstance(text.Get(), 0, nullptr, nullptr);
}

bool ObjectExists(IWbemServices* services, winport::WideView path) {
  const winport::ScopedBstr text = BstrOf(path);
  winport::ComPtr<IWbemClassObject> object;
  return SUCCEEDED(services->GetObject(text.Get(), 0, nullptr, object.GetAddressOf(), nullptr));
}

}  // namespace quillmere::host
