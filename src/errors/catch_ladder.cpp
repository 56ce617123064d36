// The handlers every entry point ends in: each turns what was thrown into the HRESULT the
// entry returns, reports it and leaves its text as the thread's error info.
#include <exception>
#include <string>
#include <string_view>
#include <type_traits>

#include "bounded_format.h"
#include "error_info.h"
#include "errors/automation_exception.h"
#include "errors/com_error.h"
#include "errors/entry.h"
#include "errors/failure_helpers.h"
#include "errors/structured_exception.h"

namespace quillmere {

namespace {

constexpr std::size_t kNumberTextLimit = 200;
constexpr const char* kUnknownException = "Unknown exception";

// A handler's own work may fail (reporting allocates, the sink may throw); that failure is
// dropped so the entry still returns the HRESULT of what it caught.
template <class Work>
void Guarded(Work&& work) noexcept {
  RunIgnoringFailure(std::forward<Work>(work));
}

const OLECHAR* NullIfEmpty(const winport::WideString& text) {
  return text.empty() ? nullptr : text.c_str();
}

// The error info is set after the report: reporting may run entries of its own (reading
// its settings), and the caller must see this failure, not one of those.
void ReportErrorAndSetInfo(ReportSink& sink, const OLECHAR* source, winport::WideView text,
                           HRESULT hr) {
  Guarded([&] {
    const winport::WideString description(text);
    sink.ReportError(source, description.c_str(), hr, nullptr);
  });
  Guarded([&] { MakeErrorInfo(text); });
}

void ReportErrorAndSetInfo(ReportSink& sink, const OLECHAR* source, std::string_view text,
                           HRESULT hr) {
  Guarded([&] {
    const winport::WideString description = AnsiToWide(text);
    sink.ReportError(source, description.c_str(), hr, nullptr);
  });
  Guarded([&] { MakeErrorInfo(text); });
}

HRESULT ReportFailure(ReportSink& sink, const OLECHAR* source, std::string_view text) {
  Guarded([&] {
    const winport::WideString description = AnsiToWide(text);
    sink.Report(1, source, description.c_str());
  });
  Guarded([&] { MakeErrorInfo(text); });
  return E_FAIL;
}

// kind is the thrown type as the text names it: "HRESULT", "int" or "UINT".
HRESULT ReportThrownNumber(ReportSink& sink, const OLECHAR* source, const char* kind, LONG value) {
  std::string text;
  Guarded([&] {
    text = BoundedFormat(kNumberTextLimit, "Unknown exception (%s): 0x%08X (%d)", kind,
                         static_cast<unsigned>(value), static_cast<int>(value));
  });
  return ReportFailure(sink, source, text);
}

HRESULT HandleComError(ReportSink& sink, const OLECHAR* source, const _com_error& error) {
  Guarded([&] {
    winport::WideString text = OLESTR("COM Error:  ");
    text += error.ErrorMessage();
    const winport::WideString description = error.Description();
    if (!description.empty()) {
      text += OLESTR('\n');
      text += description;
    }
    const winport::WideString location = error.Source();
    sink.ReportError(source, text.c_str(), error.Error(), NullIfEmpty(location));
  });
  Guarded([&] { SetErrorInfo(0, error.ErrorInfo()); });
  return error.Error();
}

}  // namespace

HRESULT HandleEntryException(ReportSink& sink, const OLECHAR* source) noexcept {
  try {
    throw;
  } catch (const _com_error& error) {
    return HandleComError(sink, source, error);
  } catch (const AutomationException<char>& exception) {
    ReportErrorAndSetInfo(sink, source, std::string_view(exception.Message()), exception.Error());
    return exception.Error();
  } catch (const AutomationException<OLECHAR>& exception) {
    ReportErrorAndSetInfo(sink, source, winport::WideView(exception.Message()), exception.Error());
    return exception.Error();
  } catch (const access_violation& exception) {
    const HRESULT hr = static_cast<HRESULT>(exception.code());
    std::string text;
    Guarded([&] { text = AccessViolationMessage(exception); });
    ReportErrorAndSetInfo(sink, source, std::string_view(text), hr);
    return hr;
  } catch (const win32_exception& exception) {
    const HRESULT hr = static_cast<HRESULT>(exception.code());
    std::string text;
    Guarded([&] { text = Win32ExceptionMessage(exception); });
    ReportErrorAndSetInfo(sink, source, std::string_view(text), hr);
    return hr;
  } catch (const std::exception& exception) {
    return ReportFailure(sink, source, exception.what());
  } catch (long value) {
    // A thrown HRESULT or LONG, where those are long. Where long is 64 bits wide, the value
    // is read as the 32-bit code it stands for.
    return ReportThrownNumber(sink, source, "HRESULT", static_cast<LONG>(value));
  } catch (int value) {
    // Where LONG and HRESULT are int, a thrown int cannot be told from a thrown HRESULT;
    // it is read as the HRESULT, so a thrown code reads the same on every platform.
    constexpr const char* kind = std::is_same_v<LONG, int> ? "HRESULT" : "int";
    return ReportThrownNumber(sink, source, kind, static_cast<LONG>(value));
  } catch (unsigned int value) {
    return ReportThrownNumber(sink, source, "UINT", static_cast<LONG>(value));
  } catch (...) {
    return ReportFailure(sink, source, kUnknownException);
  }
}

}  // namespace quillmere
