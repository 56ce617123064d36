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
  for (const auto& [user, adminFlags] : {std::pair{"admin", 1}, std::pair{"bob", 0}}) {
    const std::string token = LogOn(user, std::string(user) + " password");
    EXPECT_EQ(token.size(), 64u);
    EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
    ComPtr<ISession> session;
    ASSERT_EQ(Connect(token, session), S_OK);
    LONG flags = -1;
    session->IsAdmin(&flags);
    EXPECT_EQ(flags, adminFlags) << user;
    EXPECT_EQ(TextOf(&ISession::GetIdentityToken, *session.Get()), token);
    EXPECT_EQ(TextOf(&ISession::GetSessionText, *session.Get()),
              "session " + opened_.back().substr(0, 1) + " of " + user);
  }
  EXPECT_EQ(opened_, (std::vector<std::string>{"1 admin", "2 bob"}));
}

TEST_F(SessionTest, WrongPasswordsAndUnknownUsersGetNoSession) {
  for (const auto& [user, password] : {std::pair{"bob", "admin password"},
                                       std::pair{"nobody", "bob password"}, std::pair{"", ""}}) {
    ScopedBstr token;
    EXPECT_EQ(manager_->Logon(Bstr(user).Get(), Bstr(password).Get(), token.Receive()),
              E_ACCESSDENIED);
    EXPECT_EQ(token.Get(), nullptr);
  }
  EXPECT_TRUE(opened_.empty());
}

TEST_F(SessionTest, OnlyReconnectCountsAsActivity) {
  const std::string active = LogOn("admin", "admin password");
  const std::string phantom = LogOn("bob", "bob password");
  ComPtr<ISession> session;
  Advance(kIdle - std::chrono::seconds(1));
  ASSERT_EQ(Connect(active, session), S_OK);
  ASSERT_EQ(Connect(phantom, session, true), S_OK);
  Advance(std::chrono::seconds(2));
  EXPECT_EQ(Connect(active, session, true), S_OK);
  EXPECT_EQ(Connect(phantom, session, true), kNotAuthenticated);
  EXPECT_EQ(closed_, std::vector<std::string>{"2 bob"});
  EXPECT_EQ(manager_->Count(), 1u);
}

TEST_F(SessionTest, ExpireIdleAndLogoffCloseSessionsOnce) {
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
  // A session object held past its end cannot revive it.
  EXPECT_EQ(held->Touch(), kNotAuthenticated);
  EXPECT_EQ(Connect(first, held), kNotAuthenticated);

  EXPECT_EQ(manager_->Logoff(Bstr(second).Get()), S_OK);
  EXPECT_EQ(manager_->Logoff(Bstr(second).Get()), kNotAuthenticated);
  EXPECT_EQ(Connect(second, held), kNotAuthenticated);
  EXPECT_EQ(closed_, (std::vector<std::string>{"1 admin", "2 bob"}));
}

// "xml token groups jobs"
std::string Describe(ISessionRecord& record) {
  ScopedBstr xml, token;
  ULONG groups = 0;
  LONG jobs = -1;
  record.GetXml(xml.Receive());
  record.GetIdentityToken(token.Receive());
  record.GetGroups(&groups);
  record.GetJobCount(&jobs);
  return Utf8(xml) + " " + Utf8(token) + " " + std::to_string(groups) + " " + std::to_string(jobs);
}

TEST_F(SessionTest, EnumerationListsTheSessionsAsTheyWereWhenItBegan) {
  users_.Add("o'brien", "odd password", GroupBatch);
  const std::string first = LogOn("admin", "admin password");
  Advance(std::chrono::seconds(30));
  const std::string second = LogOn("o'brien", "odd password");
  jobs_[second] = 3;
  ComPtr<ISessionEnumerator> sessions;
  ASSERT_EQ(manager_->EnumSessions(sessions.GetAddressOf()), S_OK);
  manager_->Logoff(first);
  LogOn("bob", "bob password");
  jobs_[second] = 5;

  for (const std::string& expected :
       {"<SESSION id=\"1\" user=\"admin\" started=\"2026-12-07T04:05:06Z\"> " + first + " 3 0",
        "<SESSION id=\"2\" user=\"o'brien\" started=\"2026-12-07T04:05:36Z\"> " + second +
            " 2 3"}) {
    ComPtr<ISessionRecord> record;
    ULONG fetched = 0;
    ASSERT_EQ(sessions->Next(1, record.GetAddressOf(), &fetched), S_OK);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(Describe(*record.Get()), expected);
  }
  ComPtr<ISessionRecord> none;
  ULONG fetched = 7;
  EXPECT_EQ(sessions->Next(1, none.GetAddressOf(), &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
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
  std::vector<std::string> names;
  const auto locked = array.CreateLockScope<BSTR>(VT_BSTR);
  for (const BSTR name : locked.value())
    names.push_back(winport::WideToUtf8(winport::BstrView(name)));
  EXPECT_EQ(names, (std::vector<std::string>{"admin", "bob"}));
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

// 2 sessions a user, 3 in all; a logoff makes room again.
TEST_F(SessionTest, SessionsAreLimitedPerUserAndInAll) {
  const auto limited =
      MakeSessionManager(users_, kIdle, {}, nullptr, {}, {.perUser = 2, .total = 3});
  std::vector<LogonResult> results;
  for (const char* user : {"admin", "admin", "admin", "bob", "bob"})
    results.push_back(limited->Logon(user, std::string(user) + " password"));
  using enum LogonRefusal;
  EXPECT_EQ(std::vector({results[0].refusal, results[1].refusal, results[2].refusal,
                         results[3].refusal, results[4].refusal}),
            std::vector({kNone, kNone, kUserSessionLimit, kNone, kSessionLimit}));
  ScopedBstr token;
  EXPECT_EQ(limited->Logon(Bstr("bob").Get(), Bstr("bob password").Get(), token.Receive()),
            HRESULT_FROM_WIN32(69));  // ERROR_TOO_MANY_SESS
  ASSERT_TRUE(limited->Logoff(results[0].token));
  EXPECT_TRUE(limited->Logon("bob", "bob password"));
}

}  // namespace
}  // namespace quillmere::host
