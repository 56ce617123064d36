// UserList and UserPermissions: the user sheet and the permission sheet an administrator
// edits, the name form, the refusals, and every outside call failing in turn.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <winport/scoped_variant.h>

#include "admin_host.h"

namespace {

using admin_testing::AdminHost;
using admin_testing::Documents;
using admin_testing::Text;
using quillmere::FaultCode;

// The sheet's head with one variable, and its close with the button posting to
// UserPermissions.
std::string Head(const std::string& header, const std::string& variable) {
  return "<QMSSPREADSHEET xmlns=\"urn:quillmere:spreadsheet\" "
         "xmlns:sp=\"urn:quillmere:spreadsheet\" sp:varcount=\"1\" sp:casecount=\"0\" "
         "sp:fordisplay=\"HTMLEdit\"><LABELING><INFOBOX/> \n" +
         (header.empty() ? "<HEADER/>" : "<HEADER>" + header + "</HEADER>") +
         " \n</LABELING> \n<VARINFO><VARDATA><VARNAME>" + variable +
         "</VARNAME> \n</VARDATA> \n</VARINFO><CONTENT><RFORMAT> \n";
}
std::string Row(const std::string& name, const std::string& cell) {
  return "<ROW><CASENAME>" + name + "</CASENAME> \n<CELL>" + cell + "</CELL> \n</ROW>";
}
std::string Close(const std::string& token) {
  return "</RFORMAT></CONTENT></QMSSPREADSHEET><QMSBUTTON name=\"EDITQMSSPREADSHEET\" "
         "text=\"Apply Changes\" width=\"130\"><SoapObject>Administrator</SoapObject> \n"
         "<SoapMethod>UserPermissions</SoapMethod> \n"
         "<QMSIMAGE name=\"Image\" src=\"images/icons/ss.gif\"/> \n<IdentityToken>" +
         token + "</IdentityToken> \n</QMSBUTTON>";
}

std::string Cell(const std::string& row, const std::string& column, const std::string& value) {
  const std::string name = "DELTACELL_" + row + "_" + column;
  return "<" + name + "><![CDATA[" + value + "]]></" + name + ">";
}

TEST(UserList, AnAdministratorGetsTheMenuAndTheSheetOfUsers) {
  struct Case {
    std::string menu;
    std::vector<std::string> users;
  };
  const Case cases[] = {
      {"<MENU>m</MENU>", {"alice", "b<b"}},
      {"", {"u"}},
      {"<MENU/>", {}},
  };
  for (const Case& test : cases) {
    AdminHost admin;
    admin.host.repository->mainMenu = test.menu;
    admin.host.sessions->callers["tok-admin"]->users = test.users;
    std::string rows;
    for (const std::string& user : test.users)
      rows += Row(user, "t");
    EXPECT_EQ(Documents(admin.Ask("UserList")),
              std::vector<std::string>{test.menu + Head("List of Users", "Edit") + rows +
                                       Close("tok-admin")});
    EXPECT_EQ(admin.host.repository->log.Calls(),
              (std::vector<std::string>{"GetSessionView", "ReadDocument \\mainmenu.xml X"}));
  }
}

// An array of more than one dimension is read by its first, after a warning.
TEST(UserList, AnArrayOfTwoDimensionsIsReadByItsFirst) {
  AdminHost admin;
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 0}};
  SAFEARRAY* names = SafeArrayCreate(VT_BSTR, 2, bounds);
  for (LONG first = 0; first < 2; ++first) {
    LONG at[2] = {first, 0};
    winport::ScopedBstr name(first == 0 ? OLESTR("ann") : OLESTR("bob"));
    ASSERT_EQ(SafeArrayPutElement(names, at, name.Get()), S_OK);
  }
  VARIANT list;
  VariantInit(&list);
  list.vt = VT_ARRAY | VT_BSTR;
  list.parray = names;
  admin.host.sessions->callers["tok-admin"]->userList.Reset(list);

  EXPECT_EQ(Documents(admin.Ask("UserList")),
            std::vector<std::string>{Head("List of Users", "Edit") + Row("ann", "t") +
                                     Row("bob", "t") + Close("tok-admin")});
  EXPECT_EQ(admin.host.reporting.Texts("CUserList::execute::execute"),
            std::vector<std::string>{"Type Mismatch in Parameter. Pass a one-dimensional array"});
}

