// VARIANT lifetime: VariantInit, VariantClear, VariantCopy and VariantCopyInd.
#include <winport/oleauto.h>

#include <cstring>

#include "variant_internal.h"

namespace winport::detail {

BSTR CopyBstr(BSTR bstr, bool* failed) {
  *failed = false;
  if (bstr == nullptr) return nullptr;
  const UINT bytes = SysStringByteLen(bstr);
  // An odd byte count (from SysAllocStringByteLen) has to survive the copy.
  BSTR copy = (bytes % sizeof(OLECHAR)) != 0
                  ? SysAllocStringByteLen(reinterpret_cast<LPCSTR>(bstr), bytes)
                  : SysAllocStringLen(bstr, bytes / sizeof(OLECHAR));
  *failed = copy == nullptr;
  return copy;
}

HRESULT ViewReferenced(const VARIANTARG* src, VARIANT* view) {
  const VARTYPE base = src->vt & ~VT_BYREF;
  if (src->byref == nullptr) return E_INVALIDARG;
  if (base == VT_VARIANT) {
    const VARIANT* inner = src->pvarVal;
    // A variant reference to another variant reference has no value of its own.
    if (inner->vt == (VT_VARIANT | VT_BYREF)) return E_INVALIDARG;
    if ((inner->vt & VT_BYREF) != 0) return ViewReferenced(inner, view);
    std::memcpy(static_cast<void*>(view), inner, sizeof(VARIANT));
    return S_OK;
  }
  VariantInit(view);
  if ((base & VT_ARRAY) != 0) {
    view->parray = *src->pparray;
  } else {
    switch (base) {
      case VT_I1:
      case VT_UI1:
        view->bVal = *src->pbVal;
        break;
      case VT_I2:
      case VT_UI2:
      case VT_BOOL:
        view->iVal = *src->piVal;
        break;
      case VT_I4:
      case VT_UI4:
      case VT_INT:
      case VT_UINT:
      case VT_ERROR:
        view->lVal = *src->plVal;
        break;
      case VT_R4:
        view->fltVal = *src->pfltVal;
        break;
      case VT_R8:
      case VT_DATE:
        view->dblVal = *src->pdblVal;
        break;
      case VT_I8:
      case VT_UI8:
      case VT_CY:
        view->llVal = *src->pllVal;
        break;
      case VT_BSTR:
        view->bstrVal = *src->pbstrVal;
        break;
      case VT_UNKNOWN:
      case VT_DISPATCH:
        view->punkVal = *src->ppunkVal;
        break;
      case VT_DECIMAL:
        // The DECIMAL covers vt too, so it goes in before vt does.
        view->decVal = *src->pdecVal;
        break;
      default:
        return DISP_E_BADVARTYPE;
    }
  }
  view->vt = base;
  return S_OK;
}

}  // namespace winport::detail

namespace {

using winport::detail::CopyBstr;
using winport::detail::IsValidVariantType;
using winport::detail::ViewReferenced;

void ResetToEmpty(VARIANTARG* var) {
  var->vt = VT_EMPTY;
  var->wReserved1 = 0;
  var->wReserved2 = 0;
  var->wReserved3 = 0;
}

// Copies src (not by reference) into dest, which owns nothing yet. On failure dest is
// left VT_EMPTY and nothing leaks.
HRESULT CopyOwned(VARIANTARG* dest, const VARIANTARG* src) {
  std::memcpy(static_cast<void*>(dest), src, sizeof(VARIANT));
  const VARTYPE vt = src->vt;
  if ((vt & VT_BYREF) != 0) return S_OK;
  if ((vt & VT_ARRAY) != 0) {
    if (src->parray == nullptr) return S_OK;
    SAFEARRAY* copy = nullptr;
    const HRESULT hr = SafeArrayCopy(src->parray, &copy);
    if (FAILED(hr)) {
      ResetToEmpty(dest);
      return hr;
    }
    dest->parray = copy;
    return S_OK;
  }
  switch (vt) {
    case VT_BSTR: {
      bool failed = false;
      dest->bstrVal = CopyBstr(src->bstrVal, &failed);
      if (failed) {
        ResetToEmpty(dest);
        return E_OUTOFMEMORY;
      }
      return S_OK;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH:
      if (src->punkVal != nullptr) src->punkVal->AddRef();
      return S_OK;
    default:
      return S_OK;
  }
}

}  // namespace

extern "C" void VariantInit(VARIANTARG* pvarg) {
  ResetToEmpty(pvarg);
}

extern "C" HRESULT VariantClear(VARIANTARG* pvarg) {
  if (pvarg == nullptr) return E_INVALIDARG;
  const VARTYPE vt = pvarg->vt;
  if (!IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
  if ((vt & VT_BYREF) == 0) {
    if ((vt & VT_ARRAY) != 0) {
      if (pvarg->parray != nullptr) {
        // A locked array stays where it is, and so does the variant holding it.
        const HRESULT hr = SafeArrayDestroy(pvarg->parray);
        if (FAILED(hr)) return hr;
      }
    } else if (vt == VT_BSTR) {
      SysFreeString(pvarg->bstrVal);
    } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
      if (pvarg->punkVal != nullptr) pvarg->punkVal->Release();
    }
  }
  ResetToEmpty(pvarg);
  return S_OK;
}

extern "C" HRESULT VariantCopy(VARIANTARG* pvargDest, VARIANTARG* pvargSrc) {
  if (pvargDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
  if (pvargDest == pvargSrc) return S_OK;
  if (!IsValidVariantType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
  // Copying first means a failed copy leaves the destination as it was.
  VARIANT copy;
  HRESULT hr = CopyOwned(&copy, pvargSrc);
  if (FAILED(hr)) return hr;
  hr = VariantClear(pvargDest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  std::memcpy(static_cast<void*>(pvargDest), &copy, sizeof(VARIANT));
  return S_OK;
}

extern "C" HRESULT VariantCopyInd(VARIANT* pvarDest, VARIANTARG* pvargSrc) {
  if (pvarDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
  if ((pvargSrc->vt & VT_BYREF) == 0) return VariantCopy(pvarDest, pvargSrc);
  if (!IsValidVariantType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
  // Made before the destination is cleared: the two may be the same variant.
  VARIANT view;
  HRESULT hr = ViewReferenced(pvargSrc, &view);
  if (FAILED(hr)) return hr;
  if (!IsValidVariantType(view.vt)) return DISP_E_BADVARTYPE;
  VARIANT copy;
  hr = CopyOwned(&copy, &view);
  if (FAILED(hr)) return hr;
  hr = VariantClear(pvarDest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  std::memcpy(static_cast<void*>(pvarDest), &copy, sizeof(VARIANT));
  return S_OK;
}
