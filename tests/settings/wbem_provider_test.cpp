// The WbemProvider object's methods through the host: the settings table, one setting
// edited from a posted cell, the class sheets, the refusals and the setting notification.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include <winport/com_ptr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "store_fixture.h"
#include "test_host.h"
#include "wbem_provider/wbem_provider.h"

namespace settings_testing {
namespace {

using quillmere::FaultCode;
using soap_testing::Documents;

class Provider : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_EQ(object->Init(host.service.Get()), S_OK);
  }

  soap_testing::Answer Ask(const std::string& method, const std::string& dictionary = {},
                           HRESULT understood = S_OK) {
    auto request = soap_testing::TestHost::Request(method);
    request->dictionary = dictionary;
    request->understood = understood;
    return host.Execute(object.Get(), request.Get());
  }

  void LoadSettings() {
    Load(Setting("ReportingLevel", 3, "IntVal = 7;") +
         Setting("MSMQ_Capacity", 3, "IntVal = 100;"));
  }

  static std::string Row(const std::string& name, const std::string& value) {
    return "<TR><TD>" + name + "</TD> \n<TD/> \n<TD/> \n<TD>IntVal</TD> \n<TD>" + value +
           "</TD> \n</TR>";
  }

  soap_testing::TestHost host;
  winport::ComPtr<quillmere::CWbemProvider> object =
      winport::MakeComObject<quillmere::CWbemProvider>(host.reporting);
};

TEST_F(Provider, GetMetadataOnAFreshMachineIsAnEmptyTableAndMakesTheStore) {
  EXPECT_EQ(Documents(Ask("GetMetadata")), std::vector<std::string>{"<TABLE></TABLE>"});
  EXPECT_NE(Settings(), nullptr);
}

// Only the first posted cell is applied, to the setting named up to its first underscore;
// the answer is the table as it then stands.
TEST_F(Provider, PutMetadataChangesOneSettingAndAnswersTheTable) {
  struct Case {
    std::string dictionary;
    const char* level;
    const char* capacity;
  };
  const Case cases[] = {
      {"<DELTACELL_ReportingLevel_4><![CDATA[5]]></DELTACELL_ReportingLevel_4>", "5", "100"},
      {"<DELTACELL_MSMQ_Capacity_4><![CDATA[9]]></DELTACELL_MSMQ_Capacity_4>", "5", "100"},
      {"<DELTACELL_ReportingLevel_4><![CDATA[6]]></DELTACELL_ReportingLevel_4>"
       "<DELTACELL_ReportingLevel_4><![CDATA[8]]></DELTACELL_ReportingLevel_4>",
       "6", "100"},
      {"<DELTACELL_NoSuchSetting_4><![CDATA[1]]></DELTACELL_NoSuchSetting_4>", "6", "100"},
      // Read as a 32-bit long is read: out of its range, its nearest end.
      {"<DELTACELL_ReportingLevel_4><![CDATA[99999999999]]></DELTACELL_ReportingLevel_4>",
       "2147483647", "100"},
      {"<DELTACELL_ReportingLevel_4><![CDATA[-99999999999]]></DELTACELL_ReportingLevel_4>",
       "-2147483648", "100"},
  };
  LoadSettings();
  for (const Case& test : cases) {
    const auto answer = Ask("PutMetadata", test.dictionary);
    EXPECT_EQ(Documents(answer),
              std::vector<std::string>{"<TABLE>" + Row("ReportingLevel", test.level) +
                                       Row("MSMQ_Capacity", test.capacity) + "</TABLE>"})
        << test.dictionary;
    EXPECT_FALSE(answer.created->fault->faulted);
  }
}

TEST_F(Provider, PutMetadataWithoutAnEditedCellIsAClientFault) {
  LoadSettings();
  const auto answer = Ask("PutMetadata", "<Other>x</Other>");
  EXPECT_EQ(answer.created->fault->text, "putMetadata Failed");
  EXPECT_EQ(answer.created->fault->code, FaultCode::Client);
  EXPECT_TRUE(Documents(answer).empty());
  EXPECT_EQ(Stored("ReportingLevel", OLESTR("IntVal")), "7");
}

