#include "host/commands/wmi_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <winport/scoped_variant.h>

#include "host/commands/command_support.h"
#include "host/commands/wmi_access.h"

namespace quillmere::host {
namespace {

struct WmiOptions {
  std::filesystem::path prefix;
  std::string wmiNamespace = kQuillmereNamespace;
  bool json = false;
  std::string target;  // a namespace, class, path or query, as the subcommand reads it
  std::vector<std::string> assignments;
};

using Objects = std::vector<winport::ComPtr<IWbemClassObject>>;

std::string Joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts)
    text += (text.empty() ? "" : ",") + part;
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
    return std::tolower(x) == std::tolower(y);
  });
}

void AddNamespaces(const std::string& wmiNamespace, Table& table) {
  table.rows.push_back({wmiNamespace});
  const WmiConnection wmi(wmiNamespace);
  winport::ComPtr<IEnumWbemClassObject> children;
  CheckWbem(wmi->CreateInstanceEnum(ScopedBstrOf("__NAMESPACE").Get(), 0, nullptr,
                                    children.GetAddressOf()),
            wmiNamespace);
  for (const auto& child : Drain(children.Get()))
    AddNamespaces(wmiNamespace + "\\" + PropertyText(child.Get(), OLESTR("Name")), table);
}

Table ClassTable(const Objects& classes) {
  Table table{{"Class", "Superclass", "Keys"}, {}};
  for (const auto& object : classes)
    table.rows.push_back({PropertyText(object.Get(), OLESTR("__CLASS")),
                          PropertyText(object.Get(), OLESTR("__SUPERCLASS")),
                          Joined(PropertyNames(object.Get(), WBEM_FLAG_KEYS_ONLY))});
  std::sort(table.rows.begin(), table.rows.end());
  return table;
}

// The path first, then every property any of the instances has, in the order first met.
Table InstanceTable(const Objects& instances) {
  Table table{{"Path"}, {}};
  for (const auto& object : instances)
    for (const std::string& name : PropertyNames(object.Get(), WBEM_FLAG_NONSYSTEM_ONLY))
      if (std::find(table.columns.begin(), table.columns.end(), name) == table.columns.end())
        table.columns.push_back(name);
  for (const auto& object : instances) {
    std::vector<std::string> row{PropertyText(object.Get(), OLESTR("__RELPATH"))};
    for (size_t column = 1; column < table.columns.size(); ++column)
      row.push_back(PropertyText(object.Get(), winport::Utf8ToWide(table.columns[column]).c_str()));
    table.rows.push_back(std::move(row));
  }
  return table;
}

Table PropertyTable(IWbemClassObject* object) {
  Table table{{"Property", "Value"}, {}};
  for (const std::string& name : PropertyNames(object, WBEM_FLAG_NONSYSTEM_ONLY))
    table.rows.push_back({name, PropertyText(object, winport::Utf8ToWide(name).c_str())});
  return table;
}

winport::ComPtr<IWbemClassObject> GetObjectAt(const WmiConnection& wmi, const std::string& path) {
  winport::ComPtr<IWbemClassObject> object;
  CheckWbem(wmi->GetObject(ScopedBstrOf(path).Get(), 0, nullptr, object.GetAddressOf(), nullptr),
            path);
  return object;
}

void PutAssignment(IWbemClassObject* instance, const std::string& assignment,
                   const std::vector<std::string>& keys) {
  const size_t equals = assignment.find('=');
  if (equals == std::string::npos || equals == 0)
    throw CommandFailure("expected PROPERTY=VALUE, got \"" + assignment + "\"");
  const std::string name = assignment.substr(0, equals);
  const winport::WideString wideName = winport::Utf8ToWide(name);
  if (FAILED(instance->Get(wideName.c_str(), 0, nullptr, nullptr, nullptr)) ||
      name.starts_with("__"))
    throw CommandFailure("no property " + name + " in " +
                         PropertyText(instance, OLESTR("__CLASS")));
  for (const std::string& key : keys)
    if (SameName(key, name)) throw CommandFailure(name + " is a key: it names the instance");
  // An empty value clears the property; any other text is read as the property's type.
  winport::ScopedVariant value(winport::Utf8ToWide(assignment.substr(equals + 1)).c_str());
  if (equals + 1 == assignment.size()) value.Receive()->vt = VT_NULL;
  CheckWbem(instance->Put(wideName.c_str(), 0, value.AsInput(), 0), assignment);
}

void SetProperties(const WmiOptions& options, std::ostream& out) {
  const WmiConnection wmi(options.wmiNamespace);
  const auto instance = GetObjectAt(wmi, options.target);
  if (PropertyText(instance.Get(), OLESTR("__GENUS")) != "2")
    throw CommandFailure(options.target + " names a class, not an instance");
  const auto keys = PropertyNames(instance.Get(), WBEM_FLAG_KEYS_ONLY);
  for (const std::string& assignment : options.assignments)
    PutAssignment(instance.Get(), assignment, keys);
  CheckWbem(wmi->PutInstance(instance.Get(), WBEM_FLAG_UPDATE_ONLY, nullptr, nullptr),
            options.target);
  PrintTable(PropertyTable(GetObjectAt(wmi, options.target).Get()), options.json, out);
}

