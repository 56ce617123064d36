#include <gtest/gtest.h>

#include <optional>
#include <string>

#include <winport/windows.h>

#include "module/registrar.h"
#include "registry_text.h"
#include "wide_matchers.h"

namespace {

using quillmere::ApplyRegistryScript;
using quillmere::RegistrarMode;
using testing_support::KeyExists;
using testing_support::Narrow;
using testing_support::ReadRegistryString;

constexpr const OLECHAR* kScript = OLESTR(
    "HKCU { NoRemove Software { NoRemove Kept { val Named = s '%PATH%' }\n"
    "  ForceRemove Tool = s 'it''s %%100' { Sub = s '%RAW%' } } }");

std::string Read(const OLECHAR* path, const OLECHAR* name = nullptr) {
  return Narrow(ReadRegistryString(HKEY_CURRENT_USER, path, name).value_or(OLESTR("<none>")));
}

TEST(Registrar, QuotedReplacementsAreWrittenAsGivenAndRemovedByMode) {
  const winport::WideString path = OLESTR("C:\\O'Brien\\x.dll");
  const quillmere::RegistryReplacements replacements = {
      {OLESTR("PATH"), quillmere::DoubleApostrophes(path)}, {OLESTR("RAW"), OLESTR("raw")}};
  // A stale subkey of a ForceRemove key does not survive registration.
  testing_support::WriteRegistryString(HKEY_CURRENT_USER, OLESTR("Software\\Tool\\Stale"), nullptr,
                                       OLESTR("old"));
  ASSERT_EQ(ApplyRegistryScript(kScript, replacements, RegistrarMode::kRegister), S_OK);
  EXPECT_EQ(Read(OLESTR("Software\\Kept"), OLESTR("Named")), Narrow(path));
  EXPECT_EQ(Read(OLESTR("Software\\Tool")), "it's %100");
  EXPECT_EQ(Read(OLESTR("Software\\Tool\\Sub")), "raw");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OLESTR("Software\\Tool\\Stale")));

  ASSERT_EQ(ApplyRegistryScript(kScript, replacements, RegistrarMode::kUnregister), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OLESTR("Software\\Tool")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, OLESTR("Software\\Kept")));
  EXPECT_EQ(Read(OLESTR("Software\\Kept"), OLESTR("Named")), "<none>");
  // Unregistering what is not there is no failure.
  EXPECT_EQ(ApplyRegistryScript(kScript, replacements, RegistrarMode::kUnregister), S_OK);
}

TEST(Registrar, ScriptsThatCannotBeReadWriteNothing) {
  for (const OLECHAR* script :
       {OLESTR("HKXX { A }"), OLESTR("HKCU { A = s 'open }"), OLESTR("HKCU { A = 'no type' }"),
        OLESTR("HKCU { A { val B } }"), OLESTR("HKCU { A"), OLESTR("HKCU { A 'quoted' }"),
        OLESTR("HKCU { A = s '%UNKNOWN%' }")}) {
    EXPECT_EQ(ApplyRegistryScript(script, {}, RegistrarMode::kRegister), DISP_E_EXCEPTION)
        << Narrow(script);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OLESTR("A"))) << Narrow(script);
  }
}

}  // namespace
