// The settings store over WMI: first use, the table rows of stored settings, a setting
// changed from its edited text, the quiet reader, and each raised WMI step failing.
#include <gtest/gtest.h>

#include <string>

#include "errors/com_error.h"
#include "fresh_machine.h"
#include "settings/settings_connection.h"
#include "store_fixture.h"
#include "wide_matchers.h"

namespace settings_testing {
namespace {

using quillmere::CSetting;
using quillmere::SettingsConnection;
using testing_support::Narrow;

using SettingStore = StoreTest;

// Reads the rows; answers the result, rows and count as text.
std::string ReadRows(CSetting& setting) {
  winport::WideString rows = OLESTR("unset");
  ULONG count = 99;
  const HRESULT hr = setting.ReadMetadata(rows, count);
  return std::to_string(hr) + " " + std::to_string(count) + " " + Narrow(rows);
}

TEST_F(SettingStore, FirstUseCreatesTheNamespaceAndTheClass) {
  ASSERT_EQ(Settings(), nullptr);
  CSetting setting(reporting);
  ASSERT_EQ(setting.Connect(), S_OK);
  EXPECT_EQ(ReadRows(setting), "0 0 ");
  // The class holds its default and is keyed by the setting's name.
  Load(Setting("Name", 8, ""));
  EXPECT_EQ(Stored("name", OLESTR("StringValue")), "StringValue");
}

TEST_F(SettingStore, ANamespaceWithoutTheClassCannotBeRead) {
  ASSERT_EQ(CSetting(reporting).Connect(), S_OK);
  ASSERT_EQ(
      Settings()->DeleteClass(winport::ScopedBstr(OLESTR("Metadata")).Get(), 0, nullptr, nullptr),
      S_OK);
  CSetting setting(reporting);
  ASSERT_EQ(setting.Connect(), S_OK);
  EXPECT_EQ(ReadRows(setting), std::to_string(Status(WBEM_E_INVALID_CLASS)) + " 0 unset");
}

TEST_F(SettingStore, RowsShowEachSettingByItsType) {
  Load(Setting("A_Level", 3, "IntVal = 7;") + Setting("B_Flag", 11, "IntVal = 1;") +
       Setting("C_Odd", 5, "") +
       Setting("D_File", 8, "StringValue = \"a<&b\"; Description = \"Where\";"));
  CSetting setting(reporting);
  ASSERT_EQ(setting.Connect(), S_OK);
  EXPECT_EQ(ReadRows(setting),
            "0 4 <TR><TD>A_Level</TD> \n<TD/> \n<TD/> \n<TD>IntVal</TD> \n<TD>7</TD> \n</TR>"
            "<TR><TD>B_Flag</TD> \n<TD/> \n<TD/> \n<TD>Unknown</TD> \n<TD>1</TD> \n</TR>"
            "<TR><TD>C_Odd</TD> \n<TD/> \n<TD/> \n<TD>Unknown</TD> \n<TD>5</TD> \n</TR>"
            "<TR><TD>D_File</TD> \n<TD>Where</TD> \n<TD/> \n<TD>StringValue</TD> \n"
            "<TD>a<&b</TD> \n</TR>");
}

TEST_F(SettingStore, ModifySettingReadsTheTextAsTheSettingsType) {
  struct Case {
    const OLECHAR* name;
    const OLECHAR* text;
    HRESULT answer;
    const OLECHAR* property;  // where the value is read back
    const char* stored;
    const char* storedType;
  };
  const Case cases[] = {
      {OLESTR("Count"), OLESTR("12abc"), S_OK, OLESTR("IntVal"), "12", "3"},
      {OLESTR("Flag"), OLESTR("t"), S_OK, OLESTR("IntVal"), "1", "3"},
      {OLESTR("Text"), OLESTR("new <value>"), S_OK, OLESTR("StringValue"), "new <value>", "8"},
      {OLESTR("Ratio"), OLESTR("2.5"), S_OK, OLESTR("RealVal"), "2.5", "4"},
      {OLESTR("Missing"), OLESTR("1"), Status(WBEM_E_NOT_FOUND), OLESTR("IntVal"), "missing",
       "missing"},
      {OLESTR("Bad\"Name"), OLESTR("1"), Status(WBEM_E_INVALID_OBJECT_PATH), OLESTR("IntVal"),
       "missing", "missing"},
      // A value of no type is stored as it is, and its type as no value.
      {OLESTR("Untyped"), OLESTR("1"), S_OK, OLESTR("IntVal"), "null", "null"},
  };
  Load(Setting("Count", 3, "IntVal = 1;") + Setting("Flag", 11, "IntVal = 0;") +
       Setting("Text", 8, "StringValue = \"old\";") + Setting("Ratio", 4, "RealVal = 1;") +
       "instance of Metadata { SettingName = \"Untyped\"; };\n");
  for (const Case& edit : cases) {
    CSetting setting(reporting);
    ASSERT_EQ(setting.Connect(), S_OK);
    EXPECT_EQ(setting.ModifySetting(winport::ScopedBstr(edit.name), winport::ScopedBstr(edit.text)),
              edit.answer);
    const std::string name = Narrow(edit.name);
    EXPECT_EQ(Stored(name.c_str(), edit.property), edit.stored) << name;
    EXPECT_EQ(Stored(name.c_str(), OLESTR("CIMTYPE")), edit.storedType) << name;
  }
}

// Each WMI step the connection raises, made to fail in turn: its code is the answer, and
// reading shows the failure (or the class that is missing).
TEST_F(SettingStore, AFailedConnectionStepIsTheAnswer) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  const std::tuple<const char*, WBEMSTATUS, WBEMSTATUS> steps[] = {
      {"ConnectServer", WBEM_E_ACCESS_DENIED, WBEM_E_ACCESS_DENIED},
      {"GetObject", WBEM_E_FAILED, WBEM_E_FAILED},  // __Namespace, on first use
      {"SpawnInstance", WBEM_E_OUT_OF_MEMORY, WBEM_E_OUT_OF_MEMORY},
      {"PutClass", WBEM_E_QUOTA_VIOLATION, WBEM_E_INVALID_CLASS},
  };
  for (const auto& [step, code, read] : steps) {
    testing_support::LeaveFreshMachine();
    testing_support::EnterFreshMachine();
    winport::fault::FailCall(step, code);
    CSetting setting(reporting);
    EXPECT_EQ(setting.Connect(), Status(code)) << step;
    EXPECT_EQ(ReadRows(setting), std::to_string(Status(read)) + " 0 unset") << step;
    winport::fault::Reset();
  }
}

// One locator on first use; an existing store is opened below root, its failure the answer.
TEST_F(SettingStore, EachConnectionOpensTheNamespaceBelowRoot) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  const std::tuple<const char*, unsigned, HRESULT> steps[] = {
      {"CoCreateInstance", 2, S_OK}, {"OpenNamespace", 1, Status(WBEM_E_ACCESS_DENIED)}};
  for (const auto& [step, nth, answer] : steps) {
    winport::fault::FailCall(step, static_cast<std::uint32_t>(WBEM_E_ACCESS_DENIED), nth, 2);
    EXPECT_EQ(CSetting(reporting).Connect(), answer) << step;
    winport::fault::Reset();
  }
}

