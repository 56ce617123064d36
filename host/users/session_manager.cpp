#include "host/users/session_manager.h"

#include <algorithm>
#include <utility>

#include "caller_session.h"
#include "com_support.h"
#include "host/common/utc_time.h"
#include "random_text.h"
#include "session_enumerator.h"
#include "session_record.h"
#include "session_state.h"

namespace quillmere::host {

SessionInfo InfoOf(const SessionState& state) {
  return {state.id,
          state.token,
          state.user,
          state.workstation,
          ToOleDate(state.created),
          ToOleDate(state.LastAccess()),
          state.groups};
}

SessionManager::SessionManager(UserStore& users, std::chrono::seconds idleTimeout,
                               SessionEvents events,
                               std::function<LONG(const std::string& token)> jobCount,
                               SessionTiming timing, SessionLimits limits)
    : context_(std::make_shared<SessionContext>(SessionContext{users, std::move(timing)})),
      idleTimeout_(idleTimeout),
      events_(std::move(events)),
      jobCount_(std::move(jobCount)),
      limits_(limits) {}

HRESULT SessionManager::Reconnect(BSTR identityToken, quillmere::ISession** session) {
  return Connect(identityToken, true, session);
}

HRESULT SessionManager::PhantomReconnect(BSTR identityToken, quillmere::ISession** session) {
  return Connect(identityToken, false, session);
}

HRESULT SessionManager::Logon(BSTR user, BSTR password, BSTR* identityToken) {
  if (identityToken == nullptr) return E_POINTER;
  *identityToken = nullptr;
  return GuardedUserCall([&] {
    const LogonResult result = Logon(Utf8Of(user), Utf8Of(password));
    switch (result.refusal) {
      case LogonRefusal::kNone:
        *identityToken = NewBstr(result.token);
        return S_OK;
      case LogonRefusal::kWrongCredentials:
        return E_ACCESSDENIED;
      case LogonRefusal::kTryLater:
        return kLockedOut;
      case LogonRefusal::kBusy:
        return kBusy;
      case LogonRefusal::kUserSessionLimit:
      case LogonRefusal::kSessionLimit:
        return kTooManySessions;
    }
    return E_UNEXPECTED;
  });
}

HRESULT SessionManager::Logoff(BSTR identityToken) {
  return GuardedUserCall([&] { return Logoff(Utf8Of(identityToken)) ? S_OK : kNotAuthenticated; });
}

LogonResult SessionManager::Logon(std::string_view user, std::string_view password,
                                  std::string_view workstation) {
  const SessionTiming& timing = context_->timing;
  // Refused before any hashing: a guesser in its delay costs the host next to nothing.
  const std::chrono::milliseconds wait = throttle_.Admit(user, workstation, timing.now());
  if (wait.count() > 0) return {{}, LogonRefusal::kTryLater, wait};

  std::optional<ULONG> groups;
  try {
    groups = context_->users.Verify(user, password);
  } catch (const HashingBusy&) {
    throttle_.NotChecked(user, workstation);
    return {{}, LogonRefusal::kBusy};
  }
  const auto now = timing.now();
  if (!groups) {
    throttle_.Failed(user, workstation, now);
    return {{}, LogonRefusal::kWrongCredentials};
  }
  throttle_.Succeeded(user, workstation);

  auto state = std::make_shared<SessionState>();
  state->token = RandomToken();
  state->user = user;
  state->workstation = workstation;
  state->created = now;
  state->Touch(now);
  state->groups = *groups;
  {
    std::lock_guard lock(mutex_);
    if (sessions_.size() >= limits_.total) return {{}, LogonRefusal::kSessionLimit};
    const auto own = std::count_if(sessions_.begin(), sessions_.end(),
                                   [&](const auto& entry) { return entry.second->user == user; });
    if (static_cast<size_t>(own) >= limits_.perUser) return {{}, LogonRefusal::kUserSessionLimit};
    state->id = nextId_++;
    state->openingXml = SessionOpeningXml(state->id, state->user, state->created);
    sessions_.emplace(state->token, state);
  }
  if (events_.opened) events_.opened(InfoOf(*state));
  return {state->token};
}

bool SessionManager::Logoff(std::string_view identityToken) {
  const std::shared_ptr<SessionState> closed = Close(std::string(identityToken));
  if (!closed) return false;
  Closed({closed});
  return true;
}

HRESULT SessionManager::EnumSessions(quillmere::ISessionEnumerator** sessions) {
  if (sessions == nullptr) return E_POINTER;
  *sessions = nullptr;
  return GuardedUserCall([&] {
    std::vector<std::shared_ptr<SessionState>> states;
    {
      std::lock_guard lock(mutex_);
      for (const auto& [token, state] : sessions_)
        states.push_back(state);
    }
    std::sort(states.begin(), states.end(),
              [](const auto& a, const auto& b) { return a->id < b->id; });
    auto records = std::make_shared<SessionEnumerator::Records>();
    for (const auto& state : states) {
      const LONG jobs = jobCount_ ? jobCount_(state->token) : 0;
      auto record = winport::MakeComObject<SessionRecord>(state, jobs);
      if (!record) return E_OUTOFMEMORY;
      records->push_back(std::move(record));
    }
    auto enumerator = winport::MakeComObject<SessionEnumerator>(std::move(records));
    if (!enumerator) return E_OUTOFMEMORY;
    *sessions = enumerator.Detach();
    return S_OK;
  });
}

std::vector<SessionInfo> SessionManager::Sessions() const {
  std::vector<SessionInfo> infos;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [token, state] : sessions_)
      infos.push_back(InfoOf(*state));
  }
  std::sort(infos.begin(), infos.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
  return infos;
}

