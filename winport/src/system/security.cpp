// The process's token and the SIDs it carries. The Unix user is S-1-22-1-<uid>; tokens
// are objects of the kernel handle table.
#include <winport/message.h>
#include <winport/security.h>

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <winport/fault_injection.h>

#include "kernel/handle_table.h"

namespace {

constexpr SID_IDENTIFIER_AUTHORITY kUnixUserAuthority = {{0, 0, 0, 0, 0, 22}};
constexpr DWORD kUnixUserKind = 1;  // S-1-22-1 users, S-1-22-2 groups

constexpr DWORD kGenericRead = 0x80000000;
constexpr DWORD kGenericAll = 0x10000000;
constexpr DWORD kMaximumAllowed = 0x02000000;

const HANDLE kCurrentProcess = winport::detail::kCurrentProcessPseudoHandle;

// Tokens never change once opened.
struct Token final : winport::detail::KernelObject {
  Token(DWORD access, uid_t user) : access(access), user(user) {}
  const DWORD access;
  const uid_t user;
};

bool Injected(const char* function) {
  std::uint32_t error;
  if (!winport::fault::ShouldFail(function, &error)) return false;
  SetLastError(error);
  return true;
}

// A SID with two sub-authorities, the size of every SID this system makes.
struct UserSid {
  BYTE Revision;
  BYTE SubAuthorityCount;
  SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
  DWORD SubAuthority[2];
};

UserSid SidOfUser(uid_t user) {
  return {SID_REVISION, 2, kUnixUserAuthority, {kUnixUserKind, static_cast<DWORD>(user)}};
}

}  // namespace

extern "C" BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) {
  if (Injected("OpenProcessToken")) return FALSE;
  if (TokenHandle == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (ProcessHandle != kCurrentProcess) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD access = DesiredAccess;
  if ((access & (kGenericAll | kMaximumAllowed)) != 0) access |= TOKEN_ALL_ACCESS;
  if ((access & kGenericRead) != 0) access |= TOKEN_READ;
  // The identity the process acts with, as it is when the token is opened.
  *TokenHandle = winport::detail::InsertHandle(std::make_shared<Token>(access, ::geteuid()));
  return TRUE;
}

extern "C" BOOL GetTokenInformation(HANDLE TokenHandle,
                                    TOKEN_INFORMATION_CLASS TokenInformationClass,
                                    LPVOID TokenInformation, DWORD TokenInformationLength,
                                    PDWORD ReturnLength) {
  if (Injected("GetTokenInformation")) return FALSE;
  const auto token = winport::detail::LookupHandleOf<Token>(TokenHandle);
  if (token == nullptr) return FALSE;
  if (TokenInformationClass != TokenUser) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  if ((token->access & TOKEN_QUERY) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (ReturnLength == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const UserSid sid = SidOfUser(token->user);
  const DWORD needed = static_cast<DWORD>(sizeof(TOKEN_USER) + sizeof sid);
  *ReturnLength = needed;
  if (TokenInformationLength < needed || TokenInformation == nullptr) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // The SID lives in the caller's buffer, right after the structure that points to it.
  auto* bytes = static_cast<BYTE*>(TokenInformation);
  const TOKEN_USER user = {{bytes + sizeof(TOKEN_USER), 0}};
  std::memcpy(bytes, &user, sizeof user);
  std::memcpy(bytes + sizeof(TOKEN_USER), &sid, sizeof sid);
  return TRUE;
}

extern "C" BOOL IsValidSid(PSID pSid) {
  const auto* sid = static_cast<const SID*>(pSid);
  return sid != nullptr && sid->Revision == SID_REVISION &&
         sid->SubAuthorityCount <= SID_MAX_SUB_AUTHORITIES;
}

extern "C" DWORD GetLengthSid(PSID pSid) {
  const auto* sid = static_cast<const SID*>(pSid);
  return static_cast<DWORD>(offsetof(SID, SubAuthority) + sid->SubAuthorityCount * sizeof(DWORD));
}

extern "C" BOOL CopySid(DWORD nDestinationSidLength, PSID pDestinationSid, PSID pSourceSid) {
  if (!IsValidSid(pSourceSid)) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  const DWORD length = GetLengthSid(pSourceSid);
  if (nDestinationSidLength < length || pDestinationSid == nullptr) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memmove(pDestinationSid, pSourceSid, length);
  return TRUE;
}

extern "C" BOOL ConvertSidToStringSidW(PSID Sid, LPWSTR* StringSid) {
  if (Sid == nullptr || StringSid == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!IsValidSid(Sid)) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  const auto* sid = static_cast<const SID*>(Sid);
  std::uint64_t authority = 0;
  for (BYTE byte : sid->IdentifierAuthority.Value)
    authority = authority << 8 | byte;
  // Authorities of 2^32 and up are written as twelve hex digits.
  char part[24];
  if (authority >> 32 == 0) {
    std::snprintf(part, sizeof part, "%llu", static_cast<unsigned long long>(authority));
  } else {
    std::snprintf(part, sizeof part, "0x%012llX", static_cast<unsigned long long>(authority));
  }
  std::string text = "S-" + std::to_string(sid->Revision) + "-" + part;
  for (BYTE i = 0; i < sid->SubAuthorityCount; ++i) {
    DWORD sub_authority;
    std::memcpy(
        &sub_authority,
        reinterpret_cast<const BYTE*>(sid) + offsetof(SID, SubAuthority) + i * sizeof(DWORD),
        sizeof sub_authority);
    text += "-" + std::to_string(sub_authority);
  }
  auto* out = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, (text.size() + 1) * sizeof(WCHAR)));
  if (out == nullptr) return FALSE;
  // The text is ASCII.
  for (std::size_t i = 0; i < text.size(); ++i)
    out[i] = static_cast<WCHAR>(text[i]);
  out[text.size()] = u'\0';
  *StringSid = out;
  return TRUE;
}