TEST(UserPermissions, TheNameFormForAnAdministrator) {
  AdminHost admin;
  EXPECT_EQ(Documents(admin.Ask("UserPermissions")),
            std::vector<std::string>{Head("", "UserName") + Row("UserName", "enter a name") +
                                     Close("tok-admin")});
}

const char* const kFlags[] = {"QMS_ADMIN",         "QMS_BATCHABLE",     "QMS_UPLOADDATA",
                              "QMS_DOWNLOADFILES", "QMS_UPLOADSCRIPTS", "QMS_PORTALINTERACTIVE",
                              "QMS_PORTAL"};

std::string PermissionSheet(const std::string& user, ULONG mask, const std::string& token) {
  std::string rows;
  for (int bit = 0; bit < 7; ++bit)
    rows += Row(kFlags[bit], (mask >> bit) & 1 ? "true" : "false");
  return Head(user, "Permitted") + rows + Close(token);
}

// The name form's cell skips the caller's session; any other column asks for its text
// first. Neither path checks for an administrator, and only the first cell counts.
TEST(UserPermissions, TheSheetOfTheUserTheCellNames) {
  struct Case {
    std::string dictionary;
    std::string user;
    std::vector<std::string> sessionCalls;
  };
  const Case cases[] = {
      {Cell("0", "UserName", "jdoe"),
       "jdoe",
       {"QueryInterface IUserAdministration", "GetUserPermissions jdoe"}},
      {Cell("0", "UserName", "jdoe") + Cell("1", "UserName", "ann"),
       "jdoe",
       {"QueryInterface IUserAdministration", "GetUserPermissions jdoe"}},
      {Cell("alice", "Edit", "jdoe"),
       "jdoe",
       {"QueryInterface IUserAdministration", "GetSessionText",
        "QueryInterface IUserAdministration", "GetUserPermissions jdoe"}},
      {Cell("0", "UserName", ""), "", {"QueryInterface IUserAdministration", "GetUserPermissions"}},
  };
  for (const Case& test : cases) {
    AdminHost admin;
    auto& caller = admin.host.sessions->AddCaller("tok-user", 0);
    caller.permissions["jdoe"] = 0x41;
    EXPECT_EQ(Documents(admin.Ask("UserPermissions", "tok-user", test.dictionary)),
              std::vector<std::string>{
                  PermissionSheet(test.user, test.user.empty() ? 0 : 0x41, "tok-user")})
        << test.dictionary;
    EXPECT_EQ(caller.log.Calls(), test.sessionCalls) << test.dictionary;
  }
}

// Whose call fails in a row of the table below.
enum class Fake { kCaller, kNullAdministration, kRepository, kService, kRequest, kResponse };

struct FailureRow {
  const char* method;
  std::string dictionary;
  Fake fake;
  const char* operation;
  HRESULT hr;
};

void PrintTo(const FailureRow& row, std::ostream* out) {
  *out << row.method << " " << row.operation;
}

const std::string kNameCell = Cell("0", "UserName", "jdoe");
const std::string kEditCell = Cell("0", "Edit", "jdoe");

const FailureRow kFailures[] = {
    {"UserList", "", Fake::kRequest, "getStringParameterByAccessor", E_INVALIDARG},
    {"UserList", "", Fake::kService, "NamedObject", E_INVALIDARG},
    {"UserList", "", Fake::kRepository, "GetSessionView", E_ACCESSDENIED},
    {"UserList", "", Fake::kCaller, "QueryInterface IUserAdministration", E_NOINTERFACE},
    {"UserList", "", Fake::kCaller, "GetUserList", E_FAIL},
    {"UserList", "", Fake::kResponse, "addResponseParameter", E_OUTOFMEMORY},
    {"UserPermissions", "", Fake::kRequest, "getDictionaryInformation", E_UNEXPECTED},
    {"UserPermissions", kEditCell, Fake::kCaller, "GetSessionText", E_ACCESSDENIED},
    {"UserPermissions", kNameCell, Fake::kCaller, "GetUserPermissions", E_FAIL},
    {"UserPermissions", kNameCell, Fake::kCaller, "QueryInterface IUserAdministration",
     E_NOINTERFACE},
    {"UserList", "", Fake::kNullAdministration, "QueryInterface IUserAdministration", E_POINTER},
    {"UserPermissions", kNameCell, Fake::kNullAdministration, "QueryInterface IUserAdministration",
     E_POINTER},
};