// A failure while the instances are walked leaves the rows unset and the count at the
// instances read.
TEST_F(SettingStore, AFailedReadLeavesTheRowsUnsetAndCountsWhatWasRead) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  Load(Setting("One", 3, "IntVal = 1;") + Setting("Two", 3, "IntVal = 2;"));
  for (const unsigned read : {0u, 1u}) {
    CSetting setting(reporting);
    ASSERT_EQ(setting.Connect(), S_OK);
    winport::fault::FailCall("Next", WBEM_E_CRITICAL_ERROR, read + 1);
    EXPECT_EQ(ReadRows(setting), std::to_string(Status(WBEM_E_CRITICAL_ERROR)) + " " +
                                     std::to_string(read) + " unset");
    winport::fault::Reset();
  }
}

TEST_F(SettingStore, TheQuietReaderReadsSettingsAndNeverRaisesForWmi) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("ConnectServer", WBEM_E_FAILED);
  EXPECT_FALSE(SettingsConnection().Exists(OLESTR("ReportingLevel")));
  EXPECT_EQ(Settings(), nullptr);
  EXPECT_FALSE(SettingsConnection().Exists(OLESTR("ReportingLevel")));  // creates the store
  Load(Setting("ReportingLevel", 3, "IntVal = 6; Description = \"Level\";") +
       Setting("Odd", 5, "IntVal = 6;"));

  const SettingsConnection connection;
  EXPECT_TRUE(connection.Exists(OLESTR("reportinglevel")));
  const auto level = connection.Read(OLESTR("ReportingLevel"));
  EXPECT_EQ(level.CimType, 3u);
  EXPECT_EQ(SettingsConnection::ValueAsLong(level.Value.Get()), 6);
  EXPECT_EQ(Narrow(level.Description.Get()), "Level");
  // An unknown CIMTYPE gives no value; a missing setting an empty record.
  const auto odd = connection.Read(OLESTR("Odd"));
  EXPECT_EQ(odd.Value.Type(), VT_EMPTY);
  EXPECT_EQ(Narrow(odd.SettingName.Get()), "Odd");
  const auto missing = connection.Read(OLESTR("Missing"));
  EXPECT_EQ(SettingsConnection::ValueAsLong(missing.Value.Get()), 0);
  EXPECT_EQ(Narrow(SettingsConnection::ValueAsString(missing.Value.Get())), "");
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  EXPECT_THROW(SettingsConnection::ValueAsLong(null), quillmere::_com_error);
}

}  // namespace
}  // namespace settings_testing
