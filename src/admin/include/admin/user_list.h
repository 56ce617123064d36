// UserList: for an administrator, the portal's main menu followed by the sheet of the
// session manager's users and the button that posts an edited row to UserPermissions.
#pragma once

#include <winport/scoped_bstr.h>
#include <winport/windows.h>

#include "soap/soap_method.h"

namespace quillmere {

class CUserList : public SOAPMethod {
 public:
  explicit CUserList(ISOAPObjectImpl& owner) : SOAPMethod(owner) {}

  winport::ScopedBstr name() const override { return winport::ScopedBstr(OLESTR("UserList")); }
  HRESULT execute(ISOAPMessage* request, ISOAPMessage* response) override;

 private:
  HRESULT List(ISOAPMessage* request, ISOAPMessage* response) const;
};

}  // namespace quillmere
