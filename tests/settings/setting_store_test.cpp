// The settings store over WMI: first use, the table rows of stored settings, a setting
// changed from its edited text, the quiet reader, and each raised WMI step failing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
using winport::ScopedVariant;

using SettingStore = StoreTest;

TEST_F(SettingStore, FirstUseCreatesTheNamespaceAndTheClass) {
  ASSERT_EQ(Settings(), nullptr);
  CSetting setting(reporting);
  ASSERT_EQ(setting.Connect(), S_OK);
  winport::WideString rows = OLESTR("unset");
  ULONG count = 7;
  EXPECT_EQ(setting.ReadMetadata(rows, count), S_OK);
  EXPECT_EQ(Narrow(rows), "");
  EXPECT_EQ(count, 0u);
  // The class holds its default, and its key is SettingName.
  Store(OLESTR("Name"), 8, nullptr, {});
  EXPECT_EQ(Stored("Name", OLESTR("StringValue")), "StringValue");
  EXPECT_EQ(Stored("name", OLESTR("SettingName")), "Name");
  // A second connection finds both.
  EXPECT_EQ(CSetting(reporting).Connect(), S_OK);
}

TEST_F(SettingStore, ANamespaceWithoutTheClassCannotBeRead) {
  SettingsConnection opened;  // made with the class; the class goes again
  ASSERT_EQ(
      Settings()->DeleteClass(winport::ScopedBstr(OLESTR("Metadata")).Get(), 0, nullptr, nullptr),
      S_OK);
  CSetting setting(reporting);
  ASSERT_EQ(setting.Connect(), S_OK);
  winport::WideString rows = OLESTR("unset");
  ULONG count = 7;
  EXPECT_EQ(setting.ReadMetadata(rows, count), Status(WBEM_E_INVALID_CLASS));
  EXPECT_EQ(Narrow(rows), "unset");
  EXPECT_EQ(count, 0u);
}

TEST_F(SettingStore, RowsShowEachSettingByItsType) {
  Store(OLESTR("A_Level"), 3, OLESTR("IntVal"), ScopedVariant(LONG{7}));
  Store(OLESTR("B_Flag"), 11, OLESTR("IntVal"), ScopedVariant(LONG{1}));
  Store(OLESTR("C_Odd"), 5, nullptr, {});
  Store(OLESTR("D_File"), 8, OLESTR("StringValue"), ScopedVariant(OLESTR("a<&b")), OLESTR("Where"));
  CSetting setting(reporting);
  ASSERT_EQ(setting.Connect(), S_OK);
  winport::WideString rows;
  ULONG count = 0;
  ASSERT_EQ(setting.ReadMetadata(rows, count), S_OK);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(Narrow(rows),
            "<TR><TD>A_Level</TD> \n<TD/> \n<TD/> \n<TD>IntVal</TD> \n<TD>7</TD> \n</TR>"
            "<TR><TD>B_Flag</TD> \n<TD/> \n<TD/> \n<TD>Unknown</TD> \n<TD>1</TD> \n</TR>"
            "<TR><TD>C_Odd</TD> \n<TD/> \n<TD/> \n<TD>Unknown</TD> \n<TD>5</TD> \n</TR>"
            "<TR><TD>D_File</TD> \n<TD>Where</TD> \n<TD/> \n<TD>StringValue</TD> \n"
            "<TD>a<&b</TD> \n</TR>");
}

struct EditCase {
  const OLECHAR* name;
  LONG cimType;
  const OLECHAR* text;
  HRESULT answer;
  const OLECHAR* property;  // where the value is read back
  const char* stored;
  const char* storedType;
};

