// The caller's own session, as Reconnect hands it out: what it is, and the user
// administration it offers (changes only for administrators).
#pragma once

#include <memory>

#include <winport/com_object.h>

#include "quillmere/session_manager.h"
#include "session_state.h"

namespace quillmere::host {

class CallerSession
    : public winport::ComObject<quillmere::ISession, quillmere::IUserAdministration> {
 public:
  CallerSession(std::shared_ptr<SessionContext> context, std::shared_ptr<SessionState> state);

  HRESULT STDMETHODCALLTYPE GetIdentityToken(BSTR* token) override;
  HRESULT STDMETHODCALLTYPE GetSessionText(BSTR* text) override;
  HRESULT STDMETHODCALLTYPE GetUser(BSTR* user) override;
  HRESULT STDMETHODCALLTYPE GetWorkstation(BSTR* workstation) override;
  HRESULT STDMETHODCALLTYPE GetCreated(DATE* created) override;
  HRESULT STDMETHODCALLTYPE GetLastAccess(DATE* lastAccess) override;
  HRESULT STDMETHODCALLTYPE Touch() override;
  HRESULT STDMETHODCALLTYPE IsAdmin(LONG* flags) override;

  HRESULT STDMETHODCALLTYPE GetUserPermissions(BSTR user, ULONG* groups) override;
  HRESULT STDMETHODCALLTYPE SetUserPermissions(BSTR user, ULONG groups) override;
  HRESULT STDMETHODCALLTYPE SetPassword(BSTR user, BSTR password) override;
  HRESULT STDMETHODCALLTYPE GetUserList(VARIANT* users) override;

 private:
  bool Administrator() const;

  std::shared_ptr<SessionContext> context_;
  std::shared_ptr<SessionState> state_;
};

}  // namespace quillmere::host
