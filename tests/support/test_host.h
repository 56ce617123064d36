// A host for the SOAP objects under test: the message class served from this process,
// the service with its session manager as "Session", and a reporter that records.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <winport/com_ptr.h>
#include <winport/scoped_bstr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "fakes/fake_repository.h"
#include "fakes/fake_session_manager.h"
#include "fakes/fake_soap_message.h"
#include "fakes/fake_soap_service.h"
#include "fakes/served_class.h"
#include "recording_reporter.h"
#include "soap/soap_object_impl.h"

namespace soap_testing {

using MethodBody = std::function<HRESULT(quillmere::ISOAPMessage*, quillmere::ISOAPMessage*)>;

class ScriptedMethod : public quillmere::SOAPMethod {
 public:
  ScriptedMethod(quillmere::ISOAPObjectImpl& owner, std::string name, MethodBody body)
      : SOAPMethod(owner), name_(winport::Utf8ToWide(name)), body_(std::move(body)) {}

  winport::ScopedBstr name() const override { return winport::ScopedBstr(name_.c_str()); }
  HRESULT execute(quillmere::ISOAPMessage* request, quillmere::ISOAPMessage* response) override {
    return body_(request, response);
  }

 private:
  winport::WideString name_;
  MethodBody body_;
};

using Methods = std::vector<std::pair<std::string, MethodBody>>;

// A SOAP object whose methods the test writes.
class TestObject : public quillmere::ISOAPObjectImpl {
 public:
  TestObject(quillmere::Reporter& reporting, const OLECHAR* name, const Methods& methods = {})
      : ISOAPObjectImpl(reporting, name) {
    for (const auto& [method, body] : methods)
      AddMethod(methods_.emplace_back(*this, method, body));
  }

  bool canStart = true;

 protected:
  bool CanStart() override { return canStart; }
  HRESULT OnStart() override { return RunHook(OLESTR("TestObject::OnStart")); }
  HRESULT OnStop() override { return RunHook(OLESTR("TestObject::OnStop")); }

 private:
  std::deque<ScriptedMethod> methods_;
};

// What Execute answered and the response it made.
struct Answer {
  HRESULT hr = E_UNEXPECTED;
  winport::ComPtr<quillmere::ISOAPMessage> slot;    // what the host received
  winport::ComPtr<fakes::FakeSoapMessage> created;  // the message Execute made, if any
};

// The documents of a response: its XMLDATA parameters, each added as XML.
inline std::vector<std::string> Documents(const Answer& answer) {
  std::vector<std::string> documents;
  for (const fakes::Parameter& parameter : answer.created->parameters) {
    EXPECT_EQ(parameter.accessor, "XMLDATA");
    EXPECT_TRUE(parameter.xml);
    documents.push_back(parameter.value);
  }
  return documents;
}

class TestHost {
 public:
  TestHost() {
    service->namedObjects["Session"] = winport::ComPtr<IUnknown>(
        static_cast<quillmere::ISessionManagerReconnect*>(sessions.Get()));
    service->namedObjects["Repository"] =
        winport::ComPtr<IUnknown>(static_cast<quillmere::IRepository*>(repository.Get()));
  }

  static winport::ComPtr<fakes::FakeSoapMessage> Request(
      const std::string& method, std::vector<fakes::Parameter> parameters = {}) {
    auto request = winport::MakeComObject<fakes::FakeSoapMessage>();
    request->method = method;
    request->parameters = std::move(parameters);
    return request;
  }

  // Runs one request; the created response is the newest message the factory made.
  Answer Execute(quillmere::_ISoapObject* object, quillmere::ISOAPMessage* request) {
    const size_t before = messages.factory->Made().size();
    Answer answer;
    answer.hr = object->Execute(request, answer.slot.GetAddressOf());
    const auto made = messages.factory->Made();
    if (made.size() > before) answer.created = made.back();
    return answer;
  }

  winport::ScopedComInit apartment{COINIT_MULTITHREADED};
  testing_support::RecordingReporter reporting;
  // The host's message class: the responses Execute makes.
  fakes::ServedClass<fakes::FakeSoapMessage> messages{
      __uuidof(quillmere::SoapMessage),
      [] { return winport::MakeComObject<fakes::FakeSoapMessage>(); }};
  winport::ComPtr<fakes::FakeSoapService> service =
      winport::MakeComObject<fakes::FakeSoapService>();
  winport::ComPtr<fakes::FakeSessionManager> sessions =
      winport::MakeComObject<fakes::FakeSessionManager>();
  winport::ComPtr<fakes::FakeRepository> repository =
      winport::MakeComObject<fakes::FakeRepository>();
};

// The host with the object "Tester", started, whose methods the test writes.
struct Tester : TestHost {
  explicit Tester(const Methods& methods = {})
      : object(winport::MakeComObject<TestObject>(reporting, OLESTR("Tester"), methods)) {
    EXPECT_EQ(object->Init(service.Get()), S_OK);
  }
  Answer Ask(const std::string& method, std::vector<fakes::Parameter> parameters = {}) {
    return Execute(object.Get(), Request(method, std::move(parameters)).Get());
  }

  winport::ComPtr<TestObject> object;
};

}  // namespace soap_testing
