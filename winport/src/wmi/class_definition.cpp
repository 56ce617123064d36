#include "class_definition.h"

namespace winport::wmi {

const Qualifier* Qualifiers::Find(WideView name) const {
  for (const Qualifier& qualifier : items_) {
    if (NamesEqual(qualifier.name, name)) return &qualifier;
  }
  return nullptr;
}

void Qualifiers::Put(WideView name, const Value& value, LONG flavor) {
  for (Qualifier& qualifier : items_) {
    if (NamesEqual(qualifier.name, name)) {
      qualifier.value = value;
      qualifier.flavor = flavor;
      return;
    }
  }
  items_.push_back(Qualifier{WideString(name), value, flavor});
}

bool Qualifiers::Delete(WideView name) {
  for (auto it = items_.begin(); it != items_.end(); ++it) {
    if (NamesEqual(it->name, name)) {
      items_.erase(it);
      return true;
    }
  }
  return false;
}

bool IsKeyQualifierSet(const Qualifiers& qualifiers) {
  const Qualifier* key = qualifiers.Find(OLESTR("Key"));
  if (key == nullptr) return false;
  const VARIANT& value = key->value.Get();
  switch (value.vt) {
    case VT_BOOL:
      return value.boolVal != VARIANT_FALSE;
    case VT_I2:
      return value.iVal == -1;
    case VT_I4:
      return value.lVal == -1;
    default:
      return false;
  }
}

std::optional<std::size_t> ClassDefinition::Find(WideView property) const {
  for (std::size_t i = 0; i < properties.size(); ++i) {
    if (NamesEqual(properties[i].name, property)) return i;
  }
  return std::nullopt;
}

bool ClassDefinition::InheritsFrom(WideView ancestor) const {
  for (const WideString& name : derivation) {
    if (NamesEqual(name, ancestor)) return true;
  }
  return false;
}

std::vector<std::size_t> ClassDefinition::KeyIndexes() const {
  std::vector<std::size_t> keys;
  for (std::size_t i = 0; i < properties.size(); ++i) {
    if (IsKeyQualifierSet(properties[i].qualifiers)) keys.push_back(i);
  }
  return keys;
}

}  // namespace winport::wmi
