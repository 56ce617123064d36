// AdminSessionList and AdminJobList: an administrator sees every session, with its groups
// or with the jobs the job component reports for it; anyone else, or a walk that fails,
// gets a fault and a warning.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "admin/administrator.h"
#include "fakes/fake_job_source.h"
#include "test_host.h"

namespace {

using quillmere::FaultCode;
using quillmere::GroupAdmin;

constexpr const char* kSessionList = "CAdminSessionList::execute::execute";

// The host with "Administrator" started; "tok-admin" is an administrator, "tok-user" not.
struct AdminHost {
  soap_testing::TestHost host;
  winport::ComPtr<quillmere::CAdministrator> object =
      winport::MakeComObject<quillmere::CAdministrator>(host.reporting);

  AdminHost() {
    host.reporting.SetReportingLevel(quillmere::kLevelWarning);
    host.sessions->AddCaller("tok-admin", GroupAdmin);
    host.sessions->AddCaller("tok-user", quillmere::GroupPortal);
    EXPECT_EQ(object->Init(host.service.Get()), S_OK);
  }

  soap_testing::Answer Ask(const std::string& method, const std::string& token = "tok-admin") {
    return host.Execute(object.Get(),
                        soap_testing::TestHost::Request(method, {{"IdentityToken", token}}).Get());
  }
  std::vector<std::string> Warnings(const std::string& source) const {
    return host.reporting.Texts(quillmere::kLevelWarning, source);
  }
};

// The XMLDATA parameters of a response.
std::vector<std::string> Documents(const soap_testing::Answer& answer) {
  std::vector<std::string> documents;
  for (const auto& parameter : answer.created->added) {
    EXPECT_EQ(parameter.accessor, "XMLDATA");
    EXPECT_TRUE(parameter.xml);
    documents.push_back(parameter.value);
  }
  return documents;
}

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
  fakes::RegisteredJobSource jobs;
  ASSERT_EQ(jobs.Registered(), S_OK);
  admin.host.sessions->AddSession("tok-admin", "<SESSION id=\"a\">", GroupAdmin);
  admin.host.sessions->AddSession("tok-b", "<SESSION id=\"b\">", 0);
  admin.host.sessions->AddSession("tok-c", "<SESSION id=\"c\">", 0);
  jobs.source->jobs["tok-admin"] = {"<JOB n=\"1\"/>", "", "<JOB n=\"2\"/>"};
  jobs.source->answers["tok-b"] = S_FALSE;  // no job list for this session
  jobs.source->jobs["tok-c"] = {""};

  const auto answer = admin.Ask("AdminJobList");

  EXPECT_FALSE(answer.created->fault->faulted);
  EXPECT_EQ(Documents(answer),
            JobListing("<SESSION id=\"a\"><SELF/><JOBLIST><JOB n=\"1\"/><JOB n=\"2\"/></JOBLIST>"
                       "</SESSION><SESSION id=\"b\"></SESSION>"
                       "<SESSION id=\"c\"><JOBLIST></JOBLIST></SESSION>"));
  // One job source serves the whole call.
  EXPECT_EQ(jobs.factory->log.Count("CreateInstance"), 1);
}

TEST(Listings, NoSessionsIsAnEmptyListingWithOrWithoutAJobSource) {
  for (const bool registered : {true, false}) {
    AdminHost admin;
    std::optional<fakes::RegisteredJobSource> jobs;
    if (registered) jobs.emplace();
    EXPECT_EQ(Documents(admin.Ask("AdminJobList")), JobListing(""));
    EXPECT_EQ(Documents(admin.Ask("AdminSessionList")), SessionListing(""));
  }
}

struct Refusal {
  FaultCode code;
  const char* fault;
  std::vector<std::string> warnings;  // from the method
};
const Refusal kNotAdministrator = {
    FaultCode::Client, "Permission Denied", {" Not a member of QMS_ADMIN group"}};
const Refusal kSessionWalkFailed = {
    FaultCode::Server, "Session Enumerator", {"Admin - Session Enum next failed"}};
const Refusal kJobWalkFailed = {
    FaultCode::Server, "Job Enumerator", {"Admin - Jobs Enum next failed"}};

struct RefusalRow {
  const char* name;
  const char* method;
  const char* token;
  std::function<void(AdminHost&, fakes::RegisteredJobSource&)> arrange;
  Refusal refusal;
};

void PrintTo(const RefusalRow& row, std::ostream* out) {
  *out << row.name;
}

