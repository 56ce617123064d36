// PutMetadata: one edited cell of the settings table written into the store, then the
// table as it now stands (GetMetadata's answer to the same request).
#pragma once

#include <winport/scoped_bstr.h>
#include <winport/windows.h>

#include "soap/soap_method.h"
#include "wbem_provider/get_metadata.h"

namespace quillmere {

class CPutMetadata : public SOAPMethod {
 public:
  CPutMetadata(ISOAPObjectImpl& owner, CGetMetadata& getMetadata)
      : SOAPMethod(owner), getMetadata_(getMetadata) {}

  winport::ScopedBstr name() const override { return winport::ScopedBstr(OLESTR("PutMetadata")); }
  HRESULT execute(ISOAPMessage* request, ISOAPMessage* response) override;

 private:
  HRESULT Apply(ISOAPMessage* request, ISOAPMessage* response, HRESULT& reached);

  CGetMetadata& getMetadata_;
};

}  // namespace quillmere
