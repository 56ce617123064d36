#include "read_setting_object.h"

#include <winport/scoped_variant.h>

#include "errors/com_error.h"

namespace quillmere {
namespace {

// The property's value converted in place to type; nothing when either step fails.
bool GetAs(IWbemClassObject& instance, const OLECHAR* property, VARTYPE type,
           winport::ScopedVariant& value) {
  // A value already of the type is left as it is (converting it would only copy it).
  return SUCCEEDED(instance.Get(property, 0, value.Receive(), nullptr, nullptr)) &&
         (value.Type() == type || SUCCEEDED(value.ChangeType(type)));
}

void ReadText(IWbemClassObject& instance, const OLECHAR* property, winport::ScopedBstr& field) {
  winport::ScopedVariant value;
  if (GetAs(instance, property, VT_BSTR, value)) field.Reset(value.Release().bstrVal);
}

}  // namespace

SettingRecord ReadSettingObject(IWbemClassObject& instance) {
  SettingRecord record;
  ReadText(instance, OLESTR("SettingName"), record.SettingName);
  ReadText(instance, OLESTR("Description"), record.Description);
  ReadText(instance, OLESTR("ResponsibleObject"), record.ResponsibleObject);

  const OLECHAR* valueProperty = OLESTR("CIMTYPE");
  winport::ScopedVariant cimType;
  if (GetAs(instance, OLESTR("CIMTYPE"), VT_I4, cimType)) {
    record.CimType = static_cast<ULONG>(cimType.Get().lVal);
    if (const OLECHAR* property = ValuePropertyOf(record.CimType)) valueProperty = property;
  }
  winport::ScopedVariant value;
  if (SUCCEEDED(instance.Get(valueProperty, 0, value.Receive(), nullptr, nullptr)))
    record.Value = std::move(value);
  return record;
}

}  // namespace quillmere
