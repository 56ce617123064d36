// Small readers and writers of registry text values for winport's own COM plumbing
// (activation, ProgIDs, categories, type libraries).
#pragma once

#include <optional>

#include <winport/windows.h>

namespace winport::detail {

// The REG_SZ or REG_EXPAND_SZ value `name` (empty = default) of root\path, or nothing.
std::optional<WideString> ReadRegistryText(HKEY root, WideView path, WideView name = {});

// Creates root\path as needed and sets its string value `name` (empty = default).
LSTATUS WriteRegistryText(HKEY root, WideView path, WideView name, WideView value);

// The braced text form of a GUID.
WideString GuidText(REFGUID guid);

}  // namespace winport::detail
