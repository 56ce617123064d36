// AdminSessionList and AdminJobList: an administrator sees every session, with its groups
// or with the jobs the job component reports for it; anyone else, or a walk that fails,
// gets a fault and a warning, and failures outside the walk go to the listing's ladder.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <winport/wide.h>

#include "admin/administrator.h"
#include "admin_host.h"
#include "errors/error_message.h"

namespace {

using admin_testing::AdminHost;
using admin_testing::Documents;
using admin_testing::Text;

using quillmere::FaultCode;
using quillmere::GroupAdmin;

// The one document of a listing whose element holds body (self-closing when empty).
std::vector<std::string> Dialog(const std::string& title, const std::string& element,
                                const std::string& body) {
  const std::string listing =
      body.empty() ? "<" + element + "/>" : "<" + element + ">" + body + "</" + element + ">";
  return {
      "<QMSDIALOG><QMSDIALOGBAR><QMSSTATIC fontface=\"system\" fontsize=\"\" "
      "txtcolor=\"#FFFFFF\" text=\"" +
      title + "\"/> \n</QMSDIALOGBAR> \n<QMSDIALOGCONTENT>" + listing +
      " \n</QMSDIALOGCONTENT> \n</QMSDIALOG>"};
}
std::vector<std::string> SessionListing(const std::string& body) {
  return Dialog("Administrative Session List", "ADMINSESSIONLIST", body);
}
std::vector<std::string> JobListing(const std::string& body) {
  return Dialog("Administrative Session Job List", "ADMINJOBLIST", body);
}

TEST(AdminSessionList, ListsEverySessionWithItsGroupsAndMarksTheCallers) {
  AdminHost admin;
  admin.host.sessions->AddSession("tok-a", "<SESSION id=\"a\" user=\"ann\">", 0);
  admin.host.sessions->AddSession("tok-admin", "<SESSION id=\"b\">", 0x41);
  admin.host.sessions->AddSession("tok-c", "<SESSION id=\"c\">", 0x80);  // no tag for it
  admin.host.sessions->AddSession("tok-d", "<SESSION id=\"d\">", 0xFF);

  const auto answer = admin.Ask("AdminSessionList");

  EXPECT_EQ(answer.hr, S_FALSE);  // done, and no OnSuccess request follows
  EXPECT_FALSE(answer.created->fault->faulted);
  EXPECT_EQ(
      Documents(answer),
      SessionListing("<SESSION id=\"a\" user=\"ann\"><QMSGROUPS></QMSGROUPS></SESSION>"
                     "<SESSION id=\"b\"><SELF/><QMSGROUPS><QMS_ADMIN/><QMS_PORTAL/></QMSGROUPS>"
                     "</SESSION><SESSION id=\"c\"><QMSGROUPS></QMSGROUPS></SESSION>"
                     "<SESSION id=\"d\"><QMSGROUPS><QMS_ADMIN/><QMS_BATCHABLE/><QMS_UPLOADDATA/>"
                     "<QMS_DOWNLOADFILES/><QMS_UPLOADSCRIPTS/><QMS_PORTALINTERACTIVE/><QMS_PORTAL/>"
                     "</QMSGROUPS></SESSION>"));
}

TEST(AdminSessionList, AnEmptyCallerTokenMatchesASessionWithoutOne) {
  AdminHost admin;
  admin.host.sessions->AddCaller("", GroupAdmin);
  admin.host.sessions->AddSession("", "<SESSION>", 0);  // answers a null token
  EXPECT_EQ(Documents(admin.Ask("AdminSessionList", "")),
            SessionListing("<SESSION><SELF/><QMSGROUPS></QMSGROUPS></SESSION>"));
}

// The host's flags and masks are read whatever their calls answer: an administrator whose
// IsAdmin call fails is still one, a session whose GetGroups fails belongs to no group. An
// enumerator that fails ends the walk quietly.
TEST(AdminSessionList, FailedFlagGroupAndNextCallsCountAsTheirValuesOrAsTheEnd) {
  AdminHost admin;
  admin.host.sessions->AddCaller("tok-admin", GroupAdmin).log.Fail("IsAdmin", E_FAIL);
  admin.host.sessions->AddSession("tok-a", "<SESSION id=\"a\">", 0x41)
      .log.Fail("GetGroups", E_FAIL);
  admin.host.sessions->AddSession("tok-b", "<SESSION id=\"b\">", 0);
  admin.host.sessions->enumeratorLog->Fail("Next", E_FAIL, 1);

  const auto answer = admin.Ask("AdminSessionList");

  EXPECT_FALSE(answer.created->fault->faulted);
  EXPECT_EQ(Documents(answer),
            SessionListing("<SESSION id=\"a\"><QMSGROUPS></QMSGROUPS></SESSION>"));
}

TEST(AdminJobList, ListsEachSessionsJobsSkippingEmptyFragments) {
  AdminHost admin;
  admin.host.sessions->AddSession("tok-admin", "<SESSION id=\"a\">", GroupAdmin);
  admin.host.sessions->AddSession("tok-b", "<SESSION id=\"b\">", 0);
  admin.host.sessions->AddSession("tok-c", "<SESSION id=\"c\">", 0);
  admin.jobs.source->jobs["tok-admin"] = {"<JOB n=\"1\"/>", "", "<JOB n=\"2\"/>"};
  admin.jobs.source->answers["tok-b"] = S_FALSE;  // no job list for this session
  admin.jobs.source->jobs["tok-c"] = {""};

  const auto answer = admin.Ask("AdminJobList");

  EXPECT_FALSE(answer.created->fault->faulted);
  EXPECT_EQ(Documents(answer),
            JobListing("<SESSION id=\"a\"><SELF/><JOBLIST><JOB n=\"1\"/><JOB n=\"2\"/></JOBLIST>"
                       "</SESSION><SESSION id=\"b\"></SESSION>"
                       "<SESSION id=\"c\"><JOBLIST></JOBLIST></SESSION>"));
  // One job source serves the whole call.
  EXPECT_EQ(admin.jobs.factory->Made().size(), 1u);
}

TEST(Listings, NoSessionsIsAnEmptyListingWithOrWithoutAJobSource) {
  for (const bool served : {true, false}) {
    AdminHost admin;
    if (!served) admin.jobs.factory->log.Fail("CreateInstance", REGDB_E_CLASSNOTREG);
    EXPECT_EQ(Documents(admin.Ask("AdminJobList")), JobListing(""));
    EXPECT_EQ(Documents(admin.Ask("AdminSessionList")), SessionListing(""));
  }
}

// A request answered with a fault and no listing, for a caller with a session "tok-a" that
// has two jobs: the fault and what was reported under the listing's name.
struct FailureRow {
  const char* name;
  const char* method;
  const char* token;
  std::function<void(AdminHost&)> arrange;
  FaultCode code;
  std::string fault;
  std::vector<std::string> reported;
  std::string detail = {};
};

void PrintTo(const FailureRow& row, std::ostream* out) {
  *out << row.name;
}

const std::vector<std::string> kSessionWalkFailed = {"Admin - Session Enum next failed"};

// What fails outside the walk is the listing ladder's: it reports the COM error and
// Execute answers with its Server fault.
FailureRow Laddered(const char* name, const char* token, std::function<void(AdminHost&)> arrange,
                    HRESULT hr) {
  return {name,
          "AdminSessionList",
          token,
          std::move(arrange),
          FaultCode::Server,
          "Failed to execute {Administrator#AdminSessionList}:\n[COM error] " + Text(hr) + "\n",
          {"COM Error:  " + Text(hr)}};
}

void Nothing(AdminHost&) {}

// clang-format off
const FailureRow kFailures[] = {
    {"NotAnAdministrator", "AdminSessionList", "tok-user", Nothing, FaultCode::Client,
     "Permission Denied", {" Not a member of QMS_ADMIN group"}},
    {"NotAnAdministratorWithoutWarnings", "AdminJobList", "tok-user",
     [](AdminHost& a) { a.host.reporting.SetReportingLevel(0); }, FaultCode::Client,
     "Permission Denied", {}},
    {"UnknownCaller", "AdminJobList", "tok-gone", Nothing, FaultCode::Client,
     Text(quillmere::kNotAuthenticated), {"COM Error:  " + Text(quillmere::kNotAuthenticated)},
     "{_UserNotAuthenticated} {Identity: tok-gone}"},
    {"SessionWithoutToken", "AdminSessionList", "tok-admin", [](AdminHost& a) {
       a.host.sessions->sessions[0]->log.Fail("GetIdentityToken", E_FAIL);
     }, FaultCode::Server, "Session Enumerator", kSessionWalkFailed},
    {"SessionWithoutMarkup", "AdminSessionList", "tok-admin", [](AdminHost& a) {
       a.host.sessions->sessions[0]->log.Fail("GetXml", E_UNEXPECTED);
     }, FaultCode::Server, "Session Enumerator", kSessionWalkFailed},
    {"NoJobSource", "AdminJobList", "tok-admin", [](AdminHost& a) {
       a.jobs.factory->log.Fail("CreateInstance", E_OUTOFMEMORY);
     }, FaultCode::Server, "Session Enumerator", kSessionWalkFailed},
    {"JobsCannotBeListed", "AdminJobList", "tok-admin", [](AdminHost& a) {
       a.jobs.source->answers["tok-a"] = E_ACCESSDENIED;
     }, FaultCode::Server, "Session Enumerator", kSessionWalkFailed},
    {"JobWalkFails", "AdminJobList", "tok-admin", [](AdminHost& a) {
       a.jobs.source->enumeratorLog->Fail("Next", E_FAIL, 1);
     }, FaultCode::Server, "Job Enumerator", {"Admin - Jobs Enum next failed"}},
    // The first fault asked for is the job walk's, and fails; the session walk's guard answers.
    {"JobFaultCannotBeHad", "AdminJobList", "tok-admin", [](AdminHost& a) {
       a.jobs.source->enumeratorLog->Fail("Next", E_FAIL, 1);
       a.host.messages.factory->prepare = [](fakes::FakeSoapMessage& m) {
         m.log.Fail("getSOAPFault", E_UNEXPECTED, 0, 1);
       };
     }, FaultCode::Server, "Session Enumerator",
     {"Admin - Jobs Enum next failed", "Admin - Session Enum next failed"}},
    Laddered("NoIdentityToken", nullptr, Nothing, E_INVALIDARG),
    Laddered("NoSessionList", "tok-admin", [](AdminHost& a) {
      a.host.sessions->log.Fail("EnumSessions", E_ACCESSDENIED);
    }, E_ACCESSDENIED),
    Laddered("ListingCannotBeAdded", "tok-admin", [](AdminHost& a) {
      a.host.messages.factory->prepare = [](fakes::FakeSoapMessage& m) {
        m.log.Fail("addResponseParameter", E_OUTOFMEMORY);
      };
    }, E_OUTOFMEMORY),
};
// clang-format on

class Failures : public testing::TestWithParam<FailureRow> {};

TEST_P(Failures, AnswerWithAFaultAndNoListing) {
  const FailureRow& row = GetParam();
  AdminHost admin;
  admin.host.sessions->AddSession("tok-a", "<SESSION id=\"a\">", 0);
  admin.jobs.source->jobs["tok-a"] = {"<JOB/>", "<JOB/>"};
  row.arrange(admin);

  const auto answer = admin.Ask(row.method, row.token);

  EXPECT_EQ(answer.hr, S_FALSE);
  EXPECT_EQ(answer.created->fault->code, row.code);
  EXPECT_EQ(answer.created->fault->text, row.fault);
  EXPECT_EQ(answer.created->fault->detail, row.detail);
  EXPECT_TRUE(Documents(answer).empty());
  EXPECT_EQ(admin.host.reporting.Texts(std::string("C") + row.method + "::execute::execute"),
            row.reported);
}

INSTANTIATE_TEST_SUITE_P(Table, Failures, testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
