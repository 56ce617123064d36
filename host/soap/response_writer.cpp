#include "host/soap/response_writer.h"

#include "host/common/xml_text.h"
#include "host/soap/soap_namespaces.h"
#include "message_object.h"

namespace quillmere::host {
namespace {

constexpr int kHttpOk = 200;
constexpr int kHttpServerError = 500;

std::string_view FaultCodeName(quillmere::FaultCode code) {
  switch (code) {
    case quillmere::FaultCode::Client:
    case quillmere::FaultCode::Auth:
      return "soap:Client";
    case quillmere::FaultCode::MustUnderstand:
      return "soap:MustUnderstand";
    case quillmere::FaultCode::VersionMismatch:
      return "soap:VersionMismatch";
    case quillmere::FaultCode::Server:
      break;
  }
  return "soap:Server";
}

std::string EnvelopeOpen() {
  return "<soap:Envelope xmlns:soap=\"" + std::string(kEnvelopeNamespace) + "\">";
}

// Only the document a method answers is XML; every other value is text.
std::string ParameterElement(const ResponseParameter& parameter) {
  const bool verbatim = parameter.xml && parameter.name == "XMLDATA";
  return "<" + parameter.name + ">" +
         (verbatim ? parameter.value : EscapeXmlText(parameter.value)) + "</" + parameter.name +
         ">";
}

}  // namespace

HttpReply WriteFault(quillmere::FaultCode code, std::string_view text, std::string_view detail) {
  std::string body = EnvelopeOpen() + "<soap:Body><soap:Fault><faultcode>" +
                     std::string(FaultCodeName(code)) + "</faultcode><faultstring>" +
                     EscapeXmlText(text) + "</faultstring>";
  if (!detail.empty()) body += "<detail>" + EscapeXmlText(detail) + "</detail>";
  body += "</soap:Fault></soap:Body></soap:Envelope>";
  return {kHttpServerError, std::move(body)};
}

HttpReply WriteResponse(quillmere::ISOAPMessage* response) {
  const MessageState* state = StateOf(response);
  if (state == nullptr) {
    return WriteFault(quillmere::FaultCode::Server, "The response is not a message of this host");
  }
  const FaultObject& fault = *state->fault.Get();
  if (fault.faulted) return WriteFault(fault.code, fault.text, fault.detail);
  if (state->call.method.empty()) {
    return WriteFault(quillmere::FaultCode::Server, "The response names no method");
  }

  std::string body = EnvelopeOpen();
  if (state->hasVariables) {
    body += "<soap:Header><h:Variables xmlns:h=\"" + std::string(kHostNamespace) + "\"" +
            state->variablesNamespaces + ">" + state->variables + "</h:Variables></soap:Header>";
  }
  const std::string element = "m:" + state->call.method + "Response";
  body += "<soap:Body><" + element + " xmlns:m=\"" +
          EscapeXmlAttribute(ObjectNamespace(state->call.object)) + "\">";
  for (const ResponseParameter& parameter : state->results)
    body += ParameterElement(parameter);
  body += "</" + element + "></soap:Body></soap:Envelope>";
  return {kHttpOk, std::move(body)};
}

}  // namespace quillmere::host
