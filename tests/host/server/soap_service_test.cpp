// The host's service as the module's objects use it: their registrations under a name, the
// host's named objects, and a request dispatched by name.
#include "host/server/soap_service.h"

#include <gtest/gtest.h>

#include <winport/com_object.h>
#include <winport/scoped_com_init.h>

#include "host/common/bstr_text.h"
#include "host/server/message_faults.h"
#include "host/soap/response_writer.h"
#include "host/soap/soap_message.h"

namespace quillmere::host {
namespace {

class Answering : public winport::ComObject<quillmere::_ISoapObject> {
 public:
  HRESULT STDMETHODCALLTYPE Init(quillmere::ISoapService*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetStop() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Execute(quillmere::ISOAPMessage* request,
                                    quillmere::ISOAPMessage** response) override {
    ++executed;
    return MakeResponseFor(request).CopyTo(response);
  }
  int executed = 0;
};

class SoapServiceTest : public testing::Test {
 protected:
  HRESULT Register(Answering* object, const char* name) {
    return service_->Register(object, ScopedBstrOf(name).Get());
  }
  HRESULT Unregister(Answering* object, const char* name) {
    return service_->Unregister(object, ScopedBstrOf(name).Get());
  }

  const winport::ScopedComInit apartment_{COINIT_MULTITHREADED};
  const winport::ComPtr<SoapService> service_ =
      MakeSoapService([](quillmere::ISOAPMessage* request, const std::string& text) {
        return FaultResponseFor(request, quillmere::FaultCode::Client, text);
      });
  const winport::ComPtr<Answering> first_ = winport::MakeComObject<Answering>();
  const winport::ComPtr<Answering> second_ = winport::MakeComObject<Answering>();
};

TEST_F(SoapServiceTest, OneObjectPerNameUntilItLeaves) {
  EXPECT_EQ(Register(first_.Get(), "Administrator"), S_OK);
  EXPECT_EQ(Register(first_.Get(), "Administrator"), S_OK);  // again: no change
  EXPECT_EQ(Register(second_.Get(), "Administrator"), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(Register(second_.Get(), ""), E_INVALIDARG);
  EXPECT_EQ(service_->Register(nullptr, ScopedBstrOf("X").Get()), E_POINTER);
  EXPECT_EQ(Unregister(second_.Get(), "Administrator"), S_FALSE);  // not the one registered
  EXPECT_EQ(service_->Find("Administrator").Get(), first_.Get());
  EXPECT_EQ(Unregister(first_.Get(), "Administrator"), S_OK);
  EXPECT_EQ(service_->Find("Administrator").Get(), nullptr);
  EXPECT_EQ(Register(second_.Get(), "Administrator"), S_OK);
}

TEST_F(SoapServiceTest, DispatchesByNameThroughEitherDoor) {
  ASSERT_EQ(Register(first_.Get(), "Administrator"), S_OK);
  const winport::ComPtr<quillmere::ISOAPMessage> request =
      MakeRequestMessage({.call = {"Administrator", "UserList"}});
  winport::ComPtr<quillmere::ISOAPMessage> response;
  EXPECT_EQ(service_->Dispatch("Administrator", request.Get(), response.GetAddressOf()), S_OK);
  EXPECT_EQ(service_->DispatchSOAP(ScopedBstrOf("Administrator").Get(), request.Get(),
                                   response.ReleaseAndGetAddressOf()),
            S_OK);
  EXPECT_EQ(first_->executed, 2);
  EXPECT_EQ(service_->Dispatch("Administrator", request.Get(), nullptr), E_POINTER);

  // A name nobody registered is answered with the client fault the host makes.
  ASSERT_EQ(service_->Dispatch("administrator", request.Get(), response.ReleaseAndGetAddressOf()),
            S_OK);
  winport::ComPtr<quillmere::ISOAPFault> fault;
  ASSERT_EQ(response->getSOAPFault(fault.GetAddressOf()), S_OK);
  EXPECT_NE(WriteResponse(response.Get()).body.find("Unknown SOAP object: administrator"),
            std::string::npos);
  EXPECT_EQ(first_->executed, 2);
}

TEST_F(SoapServiceTest, NamedObjectsUntilCleared) {
  service_->SetNamedObject("Session", winport::ComPtr<IUnknown>(second_.Get()));
  winport::ComPtr<IUnknown> found;
  EXPECT_EQ(service_->NamedObject(ScopedBstrOf("Session").Get(), found.GetAddressOf()), S_OK);
  EXPECT_EQ(found.Get(), static_cast<IUnknown*>(second_.Get()));
  EXPECT_EQ(service_->NamedObject(ScopedBstrOf("Nothing").Get(), found.ReleaseAndGetAddressOf()),
            E_INVALIDARG);
  EXPECT_EQ(found.Get(), nullptr);
  ASSERT_EQ(Register(first_.Get(), "Administrator"), S_OK);
  service_->Clear();
  EXPECT_EQ(service_->NamedObject(ScopedBstrOf("Session").Get(), found.ReleaseAndGetAddressOf()),
            E_INVALIDARG);
  EXPECT_EQ(service_->Find("Administrator").Get(), nullptr);
}

}  // namespace
}  // namespace quillmere::host
