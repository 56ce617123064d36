// Making messages: requests from envelopes, responses for the host's own methods, and the
// class the module creates its responses through.
#include "host/soap/soap_message.h"

#include "host/common/class_object.h"
#include "message_object.h"

namespace quillmere::host {
namespace {

// A new message for the module's response, with its fault object; null without memory.
winport::ComPtr<IUnknown> NewMessage() {
  const winport::ComPtr<MessageObject> made = winport::MakeComObject<MessageObject>();
  if (!made || !made->State().fault) return nullptr;
  return winport::ComPtr<IUnknown>(static_cast<quillmere::ISOAPMessage*>(made.Get()));
}

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

MessageClass::MessageClass()
    : served_(__uuidof(quillmere::SoapMessage), NewMessage, CLSCTX_INPROC_SERVER) {}

}  // namespace quillmere::host
