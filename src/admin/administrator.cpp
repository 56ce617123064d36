#include "admin/administrator.h"

namespace quillmere {

CAdministrator::CAdministrator(Reporter& reporting)
    : ISOAPObjectImpl(reporting, OLESTR("Administrator")) {
  AddMethod(adminJobList_);
  AddMethod(adminSessionList_);
  AddMethod(userList_);
  AddMethod(userPermissions_);
}

HRESULT CAdministrator::FinalConstruct() {
  return RunHook(OLESTR("CAdministrator::FinalConstruct"));
}

void CAdministrator::FinalRelease() {
  RunHook(OLESTR("CAdministrator::FinalRelease"));
}

HRESULT CAdministrator::OnStart() {
  return RunHook(OLESTR("CAdministrator::OnStart"));
}

HRESULT CAdministrator::OnStop() {
  return RunHook(OLESTR("CAdministrator::OnStop"));
}

}  // namespace quillmere
