#include "admin/admin_session_list.h"

#include "group_tags.h"

namespace quillmere {

namespace {

class GroupTagWriter : public SessionWriter {
 public:
  SessionWalk AppendBody(ISessionRecord& session, winport::WideString& listing) override {
    ULONG groups = 0;
    session.GetGroups(&groups);  // a session that says nothing belongs to no group
    AppendGroupTags(groups, listing);
    return SessionWalk::kGoOn;
  }
};

}  // namespace

CAdminSessionList::CAdminSessionList(ISOAPObjectImpl& owner)
    : CSessionListing(owner,
                      {OLESTR("AdminSessionList"), OLESTR("CAdminSessionList::execute::execute"),
                       OLESTR("ADMINSESSIONLIST"), OLESTR("Administrative Session List")}) {}

std::unique_ptr<SessionWriter> CAdminSessionList::StartWalk(const ListingCall&) const {
  return std::make_unique<GroupTagWriter>();
}

}  // namespace quillmere
