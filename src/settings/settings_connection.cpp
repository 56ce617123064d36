#include "settings/settings_connection.h"

#include <winport/scoped_variant.h>

#include "errors/com_error.h"
#include "errors/failure_helpers.h"
#include "errors/new_bstr.h"
#include "metadata_store.h"

namespace quillmere {
namespace {

constexpr const OLECHAR* kClassOrder[] = {
    OLESTR("SettingName"), OLESTR("CIMTYPE"),     OLESTR("StringValue"),      OLESTR("IntVal"),
    OLESTR("RealVal"),     OLESTR("Description"), OLESTR("ResponsibleObject")};

// The property's value, or nothing when it cannot be read or is null.
bool GetValue(IWbemClassObject& instance, const OLECHAR* property, winport::ScopedVariant& value) {
  return SUCCEEDED(instance.Get(property, 0, value.Receive(), nullptr, nullptr)) &&
         value.Type() != VT_NULL;
}

void ReadText(IWbemClassObject& instance, const OLECHAR* property, winport::ScopedBstr& field) {
  winport::ScopedVariant value;
  if (GetValue(instance, property, value))
    field = NewBstr(SettingsConnection::ValueAsString(value.Get()));
}

}  // namespace

SettingsConnection::SettingsConnection() {
  winport::ComPtr<IWbemLocator> locator;
  winport::ComPtr<IWbemServices> root;
  if (FAILED(CreateLocator(locator)) || FAILED(ConnectToRoot(*locator.Get(), root))) return;
  if (SUCCEEDED(OpenSettingsNamespace(root.Get(), namespace_))) return;
  winport::ComPtr<IWbemClassObject> instance;
  if (SUCCEEDED(SpawnNamespaceInstance(*root.Get(), instance)))
    root->PutInstance(instance.Get(), 0, nullptr, nullptr);
  if (FAILED(OpenSettingsNamespace(root.Get(), namespace_)) || namespace_ == nullptr) {
    namespace_.Reset();
    return;
  }
  CreateMetadataClass(namespace_.Get(), kClassOrder);
}

bool SettingsConnection::Exists(const OLECHAR* settingName) const {
  if (namespace_ == nullptr) return false;
  return SUCCEEDED(
      namespace_->GetObject(ObjectPathOf(settingName).Get(), 0, nullptr, nullptr, nullptr));
}

SettingRecord SettingsConnection::Read(const OLECHAR* settingName) const {
  SettingRecord record;
  if (namespace_ == nullptr) return record;
  winport::ComPtr<IWbemClassObject> instance;
  namespace_->GetObject(ObjectPathOf(settingName).Get(), 0, nullptr, instance.GetAddressOf(),
                        nullptr);
  if (instance == nullptr) return record;
  winport::ScopedVariant name;
  if (!GetValue(*instance.Get(), OLESTR("SettingName"), name)) return record;
  record.SettingName = NewBstr(ValueAsString(name.Get()));
  ReadText(*instance.Get(), OLESTR("Description"), record.Description);
  ReadText(*instance.Get(), OLESTR("ResponsibleObject"), record.ResponsibleObject);

  winport::ScopedVariant cimType;
  if (!GetValue(*instance.Get(), OLESTR("CIMTYPE"), cimType)) return record;
  const auto type = static_cast<ULONG>(ValueAsLong(cimType.Get()));
  const OLECHAR* property = ValuePropertyOf(type);
  if (property == nullptr) return record;
  if (SUCCEEDED(instance->Get(property, 0, record.Value.Receive(), nullptr, nullptr)))
    record.CimType = type;
  return record;
}

winport::WideString SettingsConnection::ValueAsString(const VARIANT& value) {
  winport::ScopedVariant text;
  if (value.vt != VT_BSTR)
    CheckHr(VariantChangeType(text.Receive(), const_cast<VARIANT*>(&value), 0, VT_BSTR));
  const BSTR chars = value.vt == VT_BSTR ? value.bstrVal : text.Get().bstrVal;
  return OrOutOfMemory([&] { return winport::WideString(winport::BstrView(chars)); });
}

LONG SettingsConnection::ValueAsLong(const VARIANT& value) {
  if (value.vt == VT_I4) return value.lVal;
  winport::ScopedVariant number;
  CheckHr(VariantChangeType(number.Receive(), const_cast<VARIANT*>(&value), 0, VT_I4));
  return number.Get().lVal;
}

}  // namespace quillmere
