#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "host/user_store.h"
#include "soap/session_manager.h"
#include "users/user_names.h"

namespace quillmere::host {
namespace {

class UserStoreTest : public testing::Test {
 protected:
  UserStore store_{DefaultUserDatabase()};
};

TEST_F(UserStoreTest, KeepsUsersAcrossReopening) {
  EXPECT_TRUE(store_.Empty());
  store_.Add("zoe", "zoe's secret", GroupPortal);
  store_.Add("admin", "first", GroupAdmin | GroupBatch);
  store_.SetPassword("admin", "second");
  store_.SetGroups("zoe", GroupPortal | GroupDownloadFiles);

  const UserStore reopened(DefaultUserDatabase());
  EXPECT_FALSE(reopened.Empty());
  const auto users = reopened.List();
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[0].name, "admin");
  EXPECT_EQ(users[0].groups, ULONG{GroupAdmin | GroupBatch});
  EXPECT_EQ(users[1].name, "zoe");
  EXPECT_EQ(reopened.Groups("zoe"), ULONG{GroupPortal | GroupDownloadFiles});
  EXPECT_EQ(reopened.Verify("admin", "second"), ULONG{GroupAdmin | GroupBatch});
  EXPECT_EQ(reopened.Verify("admin", "first"), std::nullopt);
  EXPECT_EQ(reopened.Verify("zoe", "zoe's secret"), ULONG{GroupPortal | GroupDownloadFiles});
}

TEST_F(UserStoreTest, VerifyRefusesWrongPasswordsAndUnknownUsers) {
  store_.Add("alice", "right", GroupBatch);
  EXPECT_EQ(store_.Verify("alice", "wrong"), std::nullopt);
  EXPECT_EQ(store_.Verify("alice", "righ"), std::nullopt);
  EXPECT_EQ(store_.Verify("Alice", "right"), std::nullopt);
  EXPECT_EQ(store_.Verify("nobody", "right"), std::nullopt);
  EXPECT_EQ(store_.Groups("nobody"), std::nullopt);
}

TEST_F(UserStoreTest, RemovedUsersCannotLogOn) {
  store_.Add("alice", "right", GroupBatch);
  store_.Remove("alice");
  EXPECT_EQ(store_.Verify("alice", "right"), std::nullopt);
  EXPECT_TRUE(store_.Empty());
}

struct RefusalCase {
  const char* name;
  void (*change)(UserStore&);
  UserProblem problem;
};

class UserStoreRefuses : public testing::TestWithParam<RefusalCase> {};

TEST_P(UserStoreRefuses, WithTheReasonAndNoChange) {
  UserStore store(DefaultUserDatabase());
  store.Add("alice", "right", GroupBatch);
  try {
    GetParam().change(store);
    FAIL() << "no UserError";
  } catch (const UserError& error) {
    EXPECT_EQ(error.problem(), GetParam().problem);
  }
  const auto users = store.List();
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(users[0].groups, ULONG{GroupBatch});
  EXPECT_EQ(store.Verify("alice", "right"), ULONG{GroupBatch});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UserStoreRefuses,
    testing::Values(RefusalCase{"duplicate", [](UserStore& s) { s.Add("alice", "x", 0); },
                                UserProblem::kExists},
                    RefusalCase{"empty_name", [](UserStore& s) { s.Add("", "x", 0); },
                                UserProblem::kInvalidName},
                    RefusalCase{"long_name",
                                [](UserStore& s) { s.Add(std::string(65, 'n'), "x", 0); },
                                UserProblem::kInvalidName},
                    RefusalCase{"control_in_name", [](UserStore& s) { s.Add("a\tb", "x", 0); },
                                UserProblem::kInvalidName},
                    RefusalCase{"empty_password", [](UserStore& s) { s.Add("bob", "", 0); },
                                UserProblem::kInvalidPassword},
                    RefusalCase{"bit_above_portal", [](UserStore& s) { s.Add("bob", "x", 0x80); },
                                UserProblem::kInvalidGroups},
                    RefusalCase{"set_bad_groups", [](UserStore& s) { s.SetGroups("alice", 0x100); },
                                UserProblem::kInvalidGroups},
                    RefusalCase{"groups_of_unknown", [](UserStore& s) { s.SetGroups("bob", 1); },
                                UserProblem::kUnknown},
                    RefusalCase{"password_of_unknown",
                                [](UserStore& s) { s.SetPassword("bob", "x"); },
                                UserProblem::kUnknown},
                    RefusalCase{"remove_unknown", [](UserStore& s) { s.Remove("bob"); },
                                UserProblem::kUnknown}),
    [](const auto& info) { return std::string(info.param.name); });

struct NameCase {
  std::string name;
  bool valid;
};

TEST(UserNames, PrintableUpToSixtyFourCharacters) {
  const NameCase cases[] = {
      {"a", true},
      {std::string(64, 'x'), true},
      {std::string(65, 'x'), false},
      {"a\xC3", false},  // a lead byte without its continuation
      {"J\xC3\xBCrgen M\xC3\xBCller", true},
      {[] {
         std::string name;
         for (int i = 0; i < 64; ++i)
           name += "\xC3\xBC";  // 64 characters, 128 bytes
         return name;
       }(),
       true},
      {"del\x7F", false},
      {"c1\xC2\x85", false},    // NEL, a C1 control
      {"\xED\xA0\x80", false},  // a surrogate
      {"\xC0\xAF", false},      // an overlong '/'
      {"", false},
  };
  for (const NameCase& c : cases)
    EXPECT_EQ(ValidUserName(c.name), c.valid) << c.name;
}

TEST(UserStoreSchema, ANewerStoreIsRefused) {
  const auto file = DefaultUserDatabase();
  { const UserStore created(file); }
  sqlite3* database = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &database), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(database, "PRAGMA user_version = 2", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(database);
  EXPECT_THROW(UserStore{file}, UserStoreError);
}

TEST(RandomPassword, DiffersEachTimeAndIsPlain) {
  const std::string first = RandomPassword(), second = RandomPassword();
  EXPECT_NE(first, second);
  EXPECT_EQ(first.size(), 20u);
  for (const char c : first)
    EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << c;
}

}  // namespace
}  // namespace quillmere::host
