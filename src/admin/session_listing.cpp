#include "admin/session_listing.h"

#include <winport/com_ptr.h>

#include "documents/listing_document.h"
#include "errors/com_error.h"
#include "errors/entry.h"
#include "errors/failure_helpers.h"
#include "errors/new_bstr.h"
#include "soap/response_document.h"
#include "soap/soap_fault.h"

#include "caller.h"

namespace quillmere {

using winport::ComPtr;
using winport::ScopedBstr;
using winport::WideString;

void ListingCall::Warn(const OLECHAR* text) const {
  quillmere::Warn(owner, traceName, text);
}

void ListingCall::Fault(const OLECHAR* text, FaultCode code) const {
  SetResponseFault(response, text, code);
}

CSessionListing::CSessionListing(ISOAPObjectImpl& owner, const Texts& texts)
    : SOAPMethod(owner),
      methodName_(texts.methodName),
      traceName_(texts.traceName),
      listingElement_(texts.listingElement),
      title_(texts.title) {}

HRESULT CSessionListing::execute(ISOAPMessage* request, ISOAPMessage* response) {
  return RunEntry(owner().reporting(), traceName_, [&] { return List(request, response); });
}

HRESULT CSessionListing::List(ISOAPMessage* request, ISOAPMessage* response) const {
  const ListingCall call{owner(), response, traceName_};

  const ScopedBstr callerToken = IdentityTokenOf(request);
  ComPtr<ISession> caller;
  CheckHr(owner().DoPhantomReconnect(callerToken.Get(), caller.GetAddressOf()));
  if (!caller) RaiseComErrorWithoutInfo(E_POINTER);
  if (!IsAdministrator(*caller.Get())) return RefuseNonAdministrator(owner(), response, traceName_);

  ComPtr<ISessionManagerEnumeration> manager;
  CheckHr(owner().GetNamedObjectQI(NewBstr(OLESTR("Session")).Get(),
                                   __uuidof(ISessionManagerEnumeration),
                                   reinterpret_cast<void**>(manager.GetAddressOf())));
  ComPtr<ISessionEnumerator> sessions;
  CheckHr(manager->EnumSessions(sessions.GetAddressOf()));
  if (!sessions) RaiseComErrorWithoutInfo(E_POINTER);

  const std::unique_ptr<SessionWriter> writer = StartWalk(call);
  CListingDocument document(title_, listingElement_);
  SessionWalk walked = SessionWalk::kGoOn;
  if (!RunIgnoringFailure([&] {
        walked = Walk(*sessions.Get(), callerToken.Get(), *writer, document.Content());
      })) {
    // Whatever failed, no part of the listing is returned.
    call.Warn(OLESTR("Admin - Session Enum next failed"));
    call.Fault(OLESTR("Session Enumerator"), FaultCode::Server);
    return kMethodAnswered;
  }
  if (walked == SessionWalk::kAnswered) return kMethodAnswered;

  return CheckHr(AddXmlData(response, document.Finish()));
}

SessionWalk CSessionListing::Walk(ISessionEnumerator& sessions, BSTR callerToken,
                                  SessionWriter& writer, WideString& listing) const {
  for (;;) {
    ComPtr<ISessionRecord> session;
    ULONG fetched = 0;
    // Only S_OK delivers a session; anything else, a failure too, ends the walk.
    if (sessions.Next(1, session.GetAddressOf(), &fetched) != S_OK) return SessionWalk::kGoOn;
    if (!session) RaiseComErrorWithoutInfo(E_POINTER);

    ScopedBstr opening;
    CheckHr(session->GetXml(opening.Receive()));
    listing += winport::BstrView(opening.Get());
    ScopedBstr token;
    CheckHr(session->GetIdentityToken(token.Receive()));
    if (winport::BstrView(token.Get()) == winport::BstrView(callerToken))
      listing += OLESTR("<SELF/>");
    if (writer.AppendBody(*session.Get(), listing) == SessionWalk::kAnswered)
      return SessionWalk::kAnswered;
    listing += OLESTR("</SESSION>");
  }
}

}  // namespace quillmere
