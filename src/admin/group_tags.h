// The group tags of a session: one empty element per group bit, inside <QMSGROUPS>.
#pragma once

#include <winport/wide.h>
#include <winport/windows.h>

namespace quillmere {

// Appends <QMSGROUPS>, the tag of each set bit in permission order, </QMSGROUPS>. Bits
// without a tag are ignored.
void AppendGroupTags(ULONG groups, winport::WideString& listing);

}  // namespace quillmere
