// The stored form of classes and instances. A class is kept whole (inherited properties
// included), so that reading one needs no walk up its ancestry; an instance keeps the
// values set on it by property name, and takes everything else from its class.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "class_definition.h"

namespace winport::wmi {

std::string EncodeClass(const ClassDefinition& definition);
// WBEM_E_CRITICAL_ERROR when the bytes are not a stored class.
HRESULT DecodeClass(std::string_view bytes, ClassDefinition* definition);

std::string EncodeInstance(const ClassDefinition& definition,
                           const std::vector<std::optional<Value>>& values);
// values receives one entry per property of definition; stored values of properties the
// class no longer has are dropped.
HRESULT DecodeInstance(std::string_view bytes, const ClassDefinition& definition,
                       std::vector<std::optional<Value>>* values);

}  // namespace winport::wmi