// A message the method may not process: the fault says so, then Execute's failure fault.
TEST_F(Provider, AMessageThatMayNotBeProcessedIsRefused) {
  for (const char* method : {"GetMetadata", "PutMetadata"}) {
    const auto answer = Ask(method, "<DELTACELL_ReportingLevel_4><![CDATA[5]]>", S_FALSE);
    EXPECT_EQ(answer.created->fault->log.Calls(),
              (std::vector<std::string>{"put_FaultCode", "setSpecificFault"}))
        << method;
    EXPECT_TRUE(Documents(answer).empty()) << method;
  }
  EXPECT_EQ(Settings(), nullptr);  // nothing was read or written
}

// When the response's fault cannot be had, nothing more can be said in the response: the
// failure itself is Execute's answer, for each of the methods' refusals.
TEST_F(Provider, ARefusalWhoseFaultCannotBeHadAnswersTheFailure) {
  // RPC_E_DISCONNECTED: the host's message is gone.
  static constexpr HRESULT kFaultUnreachable = static_cast<HRESULT>(0x80010108);
  host.messages.factory->prepare = [](fakes::FakeSoapMessage& made) {
    made.log.Fail("getSOAPFault", kFaultUnreachable);
  };
  struct Case {
    const char* method;
    const char* dictionary;
    HRESULT understood;
  };
  for (const Case& test : {Case{"GetMetadata", "", S_FALSE}, Case{"PutMetadata", "", S_FALSE},
                           Case{"PutMetadata", "<Other>x</Other>", S_OK}}) {
    SCOPED_TRACE(std::string(test.method) + " " + test.dictionary);
    const std::size_t reportedBefore = host.reporting.Reports().size();
    const auto answer = Ask(test.method, test.dictionary, test.understood);
    EXPECT_EQ(answer.hr, kFaultUnreachable);
    EXPECT_TRUE(answer.created->fault->log.Calls().empty());
    EXPECT_TRUE(answer.created->parameters.empty());
    // The method's own result, as Execute reports it first, was that failure too.
    const auto reports = host.reporting.Reports();
    const auto methodFailure =
        std::find_if(reports.begin() + static_cast<std::ptrdiff_t>(reportedBefore), reports.end(),
                     [](const auto& call) { return call.source == "ISOAPObjectImpl::Execute"; });
    ASSERT_NE(methodFailure, reports.end());
    EXPECT_EQ(methodFailure->errorNumber, kFaultUnreachable);
  }
}

const std::string kSheetRoot =
    "<QMSSPREADSHEET xmlns=\"urn:quillmere:spreadsheet\" xmlns:sp=\"urn:quillmere:spreadsheet\" ";
const std::string kLabeling = "<LABELING><INFOBOX/> \n<HEADER/> \n \n</LABELING>";
const std::string kEditNo = "<VFORMAT  sp:edit=\"no\"/> \n";

TEST_F(Provider, PoolProviderListsEachInstanceAsARow) {
  Load(
      "class VXPool { [key] string Name; sint32 Size; string Owner; };\n"
      "instance of VXPool { Name = \"p1\"; Size = 4; Owner = \"a<b&c\"; };\n"
      "instance of VXPool { Name = \"p2\"; Size = 8; };\n");
  EXPECT_EQ(Documents(Ask("PoolProvider")),
            std::vector<std::string>{
                kSheetRoot + "sp:varcount=\"6\" sp:casecount=\"0\" sp:fordisplay=\"yes\">" +
                kLabeling + "<VARINFO><VARDATA><VARNAME>Name</VARNAME> \n" + kEditNo +
                " \n</VARDATA><VARDATA><VARNAME>Size</VARNAME> \n" + kEditNo +
                "</VARDATA><VARDATA><VARNAME>Owner</VARNAME> \n" + kEditNo +
                "</VARDATA></VARINFO><CONTENT><RFORMAT><TR><TD>Name</TD> \n \n \n"
                "<TD>p1</TD><TD>4</TD><TD>a<b&c</TD></TR>"
                "<TR><TD>Name</TD> \n<TD>p2</TD><TD>8</TD><TD/></TR>"
                "</RFORMAT></CONTENT></QMSSPREADSHEET>"});
}

