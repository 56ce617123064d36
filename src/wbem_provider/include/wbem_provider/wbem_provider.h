// The SOAP object "WbemProvider": the server's settings in WMI and the WMI classes of jobs, pools
// and sessions.
#pragma once

#include <winport/windows.h>

#include "diagnostics/reporter.h"
#include "soap/soap_object_impl.h"
#include "wbem_provider/class_providers.h"
#include "wbem_provider/get_metadata.h"
#include "wbem_provider/put_metadata.h"

namespace quillmere {

class CWbemProvider : public ISOAPObjectImpl {
 public:
  explicit CWbemProvider(Reporter& reporting);

  HRESULT FinalConstruct();

 protected:
  HRESULT OnStart() override;
  HRESULT OnStop() override;
  void FinalRelease() override;

 private:
  CGetMetadata getMetadata_{*this};
  CPutMetadata putMetadata_{*this, getMetadata_};
  CJobProvider jobProvider_{*this};
  CPoolProvider poolProvider_{*this};
  CSessionProvider sessionProvider_{*this};
};

}  // namespace quillmere
