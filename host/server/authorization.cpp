#include "host/server/authorization.h"

#include <winport/com_ptr.h>

#include "host/common/bstr_text.h"
#include "host/soap/soap_namespaces.h"

namespace quillmere::host {
namespace {

// clang-format off
constexpr AccessRule kRules[] = {
    {kHostObject,     "Logon",            Access::Anyone},
    {kHostObject,     "Logoff",           Access::Session},
    {kHostObject,     "SubmitJob",        Access::Session},
    {kHostObject,     "CancelJob",        Access::Session},
    {"Administrator", "AdminSessionList", Access::Session},
    {"Administrator", "AdminJobList",     Access::Session},
    {"Administrator", "UserList",         Access::Session},
    // Answers any user's permissions when given a name, and the module does not ask who.
    {"Administrator", "UserPermissions",  Access::Administrator},
    {"WbemProvider",  "GetMetadata",      Access::Administrator},
    {"WbemProvider",  "PutMetadata",      Access::Administrator},
    {"WbemProvider",  "JobProvider",      Access::Administrator},
    {"WbemProvider",  "PoolProvider",     Access::Administrator},
    {"WbemProvider",  "SessionProvider",  Access::Administrator},
};
// clang-format on

const std::string* TokenOf(const SoapCall& call) {
  for (const SoapParameter& parameter : call.parameters) {
    if (parameter.name == "IdentityToken") return &parameter.text;
  }
  return nullptr;
}

std::string Named(const SoapCall& call) {
  return call.object + "#" + call.method;
}

}  // namespace

std::span<const AccessRule> AccessRules() {
  return kRules;
}

std::optional<Access> AccessOf(std::string_view object, std::string_view method) {
  for (const AccessRule& rule : kRules) {
    if (rule.object == object && rule.method == method) return rule.access;
  }
  return std::nullopt;
}

std::string AccessText(std::string_view object, std::string_view method) {
  const std::optional<Access> access = AccessOf(object, method);
  if (!access) return "Not served.";
  switch (*access) {
    case Access::Anyone:
      return "Open to anyone.";
    case Access::Session:
      return "Needs a live session (any user).";
    case Access::Administrator:
      return "Needs the session of a member of QMS_ADMIN.";
  }
  return "Not served.";
}

Authorizer::Authorizer(quillmere::ISessionManagerReconnect& sessions) : sessions_(sessions) {}

std::optional<std::string> Authorizer::Refusal(const SoapRequest& request) const {
  const std::string* token = TokenOf(request.call);
  if (auto refused = CallRefusal(request.call, token)) return refused;
  for (size_t link = 0; link < request.onSuccess.size(); ++link) {
    const SoapCall& next = request.onSuccess[link];
    const std::string where = "OnSuccess link " + std::to_string(link + 1) + " ";
    // The host's own methods are not reached through a chain.
    if (next.object == kHostObject) return where + Named(next) + " does not follow a chain";
    const std::string* own = TokenOf(next);
    if (own && (!token || *own != *token)) {
      return where + Named(next) + " carries another caller's token";
    }
    if (auto refused = CallRefusal(next, token)) return where + *refused;
  }
  return std::nullopt;
}

std::optional<std::string> Authorizer::CallRefusal(const SoapCall& call,
                                                   const std::string* token) const {
  const std::optional<Access> access = AccessOf(call.object, call.method);
  if (!access) return Named(call) + " is not served";
  if (*access == Access::Anyone) return std::nullopt;
  if (!token) return Named(call) + " needs a session and the request has no token";
  const winport::ScopedBstr bstr = ScopedBstrOf(*token);
  winport::ComPtr<quillmere::ISession> session;
  // Checking is not the caller's activity: the method itself touches the session.
  if (FAILED(sessions_.PhantomReconnect(bstr.Get(), session.GetAddressOf())) || !session) {
    return Named(call) + " needs a live session";
  }
  if (*access == Access::Session) return std::nullopt;
  LONG flags = 0;
  if (FAILED(session->IsAdmin(&flags)) ||
      (static_cast<ULONG>(flags) & quillmere::GroupAdmin) == 0) {
    return Named(call) + " needs a member of QMS_ADMIN";
  }
  return std::nullopt;
}

}  // namespace quillmere::host
