// `quillmere call OBJECT METHOD`: one SOAP request against a running host, the document
// it answers printed for reading (or as sent, with --raw). With --user, a session is
// opened for the call and closed after it.
#pragma once

#include <iosfwd>

namespace CLI {
class App;
}

namespace quillmere::host {

// Passwords are read from in, prompted for on the terminal.
void AddCallCommand(CLI::App& app, std::istream& in, std::ostream& out);

}  // namespace quillmere::host
