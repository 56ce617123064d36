#include "settings/setting.h"

#include <winport/scoped_safe_array.h>
#include <winport/scoped_variant.h>

#include "documents/class_sheet.h"
#include "errors/com_error.h"
#include "errors/entry.h"
#include "errors/failure_helpers.h"
#include "errors/new_bstr.h"
#include "metadata_store.h"
#include "read_setting_object.h"

namespace quillmere {
namespace {

// Instances are fetched one at a time, each within this wait.
constexpr LONG kFetchTimeoutMs = 2000;

constexpr const OLECHAR* kClassOrder[] = {
    OLESTR("SettingName"),       OLESTR("StringValue"), OLESTR("IntVal"),     OLESTR("CIMTYPE"),
    OLESTR("ResponsibleObject"), OLESTR("RealVal"),     OLESTR("Description")};

void SetProxySecurity(IWbemServices* services) {
  CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

// Stores a new namespace instance (whatever storing answers) and opens the namespace.
HRESULT CreateSettingsNamespace(IWbemServices& root, winport::ComPtr<IWbemServices>& settings) {
  winport::ComPtr<IWbemClassObject> instance;
  const HRESULT hr = SpawnNamespaceInstance(root, instance);
  if (instance == nullptr) return hr;
  root.PutInstance(instance.Get(), 0, nullptr, nullptr);
  return OpenSettingsNamespace(&root, settings);
}

HRESULT PutText(IWbemClassObject& instance, const OLECHAR* property,
                const winport::ScopedBstr& text) {
  VARIANT value;  // borrows text
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = text.Get();
  return instance.Put(property, 0, &value, CIM_STRING);
}

// Where a value is stored, chosen by its variant type: integers and booleans (as 1 or 0)
// in IntVal, reals in RealVal, texts in StringValue; any other type is not stored and
// leaves CIMTYPE empty.
struct StoredValue {
  const OLECHAR* property = nullptr;
  winport::ScopedVariant value;
  CIMTYPE cimType = 0;
};

StoredValue StoredValueOf(const winport::ScopedVariant& value) {
  StoredValue stored;
  switch (value.Type()) {
    case VT_I2:
    case VT_I4:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
      stored = {OLESTR("IntVal"), {}, CIM_SINT32};
      break;
    case VT_R4:
    case VT_R8:
    case VT_DECIMAL:
      stored = {OLESTR("RealVal"), {}, CIM_REAL32};
      break;
    case VT_BSTR:
    case VT_LPSTR:
    case VT_LPWSTR:
      stored = {OLESTR("StringValue"), {}, CIM_STRING};
      break;
    case VT_BOOL:
      return {OLESTR("IntVal"),
              winport::ScopedVariant(LONG{value.Get().boolVal == VARIANT_TRUE ? 1 : 0}),
              CIM_SINT32};
    default:
      return stored;
  }
  CheckHr(stored.value.Copy(value.Get()));
  return stored;
}

// The CIMTYPE stored beside a value: its code, or null when the value is not stored.
winport::ScopedVariant CimTypeOf(const StoredValue& stored) {
  winport::ScopedVariant cimType(static_cast<LONG>(stored.cimType));
  if (stored.property == nullptr) cimType.Receive()->vt = VT_NULL;
  return cimType;
}

// The next instance of the enumeration, or null at its end; a failure raises.
winport::ComPtr<IWbemClassObject> NextInstance(IEnumWbemClassObject& instances) {
  winport::ComPtr<IWbemClassObject> instance;
  ULONG returned = 0;
  CheckHr(instances.Next(kFetchTimeoutMs, 1, instance.GetAddressOf(), &returned));
  if (returned == 0) instance.Reset();
  return instance;
}

// The columns of the sheet: the instance's own property names.
void WriteVariables(CClassSheet& sheet, IWbemClassObject& instance) {
  SAFEARRAY* received = nullptr;
  CheckHr(instance.GetNames(nullptr, WBEM_FLAG_LOCAL_ONLY, nullptr, &received));
  const winport::ScopedSafeArray names(received);
  LONG lower = 0;
  LONG upper = -1;
  SafeArrayGetLBound(names.Get(), 1, &lower);
  SafeArrayGetUBound(names.Get(), 1, &upper);
  for (LONG index = lower; index <= upper; ++index) {
    winport::ScopedBstr name;
    if (FAILED(SafeArrayGetElement(names.Get(), &index, name.Receive()))) continue;
    sheet.WriteVariable(winport::BstrView(name.Get()));
  }
  sheet.EndVariables();
}

// One row: the first property's name, then every own property's value as text.
void WriteRow(CClassSheet& sheet, IWbemClassObject& instance) {
  CheckHr(instance.BeginEnumeration(WBEM_FLAG_LOCAL_ONLY));
  bool first = true;
  for (;;) {
    winport::ScopedBstr name;
    winport::ScopedVariant value;
    CIMTYPE type = 0;
    if (CheckHr(instance.Next(0, name.Receive(), value.Receive(), &type, nullptr)) ==
        WBEM_S_NO_MORE_DATA)
      break;
    if (first) {
      first = false;
      sheet.BeginRow(winport::BstrView(name.Get()));
    }
    // A value without a text form (null, an array) gives an empty cell.
    value.ChangeType(VT_BSTR);
    sheet.WriteCell(value.Type() == VT_BSTR ? winport::BstrView(value.Get().bstrVal)
                                            : winport::WideView());
  }
  sheet.EndRow();
}

}  // namespace

IWbemServices& CSetting::Namespace() const {
  if (namespace_ == nullptr)
    RaiseComErrorWithoutInfo(FAILED(connectResult_) ? connectResult_ : E_UNEXPECTED);
  return *namespace_.Get();
}

HRESULT CSetting::Connect() {
  connectResult_ = RunEntry(sink_, OLESTR("CSetting::Connect"), [&] {
    winport::ComPtr<IWbemLocator> locator;
    CheckHr(CreateLocator(locator));
    winport::ComPtr<IWbemServices> root;
    CheckHr(ConnectToRoot(*locator.Get(), root));
    SetProxySecurity(root.Get());
    namespace_.Reset();
    if (FAILED(OpenSettingsNamespace(root.Get(), namespace_))) {
      CheckHr(CreateSettingsNamespace(*root.Get(), namespace_));
      CheckHr(CreateMetadataClass(namespace_.Get(), kClassOrder));
    }
    SetProxySecurity(namespace_.Get());
  });
  return connectResult_;
}

HRESULT CSetting::ReadMetadata(winport::WideString& rows, ULONG& count) {
  count = 0;
  return RunEntry(sink_, OLESTR("CSetting::ReadMetadata"), [&] {
    winport::ComPtr<IEnumWbemClassObject> instances;
    CheckHr(Namespace().CreateInstanceEnum(NewBstr(kMetadataClass).Get(), 0, nullptr,
                                           instances.GetAddressOf()));
    winport::WideString collected;
    while (const winport::ComPtr<IWbemClassObject> instance = NextInstance(*instances.Get())) {
      const winport::WideString row = FormatSettingRow(ReadSettingObject(*instance.Get()));
      // A row that cannot be appended is dropped; the instance still counts.
      if (!row.empty()) RunIgnoringFailure([&] { collected += row; });
      ++count;
    }
    rows = std::move(collected);
  });
}

HRESULT CSetting::EnumerateWbemClassObject(const OLECHAR* className, LONG variableCount,
                                           winport::WideString& document) {
  return RunEntry(sink_, OLESTR("CSetting::EnumerateWbemClassObject"), [&] {
    winport::WideString output;
    CClassSheet sheet(output, variableCount);
    CheckHr(Connect());
    winport::ComPtr<IEnumWbemClassObject> instances;
    CheckHr(Namespace().CreateInstanceEnum(NewBstr(className).Get(), 0, nullptr,
                                           instances.GetAddressOf()));
    while (const winport::ComPtr<IWbemClassObject> instance = NextInstance(*instances.Get())) {
      if (!sheet.RowBegun()) WriteVariables(sheet, *instance.Get());
      WriteRow(sheet, *instance.Get());
    }
    sheet.Finish();
    document = std::move(output);
  });
}

HRESULT CSetting::GetSetting(SettingRecord& record) {
  bool found = false;
  RunIgnoringFailure([&] {
    winport::ComPtr<IWbemClassObject> instance;
    winport::ComPtr<IWbemCallResult> callResult;
    Namespace().GetObject(ObjectPathOf(winport::BstrView(record.SettingName.Get())).Get(), 0,
                          nullptr, instance.GetAddressOf(), callResult.GetAddressOf());
    if (instance == nullptr) return;
    record = ReadSettingObject(*instance.Get());
    found = true;
  });
  return found ? S_OK : E_FAIL;
}

HRESULT CSetting::PutSetting(const SettingRecord& record) {
  HRESULT hr = E_FAIL;
  RunIgnoringFailure([&] {
    winport::ComPtr<IWbemClassObject> instance;
    winport::ComPtr<IWbemCallResult> callResult;
    hr = Namespace().GetObject(ObjectPathOf(winport::BstrView(record.SettingName.Get())).Get(), 0,
                               nullptr, instance.GetAddressOf(), callResult.GetAddressOf());
    if (instance == nullptr) return;
    hr = PutText(*instance.Get(), OLESTR("SettingName"), record.SettingName);
    hr = PutText(*instance.Get(), OLESTR("ResponsibleObject"), record.ResponsibleObject);
    const StoredValue stored = StoredValueOf(record.Value);
    if (stored.property != nullptr)
      hr = instance->Put(stored.property, 0, stored.value.AsInput(), stored.cimType);
    hr = instance->Put(OLESTR("CIMTYPE"), 0, CimTypeOf(stored).AsInput(), CIM_SINT32);
    hr = Namespace().PutInstance(instance.Get(), 0, nullptr, nullptr);
  });
  return hr;
}

HRESULT CSetting::ModifySetting(winport::ScopedBstr name, winport::ScopedBstr valueText) {
  HRESULT hr = E_FAIL;
  RunIgnoringFailure([&] {
    SettingRecord record;
    record.SettingName = std::move(name);
    GetSetting(record);
    record.SetValueFromText(valueText.Get());
    hr = PutSetting(record);
  });
  return hr;
}

}  // namespace quillmere
