// The host's message and fault, as a test sets them up (the request) and reads them back
// (the response), and the class factory through which the module creates responses.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <winport/com_object.h>
#include <winport/com_ptr.h>
#include <winport/scoped_bstr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "fakes/call_log.h"
#include "fakes/class_registration.h"
#include "soap/soap_host.h"

namespace fakes {

// A message belongs to one request, on one thread: nothing here is locked.
class FakeSoapFault : public winport::ComObject<quillmere::ISOAPFault> {
 public:
  HRESULT STDMETHODCALLTYPE setSpecificFault(BSTR faultText,
                                             quillmere::FaultCode faultCode) override {
    FAKE_ENTER(log, "setSpecificFault");
    text = winport::WideToUtf8(winport::BstrView(faultText));
    code = faultCode;
    faulted = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_faultDetail(BSTR faultDetail) override {
    detail = winport::WideToUtf8(winport::BstrView(faultDetail));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_FaultCode(quillmere::FaultCode) override { return E_NOTIMPL; }

  CallLog log;
  bool faulted = false;
  std::string text, detail;
  quillmere::FaultCode code = quillmere::FaultCode::Client;
};

struct ResponseParameter {
  std::string accessor;
  std::string value;
  bool xml;
  bool operator==(const ResponseParameter&) const = default;
};

class FakeSoapMessage : public winport::ComObject<quillmere::ISOAPMessage> {
 public:
  // --- set up by the test (a request) ---
  std::string method;
  std::vector<std::pair<std::string, std::string>> parameters;
  winport::ComPtr<quillmere::ISOAPMessage> onSuccessNext;  // none: GetOnSuccessNext is S_FALSE
  std::string onSuccessObject;
  bool nullFault = false;  // getSOAPFault succeeds with no fault object
  CallLog log;

  // --- read back by the test (a response) ---
  winport::ComPtr<FakeSoapFault> fault = winport::MakeComObject<FakeSoapFault>();
  std::vector<ResponseParameter> added;
  quillmere::ISOAPMessage* structureFrom = nullptr;  // compared, never called
  quillmere::ISOAPMessage* variablesFrom = nullptr;

  // ISOAPMessage
  HRESULT STDMETHODCALLTYPE methodName(BSTR* name) override {
    FAKE_ENTER(log, "methodName");
    *name = SysAllocString(winport::Utf8ToWide(method).c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CopyStructure(quillmere::ISOAPMessage* request) override {
    structureFrom = request;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CopyVariablesBlock(quillmere::ISOAPMessage* request) override {
    variablesFrom = request;
    return S_OK;
  }
  // The request's parameters, then those added to the response.
  HRESULT STDMETHODCALLTYPE getStringParameterByAccessor(BSTR accessor, BSTR* value) override {
    *value = nullptr;
    FAKE_ENTER(log, "getStringParameterByAccessor");
    const std::string wanted = winport::WideToUtf8(winport::BstrView(accessor));
    std::vector<std::pair<std::string, std::string>> all = parameters;
    for (const ResponseParameter& parameter : added)
      all.emplace_back(parameter.accessor, parameter.value);
    for (const auto& [name, text] : all) {
      if (name == wanted) {
        *value = SysAllocString(winport::Utf8ToWide(text).c_str());
        return S_OK;
      }
    }
    return E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE addResponseParameter(BSTR accessor, BSTR value,
                                                 VARIANT_BOOL bXML) override {
    FAKE_ENTER(log, "addResponseParameter");
    added.push_back({winport::WideToUtf8(winport::BstrView(accessor)),
                     winport::WideToUtf8(winport::BstrView(value)), bXML != VARIANT_FALSE});
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE getSOAPFault(quillmere::ISOAPFault** out) override {
    *out = nullptr;
    FAKE_ENTER(log, "getSOAPFault");
    if (!nullFault) HandOut(fault.Get(), out);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetOnSuccessNext(quillmere::ISOAPMessage** next,
                                             BSTR* objectName) override {
    *next = nullptr;
    *objectName = nullptr;
    FAKE_ENTER(log, "GetOnSuccessNext");
    if (!onSuccessNext) return S_FALSE;
    onSuccessNext.CopyTo(next);
    *objectName = SysAllocString(winport::Utf8ToWide(onSuccessObject).c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE mustIUnderstand() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ArguementCount(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE getDictionaryInformation(BSTR*) override { return E_NOTIMPL; }
};

// Makes the responses; keeps each so that the test can look at it afterwards.
class FakeMessageFactory : public winport::ComObject<IClassFactory> {
 public:
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    *object = nullptr;
    FAKE_ENTER(log, "CreateInstance");
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto message = winport::MakeComObject<FakeSoapMessage>();
    if (prepare) prepare(*message.Get());
    const HRESULT hr = message->QueryInterface(riid, object);
    if (SUCCEEDED(hr)) {
      std::lock_guard<std::mutex> hold(mutex_);
      made_.push_back(message);
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  std::vector<winport::ComPtr<FakeSoapMessage>> Made() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return made_;
  }

  CallLog log;
  // Applied to every message made, before the module sees it.
  std::function<void(FakeSoapMessage&)> prepare;

 private:
  mutable std::mutex mutex_;
  std::vector<winport::ComPtr<FakeSoapMessage>> made_;
};

// The host's message class, served from this process for as long as the object lives.
class RegisteredMessageClass {
 public:
  HRESULT Registered() const { return registration_.Registered(); }

  winport::ComPtr<FakeMessageFactory> factory = winport::MakeComObject<FakeMessageFactory>();

 private:
  ClassRegistration registration_{__uuidof(quillmere::SoapMessage), factory.Get()};
};

}  // namespace fakes