TEST_F(SettingStore, ModifySettingReadsTheTextAsTheSettingsType) {
  Store(OLESTR("Count"), 3, OLESTR("IntVal"), ScopedVariant(LONG{1}));
  Store(OLESTR("Flag"), 11, OLESTR("IntVal"), ScopedVariant(LONG{0}));
  Store(OLESTR("Text"), 8, OLESTR("StringValue"), ScopedVariant(OLESTR("old")));
  Store(OLESTR("Ratio"), 4, OLESTR("RealVal"), ScopedVariant(LONG{1}));
  const EditCase cases[] = {
      {OLESTR("Count"), 3, OLESTR("12abc"), S_OK, OLESTR("IntVal"), "12", "3"},
      {OLESTR("Count"), 3, OLESTR("abc"), S_OK, OLESTR("IntVal"), "0", "3"},
      {OLESTR("Flag"), 11, OLESTR("t"), S_OK, OLESTR("IntVal"), "1", "3"},
      {OLESTR("Text"), 8, OLESTR("new <value>"), S_OK, OLESTR("StringValue"), "new <value>", "8"},
      {OLESTR("Ratio"), 4, OLESTR("2.5"), S_OK, OLESTR("RealVal"), "2.5", "4"},
      {OLESTR("Missing"), 0, OLESTR("1"), Status(WBEM_E_NOT_FOUND), OLESTR("IntVal"), "missing",
       "missing"},
      {OLESTR("Bad\"Name"), 0, OLESTR("1"), Status(WBEM_E_INVALID_OBJECT_PATH), OLESTR("IntVal"),
       "missing", "missing"},
  };
  for (const EditCase& edit : cases) {
    CSetting setting(reporting);
    ASSERT_EQ(setting.Connect(), S_OK);
    EXPECT_EQ(setting.ModifySetting(winport::ScopedBstr(edit.name), winport::ScopedBstr(edit.text)),
              edit.answer)
        << Narrow(edit.name);
    const std::string name = Narrow(edit.name);
    EXPECT_EQ(Stored(name.c_str(), edit.property), edit.stored) << name;
    EXPECT_EQ(Stored(name.c_str(), OLESTR("CIMTYPE")), edit.storedType) << name;
  }
  // A boolean edited with another word is 0, and an integer from then on.
  CSetting setting(reporting);
  ASSERT_EQ(setting.Connect(), S_OK);
  Store(OLESTR("Flag2"), 11, OLESTR("IntVal"), ScopedVariant(LONG{1}));
  EXPECT_EQ(setting.ModifySetting(winport::ScopedBstr(OLESTR("Flag2")),
                                  winport::ScopedBstr(OLESTR("yes"))),
            S_OK);
  EXPECT_EQ(Stored("Flag2", OLESTR("IntVal")), "0");
  EXPECT_EQ(Stored("Flag2", OLESTR("CIMTYPE")), "3");
}

// Each WMI step the connection raises, made to fail in turn: its code is the answer, and
// reading shows the failure (or the class that is missing).
TEST_F(SettingStore, AFailedConnectionStepIsTheAnswer) {
  struct Step {
    const char* name;
    HRESULT code;
    HRESULT read;
  };
  const Step steps[] = {
      {"ConnectServer", Status(WBEM_E_ACCESS_DENIED), Status(WBEM_E_ACCESS_DENIED)},
      // the __Namespace class, on first use
      {"GetObject", Status(WBEM_E_FAILED), Status(WBEM_E_FAILED)},
      {"SpawnInstance", Status(WBEM_E_OUT_OF_MEMORY), Status(WBEM_E_OUT_OF_MEMORY)},
      {"PutClass", Status(WBEM_E_QUOTA_VIOLATION), Status(WBEM_E_INVALID_CLASS)},
  };
  for (const auto& [step, code, read] : steps) {
    testing_support::LeaveFreshMachine();
    testing_support::EnterFreshMachine();
    winport::fault::FailCall(step, static_cast<std::uint32_t>(code));
    CSetting setting(reporting);
    EXPECT_EQ(setting.Connect(), code) << step;
    winport::WideString rows;
    ULONG count = 0;
    EXPECT_EQ(setting.ReadMetadata(rows, count), read) << step;
    winport::fault::Reset();
  }
}

