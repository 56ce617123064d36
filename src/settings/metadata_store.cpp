#include "metadata_store.h"

#include <winport/scoped_variant.h>

#include "errors/failure_helpers.h"
#include "errors/new_bstr.h"

namespace quillmere {
namespace {

struct PropertyDeclaration {
  const OLECHAR* name;
  CIMTYPE type;
  const OLECHAR* classDefault;  // null: none
};

constexpr PropertyDeclaration kMetadataProperties[] = {
    {OLESTR("SettingName"), CIM_STRING, nullptr},
    {OLESTR("StringValue"), CIM_STRING, OLESTR("StringValue")},
    {OLESTR("IntVal"), CIM_SINT32, nullptr},
    {OLESTR("CIMTYPE"), CIM_SINT32, nullptr},
    {OLESTR("ResponsibleObject"), CIM_STRING, nullptr},
    {OLESTR("RealVal"), CIM_REAL32, nullptr},
    {OLESTR("Description"), CIM_STRING, nullptr},
};

const PropertyDeclaration* DeclarationOf(const OLECHAR* name) {
  for (const PropertyDeclaration& property : kMetadataProperties) {
    if (winport::WideView(property.name) == name) return &property;
  }
  return nullptr;
}

HRESULT PutKeyQualifier(IWbemClassObject* metadataClass) {
  winport::ComPtr<IWbemQualifierSet> qualifiers;
  HRESULT hr = metadataClass->GetPropertyQualifierSet(NewBstr(OLESTR("SettingName")).Get(),
                                                      qualifiers.GetAddressOf());
  if (qualifiers == nullptr) return hr;
  VARIANT isKey;
  VariantInit(&isKey);
  isKey.vt = VT_BOOL;
  isKey.boolVal = VARIANT_TRUE;
  return qualifiers->Put(NewBstr(OLESTR("Key")).Get(), &isKey, 0);
}

}  // namespace

winport::ScopedBstr ObjectPathOf(winport::WideView settingName) {
  winport::WideString path = OrOutOfMemory([&] {
    winport::WideString text(kMetadataClass);
    text += OLESTR("=\"");
    text += settingName;
    text += OLESTR("\"");
    return text;
  });
  return NewBstr(path);
}

HRESULT CreateLocator(winport::ComPtr<IWbemLocator>& locator) {
  return CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                          reinterpret_cast<void**>(locator.ReleaseAndGetAddressOf()));
}

HRESULT ConnectToRoot(IWbemLocator& locator, winport::ComPtr<IWbemServices>& root) {
  return locator.ConnectServer(NewBstr(OLESTR("\\\\.\\root\\cimv2")).Get(), nullptr, nullptr,
                               nullptr, 0, nullptr, nullptr, root.ReleaseAndGetAddressOf());
}

HRESULT OpenSettingsNamespace(IWbemServices* root, winport::ComPtr<IWbemServices>& settings) {
  return root->OpenNamespace(NewBstr(kSettingsNamespace).Get(), 0, nullptr,
                             settings.ReleaseAndGetAddressOf(), nullptr);
}

HRESULT SpawnNamespaceInstance(IWbemServices& root, winport::ComPtr<IWbemClassObject>& instance) {
  winport::ComPtr<IWbemClassObject> namespaceClass;
  HRESULT hr = root.GetObject(NewBstr(OLESTR("__Namespace")).Get(), 0, nullptr,
                              namespaceClass.GetAddressOf(), nullptr);
  if (namespaceClass == nullptr) return hr;
  hr = namespaceClass->SpawnInstance(0, instance.ReleaseAndGetAddressOf());
  if (instance == nullptr) return hr;
  winport::ScopedVariant name(kSettingsNamespace);
  return instance->Put(OLESTR("Name"), 0, name.AsInput(), 0);
}

HRESULT CreateMetadataClass(IWbemServices* settings, std::span<const OLECHAR* const> order) {
  winport::ComPtr<IWbemClassObject> metadataClass;
  HRESULT hr = settings->GetObject(nullptr, 0, nullptr, metadataClass.GetAddressOf(), nullptr);
  if (metadataClass == nullptr) return hr;
  winport::ScopedVariant className(kMetadataClass);
  metadataClass->Put(OLESTR("__CLASS"), 0, className.AsInput(), 0);
  for (const OLECHAR* name : order) {
    const PropertyDeclaration* property = DeclarationOf(name);
    if (property == nullptr) continue;
    if (property->classDefault != nullptr) {
      winport::ScopedVariant classDefault(property->classDefault);
      metadataClass->Put(property->name, 0, classDefault.AsInput(), property->type);
    } else {
      metadataClass->Put(property->name, 0, nullptr, property->type);
    }
    if (property == &kMetadataProperties[0]) PutKeyQualifier(metadataClass.Get());
  }
  return settings->PutClass(metadataClass.Get(), 0, nullptr, nullptr);
}

}  // namespace quillmere