// clang-format off
const RefusalRow kRefusals[] = {
    {"NotAnAdministrator", "AdminSessionList", "tok-user", [](auto&, auto&) {}, kNotAdministrator},
    {"SessionWithoutToken", "AdminSessionList", "tok-admin", [](AdminHost& a, auto&) {
       a.host.sessions->sessions[0]->log.Fail("GetIdentityToken", E_FAIL);
     }, kSessionWalkFailed},
    {"SessionWithoutMarkup", "AdminSessionList", "tok-admin", [](AdminHost& a, auto&) {
       a.host.sessions->sessions[0]->log.Fail("GetXml", E_UNEXPECTED);
     }, kSessionWalkFailed},
    {"NoJobSource", "AdminJobList", "tok-admin", [](auto&, fakes::RegisteredJobSource& j) {
       j.factory->log.Fail("CreateInstance", E_OUTOFMEMORY);
     }, kSessionWalkFailed},
    {"JobsCannotBeListed", "AdminJobList", "tok-admin", [](auto&, fakes::RegisteredJobSource& j) {
       j.source->answers["tok-a"] = E_ACCESSDENIED;
     }, kSessionWalkFailed},
    {"JobWalkFails", "AdminJobList", "tok-admin", [](auto&, fakes::RegisteredJobSource& j) {
       j.source->enumeratorLog->Fail("Next", E_FAIL, 1);
     }, kJobWalkFailed},
    // The first fault asked for is the job walk's, and fails; the session walk's guard answers.
    {"JobFaultCannotBeHad", "AdminJobList", "tok-admin", [](AdminHost& a, auto& j) {
       j.source->enumeratorLog->Fail("Next", E_FAIL, 1);
       a.host.messages.factory->prepare = [](fakes::FakeSoapMessage& m) {
         m.log.Fail("getSOAPFault", E_UNEXPECTED, 0, 1);
       };
     }, {FaultCode::Server, "Session Enumerator",
         {"Admin - Jobs Enum next failed", "Admin - Session Enum next failed"}}},
};
// clang-format on

class Refusals : public testing::TestWithParam<RefusalRow> {};

TEST_P(Refusals, AnswerWithAFaultAndAWarningAndNoListing) {
  const RefusalRow& row = GetParam();
  AdminHost admin;
  fakes::RegisteredJobSource jobs;
  admin.host.sessions->AddSession("tok-a", "<SESSION id=\"a\">", 0);
  jobs.source->jobs["tok-a"] = {"<JOB/>", "<JOB/>"};
  row.arrange(admin, jobs);

  const auto answer = admin.Ask(row.method, row.token);

  EXPECT_EQ(answer.hr, S_FALSE);
  EXPECT_EQ(answer.created->fault->code, row.refusal.code);
  EXPECT_EQ(answer.created->fault->text, row.refusal.fault);
  EXPECT_TRUE(Documents(answer).empty());
  EXPECT_EQ(admin.Warnings(std::string("C") + row.method + "::execute::execute"),
            row.refusal.warnings);
}

INSTANTIATE_TEST_SUITE_P(Table, Refusals, testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

// Failures before the walk and of the answer itself are not the walk's: the listing's own
// ladder reports them, and the object answers with its Server fault.
TEST(Listings, FailuresOutsideTheWalkGoToTheLadder) {
  using Arrange = std::function<void(AdminHost&, fakes::FakeSoapMessage & request)>;
  // clang-format off
  const std::pair<Arrange, HRESULT> rows[] = {
      {[](auto&, auto& request) { request.log.Fail("getStringParameterByAccessor", E_INVALIDARG); },
       E_INVALIDARG},
      {[](AdminHost& a, auto&) { a.host.sessions->log.Fail("EnumSessions", E_ACCESSDENIED); },
       E_ACCESSDENIED},
      {[](AdminHost& a, auto&) { a.host.messages.factory->prepare = [](auto& response) {
         response.log.Fail("addResponseParameter", E_OUTOFMEMORY); }; },
       E_OUTOFMEMORY}};
  // clang-format on
  for (const auto& [arrange, failure] : rows) {
    AdminHost admin;
    auto request =
        soap_testing::TestHost::Request("AdminSessionList", {{"IdentityToken", "tok-admin"}});
    arrange(admin, *request.Get());

    const auto answer = admin.host.Execute(admin.object.Get(), request.Get());

    EXPECT_EQ(answer.hr, S_FALSE);
    EXPECT_EQ(answer.created->fault->code, FaultCode::Server);
    EXPECT_EQ(answer.created->fault->text.rfind(
                  "Failed to execute {Administrator#AdminSessionList}:\n", 0),
              0u);
    const auto reports = admin.host.reporting.Reports();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports[0].source, kSessionList);
    EXPECT_EQ(reports[0].errorNumber, failure);
    EXPECT_TRUE(admin.Warnings(kSessionList).empty());
  }
}

TEST(Listings, WithoutWarningsTheRefusalIsNotReported) {
  AdminHost admin;
  admin.host.reporting.SetReportingLevel(0);
  EXPECT_EQ(admin.Ask("AdminSessionList", "tok-user").created->fault->text, "Permission Denied");
  EXPECT_TRUE(admin.Warnings(kSessionList).empty());
}

TEST(Listings, AnUnknownCallerIsNotAuthenticated) {
  AdminHost admin;
  const auto answer = admin.Ask("AdminJobList", "tok-gone");
  EXPECT_EQ(answer.hr, S_FALSE);
  EXPECT_EQ(answer.created->fault->code, FaultCode::Client);
  EXPECT_EQ(answer.created->fault->detail, "{_UserNotAuthenticated} {Identity: tok-gone}");
  EXPECT_TRUE(Documents(answer).empty());
}

}  // namespace
