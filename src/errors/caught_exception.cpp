#include "errors/caught_exception.h"

#include <exception>
#include <type_traits>

#include "error_info.h"
#include "errors/automation_exception.h"

namespace quillmere {

CaughtException ClassifyCaughtException() noexcept {
  CaughtException caught;
  try {
    throw;
  } catch (const _com_error& error) {
    caught.kind = CaughtKind::kComError;
    caught.code = error.Error();
    caught.comError = &error;
  } catch (const AutomationException<char>& exception) {
    caught.kind = CaughtKind::kAutomation;
    caught.code = exception.Error();
    caught.narrow = exception.Message();
  } catch (const AutomationException<OLECHAR>& exception) {
    caught.kind = CaughtKind::kAutomation;
    caught.code = exception.Error();
    caught.wide = exception.Message();
  } catch (const access_violation& exception) {
    caught.kind = CaughtKind::kAccessViolation;
    caught.code = static_cast<HRESULT>(exception.code());
    caught.narrow = exception.what();
    caught.win32 = &exception;
  } catch (const win32_exception& exception) {
    caught.kind = CaughtKind::kWin32;
    caught.code = static_cast<HRESULT>(exception.code());
    caught.narrow = exception.what();
    caught.win32 = &exception;
  } catch (const std::exception& exception) {
    caught.kind = CaughtKind::kStandard;
    caught.narrow = exception.what();
  } catch (long value) {
    // A thrown HRESULT or LONG, where those are long. Where long is 64 bits wide, the value
    // is read as the 32-bit code it stands for.
    caught.kind = CaughtKind::kThrownHresult;
    caught.number = static_cast<LONG>(value);
  } catch (int value) {
    // Where LONG and HRESULT are int, a thrown int and a thrown HRESULT are one type: only
    // the value tells them apart. A negative one has the failure bit of a code and is read
    // as the HRESULT, so a thrown code reads the same on every platform; a negative int
    // thrown there cannot be told from one. Where LONG is long, the type decides.
    const bool failureCode = std::is_same_v<LONG, int> && value < 0;
    caught.kind = failureCode ? CaughtKind::kThrownHresult : CaughtKind::kThrownInt;
    caught.number = static_cast<LONG>(value);
  } catch (unsigned int value) {
    caught.kind = CaughtKind::kThrownUnsigned;
    caught.number = static_cast<LONG>(value);
  } catch (...) {
  }
  return caught;
}

winport::WideString CaughtText(const CaughtException& caught) {
  if (!caught.wide.empty()) return winport::WideString(caught.wide);
  return AnsiToWide(caught.narrow);
}

}  // namespace quillmere
