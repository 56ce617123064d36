// `quillmere settings`: the module's settings, the Metadata instances of
// root\cimv2\quillmere, changed by the rules PutMetadata applies.
//   settings list                name, type, value, responsible object, description
//   settings get NAME            the value alone
//   settings set NAME VALUE      VALUE read as the setting's type
#pragma once

#include <iosfwd>

namespace CLI {
class App;
}

namespace quillmere::host {

void AddSettingsCommand(CLI::App& app, std::ostream& out);

}  // namespace quillmere::host
