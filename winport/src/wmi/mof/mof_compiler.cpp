// The MOF compiler (CLSID_MofCompiler): IMofCompiler over the WMI client API.
#include <cstdarg>
#include <new>
#include <string>
#include <vector>

#include <winport/com_object.h>
#include <winport/scoped_bstr.h>
#include <winport/scoped_handle.h>
#include <winport/windows_api.h>

#include "com/built_in_class_factory.h"
#include "com/built_in_classes.h"
#include "common/injected_fault.h"
#include "mof_parser.h"
#include "mof_source_text.h"
#include "mof_store.h"

namespace winport::wmi {
namespace {

// The phases WBEM_COMPILE_STATUS_INFO::lPhaseError names.
constexpr LONG kPhaseNone = 0;
constexpr LONG kPhaseParse = 1;
constexpr LONG kPhaseArgument = 2;
constexpr LONG kPhaseStore = 3;

constexpr OLECHAR kDefaultNamespace[] = u"root\\default";

// Leaves `text` as the thread's error info, for a caller that shows the failure; a
// failure to do so only loses the text.
void SetErrorText(const WideString& text) {
  ComPtr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(create.GetAddressOf()))) return;
  ScopedBstr description(text.c_str());
  create->SetGUID(IID_IMofCompiler);
  create->SetDescription(description.Get());
  ComPtr<IErrorInfo> info;
  if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
}

// Fills the caller's status (when given) and answers as IMofCompiler does: S_OK when all
// went well, WBEM_S_FALSE when the status says what failed.
class Outcome {
 public:
  explicit Outcome(WBEM_COMPILE_STATUS_INFO* info) : info_(info) {
    Report(WBEM_COMPILE_STATUS_INFO{kPhaseNone, S_OK, 0, 0, 0, 0});
  }
  HRESULT Succeeded() const { return S_OK; }
  HRESULT ArgumentError(HRESULT hr) const {
    return Fail(WBEM_COMPILE_STATUS_INFO{kPhaseArgument, hr, 0, 0, 0, 0},
                "MOF compiler argument error 0x%08X", static_cast<unsigned>(hr));
  }
  HRESULT SyntaxError(const MofSyntaxError& error) const {
    return Fail(
        WBEM_COMPILE_STATUS_INFO{kPhaseParse, error.code, 0, error.where.line, error.where.line, 0},
        "line %d, column %d: %s (0x%08X)", error.where.line, error.where.column,
        error.message.c_str(), static_cast<unsigned>(error.code));
  }
  HRESULT StoreError(const MofStoreFailure& failure) const {
    return Fail(WBEM_COMPILE_STATUS_INFO{kPhaseStore, failure.code, failure.object_number,
                                         failure.first_line, failure.last_line, 0},
                "object %d (lines %d-%d) could not be stored: 0x%08X",
                static_cast<int>(failure.object_number), static_cast<int>(failure.first_line),
                static_cast<int>(failure.last_line), static_cast<unsigned>(failure.code));
  }

 private:
  HRESULT Fail(const WBEM_COMPILE_STATUS_INFO& status, const char* format, ...) const
      __attribute__((format(printf, 3, 4))) {
    std::va_list args;
    va_start(args, format);
    try {
      SetErrorText(FormatWideV(format, args));
    } catch (const std::bad_alloc&) {
      // The status still says what failed.
    }
    va_end(args);
    return Report(status);
  }
  HRESULT Report(const WBEM_COMPILE_STATUS_INFO& status) const {
    if (info_ != nullptr) *info_ = status;
    if (status.lPhaseError != kPhaseNone) return WBEM_S_FALSE;
    return S_OK;
  }

  WBEM_COMPILE_STATUS_INFO* info_;
};

HRESULT LastErrorResult() {
  const DWORD error = GetLastError();
  return error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

HRESULT ReadWholeFile(LPCWSTR name, std::vector<BYTE>* bytes) {
  ScopedHandle file(CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return LastErrorResult();
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size)) return LastErrorResult();
  if (size.QuadPart > 0x7FFFFFFF) return WBEMMOF_E_INVALID_FILE;
  bytes->resize(static_cast<std::size_t>(size.QuadPart));
  DWORD read = 0;
  if (!ReadFile(file.Get(), bytes->data(), static_cast<DWORD>(bytes->size()), &read, nullptr)) {
    return LastErrorResult();
  }
  bytes->resize(read);
  return S_OK;
}

