#include "caller_session.h"

#include <string>
#include <utility>
#include <vector>

#include <winport/scoped_bstr.h>
#include <winport/scoped_safe_array.h>

#include "com_support.h"
#include "host/common/utc_time.h"

namespace quillmere::host {

CallerSession::CallerSession(std::shared_ptr<SessionContext> context,
                             std::shared_ptr<SessionState> state)
    : context_(std::move(context)), state_(std::move(state)) {}

HRESULT CallerSession::GetIdentityToken(BSTR* token) {
  return GiveText(token, state_->token);
}

HRESULT CallerSession::GetSessionText(BSTR* text) {
  return GiveText(text, "session " + std::to_string(state_->id) + " of " + state_->user);
}

HRESULT CallerSession::GetUser(BSTR* user) {
  return GiveText(user, state_->user);
}

HRESULT CallerSession::GetWorkstation(BSTR* workstation) {
  return GiveText(workstation, state_->workstation);
}

HRESULT CallerSession::GetCreated(DATE* created) {
  return Give(created, ToOleDate(state_->created));
}

HRESULT CallerSession::GetLastAccess(DATE* lastAccess) {
  return Give(lastAccess, ToOleDate(state_->LastAccess()));
}

HRESULT CallerSession::Touch() {
  if (state_->closed.load()) return kNotAuthenticated;
  return GuardedUserCall([&] {
    state_->Touch(context_->timing.now());
    return S_OK;
  });
}

HRESULT CallerSession::IsAdmin(LONG* flags) {
  return Give(flags, static_cast<LONG>(state_->groups & quillmere::GroupAdmin));
}

HRESULT CallerSession::GetUserPermissions(BSTR user, ULONG* groups) {
  if (groups == nullptr) return E_POINTER;
  *groups = 0;
  return GuardedUserCall([&] {
    // A name that is no user has no permissions.
    *groups = context_->users.Groups(Utf8Of(user)).value_or(0);
    return S_OK;
  });
}

HRESULT CallerSession::SetUserPermissions(BSTR user, ULONG groups) {
  if (!Administrator()) return E_ACCESSDENIED;
  return GuardedUserCall([&] {
    context_->users.SetGroups(Utf8Of(user), groups);
    return S_OK;
  });
}

HRESULT CallerSession::SetPassword(BSTR user, BSTR password) {
  if (!Administrator()) return E_ACCESSDENIED;
  return GuardedUserCall([&] {
    context_->users.SetPassword(Utf8Of(user), Utf8Of(password));
    return S_OK;
  });
}

HRESULT CallerSession::GetUserList(VARIANT* users) {
  if (users == nullptr) return E_POINTER;
  VariantInit(users);
  return GuardedUserCall([&] {
    const std::vector<UserEntry> entries = context_->users.List();
    winport::ScopedSafeArray names(
        SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(entries.size())));
    if (names.Get() == nullptr) return E_OUTOFMEMORY;
    for (LONG index = 0; index < static_cast<LONG>(entries.size()); ++index) {
      winport::ScopedBstr name;
      name.Reset(NewBstr(entries[static_cast<size_t>(index)].name));
      const HRESULT put = SafeArrayPutElement(names.Get(), &index, name.Get());
      if (FAILED(put)) return put;
    }
    users->vt = VT_ARRAY | VT_BSTR;
    users->parray = names.Release();
    return S_OK;
  });
}

bool CallerSession::Administrator() const {
  return (state_->groups & quillmere::GroupAdmin) != 0;
}

}  // namespace quillmere::host
