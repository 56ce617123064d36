#include <gtest/gtest.h>

#include <winport/scoped_safe_array.h>
#include <winport/scoped_variant.h>

#include "session_fixture.h"

namespace quillmere::host {
namespace {

using winport::ComPtr;
using winport::ScopedBstr;

constexpr HRESULT kNotAuthenticated = HRESULT_FROM_WIN32(ERROR_NOT_AUTHENTICATED);

std::string TextOf(HRESULT (ISession::*get)(BSTR*), ISession& session) {
  ScopedBstr text;
  EXPECT_EQ((session.*get)(text.Receive()), S_OK);
  return Utf8(text);
}

TEST_F(SessionTest, LogonGivesATokenThatReconnectsToTheUsersSession) {
  const std::string token = LogOn("bob", "bob password");
  EXPECT_EQ(token.size(), 64u);
  EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(LogOn("bob", "bob password"), token);

  ComPtr<ISession> session;
  ASSERT_EQ(Connect(token, session), S_OK);
  ASSERT_TRUE(session);
  EXPECT_EQ(TextOf(&ISession::GetIdentityToken, *session.Get()), token);
  EXPECT_EQ(TextOf(&ISession::GetUser, *session.Get()), "bob");
  EXPECT_EQ(TextOf(&ISession::GetSessionText, *session.Get()), "session 1 of bob");
  EXPECT_EQ(opened_, (std::vector<std::string>{"1 bob", "2 bob"}));
  EXPECT_EQ(manager_->Count(), 2u);
}

TEST_F(SessionTest, IsAdminSetsTheLowestBitForAdministratorsOnly) {
  for (const auto& [user, flags] : {std::pair{"admin", 1}, std::pair{"bob", 0}}) {
    ComPtr<ISession> session;
    ASSERT_EQ(Connect(LogOn(user, std::string(user) + " password"), session), S_OK);
    LONG actual = -1;
    session->IsAdmin(&actual);
    EXPECT_EQ(actual, flags) << user;
  }
}

TEST_F(SessionTest, WrongPasswordsAndUnknownUsersGetNoSession) {
  for (const auto& [user, password] : {std::pair{"bob", "admin password"},
                                       std::pair{"nobody", "bob password"}, std::pair{"", ""}}) {
    ScopedBstr token;
    EXPECT_EQ(manager_->Logon(Bstr(user).Get(), Bstr(password).Get(), token.Receive()),
              E_ACCESSDENIED);
    EXPECT_EQ(token.Get(), nullptr);
  }
  EXPECT_EQ(manager_->Count(), 0u);
  EXPECT_TRUE(opened_.empty());
  ComPtr<ISession> session;
  EXPECT_EQ(Connect("not a token", session), kNotAuthenticated);
  EXPECT_FALSE(session);
}

struct IdleCase {
  const char* name;
  bool phantom;
  HRESULT afterTimeout;
};

class SessionIdleTimeout : public SessionTest, public testing::WithParamInterface<IdleCase> {};

TEST_P(SessionIdleTimeout, OnlyReconnectCountsAsActivity) {
  const std::string token = LogOn("bob", "bob password");
  ComPtr<ISession> session;
  Advance(kIdle - std::chrono::seconds(1));
  ASSERT_EQ(Connect(token, session, GetParam().phantom), S_OK);
  Advance(std::chrono::seconds(2));
  EXPECT_EQ(Connect(token, session), GetParam().afterTimeout);
  const bool expired = GetParam().afterTimeout != S_OK;
  EXPECT_EQ(closed_, expired ? std::vector<std::string>{"1 bob"} : std::vector<std::string>{});
  EXPECT_EQ(manager_->Count(), expired ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, SessionIdleTimeout,
                         testing::Values(IdleCase{"reconnect", false, S_OK},
                                         IdleCase{"phantom", true, kNotAuthenticated}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SessionTest, ExpireIdleClosesOnlyIdleSessions) {
  const std::string first = LogOn("admin", "admin password");
  ComPtr<ISession> held;
  ASSERT_EQ(Connect(first, held), S_OK);
  Advance(kIdle / 2);
  const std::string second = LogOn("bob", "bob password");
  Advance(kIdle / 2);
  manager_->ExpireIdle();
  EXPECT_EQ(closed_, std::vector<std::string>{"1 admin"});
  ASSERT_EQ(manager_->Sessions().size(), 1u);
  EXPECT_EQ(manager_->Sessions()[0].token, second);
  // A session object held past its end no longer keeps anything alive.
  EXPECT_EQ(held->Touch(), kNotAuthenticated);
  EXPECT_EQ(Connect(first, held), kNotAuthenticated);
}

TEST_F(SessionTest, LogoffEndsTheSessionOnce) {
  const std::string token = LogOn("bob", "bob password");
  EXPECT_EQ(manager_->Logoff(Bstr(token).Get()), S_OK);
  EXPECT_EQ(manager_->Logoff(Bstr(token).Get()), kNotAuthenticated);
  ComPtr<ISession> session;
  EXPECT_EQ(Connect(token, session), kNotAuthenticated);
  EXPECT_EQ(closed_, std::vector<std::string>{"1 bob"});
}

TEST_F(SessionTest, EnumerationListsTheSessionsAsTheyWereWhenItBegan) {
  users_.Add("a&\"<b>'", "odd password", GroupBatch);
  const std::string first = LogOn("admin", "admin password");
  Advance(std::chrono::seconds(30));
  const std::string second = LogOn("a&\"<b>'", "odd password");
  jobs_[second] = 3;
  ComPtr<ISessionEnumerator> sessions;
  ASSERT_EQ(manager_->EnumSessions(sessions.GetAddressOf()), S_OK);
  manager_->Logoff(first);
  LogOn("bob", "bob password");
  jobs_[second] = 5;

  struct Expected {
    std::string xml, token;
    ULONG groups;
    LONG jobs;
  };
  const Expected expected[] = {
      {"<SESSION id=\"1\" user=\"admin\" started=\"2026-12-07T04:05:06Z\">", first,
       GroupAdmin | GroupBatch, 0},
      {"<SESSION id=\"2\" user=\"a&amp;&quot;&lt;b&gt;'\" started=\"2026-12-07T04:05:36Z\">",
       second, GroupBatch, 3},
  };
  for (const Expected& want : expected) {
    ComPtr<ISessionRecord> record;
    ULONG fetched = 0;
    ASSERT_EQ(sessions->Next(1, record.GetAddressOf(), &fetched), S_OK);
    ASSERT_EQ(fetched, 1u);
    ScopedBstr xml, token;
    ULONG groups = 0;
    LONG jobs = -1;
    EXPECT_EQ(record->GetXml(xml.Receive()), S_OK);
    EXPECT_EQ(Utf8(xml), want.xml);
    EXPECT_EQ(record->GetIdentityToken(token.Receive()), S_OK);
    EXPECT_EQ(Utf8(token), want.token);
    EXPECT_EQ(record->GetGroups(&groups), S_OK);
    EXPECT_EQ(groups, want.groups);
    EXPECT_EQ(record->GetJobCount(&jobs), S_OK);
    EXPECT_EQ(jobs, want.jobs);
  }
  ComPtr<ISessionRecord> none;
  ULONG fetched = 7;
  EXPECT_EQ(sessions->Next(1, none.GetAddressOf(), &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_FALSE(none);

  ComPtr<ISessionEnumerator> again;
  ASSERT_EQ(sessions->Reset(), S_OK);
  ASSERT_EQ(sessions->Skip(1), S_OK);
  ASSERT_EQ(sessions->Clone(again.GetAddressOf()), S_OK);
  ISessionRecord* records[2] = {};
  EXPECT_EQ(again->Next(2, records, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  LONG id = 0;
  records[0]->GetSessionId(&id);
  records[0]->Release();
  EXPECT_EQ(id, 2);
}

ComPtr<IUserAdministration> AdministrationOf(ISession& session) {
  ComPtr<IUserAdministration> administration;
  EXPECT_EQ(session.QueryInterface(__uuidof(IUserAdministration),
                                   reinterpret_cast<void**>(administration.GetAddressOf())),
            S_OK);
  return administration;
}

TEST_F(SessionTest, UserListIsAOneDimensionalArrayOfNames) {
  ComPtr<ISession> session;
  ASSERT_EQ(Connect(LogOn("bob", "bob password"), session), S_OK);
  winport::ScopedVariant list;
  ASSERT_EQ(AdministrationOf(*session.Get())->GetUserList(list.Receive()), S_OK);
  ASSERT_EQ(list.Type(), VT_ARRAY | VT_BSTR);
  const winport::ScopedSafeArray array(list.Release().parray);
  LONG lower = -1;
  EXPECT_EQ(SafeArrayGetLBound(array.Get(), 1, &lower), S_OK);
  EXPECT_EQ(lower, 0);
  const auto names = array.CreateLockScope<BSTR>(VT_BSTR);
  ASSERT_TRUE(names);
  ASSERT_EQ(names->size(), 2u);
  EXPECT_EQ(winport::WideToUtf8(winport::BstrView((*names)[0])), "admin");
  EXPECT_EQ(winport::WideToUtf8(winport::BstrView((*names)[1])), "bob");
}

struct PermissionCase {
  const char* name;
  const char* caller;
  const char* user;
  ULONG groups;
  HRESULT result;
  ULONG stored;  // bob's groups afterwards
};

class SessionUserAdministration : public SessionTest,
                                  public testing::WithParamInterface<PermissionCase> {};

TEST_P(SessionUserAdministration, ChangesAreForAdministratorsOnly) {
  const PermissionCase& c = GetParam();
  ComPtr<ISession> session;
  ASSERT_EQ(Connect(LogOn(c.caller, std::string(c.caller) + " password"), session), S_OK);
  const auto administration = AdministrationOf(*session.Get());
  EXPECT_EQ(administration->SetUserPermissions(Bstr(c.user).Get(), c.groups), c.result);
  EXPECT_EQ(administration->SetPassword(Bstr(c.user).Get(), Bstr("new password").Get()),
            c.result == E_INVALIDARG ? S_OK : c.result);
  ULONG groups = 0;
  EXPECT_EQ(administration->GetUserPermissions(Bstr("bob").Get(), &groups), S_OK);
  EXPECT_EQ(groups, c.stored);
  const bool changed = c.result != E_ACCESSDENIED && std::string(c.user) == "bob";
  EXPECT_EQ(users_.Verify("bob", changed ? "new password" : "bob password"), c.stored);
}

constexpr ULONG kBob = GroupPortal | GroupUploadData;
INSTANTIATE_TEST_SUITE_P(
    Cases, SessionUserAdministration,
    testing::Values(PermissionCase{"administrator", "admin", "bob", GroupBatch, S_OK, GroupBatch},
                    PermissionCase{"not_administrator", "bob", "bob", 0x7F, E_ACCESSDENIED, kBob},
                    PermissionCase{"bad_bits", "admin", "bob", 0x80, E_INVALIDARG, kBob},
                    PermissionCase{"unknown_user", "admin", "nobody", 1, HRESULT_FROM_WIN32(1317),
                                   kBob}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SessionTest, RepeatedFailuresSlowLaterAttemptsForThatName) {
  for (int attempt = 0; attempt < 5; ++attempt)
    EXPECT_FALSE(manager_->Logon("bob", "guess " + std::to_string(attempt)));
  EXPECT_TRUE(manager_->Logon("admin", "admin password"));  // another name: not slowed
  EXPECT_TRUE(manager_->Logon("bob", "bob password"));
  EXPECT_FALSE(manager_->Logon("bob", "one more guess"));  // the success forgot the run
  using std::chrono::milliseconds;
  EXPECT_EQ(sleeps_,
            (std::vector<milliseconds>{milliseconds(250), milliseconds(500), milliseconds(1000)}));
}

}  // namespace
}  // namespace quillmere::host
