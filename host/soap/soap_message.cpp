// Making messages: requests from envelopes, responses for the host's own methods, and the
// class the module creates its responses through.
#include "host/soap_message.h"

#include <cstdio>
#include <stdexcept>
#include <string>

#include "message_object.h"

namespace quillmere::host {
namespace {

class MessageFactory : public winport::ComObject<IClassFactory> {
 public:
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    const winport::ComPtr<MessageObject> made = winport::MakeComObject<MessageObject>();
    if (!made || !made->State().fault) return E_OUTOFMEMORY;
    return made->QueryInterface(riid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace

winport::ComPtr<quillmere::ISOAPMessage> MakeRequestMessage(SoapRequest request) {
  MessageState state;
  state.call = std::move(request.call);
  state.variables = std::move(request.variables);
  state.hasVariables = request.hasVariables;
  state.variablesNamespaces = std::move(request.variablesNamespaces);
  state.onSuccess = std::move(request.onSuccess);
  state.notUnderstood = std::move(request.notUnderstood);
  return winport::MakeComObject<MessageObject>(std::move(state));
}

winport::ComPtr<quillmere::ISOAPMessage> MakeResponseFor(quillmere::ISOAPMessage* request) {
  winport::ComPtr<quillmere::ISOAPMessage> response = winport::MakeComObject<MessageObject>();
  if (!response) return nullptr;
  response->CopyStructure(request);
  response->CopyVariablesBlock(request);
  return response;
}

MessageClass::MessageClass() {
  const winport::ComPtr<MessageFactory> factory = winport::MakeComObject<MessageFactory>();
  if (!factory) throw std::runtime_error("Out of memory registering the SOAP message class");
  const HRESULT hr = CoRegisterClassObject(__uuidof(quillmere::SoapMessage), factory.Get(),
                                           CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
  if (FAILED(hr)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    throw std::runtime_error(std::string("Cannot register the SOAP message class: ") + code);
  }
}

MessageClass::~MessageClass() {
  CoRevokeClassObject(cookie_);
}

}  // namespace quillmere::host
