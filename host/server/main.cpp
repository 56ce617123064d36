// quillmere: the host's command line.
#include <CLI/CLI.hpp>

#include "host/serve_options.h"

int main(int argc, char** argv) {
  CLI::App app{"Quillmere administrative module host"};
  app.require_subcommand(1);
  quillmere::host::ServeOptions options;
  CLI::App* serve = app.add_subcommand("serve", "Serve the module over SOAP");
  quillmere::host::AddServeOptions(*serve, options);
  CLI11_PARSE(app, argc, argv);
  return 0;
}
