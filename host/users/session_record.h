// A session as the enumeration lists it: as it was when the enumeration began. What never
// changes in a session is shared with it rather than copied; the last access is a copy.
#pragma once

#include <memory>
#include <string>

#include <winport/com_object.h>

#include "host/users/session_manager.h"
#include "quillmere/session_manager.h"
#include "session_state.h"

namespace quillmere::host {

// GetState's value for every listed session: listed sessions are open.
inline constexpr LONG kSessionOpen = 1;

class SessionRecord : public winport::ComObject<quillmere::ISessionRecord> {
 public:
  SessionRecord(std::shared_ptr<const SessionState> state, LONG jobs);

  HRESULT STDMETHODCALLTYPE GetSessionId(LONG* id) override;
  HRESULT STDMETHODCALLTYPE GetUser(BSTR* user) override;
  HRESULT STDMETHODCALLTYPE GetIdentityToken(BSTR* token) override;
  HRESULT STDMETHODCALLTYPE GetWorkstation(BSTR* workstation) override;
  HRESULT STDMETHODCALLTYPE GetCreated(DATE* created) override;
  HRESULT STDMETHODCALLTYPE GetLastAccess(DATE* lastAccess) override;
  HRESULT STDMETHODCALLTYPE GetJobCount(LONG* count) override;
  HRESULT STDMETHODCALLTYPE GetXml(BSTR* xml) override;
  HRESULT STDMETHODCALLTYPE GetState(LONG* state) override;
  HRESULT STDMETHODCALLTYPE GetGroups(ULONG* groups) override;

 private:
  std::shared_ptr<const SessionState> state_;
  DATE lastAccess_;
  LONG jobs_;
};

// <SESSION id="N" user="name" started="YYYY-MM-DDTHH:MM:SSZ">, attribute values escaped.
std::string SessionOpeningXml(LONG id, std::string_view user,
                              std::chrono::system_clock::time_point started);

}  // namespace quillmere::host