// An instance of a derived class shows only what its own class defines; a class without
// instances is the sheet's frame alone.
TEST_F(Provider, JobAndSessionProvidersListOwnPropertiesOrNothing) {
  Load(
      "class Job { [key] string Id; };\n"
      "class PrintJob : Job { string Printer; };\n"
      "class Session { [key] string Id; };\n"
      "instance of PrintJob { Id = \"1\"; Printer = \"lp\"; };\n");
  EXPECT_EQ(Documents(Ask("JobProvider")),
            std::vector<std::string>{
                kSheetRoot + "sp:varcount=\"4\" sp:casecount=\"0\" sp:fordisplay=\"yes\">" +
                kLabeling + "<VARINFO><VARDATA><VARNAME>Printer</VARNAME> \n" + kEditNo +
                " \n</VARDATA></VARINFO><CONTENT><RFORMAT><TR><TD>Printer</TD> \n \n \n"
                "<TD>lp</TD></TR></RFORMAT></CONTENT></QMSSPREADSHEET>"});
  EXPECT_EQ(Documents(Ask("SessionProvider")),
            std::vector<std::string>{kSheetRoot +
                                     "sp:varcount=\"4\" sp:casecount=\"0\" sp:fordisplay=\"yes\">" +
                                     kLabeling + "</QMSSPREADSHEET>"});
}

TEST_F(Provider, AMissingClassIsAServerFault) {
  const auto answer = Ask("SessionProvider");
  EXPECT_EQ(answer.created->fault->code, FaultCode::Server);
  EXPECT_TRUE(Documents(answer).empty());
  EXPECT_EQ(host.reporting.Texts("CSetting::EnumerateWbemClassObject").size(), 1u);
}

// The store out of reach: the failed connection is reported and the sheet is a server
// fault.
TEST_F(Provider, AClassSheetWithoutItsStoreIsAServerFault) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("ConnectServer", WBEM_E_ACCESS_DENIED);
  const auto answer = Ask("JobProvider");
  EXPECT_EQ(answer.created->fault->code, FaultCode::Server);
  EXPECT_TRUE(Documents(answer).empty());
  EXPECT_EQ(host.reporting.Texts("CSetting::Connect").size(), 1u);
}

// Two edits of one setting at once: the last writer wins and the instance stays whole.
TEST_F(Provider, ConcurrentEditsOfOneSettingLeaveOneWholeInstance) {
  LoadSettings();
  std::vector<std::thread> writers;
  for (const char* value : {"11", "22"}) {
    writers.emplace_back([this, value] {
      const winport::ScopedComInit apartment(COINIT_MULTITHREADED);
      const std::string cell = "<DELTACELL_ReportingLevel_4><![CDATA[" + std::string(value) +
                               "]]></DELTACELL_ReportingLevel_4>";
      for (int i = 0; i < 10; ++i)
        Ask("PutMetadata", cell);
    });
  }
  for (auto& writer : writers)
    writer.join();
  const std::string level = Stored("ReportingLevel", OLESTR("IntVal"));
  EXPECT_TRUE(level == "11" || level == "22") << level;
  EXPECT_EQ(Stored("ReportingLevel", OLESTR("CIMTYPE")), "3");
  EXPECT_EQ(Stored("ReportingLevel", OLESTR("SettingName")), "ReportingLevel");
  EXPECT_EQ(Stored("MSMQ_Capacity", OLESTR("IntVal")), "100");
}

}  // namespace
}  // namespace settings_testing
