// Text between the module's UTF-16 and the host's UTF-8 on the paths every request takes
// (documents, tokens, names): almost always plain ASCII, which is copied unit by unit;
// anything else goes through winport's full conversion.
#pragma once

#include <string>
#include <string_view>

#include <winport/scoped_bstr.h>
#include <winport/wide.h>
#include <winport/windows.h>

namespace quillmere::host {

std::string ToUtf8(winport::WideView wide);
// A BSTR's text; a null BSTR is empty.
std::string Utf8Of(BSTR text);

// A new BSTR holding the text; null when there is no memory for it.
BSTR ToBstr(std::string_view utf8);
// As ToBstr; throws std::bad_alloc when there is no memory for it.
BSTR NewBstr(std::string_view utf8);
// As ToBstr, owned: null inside when there is no memory for it.
winport::ScopedBstr ScopedBstrOf(std::string_view utf8);

}  // namespace quillmere::host
