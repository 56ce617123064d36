// A SOAP request from HTTP to its answer, through the host's service to a stand-in for the
// module's object: every refusal's fault, and what the object's answer becomes.
#include "host/server/dispatcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <winport/com_object.h>
#include <winport/scoped_bstr.h>
#include <winport/scoped_com_init.h>

#include "fakes/fake_soap_message.h"
#include "host/common/bstr_text.h"
#include "host/components/job_table.h"
#include "host/server/message_faults.h"
#include "host/soap/service_catalog.h"
#include "host/soap/soap_message.h"
#include "host/users/user_store.h"

namespace quillmere::host {
namespace {

using quillmere::FaultCode;

// How the stand-in object answers.
enum class Answer { Document, Fault, Nothing, Foreign };

class FakeObject : public winport::ComObject<quillmere::_ISoapObject> {
 public:
  Answer answer = Answer::Document;
  std::vector<std::string> executed;  // the methods it was asked to run

  HRESULT STDMETHODCALLTYPE Init(quillmere::ISoapService*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetStop() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Execute(quillmere::ISOAPMessage* request,
                                    quillmere::ISOAPMessage** response) override {
    winport::ScopedBstr method;
    request->methodName(method.Receive());
    executed.push_back(Utf8Of(method.Get()));
    switch (answer) {
      case Answer::Document: {
        const winport::ComPtr<quillmere::ISOAPMessage> made = MakeResponseFor(request);
        made->addResponseParameter(ScopedBstrOf("XMLDATA").Get(), ScopedBstrOf("<LIST/>").Get(),
                                   VARIANT_TRUE);
        return made.CopyTo(response);
      }
      case Answer::Fault:
        return FaultResponseFor(request, FaultCode::Server, "Report store <unavailable>")
            .CopyTo(response);
      case Answer::Nothing:
        return E_FAIL;
      case Answer::Foreign: {
        const winport::ComPtr<quillmere::ISOAPMessage> foreign(
            winport::MakeComObject<fakes::FakeSoapMessage>().Get());
        return foreign.CopyTo(response);
      }
    }
    return E_UNEXPECTED;
  }
};

std::string Envelope(const std::string& object, const std::string& method,
                     const std::string& headers = "", const std::string& children = "") {
  return "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Header>" +
         headers + "</soap:Header><soap:Body><m:" + method + " xmlns:m=\"urn:quillmere:" + object +
         "\">" + children + "</m:" + method + "></soap:Body></soap:Envelope>";
}

// {admin} stands for the token of an administrator's session.
const std::string kAdmin = "<IdentityToken>{admin}</IdentityToken>";
const std::string kList = Envelope("Administrator", "UserList", "", kAdmin);
const std::string kListAction = "\"urn:quillmere:Administrator#UserList\"";
const std::string kUnknownHeader =
    "<x:T xmlns:x=\"urn:x\" soap:mustUnderstand=\"1\"/><y:U xmlns:y=\"urn:y\"/>";

struct DispatchCase {
  const char* name;
  std::string action, body;
  Answer answer;
  int status;
  std::string answered;  // the whole fault, or the start of the Body's answer
  std::string label;     // what the request log names it by
  bool executed;         // the module's object ran the method
};

std::string Fault(const std::string& code, const std::string& text) {
  return "<faultcode>soap:" + code + "</faultcode><faultstring>" + text + "</faultstring>";
}

class DispatcherTest : public testing::TestWithParam<DispatchCase> {
 protected:
  DispatcherTest() {
    service_->Register(object_.Get(), ScopedBstrOf("Administrator").Get());
    users_.Add("admin", "admin password", GroupAdmin);
    admin_ = sessions_->Logon("admin", "admin password").token;
  }
  ~DispatcherTest() override { service_->Clear(); }

  HttpResponse Send(const std::string& action, std::string body) {
    if (const size_t at = body.find("{admin}"); at != std::string::npos)
      body.replace(at, 7, admin_);
    HttpRequest request;
    request.method = "POST";
    request.path = "/soap";
    request.body = body;
    request.client = "127.0.0.1";
    request.headers["soapaction"] = action;
    return dispatcher_(request);
  }

