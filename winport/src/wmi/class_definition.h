// What a WMI class is made of: its name and ancestry, its qualifiers, and its properties
// (inherited ones first, as the superclass ordered them) with their types, defaults and
// qualifiers. Names compare without regard to case.
#pragma once

#include <optional>
#include <vector>

#include <winport/wide.h>

#include "common/ascii_case.h"

#include "wmi/variant_value.h"

namespace winport::wmi {

// Inline, and exact spelling tried first: it runs for every property looked up by name.
inline bool NamesEqual(WideView a, WideView b) {
  if (a.size() != b.size()) return false;
  if (a == b) return true;
  return winport::detail::EqualsIgnoringAsciiCase<OLECHAR, OLECHAR>(a, b);
}

struct Qualifier {
  WideString name;
  Value value;
  LONG flavor = 0;
};

class Qualifiers {
 public:
  const Qualifier* Find(WideView name) const;
  void Put(WideView name, const Value& value, LONG flavor);
  bool Delete(WideView name);
  const std::vector<Qualifier>& Items() const { return items_; }

 private:
  std::vector<Qualifier> items_;
};

// A property is a key when it has the qualifier Key set: a boolean true, or an integer
// -1 as some writers store it.
bool IsKeyQualifierSet(const Qualifiers& qualifiers);

struct PropertyDefinition {
  WideString name;
  CIMTYPE type = CIM_EMPTY;
  Value default_value;
  Qualifiers qualifiers;
  WideString origin;  // the class that declared it
};

struct ClassDefinition {
  WideString name;                     // empty for a class not yet named
  std::vector<WideString> derivation;  // nearest superclass first
  Qualifiers qualifiers;
  std::vector<PropertyDefinition> properties;

  // The index of the named property, if there is one.
  std::optional<std::size_t> Find(WideView property) const;
  WideView Superclass() const { return derivation.empty() ? WideView() : derivation.front(); }
  bool InheritsFrom(WideView ancestor) const;
  std::vector<std::size_t> KeyIndexes() const;
};

}  // namespace winport::wmi
