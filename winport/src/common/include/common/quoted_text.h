// Wide text as a double-quoted UTF-8 string in the machine's text files (the registry
// hive, the event log): \\ \" \n \r \t are escaped, other control characters and
// unpaired surrogates are written \uXXXX, so any text reads back exactly.
#pragma once

#include <string>
#include <string_view>

#include <winport/wide.h>

namespace winport::detail {

void AppendQuoted(std::string& out, WideView text);

// Reads the quoted string at the start of `in` (\0 is read as a NUL too) and removes it
// from `in`; false, `in` untouched, when there is none or it is malformed.
bool ReadQuoted(std::string_view& in, WideString* text);

}  // namespace winport::detail
