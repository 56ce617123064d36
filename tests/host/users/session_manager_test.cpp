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

// A name or an address in its delay is refused at once, without a password check, and
// for as long as the delay still runs; other names and addresses are not held up.
TEST_F(SessionTest, RepeatedFailuresAreRefusedUntilTheirDelayPasses) {
  using std::chrono::milliseconds;
  struct Attempt {
    const char *user, *password, *address;
    LogonRefusal refusal;
    milliseconds retryAfter;
  };
  const Attempt attempts[] = {
      {"bob", "guess", "10.0.0.1", LogonRefusal::kWrongCredentials, {}},
      {"bob", "guess", "10.0.0.2", LogonRefusal::kWrongCredentials, {}},
      {"bob", "guess", "10.0.0.3", LogonRefusal::kWrongCredentials, {}},
      {"bob", "bob password", "10.0.0.4", LogonRefusal::kTryLater, milliseconds(250)},
      {"admin", "admin password", "10.0.0.1", LogonRefusal::kNone, {}},
  };
  for (const Attempt& attempt : attempts) {
    const LogonResult result = manager_->Logon(attempt.user, attempt.password, attempt.address);
    EXPECT_EQ(result.refusal, attempt.refusal) << attempt.user << " from " << attempt.address;
    EXPECT_EQ(result.retryAfter, attempt.retryAfter) << attempt.user;
  }
  // Ten failures from one address hold it up whatever the name.
  for (int name = 0; name < 10; ++name)
    manager_->Logon("nobody" + std::to_string(name), "guess", "10.0.0.9");
  EXPECT_EQ(manager_->Logon("admin", "admin password", "10.0.0.9").refusal,
            LogonRefusal::kTryLater);
  EXPECT_EQ(manager_->Logon("admin", "admin password", "10.0.0.8").refusal, LogonRefusal::kNone);
  Advance(std::chrono::seconds(1));
  EXPECT_TRUE(manager_->Logon("bob", "bob password", "10.0.0.4"));
  EXPECT_EQ(opened_.size(), 3u);
}

// A logoff makes room again.
TEST_F(SessionTest, SessionsAreLimitedPerUserAndInAll) {
  const auto manager =
      MakeSessionManager(users_, kIdle, {}, nullptr, {}, {.perUser = 2, .total = 3});
  const char* const users[] = {"admin", "admin", "admin", "bob", "bob"};
  std::vector<LogonRefusal> refusals;
  std::vector<std::string> tokens;
  for (const char* user : users) {
    const LogonResult result = manager->Logon(user, std::string(user) + " password");
    refusals.push_back(result.refusal);
    if (result) tokens.push_back(result.token);
  }
  using enum LogonRefusal;
  EXPECT_EQ(refusals, (std::vector{kNone, kNone, kUserSessionLimit, kNone, kSessionLimit}));
  ScopedBstr token;
  EXPECT_EQ(manager->Logon(Bstr("bob").Get(), Bstr("bob password").Get(), token.Receive()),
            HRESULT_FROM_WIN32(69));  // ERROR_TOO_MANY_SESS
  ASSERT_TRUE(manager->Logoff(tokens.front()));
  EXPECT_TRUE(manager->Logon("bob", "bob password"));
}

}  // namespace
}  // namespace quillmere::host
