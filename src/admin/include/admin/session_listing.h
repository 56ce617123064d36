// The frame the session listings share: the administrator check, the walk over the
// session manager's sessions and the dialog document that carries the listing. Each
// listing writes its own part of every session (the group tags, the job list).
#pragma once

#include <memory>

#include <winport/scoped_bstr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "quillmere/session_manager.h"
#include "quillmere/soap_host.h"
#include "soap/soap_method.h"
#include "soap/soap_object_impl.h"

namespace quillmere {

// Whether the walk goes on after a session, or ends because the request has been answered
// with a fault (nothing of the listing is returned then).
enum class SessionWalk { kGoOn, kAnswered };

// What one call of a listing shares with the writer of its sessions.
struct ListingCall {
  ISOAPObjectImpl& owner;
  ISOAPMessage* response;
  const OLECHAR* traceName;

  // A warning under the listing's name, when warnings are reported; never fails the call.
  void Warn(const OLECHAR* text) const;
  // The response's fault; a response without one raises.
  void Fault(const OLECHAR* text, FaultCode code) const;
};

// Writes a session's part between its opening fragment (with <SELF/>) and </SESSION>; or
// answers the request with its own fault instead, ending the walk.
class SessionWriter {
 public:
  virtual ~SessionWriter() = default;
  virtual SessionWalk AppendBody(ISessionRecord& session, winport::WideString& listing) = 0;
};

class CSessionListing : public SOAPMethod {
 public:
  winport::ScopedBstr name() const override { return winport::ScopedBstr(methodName_); }
  HRESULT execute(ISOAPMessage* request, ISOAPMessage* response) final;

 protected:
  struct Texts {
    const OLECHAR* methodName;
    const OLECHAR* traceName;
    const OLECHAR* listingElement;
    const OLECHAR* title;
  };
  CSessionListing(ISOAPObjectImpl& owner, const Texts& texts);

  // Made once per call, after the caller has been found to be an administrator.
  virtual std::unique_ptr<SessionWriter> StartWalk(const ListingCall& call) const = 0;

 private:
  HRESULT List(ISOAPMessage* request, ISOAPMessage* response) const;
  // kGoOn once the enumerator has no more sessions; kAnswered when a writer answered.
  SessionWalk Walk(ISessionEnumerator& sessions, BSTR callerToken, SessionWriter& writer,
                   winport::WideString& listing) const;

  const OLECHAR* methodName_;
  const OLECHAR* traceName_;
  const OLECHAR* listingElement_;
  const OLECHAR* title_;
};

}  // namespace quillmere
