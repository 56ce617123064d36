#include "host/commands/settings_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

#include <winport/scoped_variant.h>
#include <winport/wide.h>

#include "host/commands/command_support.h"
#include "host/commands/wmi_access.h"
#include "host/common/ascii_case.h"
#include "host/components/wmi_data.h"

namespace quillmere::host {
namespace {

// A setting's value is kept under one of the CIMTYPEs CIM_SINT32, CIM_REAL32, CIM_STRING and
// CIM_BOOLEAN; a boolean is kept as 1 or 0 in IntVal.

struct SettingsOptions {
  std::filesystem::path prefix;
  bool json = false;
  std::string name;
  std::string value;
};

const OLECHAR* ValueProperty(LONG cimType) {
  switch (cimType) {
    case CIM_SINT32:
    case CIM_BOOLEAN:
      return OLESTR("IntVal");
    case CIM_REAL32:
      return OLESTR("RealVal");
    case CIM_STRING:
      return OLESTR("StringValue");
    default:
      return nullptr;
  }
}

std::string TypeName(LONG cimType) {
  switch (cimType) {
    case CIM_SINT32:
      return "integer";
    case CIM_BOOLEAN:
      return "boolean";
    case CIM_REAL32:
      return "real";
    case CIM_STRING:
      return "string";
    default:
      return "unknown (" + std::to_string(cimType) + ")";
  }
}

// The type the setting is declared with: PutMetadata stores a changed boolean as an
// integer, which would otherwise make "true" read as 0 from then on.
LONG CimTypeOf(IWbemClassObject* setting) {
  const std::optional<LONG> declared =
      DeclaredSettingType(PropertyText(setting, OLESTR("SettingName")));
  if (declared) return *declared;
  return static_cast<LONG>(std::atol(PropertyText(setting, OLESTR("CIMTYPE")).c_str()));
}

std::vector<std::string> SettingRow(IWbemClassObject* setting) {
  const LONG cimType = CimTypeOf(setting);
  const OLECHAR* property = ValueProperty(cimType);
  return {PropertyText(setting, OLESTR("SettingName")), TypeName(cimType),
          property != nullptr ? PropertyText(setting, property) : std::string(),
          PropertyText(setting, OLESTR("ResponsibleObject")),
          PropertyText(setting, OLESTR("Description"))};
}

Table SettingTable() {
  return {{"Name", "Type", "Value", "Responsible", "Description"}, {}};
}

winport::ComPtr<IWbemClassObject> FindSetting(const WmiConnection& wmi, const std::string& name) {
  if (name.find('"') != std::string::npos)
    throw CommandFailure("a setting name has no double quotes");
  winport::ComPtr<IWbemClassObject> setting;
  const HRESULT hr = wmi->GetObject(ScopedBstrOf("Metadata=\"" + name + "\"").Get(), 0, nullptr,
                                    setting.GetAddressOf(), nullptr);
  if (hr == static_cast<HRESULT>(WBEM_E_NOT_FOUND)) throw CommandFailure("no setting " + name);
  CheckWbem(hr, name);
  return setting;
}

// The text as it survives the system's ANSI code page, which PutMetadata reads values in.
winport::WideString ThroughAnsi(const std::string& utf8) {
  const winport::WideString wide = winport::Utf8ToWide(utf8);
  std::string ansi(wide.size() * 2 + 1, '\0');
  const int length =
      WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(),
                          static_cast<int>(ansi.size()), nullptr, nullptr);
  ansi.resize(static_cast<size_t>(std::max(length, 0)));
  winport::WideString back(ansi.size(), u'\0');
  const int read = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                       back.data(), static_cast<int>(back.size()));
  back.resize(static_cast<size_t>(std::max(read, 0)));
  return back;
}

CommandFailure Refused(const std::string& name, const std::string& text, const char* accepted) {
  return CommandFailure(name + " is " + accepted + ", not \"" + text + "\"");
}

LONG IntegerOf(const std::string& name, const std::string& text) {
  LONG value = 0;
  const char* begin = text.data() + (text.starts_with('+') ? 1 : 0);
  const auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    throw Refused(name, text, "an integer: give a whole number from -2147483648 to 2147483647");
  return value;
}

LONG BooleanOf(const std::string& name, const std::string& text) {
  const std::string word = AsciiLower(text);
  if (word == "true" || word == "t" || word == "1") return 1;
  if (word == "false" || word == "f" || word == "0") return 0;
  throw Refused(name, text, "a boolean: give true, false, t, f, 1 or 0");
}

float RealOf(const std::string& name, const std::string& text) {
  char* end = nullptr;
  const float value = std::strtof(text.c_str(), &end);
  if (text.empty() || std::isspace(static_cast<unsigned char>(text.front())) ||
      end != text.c_str() + text.size() || !std::isfinite(value))
    throw Refused(name, text, "a real number: give a decimal number such as 2.5 or -1e3");
  return value;
}

