#include "errors/com_error.h"

#include <utility>

#include <winport/scoped_bstr.h>

#include "errors/error_message.h"

namespace quillmere {

namespace {

winport::WideString ReadField(IErrorInfo* info,
                              HRESULT (STDMETHODCALLTYPE IErrorInfo::*get)(BSTR*)) {
  if (info == nullptr) return winport::WideString();
  winport::ScopedBstr text;
  if (FAILED((info->*get)(text.Receive()))) return winport::WideString();
  return winport::WideString(winport::BstrView(text.Get()));
}

}  // namespace

_com_error::_com_error(HRESULT hr, winport::ComPtr<IErrorInfo> errorInfo)
    : hr_(hr), errorInfo_(std::move(errorInfo)) {}

winport::WideString _com_error::Description() const {
  return ReadField(errorInfo_.Get(), &IErrorInfo::GetDescription);
}

winport::WideString _com_error::Source() const {
  return ReadField(errorInfo_.Get(), &IErrorInfo::GetSource);
}

const winport::WideString& _com_error::ErrorMessage() const {
  if (!message_) message_ = quillmere::ErrorMessage(hr_);
  return *message_;
}

void RaiseComError(HRESULT hr) {
  winport::ComPtr<IErrorInfo> info;
  // Taking the thread's error info also clears it: it now travels with the exception.
  if (GetErrorInfo(0, info.GetAddressOf()) != S_OK) info.Reset();
  throw _com_error(hr, std::move(info));
}

void RaiseComErrorWithoutInfo(HRESULT hr) {
  throw _com_error(hr);
}

}  // namespace quillmere
