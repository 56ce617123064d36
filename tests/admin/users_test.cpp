// UserList and UserPermissions: the user sheet and the permission sheet an administrator
// edits, the name form, the refusals, and every outside call failing in turn.
#include <gtest/gtest.h>

#include <functional>
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

// A request answered with a fault and no document: the fault and what was reported under
// the method's name.
struct FailureRow {
  const char* name;
  const char* method;
  const char* token;
  std::string dictionary;
  std::function<void(AdminHost&)> arrange;
  FaultCode code;
  std::string fault;
  std::vector<std::string> reported;
};

void PrintTo(const FailureRow& row, std::ostream* out) {
  *out << row.name;
}

void Nothing(AdminHost&) {}

FailureRow Laddered(const char* name, const char* method, const std::string& dictionary,
                    std::function<void(AdminHost&)> arrange, HRESULT hr) {
  return {name,
          method,
          "tok-admin",
          dictionary,
          std::move(arrange),
          FaultCode::Server,
          "Failed to execute {Administrator#" + std::string(method) + "}:\n[COM error] " +
              Text(hr) + "\n",
          {"COM Error:  " + Text(hr)}};
}

const std::string kNameCell = Cell("0", "UserName", "jdoe");
const std::string kEditCell = Cell("0", "Edit", "jdoe");

// clang-format off
const FailureRow kFailures[] = {
    {"ListRefused", "UserList", "tok-user", "", Nothing, FaultCode::Client, "Permission Denied",
     {" Not a member of QMS_ADMIN group"}},
    {"FormRefused", "UserPermissions", "tok-user", "", Nothing, FaultCode::Client,
     "Permission Denied", {" Not a member of QMS_ADMIN group"}},
    {"ListWithoutToken", "UserList", nullptr, "", Nothing, FaultCode::Server,
     "Failed to execute {Administrator#UserList}:\n[COM error] " + Text(E_INVALIDARG) + "\n",
     {"COM Error:  " + Text(E_INVALIDARG)}},
    Laddered("NoRepository", "UserList", "", [](AdminHost& a) {
      a.host.service->namedObjects.erase("Repository");
    }, E_INVALIDARG),
    Laddered("NoView", "UserList", "", [](AdminHost& a) {
      a.host.repository->log.Fail("GetSessionView", E_ACCESSDENIED);
    }, E_ACCESSDENIED),
    Laddered("ListWithoutUserAdministration", "UserList", "", [](AdminHost& a) {
      a.host.sessions->callers["tok-admin"]->log.Fail("QueryInterface IUserAdministration",
                                                      E_NOINTERFACE);
    }, E_NOINTERFACE),
    Laddered("NoUserList", "UserList", "", [](AdminHost& a) {
      a.host.sessions->callers["tok-admin"]->log.Fail("GetUserList", E_FAIL);
    }, E_FAIL),
    Laddered("ListCannotBeAdded", "UserList", "", [](AdminHost& a) {
      a.host.messages.factory->prepare = [](fakes::FakeSoapMessage& m) {
        m.log.Fail("addResponseParameter", E_OUTOFMEMORY);
      };
    }, E_OUTOFMEMORY),
    Laddered("NoDictionary", "UserPermissions", "", [](AdminHost& a) {
      a.prepareRequest = [](fakes::FakeSoapMessage& m) {
        m.log.Fail("getDictionaryInformation", E_UNEXPECTED);
      };
    }, E_UNEXPECTED),
    Laddered("NoSessionText", "UserPermissions", kEditCell, [](AdminHost& a) {
      a.host.sessions->callers["tok-admin"]->log.Fail("GetSessionText", E_ACCESSDENIED);
    }, E_ACCESSDENIED),
    Laddered("NoPermissions", "UserPermissions", kNameCell, [](AdminHost& a) {
      a.host.sessions->callers["tok-admin"]->log.Fail("GetUserPermissions", E_FAIL);
    }, E_FAIL),
    Laddered("SheetWithoutUserAdministration", "UserPermissions", kNameCell, [](AdminHost& a) {
      a.host.sessions->callers["tok-admin"]->log.Fail("QueryInterface IUserAdministration",
                                                      E_NOINTERFACE);
    }, E_NOINTERFACE),
};
// clang-format on

class UserFailures : public testing::TestWithParam<FailureRow> {};

TEST_P(UserFailures, AnswerWithAFaultAndNoDocument) {
  const FailureRow& row = GetParam();
  AdminHost admin;
  row.arrange(admin);

  const auto answer = admin.Ask(row.method, row.token, row.dictionary);

  EXPECT_EQ(answer.hr, S_FALSE);
  EXPECT_EQ(answer.created->fault->code, row.code);
  EXPECT_EQ(answer.created->fault->text, row.fault);
  EXPECT_TRUE(Documents(answer).empty());
  EXPECT_EQ(admin.host.reporting.Texts(std::string("C") + row.method + "::execute::execute"),
            row.reported);
}

INSTANTIATE_TEST_SUITE_P(Table, UserFailures, testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

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
