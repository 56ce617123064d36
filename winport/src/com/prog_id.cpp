// ProgIDs: HKCR\<ProgID>\CLSID names the class; a version-independent ProgID without
// one of its own names its current version in HKCR\<ProgID>\CurVer.
#include <winport/com.h>
#include <winport/windows.h>

#include "registry_text.h"

namespace {

// Enough for any real chain of CurVer links, and an end to a loop of them.
constexpr int kMaxCurVerLinks = 8;

}  // namespace

extern "C" HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
  if (lpszProgID == nullptr || lpclsid == nullptr) return E_INVALIDARG;
  *lpclsid = GUID_NULL;
  winport::WideString prog_id = lpszProgID;
  for (int link = 0; link <= kMaxCurVerLinks && !prog_id.empty(); ++link) {
    const auto clsid_text =
        winport::detail::ReadRegistryText(HKEY_CLASSES_ROOT, prog_id + OLESTR("\\CLSID"));
    if (clsid_text) {
      CLSID clsid{};
      if (clsid_text->size() != 38 || IIDFromString(clsid_text->c_str(), &clsid) != S_OK) {
        return CO_E_CLASSSTRING;
      }
      *lpclsid = clsid;
      return S_OK;
    }
    const auto current =
        winport::detail::ReadRegistryText(HKEY_CLASSES_ROOT, prog_id + OLESTR("\\CurVer"));
    if (!current) break;
    prog_id = *current;
  }
  return CO_E_CLASSSTRING;
}
