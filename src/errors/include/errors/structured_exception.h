// Hardware faults as C++ exceptions: the translator installed at every entry point and
// the exception classes it throws, with their names and texts.
#pragma once

#include <exception>
#include <memory>
#include <string>

#include <winport/windows.h>

namespace quillmere {

// Made from a structured exception; keeps its own copies of the record and context.
class win32_exception : public std::exception {
 public:
  explicit win32_exception(const EXCEPTION_POINTERS* pointers);
  win32_exception(const win32_exception& other);
  win32_exception& operator=(const win32_exception& other);
  ~win32_exception() override;

  // The exception's name for its code ("Division By Zero", "0xC0001234").
  const char* what() const noexcept override;

  // 0 when there is no record.
  DWORD code() const noexcept;
  const EXCEPTION_RECORD* record() const noexcept { return record_.get(); }
  const CONTEXT* context() const noexcept { return context_.get(); }

 private:
  std::unique_ptr<EXCEPTION_RECORD> record_;
  std::unique_ptr<CONTEXT> context_;
  char unrecognisedName_[16] = {};
};

class access_violation : public win32_exception {
 public:
  using win32_exception::win32_exception;
};

class numeric_exception : public win32_exception {
 public:
  using win32_exception::win32_exception;
};

// The name and description of an exception code ("Access Violation", ...); the name of
// a code not in the table is the code itself, formatted "0x%8X".
std::string ExceptionName(DWORD code);
const char* ExceptionDescription(DWORD code);

// "Win32 Exception:  <name>  at  0x<address>\n<description>", at most 200 characters.
std::string Win32ExceptionMessage(const win32_exception& exception);
// "Win32 Exception:  <name>  at  0x<address>\nAttempt to read|write at 0x<address>".
std::string AccessViolationMessage(const access_violation& exception);

// The translator: throws access_violation, numeric_exception or win32_exception.
[[noreturn]] void __cdecl TranslateStructuredException(unsigned int code,
                                                       EXCEPTION_POINTERS* pointers);

// Installs the translator on this thread for the scope's life and restores the previous one.
class ScopedSeTranslator {
 public:
  ScopedSeTranslator();
  ~ScopedSeTranslator();
  ScopedSeTranslator(const ScopedSeTranslator&) = delete;
  ScopedSeTranslator& operator=(const ScopedSeTranslator&) = delete;

 private:
  _se_translator_function previous_;
};

}  // namespace quillmere
