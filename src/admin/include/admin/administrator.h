// The SOAP object "Administrator": the sessions, jobs and users of the web server.
#pragma once

#include <winport/windows.h>

#include "admin/admin_job_list.h"
#include "admin/admin_session_list.h"
#include "admin/user_list.h"
#include "admin/user_permissions.h"
#include "diagnostics/reporter.h"
#include "soap/soap_object_impl.h"

namespace quillmere {

class CAdministrator : public ISOAPObjectImpl {
 public:
  explicit CAdministrator(Reporter& reporting);

  HRESULT FinalConstruct();

 protected:
  HRESULT OnStart() override;
  HRESULT OnStop() override;
  void FinalRelease() override;

 private:
  CAdminJobList adminJobList_{*this};
  CAdminSessionList adminSessionList_{*this};
  CUserList userList_{*this};
  CUserPermissions userPermissions_{*this};
};

}  // namespace quillmere
