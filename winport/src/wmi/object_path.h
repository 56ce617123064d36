// Object paths: "Class", "Class=\"key\"", "Class.Key=\"key\",Other=3", "Class=123", with an
// optional "\\server\namespace:" in front; and the canonical key text of an instance.
#pragma once

#include <vector>

#include <winport/wide.h>

#include "class_definition.h"

namespace winport::wmi {

struct ObjectPath {
  WideString class_name;
  bool is_instance = false;
  // Key values as written (text); the name is empty in the "Class=value" form.
  std::vector<std::pair<WideString, WideString>> keys;
};

// WBEM_E_INVALID_OBJECT_PATH for text that is not a path.
HRESULT ParseObjectPath(WideView text, ObjectPath* path);

// A value as a key value is written in a path: strings quoted with \" and \\ escaped,
// booleans TRUE/FALSE, numbers in decimal.
HRESULT FormatKeyValue(const Value& value, WideString* text);

// "Key=\"value\",Other=3" for the key values of an instance, keys in class order:
// WBEM_E_ILLEGAL_NULL when a key has no value, WBEM_E_INVALID_OBJECT when the class
// has no key.
HRESULT InstanceKeyText(const ClassDefinition& definition, const std::vector<Value>& values,
                        WideString* text);

// The key text a path names in class definition: WBEM_E_INVALID_OBJECT_PATH when its keys
// are not exactly the class's keys or do not convert to their types.
HRESULT PathKeyText(const ClassDefinition& definition, const ObjectPath& path, WideString* text);

}  // namespace winport::wmi