CLI::App* AddSubcommand(CLI::App& wmi, const std::shared_ptr<WmiOptions>& options, const char* name,
                        const char* help, bool namespaced = true) {
  CLI::App* command = wmi.add_subcommand(name, help);
  AddPrefixOption(*command, options->prefix);
  AddJsonOption(*command, options->json);
  if (namespaced)
    command->add_option("--namespace", options->wmiNamespace, "WMI namespace")
        ->capture_default_str();
  return command;
}

}  // namespace

void AddWmiCommand(CLI::App& app, std::ostream& out) {
  auto options = std::make_shared<WmiOptions>();
  CLI::App* wmi = app.add_subcommand(
      "wmi", "Read and change the WMI repository of the machine's folder (as wmic does)");
  wmi->require_subcommand(1);

  CLI::App* namespaces =
      AddSubcommand(*wmi, options, "namespaces", "Every namespace below NS", false);
  namespaces->add_option("NS", options->target, "Where to start (default: root)");
  namespaces->callback([options, &out] {
    UsePrefix(options->prefix);
    Table table{{"Namespace"}, {}};
    AddNamespaces(options->target.empty() ? "root" : options->target, table);
    PrintTable(table, options->json, out);
  });

  CLI::App* classes = AddSubcommand(*wmi, options, "classes",
                                    "The classes of a namespace, their superclasses and keys");
  classes->add_option("NS", options->target, "The namespace (default: --namespace)");
  classes->callback([options, &out] {
    UsePrefix(options->prefix);
    const WmiConnection wmi(options->target.empty() ? options->wmiNamespace : options->target);
    winport::ComPtr<IEnumWbemClassObject> found;
    CheckWbem(wmi->CreateClassEnum(nullptr, WBEM_FLAG_DEEP, nullptr, found.GetAddressOf()),
              "classes");
    PrintTable(ClassTable(Drain(found.Get())), options->json, out);
  });

  CLI::App* instances = AddSubcommand(
      *wmi, options, "instances", "The instances of a class and of the classes derived from it");
  instances->add_option("CLASS", options->target, "Class name")->required();
  instances->callback([options, &out] {
    UsePrefix(options->prefix);
    const WmiConnection wmi(options->wmiNamespace);
    winport::ComPtr<IEnumWbemClassObject> found;
    CheckWbem(wmi->CreateInstanceEnum(ScopedBstrOf(options->target).Get(), 0, nullptr,
                                      found.GetAddressOf()),
              options->target);
    PrintTable(InstanceTable(Drain(found.Get())), options->json, out);
  });

  CLI::App* get = AddSubcommand(*wmi, options, "get",
                                "The properties of the object a path names, e.g. "
                                "'Metadata=\"ReportingLevel\"'");
  get->add_option("PATH", options->target, "Object path")->required();
  get->callback([options, &out] {
    UsePrefix(options->prefix);
    const WmiConnection wmi(options->wmiNamespace);
    PrintTable(PropertyTable(GetObjectAt(wmi, options->target).Get()), options->json, out);
  });

  CLI::App* set = AddSubcommand(*wmi, options, "set",
                                "Change properties of an existing instance (PROP= clears one); "
                                "prints the instance as stored");
  set->add_option("PATH", options->target, "Instance path")->required();
  set->add_option("ASSIGNMENT", options->assignments, "PROP=VALUE")->required();
  set->callback([options, &out] {
    UsePrefix(options->prefix);
    SetProperties(*options, out);
  });

  CLI::App* remove = AddSubcommand(*wmi, options, "delete", "Delete the instance a path names");
  remove->add_option("PATH", options->target, "Instance path")->required();
  remove->callback([options, &out] {
    UsePrefix(options->prefix);
    const WmiConnection wmi(options->wmiNamespace);
    CheckWbem(wmi->DeleteInstance(ScopedBstrOf(options->target).Get(), 0, nullptr, nullptr),
              options->target);
    out << "Deleted " << options->target << "\n";
  });

  CLI::App* query = AddSubcommand(*wmi, options, "query",
                                  "Instances a WQL query selects: SELECT * FROM CLASS "
                                  "[WHERE PROPERTY = VALUE]");
  query->add_option("WQL", options->target, "The query")->required();
  query->callback([options, &out] {
    UsePrefix(options->prefix);
    const WmiConnection wmi(options->wmiNamespace);
    winport::ComPtr<IEnumWbemClassObject> found;
    CheckWbem(wmi->ExecQuery(ScopedBstrOf("WQL").Get(), ScopedBstrOf(options->target).Get(), 0,
                             nullptr, found.GetAddressOf()),
              options->target);
    PrintTable(InstanceTable(Drain(found.Get())), options->json, out);
  });
}

}  // namespace quillmere::host
