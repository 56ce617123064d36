// quillmere: the host's command line.
#include <CLI/CLI.hpp>
#include <exception>
#include <filesystem>
#include <iostream>

#include "host/events_command.h"
#include "host/log_command.h"
#include "host/queue_command.h"
#include "host/serve_command.h"
#include "host/serve_options.h"
#include "host/users_command.h"

namespace {

// An installed program keeps the module beside it; one run from the build tree uses the
// module it was built with.
std::filesystem::path DefaultModule() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  const std::filesystem::path beside = program.parent_path() / "libquillmere_admin.so";
  if (!error && std::filesystem::exists(beside, error)) return beside;
  return QUILLMERE_BUILT_MODULE;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Quillmere administrative module host"};
  app.require_subcommand(1);
  quillmere::host::ServeOptions options;
  CLI::App* serve = app.add_subcommand("serve", "Serve the module over SOAP 1.1 and HTTP");
  quillmere::host::AddServeOptions(*serve, options);
  quillmere::host::AddUsersCommand(app, std::cin, std::cout);
  quillmere::host::AddEventsCommand(app, std::cout);
  quillmere::host::AddQueueCommand(app, std::cout, std::cerr);
  quillmere::host::AddLogCommand(app, std::cout);
  try {
    app.parse(argc, argv);
    if (!serve->parsed()) return 0;
    if (options.module.empty()) options.module = DefaultModule();
    return quillmere::host::RunServe(options, std::cout);
  } catch (const CLI::ParseError& error) {
    return app.exit(error);
  } catch (const std::exception& error) {
    std::cerr << "quillmere: " << error.what() << "\n";
    return 1;
  }
}
