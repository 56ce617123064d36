// The two forms of a report: the text the event log shows, and the XML the log-file
// writer and the message queue receive. Neither escapes anything.
#pragma once

#include <winport/wide.h>

#include "diagnostics/report_record.h"

namespace quillmere {

// <Msg><RprtLvl>..</RprtLvl><Src>..</Src><Desc>..</Desc><Time>..</Time><PID>..</PID>
// <TID>..</TID><ErrNum>..</ErrNum>[<Loc>..</Loc>]</Msg>, without whitespace; line feeds in
// the description become <br/>.
winport::WideString FormatMessageXml(const ReportRecord& record);

// The description, the source, the location when there is one, the error number when it
// is not 0 and the record is no trace, the level, process and thread. No time: the event
// log stamps its own.
winport::WideString FormatMessageText(const ReportRecord& record);

}  // namespace quillmere
