#include "host/server/host_methods.h"

#include <stdexcept>

#include "host/common/bstr_text.h"
#include "host/common/xml_text.h"
#include "host/server/message_faults.h"
#include "host/soap/soap_message.h"

namespace quillmere::host {
namespace {

using quillmere::FaultCode;

// A refusal, answered as a fault with this code and text.
struct Refusal : std::runtime_error {
  Refusal(FaultCode code, const std::string& text) : std::runtime_error(text), code(code) {}
  FaultCode code;
};

const std::string& Parameter(const SoapCall& call, const std::string& name) {
  for (const SoapParameter& parameter : call.parameters) {
    if (parameter.name == name) return parameter.text;
  }
  throw Refusal(FaultCode::Client, "Missing parameter " + name + " of Host#" + call.method);
}

// The fault for a refused logon. None tells whether the name exists.
Refusal LogonRefused(const LogonResult& result, const std::string& user) {
  switch (result.refusal) {
    case LogonRefusal::kTryLater: {
      const auto seconds = (result.retryAfter.count() + 999) / 1000;
      return {FaultCode::Client,
              "Too many failed logons for this user or from this address: try again in " +
                  std::to_string(seconds) + (seconds == 1 ? " second" : " seconds")};
    }
    case LogonRefusal::kBusy:
      return {FaultCode::Server, "The server is busy checking other logons: try again shortly"};
    case LogonRefusal::kUserSessionLimit:
      return {FaultCode::Client,
              "Logon refused: " + user + " has as many sessions as allowed; log off one first"};
    case LogonRefusal::kSessionLimit:
      return {FaultCode::Server,
              "Logon refused: the server has as many sessions as allowed; try again later"};
    default:
      return {FaultCode::Auth, "Logon failed: unknown user or wrong password"};
  }
}

void Answer(quillmere::ISOAPMessage* response, const char* name, const std::string& value) {
  const winport::ScopedBstr accessor = ScopedBstrOf(name);
  const winport::ScopedBstr text = ScopedBstrOf(value);
  response->addResponseParameter(accessor.Get(), text.Get(), VARIANT_FALSE);
}

}  // namespace

HostMethods::HostMethods(SessionManager& sessions, JobTable& jobs)
    : sessions_(sessions), jobs_(jobs) {}

winport::ComPtr<quillmere::ISOAPMessage> HostMethods::Run(quillmere::ISOAPMessage* request,
                                                          const SoapCall& call,
                                                          const std::string& client) const {
  winport::ComPtr<quillmere::ISOAPMessage> response = MakeResponseFor(request);
  if (!response) return nullptr;
  // Jobs belong to a live session: its token is checked first, as the module checks it.
  const auto session = [&]() -> const std::string& {
    const std::string& token = Parameter(call, "IdentityToken");
    const winport::ScopedBstr bstr = ScopedBstrOf(token);
    winport::ComPtr<quillmere::ISession> found;
    if (FAILED(sessions_.PhantomReconnect(bstr.Get(), found.GetAddressOf()))) {
      throw Refusal(FaultCode::Client, "Your session has timed out or has been logged off");
    }
    return token;
  };
  try {
    if (call.method == "Logon") {
      const std::string& user = Parameter(call, "User");
      const LogonResult result = sessions_.Logon(user, Parameter(call, "Password"), client);
      if (!result) throw LogonRefused(result, user);
      Answer(response.Get(), "IdentityToken", result.token);
    } else if (call.method == "Logoff") {
      if (!sessions_.Logoff(Parameter(call, "IdentityToken"))) {
        throw Refusal(FaultCode::Client, "Your session has timed out or has been logged off");
      }
    } else if (call.method == "SubmitJob") {
      const std::string& token = session();
      const std::string& name = Parameter(call, "Name");
      // The job listings show names as they are, inside their markup.
      if (!SafeInMarkup(name)) {
        throw Refusal(FaultCode::Client,
                      "A job name may not contain " + std::string(kMarkupCharacters));
      }
      Answer(response.Get(), "JobId", jobs_.Submit(token, name));
    } else if (call.method == "CancelJob") {
      const std::string& token = session();
      if (!jobs_.Cancel(token, Parameter(call, "JobId"))) {
        throw Refusal(FaultCode::Client, "The session has no job " + Parameter(call, "JobId"));
      }
    } else {
      throw Refusal(FaultCode::Client, "The Host object has no method " + call.method);
    }
  } catch (const Refusal& refusal) {
    SetFault(response.Get(), refusal.code, refusal.what());
  } catch (const JobError& error) {
    SetFault(response.Get(), FaultCode::Client, error.what());
  }
  return response;
}

}  // namespace quillmere::host
