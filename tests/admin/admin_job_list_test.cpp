// AdminJobList: an administrator sees every session with the jobs the job component
// reports for it.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "listing_test_support.h"

namespace {

using admin_testing::AdminHost;
using admin_testing::Dialog;
using admin_testing::Documents;
using quillmere::FaultCode;

constexpr const char* kSource = "CAdminJobList::execute::execute";

TEST(AdminJobList, ListsEachSessionsJobsSkippingEmptyFragments) {
  AdminHost admin;
  fakes::RegisteredJobSource jobs;
  ASSERT_EQ(jobs.Registered(), S_OK);
  admin.host.sessions->AddSession("tok-admin", "<SESSION id=\"a\">", 1);
  admin.host.sessions->AddSession("tok-b", "<SESSION id=\"b\">", 0);
  admin.host.sessions->AddSession("tok-c", "<SESSION id=\"c\">", 0);
  jobs.source->jobs["tok-admin"] = {"<JOB n=\"1\"/>", "", "<JOB n=\"2\"/>"};
  jobs.source->answers["tok-b"] = S_FALSE;  // no job list for this session
  jobs.source->jobs["tok-c"] = {""};

  const auto answer = admin.Ask("AdminJobList");

  EXPECT_EQ(answer.hr, S_FALSE);
  EXPECT_FALSE(answer.created->fault->Faulted());
  EXPECT_EQ(Documents(answer),
            std::vector<std::string>{Dialog(
                "Administrative Session Job List", "ADMINJOBLIST",
                "<SESSION id=\"a\"><SELF/><JOBLIST><JOB n=\"1\"/><JOB n=\"2\"/></JOBLIST></SESSION>"
                "<SESSION id=\"b\"></SESSION>"
                "<SESSION id=\"c\"><JOBLIST></JOBLIST></SESSION>")});
  // One job source serves the whole call.
  EXPECT_EQ(jobs.factory->log.Count("CreateInstance"), 1);
}

TEST(AdminJobList, NoSessionsIsAnEmptyListingWithOrWithoutAJobSource) {
  for (const bool registered : {true, false}) {
    AdminHost admin;
    std::optional<fakes::RegisteredJobSource> jobs;
    if (registered) jobs.emplace();
    EXPECT_EQ(
        Documents(admin.Ask("AdminJobList")),
        std::vector<std::string>{Dialog("Administrative Session Job List", "ADMINJOBLIST", "")})
        << registered;
  }
}

struct RefusalRow {
  const char* name;
  std::function<void(AdminHost&, fakes::RegisteredJobSource&)> arrange;
  const char* token;
  FaultCode code;
  const char* fault;
  std::vector<std::string> warnings;
};

void PrintTo(const RefusalRow& row, std::ostream* out) {
  *out << row.name;
}

class AdminJobListRefusals : public testing::TestWithParam<RefusalRow> {};

TEST_P(AdminJobListRefusals, AnswerWithAFaultAndAWarningAndNoListing) {
  const RefusalRow& row = GetParam();
  AdminHost admin;
  fakes::RegisteredJobSource jobs;
  admin.host.sessions->AddSession("tok-a", "<SESSION id=\"a\">", 0);
  jobs.source->jobs["tok-a"] = {"<JOB/>", "<JOB/>"};
  row.arrange(admin, jobs);

  const auto answer = admin.Ask("AdminJobList", row.token);

  EXPECT_EQ(answer.hr, S_FALSE);
  EXPECT_EQ(answer.created->fault->Code(), row.code);
  EXPECT_EQ(answer.created->fault->Text(), row.fault);
  EXPECT_TRUE(Documents(answer).empty());
  EXPECT_EQ(admin_testing::WarningsFrom(admin.host.reporting, kSource), row.warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AdminJobListRefusals,
    testing::Values(RefusalRow{"NotAnAdministrator",
                               [](AdminHost&, fakes::RegisteredJobSource&) {},
                               "tok-user",
                               FaultCode::Client,
                               "Permission Denied",
                               {" Not a member of QMS_ADMIN group"}},
                    RefusalRow{"NoJobSource",
                               [](AdminHost&, fakes::RegisteredJobSource& j) {
                                 j.factory->log.Fail("CreateInstance", E_OUTOFMEMORY);
                               },
                               "tok-admin",
                               FaultCode::Server,
                               "Session Enumerator",
                               {"Admin - Session Enum next failed"}},
                    RefusalRow{"JobsCannotBeListed",
                               [](AdminHost&, fakes::RegisteredJobSource& j) {
                                 j.source->answers["tok-a"] = E_ACCESSDENIED;
                               },
                               "tok-admin",
                               FaultCode::Server,
                               "Session Enumerator",
                               {"Admin - Session Enum next failed"}},
                    RefusalRow{"JobWalkFails",
                               [](AdminHost&, fakes::RegisteredJobSource& j) {
                                 j.source->enumeratorLog->Fail("Next", E_FAIL, 1);
                               },
                               "tok-admin",
                               FaultCode::Server,
                               "Job Enumerator",
                               {"Admin - Jobs Enum next failed"}},
                    RefusalRow{
                        "JobFaultCannotBeHadFallsToTheSessionGuard",
                        [](AdminHost& a, fakes::RegisteredJobSource& j) {
                          j.source->enumeratorLog->Fail("Next", E_FAIL, 1);
                          // The first fault asked for is the job walk's; the second succeeds.
                          a.host.messages.factory->prepare = [](fakes::FakeSoapMessage& m) {
                            m.log.Fail("getSOAPFault", E_UNEXPECTED, 0, 1);
                          };
                        },
                        "tok-admin",
                        FaultCode::Server,
                        "Session Enumerator",
                        {"Admin - Jobs Enum next failed", "Admin - Session Enum next failed"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
