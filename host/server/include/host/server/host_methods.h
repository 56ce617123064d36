// The host's own SOAP object "Host": logon and logoff, and the jobs of a session.
//   Logon(User, Password) -> IdentityToken      Logoff(IdentityToken)
//   SubmitJob(IdentityToken, Name) -> JobId     CancelJob(IdentityToken, JobId)
#pragma once

#include <string>

#include <winport/com_ptr.h>
#include <winport/windows.h>

#include "host/components/job_table.h"
#include "host/soap/envelope.h"
#include "host/users/session_manager.h"
#include "quillmere/soap_host.h"

namespace quillmere::host {

class HostMethods {
 public:
  HostMethods(SessionManager& sessions, JobTable& jobs);

  // The response to call (read from request), a fault when it is refused. `client` is the
  // caller's address, kept as the workstation of a session it opens.
  winport::ComPtr<quillmere::ISOAPMessage> Run(quillmere::ISOAPMessage* request,
                                               const SoapCall& call,
                                               const std::string& client) const;

 private:
  SessionManager& sessions_;
  JobTable& jobs_;
};

}  // namespace quillmere::host
