#include "group_tags.h"

#include "quillmere/session_manager.h"

namespace quillmere {

namespace {

// Each tag's length is known here, so appending one is a copy rather than a walk to its
// terminator on every session.
struct GroupTag {
  ULONG bit;
  winport::WideView tag;
};
constexpr GroupTag kGroupTags[] = {
    {GroupAdmin, OLESTR("<QMS_ADMIN/>")},
    {GroupBatch, OLESTR("<QMS_BATCHABLE/>")},
    {GroupUploadData, OLESTR("<QMS_UPLOADDATA/>")},
    {GroupDownloadFiles, OLESTR("<QMS_DOWNLOADFILES/>")},
    {GroupUploadScripts, OLESTR("<QMS_UPLOADSCRIPTS/>")},
    {GroupPortalInteractive, OLESTR("<QMS_PORTALINTERACTIVE/>")},
    {GroupPortal, OLESTR("<QMS_PORTAL/>")},
};

}  // namespace

void AppendGroupTags(ULONG groups, winport::WideString& listing) {
  listing += OLESTR("<QMSGROUPS>");
  for (const GroupTag& group : kGroupTags) {
    if ((groups & group.bit) != 0) listing.append(group.tag);
  }
  listing += OLESTR("</QMSGROUPS>");
}

}  // namespace quillmere
