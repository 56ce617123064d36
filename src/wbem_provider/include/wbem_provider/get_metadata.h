// GetMetadata: every setting of the store as one TABLE document, a row per setting.
#pragma once

#include <winport/scoped_bstr.h>
#include <winport/windows.h>

#include "soap/soap_method.h"

namespace quillmere {

class CGetMetadata : public SOAPMethod {
 public:
  explicit CGetMetadata(ISOAPObjectImpl& owner) : SOAPMethod(owner) {}

  winport::ScopedBstr name() const override { return winport::ScopedBstr(OLESTR("GetMetadata")); }
  HRESULT execute(ISOAPMessage* request, ISOAPMessage* response) override;
};

}  // namespace quillmere
