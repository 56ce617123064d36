// `quillmere serve`: the host, from a fresh prefix to a graceful stop on SIGINT or SIGTERM.
#pragma once

#include <iosfwd>

#include "host/server/serve_options.h"

namespace quillmere::host {

// The banner and the first administrator's password go to out. Throws std::runtime_error
// when the host cannot start; returns the exit code after a stop.
int RunServe(const ServeOptions& options, std::ostream& out);

}  // namespace quillmere::host
