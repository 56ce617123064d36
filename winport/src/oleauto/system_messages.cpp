// FormatMessageW for FORMAT_MESSAGE_FROM_SYSTEM: the system's own English (en-US) texts
// for the Win32 errors and HRESULTs the module can meet, each with the CR LF the message
// table ends it with. Codes the system has no text for (WMI, MSMQ, private FACILITY_ITF
// codes) fail with ERROR_MR_MID_NOT_FOUND so callers take their fall-back as on Windows.
#include <winport/message.h>
#include <winport/winerror.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>

namespace {

constexpr DWORD kErrorResourceLangNotFound = 1815;

struct SystemMessage {
  DWORD code;  // a Win32 error, or a whole HRESULT
  std::u16string_view text;
};

// clang-format off
constexpr SystemMessage kSystemMessages[] = {
    // Win32 errors; HRESULT_FROM_WIN32 of each finds the same text.
    {0,    u"The operation completed successfully.\r\n"},
    {1,    u"Incorrect function.\r\n"},
    {2,    u"The system cannot find the file specified.\r\n"},
    {3,    u"The system cannot find the path specified.\r\n"},
    {4,    u"The system cannot open the file.\r\n"},
    {5,    u"Access is denied.\r\n"},
    {6,    u"The handle is invalid.\r\n"},
    {8,    u"Not enough memory resources are available to process this command.\r\n"},
    {13,   u"The data is invalid.\r\n"},
    {14,   u"Not enough memory resources are available to complete this operation.\r\n"},
    {29,   u"The system cannot write to the specified device.\r\n"},
    {30,   u"The system cannot read from the specified device.\r\n"},
    {31,   u"A device attached to the system is not functioning.\r\n"},
    {32,   u"The process cannot access the file because it is being used by another process.\r\n"},
    {33,   u"The process cannot access the file because another process has locked a portion of the file.\r\n"},
    {38,   u"Reached the end of the file.\r\n"},
    {50,   u"The request is not supported.\r\n"},
    {80,   u"The file exists.\r\n"},
    {87,   u"The parameter is incorrect.\r\n"},
    {120,  u"This function is not supported on this system.\r\n"},
    {122,  u"The data area passed to a system call is too small.\r\n"},
    {123,  u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126,  u"The specified module could not be found.\r\n"},
    {127,  u"The specified procedure could not be found.\r\n"},
    {131,  u"An attempt was made to move the file pointer before the beginning of the file.\r\n"},
    {145,  u"The directory is not empty.\r\n"},
    {161,  u"The specified path is invalid.\r\n"},
    {183,  u"Cannot create a file when that file already exists.\r\n"},
    {203,  u"The system could not find the environment option that was entered.\r\n"},
    {234,  u"More data is available.\r\n"},
    {258,  u"The wait operation timed out.\r\n"},
    {259,  u"No more data is available.\r\n"},
    {288,  u"Attempt to release mutex not owned by caller.\r\n"},
    {1004, u"Invalid flags.\r\n"},
    {1008, u"An attempt was made to reference a token that does not exist.\r\n"},
    {1009, u"The configuration registry database is corrupt.\r\n"},
    {1010, u"The configuration registry key is invalid.\r\n"},
    {1011, u"The configuration registry key could not be opened.\r\n"},
    {1012, u"The configuration registry key could not be read.\r\n"},
    {1013, u"The configuration registry key could not be written.\r\n"},
    {1018, u"Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {1060, u"The specified service does not exist as an installed service.\r\n"},
    {1113, u"No mapping for the Unicode character exists in the target multi-byte code page.\r\n"},
    {1114, u"A dynamic link library (DLL) initialization routine failed.\r\n"},
    {1244, u"The operation being requested was not performed because the user has not been authenticated.\r\n"},
    {1337, u"The security ID structure is invalid.\r\n"},
    {1460, u"This operation returned because the timeout period expired.\r\n"},
    {1813, u"The specified resource type cannot be found in the image file.\r\n"},
    {1815, u"The specified resource language ID cannot be found in the image file.\r\n"},

    // HRESULTs of FACILITY_NULL, FACILITY_RPC, FACILITY_ITF (COM's own) and FACILITY_DISPATCH.
    {0x8000FFFF, u"Catastrophic failure\r\n"},
    {0x80004001, u"Not implemented\r\n"},
    {0x80004002, u"No such interface supported\r\n"},
    {0x80004003, u"Invalid pointer\r\n"},
    {0x80004004, u"Operation aborted\r\n"},
    {0x80004005, u"Unspecified error\r\n"},
    {0x80010106, u"Cannot change thread mode after it is set.\r\n"},
    {0x80040005, u"Need to run the object to perform this operation\r\n"},
    {0x80040110, u"Class does not support aggregation (or class object is remote)\r\n"},
    {0x80040111, u"ClassFactory cannot supply requested class\r\n"},
    {0x80040150, u"Could not read key from registry\r\n"},
    {0x80040154, u"Class not registered\r\n"},
    {0x80040155, u"Interface not registered\r\n"},
    {0x800401F0, u"CoInitialize has not been called.\r\n"},
    {0x800401F3, u"Invalid class string\r\n"},
    {0x800401F4, u"Invalid interface string\r\n"},
    {0x800401F8, u"DLL for class not found\r\n"},
    {0x800401F9, u"Error in the DLL\r\n"},
    {0x800401FB, u"Object is not registered\r\n"},
    {0x80020001, u"Unknown interface.\r\n"},
    {0x80020003, u"Member not found.\r\n"},
    {0x80020004, u"Parameter not found.\r\n"},
    {0x80020005, u"Type mismatch.\r\n"},
    {0x80020006, u"Unknown name.\r\n"},
    {0x80020008, u"Bad variable type.\r\n"},
    {0x80020009, u"Exception occurred.\r\n"},
    {0x8002000A, u"Out of present range.\r\n"},
    {0x8002000B, u"Invalid index.\r\n"},
    {0x8002000D, u"Memory is locked.\r\n"},
    {0x8002000E, u"Invalid number of parameters.\r\n"},
    {0x80020012, u"Division by zero.\r\n"},
    {0x8002801D, u"Library not registered.\r\n"},
    {0x80029C4A, u"Error loading type library/DLL.\r\n"},
};
// clang-format on

const SystemMessage* FindSystemMessage(DWORD code) {
  // The system keeps Win32 texts once; an HRESULT wrapping a Win32 error finds them.
  if ((code & 0xFFFF0000u) == 0x80070000u) code &= 0xFFFFu;
  const auto found = std::find_if(std::begin(kSystemMessages), std::end(kSystemMessages),
                                  [code](const SystemMessage& m) { return m.code == code; });
  return found == std::end(kSystemMessages) ? nullptr : found;
}

// The texts are English; neutral, the defaults (which resolve to en-US on this system)
// and English itself find them.
bool IsServedLanguage(DWORD language) {
  switch (language) {
    case 0:                                          // neutral: the system's search
    case MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT):  // user default
    case MAKELANGID(LANG_NEUTRAL, 0x02):             // system default
    case MAKELANGID(LANG_ENGLISH, SUBLANG_NEUTRAL):
    case MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US):
      return true;
    default:
      return false;
  }
}

