#include "error_info.h"

#include <climits>
#include <new>

#include <winport/scoped_bstr.h>

#include "errors/com_error.h"
#include "errors/failure_helpers.h"

namespace quillmere {

namespace {

[[noreturn]] void RaiseLastError() {
  const DWORD error = GetLastError();
  RaiseComErrorWithoutInfo(error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL);
}

}  // namespace

winport::ComPtr<IErrorInfo> MakeErrorInfo(winport::WideView text) {
  if (text.size() > UINT_MAX / sizeof(OLECHAR)) RaiseComErrorWithoutInfo(E_OUTOFMEMORY);
  // SetDescription wants a terminated string; a view need not be one.
  winport::ScopedBstr description;
  description.Reset(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  if (description.Get() == nullptr) RaiseComErrorWithoutInfo(E_OUTOFMEMORY);

  winport::ComPtr<ICreateErrorInfo> create;
  HRESULT hr = CreateErrorInfo(create.GetAddressOf());
  if (FAILED(hr)) RaiseComErrorWithoutInfo(hr);
  hr = create->SetDescription(description.Get());
  if (FAILED(hr)) RaiseComErrorWithoutInfo(hr);
  winport::ComPtr<IErrorInfo> info;
  hr = create.As(&info);
  if (FAILED(hr)) RaiseComErrorWithoutInfo(hr);
  SetErrorInfo(0, info.Get());
  return info;
}

winport::ComPtr<IErrorInfo> MakeErrorInfo(std::string_view text) {
  return MakeErrorInfo(winport::WideView(AnsiToWide(text)));
}

winport::WideString AnsiToWide(std::string_view text) {
  if (text.empty()) return winport::WideString();
  if (text.size() > static_cast<std::size_t>(INT_MAX)) RaiseComErrorWithoutInfo(E_OUTOFMEMORY);
  const int length = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) RaiseLastError();
  winport::WideString wide;
  OrOutOfMemory([&] { wide.resize(static_cast<std::size_t>(needed)); });
  const int converted =
      MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), length, wide.data(), needed);
  if (converted != needed) RaiseLastError();
  return wide;
}

}  // namespace quillmere
