#include <gtest/gtest.h>
#include <sqlite3.h>

#include <future>
#include <string>
#include <thread>
#include <vector>

#include "host/users/user_store.h"
#include "quillmere/session_manager.h"
#include "users/user_names.h"

namespace quillmere::host {
namespace {

class UserStoreTest : public testing::Test {
 protected:
  UserStore store_{DefaultUserDatabase()};
};

TEST_F(UserStoreTest, KeepsUsersAcrossReopeningAndVerifiesOnlyTheirPasswords) {
  EXPECT_TRUE(store_.Empty());
  store_.Add("zoe", "zoe's secret", GroupPortal);
  store_.Add("admin", "first", GroupAdmin | GroupBatch);
  store_.SetPassword("admin", "second");
  store_.SetGroups("zoe", GroupPortal | GroupDownloadFiles);

  const UserStore reopened(DefaultUserDatabase());
  std::vector<std::pair<std::string, ULONG>> listed;
  for (const UserEntry& user : reopened.List())
    listed.emplace_back(user.name, user.groups);
  EXPECT_EQ(listed, (decltype(listed){{"admin", GroupAdmin | GroupBatch},
                                      {"zoe", GroupPortal | GroupDownloadFiles}}));
  EXPECT_EQ(reopened.Verify("admin", "second"), ULONG{GroupAdmin | GroupBatch});
  EXPECT_EQ(reopened.Verify("admin", "first"), std::nullopt);
  EXPECT_EQ(reopened.Verify("zoe", "zoe's secret"), ULONG{GroupPortal | GroupDownloadFiles});
  for (const auto& [name, password] :
       {std::pair{"zoe", "zoe's secre"}, std::pair{"Zoe", "zoe's secret"},
        std::pair{"bob", "zoe's secret"}})
    EXPECT_EQ(reopened.Verify(name, password), std::nullopt) << name << " " << password;
  store_.Remove("zoe");
  EXPECT_EQ(reopened.Verify("zoe", "zoe's secret"), std::nullopt);
}

TEST_F(UserStoreTest, RefusesBadChangesWithTheReasonAndChangesNothing) {
  store_.Add("alice", "right", GroupBatch);
  const std::pair<void (*)(UserStore&), UserProblem> cases[] = {
      {[](UserStore& s) { s.Add("alice", "x", 0); }, UserProblem::kExists},
      {[](UserStore& s) { s.Add(std::string(65, 'n'), "x", 0); }, UserProblem::kInvalidName},
      {[](UserStore& s) { s.Add("bob", "", 0); }, UserProblem::kInvalidPassword},
      {[](UserStore& s) { s.Add("bob", "x", 0x80); }, UserProblem::kInvalidGroups},
      {[](UserStore& s) { s.SetGroups("alice", 0x100); }, UserProblem::kInvalidGroups},
      {[](UserStore& s) { s.SetGroups("bob", 1); }, UserProblem::kUnknown},
      {[](UserStore& s) { s.SetPassword("bob", "x"); }, UserProblem::kUnknown},
      {[](UserStore& s) { s.Remove("bob"); }, UserProblem::kUnknown}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    try {
      cases[i].first(store_);
      ADD_FAILURE() << "no UserError for case " << i;
    } catch (const UserError& error) {
      EXPECT_EQ(error.problem(), cases[i].second) << error.what();
    }
  }
  ASSERT_EQ(store_.List().size(), 1u);
  EXPECT_EQ(store_.Verify("alice", "right"), ULONG{GroupBatch});
}

TEST(UserNames, PrintableUpToSixtyFourCharactersWithoutMarkup) {
  const std::pair<std::string, bool> cases[] = {
      {std::string(64, 'x'), true},
      {std::string(65, 'x'), false},
      {"a\xC3", false},                           // a lead byte without its continuation
      {"\xC3\xBC" + std::string(63, 'x'), true},  // 64 characters in 65 bytes
      {"del\x7F", false},
      {"c1\xC2\x85", false},    // NEL, a C1 control
      {"\xED\xA0\x80", false},  // a surrogate
      {"\xC0\xAF", false},      // an overlong '/'
      {"", false},
      {"a<b", false},
      {"a>b", false},
      {"AT&T", false},
      {"say \"hi\"", false},
      {"tab\there", false},
      {"o'brien", true},
  };
  for (const auto& [name, valid] : cases)
    EXPECT_EQ(ValidUserName(name), valid) << name;
}

// With its thread working and a call waiting the store's hashing pool refuses at once; then
// it takes calls again, and a call's exception reaches its caller.
TEST(HashingPool, RefusesAtOnceBeyondItsThreadsAndQueue) {
  HashingPool pool({.threads = 1, .queued = 1});
  std::promise<void> release;
  const std::shared_future<void> released = release.get_future().share();
  std::vector<std::jthread> callers(2);
  for (std::jthread& caller : callers)
    caller = std::jthread([&] { pool.Run([&] { released.wait(); }); });
  while (pool.InFlight() < 2)
    std::this_thread::yield();
  EXPECT_THROW(pool.Run([] {}), HashingBusy);
  release.set_value();
  callers.clear();
  EXPECT_THROW(pool.Run([] { throw std::bad_alloc(); }), std::bad_alloc);
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

}  // namespace
}  // namespace quillmere::host
