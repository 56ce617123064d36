// Uses every OLE Automation and COM core function with its Windows signature.
// Exits non-zero, naming the call, when one of them does not answer as Windows does.
#include <winport/windows.h>

#include <cstdio>

namespace {

int g_failures = 0;

constexpr CLSID kFactoryClass = {
    0x7F1E2D3C, 0x4B5A, 0x4968, {0x87, 0x65, 0x43, 0x21, 0x0F, 0xED, 0xCB, 0xA9}};

// A class object that makes more of itself: enough to activate something by CLSID.
class SelfFactory : public winport::ComObject<IClassFactory> {
 public:
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return winport::MakeComObject<SelfFactory>()->QueryInterface(riid, ppv);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

void Expect(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "consumer: %s\n", what);
    ++g_failures;
  }
}

void Strings() {
  BSTR text = SysAllocString(OLESTR("abc"));
  Expect(SysStringLen(text) == 3 && SysStringByteLen(text) == 6, "SysAllocString");
  Expect(SysReAllocString(&text, OLESTR("abcd")) == TRUE, "SysReAllocString");
  Expect(SysReAllocStringLen(&text, OLESTR("xy"), 2) == TRUE, "SysReAllocStringLen");
  BSTR other = SysAllocStringLen(OLESTR("xy"), 2);
  Expect(VarBstrCmp(text, other, LOCALE_USER_DEFAULT, 0) == VARCMP_EQ, "VarBstrCmp");
  BSTR joined = nullptr;
  Expect(VarBstrCat(text, other, &joined) == S_OK && SysStringLen(joined) == 4, "VarBstrCat");
  OLECHAR upper[] = OLESTR("ab");
  Expect(CharUpperBuffW(upper, 2) == 2 && upper[0] == u'A', "CharUpperBuffW");
  SysFreeString(joined);
  SysFreeString(other);
  SysFreeString(text);
}

void Variants() {
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I4;
  number.lVal = 12;
  VARIANT text;
  VariantInit(&text);
  Expect(VariantChangeType(&text, &number, 0, VT_BSTR) == S_OK, "VariantChangeType");
  VARIANT copy;
  VariantInit(&copy);
  Expect(VariantCopy(&copy, &text) == S_OK, "VariantCopy");
  Expect(
      VariantChangeTypeEx(&copy, &copy, LOCALE_USER_DEFAULT, 0, VT_I4) == S_OK && copy.lVal == 12,
      "VariantChangeTypeEx");
  Expect(VariantClear(&text) == S_OK && VariantClear(&copy) == S_OK, "VariantClear");
}

void Arrays() {
  SAFEARRAYBOUND bound{2, 0};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, &bound);
  SAFEARRAY* vector = SafeArrayCreateVector(VT_BSTR, 0, 1);
  LONG index = 0, lower = -1, upper = -1;
  BSTR item = SysAllocString(OLESTR("item"));
  Expect(SafeArrayPutElement(vector, &index, item) == S_OK, "SafeArrayPutElement");
  BSTR out = nullptr;
  Expect(SafeArrayGetElement(vector, &index, &out) == S_OK, "SafeArrayGetElement");
  Expect(SafeArrayGetDim(array) == 1, "SafeArrayGetDim");
  Expect(SafeArrayGetLBound(array, 1, &lower) == S_OK && lower == 0, "SafeArrayGetLBound");
  Expect(SafeArrayGetUBound(array, 1, &upper) == S_OK && upper == 1, "SafeArrayGetUBound");
  VARTYPE vt = VT_EMPTY;
  Expect(SafeArrayGetVartype(vector, &vt) == S_OK && vt == VT_BSTR, "SafeArrayGetVartype");
  void* data = nullptr;
  Expect(SafeArrayAccessData(array, &data) == S_OK && SafeArrayUnaccessData(array) == S_OK,
         "SafeArrayAccessData");
  Expect(SafeArrayLock(array) == S_OK && SafeArrayUnlock(array) == S_OK, "SafeArrayLock");
  Expect(SafeArrayDestroy(array) == S_OK && SafeArrayDestroy(vector) == S_OK, "SafeArrayDestroy");
  SysFreeString(out);
  SysFreeString(item);
}

void CodePagesAndMessages() {
  OLECHAR wide[8] = {};
  Expect(MultiByteToWideChar(CP_ACP, 0, "\x80", 1, wide, 8) == 1 && wide[0] == 0x20AC,
         "MultiByteToWideChar");
  char narrow[8] = {};
  Expect(WideCharToMultiByte(CP_UTF8, 0, wide, 1, narrow, 8, nullptr, nullptr) == 3,
         "WideCharToMultiByte");
  LPWSTR message = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, static_cast<DWORD>(E_FAIL), 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
  Expect(length > 0 && message != nullptr, "FormatMessageW");
  Expect(LocalFree(message) == nullptr, "LocalFree");
}

void ErrorInfoAndGuids() {
  ICreateErrorInfo* create = nullptr;
  Expect(CreateErrorInfo(&create) == S_OK, "CreateErrorInfo");
  IErrorInfo* info = nullptr;
  create->QueryInterface(&info);
  Expect(SetErrorInfo(0, info) == S_OK, "SetErrorInfo");
  IErrorInfo* taken = nullptr;
  Expect(GetErrorInfo(0, &taken) == S_OK && taken == info, "GetErrorInfo");
  taken->Release();
  info->Release();
  create->Release();

  OLECHAR text[39];
  Expect(StringFromGUID2(IID_IUnknown, text, 39) == 39, "StringFromGUID2");
  CLSID clsid;
  IID iid;
  Expect(CLSIDFromString(text, &clsid) == S_OK && IsEqualGUID(clsid, IID_IUnknown),
         "CLSIDFromString");
  Expect(IIDFromString(text, &iid) == S_OK && iid == __uuidof(IUnknown), "IIDFromString");
}

void Com() {
  Expect(CoInitializeEx(nullptr, COINIT_MULTITHREADED) == S_OK, "CoInitializeEx");
  winport::ComPtr<SelfFactory> factory = winport::MakeComObject<SelfFactory>();
  DWORD cookie = 0;
  Expect(CoRegisterClassObject(kFactoryClass, factory.Get(), CLSCTX_INPROC_SERVER,
                               REGCLS_MULTIPLEUSE, &cookie) == S_OK,
         "CoRegisterClassObject");
  IClassFactory* class_object = nullptr;
  Expect(CoGetClassObject(kFactoryClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                          reinterpret_cast<void**>(&class_object)) == S_OK,
         "CoGetClassObject");
  IUnknown* object = nullptr;
  Expect(CoCreateInstance(kFactoryClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                          reinterpret_cast<void**>(&object)) == S_OK,
         "CoCreateInstance");
  Expect(OleRun(object) == S_OK, "OleRun");
  // In process there is no proxy to set a blanket on; the call shows the signature.
  CoSetProxyBlanket(object, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  object->Release();
  class_object->Release();
  Expect(CoRevokeClassObject(cookie) == S_OK, "CoRevokeClassObject");
  CoUninitialize();
}

}  // namespace

int main() {
  Strings();
  Variants();
  Arrays();
  CodePagesAndMessages();
  ErrorInfoAndGuids();
  Com();
  if (g_failures == 0) std::puts("consumer: every call answered as Windows does");
  return g_failures == 0 ? 0 : 1;
}
