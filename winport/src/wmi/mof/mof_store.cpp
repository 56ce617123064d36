#include "mof_store.h"

#include <utility>

#include <winport/scoped_bstr.h>
#include <winport/scoped_variant.h>

#include "mof_value_check.h"
#include "mof_variant.h"

namespace winport::wmi {
namespace {

#define MOF_RETURN_IF_FAILED(expression) \
  do {                                   \
    const HRESULT hr_ = (expression);    \
    if (FAILED(hr_)) return hr_;         \
  } while (0)

HRESULT MakeBstr(const WideString& text, ScopedBstr* out) {
  out->Reset(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  if (out->Get() == nullptr) return WBEM_E_OUT_OF_MEMORY;
  return S_OK;
}

// The value checked against `type`, as the VARIANT stored for it.
HRESULT TypedVariant(const MofValue& value, CIMTYPE type, ScopedVariant* out) {
  if (auto error = CheckMofValue(value, type)) return error->code;
  return MofValueToVariant(value, type, out);
}

HRESULT PutQualifiers(IWbemQualifierSet* set, const MofQualifiers& qualifiers) {
  for (const MofQualifier& qualifier : qualifiers) {
    CIMTYPE type = 0;
    MOF_RETURN_IF_FAILED(MofQualifierType(qualifier.value, &type));
    ScopedVariant value;
    MOF_RETURN_IF_FAILED(TypedVariant(qualifier.value, type, &value));
    MOF_RETURN_IF_FAILED(set->Put(qualifier.name.c_str(), value.AsInput(), qualifier.flavor));
  }
  return S_OK;
}

HRESULT PutObjectQualifiers(IWbemClassObject* object, const MofQualifiers& qualifiers) {
  if (qualifiers.empty()) return S_OK;
  ComPtr<IWbemQualifierSet> set;
  MOF_RETURN_IF_FAILED(object->GetQualifierSet(set.GetAddressOf()));
  return PutQualifiers(set.Get(), qualifiers);
}

HRESULT PutPropertyQualifiers(IWbemClassObject* object, const WideString& property,
                              const MofQualifiers& qualifiers) {
  if (qualifiers.empty()) return S_OK;
  ComPtr<IWbemQualifierSet> set;
  MOF_RETURN_IF_FAILED(object->GetPropertyQualifierSet(property.c_str(), set.GetAddressOf()));
  return PutQualifiers(set.Get(), qualifiers);
}

// A class or instance that is not there is reported as the kind of name that was wrong.
HRESULT GetNamedClass(IWbemServices* services, const WideString& name, HRESULT when_missing,
                      ComPtr<IWbemClassObject>* object) {
  ScopedBstr path;
  MOF_RETURN_IF_FAILED(MakeBstr(name, &path));
  const HRESULT hr = services->GetObject(path.Get(), 0, nullptr, object->GetAddressOf(), nullptr);
  if (hr == static_cast<HRESULT>(WBEM_E_NOT_FOUND)) return when_missing;
  return hr;
}

}  // namespace

WideString ResolveMofNamespace(WideView current, WideView path) {
  if (path.starts_with(u"\\\\")) return WideString(path);
  WideString resolved(current);
  resolved += u'\\';
  resolved += path;
  return resolved;
}

MofStore::MofStore(ComPtr<IWbemLocator> locator, WideString default_namespace, LONG class_flags,
                   LONG instance_flags)
    : locator_(std::move(locator)),
      namespace_(std::move(default_namespace)),
      class_flags_(class_flags),
      instance_flags_(instance_flags) {}

HRESULT MofStore::Store(const MofDocument& document, MofStoreFailure* failure) {
  LONG number = 0;
  for (const MofStatement& statement : document.statements) {
    if (const auto* pragma = std::get_if<MofNamespacePragma>(&statement)) {
      namespace_ = ResolveMofNamespace(namespace_, pragma->path);
      services_.Reset();
      continue;
    }
    ++number;
    HRESULT hr = S_OK;
    int first_line = 0;
    int last_line = 0;
    if (const auto* declared = std::get_if<MofClass>(&statement)) {
      hr = StoreClass(*declared);
      first_line = declared->where.line;
      last_line = declared->last_line;
    } else {
      const auto& instance = std::get<MofInstance>(statement);
      hr = StoreInstance(instance);
      first_line = instance.where.line;
      last_line = instance.last_line;
    }
    if (FAILED(hr)) {
      *failure = MofStoreFailure{hr, number, first_line, last_line};
      return hr;
    }
  }
  return S_OK;
}

HRESULT MofStore::Connect() {
  if (services_) return S_OK;
  ScopedBstr path;
  MOF_RETURN_IF_FAILED(MakeBstr(namespace_, &path));
  return locator_->ConnectServer(path.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                 services_.ReleaseAndGetAddressOf());
}

HRESULT MofStore::NewClassObject(const MofClass& declared, ComPtr<IWbemClassObject>* object) {
  if (declared.superclass.empty()) {
    return services_->GetObject(nullptr, 0, nullptr, object->GetAddressOf(), nullptr);
  }
  ComPtr<IWbemClassObject> superclass;
  MOF_RETURN_IF_FAILED(
      GetNamedClass(services_.Get(), declared.superclass, WBEM_E_INVALID_SUPERCLASS, &superclass));
  return superclass->SpawnDerivedClass(0, object->GetAddressOf());
}

HRESULT MofStore::StoreClass(const MofClass& declared) {
  MOF_RETURN_IF_FAILED(Connect());
  ComPtr<IWbemClassObject> object;
  MOF_RETURN_IF_FAILED(NewClassObject(declared, &object));
  MofValue name_text;
  name_text.kind = MofValueKind::kString;
  name_text.text = declared.name;
  ScopedVariant name;
  MOF_RETURN_IF_FAILED(MofValueToVariant(name_text, CIM_STRING, &name));
  MOF_RETURN_IF_FAILED(object->Put(u"__CLASS", 0, name.AsInput(), 0));
  MOF_RETURN_IF_FAILED(PutObjectQualifiers(object.Get(), declared.qualifiers));
  for (const MofProperty& property : declared.properties) {
    ScopedVariant value;
    MOF_RETURN_IF_FAILED(
        MofValueToVariant(property.default_value.value_or(MofValue{}), property.type, &value));
    MOF_RETURN_IF_FAILED(object->Put(property.name.c_str(), 0, value.AsInput(), property.type));
    MOF_RETURN_IF_FAILED(PutPropertyQualifiers(object.Get(), property.name, property.qualifiers));
  }
  return services_->PutClass(object.Get(), class_flags_, nullptr, nullptr);
}

HRESULT MofStore::StoreInstance(const MofInstance& declared) {
  MOF_RETURN_IF_FAILED(Connect());
  ComPtr<IWbemClassObject> class_object;
  MOF_RETURN_IF_FAILED(
      GetNamedClass(services_.Get(), declared.class_name, WBEM_E_INVALID_CLASS, &class_object));
  ComPtr<IWbemClassObject> instance;
  MOF_RETURN_IF_FAILED(class_object->SpawnInstance(0, instance.GetAddressOf()));
  MOF_RETURN_IF_FAILED(PutObjectQualifiers(instance.Get(), declared.qualifiers));
  for (const MofPropertyValue& assigned : declared.values) {
    CIMTYPE type = 0;
    MOF_RETURN_IF_FAILED(class_object->Get(assigned.name.c_str(), 0, nullptr, &type, nullptr));
    ScopedVariant value;
    MOF_RETURN_IF_FAILED(TypedVariant(assigned.value, type, &value));
    MOF_RETURN_IF_FAILED(instance->Put(assigned.name.c_str(), 0, value.AsInput(), 0));
    MOF_RETURN_IF_FAILED(PutPropertyQualifiers(instance.Get(), assigned.name, assigned.qualifiers));
  }
  return services_->PutInstance(instance.Get(), instance_flags_, nullptr, nullptr);
}

}  // namespace winport::wmi
