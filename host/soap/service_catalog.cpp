#include "host/soap/service_catalog.h"

namespace quillmere::host {
namespace {

// The module's methods all take the caller's token, and whatever further elements a method
// reads (a UserName, DELTACELL_ settings), and answer one document.
MethodInfo ModuleMethod(std::string name, std::string summary) {
  return {std::move(name), {"IdentityToken"}, {"XMLDATA"}, true, std::move(summary)};
}

std::vector<ServiceInfo> BuildCatalog() {
  return {
      {"Host",
       {
           {"Logon",
            {"User", "Password"},
            {"IdentityToken"},
            false,
            "Opens a session; its token identifies the caller in every further request. After "
            "repeated failures for a user or from an address, attempts are refused at once with "
            "a Client fault saying when to try again; a user or the server with as many "
            "sessions as allowed is refused too."},
           {"Logoff", {"IdentityToken"}, {}, false, "Closes the caller's session."},
           {"SubmitJob",
            {"IdentityToken", "Name"},
            {"JobId"},
            false,
            "Starts a job of the caller's session under the given name."},
           {"CancelJob",
            {"IdentityToken", "JobId"},
            {},
            false,
            "Cancels one of the caller's jobs."},
       }},
      {"Administrator",
       {ModuleMethod("AdminSessionList", "The live sessions; the caller's own is marked SELF."),
        ModuleMethod("AdminJobList", "The jobs of the live sessions."),
        ModuleMethod("UserList", "The users known to the server."),
        ModuleMethod("UserPermissions",
                     "Without a DELTACELL_ element, the form in which an administrator enters a "
                     "user name; with one, the permission flags of the user named by the first "
                     "such cell's value.")}},
      {"WbemProvider",
       {ModuleMethod("GetMetadata", "The server's settings."),
        ModuleMethod("PutMetadata",
                     "Changes one setting from a DELTACELL_<Name>_<n> element and answers the "
                     "settings as they then stand. Only the first such element is applied, and "
                     "its Name ends at the first underscore: a setting whose name has an "
                     "underscore cannot be changed."),
        ModuleMethod("JobProvider", "The server's jobs."),
        ModuleMethod("PoolProvider", "The server's worker pools: threads, busy, queued."),
        ModuleMethod("SessionProvider", "The server's sessions.")}},
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
