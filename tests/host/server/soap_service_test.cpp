// The service the module's objects are started with: their registrations, the named
// objects and the dispatch of OnSuccess requests.
#include <gtest/gtest.h>

#include <winport/com_object.h>
#include <winport/scoped_bstr.h>

#include "fakes/fake_soap_message.h"
#include "host/soap_service.h"

namespace {

using fakes::FakeSoapMessage;
using quillmere::_ISoapObject;
using quillmere::ISOAPMessage;
using quillmere::host::MakeSoapService;
using quillmere::host::SoapService;
using winport::ComPtr;
using winport::ScopedBstr;

// Answers every request with its own response message, named after the object.
class NamedObject : public winport::ComObject<_ISoapObject> {
 public:
  explicit NamedObject(std::string name) : name_(std::move(name)) {}
  HRESULT STDMETHODCALLTYPE Init(quillmere::ISoapService*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetStop() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Execute(ISOAPMessage*, ISOAPMessage** response) override {
    auto answer = winport::MakeComObject<FakeSoapMessage>();
    answer->method = name_;
    return ComPtr<ISOAPMessage>(answer).CopyTo(response) == S_OK ? S_FALSE : E_FAIL;
  }

 private:
  std::string name_;
};

ScopedBstr Bstr(const char* text) {
  return ScopedBstr(winport::Utf8ToWide(text).c_str());
}

std::string MethodOf(ISOAPMessage* message) {
  ScopedBstr name;
  message->methodName(name.Receive());
  return winport::WideToUtf8(winport::BstrView(name.Get()));
}

class SoapServiceTest : public testing::Test {
 protected:
  ComPtr<SoapService> service_ = MakeSoapService([this](ISOAPMessage*, const std::string& text) {
    faults_.push_back(text);
    auto fault = winport::MakeComObject<FakeSoapMessage>();
    fault->method = "fault";
    return ComPtr<ISOAPMessage>(fault);
  });
  std::vector<std::string> faults_;
  ComPtr<_ISoapObject> first_ = winport::MakeComObject<NamedObject>("first");
  ComPtr<_ISoapObject> second_ = winport::MakeComObject<NamedObject>("second");
  ComPtr<ISOAPMessage> request_ = winport::MakeComObject<FakeSoapMessage>();
};

TEST_F(SoapServiceTest, RegistrationsByNameAndTheirRefusals) {
  EXPECT_EQ(service_->Register(first_.Get(), Bstr("Administrator").Get()), S_OK);
  EXPECT_EQ(service_->Register(first_.Get(), Bstr("Administrator").Get()), S_OK);
  EXPECT_EQ(service_->Register(second_.Get(), Bstr("Administrator").Get()),
            HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(service_->Register(nullptr, Bstr("WbemProvider").Get()), E_POINTER);
  EXPECT_EQ(service_->Register(second_.Get(), nullptr), E_INVALIDARG);
  EXPECT_EQ(service_->Find("Administrator"), first_);
  EXPECT_EQ(service_->Find("WbemProvider"), nullptr);

  // Only the object registered under the name takes it away.
  EXPECT_EQ(service_->Unregister(second_.Get(), Bstr("Administrator").Get()), S_FALSE);
  EXPECT_EQ(service_->Unregister(first_.Get(), Bstr("WbemProvider").Get()), S_FALSE);
  EXPECT_EQ(service_->Unregister(first_.Get(), Bstr("Administrator").Get()), S_OK);
  EXPECT_EQ(service_->Find("Administrator"), nullptr);
}

TEST_F(SoapServiceTest, DispatchRunsTheNamedObjectOrAnswersAFaultForAnUnknownOne) {
  service_->Register(first_.Get(), Bstr("Administrator").Get());
  service_->Register(second_.Get(), Bstr("WbemProvider").Get());
  for (const auto& [object, answeredBy] :
       {std::pair{"WbemProvider", "second"}, {"Administrator", "first"}, {"Nobody", "fault"}}) {
    ComPtr<ISOAPMessage> response;
    EXPECT_TRUE(SUCCEEDED(
        service_->DispatchSOAP(Bstr(object).Get(), request_.Get(), response.GetAddressOf())));
    ASSERT_TRUE(response);
    EXPECT_EQ(MethodOf(response.Get()), answeredBy);
  }
  EXPECT_EQ(faults_, std::vector<std::string>{"Unknown SOAP object: Nobody"});
  EXPECT_EQ(service_->DispatchSOAP(Bstr("Administrator").Get(), nullptr, nullptr), E_POINTER);
}

TEST_F(SoapServiceTest, NamedObjectsAreHandedOutUntilCleared) {
  service_->SetNamedObject("Session", ComPtr<IUnknown>(first_));
  service_->Register(second_.Get(), Bstr("Administrator").Get());
  ComPtr<IUnknown> found;
  EXPECT_EQ(service_->NamedObject(Bstr("Session").Get(), found.GetAddressOf()), S_OK);
  EXPECT_EQ(found.Get(), static_cast<IUnknown*>(first_.Get()));
  IUnknown* missing = first_.Get();
  EXPECT_EQ(service_->NamedObject(Bstr("Repository").Get(), &missing), E_INVALIDARG);
  EXPECT_EQ(missing, nullptr);
  EXPECT_EQ(service_->NamedObject(Bstr("Session").Get(), nullptr), E_POINTER);

  service_->Clear();
  EXPECT_EQ(service_->NamedObject(Bstr("Session").Get(), found.ReleaseAndGetAddressOf()),
            E_INVALIDARG);
  EXPECT_EQ(service_->Find("Administrator"), nullptr);
}

}  // namespace
