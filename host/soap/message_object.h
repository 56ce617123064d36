// The host's message and fault objects. Host code reaches a message's contents through
// IMessageState, an interface of this host only, so that it never has to trust an
// ISOAPMessage it did not make.
#pragma once

#include <string>
#include <vector>

#include <winport/com_object.h>
#include <winport/com_ptr.h>
#include <winport/windows.h>

#include "host/soap/envelope.h"
#include "quillmere/soap_host.h"

namespace quillmere::host {

class FaultObject : public winport::ComObject<quillmere::ISOAPFault> {
 public:
  HRESULT STDMETHODCALLTYPE setSpecificFault(BSTR text, quillmere::FaultCode code) override;
  HRESULT STDMETHODCALLTYPE put_faultDetail(BSTR detail) override;
  HRESULT STDMETHODCALLTYPE put_FaultCode(quillmere::FaultCode code) override;

  bool faulted = false;
  quillmere::FaultCode code = quillmere::FaultCode::Server;
  std::string text, detail;
};

struct ResponseParameter {
  std::string name, value;
  bool xml;
};

struct MessageState {
  // A request's call; a response's is its request's, kept for parameter lookups.
  SoapCall call;
  std::string variables;
  bool hasVariables = false;
  std::string variablesNamespaces;
  std::vector<SoapCall> onSuccess;
  std::vector<std::string> notUnderstood;
  std::vector<ResponseParameter> results;  // added to a response, in order
  winport::ComPtr<FaultObject> fault = winport::MakeComObject<FaultObject>();
};

struct IMessageState : public IUnknown {
  virtual MessageState& State() = 0;
};

}  // namespace quillmere::host

WINPORT_DEFINE_UUID(quillmere::host::IMessageState, 0x08655127, 0x7df9, 0x476b, 0xa4, 0x65, 0x40,
                    0x03, 0x77, 0x21, 0xe7, 0x6d);  // {08655127-7DF9-476B-A465-40037721E76D}

namespace quillmere::host {

class MessageObject : public winport::ComObject<quillmere::ISOAPMessage, IMessageState> {
 public:
  MessageObject() = default;
  explicit MessageObject(MessageState state) : state_(std::move(state)) {}

  MessageState& State() override { return state_; }

  HRESULT STDMETHODCALLTYPE methodName(BSTR* name) override;
  HRESULT STDMETHODCALLTYPE CopyStructure(quillmere::ISOAPMessage* request) override;
  HRESULT STDMETHODCALLTYPE CopyVariablesBlock(quillmere::ISOAPMessage* request) override;
  HRESULT STDMETHODCALLTYPE getStringParameterByAccessor(BSTR accessor, BSTR* value) override;
  HRESULT STDMETHODCALLTYPE addResponseParameter(BSTR accessor, BSTR value,
                                                 VARIANT_BOOL bXML) override;
  HRESULT STDMETHODCALLTYPE getSOAPFault(quillmere::ISOAPFault** fault) override;
  HRESULT STDMETHODCALLTYPE GetOnSuccessNext(quillmere::ISOAPMessage** next,
                                             BSTR* objectName) override;
  HRESULT STDMETHODCALLTYPE mustIUnderstand() override;
  HRESULT STDMETHODCALLTYPE ArguementCount(LONG* count) override;
  HRESULT STDMETHODCALLTYPE getDictionaryInformation(BSTR* text) override;

 private:
  MessageState state_;
};

// The state of a message this host made, or null.
MessageState* StateOf(quillmere::ISOAPMessage* message);

}  // namespace quillmere::host
