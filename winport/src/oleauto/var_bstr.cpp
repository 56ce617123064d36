// VarBstrCmp and VarBstrCat: comparing and joining BSTRs, embedded NULs included.
#include <winport/oleauto.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include <winport/wide.h>

namespace {

// Simple lowercase mapping for Latin, Greek and Cyrillic letters; others stay as they are.
OLECHAR FoldCase(OLECHAR c) {
  if (c >= u'A' && c <= u'Z') return static_cast<OLECHAR>(c + 0x20);
  if ((c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) || (c >= 0x0391 && c <= 0x03AB && c != 0x03A2) ||
      (c >= 0x0410 && c <= 0x042F)) {
    return static_cast<OLECHAR>(c + 0x20);
  }
  if (c >= 0x0400 && c <= 0x040F) return static_cast<OLECHAR>(c + 0x50);
  // Latin Extended-A pairs an uppercase letter with the lowercase one after it.
  if (c >= 0x0100 && c <= 0x0137 && c % 2 == 0) return static_cast<OLECHAR>(c + 1);
  if (c >= 0x0139 && c <= 0x0148 && c % 2 == 1) return static_cast<OLECHAR>(c + 1);
  if (c >= 0x014A && c <= 0x0177 && c % 2 == 0) return static_cast<OLECHAR>(c + 1);
  return c;
}

HRESULT Order(int difference) {
  return difference < 0 ? VARCMP_LT : (difference > 0 ? VARCMP_GT : VARCMP_EQ);
}

// Letters first compare without case; only equal texts are then told apart by case,
// lowercase first, as a culture-aware comparison orders them.
int CompareCultural(winport::WideView left, winport::WideView right, bool ignore_case) {
  const size_t common = std::min(left.size(), right.size());
  for (size_t i = 0; i < common; ++i) {
    const OLECHAR a = FoldCase(left[i]);
    const OLECHAR b = FoldCase(right[i]);
    if (a != b) return a < b ? -1 : 1;
  }
  if (left.size() != right.size()) return left.size() < right.size() ? -1 : 1;
  if (ignore_case) return 0;
  for (size_t i = 0; i < common; ++i) {
    if (left[i] == right[i]) continue;
    // Same letter, different case: the one that folds to itself is the lowercase one.
    return FoldCase(left[i]) == left[i] ? -1 : 1;
  }
  return 0;
}

}  // namespace

extern "C" HRESULT VarBstrCmp(BSTR bstrLeft, BSTR bstrRight, LCID lcid, ULONG dwFlags) {
  const winport::WideView left = winport::BstrView(bstrLeft);
  const winport::WideView right = winport::BstrView(bstrRight);
  // Locale 0 asks for the code units as they stand.
  if (lcid == 0) return Order(left.compare(right));
  return Order(CompareCultural(left, right, (dwFlags & NORM_IGNORECASE) != 0));
}

extern "C" HRESULT VarBstrCat(BSTR bstrLeft, BSTR bstrRight, LPBSTR pbstrResult) {
  if (pbstrResult == nullptr) return E_INVALIDARG;
  const UINT left = SysStringLen(bstrLeft);
  const UINT right = SysStringLen(bstrRight);
  if (right > std::numeric_limits<UINT>::max() - left) return E_OUTOFMEMORY;
  BSTR result = SysAllocStringLen(nullptr, left + right);
  if (result == nullptr) return E_OUTOFMEMORY;
  if (left != 0) std::memcpy(result, bstrLeft, left * sizeof(OLECHAR));
  if (right != 0) std::memcpy(result + left, bstrRight, right * sizeof(OLECHAR));
  *pbstrResult = result;
  return S_OK;
}
