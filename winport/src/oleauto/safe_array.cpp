// SAFEARRAY with the Windows layout: the descriptor is preceded by 16 bytes whose
// last four hold the element VARTYPE, and rgsabound lists the dimensions right to
// left (rgsabound[0] is the last dimension). The first index varies fastest.
#include <winport/oleauto.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "common/injected_fault.h"
#include "oleauto/element_size.h"

namespace {

using winport::detail::ElementSize;

constexpr std::size_t kPrefix = 16;
constexpr ULONG kMaxLocks = 0xFFFF;

USHORT FeaturesFor(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR:
      return FADF_BSTR;
    case VT_UNKNOWN:
      return FADF_UNKNOWN;
    case VT_DISPATCH:
      return FADF_DISPATCH;
    case VT_VARIANT:
      return FADF_VARIANT;
    default:
      return 0;
  }
}

VARTYPE* StoredVartype(SAFEARRAY* psa) {
  return reinterpret_cast<VARTYPE*>(reinterpret_cast<unsigned char*>(psa) - sizeof(DWORD));
}

void* Block(SAFEARRAY* psa) {
  return reinterpret_cast<unsigned char*>(psa) - kPrefix;
}

std::size_t DescriptorSize(UINT dims) {
  return sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND);
}

std::size_t ElementCount(const SAFEARRAY* psa) {
  std::size_t count = 1;
  for (USHORT i = 0; i < psa->cDims; ++i)
    count *= psa->rgsabound[i].cElements;
  return count;
}

// The element at rgIndices (first index = first dimension), or null when out of bounds.
unsigned char* ElementAt(SAFEARRAY* psa, const LONG* rgIndices) {
  std::size_t offset = 0;
  std::size_t multiplier = 1;
  for (USHORT dim = 0; dim < psa->cDims; ++dim) {
    const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - 1 - dim];
    const long long index = static_cast<long long>(rgIndices[dim]) - bound.lLbound;
    if (index < 0 || index >= static_cast<long long>(bound.cElements)) return nullptr;
    offset += static_cast<std::size_t>(index) * multiplier;
    multiplier *= bound.cElements;
  }
  return static_cast<unsigned char*>(psa->pvData) + offset * psa->cbElements;
}

void ReleaseElements(SAFEARRAY* psa) {
  if (psa->pvData == nullptr) return;
  const std::size_t count = ElementCount(psa);
  if (psa->fFeatures & FADF_BSTR) {
    auto* items = static_cast<BSTR*>(psa->pvData);
    for (std::size_t i = 0; i < count; ++i)
      SysFreeString(items[i]);
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    auto* items = static_cast<IUnknown**>(psa->pvData);
    for (std::size_t i = 0; i < count; ++i) {
      if (items[i] != nullptr) items[i]->Release();
    }
  } else if (psa->fFeatures & FADF_VARIANT) {
    auto* items = static_cast<VARIANT*>(psa->pvData);
    for (std::size_t i = 0; i < count; ++i)
      VariantClear(&items[i]);
  }
}

// Copies one element into dest (uninitialised storage); the source is read as stored.
HRESULT CopyElement(const SAFEARRAY* psa, const void* src, void* dest) {
  if (psa->fFeatures & FADF_BSTR) {
    const BSTR from = *static_cast<const BSTR*>(src);
    BSTR copy = nullptr;
    if (from != nullptr) {
      copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(from), SysStringByteLen(from));
      if (copy == nullptr) return E_OUTOFMEMORY;
    }
    *static_cast<BSTR*>(dest) = copy;
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    IUnknown* from = *static_cast<IUnknown* const*>(src);
    if (from != nullptr) from->AddRef();
    *static_cast<IUnknown**>(dest) = from;
  } else if (psa->fFeatures & FADF_VARIANT) {
    auto* to = static_cast<VARIANT*>(dest);
    VariantInit(to);
    return VariantCopy(to, const_cast<VARIANT*>(static_cast<const VARIANT*>(src)));
  } else {
    std::memcpy(dest, src, psa->cbElements);
  }
  return S_OK;
}

SAFEARRAY* Allocate(VARTYPE vt, UINT cDims) {
  void* block = std::calloc(1, kPrefix + DescriptorSize(cDims));
  if (block == nullptr) return nullptr;
  auto* psa = reinterpret_cast<SAFEARRAY*>(static_cast<unsigned char*>(block) + kPrefix);
  psa->cDims = static_cast<USHORT>(cDims);
  psa->fFeatures = static_cast<USHORT>(FADF_HAVEVARTYPE | FeaturesFor(vt));
  psa->cbElements = ElementSize(vt);
  *StoredVartype(psa) = vt;
  return psa;
}

}  // namespace

extern "C" SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
  WINPORT_FAIL_NULL("SafeArrayCreate");
  if (cDims == 0 || cDims > 0xFFFF || rgsabound == nullptr || ElementSize(vt) == 0) return nullptr;
  SAFEARRAY* psa = Allocate(vt, cDims);
  if (psa == nullptr) return nullptr;
  for (UINT i = 0; i < cDims; ++i)
    psa->rgsabound[cDims - 1 - i] = rgsabound[i];
  const std::size_t count = ElementCount(psa);
  if (count > 0) {
    psa->pvData = std::calloc(count, psa->cbElements);
    if (psa->pvData == nullptr) {
      std::free(Block(psa));
      return nullptr;
    }
  }
  return psa;
}

