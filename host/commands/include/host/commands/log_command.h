// `quillmere log`: the module's user-activity log and the host's report log, both in
// <prefix>/windows/system32/LogFiles/Quillmere.
//   log activity [--date YYMMDD]     swYYMMDD.log, local days as the module names them
//   log reports [--follow]           reports-YYYYMMDD.log of the current UTC day
#pragma once

#include <iosfwd>

namespace CLI {
class App;
}

namespace quillmere::host {

void AddLogCommand(CLI::App& app, std::ostream& out);

}  // namespace quillmere::host
