// Who may call what: the one table from object and method to the session its caller needs,
// checked before anything runs, for the called method and for every link of its OnSuccess
// chain. Whatever the table does not name is refused.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <winport/windows.h>

#include "host/soap/envelope.h"
#include "quillmere/session_manager.h"

namespace quillmere::host {

enum class Access {
  Anyone,         // no session needed
  Session,        // a live session; the method checks the rest itself
  Administrator,  // the live session of a member of QMS_ADMIN
};

struct AccessRule {
  std::string_view object, method;
  Access access;
};

// Every object and method the host serves, with what its caller needs.
std::span<const AccessRule> AccessRules();
// Nothing for a method the table does not name.
std::optional<Access> AccessOf(std::string_view object, std::string_view method);
// What the caller of a method needs, in words, for the WSDL and the documentation.
std::string AccessText(std::string_view object, std::string_view method);

// The text of every refusal, as the module words its own.
inline constexpr std::string_view kPermissionDenied = "Permission Denied";

class Authorizer {
 public:
  explicit Authorizer(quillmere::ISessionManagerReconnect& sessions);

  // Why the request may not run, for the host's log; nothing when it may. The caller is the
  // session of the method's IdentityToken; every OnSuccess link runs for the same caller,
  // so it carries no other token and passes the table with that session.
  std::optional<std::string> Refusal(const SoapRequest& request) const;

 private:
  // Why this call may not run for the caller holding token; nothing when it may.
  std::optional<std::string> CallRefusal(const SoapCall& call, const std::string* token) const;

  quillmere::ISessionManagerReconnect& sessions_;
};

}  // namespace quillmere::host
