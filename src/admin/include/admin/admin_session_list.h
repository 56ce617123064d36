// AdminSessionList: every session the host holds, with the groups of each.
#pragma once

#include "admin/session_listing.h"

namespace quillmere {

class CAdminSessionList : public CSessionListing {
 public:
  explicit CAdminSessionList(ISOAPObjectImpl& owner);

 protected:
  std::unique_ptr<SessionWriter> StartWalk(const ListingCall& call) const override;
};

}  // namespace quillmere
