// A session manager over a real user store, standing on a clock the test moves and
// recording its session events.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <winport/com_ptr.h>
#include <winport/scoped_bstr.h>
#include <winport/wide.h>

#include "host/users/session_manager.h"
#include "host/users/user_store.h"

namespace quillmere::host {

inline winport::ScopedBstr Bstr(const std::string& text) {
  return winport::ScopedBstr(winport::Utf8ToWide(text).c_str());
}

inline std::string Utf8(const winport::ScopedBstr& text) {
  return winport::WideToUtf8(winport::BstrView(text.Get()));
}

class SessionTest : public testing::Test {
 protected:
  using Clock = std::chrono::system_clock;
  static constexpr std::chrono::seconds kIdle{600};
  // 2026-12-07T04:05:06Z
  static constexpr Clock::time_point kStart{std::chrono::seconds(1796616306)};

  SessionTest() {
    users_.Add("admin", "admin password", GroupAdmin | GroupBatch);
    users_.Add("bob", "bob password", GroupPortal | GroupUploadData);
  }

  std::string LogOn(const std::string& user, const std::string& password) {
    winport::ScopedBstr token;
    EXPECT_EQ(manager_->Logon(Bstr(user).Get(), Bstr(password).Get(), token.Receive()), S_OK);
    return Utf8(token);
  }
  HRESULT Connect(const std::string& token, winport::ComPtr<ISession>& session,
                  bool phantom = false) {
    const winport::ScopedBstr text = Bstr(token);
    return phantom ? manager_->PhantomReconnect(text.Get(), session.ReleaseAndGetAddressOf())
                   : manager_->Reconnect(text.Get(), session.ReleaseAndGetAddressOf());
  }
  void Advance(std::chrono::seconds seconds) { now_ = now_.load() + seconds; }

  // Room for every thread of the concurrency test to wait for hashing.
  UserStore users_{DefaultUserDatabase(), {.threads = 2, .queued = 8}};
  std::atomic<Clock::time_point> now_{kStart};
  std::mutex mutex_;
  std::vector<std::string> opened_, closed_;  // "id user"
  std::map<std::string, LONG> jobs_;          // by token
  winport::ComPtr<SessionManager> manager_ = MakeSessionManager(
      users_, kIdle,
      {[this](const SessionInfo& s) { Record(opened_, s); },
       [this](const SessionInfo& s) { Record(closed_, s); }},
      [this](const std::string& token) { return jobs_.count(token) ? jobs_[token] : 0; },
      {[this] { return now_.load(); }});

 private:
  void Record(std::vector<std::string>& events, const SessionInfo& session) {
    std::lock_guard lock(mutex_);
    events.push_back(std::to_string(session.id) + " " + session.user);
  }
};

}  // namespace quillmere::host
