// Messages are used by one thread at a time, though not always the same one: nothing here
// is locked and nothing is kept per thread.
#include "message_object.h"

#include "host/common/bstr_text.h"

namespace quillmere::host {
namespace {

HRESULT HandOutText(std::string_view text, BSTR* out) {
  *out = ToBstr(text);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

MessageState* StateOf(quillmere::ISOAPMessage* message) {
  if (message == nullptr) return nullptr;
  winport::ComPtr<IMessageState> state;
  if (FAILED(message->QueryInterface(__uuidof(IMessageState),
                                     reinterpret_cast<void**>(state.GetAddressOf())))) {
    return nullptr;
  }
  // The caller's reference to the message keeps the state alive.
  return &state->State();
}

HRESULT FaultObject::setSpecificFault(BSTR faultText, quillmere::FaultCode faultCode) {
  text = Utf8Of(faultText);
  code = faultCode;
  faulted = true;
  return S_OK;
}

HRESULT FaultObject::put_faultDetail(BSTR faultDetail) {
  detail = Utf8Of(faultDetail);
  return S_OK;
}

HRESULT FaultObject::put_FaultCode(quillmere::FaultCode faultCode) {
  code = faultCode;
  return S_OK;
}

HRESULT MessageObject::methodName(BSTR* name) {
  if (name == nullptr) return E_POINTER;
  return HandOutText(state_.call.method, name);
}

// The module asks the response for the next request of the chain, so the chain comes along.
HRESULT MessageObject::CopyStructure(quillmere::ISOAPMessage* request) {
  const MessageState* from = StateOf(request);
  if (from == nullptr) return E_INVALIDARG;
  if (from == &state_) return S_OK;
  state_.call = from->call;
  state_.onSuccess = from->onSuccess;
  state_.results.clear();
  return S_OK;
}

HRESULT MessageObject::CopyVariablesBlock(quillmere::ISOAPMessage* request) {
  const MessageState* from = StateOf(request);
  if (from == nullptr) return E_INVALIDARG;
  state_.variables = from->variables;
  state_.hasVariables = from->hasVariables;
  state_.variablesNamespaces = from->variablesNamespaces;
  return S_OK;
}

// What the response was given comes before what its request brought.
HRESULT MessageObject::getStringParameterByAccessor(BSTR accessor, BSTR* value) {
  if (value == nullptr) return E_POINTER;
  *value = nullptr;
  const std::string name = Utf8Of(accessor);
  for (const ResponseParameter& result : state_.results) {
    if (result.name == name) return HandOutText(result.value, value);
  }
  for (const SoapParameter& parameter : state_.call.parameters) {
    if (parameter.name == name) return HandOutText(parameter.text, value);
  }
  return E_INVALIDARG;
}

HRESULT MessageObject::addResponseParameter(BSTR accessor, BSTR value, VARIANT_BOOL bXML) {
  std::string name = Utf8Of(accessor);
  if (name.empty()) return E_INVALIDARG;
  state_.results.push_back({std::move(name), Utf8Of(value), bXML != VARIANT_FALSE});
  return S_OK;
}

HRESULT MessageObject::getSOAPFault(quillmere::ISOAPFault** fault) {
  if (fault == nullptr) return E_POINTER;
  *fault = nullptr;
  return winport::ComPtr<quillmere::ISOAPFault>(state_.fault).CopyTo(fault);
}

// The next request carries the rest of the chain and the variables as they stand now.
HRESULT MessageObject::GetOnSuccessNext(quillmere::ISOAPMessage** next, BSTR* objectName) {
  if (next == nullptr || objectName == nullptr) return E_POINTER;
  *next = nullptr;
  *objectName = nullptr;
  if (state_.onSuccess.empty()) return S_FALSE;
  MessageState nextState;
  nextState.call = state_.onSuccess.front();
  nextState.onSuccess.assign(state_.onSuccess.begin() + 1, state_.onSuccess.end());
  nextState.variables = state_.variables;
  nextState.hasVariables = state_.hasVariables;
  nextState.variablesNamespaces = state_.variablesNamespaces;
  const winport::ComPtr<MessageObject> made =
      winport::MakeComObject<MessageObject>(std::move(nextState));
  if (!made || !made->State().fault) return E_OUTOFMEMORY;
  const HRESULT hr = HandOutText(made->State().call.object, objectName);
  if (FAILED(hr)) return hr;
  return winport::ComPtr<quillmere::ISOAPMessage>(made).CopyTo(next);
}

HRESULT MessageObject::mustIUnderstand() {
  return state_.notUnderstood.empty() ? S_OK : S_FALSE;
}

HRESULT MessageObject::ArguementCount(LONG* count) {
  if (count == nullptr) return E_POINTER;
  *count = static_cast<LONG>(state_.call.parameters.size());
  return S_OK;
}

HRESULT MessageObject::getDictionaryInformation(BSTR* text) {
  if (text == nullptr) return E_POINTER;
  return HandOutText(state_.call.children, text);
}

}  // namespace quillmere::host