// The text is stored as the operator typed it, or not at all: the store's rules (an
// integer or real from its leading digits, a boolean false for any unknown word, a text
// through the ANSI code page) would otherwise keep something else without a word. A
// setting that is not stored is not created. A boolean is stored under its declared type.
void ModifySetting(const WmiConnection& wmi, IWbemClassObject* setting, const std::string& name,
                   const std::string& text) {
  const winport::WideString ansi = ThroughAnsi(text);
  const LONG cimType = CimTypeOf(setting);
  winport::ScopedVariant value;
  switch (cimType) {
    case CIM_SINT32:
      value.Reset(winport::ScopedVariant(IntegerOf(name, text)).Release());
      break;
    case CIM_BOOLEAN:
      value.Reset(winport::ScopedVariant(BooleanOf(name, text)).Release());
      break;
    case CIM_REAL32:
      value.Receive()->vt = VT_R4;
      value.AsInput()->fltVal = RealOf(name, text);
      break;
    case CIM_STRING:
      if (ansi != winport::Utf8ToWide(text))
        throw Refused(name, text, "a text in the system's ANSI code page, which cannot hold it");
      value.Reset(winport::ScopedVariant(ansi.c_str()).Release());
      break;
    default:
      throw CommandFailure(name + " has a value type the store does not know (" +
                           TypeName(cimType) + ")");
  }
  CheckWbem(setting->Put(ValueProperty(cimType), 0, value.AsInput(), 0), name);
  winport::ScopedVariant storedType(cimType);
  CheckWbem(setting->Put(OLESTR("CIMTYPE"), 0, storedType.AsInput(), 0), name);
  CheckWbem(wmi->PutInstance(setting, 0, nullptr, nullptr), name);
}

CLI::App* AddSubcommand(CLI::App& settings, const std::shared_ptr<SettingsOptions>& options,
                        const char* name, const char* help) {
  CLI::App* command = settings.add_subcommand(name, help);
  AddPrefixOption(*command, options->prefix);
  AddJsonOption(*command, options->json);
  return command;
}

}  // namespace

void AddSettingsCommand(CLI::App& app, std::ostream& out) {
  auto options = std::make_shared<SettingsOptions>();
  CLI::App* settings = app.add_subcommand(
      "settings",
      "The module's settings: the same store (Metadata in root\\cimv2\\quillmere) and the same "
      "rules for changing them as the WbemProvider's PutMetadata");
  settings->require_subcommand(1);

  AddSubcommand(*settings, options, "list", "Every setting with its type and value")
      ->callback([options, &out] {
        UsePrefix(options->prefix);
        const WmiConnection wmi(kQuillmereNamespace);
        winport::ComPtr<IEnumWbemClassObject> found;
        CheckWbem(wmi->CreateInstanceEnum(ScopedBstrOf("Metadata").Get(), 0, nullptr,
                                          found.GetAddressOf()),
                  "settings");
        Table table = SettingTable();
        for (const auto& setting : Drain(found.Get()))
          table.rows.push_back(SettingRow(setting.Get()));
        std::sort(table.rows.begin(), table.rows.end());
        PrintTable(table, options->json, out);
      });

  CLI::App* get = AddSubcommand(*settings, options, "get", "One setting's value");
  get->add_option("NAME", options->name, "Setting name, e.g. ReportingLevel")->required();
  get->callback([options, &out] {
    UsePrefix(options->prefix);
    const WmiConnection wmi(kQuillmereNamespace);
    const std::vector<std::string> row = SettingRow(FindSetting(wmi, options->name).Get());
    if (options->json)
      PrintTable(Table{SettingTable().columns, {row}}, true, out);
    else
      out << row[2] << "\n";
  });

  CLI::App* set = AddSubcommand(
      *settings, options, "set",
      "Change a setting in the store PutMetadata writes: VALUE must be of the setting's "
      "declared type (an integer, a real number, a boolean as true, false, t, f, 1 or 0, a "
      "text the ANSI code page holds) or nothing is stored; a setting is never created. A "
      "running server's reporting level follows at its next start.");
  set->add_option("NAME", options->name, "Setting name")->required();
  set->add_option("VALUE", options->value, "New value, as text")->required();
  set->callback([options, &out] {
    UsePrefix(options->prefix);
    const WmiConnection wmi(kQuillmereNamespace);
    const auto setting = FindSetting(wmi, options->name);
    ModifySetting(wmi, setting.Get(), options->name, options->value);
    PrintTable(Table{SettingTable().columns, {SettingRow(FindSetting(wmi, options->name).Get())}},
               options->json, out);
  });
}

}  // namespace quillmere::host
