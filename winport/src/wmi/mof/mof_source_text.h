// The text of a MOF buffer or file: UTF-16 when it starts with a UTF-16 byte order mark
// (either order), else UTF-8 with or without its mark (ASCII being a part of it).
#pragma once

#include <cstddef>

#include <winport/wide.h>

namespace winport::wmi {

WideString DecodeMofText(const BYTE* bytes, std::size_t size);

}  // namespace winport::wmi
