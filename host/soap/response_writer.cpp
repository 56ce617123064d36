#include "host/soap/response_writer.h"

#include <climits>
#include <optional>

#include "document_scan.h"
#include "expat_parser.h"
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

// Levels of the envelope above a document: Envelope, Body, the response element, XMLDATA.
constexpr int kLevelsAboveDocument = 4;

// Counts elements and levels as the envelope's reader will, stopping at its limits.
class DocumentCheck {
 public:
  DocumentCheck(const EnvelopeLimits& limits, std::string_view object)
      : maxDepth_(limits.maxDepth - kLevelsAboveDocument + 1),
        maxElements_(limits.maxElements - kLevelsAboveDocument + 1),
        object_(object) {}

  // Why the document cannot go into the envelope as XML; nothing when it can.
  std::optional<std::string> Fault(std::string_view document) {
    if (ProvedWellFormed(document, {maxDepth_, maxElements_})) return std::nullopt;
    const ExpatParser parser = NewExpatParser();
    if (!parser) return "out of memory checking it";
    parser_ = parser.get();
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &DocumentCheck::OnStart, &DocumentCheck::OnEnd);
    if (document.size() > INT_MAX) return "larger than the parser takes";
    // In the envelope the document sees the prefixes soap and m declared around it.
    const std::string open = "<d xmlns:soap=\"" + std::string(kEnvelopeNamespace) +
                             "\" xmlns:m=\"" + EscapeXmlAttribute(ObjectNamespace(object_)) + "\">";
    const bool parsed =
        XML_Parse(parser_, open.data(), static_cast<int>(open.size()), XML_FALSE) &&
        XML_Parse(parser_, document.data(), static_cast<int>(document.size()), XML_FALSE) &&
        XML_Parse(parser_, "</d>", 4, XML_TRUE);
    if (tooLarge_) return *tooLarge_;
    if (parsed) return std::nullopt;
    return "line " + std::to_string(XML_GetCurrentLineNumber(parser_)) + ", column " +
           std::to_string(XML_GetCurrentColumnNumber(parser_) + 1) + ": " +
           XML_ErrorString(XML_GetErrorCode(parser_));
  }

 private:
  static void XMLCALL OnStart(void* self, const XML_Char*, const XML_Char**) {
    static_cast<DocumentCheck*>(self)->Start();
  }
  static void XMLCALL OnEnd(void* self, const XML_Char*) {
    --static_cast<DocumentCheck*>(self)->depth_;
  }

  void Start() {
    if (++depth_ > maxDepth_) {
      tooLarge_ = "nests deeper than an envelope may";
    } else if (++elements_ > maxElements_) {
      tooLarge_ = "has more elements than an envelope may";
    } else {
      return;
    }
    XML_StopParser(parser_, XML_FALSE);
  }

  const int maxDepth_;
  const size_t maxElements_;
  const std::string_view object_;  // whose namespace the prefix m names
  XML_Parser parser_ = nullptr;
  int depth_ = 0;
  size_t elements_ = 0;
  std::optional<std::string> tooLarge_;
};

// Only the document a method answers is XML; every other value is text.
void AppendParameter(std::string& body, const ResponseParameter& parameter, bool verbatim) {
  body.append("<").append(parameter.name).append(">");
  if (verbatim) {
    body.append(parameter.value);
  } else {
    body.append(EscapeXmlText(parameter.value));
  }
  body.append("</").append(parameter.name).append(">");
}

}  // namespace

HttpReply WriteFault(quillmere::FaultCode code, std::string_view text, std::string_view detail) {
  std::string body = EnvelopeOpen() + "<soap:Body><soap:Fault><faultcode>" +
                     std::string(FaultCodeName(code)) + "</faultcode><faultstring>" +
                     EscapeXmlText(text) + "</faultstring>";
  if (!detail.empty()) body += "<detail>" + EscapeXmlText(detail) + "</detail>";
  body += "</soap:Fault></soap:Body></soap:Envelope>";
  return {kHttpServerError, std::move(body), {}};
}

HttpReply WriteResponse(quillmere::ISOAPMessage* response, const EnvelopeLimits& limits) {
  const MessageState* state = StateOf(response);
  if (state == nullptr) {
    return WriteFault(quillmere::FaultCode::Server, "The response is not a message of this host");
  }
  const FaultObject& fault = *state->fault.Get();
  if (fault.faulted) return WriteFault(fault.code, fault.text, fault.detail);
  if (state->call.method.empty()) {
    return WriteFault(quillmere::FaultCode::Server, "The response names no method");
  }

  // One allocation for the whole envelope, unless values need escaping.
  size_t size = 512 + state->variables.size() + state->variablesNamespaces.size();
  for (const ResponseParameter& parameter : state->results)
    size += 2 * parameter.name.size() + parameter.value.size() + 8;
  std::string body;
  body.reserve(size);
  body += EnvelopeOpen();
  if (state->hasVariables) {
    body += "<soap:Header><h:Variables xmlns:h=\"" + std::string(kHostNamespace) + "\"" +
            state->variablesNamespaces + ">" + state->variables + "</h:Variables></soap:Header>";
  }
  const std::string element = "m:" + state->call.method + "Response";
  body += "<soap:Body><" + element + " xmlns:m=\"" +
          EscapeXmlAttribute(ObjectNamespace(state->call.object)) + "\">";
  std::string warning;
  for (const ResponseParameter& parameter : state->results) {
    bool verbatim = parameter.xml && parameter.name == "XMLDATA";
    if (verbatim) {
      if (const auto fault = DocumentCheck(limits, state->call.object).Fault(parameter.value)) {
        verbatim = false;
        warning = "The document of " + state->call.object + "#" + state->call.method +
                  " is not well-formed XML (" + *fault + "); it was sent as text";
      }
    }
    AppendParameter(body, parameter, verbatim);
  }
  body += "</" + element + "></soap:Body></soap:Envelope>";
  return {kHttpOk, std::move(body), std::move(warning)};
}

}  // namespace quillmere::host