  const winport::ScopedComInit apartment_{COINIT_MULTITHREADED};
  const winport::ComPtr<FakeObject> object_ = winport::MakeComObject<FakeObject>();
  const winport::ComPtr<SoapService> service_ =
      MakeSoapService([](quillmere::ISOAPMessage* request, const std::string& text) {
        return FaultResponseFor(request, FaultCode::Client, text);
      });
  UserStore users_{DefaultUserDatabase()};
  JobTable jobs_;
  const winport::ComPtr<SessionManager> sessions_ =
      MakeSessionManager(users_, std::chrono::seconds(60), {}, nullptr);
  std::string admin_;
  const HostMethods hostMethods_{*sessions_.Get(), jobs_};
  const Authorizer authorizer_{*sessions_.Get()};
  std::ostringstream logText_;
  HostLog log_{LogLevel::Warning, logText_};
  const Dispatcher dispatcher_{*service_.Get(), hostMethods_, authorizer_, log_,
                               EnvelopeLimits{.maxBodyBytes = 4096}};
};

TEST_P(DispatcherTest, AnswersEachRequest) {
  const DispatchCase& c = GetParam();
  object_->answer = c.answer;
  const HttpResponse response = Send(c.action, c.body);
  EXPECT_EQ(response.status, c.status);
  EXPECT_EQ(response.contentType, "text/xml; charset=utf-8");
  EXPECT_NE(response.body.find(c.answered), std::string::npos) << response.body;
  EXPECT_EQ(response.logLabel, c.label);
  EXPECT_EQ(object_->executed,
            c.executed ? std::vector<std::string>{"UserList"} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Requests, DispatcherTest,
    testing::Values(
        DispatchCase{"Answered", kListAction, kList, Answer::Document, 200,
                     "<soap:Body><m:UserListResponse xmlns:m=\"urn:quillmere:Administrator\">"
                     "<XMLDATA><LIST/></XMLDATA>",
                     "Administrator#UserList", true},
        DispatchCase{"UnquotedAction", "urn:quillmere:Administrator#UserList", kList,
                     Answer::Document, 200, "<XMLDATA><LIST/></XMLDATA>", "Administrator#UserList",
                     true},
        DispatchCase{
            "MalformedAction", "UserList", kList, Answer::Document, 500,
            Fault("Client", "SOAPAction must be \"urn:quillmere:&lt;Object&gt;#&lt;Method&gt;\""),
            "?", false},
        DispatchCase{
            "EmptyAction", "", kList, Answer::Document, 500,
            Fault("Client", "SOAPAction must be \"urn:quillmere:&lt;Object&gt;#&lt;Method&gt;\""),
            "?", false},
        DispatchCase{"ActionOfAnotherMethod", "urn:quillmere:Administrator#AdminJobList", kList,
                     Answer::Document, 500,
                     Fault("Client",
                           "SOAPAction names Administrator#AdminJobList but the Body "
                           "calls Administrator#UserList"),
                     "Administrator#AdminJobList", false},
        DispatchCase{"ActionOfAnotherObject", "urn:quillmere:WbemProvider#UserList", kList,
                     Answer::Document, 500,
                     Fault("Client",
                           "SOAPAction names WbemProvider#UserList but the Body "
                           "calls Administrator#UserList"),
                     "WbemProvider#UserList", false},
        DispatchCase{"HeaderNotUnderstood", kListAction,
                     Envelope("Administrator", "UserList", kUnknownHeader), Answer::Document, 500,
                     Fault("MustUnderstand", "Headers not understood: {urn:x}T"),
                     "Administrator#UserList", false},
        DispatchCase{"HeaderNeedNotBeUnderstood", kListAction,
                     Envelope("Administrator", "UserList",
                              "<x:T xmlns:x=\"urn:x\" soap:mustUnderstand=\"0\"/>", kAdmin),
                     Answer::Document, 200, "<XMLDATA><LIST/></XMLDATA>", "Administrator#UserList",
                     true},
        DispatchCase{"MalformedEnvelope", kListAction, kList.substr(0, kList.size() - 5),
                     Answer::Document, 500, "<faultcode>soap:Client</faultcode>",
                     "Administrator#UserList", false},
        DispatchCase{"BodyOverLimit", kListAction,
                     Envelope("Administrator", "UserList", "", std::string(4096, 'x')),
                     Answer::Document, 500, Fault("Client", "Body exceeds 4096 bytes"),
                     "Administrator#UserList", false},
        DispatchCase{"UnknownObject", "urn:quillmere:Nobody#UserList",
                     Envelope("Nobody", "UserList", "", kAdmin), Answer::Document, 500,
                     Fault("Client", "Permission Denied"), "Nobody#UserList", false},
        DispatchCase{"ModuleFault", kListAction, kList, Answer::Fault, 500,
                     Fault("Server", "Report store &lt;unavailable&gt;"), "Administrator#UserList",
                     true},
        DispatchCase{"NoResponse", kListAction, kList, Answer::Nothing, 500,
                     Fault("Server", "Administrator#UserList gave no response: 0x80004005"),
                     "Administrator#UserList", true},
        DispatchCase{"ResponseOfAnotherHost", kListAction, kList, Answer::Foreign, 500,
                     Fault("Server", "The response is not a message of this host"),
                     "Administrator#UserList", true},
        // The host's own object answers without the module.
        DispatchCase{"HostObject", "urn:quillmere:Host#Logoff",
                     Envelope("Host", "Logoff", "", "<IdentityToken>0</IdentityToken>"),
                     Answer::Document, 500, Fault("Client", "Permission Denied"), "Host#Logoff",
                     false},
        DispatchCase{"HostObjectUnknownMethod", "urn:quillmere:Host#Reboot",
                     Envelope("Host", "Reboot", "", kAdmin), Answer::Document, 500,
                     Fault("Client", "Permission Denied"), "Host#Reboot", false}),
    [](const testing::TestParamInfo<DispatchCase>& info) { return info.param.name; });

// A served method missing from the table could never be called; a rule naming no served
// method is a misspelt name, leaving the real one refused.
TEST(AccessRules, NameEveryServedMethodOnceAndTheWsdlSaysThem) {
  std::multiset<std::string> served, ruled;
  for (const ServiceInfo& service : ServiceCatalog()) {
    for (const MethodInfo& method : service.methods)
      served.insert(service.object + method.name);
  }
  for (const AccessRule& rule : AccessRules())
    ruled.insert(std::string(rule.object) + std::string(rule.method));
  EXPECT_EQ(ruled, served);
  EXPECT_NE(WsdlDocument("http://h/soap", AccessText)
                .find("cannot be changed. Needs the session of a member of QMS_ADMIN.</"),
            std::string::npos);
}

}  // namespace
}  // namespace quillmere::host
