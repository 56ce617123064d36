// The WSDL a client reads is the host's catalogue; the methods that answer are the module
// objects' own lists. A method added to one and not the other is either unreachable or
// promised and missing. The order of either list is its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <winport/com_object.h>
#include <winport/wide.h>

#include "admin/administrator.h"
#include "host/soap/service_catalog.h"
#include "recording_reporter.h"
#include "wbem_provider/wbem_provider.h"

namespace {

std::vector<std::string> CatalogueMethods(const std::string& object) {
  for (const quillmere::host::ServiceInfo& service : quillmere::host::ServiceCatalog()) {
    if (service.object != object) continue;
    std::vector<std::string> names;
    for (const quillmere::host::MethodInfo& method : service.methods)
      names.push_back(method.name);
    std::sort(names.begin(), names.end());
    return names;
  }
  return {};
}

std::vector<std::string> ServedMethods(const quillmere::ISOAPObjectImpl& object) {
  std::vector<std::string> names;
  for (const winport::WideString& name : object.MethodNames())
    names.push_back(winport::WideToUtf8(name));
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ServedMethods, TheCatalogueListsExactlyTheMethodsTheObjectsServe) {
  testing_support::RecordingReporter reporting;
  const auto administrator = winport::MakeComObject<quillmere::CAdministrator>(reporting);
  const auto provider = winport::MakeComObject<quillmere::CWbemProvider>(reporting);
  EXPECT_EQ(CatalogueMethods("Administrator"), ServedMethods(*administrator.Get()));
  EXPECT_EQ(CatalogueMethods("WbemProvider"), ServedMethods(*provider.Get()));
}

}  // namespace
