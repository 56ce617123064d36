// One SOAP method of a SOAP object: a member of the object, found by name and run by
// Execute. Its result code tells Execute what to answer (below); S_OK is done, with the
// variables block copied and the OnSuccess chain followed, and a failure is a Server fault
// with the failure's text.
#pragma once

#include <winport/scoped_bstr.h>
#include <winport/windows.h>

#include "quillmere/soap_host.h"

namespace quillmere {

// The method filled the response itself, usually with its own fault.
inline constexpr HRESULT kMethodAnswered = S_FALSE;
// Done: the variables block is copied and nothing else happens. Two codes, one meaning.
inline constexpr HRESULT kMethodDoneDirectly = 2;
inline constexpr HRESULT kMethodDoneDirectlyAlso = 3;
// The caller's session has gone (the HRESULT of the Win32 error "not authenticated"): a
// Client fault that says so.
inline constexpr HRESULT kNotAuthenticated = static_cast<HRESULT>(0x800704DC);

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