class UserFailures : public testing::TestWithParam<FailureRow> {};

// Each outside call the methods raise on, failing once: the ladder reports it and Execute
// answers with its Server fault.
TEST_P(UserFailures, AnswerWithAServerFaultAndNoDocument) {
  const FailureRow& row = GetParam();
  AdminHost admin;
  const auto fail = [&row](fakes::FakeSoapMessage& message) {
    message.log.Fail(row.operation, row.hr);
  };
  switch (row.fake) {
    case Fake::kCaller:
      admin.host.sessions->callers["tok-admin"]->log.Fail(row.operation, row.hr);
      break;
    case Fake::kNullAdministration:
      admin.host.sessions->callers["tok-admin"]->administrationIsNull = true;
      break;
    case Fake::kRepository:
      admin.host.repository->log.Fail(row.operation, row.hr);
      break;
    case Fake::kService:
      admin.host.service->log.Fail(row.operation, row.hr);
      break;
    case Fake::kRequest:
      admin.prepareRequest = fail;
      break;
    case Fake::kResponse:
      admin.host.messages.factory->prepare = fail;
      break;
  }
  const auto answer = admin.Ask(row.method, "tok-admin", row.dictionary);

  EXPECT_EQ(answer.hr, S_FALSE);
  EXPECT_EQ(answer.created->fault->code, FaultCode::Server);
  EXPECT_EQ(answer.created->fault->text, "Failed to execute {Administrator#" +
                                             std::string(row.method) + "}:\n[COM error] " +
                                             Text(row.hr) + "\n");
  EXPECT_TRUE(Documents(answer).empty());
  EXPECT_EQ(admin.host.reporting.Texts(std::string("C") + row.method + "::execute::execute"),
            std::vector<std::string>{"COM Error:  " + Text(row.hr)});
}

INSTANTIATE_TEST_SUITE_P(Table, UserFailures, testing::ValuesIn(kFailures));

// A value that is not an array of strings is never read as one.
TEST(UserList, AValueThatIsNotAnArrayOfStringsFailsAfterAWarning) {
  AdminHost admin;
  admin.host.sessions->callers["tok-admin"]->userList = winport::ScopedVariant(LONG{7});
  const auto answer = admin.Ask("UserList");
  EXPECT_EQ(answer.created->fault->code, FaultCode::Server);
  EXPECT_TRUE(Documents(answer).empty());
  EXPECT_EQ(
      admin.host.reporting.Texts("CUserList::execute::execute"),
      (std::vector<std::string>{"Type Mismatch in Parameter. Pass a string array by reference",
                                "COM Error:  " + Text(DISP_E_TYPEMISMATCH)}));
}

// Offsets that fall outside the text end the call through the ladder, as E_FAIL.
TEST(UserPermissions, ACellTooShortForTheOffsetsFails) {
  for (const char* dictionary : {"<DELTACELL_0_UserName>jdoe</DELTACELL_0_UserName>",
                                 "<DELTACELL_0_UserName><![CD", "DELTACELL_"}) {
    AdminHost admin;
    const auto answer = admin.Ask("UserPermissions", "tok-admin", dictionary);
    EXPECT_EQ(answer.hr, S_FALSE) << dictionary;
    EXPECT_EQ(answer.created->fault->code, FaultCode::Server) << dictionary;
    EXPECT_NE(answer.created->fault->text.find("invalid string position"), std::string::npos)
        << answer.created->fault->text;
    EXPECT_TRUE(Documents(answer).empty());
  }
}

}  // namespace