class MofCompilerObject final : public ComObject<IMofCompiler> {
 public:
  HRESULT STDMETHODCALLTYPE CompileFile(LPWSTR FileName, LPWSTR ServerAndNamespace, LPWSTR, LPWSTR,
                                        LPWSTR, LONG lOptionFlags, LONG lClassFlags,
                                        LONG lInstanceFlags,
                                        WBEM_COMPILE_STATUS_INFO* pInfo) override {
    WINPORT_FAIL_HRESULT("IMofCompiler::CompileFile");
    const Outcome outcome(pInfo);
    if (FileName == nullptr) return outcome.ArgumentError(WBEM_E_INVALID_PARAMETER);
    try {
      std::vector<BYTE> bytes;
      const HRESULT hr = ReadWholeFile(FileName, &bytes);
      if (FAILED(hr)) return outcome.ArgumentError(hr);
      return Compile(DecodeMofText(bytes.data(), bytes.size()), ServerAndNamespace, lOptionFlags,
                     lClassFlags, lInstanceFlags, outcome);
    } catch (const std::bad_alloc&) {
      return outcome.ArgumentError(WBEM_E_OUT_OF_MEMORY);
    }
  }

  HRESULT STDMETHODCALLTYPE CompileBuffer(LONG BuffSize, BYTE* pBuffer, LPWSTR ServerAndNamespace,
                                          LPWSTR, LPWSTR, LPWSTR, LONG lOptionFlags,
                                          LONG lClassFlags, LONG lInstanceFlags,
                                          WBEM_COMPILE_STATUS_INFO* pInfo) override {
    WINPORT_FAIL_HRESULT("IMofCompiler::CompileBuffer");
    const Outcome outcome(pInfo);
    if (BuffSize < 0 || (pBuffer == nullptr && BuffSize > 0)) {
      return outcome.ArgumentError(WBEM_E_INVALID_PARAMETER);
    }
    try {
      return Compile(DecodeMofText(pBuffer, static_cast<std::size_t>(BuffSize)), ServerAndNamespace,
                     lOptionFlags, lClassFlags, lInstanceFlags, outcome);
    } catch (const std::bad_alloc&) {
      return outcome.ArgumentError(WBEM_E_OUT_OF_MEMORY);
    }
  }

  // Binary MOF is a format of the system's own compiler; this one reads text only.
  HRESULT STDMETHODCALLTYPE CreateBMOF(LPWSTR, LPWSTR, LPWSTR, LONG, LONG, LONG,
                                       WBEM_COMPILE_STATUS_INFO* pInfo) override {
    return Outcome(pInfo).ArgumentError(WBEM_E_NOT_SUPPORTED);
  }

 private:
  static HRESULT Compile(const WideString& text, LPCWSTR server_and_namespace, LONG option_flags,
                         LONG class_flags, LONG instance_flags, const Outcome& outcome) {
    MofParseResult parsed = ParseMof(text);
    if (const auto* error = std::get_if<MofSyntaxError>(&parsed)) {
      return outcome.SyntaxError(*error);
    }
    if ((option_flags & WBEM_FLAG_CHECK_ONLY) != 0) return outcome.Succeeded();
    ComPtr<IWbemLocator> locator;
    HRESULT hr =
        CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                         reinterpret_cast<void**>(locator.GetAddressOf()));
    if (FAILED(hr)) return outcome.StoreError(MofStoreFailure{hr, 0, 0, 0});
    MofStore store(locator,
                   server_and_namespace != nullptr ? server_and_namespace : kDefaultNamespace,
                   class_flags, instance_flags);
    MofStoreFailure failure;
    if (FAILED(store.Store(std::get<MofDocument>(parsed), &failure))) {
      return outcome.StoreError(failure);
    }
    return outcome.Succeeded();
  }
};

// COM activation serves the compiler built in.
const winport::detail::BuiltInClass kMofCompilerClass(
    CLSID_MofCompiler, winport::detail::GetBuiltInClassFactory<MofCompilerObject>);

}  // namespace
}  // namespace winport::wmi
