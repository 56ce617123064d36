// One SOAP method of a SOAP object: a member of the object, found by name and run by
// Execute. Its result code tells Execute what to answer:
//   S_OK      done; the variables block is copied and the OnSuccess chain followed
//   S_FALSE   the method filled the response itself (usually with a fault)
//   2, 3      done; the variables block is copied and nothing else happens
//   0x800704DC  the caller is not authenticated
//   a failure a Server fault with the failure's text
#pragma once

#include <winport/scoped_bstr.h>
#include <winport/windows.h>

#include "soap/soap_host.h"

namespace quillmere {

class ISOAPObjectImpl;

class SOAPMethod {
 public:
  virtual ~SOAPMethod() = default;

  // The name a request asks for, compared exactly (case-sensitive).
  virtual winport::ScopedBstr name() const = 0;
  virtual HRESULT execute(ISOAPMessage* request, ISOAPMessage* response) = 0;
  virtual HRESULT CopyVariables(ISOAPMessage* request, ISOAPMessage* response) {
    return response->CopyVariablesBlock(request);
  }

 protected:
  explicit SOAPMethod(ISOAPObjectImpl& owner) : owner_(owner) {}
  SOAPMethod(const SOAPMethod&) = delete;
  SOAPMethod& operator=(const SOAPMethod&) = delete;

  // The SOAP object this method belongs to, for its helpers and its reports.
  ISOAPObjectImpl& owner() const { return owner_; }

 private:
  ISOAPObjectImpl& owner_;
};

}  // namespace quillmere
