// `quillmere users`: the host's users, kept in the prefix's user store.
//   users list                     names and permission bits
//   users add NAME [--groups N]    password read from standard input
//   users passwd NAME              new password read from standard input
//   users groups NAME N            replaces the permission bits
//   users remove NAME
#pragma once

#include <iosfwd>

namespace CLI {
class App;
}

namespace quillmere::host {

// Adds the command to app; it runs when parsed, reading passwords from in.
void AddUsersCommand(CLI::App& app, std::istream& in, std::ostream& out);

}  // namespace quillmere::host
