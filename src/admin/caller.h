// What the Administrator object's methods do with the caller of a request: read its
// identity token, find its session, and refuse it when it is not an administrator.
#pragma once

#include <winport/com_ptr.h>
#include <winport/scoped_bstr.h>
#include <winport/windows.h>

#include "quillmere/session_manager.h"
#include "quillmere/soap_host.h"
#include "soap/soap_object_impl.h"

namespace quillmere {

// The request's "IdentityToken"; a request without one raises.
winport::ScopedBstr IdentityTokenOf(ISOAPMessage* request);

// The caller's session through DoReconnect; a failure or a missing session raises.
winport::ComPtr<ISession> CallerSession(ISOAPObjectImpl& owner, BSTR identityToken);

// The session's user administration; a failed query, or one that hands back nothing,
// raises.
winport::ComPtr<IUserAdministration> UserAdministrationOf(ISession& session);

// Whether the session belongs to the administrators' group; the flags count, not what the
// call answers.
bool IsAdministrator(ISession& session);

// A warning under source, when warnings are reported; never fails the call.
void Warn(ISOAPObjectImpl& owner, const OLECHAR* source, const OLECHAR* text);

// Refuses a caller outside the administrators' group: the warning, then the Client fault
// "Permission Denied". Answers that the method has answered.
HRESULT RefuseNonAdministrator(ISOAPObjectImpl& owner, ISOAPMessage* response,
                               const OLECHAR* source);

}  // namespace quillmere
