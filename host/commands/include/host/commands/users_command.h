// `quillmere users`: the host's users, kept in the prefix's user store.
//   users list                              names and groups
//   users add NAME [--groups LIST]          LIST: names (admin,batch) or a number
//   users passwd NAME
//   users groups NAME LIST                  replaces the user's groups
//   users remove NAME
// Passwords are asked for without echo on a terminal, else read as one line of standard
// input; --password-stdin reads that line without asking.
#pragma once

#include <iosfwd>

namespace CLI {
class App;
}

namespace quillmere::host {

// Adds the command to app; it runs when parsed, reading passwords from in.
void AddUsersCommand(CLI::App& app, std::istream& in, std::ostream& out);

}  // namespace quillmere::host
