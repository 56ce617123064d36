// The SOAP object "WbemProvider": the server's settings in WMI and the WMI classes of jobs, pools
// and sessions.
#pragma once

#include <winport/windows.h>

#include "diagnostics/reporter.h"
#include "soap/soap_object_impl.h"

namespace quillmere {

class CWbemProvider : public ISOAPObjectImpl {
 public:
  explicit CWbemProvider(Reporter& reporting);

  HRESULT FinalConstruct();

 protected:
  HRESULT OnStart() override;
  HRESULT OnStop() override;
  void FinalRelease() override;
};

}  // namespace quillmere
