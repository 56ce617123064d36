// AdminSessionList: an administrator sees every session with its groups.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <winport/wide.h>

#include "errors/error_message.h"
#include "listing_test_support.h"

namespace {

using admin_testing::AdminHost;
using admin_testing::Dialog;
using admin_testing::Documents;
using quillmere::FaultCode;

constexpr const char* kSource = "CAdminSessionList::execute::execute";

TEST(AdminSessionList, ListsEverySessionWithItsGroupsAndMarksTheCallers) {
  AdminHost admin;
  admin.host.sessions->AddSession("tok-a", "<SESSION id=\"a\" user=\"ann\">", 0);
  admin.host.sessions->AddSession("tok-admin", "<SESSION id=\"b\" user=\"root\">", 0x41);
  admin.host.sessions->AddSession("tok-c", "<SESSION id=\"c\">", 0x80);

  const auto answer = admin.Ask("AdminSessionList");

  EXPECT_EQ(answer.hr, S_FALSE);  // done, and no OnSuccess request follows
  EXPECT_FALSE(answer.created->fault->Faulted());
  EXPECT_EQ(Documents(answer),
            std::vector<std::string>{
                "<QMSDIALOG><QMSDIALOGBAR><QMSSTATIC fontface=\"system\" fontsize=\"\" "
                "txtcolor=\"#FFFFFF\" text=\"Administrative Session List\"/> \n</QMSDIALOGBAR> \n"
                "<QMSDIALOGCONTENT><ADMINSESSIONLIST>"
                "<SESSION id=\"a\" user=\"ann\"><QMSGROUPS></QMSGROUPS></SESSION>"
                "<SESSION id=\"b\" user=\"root\"><SELF/><QMSGROUPS><QMS_ADMIN/><QMS_PORTAL/>"
                "</QMSGROUPS></SESSION>"
                "<SESSION id=\"c\"><QMSGROUPS></QMSGROUPS></SESSION>"
                "</ADMINSESSIONLIST> \n</QMSDIALOGCONTENT> \n</QMSDIALOG>"});
}

TEST(AdminSessionList, EveryGroupHasItsTagInBitOrder) {
  AdminHost admin;
  admin.host.sessions->AddSession("tok-x", "<SESSION>", 0xFF);
  EXPECT_EQ(Documents(admin.Ask("AdminSessionList")),
            std::vector<std::string>{Dialog(
                "Administrative Session List", "ADMINSESSIONLIST",
                "<SESSION><QMSGROUPS><QMS_ADMIN/><QMS_BATCHABLE/><QMS_UPLOADDATA/>"
                "<QMS_DOWNLOADFILES/><QMS_UPLOADSCRIPTS/><QMS_PORTALINTERACTIVE/><QMS_PORTAL/>"
                "</QMSGROUPS></SESSION>")});
}

TEST(AdminSessionList, NoSessionsIsAnEmptyListing) {
  AdminHost admin;
  EXPECT_EQ(
      Documents(admin.Ask("AdminSessionList")),
      std::vector<std::string>{Dialog("Administrative Session List", "ADMINSESSIONLIST", "")});
}

TEST(AdminSessionList, AnEmptyCallerTokenMatchesASessionWithoutOne) {
  AdminHost admin;
  admin.host.sessions->AddCaller("", 1);
  admin.host.sessions->AddSession("", "<SESSION>", 0);  // answers a null token
  EXPECT_EQ(Documents(admin.Ask("AdminSessionList", "")),
            std::vector<std::string>{Dialog("Administrative Session List", "ADMINSESSIONLIST",
                                            "<SESSION><SELF/><QMSGROUPS></QMSGROUPS></SESSION>")});
}

// The host's flags and masks are read whatever their calls answer: an administrator whose
// IsAdmin call fails is still one, a session whose GetGroups fails belongs to no group.
TEST(AdminSessionList, FailedFlagAndGroupCallsCountAsTheirValues) {
  AdminHost admin;
  admin.host.sessions->AddCaller("tok-admin", 1).log.Fail("IsAdmin", E_FAIL);
  admin.host.sessions->AddSession("tok-a", "<SESSION id=\"a\">", 0x41)
      .log.Fail("GetGroups", E_FAIL);

  const auto answer = admin.Ask("AdminSessionList");

  EXPECT_FALSE(answer.created->fault->Faulted());
  EXPECT_EQ(Documents(answer), std::vector<std::string>{
                                   Dialog("Administrative Session List", "ADMINSESSIONLIST",
                                          "<SESSION id=\"a\"><QMSGROUPS></QMSGROUPS></SESSION>")});
}

TEST(AdminSessionList, AFailingEnumeratorEndsTheWalkQuietly) {
  AdminHost admin;
  admin.host.sessions->AddSession("tok-a", "<SESSION id=\"a\">", 0);
  admin.host.sessions->AddSession("tok-b", "<SESSION id=\"b\">", 0);
  admin.host.sessions->AddSession("tok-c", "<SESSION id=\"c\">", 0);
  admin.host.sessions->enumeratorLog->Fail("Next", E_FAIL, 2);

  const auto answer = admin.Ask("AdminSessionList");

  EXPECT_FALSE(answer.created->fault->Faulted());
  EXPECT_EQ(Documents(answer), std::vector<std::string>{
                                   Dialog("Administrative Session List", "ADMINSESSIONLIST",
                                          "<SESSION id=\"a\"><QMSGROUPS></QMSGROUPS></SESSION>"
                                          "<SESSION id=\"b\"><QMSGROUPS></QMSGROUPS></SESSION>")});
}

struct RefusalRow {
  const char* name;
  std::function<void(AdminHost&)> arrange;
  const char* token;
  FaultCode code;
  const char* fault;
  const char* warning;
};

void PrintTo(const RefusalRow& row, std::ostream* out) {
  *out << row.name;
}

class AdminSessionListRefusals : public testing::TestWithParam<RefusalRow> {};

TEST_P(AdminSessionListRefusals, AnswerWithAFaultAndAWarningAndNoListing) {
  const RefusalRow& row = GetParam();
  AdminHost admin;
  admin.host.sessions->AddSession("tok-a", "<SESSION id=\"a\">", 1);
  row.arrange(admin);

  const auto answer = admin.Ask("AdminSessionList", row.token);

  EXPECT_EQ(answer.hr, S_FALSE);
  EXPECT_EQ(answer.created->fault->Code(), row.code);
  EXPECT_EQ(answer.created->fault->Text(), row.fault);
  EXPECT_TRUE(Documents(answer).empty());
  EXPECT_EQ(admin_testing::WarningsFrom(admin.host.reporting, kSource),
            std::vector<std::string>{row.warning});
}

INSTANTIATE_TEST_SUITE_P(
    Table, AdminSessionListRefusals,
    testing::Values(RefusalRow{"NotAnAdministrator", [](AdminHost&) {}, "tok-user",
                               FaultCode::Client, "Permission Denied",
                               " Not a member of QMS_ADMIN group"},
                    RefusalRow{"SessionWithoutToken",
                               [](AdminHost& a) {
                                 a.host.sessions->sessions[0]->log.Fail("GetIdentityToken", E_FAIL);
                               },
                               "tok-admin", FaultCode::Server, "Session Enumerator",
                               "Admin - Session Enum next failed"},
                    RefusalRow{"SessionWithoutMarkup",
                               [](AdminHost& a) {
                                 a.host.sessions->sessions[0]->log.Fail("GetXml", E_UNEXPECTED);
                               },
                               "tok-admin", FaultCode::Server, "Session Enumerator",
                               "Admin - Session Enum next failed"}),
    [](const auto& info) { return std::string(info.param.name); });

// Failures before the walk and of the answer itself are not the walk's: they go to the
// entry's ladder, which reports them, and the object answers with a Server fault.
struct LadderRow {
  const char* name;
  std::function<void(AdminHost&, fakes::FakeSoapMessage& request)> arrange;
  HRESULT failure;
};

void PrintTo(const LadderRow& row, std::ostream* out) {
  *out << row.name;
}

class AdminSessionListLadder : public testing::TestWithParam<LadderRow> {};

TEST_P(AdminSessionListLadder, ReportsTheComErrorAndAnswersAServerFault) {
  const LadderRow& row = GetParam();
  AdminHost admin;
  admin.host.sessions->AddSession("tok-a", "<SESSION id=\"a\">", 1);
  auto request =
      soap_testing::TestHost::Request("AdminSessionList", {{"IdentityToken", "tok-admin"}});
  row.arrange(admin, *request.Get());

  const auto answer = admin.host.Execute(admin.object.Get(), request.Get());

  EXPECT_EQ(answer.hr, S_FALSE);
  EXPECT_EQ(answer.created->fault->Code(), FaultCode::Server);
  EXPECT_NE(answer.created->fault->Text().find(
                "[COM error] " + winport::WideToUtf8(quillmere::ErrorMessage(row.failure))),
            std::string::npos)
      << answer.created->fault->Text();
  EXPECT_EQ(soap_testing::ErrorsFrom(admin.host.reporting, kSource),
            std::vector<std::string>{"COM Error:  " +
                                     winport::WideToUtf8(quillmere::ErrorMessage(row.failure))});
  EXPECT_TRUE(admin_testing::WarningsFrom(admin.host.reporting, kSource).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, AdminSessionListLadder,
    testing::Values(LadderRow{"UnreadableToken",
                              [](AdminHost&, fakes::FakeSoapMessage& request) {
                                request.log.Fail("getStringParameterByAccessor", E_INVALIDARG);
                              },
                              E_INVALIDARG},
                    LadderRow{"NoSessionEnumeration",
                              [](AdminHost& a, fakes::FakeSoapMessage&) {
                                a.host.sessions->log.Fail("EnumSessions", E_ACCESSDENIED);
                              },
                              E_ACCESSDENIED},
                    LadderRow{"AnswerCannotBeAdded",
                              [](AdminHost& a, fakes::FakeSoapMessage&) {
                                a.host.messages.factory->prepare =
                                    [](fakes::FakeSoapMessage& response) {
                                      response.log.Fail("addResponseParameter", E_OUTOFMEMORY);
                                    };
                              },
                              E_OUTOFMEMORY}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AdminSessionList, WithoutWarningsTheRefusalIsNotReported) {
  AdminHost admin;
  admin.host.reporting.SetReportingLevel(0);
  const auto answer = admin.Ask("AdminSessionList", "tok-user");
  EXPECT_EQ(answer.created->fault->Text(), "Permission Denied");
  EXPECT_TRUE(admin_testing::WarningsFrom(admin.host.reporting, kSource).empty());
}

TEST(AdminSessionList, AnUnknownCallerIsNotAuthenticated) {
  AdminHost admin;
  const auto answer = admin.Ask("AdminSessionList", "tok-gone");
  EXPECT_EQ(answer.hr, S_FALSE);
  EXPECT_EQ(answer.created->fault->Code(), FaultCode::Client);
  EXPECT_EQ(answer.created->fault->Detail(), "{_UserNotAuthenticated} {Identity: tok-gone}");
  EXPECT_TRUE(Documents(answer).empty());
}

}  // namespace
