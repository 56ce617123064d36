// quillmere: the host's command line.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>

#include "host/commands/call_command.h"
#include "host/commands/events_command.h"
#include "host/commands/log_command.h"
#include "host/commands/module_library.h"
#include "host/commands/mof_command.h"
#include "host/commands/queue_command.h"
#include "host/commands/register_command.h"
#include "host/commands/settings_command.h"
#include "host/commands/users_command.h"
#include "host/commands/wmi_command.h"
#include "host/server/serve_command.h"
#include "host/server/serve_options.h"

int main(int argc, char** argv) {
  CLI::App app{"Quillmere administrative module host"};
  app.require_subcommand(1);
  quillmere::host::ServeOptions options;
  CLI::App* serve = app.add_subcommand("serve", "Serve the module over SOAP 1.1 and HTTP");
  quillmere::host::AddServeOptions(*serve, options);
  quillmere::host::AddUsersCommand(app, std::cin, std::cout);
  quillmere::host::AddCallCommand(app, std::cin, std::cout);
  quillmere::host::AddRegisterCommands(app, quillmere::host::ModuleLibrary, std::cout);
  quillmere::host::AddMofCommand(app, std::cout, std::cerr);
  quillmere::host::AddWmiCommand(app, std::cout);
  quillmere::host::AddSettingsCommand(app, std::cout);
  quillmere::host::AddEventsCommand(app, std::cout);
  quillmere::host::AddQueueCommand(app, std::cin, std::cout, std::cerr);
  quillmere::host::AddLogCommand(app, std::cout);
  try {
    app.parse(argc, argv);
    if (!serve->parsed()) return 0;
    if (options.module.empty()) options.module = quillmere::host::ModuleLibrary();
    if (options.console.empty()) options.console = quillmere::host::ConsoleFolder();
    return quillmere::host::RunServe(options, std::cout);
  } catch (const CLI::ParseError& error) {
    return app.exit(error);
  } catch (const std::exception& error) {
    std::cerr << "quillmere: " << error.what() << "\n";
    return 1;
  }
}
