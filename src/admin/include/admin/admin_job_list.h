// AdminJobList: every session the host holds, with the jobs the job component reports
// for each.
#pragma once

#include "admin/session_listing.h"

namespace quillmere {

class CAdminJobList : public CSessionListing {
 public:
  explicit CAdminJobList(ISOAPObjectImpl& owner);

 protected:
  std::unique_ptr<SessionWriter> StartWalk(const ListingCall& call) const override;
};

}  // namespace quillmere
