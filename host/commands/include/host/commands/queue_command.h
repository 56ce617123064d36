// `quillmere queue`: message queuing on this machine and its private queues, as the
// queuing console shows them.
//   queue install | uninstall | start | stop | status
//   queue list | count NAME | peek NAME | receive NAME [--follow] | purge NAME
//   queue outgoing | forward [--until-empty] | broker set URL [--password-stdin] | show | clear
#pragma once

#include <iosfwd>

namespace CLI {
class App;
}

namespace quillmere::host {

// Adds the command to app; a password is read from in, data goes to out, progress and
// warnings to progressOut.
void AddQueueCommand(CLI::App& app, std::istream& in, std::ostream& out, std::ostream& progressOut);

}  // namespace quillmere::host
