#include "host/commands/register_command.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <string>

#include <winport/scoped_com_init.h>
#include <winport/scoped_library.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "host/commands/command_support.h"
#include "host/commands/registration_keys.h"
#include "host/server/module_loader.h"

namespace quillmere::host {
namespace {

struct RegisterOptions {
  std::filesystem::path prefix;
  std::filesystem::path module;
  bool json = false;
};

using ServerEntry = HRESULT(STDAPICALLTYPE*)();

void CallServerEntry(const std::filesystem::path& library, const char* entry) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(library, error)) {
    throw CommandFailure("no module library at " + library.string());
  }
  const winport::ScopedLibrary module(LoadLibraryW(winport::Utf8ToWide(library.string()).c_str()));
  if (!module.IsValid()) {
    throw CommandFailure("cannot load " + library.string() + ": " +
                         HresultText(HRESULT_FROM_WIN32(GetLastError())));
  }
  const auto call = reinterpret_cast<ServerEntry>(
      reinterpret_cast<void (*)()>(GetProcAddress(module.Get(), entry)));
  if (call == nullptr) throw CommandFailure(library.string() + " has no " + entry);
  const HRESULT hr = call();
  if (FAILED(hr)) throw CommandFailure(std::string(entry) + " failed: " + HresultText(hr));
}

void Register(const RegisterOptions& options, const std::filesystem::path& library,
              std::ostream& out) {
  UsePrefix(options.prefix);
  // Registration creates COM objects (the component categories manager).
  const winport::ScopedComInit com(COINIT_MULTITHREADED);
  CallServerEntry(library, "DllRegisterServer");
  PrintTable(KeyContents(RegisteredKeys()), options.json, out);
}

void Unregister(const RegisterOptions& options, const std::filesystem::path& fallback,
                std::ostream& out) {
  UsePrefix(options.prefix);
  const winport::ScopedComInit com(COINIT_MULTITHREADED);
  const std::vector<std::string> keys = RegisteredKeys();
  if (keys.empty()) throw CommandFailure("the module is not registered");
  // The library registered is the one that knows what it wrote, while it is still there.
  std::filesystem::path library = options.module;
  std::error_code error;
  if (const auto registered = RegisteredLibrary();
      library.empty() && registered && std::filesystem::is_regular_file(*registered, error)) {
    library = *registered;
  }
  CallServerEntry(library.empty() ? fallback : library, "DllUnregisterServer");
  Table removed{{"REMOVED"}, {}};
  for (const std::string& key : keys)
    if (!KeyExists(key)) removed.rows.push_back({"HKCR\\" + key});
  PrintTable(removed, options.json, out);
}

CLI::App* AddCommand(CLI::App& app, const char* name, const char* help, const char* moduleHelp,
                     RegisterOptions& options) {
  CLI::App* command = app.add_subcommand(name, help);
  AddPrefixOption(*command, options.prefix);
  command->add_option("--module", options.module, moduleHelp);
  AddJsonOption(*command, options.json);
  return command;
}

}  // namespace

void AddRegisterCommands(CLI::App& app, std::function<std::filesystem::path()> defaultModule,
                         std::ostream& out) {
  auto options = std::make_shared<RegisterOptions>();
  auto module = std::make_shared<std::function<std::filesystem::path()>>(std::move(defaultModule));
  AddCommand(app, "register",
             "Register the module's classes and type library in the machine's registry "
             "(as regsvr32 does) and show the keys written",
             "The module library (default: the one installed with the program, in "
             "lib/quillmere, else the one built with it)",
             *options)
      ->callback([options, module, &out] {
        Register(*options, options->module.empty() ? (*module)() : options->module, out);
      });
  AddCommand(app, "unregister",
             "Remove the module's registration (as regsvr32 /u does) and show the keys removed",
             "The module library (default: the one registered, while it is there; else as "
             "register finds it)",
             *options)
      ->callback([options, module, &out] { Unregister(*options, (*module)(), out); });
}

}  // namespace quillmere::host
