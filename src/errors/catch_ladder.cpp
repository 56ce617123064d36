// The handlers every entry point ends in: each turns what was thrown into the HRESULT the
// entry returns, reports it and leaves its text as the thread's error info.
#include <string>

#include "bounded_format.h"
#include "error_info.h"
#include "errors/caught_exception.h"
#include "errors/com_error.h"
#include "errors/entry.h"
#include "errors/failure_helpers.h"
#include "errors/structured_exception.h"

namespace quillmere {

namespace {

constexpr std::size_t kNumberTextLimit = 200;
constexpr const char* kUnknownException = "Unknown exception";

const OLECHAR* NullIfEmpty(const winport::WideString& text) {
  return text.empty() ? nullptr : text.c_str();
}

// A handler's own work may fail (reporting allocates, the sink may throw); that failure is
// dropped so the entry still returns the HRESULT of what it caught.
//
// Reports the text makeText makes (nothing when it cannot be made), then leaves it as the
// thread's error info. The error info comes after the report: reporting may run entries of
// its own (reading its settings), and the caller must see this failure, not one of those.
template <class MakeText, class Report>
void ReportAndSetInfo(MakeText&& makeText, Report&& report) {
  winport::WideString text;
  if (!RunIgnoringFailure([&] { text = makeText(); })) return;
  RunIgnoringFailure([&] { report(text.c_str()); });
  RunIgnoringFailure([&] { MakeErrorInfo(winport::WideView(text)); });
}

// A failure that carries its own code: an error record with the code, which is returned.
template <class MakeText>
HRESULT ReportWithCode(ReportSink& sink, const OLECHAR* source, HRESULT hr, MakeText&& makeText) {
  ReportAndSetInfo(makeText,
                   [&](const OLECHAR* text) { sink.ReportError(source, text, hr, nullptr); });
  return hr;
}

// A failure without a code: a level-1 report, and E_FAIL.
template <class MakeText>
HRESULT ReportFailure(ReportSink& sink, const OLECHAR* source, MakeText&& makeText) {
  ReportAndSetInfo(makeText, [&](const OLECHAR* text) { sink.Report(kLevelError, source, text); });
  return E_FAIL;
}

// kind is the thrown type as the text names it: "HRESULT", "int" or "UINT".
HRESULT ReportThrownNumber(ReportSink& sink, const OLECHAR* source, const char* kind, LONG value) {
  return ReportFailure(sink, source, [&] {
    return AnsiToWide(BoundedFormat(kNumberTextLimit, "Unknown exception (%s): 0x%08X (%d)", kind,
                                    static_cast<unsigned>(value), static_cast<int>(value)));
  });
}

HRESULT HandleComError(ReportSink& sink, const OLECHAR* source, const _com_error& error) {
  RunIgnoringFailure([&] {
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
  RunIgnoringFailure([&] { SetErrorInfo(0, error.ErrorInfo()); });
  return error.Error();
}

}  // namespace

HRESULT HandleEntryException(ReportSink& sink, const OLECHAR* source) noexcept {
  const CaughtException caught = ClassifyCaughtException();
  switch (caught.kind) {
    case CaughtKind::kComError:
      return HandleComError(sink, source, *caught.comError);
    case CaughtKind::kAutomation:
      return ReportWithCode(sink, source, caught.code, [&] { return CaughtText(caught); });
    case CaughtKind::kAccessViolation:
      return ReportWithCode(sink, source, caught.code, [&] {
        return AnsiToWide(
            AccessViolationMessage(static_cast<const access_violation&>(*caught.win32)));
      });
    case CaughtKind::kWin32:
      return ReportWithCode(sink, source, caught.code,
                            [&] { return AnsiToWide(Win32ExceptionMessage(*caught.win32)); });
    case CaughtKind::kStandard:
      return ReportFailure(sink, source, [&] { return CaughtText(caught); });
    // Where LONG is int, a thrown negative int cannot be told from a thrown HRESULT and
    // reads as one; every other int reads as an int (ClassifyCaughtException).
    case CaughtKind::kThrownHresult:
      return ReportThrownNumber(sink, source, "HRESULT", caught.number);
    case CaughtKind::kThrownInt:
      return ReportThrownNumber(sink, source, "int", caught.number);
    case CaughtKind::kThrownUnsigned:
      return ReportThrownNumber(sink, source, "UINT", caught.number);
    case CaughtKind::kUnknown:
      break;
  }
  return ReportFailure(sink, source, [] { return AnsiToWide(kUnknownException); });
}

}  // namespace quillmere
