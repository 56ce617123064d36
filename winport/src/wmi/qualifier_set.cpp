#include "qualifier_set.h"

#include "common/injected_fault.h"
#include "guarded_call.h"
#include "name_array.h"

namespace winport::wmi {
namespace {

bool StorableQualifier(VARTYPE vt) {
  switch (vt & ~VT_ARRAY) {
    case VT_I2:
    case VT_I4:
    case VT_R8:
    case VT_BOOL:
    case VT_BSTR:
      return true;
    default:
      return false;
  }
}

class QualifierSet final : public ComObject<IWbemQualifierSet> {
 public:
  QualifierSet(ComPtr<ClassObject> owner, WideString property)
      : owner_(std::move(owner)), property_(std::move(property)) {}

  HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG, VARIANT* value, LONG* flavor) override {
    WINPORT_FAIL_HRESULT("IWbemQualifierSet::Get");
    if (name == nullptr) return WBEM_E_INVALID_PARAMETER;
    const Qualifiers* qualifiers = owner_->QualifiersOf(property_);
    const Qualifier* qualifier = qualifiers ? qualifiers->Find(name) : nullptr;
    if (qualifier == nullptr) return WBEM_E_NOT_FOUND;
    if (value != nullptr && FAILED(qualifier->value.CopyTo(value))) return WBEM_E_OUT_OF_MEMORY;
    if (flavor != nullptr) *flavor = qualifier->flavor;
    return WBEM_S_NO_ERROR;
  }
  HRESULT STDMETHODCALLTYPE Put(LPCWSTR name, VARIANT* value, LONG flavor) override {
    WINPORT_FAIL_HRESULT("IWbemQualifierSet::Put");
    if (name == nullptr || *name == 0 || value == nullptr) return WBEM_E_INVALID_PARAMETER;
    if (!StorableQualifier(value->vt)) return WBEM_E_INVALID_QUALIFIER_TYPE;
    return GuardedCall([&]() -> HRESULT {
      Qualifiers* qualifiers = owner_->MutableQualifiersOf(property_);
      if (qualifiers == nullptr) return WBEM_E_NOT_FOUND;
      qualifiers->Put(name, Value(*value), flavor);
      return WBEM_S_NO_ERROR;
    });
  }
  HRESULT STDMETHODCALLTYPE Delete(LPCWSTR name) override {
    WINPORT_FAIL_HRESULT("IWbemQualifierSet::Delete");
    if (name == nullptr) return WBEM_E_INVALID_PARAMETER;
    return GuardedCall([&]() -> HRESULT {
      Qualifiers* qualifiers = owner_->MutableQualifiersOf(property_);
      return qualifiers && qualifiers->Delete(name) ? WBEM_S_NO_ERROR : WBEM_E_NOT_FOUND;
    });
  }
  HRESULT STDMETHODCALLTYPE GetNames(LONG, SAFEARRAY** names) override {
    WINPORT_FAIL_HRESULT("IWbemQualifierSet::GetNames");
    if (names == nullptr) return WBEM_E_INVALID_PARAMETER;
    return GuardedCall([&]() -> HRESULT {
      *names = MakeNameArray(Names());
      return WBEM_S_NO_ERROR;
    });
  }
  HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG) override {
    return GuardedCall([&]() -> HRESULT {
      enumeration_ = Names();
      next_ = 0;
      return WBEM_S_NO_ERROR;
    });
  }
  HRESULT STDMETHODCALLTYPE Next(LONG, BSTR* name, VARIANT* value, LONG* flavor) override {
    if (!enumeration_) return WBEM_E_UNEXPECTED;
    if (next_ == enumeration_->size()) return WBEM_S_NO_MORE_DATA;
    return GuardedCall([&]() -> HRESULT {
      const WideString& current = (*enumeration_)[next_];
      const HRESULT hr = Get(current.c_str(), 0, value, flavor);
      if (FAILED(hr)) return hr;
      if (name != nullptr) *name = MakeBstr(current);
      ++next_;
      return WBEM_S_NO_ERROR;
    });
  }
  HRESULT STDMETHODCALLTYPE EndEnumeration() override {
    enumeration_.reset();
    return WBEM_S_NO_ERROR;
  }

 private:
  std::vector<WideString> Names() const {
    std::vector<WideString> names;
    if (const Qualifiers* qualifiers = owner_->QualifiersOf(property_)) {
      for (const Qualifier& qualifier : qualifiers->Items())
        names.push_back(qualifier.name);
    }
    return names;
  }

  ComPtr<ClassObject> owner_;
  WideString property_;
  std::optional<std::vector<WideString>> enumeration_;
  std::size_t next_ = 0;
};

}  // namespace

ComPtr<IWbemQualifierSet> MakeQualifierSet(ComPtr<ClassObject> owner, WideString property) {
  return ComPtr<IWbemQualifierSet>(new QualifierSet(std::move(owner), std::move(property)));
}

}  // namespace winport::wmi
