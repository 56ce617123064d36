// `quillmere register` / `quillmere unregister`: what regsvr32 does for the module, in the
// prefix's registry, and what it wrote or removed read back from there.
#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>

namespace CLI {
class App;
}

namespace quillmere::host {

// defaultModule: the library used when --module is not given (as serve finds it).
void AddRegisterCommands(CLI::App& app, std::function<std::filesystem::path()> defaultModule,
                         std::ostream& out);

}  // namespace quillmere::host
