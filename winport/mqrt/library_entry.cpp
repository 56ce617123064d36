// The runtime's entry point: freed by FreeLibrary, it closes its handles and its database
// so that loading and unloading it leaks nothing. At process exit (reserved non-null) it
// leaves both: other libraries' exit code may still close handles.
#include <winport/windows.h>

#include "forwarder.h"
#include "local_queue_store.h"
#include "queue_handles.h"
#include "remote_queue_store.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    mqrt::ReleaseQueueHandles();
    mqrt::Forwarder::Release();
    mqrt::RemoteQueueStore::Release();
    mqrt::LocalQueueStore::Release();
  }
  return TRUE;
}