void SessionManager::ExpireIdle() {
  std::vector<std::shared_ptr<SessionState>> expired;
  {
    std::lock_guard lock(mutex_);
    const auto now = context_->timing.now();
    std::erase_if(sessions_, [&](const auto& entry) {
      if (!Expired(*entry.second, now)) return false;
      entry.second->closed = true;
      expired.push_back(entry.second);
      return true;
    });
  }
  Closed(expired);
}

size_t SessionManager::Count() const {
  std::lock_guard lock(mutex_);
  return sessions_.size();
}

HRESULT SessionManager::Connect(BSTR identityToken, bool activity, quillmere::ISession** session) {
  if (session == nullptr) return E_POINTER;
  *session = nullptr;
  return GuardedUserCall([&] {
    const std::string token = Utf8Of(identityToken);
    std::shared_ptr<SessionState> state;
    bool expired = false;
    {
      std::lock_guard lock(mutex_);
      const auto found = sessions_.find(token);
      if (found == sessions_.end()) return kNotAuthenticated;
      const auto now = context_->timing.now();
      state = found->second;
      expired = Expired(*state, now);
      if (expired) {
        state->closed = true;
        sessions_.erase(found);
      } else if (activity) {
        state->Touch(now);
      }
    }
    if (expired) {
      Closed({state});
      return kNotAuthenticated;
    }
    auto caller = winport::MakeComObject<CallerSession>(context_, std::move(state));
    if (!caller) return E_OUTOFMEMORY;
    *session = caller.Detach();
    return S_OK;
  });
}

bool SessionManager::Expired(const SessionState& state,
                             std::chrono::system_clock::time_point now) const {
  return now - state.LastAccess() >= idleTimeout_;
}

std::shared_ptr<SessionState> SessionManager::Close(const std::string& token) {
  std::lock_guard lock(mutex_);
  const auto found = sessions_.find(token);
  if (found == sessions_.end()) return nullptr;
  auto state = std::move(found->second);
  sessions_.erase(found);
  state->closed = true;
  return state;
}

void SessionManager::Closed(const std::vector<std::shared_ptr<SessionState>>& states) const {
  if (!events_.closed) return;
  for (const auto& state : states)
    events_.closed(InfoOf(*state));
}

winport::ComPtr<SessionManager> MakeSessionManager(
    UserStore& users, std::chrono::seconds idleTimeout, SessionEvents events,
    std::function<LONG(const std::string& token)> jobCount, SessionTiming timing,
    SessionLimits limits) {
  return winport::MakeComObject<SessionManager>(users, idleTimeout, std::move(events),
                                                std::move(jobCount), std::move(timing), limits);
}

}  // namespace quillmere::host