extern "C" SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  SAFEARRAYBOUND bound{cElements, lLbound};
  return SafeArrayCreate(vt, 1, &bound);
}

extern "C" HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
  if (psa == nullptr) return S_OK;
  if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  ReleaseElements(psa);
  std::free(psa->pvData);
  std::free(Block(psa));
  return S_OK;
}

extern "C" HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
  if (ppsaOut == nullptr) return E_INVALIDARG;
  *ppsaOut = nullptr;
  if (psa == nullptr) return S_OK;
  VARTYPE vt = VT_EMPTY;
  if (FAILED(SafeArrayGetVartype(psa, &vt))) return E_INVALIDARG;
  SAFEARRAYBOUND bounds[64];
  if (psa->cDims > 64) return E_INVALIDARG;
  for (USHORT i = 0; i < psa->cDims; ++i)
    bounds[i] = psa->rgsabound[psa->cDims - 1 - i];
  SAFEARRAY* copy = SafeArrayCreate(vt, psa->cDims, bounds);
  if (copy == nullptr) return E_OUTOFMEMORY;
  const std::size_t count = ElementCount(psa);
  for (std::size_t i = 0; i < count; ++i) {
    const auto* from = static_cast<const unsigned char*>(psa->pvData) + i * psa->cbElements;
    auto* to = static_cast<unsigned char*>(copy->pvData) + i * psa->cbElements;
    const HRESULT hr = CopyElement(psa, from, to);
    if (FAILED(hr)) {
      SafeArrayDestroy(copy);
      return hr;
    }
  }
  *ppsaOut = copy;
  return S_OK;
}

extern "C" UINT SafeArrayGetDim(SAFEARRAY* psa) {
  return psa == nullptr ? 0 : psa->cDims;
}

extern "C" UINT SafeArrayGetElemsize(SAFEARRAY* psa) {
  return psa == nullptr ? 0 : psa->cbElements;
}

static HRESULT GetBound(SAFEARRAY* psa, UINT nDim, LONG* out, bool upper) {
  if (psa == nullptr || out == nullptr) return E_INVALIDARG;
  if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - nDim];
  *out = upper ? static_cast<LONG>(bound.lLbound + static_cast<long long>(bound.cElements) - 1)
               : bound.lLbound;
  return S_OK;
}

extern "C" HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
  return GetBound(psa, nDim, plLbound, false);
}

extern "C" HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
  return GetBound(psa, nDim, plUbound, true);
}

extern "C" HRESULT SafeArrayLock(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  if (psa->cLocks >= kMaxLocks) return E_UNEXPECTED;
  ++psa->cLocks;
  return S_OK;
}

extern "C" HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  if (psa->cLocks == 0) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

extern "C" HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
  if (psa == nullptr || ppvData == nullptr) return E_INVALIDARG;
  const HRESULT hr = SafeArrayLock(psa);
  *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
  return hr;
}

extern "C" HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
  return SafeArrayUnlock(psa);
}

extern "C" HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (psa == nullptr || rgIndices == nullptr || pv == nullptr) return E_INVALIDARG;
  const unsigned char* element = ElementAt(psa, rgIndices);
  if (element == nullptr) return DISP_E_BADINDEX;
  return CopyElement(psa, element, pv);
}

// For BSTR, IUnknown and IDispatch arrays pv is the value itself; otherwise it points to it.
extern "C" HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (psa == nullptr || rgIndices == nullptr) return E_INVALIDARG;
  unsigned char* element = ElementAt(psa, rgIndices);
  if (element == nullptr) return DISP_E_BADINDEX;
  if (psa->fFeatures & FADF_BSTR) {
    const BSTR from = static_cast<BSTR>(pv);
    BSTR copy = nullptr;
    if (from != nullptr) {
      copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(from), SysStringByteLen(from));
      if (copy == nullptr) return E_OUTOFMEMORY;
    }
    SysFreeString(*reinterpret_cast<BSTR*>(element));
    *reinterpret_cast<BSTR*>(element) = copy;
    return S_OK;
  }
  if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    auto* from = static_cast<IUnknown*>(pv);
    if (from != nullptr) from->AddRef();
    IUnknown* old = *reinterpret_cast<IUnknown**>(element);
    *reinterpret_cast<IUnknown**>(element) = from;
    if (old != nullptr) old->Release();
    return S_OK;
  }
  if (pv == nullptr) return E_INVALIDARG;
  if (psa->fFeatures & FADF_VARIANT) {
    return VariantCopy(reinterpret_cast<VARIANT*>(element), static_cast<VARIANT*>(pv));
  }
  std::memcpy(element, pv, psa->cbElements);
  return S_OK;
}

extern "C" HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
  if (psa == nullptr || pvt == nullptr) return E_INVALIDARG;
  if (psa->fFeatures & FADF_HAVEVARTYPE) {
    *pvt = *StoredVartype(psa);
  } else if (psa->fFeatures & FADF_BSTR) {
    *pvt = VT_BSTR;
  } else if (psa->fFeatures & FADF_UNKNOWN) {
    *pvt = VT_UNKNOWN;
  } else if (psa->fFeatures & FADF_DISPATCH) {
    *pvt = VT_DISPATCH;
  } else if (psa->fFeatures & FADF_VARIANT) {
    *pvt = VT_VARIANT;
  } else {
    return E_INVALIDARG;
  }
  return S_OK;
}
