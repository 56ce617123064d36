// The SOAP object "Administrator": the sessions, jobs and users of the web server.
#pragma once

#include <winport/windows.h>

#include "diagnostics/reporting.h"
#include "soap/soap_object_impl.h"

namespace quillmere {

class CAdministrator : public ISOAPObjectImpl {
 public:
  explicit CAdministrator(Reporting& reporting);

  HRESULT FinalConstruct();

 protected:
  HRESULT OnStart() override;
  HRESULT OnStop() override;
  void FinalRelease() override;
};

}  // namespace quillmere
