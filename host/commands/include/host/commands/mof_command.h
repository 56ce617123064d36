// `quillmere mof FILE...`: compiles MOF files into the prefix's WMI repository, as
// mofcomp does; a syntax error names its file, line and column.
#pragma once

#include <iosfwd>

namespace CLI {
class App;
}

namespace quillmere::host {

void AddMofCommand(CLI::App& app, std::ostream& out, std::ostream& progress);

}  // namespace quillmere::host
