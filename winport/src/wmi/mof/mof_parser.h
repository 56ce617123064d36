// Reads MOF text into its syntax tree: #pragma namespace, class declarations with
// qualifiers, typed properties and defaults, and instance declarations.
#pragma once

#include <variant>

#include "mof_syntax.h"

namespace winport::wmi {

using MofParseResult = std::variant<MofDocument, MofSyntaxError>;

MofParseResult ParseMof(WideView text);

}  // namespace winport::wmi
