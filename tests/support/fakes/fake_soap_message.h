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

class FakeSoapFault : public winport::ComObject<quillmere::ISOAPFault> {
 public:
  HRESULT STDMETHODCALLTYPE setSpecificFault(BSTR text, quillmere::FaultCode code) override {
    FAKE_ENTER(log, "setSpecificFault");
    std::lock_guard<std::mutex> hold(mutex_);
    text_ = winport::WideToUtf8(winport::BstrView(text));
    code_ = code;
    faulted_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_faultDetail(BSTR detail) override {
    FAKE_ENTER(log, "put_faultDetail");
    std::lock_guard<std::mutex> hold(mutex_);
    detail_ = winport::WideToUtf8(winport::BstrView(detail));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_FaultCode(quillmere::FaultCode code) override {
    FAKE_ENTER(log, "put_FaultCode");
    std::lock_guard<std::mutex> hold(mutex_);
    code_ = code;
    return S_OK;
  }

  bool Faulted() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return faulted_;
  }
  std::string Text() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return text_;
  }
  std::string Detail() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return detail_;
  }
  quillmere::FaultCode Code() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return code_;
  }

  CallLog log;

 private:
  mutable std::mutex mutex_;
  bool faulted_ = false;
  std::string text_, detail_;
  quillmere::FaultCode code_ = quillmere::FaultCode::Client;
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
  HRESULT mustUnderstand = S_OK;
  std::string dictionary;
  bool nullFault = false;  // getSOAPFault succeeds with no fault object
  CallLog log;

  // --- read back by the test (a response) ---
  winport::ComPtr<FakeSoapFault> fault = winport::MakeComObject<FakeSoapFault>();

  std::vector<ResponseParameter> Parameters() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return added_;
  }
  quillmere::ISOAPMessage* StructureFrom() const { return structureFrom_; }
  quillmere::ISOAPMessage* VariablesFrom() const { return variablesFrom_; }

  // ISOAPMessage
  HRESULT STDMETHODCALLTYPE methodName(BSTR* name) override {
    FAKE_ENTER(log, "methodName");
    *name = SysAllocString(winport::Utf8ToWide(method).c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CopyStructure(quillmere::ISOAPMessage* request) override {
    FAKE_ENTER(log, "CopyStructure");
    structureFrom_ = request;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CopyVariablesBlock(quillmere::ISOAPMessage* request) override {
    FAKE_ENTER(log, "CopyVariablesBlock");
    variablesFrom_ = request;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE getStringParameterByAccessor(BSTR accessor, BSTR* value) override {
    FAKE_ENTER(log, "getStringParameterByAccessor");
    const std::string wanted = winport::WideToUtf8(winport::BstrView(accessor));
    std::lock_guard<std::mutex> hold(mutex_);
    for (const auto& [name, text] : parameters) {
      if (name == wanted) {
        *value = SysAllocString(winport::Utf8ToWide(text).c_str());
        return S_OK;
      }
    }
    for (const ResponseParameter& added : added_) {
      if (added.accessor == wanted) {
        *value = SysAllocString(winport::Utf8ToWide(added.value).c_str());
        return S_OK;
      }
    }
    *value = nullptr;
    return E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE addResponseParameter(BSTR accessor, BSTR value,
                                                 VARIANT_BOOL bXML) override {
    FAKE_ENTER(log, "addResponseParameter");
    std::lock_guard<std::mutex> hold(mutex_);
    added_.push_back({winport::WideToUtf8(winport::BstrView(accessor)),
                      winport::WideToUtf8(winport::BstrView(value)), bXML != VARIANT_FALSE});
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE getSOAPFault(quillmere::ISOAPFault** out) override {
    FAKE_ENTER(log, "getSOAPFault");
    *out = nullptr;
    if (!nullFault) HandOut(fault.Get(), out);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetOnSuccessNext(quillmere::ISOAPMessage** next,
                                             BSTR* objectName) override {
    FAKE_ENTER(log, "GetOnSuccessNext");
    *next = nullptr;
    *objectName = nullptr;
    if (!onSuccessNext) return S_FALSE;
    onSuccessNext.CopyTo(next);
    *objectName = SysAllocString(winport::Utf8ToWide(onSuccessObject).c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE mustIUnderstand() override {
    FAKE_ENTER(log, "mustIUnderstand");
    return mustUnderstand;
  }
  HRESULT STDMETHODCALLTYPE ArguementCount(LONG* count) override {
    FAKE_ENTER(log, "ArguementCount");
    *count = static_cast<LONG>(parameters.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE getDictionaryInformation(BSTR* text) override {
    FAKE_ENTER(log, "getDictionaryInformation");
    *text = SysAllocString(winport::Utf8ToWide(dictionary).c_str());
    return S_OK;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<ResponseParameter> added_;
  quillmere::ISOAPMessage* structureFrom_ = nullptr;  // compared, never called
  quillmere::ISOAPMessage* variablesFrom_ = nullptr;
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
