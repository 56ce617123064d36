#include "class_object.h"

#include "common/injected_fault.h"
#include "guarded_call.h"
#include "name_array.h"
#include "object_path.h"
#include "qualifier_set.h"
#include "wmi/cim_types.h"

namespace winport::wmi {
namespace {

constexpr LONG kOriginFlags = WBEM_MASK_CONDITION_ORIGIN;
constexpr LONG kEnumerationFlags =
    WBEM_MASK_CONDITION_ORIGIN | WBEM_FLAG_KEYS_ONLY | WBEM_FLAG_REFS_ONLY;

// In the order WMI lists them.
constexpr const OLECHAR* kSystemProperties[] = {OLESTR("__GENUS"),      OLESTR("__CLASS"),
                                                OLESTR("__SUPERCLASS"), OLESTR("__DYNASTY"),
                                                OLESTR("__RELPATH"),    OLESTR("__PROPERTY_COUNT"),
                                                OLESTR("__DERIVATION"), OLESTR("__SERVER"),
                                                OLESTR("__NAMESPACE"),  OLESTR("__PATH")};

bool IsSystemName(WideView name) {
  return name.size() >= 2 && name[0] == u'_' && name[1] == u'_';
}

Value TextOrNull(WideView text) {
  return text.empty() ? Value() : Value::Text(text);
}

Value Integer(LONG number) {
  VARIANT var;
  VariantInit(&var);
  var.vt = VT_I4;
  var.lVal = number;
  return Value::Adopt(var);
}

bool QualifierMatches(const Qualifiers& qualifiers, WideView name, LONG condition,
                      const VARIANT* wanted) {
  const Qualifier* qualifier = qualifiers.Find(name);
  switch (condition) {
    case WBEM_FLAG_ONLY_IF_TRUE:
      return qualifier != nullptr;
    case WBEM_FLAG_ONLY_IF_FALSE:
      return qualifier == nullptr;
    case WBEM_FLAG_ONLY_IF_IDENTICAL: {
      if (qualifier == nullptr || wanted == nullptr) return false;
      Value have;
      Value want;
      if (FAILED(CoerceToCimType(qualifier->value, CIM_STRING, &have)) ||
          FAILED(CoerceToCimType(Value(*wanted), CIM_STRING, &want)))
        return false;
      return have.TextView() == want.TextView();
    }
    default:
      return true;
  }
}

}  // namespace

ClassObject::ClassObject(std::shared_ptr<const ClassDefinition> definition, bool instance,
                         InstanceValues values, ObjectLocation location)
    : definition_(std::move(definition)),
      instance_(instance),
      values_(std::move(values)),
      location_(std::move(location)) {}

ComPtr<ClassObject> ClassObject::NewClass() {
  return OfClass(std::make_shared<ClassDefinition>(), ObjectLocation());
}

ComPtr<ClassObject> ClassObject::OfClass(std::shared_ptr<const ClassDefinition> definition,
                                         ObjectLocation location) {
  ComPtr<ClassObject> object(
      new ClassObject(std::move(definition), false, {}, std::move(location)));
  return object;
}

ComPtr<ClassObject> ClassObject::OfInstance(std::shared_ptr<const ClassDefinition> definition,
                                            InstanceValues values, ObjectLocation location) {
  values.resize(definition->properties.size());
  ComPtr<ClassObject> object(
      new ClassObject(std::move(definition), true, std::move(values), std::move(location)));
  return object;
}

ClassObject* ClassObject::From(IWbemClassObject* object) {
  return dynamic_cast<ClassObject*>(object);
}

std::vector<Value> ClassObject::EffectiveValues() const {
  std::vector<Value> values;
  values.reserve(definition_->properties.size());
  for (std::size_t i = 0; i < definition_->properties.size(); ++i) {
    const bool set = instance_ && values_[i].has_value();
    values.push_back(set ? *values_[i] : definition_->properties[i].default_value);
  }
  return values;
}

ClassDefinition& ClassObject::MutableDefinition() {
  if (definition_.use_count() != 1) definition_ = std::make_shared<ClassDefinition>(*definition_);
  return const_cast<ClassDefinition&>(*definition_);
}

const Qualifiers* ClassObject::QualifiersOf(WideView property) const {
  if (property.empty()) return &definition_->qualifiers;
  const auto index = definition_->Find(property);
  return index ? &definition_->properties[*index].qualifiers : nullptr;
}

Qualifiers* ClassObject::MutableQualifiersOf(WideView property) {
  if (QualifiersOf(property) == nullptr) return nullptr;
  ClassDefinition& definition = MutableDefinition();
  if (property.empty()) return &definition.qualifiers;
  return &definition.properties[*definition.Find(property)].qualifiers;
}

std::optional<WideString> ClassObject::RelativePath() const {
  if (definition_->name.empty()) return std::nullopt;
  if (!instance_) return definition_->name;
  WideString keys;
  if (FAILED(InstanceKeyText(*definition_, EffectiveValues(), &keys))) return std::nullopt;
  return definition_->name + OLESTR(".") + keys;
}

bool ClassObject::SystemProperty(WideView name, Value* value, CIMTYPE* type) const {
  *type = CIM_STRING;
  // Every system name begins "__"; an ordinary property is not held up by the ten compares.
  if (!IsSystemName(name)) return false;
  const ClassDefinition& definition = *definition_;
  if (NamesEqual(name, OLESTR("__GENUS"))) {
    *type = CIM_SINT32;
    *value = Integer(instance_ ? WBEM_GENUS_INSTANCE : WBEM_GENUS_CLASS);
  } else if (NamesEqual(name, OLESTR("__CLASS"))) {
    *value = TextOrNull(definition.name);
  } else if (NamesEqual(name, OLESTR("__SUPERCLASS"))) {
    *value = TextOrNull(definition.Superclass());
  } else if (NamesEqual(name, OLESTR("__DYNASTY"))) {
    *value = TextOrNull(definition.derivation.empty() ? WideView(definition.name)
                                                      : WideView(definition.derivation.back()));
  } else if (NamesEqual(name, OLESTR("__RELPATH"))) {
    const auto relative = RelativePath();
    *value = relative ? Value::Text(*relative) : Value();
  } else if (NamesEqual(name, OLESTR("__PROPERTY_COUNT"))) {
    *type = CIM_SINT32;
    *value = Integer(static_cast<LONG>(definition.properties.size()));
  } else if (NamesEqual(name, OLESTR("__DERIVATION"))) {
    *type = CIM_STRING | CIM_FLAG_ARRAY;
    VARIANT var;
    VariantInit(&var);
    var.vt = VT_ARRAY | VT_BSTR;
    var.parray = MakeNameArray(definition.derivation);
    *value = Value::Adopt(var);
  } else if (NamesEqual(name, OLESTR("__SERVER"))) {
    *value = location_.namespace_path().empty() ? Value() : TextOrNull(location_.server());
  } else if (NamesEqual(name, OLESTR("__NAMESPACE"))) {
    *value = TextOrNull(location_.namespace_path());
  } else if (NamesEqual(name, OLESTR("__PATH"))) {
    const auto relative = RelativePath();
    const bool located = relative && !location_.namespace_path().empty();
    *value = located ? Value::Text(OLESTR("\\\\") + WideString(location_.server()) + OLESTR("\\") +
                                   WideString(location_.namespace_path()) + OLESTR(":") + *relative)
                     : Value();
  } else {
    return false;
  }
  return true;
}

HRESULT ClassObject::SelectNames(LONG flags, std::vector<WideString>* names) const {
  const LONG origin = flags & kOriginFlags;
  const bool keys_only = (flags & WBEM_FLAG_KEYS_ONLY) != 0;
  const bool refs_only = (flags & WBEM_FLAG_REFS_ONLY) != 0;
  if ((origin == 0 || origin == WBEM_FLAG_SYSTEM_ONLY) && !keys_only && !refs_only) {
    for (const OLECHAR* name : kSystemProperties)
      names->emplace_back(name);
  }
  if (origin == WBEM_FLAG_SYSTEM_ONLY) return S_OK;
  for (const PropertyDefinition& property : definition_->properties) {
    const bool local = NamesEqual(property.origin, definition_->name);
    if (origin == WBEM_FLAG_LOCAL_ONLY && !local) continue;
    if (origin == WBEM_FLAG_PROPAGATED_ONLY && local) continue;
    if (keys_only && !IsKeyQualifierSet(property.qualifiers)) continue;
    if (refs_only && property.type != CIM_REFERENCE) continue;
    names->push_back(property.name);
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ClassObject::GetQualifierSet(IWbemQualifierSet** set) {
  return GetPropertyQualifierSet(OLESTR(""), set);
}

HRESULT STDMETHODCALLTYPE ClassObject::GetPropertyQualifierSet(LPCWSTR property,
                                                               IWbemQualifierSet** set) {
  WINPORT_FAIL_HRESULT(property && *property ? "GetPropertyQualifierSet" : "GetQualifierSet");
  if (set == nullptr || property == nullptr) return WBEM_E_INVALID_PARAMETER;
  *set = nullptr;
  return GuardedCall([&]() -> HRESULT {
    const WideView name(property);
    if (IsSystemName(name)) return WBEM_E_SYSTEM_PROPERTY;
    if (QualifiersOf(name) == nullptr) return WBEM_E_NOT_FOUND;
    ComPtr<IWbemQualifierSet> made = MakeQualifierSet(ComPtr<ClassObject>(this), WideString(name));
    *set = made.Detach();
    return WBEM_S_NO_ERROR;
  });
}

HRESULT STDMETHODCALLTYPE ClassObject::Get(LPCWSTR name, LONG, VARIANT* value, CIMTYPE* type,
                                           LONG* flavor) {
  WINPORT_FAIL_HRESULT("Get");
  if (name == nullptr) return WBEM_E_INVALID_PARAMETER;
  return GuardedCall([&]() -> HRESULT {
    std::optional<Value> system;   // made only for a system name
    const Value* found = nullptr;  // copied once, straight into the caller's VARIANT
    CIMTYPE found_type = CIM_STRING;
    LONG found_flavor = WBEM_FLAVOR_ORIGIN_SYSTEM;
    if (IsSystemName(name) && SystemProperty(name, &system.emplace(), &found_type)) {
      found = &*system;
    } else {
      const auto index = definition_->Find(name);
      if (!index) return WBEM_E_NOT_FOUND;
      const PropertyDefinition& property = definition_->properties[*index];
      const bool set = instance_ && values_[*index].has_value();
      found = set ? &*values_[*index] : &property.default_value;
      found_type = property.type;
      // Worked out only when asked for: most callers want the value alone.
      if (flavor != nullptr)
        found_flavor = NamesEqual(property.origin, definition_->name)
                           ? WBEM_FLAVOR_ORIGIN_LOCAL
                           : WBEM_FLAVOR_ORIGIN_PROPAGATED;
    }
    if (value != nullptr && FAILED(found->CopyTo(value))) return WBEM_E_OUT_OF_MEMORY;
    if (type != nullptr) *type = found_type;
    if (flavor != nullptr) *flavor = found_flavor;
    return WBEM_S_NO_ERROR;
  });
}

HRESULT STDMETHODCALLTYPE ClassObject::Put(LPCWSTR name, LONG, VARIANT* value, CIMTYPE type) {
  WINPORT_FAIL_HRESULT("Put");
  if (name == nullptr || *name == 0) return WBEM_E_INVALID_PARAMETER;
  return GuardedCall([&]() -> HRESULT {
    const Value given = value ? Value(*value) : Value();
    return instance_ ? PutOnInstance(name, given, type) : PutOnClass(name, given, type);
  });
}

HRESULT ClassObject::PutOnClass(WideView name, const Value& value, CIMTYPE type) {
  if (NamesEqual(name, OLESTR("__CLASS"))) {
    if (value.Type() != VT_BSTR || value.TextView().empty()) return WBEM_E_TYPE_MISMATCH;
    ClassDefinition& definition = MutableDefinition();
    for (PropertyDefinition& property : definition.properties) {
      if (NamesEqual(property.origin, definition.name)) property.origin = value.TextView();
    }
    definition.name = value.TextView();
    return WBEM_S_NO_ERROR;
  }
  if (IsSystemName(name)) return WBEM_E_READ_ONLY;
  const auto index = definition_->Find(name);
  CIMTYPE declared = type;
  if (index && type == CIM_EMPTY) declared = definition_->properties[*index].type;
  if (declared == CIM_EMPTY) declared = CimTypeOf(value.Type());
  if (VarTypeOf(declared) == VT_EMPTY) return WBEM_E_INVALID_PROPERTY_TYPE;
  if (index && declared != definition_->properties[*index].type &&
      !NamesEqual(definition_->properties[*index].origin, definition_->name))
    return WBEM_E_TYPE_MISMATCH;
  Value coerced;
  const HRESULT hr = CoerceToCimType(value, declared, &coerced);
  if (FAILED(hr)) return hr;
  ClassDefinition& definition = MutableDefinition();
  if (!index) {
    definition.properties.push_back(
        PropertyDefinition{WideString(name), declared, Value(), {}, definition.name});
  }
  PropertyDefinition& property =
      definition.properties[index.value_or(definition.properties.size() - 1)];
  property.type = declared;
  property.default_value = std::move(coerced);
  return WBEM_S_NO_ERROR;
}

HRESULT ClassObject::PutOnInstance(WideView name, const Value& value, CIMTYPE type) {
  if (IsSystemName(name)) return WBEM_E_READ_ONLY;
  const auto index = definition_->Find(name);
  if (!index) return WBEM_E_NOT_FOUND;
  const CIMTYPE declared = definition_->properties[*index].type;
  if (type != CIM_EMPTY && type != declared) return WBEM_E_TYPE_MISMATCH;
  Value coerced;
  const HRESULT hr = CoerceToCimType(value, declared, &coerced);
  if (FAILED(hr)) return hr;
  values_[*index] = std::move(coerced);
  return WBEM_S_NO_ERROR;
}

HRESULT STDMETHODCALLTYPE ClassObject::Delete(LPCWSTR name) {
  WINPORT_FAIL_HRESULT("Delete");
  if (name == nullptr) return WBEM_E_INVALID_PARAMETER;
  if (IsSystemName(name)) return WBEM_E_SYSTEM_PROPERTY;
  const auto index = definition_->Find(name);
  if (!index) return WBEM_E_NOT_FOUND;
  if (instance_) {
    values_[*index].reset();
    return WBEM_S_RESET_TO_DEFAULT;
  }
  if (!NamesEqual(definition_->properties[*index].origin, definition_->name))
    return WBEM_E_PROPAGATED_PROPERTY;
  return GuardedCall([&]() -> HRESULT {
    ClassDefinition& definition = MutableDefinition();
    definition.properties.erase(definition.properties.begin() + static_cast<long>(*index));
    return WBEM_S_NO_ERROR;
  });
}

HRESULT STDMETHODCALLTYPE ClassObject::GetNames(LPCWSTR qualifier_name, LONG flags,
                                                VARIANT* qualifier_value, SAFEARRAY** names) {
  WINPORT_FAIL_HRESULT("GetNames");
  if (names == nullptr) return WBEM_E_INVALID_PARAMETER;
  *names = nullptr;
  const LONG condition = flags & WBEM_MASK_PRIMARY_CONDITION;
  if ((flags & ~(kEnumerationFlags | WBEM_MASK_PRIMARY_CONDITION)) != 0 ||
      (condition != WBEM_FLAG_ALWAYS && qualifier_name == nullptr))
    return WBEM_E_INVALID_PARAMETER;
  return GuardedCall([&]() -> HRESULT {
    std::vector<WideString> selected;
    SelectNames(flags, &selected);
    std::vector<WideString> matching;
    for (WideString& name : selected) {
      const Qualifiers* qualifiers = QualifiersOf(name);
      if (condition != WBEM_FLAG_ALWAYS &&
          (qualifiers == nullptr ||
           !QualifierMatches(*qualifiers, qualifier_name, condition, qualifier_value)))
        continue;
      matching.push_back(std::move(name));
    }
    *names = MakeNameArray(matching);
    return WBEM_S_NO_ERROR;
  });
}

HRESULT STDMETHODCALLTYPE ClassObject::BeginEnumeration(LONG flags) {
  WINPORT_FAIL_HRESULT("BeginEnumeration");
  if ((flags & ~kEnumerationFlags) != 0) return WBEM_E_INVALID_PARAMETER;
  return GuardedCall([&]() -> HRESULT {
    std::vector<WideString> names;
    SelectNames(flags, &names);
    enumeration_ = std::move(names);
    enumeration_next_ = 0;
    return WBEM_S_NO_ERROR;
  });
}

HRESULT STDMETHODCALLTYPE ClassObject::Next(LONG, BSTR* name, VARIANT* value, CIMTYPE* type,
                                            LONG* flavor) {
  WINPORT_FAIL_HRESULT("IWbemClassObject::Next");
  if (!enumeration_) return WBEM_E_UNEXPECTED;
  if (enumeration_next_ == enumeration_->size()) return WBEM_S_NO_MORE_DATA;
  return GuardedCall([&]() -> HRESULT {
    const WideString& current = (*enumeration_)[enumeration_next_];
    const HRESULT hr = Get(current.c_str(), 0, value, type, flavor);
    if (FAILED(hr)) return hr;
    if (name != nullptr) *name = MakeBstr(current);
    ++enumeration_next_;
    return WBEM_S_NO_ERROR;
  });
}

HRESULT STDMETHODCALLTYPE ClassObject::EndEnumeration() {
  enumeration_.reset();
  return WBEM_S_NO_ERROR;
}

HRESULT STDMETHODCALLTYPE ClassObject::Clone(IWbemClassObject** copy) {
  WINPORT_FAIL_HRESULT("Clone");
  if (copy == nullptr) return WBEM_E_INVALID_PARAMETER;
  *copy = nullptr;
  return GuardedCall([&]() -> HRESULT {
    ComPtr<ClassObject> clone(new ClassObject(definition_, instance_, values_, location_));
    *copy = clone.Detach();
    return WBEM_S_NO_ERROR;
  });
}

HRESULT STDMETHODCALLTYPE ClassObject::GetObjectText(LONG, BSTR* text) {
  WINPORT_FAIL_HRESULT("GetObjectText");
  if (text == nullptr) return WBEM_E_INVALID_PARAMETER;
  *text = nullptr;
  return GuardedCall([&]() -> HRESULT {
    *text = MakeBstr(ObjectText(*this));
    return WBEM_S_NO_ERROR;
  });
}

HRESULT STDMETHODCALLTYPE ClassObject::SpawnDerivedClass(LONG, IWbemClassObject** derived) {
  WINPORT_FAIL_HRESULT("SpawnDerivedClass");
  if (derived == nullptr) return WBEM_E_INVALID_PARAMETER;
  *derived = nullptr;
  if (instance_) return WBEM_E_ILLEGAL_OPERATION;
  if (definition_->name.empty()) return WBEM_E_INCOMPLETE_CLASS;
  return GuardedCall([&]() -> HRESULT {
    auto definition = std::make_shared<ClassDefinition>();
    definition->derivation.push_back(definition_->name);
    definition->derivation.insert(definition->derivation.end(), definition_->derivation.begin(),
                                  definition_->derivation.end());
    for (const Qualifier& qualifier : definition_->qualifiers.Items()) {
      if (qualifier.flavor & WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS)
        definition->qualifiers.Put(qualifier.name, qualifier.value,
                                   qualifier.flavor | WBEM_FLAVOR_ORIGIN_PROPAGATED);
    }
    definition->properties = definition_->properties;
    *derived = OfClass(std::move(definition), location_).Detach();
    return WBEM_S_NO_ERROR;
  });
}

HRESULT STDMETHODCALLTYPE ClassObject::SpawnInstance(LONG, IWbemClassObject** instance) {
  WINPORT_FAIL_HRESULT("SpawnInstance");
  if (instance == nullptr) return WBEM_E_INVALID_PARAMETER;
  *instance = nullptr;
  if (definition_->name.empty()) return WBEM_E_INCOMPLETE_CLASS;
  return GuardedCall([&]() -> HRESULT {
    *instance = OfInstance(definition_, {}, location_).Detach();
    return WBEM_S_NO_ERROR;
  });
}

HRESULT STDMETHODCALLTYPE ClassObject::CompareTo(LONG, IWbemClassObject*) {
  return WBEM_E_NOT_SUPPORTED;
}

HRESULT STDMETHODCALLTYPE ClassObject::GetPropertyOrigin(LPCWSTR name, BSTR* class_name) {
  if (name == nullptr || class_name == nullptr) return WBEM_E_INVALID_PARAMETER;
  *class_name = nullptr;
  const auto index = definition_->Find(name);
  if (!index) return WBEM_E_NOT_FOUND;
  return GuardedCall([&]() -> HRESULT {
    *class_name = MakeBstr(definition_->properties[*index].origin);
    return WBEM_S_NO_ERROR;
  });
}

HRESULT STDMETHODCALLTYPE ClassObject::InheritsFrom(LPCWSTR ancestor) {
  if (ancestor == nullptr) return WBEM_E_INVALID_PARAMETER;
  return definition_->InheritsFrom(ancestor) ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
}

// Classes here have no methods.
HRESULT STDMETHODCALLTYPE ClassObject::GetMethod(LPCWSTR, LONG, IWbemClassObject**,
                                                 IWbemClassObject**) {
  return WBEM_E_NOT_FOUND;
}
HRESULT STDMETHODCALLTYPE ClassObject::PutMethod(LPCWSTR, LONG, IWbemClassObject*,
                                                 IWbemClassObject*) {
  return WBEM_E_NOT_SUPPORTED;
}
HRESULT STDMETHODCALLTYPE ClassObject::DeleteMethod(LPCWSTR) {
  return WBEM_E_NOT_FOUND;
}
HRESULT STDMETHODCALLTYPE ClassObject::BeginMethodEnumeration(LONG) {
  return WBEM_S_NO_ERROR;
}
HRESULT STDMETHODCALLTYPE ClassObject::NextMethod(LONG, BSTR*, IWbemClassObject**,
                                                  IWbemClassObject**) {
  return WBEM_S_NO_MORE_DATA;
}
HRESULT STDMETHODCALLTYPE ClassObject::EndMethodEnumeration() {
  return WBEM_S_NO_ERROR;
}
HRESULT STDMETHODCALLTYPE ClassObject::GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) {
  return WBEM_E_NOT_FOUND;
}
HRESULT STDMETHODCALLTYPE ClassObject::GetMethodOrigin(LPCWSTR, BSTR*) {
  return WBEM_E_NOT_FOUND;
}

}  // namespace winport::wmi