// A failure while the instances are walked leaves the rows unset and the count at the
// instances read.
TEST_F(SettingStore, AFailedReadLeavesTheRowsUnsetAndCountsWhatWasRead) {
  Store(OLESTR("One"), 3, OLESTR("IntVal"), ScopedVariant(LONG{1}));
  Store(OLESTR("Two"), 3, OLESTR("IntVal"), ScopedVariant(LONG{2}));
  const std::pair<unsigned, ULONG> failures[] = {{1, 0}, {2, 1}};
  for (const auto& [nth, read] : failures) {
    CSetting setting(reporting);
    ASSERT_EQ(setting.Connect(), S_OK);
    winport::fault::FailCall("Next", static_cast<std::uint32_t>(WBEM_E_CRITICAL_ERROR), nth);
    winport::WideString rows = OLESTR("unset");
    ULONG count = 9;
    EXPECT_EQ(setting.ReadMetadata(rows, count), Status(WBEM_E_CRITICAL_ERROR));
    EXPECT_EQ(Narrow(rows), "unset");
    EXPECT_EQ(count, read);
    winport::fault::Reset();
  }
  winport::fault::FailCall("CreateInstanceEnum", static_cast<std::uint32_t>(WBEM_E_FAILED));
  CSetting setting(reporting);
  ASSERT_EQ(setting.Connect(), S_OK);
  winport::WideString rows;
  ULONG count = 0;
  EXPECT_EQ(setting.ReadMetadata(rows, count), Status(WBEM_E_FAILED));
}

TEST_F(SettingStore, TheQuietReaderReadsSettingsAndNeverRaisesForWmi) {
  {
    winport::fault::FailCall("ConnectServer", static_cast<std::uint32_t>(WBEM_E_FAILED));
    const SettingsConnection unreachable;
    EXPECT_FALSE(unreachable.Exists(OLESTR("ReportingLevel")));
    EXPECT_EQ(unreachable.Read(OLESTR("ReportingLevel")).Value.Type(), VT_EMPTY);
  }
  const SettingsConnection first;  // creates namespace and class
  EXPECT_FALSE(first.Exists(OLESTR("ReportingLevel")));
  Store(OLESTR("ReportingLevel"), 3, OLESTR("IntVal"), ScopedVariant(LONG{6}), OLESTR("Level"));
  Store(OLESTR("Odd"), 5, OLESTR("IntVal"), ScopedVariant(LONG{6}));
  Store(OLESTR("Flag"), 11, OLESTR("IntVal"), ScopedVariant(LONG{1}));

  const SettingsConnection connection;
  EXPECT_TRUE(connection.Exists(OLESTR("reportinglevel")));
  const auto level = connection.Read(OLESTR("ReportingLevel"));
  EXPECT_EQ(level.CimType, 3u);
  EXPECT_EQ(SettingsConnection::ValueAsLong(level.Value.Get()), 6);
  EXPECT_EQ(Narrow(SettingsConnection::ValueAsString(level.Value.Get())), "6");
  EXPECT_EQ(Narrow(level.Description.Get()), "Level");
  EXPECT_EQ(connection.Read(OLESTR("Flag")).CimType, 11u);
  // An unknown CIMTYPE gives no value; a missing setting an empty record.
  const auto odd = connection.Read(OLESTR("Odd"));
  EXPECT_EQ(odd.Value.Type(), VT_EMPTY);
  EXPECT_EQ(odd.CimType, 0u);
  EXPECT_EQ(Narrow(odd.SettingName.Get()), "Odd");
  const auto missing = connection.Read(OLESTR("Missing"));
  EXPECT_EQ(missing.SettingName.Get(), nullptr);
  EXPECT_EQ(SettingsConnection::ValueAsLong(missing.Value.Get()), 0);
  EXPECT_EQ(Narrow(SettingsConnection::ValueAsString(missing.Value.Get())), "");
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  EXPECT_THROW(SettingsConnection::ValueAsLong(null), quillmere::_com_error);
}

}  // namespace
}  // namespace settings_testing
