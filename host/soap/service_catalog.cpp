#include "host/service_catalog.h"

namespace quillmere::host {
namespace {

// The module's methods all take the caller's token, and whatever further elements a method
// reads (a UserName, DELTACELL_ settings), and answer one document.
MethodInfo ModuleMethod(std::string name) {
  return {std::move(name), {"IdentityToken"}, {"XMLDATA"}, true};
}

std::vector<ServiceInfo> BuildCatalog() {
  return {
      {"Host",
       {
           {"Logon", {"User", "Password"}, {"IdentityToken"}, false},
           {"Logoff", {"IdentityToken"}, {}, false},
           {"SubmitJob", {"IdentityToken", "Name"}, {"JobId"}, false},
           {"CancelJob", {"IdentityToken", "JobId"}, {}, false},
       }},
      {"Administrator",
       {ModuleMethod("AdminSessionList"), ModuleMethod("AdminJobList"), ModuleMethod("UserList"),
        ModuleMethod("UserPermissions")}},
      {"WbemProvider",
       {ModuleMethod("GetMetadata"), ModuleMethod("PutMetadata"), ModuleMethod("JobProvider"),
        ModuleMethod("PoolProvider"), ModuleMethod("SessionProvider")}},
  };
}

}  // namespace

const std::vector<ServiceInfo>& ServiceCatalog() {
  static const std::vector<ServiceInfo> catalog = BuildCatalog();
  return catalog;
}

const MethodInfo* FindMethod(std::string_view object, std::string_view method) {
  for (const ServiceInfo& service : ServiceCatalog()) {
    if (service.object != object) continue;
    for (const MethodInfo& info : service.methods) {
      if (info.name == method) return &info;
    }
  }
  return nullptr;
}

}  // namespace quillmere::host
