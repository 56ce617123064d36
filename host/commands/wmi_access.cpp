#include "host/commands/wmi_access.h"

#include <winport/scoped_safe_array.h>
#include <winport/scoped_variant.h>
#include <winport/wide.h>

#include "host/commands/command_support.h"
#include "host/common/hresult_text.h"

namespace quillmere::host {
namespace {

struct KnownStatus {
  HRESULT code;
  const char* text;
};

// The statuses a person meets with these commands; others are shown by number only.
constexpr KnownStatus kKnownStatuses[] = {
    {static_cast<HRESULT>(WBEM_E_NOT_FOUND), "not found"},
    {static_cast<HRESULT>(WBEM_E_INVALID_CLASS), "no such class"},
    {static_cast<HRESULT>(WBEM_E_INVALID_SUPERCLASS), "no such superclass"},
    {static_cast<HRESULT>(WBEM_E_INVALID_NAMESPACE), "no such namespace"},
    {static_cast<HRESULT>(WBEM_E_INVALID_OBJECT_PATH), "malformed object path"},
    {static_cast<HRESULT>(WBEM_E_INVALID_QUERY), "malformed or unsupported query"},
    {static_cast<HRESULT>(WBEM_E_INVALID_QUERY_TYPE), "unsupported query language"},
    {static_cast<HRESULT>(WBEM_E_TYPE_MISMATCH), "value does not fit the property's type"},
    {static_cast<HRESULT>(WBEM_E_INVALID_PARAMETER), "invalid parameter"},
    {static_cast<HRESULT>(WBEM_E_ALREADY_EXISTS), "already exists"},
    {static_cast<HRESULT>(WBEM_E_READ_ONLY), "read-only property"},
    {static_cast<HRESULT>(WBEM_E_INVALID_OPERATION), "not allowed on this object"},
    {static_cast<HRESULT>(WBEM_E_CLASS_HAS_INSTANCES), "the class has instances"},
    {static_cast<HRESULT>(WBEM_E_CLASS_HAS_CHILDREN), "the class has derived classes"},
    {static_cast<HRESULT>(WBEM_E_NOT_SUPPORTED), "not supported"},
};

}  // namespace

std::string WbemErrorText(HRESULT hr) {
  const std::string number = HresultText(hr);
  for (const KnownStatus& known : kKnownStatuses)
    if (known.code == hr) return std::string(known.text) + " (" + number + ")";
  return std::string("failed with ") + number;
}

void CheckWbem(HRESULT hr, std::string_view what) {
  if (FAILED(hr)) throw CommandFailure(std::string(what) + ": " + WbemErrorText(hr));
}

WmiConnection::WmiConnection(std::string_view wmiNamespace) {
  CheckWbem(com_.Result(), "COM");
  winport::ComPtr<IWbemLocator> locator;
  CheckWbem(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                             reinterpret_cast<void**>(locator.GetAddressOf())),
            "WMI locator");
  const winport::ScopedBstr path = ScopedBstrOf(wmiNamespace);
  CheckWbem(locator->ConnectServer(path.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                   services_.GetAddressOf()),
            wmiNamespace);
}

std::vector<winport::ComPtr<IWbemClassObject>> Drain(IEnumWbemClassObject* objects) {
  std::vector<winport::ComPtr<IWbemClassObject>> all;
  for (;;) {
    winport::ComPtr<IWbemClassObject> object;
    ULONG fetched = 0;
    CheckWbem(objects->Next(static_cast<LONG>(WBEM_INFINITE), 1, object.GetAddressOf(), &fetched),
              "reading the results");
    if (fetched == 0) return all;
    all.push_back(std::move(object));
  }
}

std::string ValueText(const VARIANT& value) {
  if (value.vt == VT_NULL || value.vt == VT_EMPTY) return {};
  if (value.vt == VT_BOOL) return value.boolVal == VARIANT_FALSE ? "false" : "true";
  if ((value.vt & VT_ARRAY) != 0) {
    SAFEARRAY* array = value.parray;
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    std::string text = "{";
    for (LONG index = lower; index <= upper; ++index) {
      winport::ScopedVariant element;
      VARIANT* slot = element.Receive();
      slot->vt = static_cast<VARTYPE>(value.vt & ~VT_ARRAY);
      if (FAILED(SafeArrayGetElement(array, &index, &slot->llVal))) slot->vt = VT_EMPTY;
      text += (index == lower ? "" : ", ") + ValueText(element.Get());
    }
    return text + "}";
  }
  winport::ScopedVariant text;
  if (FAILED(VariantChangeType(text.Receive(), const_cast<VARIANT*>(&value), 0, VT_BSTR)))
    return "?";
  return Utf8Of(text.Get().bstrVal);
}

std::string PropertyText(IWbemClassObject* object, const OLECHAR* name) {
  winport::ScopedVariant value;
  if (FAILED(object->Get(name, 0, value.Receive(), nullptr, nullptr))) return {};
  return ValueText(value.Get());
}

std::vector<std::string> PropertyNames(IWbemClassObject* object, LONG flags,
                                       const OLECHAR* qualifier) {
  winport::ScopedSafeArray names;
  CheckWbem(object->GetNames(qualifier, flags, nullptr, names.Receive()), "property names");
  std::vector<std::string> listed;
  if (auto lock = names.CreateLockScope<BSTR>(VT_BSTR))
    for (BSTR name : *lock)
      listed.push_back(Utf8Of(name));
  return listed;
}

}  // namespace quillmere::host
