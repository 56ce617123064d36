// `quillmere events`: the machine's Application event log, as the event viewer shows it.
//   events [--source S] [--level error|warning|information] [--since TIME] [--follow]
#pragma once

#include <iosfwd>

namespace CLI {
class App;
}

namespace quillmere::host {

void AddEventsCommand(CLI::App& app, std::ostream& out);

}  // namespace quillmere::host
