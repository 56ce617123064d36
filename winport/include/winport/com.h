// The COM runtime: apartments, class objects, activation.
#pragma once

#include <winport/unknown.h>

enum COINIT : DWORD {
  COINIT_APARTMENTTHREADED = 0x2,
  COINIT_MULTITHREADED = 0x0,
  COINIT_DISABLE_OLE1DDE = 0x4,
  COINIT_SPEED_OVER_MEMORY = 0x8
};

enum CLSCTX : DWORD {
  CLSCTX_INPROC_SERVER = 0x1,
  CLSCTX_INPROC_HANDLER = 0x2,
  CLSCTX_LOCAL_SERVER = 0x4,
  CLSCTX_REMOTE_SERVER = 0x10,
  CLSCTX_NO_CODE_DOWNLOAD = 0x400,
  CLSCTX_NO_FAILURE_LOG = 0x4000,
  CLSCTX_DISABLE_AAA = 0x8000,
  CLSCTX_ENABLE_AAA = 0x10000,
  CLSCTX_FROM_DEFAULT_CONTEXT = 0x20000,
  CLSCTX_ACTIVATE_64_BIT_SERVER = 0x80000,
};
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_ALL \
  (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

enum REGCLS : DWORD {
  REGCLS_SINGLEUSE = 0,
  REGCLS_MULTIPLEUSE = 1,
  REGCLS_MULTI_SEPARATE = 2,
  REGCLS_SUSPENDED = 4,
  REGCLS_SURROGATE = 8
};

// Per-thread apartment: S_FALSE when the thread already has one of the same kind,
// RPC_E_CHANGED_MODE for another kind. Each success must be matched by CoUninitialize.
extern "C" HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
extern "C" HRESULT CoInitialize(LPVOID pvReserved);
extern "C" void CoUninitialize();

extern "C" HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext,
                                         DWORD flags, LPDWORD lpdwRegister);
extern "C" HRESULT CoRevokeClassObject(DWORD dwRegister);
extern "C" HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved,
                                    REFIID riid, LPVOID* ppv);
extern "C" HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                    REFIID riid, LPVOID* ppv);

// Asks every library loaded for an in-process server whether it can be unloaded
// (DllCanUnloadNow) and unloads those that answer S_OK.
extern "C" void CoFreeUnusedLibraries();
// The same with an unload delay. Windows keeps a library that agreed for dwUnloadDelay ms
// (INFINITE: ten minutes for free-threaded ones) before unloading it, 0 unloading at once;
// here every library that agrees is unloaded at once, whatever the delay.
extern "C" void CoFreeUnusedLibrariesEx(DWORD dwUnloadDelay, DWORD dwReserved);

// The CLSID registered for a ProgID (HKCR\<ProgID>\CLSID), following CurVer for a
// version-independent ProgID. CO_E_CLASSSTRING when the ProgID is not registered.
extern "C" HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);

// Runs an object that has IRunnableObject; S_OK for any other object.
extern "C" HRESULT OleRun(LPUNKNOWN pUnknown);

#define RPC_C_AUTHN_NONE 0
#define RPC_C_AUTHN_WINNT 10
#define RPC_C_AUTHN_DEFAULT 0xFFFFFFFFL
#define RPC_C_AUTHZ_NONE 0
#define RPC_C_AUTHZ_DEFAULT 0xffffffff
#define RPC_C_AUTHN_LEVEL_DEFAULT 0
#define RPC_C_AUTHN_LEVEL_CALL 3
#define RPC_C_AUTHN_LEVEL_PKT 4
#define RPC_C_IMP_LEVEL_DEFAULT 0
#define RPC_C_IMP_LEVEL_IMPERSONATE 3
#define EOAC_NONE 0
#define COLE_DEFAULT_PRINCIPAL (reinterpret_cast<OLECHAR*>(-1))
#define COLE_DEFAULT_AUTHINFO (reinterpret_cast<void*>(-1))
using RPC_AUTH_IDENTITY_HANDLE = void*;

// In process there is no proxy: the blanket is accepted and changes nothing.
extern "C" HRESULT CoSetProxyBlanket(IUnknown* pProxy, DWORD dwAuthnSvc, DWORD dwAuthzSvc,
                                     OLECHAR* pServerPrincName, DWORD dwAuthnLevel,
                                     DWORD dwImpLevel, RPC_AUTH_IDENTITY_HANDLE pAuthInfo,
                                     DWORD dwCapabilities);

// What an in-process server library exports.
STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
STDAPI DllCanUnloadNow();
STDAPI DllRegisterServer();
STDAPI DllUnregisterServer();
using LPFNGETCLASSOBJECT = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using LPFNCANUNLOADNOW = HRESULT(STDAPICALLTYPE*)();

extern "C" LPVOID CoTaskMemAlloc(SIZE_T cb);
extern "C" void CoTaskMemFree(LPVOID pv);
