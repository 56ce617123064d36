#include "group_tags.h"

#include "quillmere/session_manager.h"

namespace quillmere {

namespace {

struct GroupTag {
  ULONG bit;
  const OLECHAR* tag;
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
    if ((groups & group.bit) != 0) listing += group.tag;
  }
  listing += OLESTR("</QMSGROUPS>");
}

}  // namespace quillmere
