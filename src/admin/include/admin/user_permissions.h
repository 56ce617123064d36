// UserPermissions: without an edited cell, the form in which an administrator names a
// user; with one, the seven permission flags of the user its value names. Nothing is
// ever changed: the permissions are only shown.
#pragma once

#include <winport/scoped_bstr.h>
#include <winport/windows.h>

#include "soap/soap_method.h"

namespace quillmere {

class CUserPermissions : public SOAPMethod {
 public:
  explicit CUserPermissions(ISOAPObjectImpl& owner) : SOAPMethod(owner) {}

  winport::ScopedBstr name() const override {
    return winport::ScopedBstr(OLESTR("UserPermissions"));
  }
  HRESULT execute(ISOAPMessage* request, ISOAPMessage* response) override;

 private:
  HRESULT Answer(ISOAPMessage* request, ISOAPMessage* response) const;
  // The sheet of the named user's flags.
  void WritePermissions(ISOAPMessage* request, winport::WideView userName,
                        winport::WideString& output) const;
};

}  // namespace quillmere
