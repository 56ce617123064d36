#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "session_fixture.h"

namespace quillmere::host {
namespace {

// Logons, reconnects and enumerations from many threads at once keep every session whole.
TEST_F(SessionTest, EightThreadsLogOnAndReconnectTogether) {
  constexpr int kThreads = 8, kReconnects = 200;
  std::vector<std::string> tokens(kThreads);
  std::vector<int> failures(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const bool admin = t % 2 == 0;
      const auto token =
          manager_->Logon(admin ? "admin" : "bob", admin ? "admin password" : "bob password");
      if (!token) return ++failures[t], void();
      tokens[t] = token.token;
      for (int i = 0; i < kReconnects; ++i) {
        winport::ComPtr<ISession> session;
        winport::ComPtr<ISessionEnumerator> sessions;
        winport::ScopedBstr own;
        if (Connect(token.token, session, i % 2 == 1) != S_OK ||
            session->GetIdentityToken(own.Receive()) != S_OK || Utf8(own) != token.token ||
            manager_->EnumSessions(sessions.GetAddressOf()) != S_OK)
          ++failures[t];
      }
    });
  }
  for (auto& thread : threads)
    thread.join();

  EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
  EXPECT_EQ(std::set<std::string>(tokens.begin(), tokens.end()).size(), size_t{kThreads});
  EXPECT_EQ(manager_->Sessions().back().id, kThreads);

  Advance(kIdle);
  manager_->ExpireIdle();
  EXPECT_EQ(manager_->Count(), 0u);
  EXPECT_EQ(closed_.size(), size_t{kThreads});
}

}  // namespace
}  // namespace quillmere::host
