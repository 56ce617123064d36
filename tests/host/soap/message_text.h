// UTF-8 test text to and from the BSTRs of the message interfaces.
#pragma once

#include <string>

#include <winport/scoped_bstr.h>
#include <winport/wide.h>

inline winport::ScopedBstr Bstr(const std::string& text) {
  return winport::ScopedBstr(winport::Utf8ToWide(text).c_str());
}

inline std::string Text(BSTR text) {
  return winport::WideToUtf8(winport::BstrView(text));
}
