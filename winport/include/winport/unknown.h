// The COM base interfaces: IUnknown, IClassFactory, the error-info interfaces,
// IRunnableObject and a minimal IDispatch.
#pragma once

#include <type_traits>

#include <winport/guid.h>
#include <winport/uuidof.h>

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

  template <class Q>
  HRESULT QueryInterface(Q** pp);
};
using LPUNKNOWN = IUnknown*;
WINPORT_DEFINE_UUID(IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                    0x46);

template <class Q>
HRESULT IUnknown::QueryInterface(Q** pp) {
  return QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
}

#define IID_PPV_ARGS(pp)                               \
  __uuidof(std::remove_reference_t<decltype(**(pp))>), \
      reinterpret_cast<void**>(static_cast<std::remove_reference_t<decltype(**(pp))>**>(pp))

struct IClassFactory : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                   void** ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};
using LPCLASSFACTORY = IClassFactory*;
WINPORT_DEFINE_UUID(IClassFactory, 0x00000001, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
                    0x00, 0x46);

using BSTR = OLECHAR*;

struct IErrorInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) = 0;
};
WINPORT_DEFINE_UUID(IErrorInfo, 0x1CF2B120, 0x547D, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B,
                    0xD1, 0x19);

struct ICreateErrorInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR szSource) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR szDescription) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR szHelpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD dwHelpContext) = 0;
};
WINPORT_DEFINE_UUID(ICreateErrorInfo, 0x22F03340, 0x547D, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B,
                    0x2B, 0xD1, 0x19);

struct ISupportErrorInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) = 0;
};
WINPORT_DEFINE_UUID(ISupportErrorInfo, 0xDF0B3D60, 0x548F, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B,
                    0x2B, 0xD1, 0x19);

struct IBindCtx;
using LPBINDCTX = IBindCtx*;

struct IRunnableObject : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetRunningClass(LPCLSID lpClsid) = 0;
  virtual HRESULT STDMETHODCALLTYPE Run(LPBINDCTX pbc) = 0;
  virtual BOOL STDMETHODCALLTYPE IsRunning() = 0;
  virtual HRESULT STDMETHODCALLTYPE LockRunning(BOOL fLock, BOOL fLastUnlockCloses) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetContainedObject(BOOL fContained) = 0;
};
WINPORT_DEFINE_UUID(IRunnableObject, 0x00000126, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
                    0x00, 0x46);

using DISPID = LONG;
struct ITypeInfo;
struct tagDISPPARAMS;
struct tagEXCEPINFO;
struct tagVARIANT;

struct IDispatch : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                                  LCID lcid, DISPID* rgDispId) = 0;
  virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                           tagDISPPARAMS* pDispParams, tagVARIANT* pVarResult,
                                           tagEXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
};
WINPORT_DEFINE_UUID(IDispatch, 0x00020400, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                    0x46);

inline constexpr IID IID_IUnknown = __uuidof(IUnknown);
inline constexpr IID IID_IClassFactory = __uuidof(IClassFactory);
inline constexpr IID IID_IErrorInfo = __uuidof(IErrorInfo);
inline constexpr IID IID_ICreateErrorInfo = __uuidof(ICreateErrorInfo);
inline constexpr IID IID_ISupportErrorInfo = __uuidof(ISupportErrorInfo);
inline constexpr IID IID_IRunnableObject = __uuidof(IRunnableObject);
inline constexpr IID IID_IDispatch = __uuidof(IDispatch);
