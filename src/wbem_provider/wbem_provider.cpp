#include "wbem_provider/wbem_provider.h"

namespace quillmere {

CWbemProvider::CWbemProvider(Reporter& reporting)
    : ISOAPObjectImpl(reporting, OLESTR("WbemProvider")) {
  AddMethod(getMetadata_);
  AddMethod(putMetadata_);
  AddMethod(jobProvider_);
  AddMethod(poolProvider_);
  AddMethod(sessionProvider_);
}

HRESULT CWbemProvider::FinalConstruct() {
  return RunHook(OLESTR("CWbemProvider::FinalConstruct"));
}

void CWbemProvider::FinalRelease() {
  RunHook(OLESTR("CWbemProvider::FinalRelease"));
}

HRESULT CWbemProvider::OnStart() {
  return RunHook(OLESTR("CWbemProvider::OnStart"));
}

HRESULT CWbemProvider::OnStop() {
  return RunHook(OLESTR("CWbemProvider::OnStop"));
}

}  // namespace quillmere