DWORD Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

}  // namespace

extern "C" DWORD FormatMessageW(DWORD dwFlags, LPCVOID /*lpSource*/, DWORD dwMessageId,
                                DWORD dwLanguageId, LPWSTR lpBuffer, DWORD nSize,
                                void* /*Arguments*/) {
  const bool allocate = (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
  if (lpBuffer == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (allocate) *reinterpret_cast<LPWSTR*>(lpBuffer) = nullptr;
  // Only the system's table is served: no caller-supplied string or module.
  if ((dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 ||
      (dwFlags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)) != 0) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (!IsServedLanguage(dwLanguageId)) return Fail(kErrorResourceLangNotFound);
  const SystemMessage* message = FindSystemMessage(dwMessageId);
  if (message == nullptr) return Fail(ERROR_MR_MID_NOT_FOUND);

  // No text in the table has an insert, so formatting with or without
  // FORMAT_MESSAGE_IGNORE_INSERTS gives the same characters. The line-width bits are not
  // applied: texts come back as stored.
  const std::u16string_view text = message->text;
  const DWORD length = static_cast<DWORD>(text.size());
  LPWSTR out;
  if (allocate) {
    // nSize is the least the caller wants allocated, in characters.
    const DWORD chars = std::max(nSize, length + 1);
    out = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, chars * sizeof(WCHAR)));
    if (out == nullptr) return 0;  // LocalAlloc has set the last error
    *reinterpret_cast<LPWSTR*>(lpBuffer) = out;
  } else {
    if (nSize < length + 1) return Fail(ERROR_INSUFFICIENT_BUFFER);
    out = lpBuffer;
  }
  std::memcpy(out, text.data(), length * sizeof(WCHAR));
  out[length] = 0;
  return length;
}
