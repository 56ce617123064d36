// Readable assertions on wide texts: compares them as UTF-8 so failures print text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include <winport/wide.h>

namespace testing_support {

inline std::string Narrow(const OLECHAR* text) {
  return text ? winport::WideToUtf8(text) : std::string();
}
inline std::string Narrow(winport::WideView text) {
  return winport::WideToUtf8(text);
}
inline std::string NarrowBstr(BSTR bstr) {
  return winport::WideToUtf8(winport::BstrView(bstr));
}

}  // namespace testing_support
