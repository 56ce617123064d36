// CLSID_WbemLocator: the locator that connects a process to the repository's namespaces.
#include <winport/windows_api.h>

#include "com/built_in_class_factory.h"
#include "com/built_in_classes.h"
#include "common/ascii_case.h"
#include "common/injected_fault.h"
#include "guarded_call.h"
#include "services.h"

namespace winport::wmi {
namespace {

WideString ComputerName() {
  OLECHAR name[256];
  DWORD size = 256;
  if (!GetComputerNameW(name, &size)) return OLESTR("localhost");
  return WideString(name, size);
}

bool IsSeparator(OLECHAR c) {
  return c == u'\\' || c == u'/';
}

// Splits "\\server\root\cimv2" into server and namespace; a path without a server is
// on this machine.
void SplitResource(WideView resource, WideString* server, WideView* path) {
  server->clear();
  *path = resource;
  if (resource.size() < 2 || !IsSeparator(resource[0]) || !IsSeparator(resource[1])) return;
  std::size_t end = 2;
  while (end < resource.size() && !IsSeparator(resource[end]))
    ++end;
  server->assign(resource.substr(2, end - 2));
  *path = resource.substr(end);
}

bool IsThisMachine(WideView server, WideView computer) {
  using winport::detail::EqualsIgnoringAsciiCase;
  return server.empty() || server == OLESTR(".") ||
         EqualsIgnoringAsciiCase<OLECHAR, OLECHAR>(server, OLESTR("localhost")) ||
         EqualsIgnoringAsciiCase<OLECHAR, OLECHAR>(server, computer);
}

class Locator final : public ComObject<IWbemLocator> {
 public:
  HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR resource, const BSTR user, const BSTR,
                                          const BSTR, LONG, const BSTR, IWbemContext*,
                                          IWbemServices** services) override {
    WINPORT_FAIL_HRESULT("ConnectServer");
    if (services == nullptr || SysStringLen(resource) == 0) return WBEM_E_INVALID_PARAMETER;
    *services = nullptr;
    return GuardedCall([&]() -> HRESULT {
      WideString server;
      WideView path;
      SplitResource(BstrView(resource), &server, &path);
      const WideString computer = ComputerName();
      // No remote machines here: RPC_S_SERVER_UNAVAILABLE, as for one that cannot be reached.
      if (!IsThisMachine(server, computer)) return HRESULT_FROM_WIN32(1722);
      if (SysStringLen(user) != 0) return WBEM_E_LOCAL_CREDENTIALS;
      std::shared_ptr<Repository> repository;
      HRESULT hr = Repository::Open(&repository);
      if (FAILED(hr)) return hr;
      NamespaceId id;
      WideString stored;
      hr = repository->FindNamespace(path, &id, &stored);
      if (FAILED(hr)) return hr;
      *services = MakeServices(std::move(repository), id, stored, computer).Detach();
      return WBEM_S_NO_ERROR;
    });
  }
};

// COM activation serves the locator built in.
const winport::detail::BuiltInClass kLocatorClass(CLSID_WbemLocator,
                                                  winport::detail::GetBuiltInClassFactory<Locator>);

}  // namespace
}  // namespace winport::wmi
