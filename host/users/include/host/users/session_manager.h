// The session manager, the host's named object "Session": logons against the user
// store, sessions by identity token with an idle timeout, and their enumeration.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <winport/com_object.h>
#include <winport/com_ptr.h>
#include <winport/windows.h>

#include "host/users/logon_throttle.h"
#include "host/users/user_store.h"
#include "quillmere/session_manager.h"

namespace quillmere::host {

struct SessionInfo {
  LONG id;
  std::string token, user, workstation;
  DATE created, lastAccess;
  ULONG groups;
};

// Called without the session table locked, on the thread that opened or closed the session.
struct SessionEvents {
  std::function<void(const SessionInfo&)> opened, closed;
};

// Where the manager reads the time; tests replace it.
struct SessionTiming {
  std::function<std::chrono::system_clock::time_point()> now = [] {
    return std::chrono::system_clock::now();
  };
};

// Live sessions at most, per user and in all.
struct SessionLimits {
  size_t perUser = 32;
  size_t total = 1024;
};

enum class LogonRefusal {
  kNone,
  kWrongCredentials,  // unknown user or wrong password
  kTryLater,          // the name or the address is in its delay after failures
  kBusy,              // password hashing is full
  kUserSessionLimit,  // the user has SessionLimits::perUser sessions
  kSessionLimit,      // the host has SessionLimits::total sessions
};

struct LogonResult {
  std::string token;  // when not refused
  LogonRefusal refusal = LogonRefusal::kNone;
  std::chrono::milliseconds retryAfter{};  // kTryLater: how long until the next attempt

  explicit operator bool() const { return refusal == LogonRefusal::kNone; }
};

struct SessionState;
struct SessionContext;

class SessionManager : public winport::ComObject<quillmere::ISessionManagerReconnect,
                                                 quillmere::ISessionManagerEnumeration> {
 public:
  SessionManager(UserStore& users, std::chrono::seconds idleTimeout, SessionEvents events,
                 std::function<LONG(const std::string& token)> jobCount, SessionTiming timing,
                 SessionLimits limits);

  // Unknown, logged off and expired tokens: HRESULT_FROM_WIN32(ERROR_NOT_AUTHENTICATED).
  HRESULT STDMETHODCALLTYPE Reconnect(BSTR identityToken, quillmere::ISession** session) override;
  // A wrong password or unknown user: E_ACCESSDENIED. Repeated failures for one name make
  // its later attempts refused for a while (LogonThrottle): ERROR_ACCOUNT_LOCKED_OUT;
  // hashing full: ERROR_BUSY; a session limit reached: ERROR_TOO_MANY_SESS.
  HRESULT STDMETHODCALLTYPE Logon(BSTR user, BSTR password, BSTR* identityToken) override;
  HRESULT STDMETHODCALLTYPE PhantomReconnect(BSTR identityToken,
                                             quillmere::ISession** session) override;
  HRESULT STDMETHODCALLTYPE EnumSessions(quillmere::ISessionEnumerator** sessions) override;

  // S_OK, or HRESULT_FROM_WIN32(ERROR_NOT_AUTHENTICATED) when the session had already ended.
  HRESULT Logoff(BSTR identityToken);

  // The same for callers holding UTF-8 text. The workstation is the caller's address, by
  // which failures are counted too.
  LogonResult Logon(std::string_view user, std::string_view password,
                    std::string_view workstation = {});
  bool Logoff(std::string_view identityToken);

  // By session id.
  std::vector<SessionInfo> Sessions() const;
  // Ends the sessions idle for the timeout or longer; the host calls it now and then.
  void ExpireIdle();
  size_t Count() const;

 private:
  HRESULT Connect(BSTR identityToken, bool activity, quillmere::ISession** session);
  bool Expired(const SessionState& state, std::chrono::system_clock::time_point now) const;
  std::shared_ptr<SessionState> Close(const std::string& token);
  void Closed(const std::vector<std::shared_ptr<SessionState>>& states) const;

  std::shared_ptr<SessionContext> context_;
  std::chrono::seconds idleTimeout_;
  SessionEvents events_;
  std::function<LONG(const std::string&)> jobCount_;
  SessionLimits limits_;
  LogonThrottle throttle_;

  mutable std::mutex mutex_;
  std::unordered_map<std::string, std::shared_ptr<SessionState>> sessions_;
  LONG nextId_ = 1;
};

winport::ComPtr<SessionManager> MakeSessionManager(
    UserStore& users, std::chrono::seconds idleTimeout, SessionEvents events,
    std::function<LONG(const std::string& token)> jobCount, SessionTiming timing = {},
    SessionLimits limits = {});

}  // namespace quillmere::host
