// A whole HTTP request through the SOAP routes and the dispatcher, as `quillmere serve`
// wires them, to a stand-in for the module's objects (as the server's unit tests use).
// The input is the request as libmicrohttpd hands it over:
//   METHOD /path?key=value&key
//   Header-Name: value
//   (empty line)
//   body
// "{admin}" anywhere in the body stands for the token of an administrator's session,
// opened before the request and closed after it, so that a mutation reaches past the
// authorization.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include <winport/com_object.h>
#include <winport/scoped_bstr.h>
#include <winport/scoped_com_init.h>

#include "fuzz_support.h"
#include "host/common/bstr_text.h"
#include "host/components/job_table.h"
#include "host/server/authorization.h"
#include "host/server/dispatcher.h"
#include "host/server/message_faults.h"
#include "host/server/serve_options.h"
#include "host/server/soap_routes.h"
#include "host/soap/service_catalog.h"
#include "host/soap/soap_message.h"
#include "host/users/session_manager.h"
#include "host/users/user_store.h"

namespace quillmere::host {
namespace {

// Answers every method with a small document naming the method, as the module's objects
// answer a listing.
class StandInObject : public winport::ComObject<quillmere::_ISoapObject> {
 public:
  HRESULT STDMETHODCALLTYPE Init(quillmere::ISoapService*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetStop() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Execute(quillmere::ISOAPMessage* request,
                                    quillmere::ISOAPMessage** response) override {
    winport::ScopedBstr method;
    request->methodName(method.Receive());
    const winport::ComPtr<quillmere::ISOAPMessage> made = MakeResponseFor(request);
    made->addResponseParameter(
        ScopedBstrOf("XMLDATA").Get(),
        ScopedBstrOf("<LIST METHOD=\"" + Utf8Of(method.Get()) + "\"/>").Get(), VARIANT_TRUE);
    return made.CopyTo(response);
  }
};

constexpr std::string_view kAdminName = "fuzz-admin";
constexpr std::string_view kAdminPassword = "fuzz admin password";

// Set up before anything opens the machine: users added here are hashed at the least cost,
// so that opening the administrator's session costs little.
struct ScratchMachine {
  ScratchMachine() {
    quillmere::fuzz::EnterScratchMachine();
    ::setenv("QUILLMERE_TEST_CHEAP_HASHING", "1", 1);
  }
};

struct Server : ScratchMachine {
  Server() {
    users.Add(std::string(kAdminName), std::string(kAdminPassword), GroupAdmin);
    for (const char* name : {"Administrator", "WbemProvider"})
      service->Register(object.Get(), ScopedBstrOf(name).Get());
    routes.call = [this](const HttpRequest& request) { return dispatcher(request); };
    routes.wsdl = [](const std::string& url) { return WsdlDocument(url, AccessText); };
    routes.endpointUrl = [] { return std::string("http://127.0.0.1:8080/soap"); };
  }

  const winport::ScopedComInit apartment{COINIT_MULTITHREADED};
  const winport::ComPtr<StandInObject> object = winport::MakeComObject<StandInObject>();
  const winport::ComPtr<SoapService> service =
      MakeSoapService([](quillmere::ISOAPMessage* request, const std::string& text) {
        return FaultResponseFor(request, quillmere::FaultCode::Client, text);
      });
  UserStore users{DefaultUserDatabase()};
  JobTable jobs;
  const winport::ComPtr<SessionManager> sessions =
      MakeSessionManager(users, std::chrono::seconds(60), {}, nullptr);
  const HostMethods hostMethods{*sessions.Get(), jobs};
  const Authorizer authorizer{*sessions.Get()};
  std::ostringstream logText;
  HostLog log{LogLevel::Error, logText};
  const Dispatcher dispatcher{*service.Get(), hostMethods, authorizer, log,
                              EnvelopeLimits{.maxBodyBytes = ServeOptions{}.maxBodyBytes}};
  SoapRoutes routes;
};

std::string_view NextLine(std::string_view& text) {
  const size_t end = text.find('\n');
  std::string_view line = text.substr(0, end);
  text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

HttpRequest RequestOf(std::string_view text) {
  HttpRequest request;
  request.client = "127.0.0.1";
  std::string_view line = NextLine(text);
  const size_t space = line.find(' ');
  request.method = std::string(line.substr(0, space));
  std::string_view target = space == std::string_view::npos ? "" : line.substr(space + 1);
  const size_t query = target.find('?');
  request.path = std::string(target.substr(0, query));
  for (std::string_view rest = query == std::string_view::npos ? "" : target.substr(query + 1);
       !rest.empty();) {
    const size_t amp = rest.find('&');
    const std::string_view pair = rest.substr(0, amp);
    rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
    const size_t equals = pair.find('=');
    request.arguments[std::string(pair.substr(0, equals))] =
        equals == std::string_view::npos ? "" : std::string(pair.substr(equals + 1));
  }
  while (!text.empty()) {
    line = NextLine(text);
    if (line.empty()) break;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string name(line.substr(0, colon));
    for (char& c : name)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && value.front() == ' ')
      value.remove_prefix(1);
    request.headers[name] = std::string(value);
  }
  request.body = std::string(text);
  return request;
}

}  // namespace
}  // namespace quillmere::host

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillmere::host;
  static Server* const server = new Server;  // lives as long as the process
  HttpRequest request = RequestOf(quillmere::fuzz::Bytes(data, size));
  std::string token;
  if (request.body.find("{admin}") != std::string::npos) {
    const LogonResult logon = server->sessions->Logon(kAdminName, kAdminPassword, "127.0.0.1");
    if (logon) token = logon.token;
    for (size_t at; (at = request.body.find("{admin}")) != std::string::npos;)
      request.body.replace(at, 7, token);
  }
  const HttpResponse response = server->routes(request);
  if (response.status < 100 || response.status > 599)
    quillmere::fuzz::Broken("an answer with HTTP status " + std::to_string(response.status));
  if (!token.empty()) server->sessions->Logoff(token);
  server->logText.str("");
  return 0;
}
