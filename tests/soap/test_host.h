// A host for the SOAP objects under test: the message class served from this process,
// the service with its session manager as "Session", and a reporting object whose
// delivered records a test can wait for.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <winport/com_ptr.h>
#include <winport/scoped_bstr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "fakes/fake_session_manager.h"
#include "fakes/fake_soap_message.h"
#include "fakes/fake_soap_service.h"
#include "recording_reporting.h"
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

// A SOAP object whose methods the test writes.
class TestObject : public quillmere::ISOAPObjectImpl {
 public:
  TestObject(quillmere::Reporting& reporting, const OLECHAR* name)
      : ISOAPObjectImpl(reporting, name) {}

  // Before Init only: the list is read without a lock afterwards.
  void AddScripted(const std::string& name, MethodBody body) {
    AddMethod(methods_.emplace_back(*this, name, std::move(body)));
  }

  bool canStart = true;

 protected:
  bool CanStart() override { return canStart; }
  HRESULT OnStart() override { return RunHook(OLESTR("TestObject::OnStart")); }
  HRESULT OnStop() override { return RunHook(OLESTR("TestObject::OnStop")); }

 private:
  std::deque<ScriptedMethod> methods_;
};

// Every record delivered so far: a marker error is sent through the queue and waited
// for, so that what was reported before it has been delivered too.
inline std::vector<testing_support::RecordedReport> Delivered(
    testing_support::RecordingReporting& reporting) {
  reporting.ReportError(OLESTR("test"), OLESTR("marker"), 0, nullptr);
  const auto marker = reporting.WaitForRecord([](const testing_support::RecordedReport& r) {
    return r.source == "test" && r.description == "marker";
  });
  std::vector<testing_support::RecordedReport> before;
  if (!marker) return before;
  for (const auto& report : reporting.Records()) {
    if (report.source == "test" && report.description == "marker") break;
    before.push_back(report);
  }
  return before;
}

// The error reports delivered from source.
inline std::vector<std::string> ErrorsFrom(testing_support::RecordingReporting& reporting,
                                           const std::string& source) {
  std::vector<std::string> texts;
  for (const auto& report : Delivered(reporting)) {
    if (report.level == 1 && report.source == source)
      texts.push_back(report.description.value_or(""));
  }
  return texts;
}

// What Execute answered and the response it made.
struct Answer {
  HRESULT hr = E_UNEXPECTED;
  winport::ComPtr<quillmere::ISOAPMessage> slot;    // what the host received
  winport::ComPtr<fakes::FakeSoapMessage> created;  // the message Execute made, if any
};

// Keeps a thread in the multithreaded apartment for its life.
class Apartment {
 public:
  Apartment() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~Apartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;

 private:
  HRESULT hr_;
};

class TestHost {
 public:
  TestHost() {
    EXPECT_EQ(messages.Registered(), S_OK) << "the message class is not registered";
    service->namedObjects["Session"] = winport::ComPtr<IUnknown>(
        static_cast<quillmere::ISessionManagerReconnect*>(sessions.Get()));
  }
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  static winport::ComPtr<fakes::FakeSoapMessage> Request(
      const std::string& method, std::vector<std::pair<std::string, std::string>> parameters = {}) {
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

  Apartment apartment;
  testing_support::RecordingReporting reporting;
  fakes::RegisteredMessageClass messages;
  winport::ComPtr<fakes::FakeSoapService> service =
      winport::MakeComObject<fakes::FakeSoapService>();
  winport::ComPtr<fakes::FakeSessionManager> sessions =
      winport::MakeComObject<fakes::FakeSessionManager>();
};

}  // namespace soap_testing
