// `quillmere queue`: message queuing on this machine and its private queues, as the
// queuing console shows them.
//   queue install | uninstall | start | stop | status
//   queue list | count NAME | peek NAME | receive NAME [--follow] | purge NAME
#pragma once

#include <iosfwd>

namespace CLI {
class App;
}

namespace quillmere::host {

// Adds the command to app; data goes to out, progress to progressOut.
void AddQueueCommand(CLI::App& app, std::ostream& out, std::ostream& progressOut);

}  // namespace quillmere::host
