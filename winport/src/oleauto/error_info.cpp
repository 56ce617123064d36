// The error-info object and the thread's error-info slot.
#include <winport/errorinfo.h>
#include <winport/windows.h>

#include "common/injected_fault.h"

namespace {

class ErrorInfo final : public winport::ComObject<ICreateErrorInfo, IErrorInfo> {
 public:
  // ICreateErrorInfo
  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) override {
    guid_ = rguid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR text) override { return Store(&source_, text); }
  HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR text) override {
    return Store(&description_, text);
  }
  HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR text) override { return Store(&help_file_, text); }
  HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD context) override {
    help_context_ = context;
    return S_OK;
  }

  // IErrorInfo
  HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override {
    if (pGUID == nullptr) return E_INVALIDARG;
    *pGUID = guid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* out) override { return Copy(source_, out); }
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* out) override { return Copy(description_, out); }
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* out) override { return Copy(help_file_, out); }
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* out) override {
    if (out == nullptr) return E_INVALIDARG;
    *out = help_context_;
    return S_OK;
  }

 private:
  static HRESULT Store(winport::ScopedBstr* field, LPOLESTR text) {
    winport::ScopedBstr copy(text);
    if (text != nullptr && copy.Get() == nullptr) return E_OUTOFMEMORY;
    *field = std::move(copy);
    return S_OK;
  }
  // An unset field reads as a null BSTR.
  static HRESULT Copy(const winport::ScopedBstr& field, BSTR* out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    if (field.Get() == nullptr) return S_OK;
    *out = SysAllocStringLen(field.Get(), field.Length());
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }

  GUID guid_ = GUID_NULL;
  winport::ScopedBstr source_;
  winport::ScopedBstr description_;
  winport::ScopedBstr help_file_;
  DWORD help_context_ = 0;
};

thread_local winport::ComPtr<IErrorInfo> t_error_info;

}  // namespace

extern "C" HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
  if (pperrinfo == nullptr) return E_INVALIDARG;
  *pperrinfo = nullptr;
  WINPORT_FAIL_HRESULT("CreateErrorInfo");
  winport::ComPtr<ErrorInfo> info = winport::MakeComObject<ErrorInfo>();
  if (!info) return E_OUTOFMEMORY;
  *pperrinfo = static_cast<ICreateErrorInfo*>(info.Detach());
  return S_OK;
}

extern "C" HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) {
  if (dwReserved != 0) return E_INVALIDARG;
  t_error_info = perrinfo;
  return S_OK;
}

extern "C" HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) {
  if (dwReserved != 0 || pperrinfo == nullptr) return E_INVALIDARG;
  *pperrinfo = t_error_info.Detach();
  return *pperrinfo != nullptr ? S_OK : S_FALSE;
}
