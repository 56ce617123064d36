#include "host/common/hresult_text.h"

#include <cstdio>

namespace quillmere::host {

std::string HresultText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

}  // namespace quillmere::host
