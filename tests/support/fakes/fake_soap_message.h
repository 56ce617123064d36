// The host's message and fault, as a test sets them up (the request) and reads them back
// (the response).
#pragma once

#include <string>
#include <vector>

#include <winport/com_object.h>
#include <winport/com_ptr.h>
#include <winport/windows.h>

#include "fakes/call_log.h"
#include "quillmere/soap_host.h"

namespace fakes {

// A message belongs to one request, on one thread: nothing here is locked.
class FakeSoapFault : public winport::ComObject<quillmere::ISOAPFault> {
 public:
  HRESULT STDMETHODCALLTYPE setSpecificFault(BSTR faultText,
                                             quillmere::FaultCode faultCode) override {
    FAKE_ENTER(log, "setSpecificFault");
    text = Utf8(faultText);
    code = faultCode;
    faulted = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_faultDetail(BSTR faultDetail) override {
    detail = Utf8(faultDetail);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_FaultCode(quillmere::FaultCode faultCode) override {
    FAKE_ENTER(log, "put_FaultCode");
    code = faultCode;
    codeSet = true;
    return S_OK;
  }

  CallLog log;
  bool faulted = false;
  bool codeSet = false;  // by put_FaultCode alone
  std::string text, detail;
  quillmere::FaultCode code = quillmere::FaultCode::Client;
};

struct Parameter {
  std::string accessor;
  std::string value;
  bool xml = false;
  bool operator==(const Parameter&) const = default;
};

class FakeSoapMessage : public winport::ComObject<quillmere::ISOAPMessage> {
 public:
  // --- set up by the test (a request) ---
  std::string method;
  winport::ComPtr<quillmere::ISOAPMessage> onSuccessNext;  // none: GetOnSuccessNext is S_FALSE
  std::string onSuccessObject;
  bool nullFault = false;     // getSOAPFault succeeds with no fault object
  HRESULT understood = S_OK;  // what mustIUnderstand answers
  std::string dictionary;     // the method element's children, as getDictionaryInformation gives
  CallLog log;

  // --- both: a request's parameters, those added to a response ---
  std::vector<Parameter> parameters;

  // --- read back by the test (a response) ---
  winport::ComPtr<FakeSoapFault> fault = winport::MakeComObject<FakeSoapFault>();
  quillmere::ISOAPMessage* structureFrom = nullptr;  // compared, never called
  quillmere::ISOAPMessage* variablesFrom = nullptr;

  HRESULT STDMETHODCALLTYPE methodName(BSTR* name) override {
    FAKE_ENTER(log, "methodName");
    *name = NewBstr(method);
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
  HRESULT STDMETHODCALLTYPE getStringParameterByAccessor(BSTR accessor, BSTR* value) override {
    *value = nullptr;
    FAKE_ENTER(log, "getStringParameterByAccessor");
    for (const Parameter& parameter : parameters) {
      if (parameter.accessor == Utf8(accessor)) return *value = NewBstr(parameter.value), S_OK;
    }
    return E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE addResponseParameter(BSTR accessor, BSTR value,
                                                 VARIANT_BOOL bXML) override {
    FAKE_ENTER(log, "addResponseParameter");
    parameters.push_back({Utf8(accessor), Utf8(value), bXML != VARIANT_FALSE});
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
    *objectName = NewBstr(onSuccessObject);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE mustIUnderstand() override {
    FAKE_ENTER(log, "mustIUnderstand");
    return understood;
  }
  HRESULT STDMETHODCALLTYPE ArguementCount(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE getDictionaryInformation(BSTR* text) override {
    *text = nullptr;
    FAKE_ENTER(log, "getDictionaryInformation");
    *text = NewBstr(dictionary);
    return S_OK;
  }
};

}  // namespace fakes
