#include "caller.h"

#include "errors/com_error.h"
#include "errors/failure_helpers.h"
#include "errors/new_bstr.h"
#include "soap/soap_fault.h"
#include "soap/soap_method.h"

namespace quillmere {

winport::ScopedBstr IdentityTokenOf(ISOAPMessage* request) {
  winport::ScopedBstr token;
  CheckHr(request->getStringParameterByAccessor(NewBstr(OLESTR("IdentityToken")).Get(),
                                                token.Receive()));
  return token;
}

winport::ComPtr<ISession> CallerSession(ISOAPObjectImpl& owner, BSTR identityToken) {
  winport::ComPtr<ISession> session;
  CheckHr(owner.DoReconnect(identityToken, session.GetAddressOf()));
  if (!session) RaiseComErrorWithoutInfo(E_POINTER);
  return session;
}

winport::ComPtr<IUserAdministration> UserAdministrationOf(ISession& session) {
  winport::ComPtr<IUserAdministration> administration;
  CheckHr(session.QueryInterface(__uuidof(IUserAdministration),
                                 reinterpret_cast<void**>(administration.GetAddressOf())));
  if (!administration) RaiseComErrorWithoutInfo(E_POINTER);
  return administration;
}

bool IsAdministrator(ISession& session) {
  LONG flags = 0;
  session.IsAdmin(&flags);
  return (static_cast<ULONG>(flags) & GroupAdmin) != 0;
}

void Warn(ISOAPObjectImpl& owner, const OLECHAR* source, const OLECHAR* text) {
  RunIgnoringFailure([&] {
    if (owner.reporting().LevelEnabled(kLevelWarning))
      owner.reporting().Report(kLevelWarning, source, text);
  });
}

HRESULT RefuseNonAdministrator(ISOAPObjectImpl& owner, ISOAPMessage* response,
                               const OLECHAR* source) {
  Warn(owner, source, OLESTR(" Not a member of QMS_ADMIN group"));
  SetResponseFault(response, OLESTR("Permission Denied"), FaultCode::Client);
  return kMethodAnswered;
}

}  // namespace quillmere
