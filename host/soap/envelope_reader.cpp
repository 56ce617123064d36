// Reads a request envelope with expat in namespace mode. Elements are tracked by depth:
// 1 Envelope, 2 Header/Body, 3 header blocks or the method element, and below them
// parameters. A method element's content is cut from the input by byte offsets, because
// the module parses that text by character position and must see it as the client sent it.
#include <algorithm>
#include <climits>
#include <optional>

#include "expat_parser.h"
#include "host/common/xml_text.h"
#include "host/soap/envelope.h"
#include "host/soap/soap_namespaces.h"

namespace quillmere::host {
namespace {

constexpr std::string_view kNextActor = "http://schemas.xmlsoap.org/soap/actor/next";

struct Name {
  std::string_view space, local;
};

Name SplitName(const XML_Char* name) {
  const std::string_view whole(name);
  const size_t at = whole.find(kExpatNameSeparator);
  if (at == std::string_view::npos) return {{}, whole};
  return {whole.substr(0, at), whole.substr(at + 1)};
}

std::string Qualified(Name name) {
  if (name.space.empty()) return std::string(name.local);
  return "{" + std::string(name.space) + "}" + std::string(name.local);
}

std::optional<std::string_view> Attribute(const XML_Char** attributes, std::string_view space,
                                          std::string_view local) {
  for (; attributes[0] != nullptr; attributes += 2) {
    const Name name = SplitName(attributes[0]);
    if (name.space == space && name.local == local) return std::string_view(attributes[1]);
  }
  return std::nullopt;
}

// A header block that must be understood and is addressed to this host.
bool MustBeUnderstood(const XML_Char** attributes) {
  const auto must = Attribute(attributes, kEnvelopeNamespace, "mustUnderstand");
  if (!must || (*must != "1" && *must != "true")) return false;
  const auto actor = Attribute(attributes, kEnvelopeNamespace, "actor");
  return !actor || *actor == kNextActor;
}

// A method element being read, and its parameter being read.
struct OpenCall {
  SoapCall call;
  int depth;
  size_t contentBegin;
  std::optional<SoapParameter> parameter;
};

class EnvelopeReader {
 public:
  EnvelopeReader(std::string_view body, const EnvelopeLimits& limits)
      : body_(body), limits_(limits) {}

  std::variant<SoapRequest, EnvelopeError> Read() {
    if (body_.size() > limits_.maxBodyBytes || body_.size() > INT_MAX) {
      return EnvelopeError{FaultCode::Client,
                           "Body exceeds " + std::to_string(limits_.maxBodyBytes) + " bytes"};
    }
    const ExpatLease lease(body_.size());
    if (!lease) return EnvelopeError{FaultCode::Server, "Out of memory reading the envelope"};
    XML_Parser parser = parser_ = lease.get();
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, &EnvelopeReader::OnStart, &EnvelopeReader::OnEnd);
    XML_SetCharacterDataHandler(parser, &EnvelopeReader::OnText);
    XML_SetNamespaceDeclHandler(parser, &EnvelopeReader::OnNamespaceStart,
                                &EnvelopeReader::OnNamespaceEnd);
    XML_SetStartDoctypeDeclHandler(parser, &EnvelopeReader::OnDoctype);
    XML_SetEntityDeclHandler(parser, &EnvelopeReader::OnEntity);

    const XML_Status status =
        XML_Parse(parser, body_.data(), static_cast<int>(body_.size()), XML_TRUE);
    if (error_) return *error_;
    if (status != XML_STATUS_OK) {
      return EnvelopeError{FaultCode::Client,
                           "Malformed XML at line " +
                               std::to_string(XML_GetCurrentLineNumber(parser)) + ", column " +
                               std::to_string(XML_GetCurrentColumnNumber(parser) + 1) + ": " +
                               XML_ErrorString(XML_GetErrorCode(parser))};
    }
    if (!seenBody_) return EnvelopeError{FaultCode::Client, "Envelope has no Body"};
    if (!seenMethod_) return EnvelopeError{FaultCode::Client, "Body has no method element"};
    return std::move(request_);
  }

 private:
  static void XMLCALL OnStart(void* self, const XML_Char* name, const XML_Char** attributes) {
    static_cast<EnvelopeReader*>(self)->Start(SplitName(name), attributes);
  }
  static void XMLCALL OnEnd(void* self, const XML_Char*) {
    static_cast<EnvelopeReader*>(self)->End();
  }
  static void XMLCALL OnText(void* self, const XML_Char* text, int length) {
    static_cast<EnvelopeReader*>(self)->Text(std::string_view(text, length));
  }
  static void XMLCALL OnNamespaceStart(void* self, const XML_Char* prefix, const XML_Char* uri) {
    static_cast<EnvelopeReader*>(self)->namespaces_.emplace_back(prefix ? prefix : "",
                                                                 uri ? uri : "");
  }
  static void XMLCALL OnNamespaceEnd(void* self, const XML_Char*) {
    auto& namespaces = static_cast<EnvelopeReader*>(self)->namespaces_;
    if (!namespaces.empty()) namespaces.pop_back();
  }
  static void XMLCALL OnDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*,
                                int) {
    static_cast<EnvelopeReader*>(self)->Fail(FaultCode::Client,
                                             "Document type declarations are not allowed");
  }
  static void XMLCALL OnEntity(void* self, const XML_Char*, int, const XML_Char*, int,
                               const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*) {
    static_cast<EnvelopeReader*>(self)->Fail(FaultCode::Client,
                                             "Entity declarations are not allowed");
  }

  void Fail(FaultCode code, std::string text) {
    if (error_) return;
    error_ = EnvelopeError{code, std::move(text)};
    XML_StopParser(parser_, XML_FALSE);
  }

  size_t TagBegin() const { return static_cast<size_t>(XML_GetCurrentByteIndex(parser_)); }
  size_t TagEnd() const { return TagBegin() + XML_GetCurrentByteCount(parser_); }

  void Start(Name name, const XML_Char** attributes) {
    if (error_) return;
    ++depth_;
    if (depth_ > limits_.maxDepth) {
      return Fail(FaultCode::Client,
                  "Elements nest deeper than " + std::to_string(limits_.maxDepth) + " levels");
    }
    if (++elements_ > limits_.maxElements) {
      return Fail(FaultCode::Client,
                  "Document has more than " + std::to_string(limits_.maxElements) + " elements");
    }
    if (call_ && depth_ > call_->depth) {
      if (depth_ == call_->depth + 1) call_->parameter = SoapParameter{std::string(name.local), {}};
      return;
    }
    if (depth_ == 1) return StartEnvelope(name);
    if (depth_ == 2) return StartEnvelopeChild(name);
    if (depth_ == 3 && inBody_) return StartMethod(name);
    if (depth_ == 3 && inHeader_) return StartHeaderBlock(name, attributes);
    if (depth_ == 4 && onSuccessOpen_) return StartOnSuccessMethod(name);
  }

  void StartEnvelope(Name name) {
    if (name.local != "Envelope") {
      return Fail(FaultCode::Client, "Root element is not a SOAP Envelope");
    }
    if (name.space != kEnvelopeNamespace) {
      return Fail(FaultCode::VersionMismatch,
                  "Envelope is not in namespace " + std::string(kEnvelopeNamespace));
    }
  }

  void StartEnvelopeChild(Name name) {
    const bool soap = name.space == kEnvelopeNamespace;
    if (soap && name.local == "Header") {
      if (seenHeader_ || seenBody_) {
        return Fail(FaultCode::Client, "Header must come once, before the Body");
      }
      seenHeader_ = inHeader_ = true;
    } else if (soap && name.local == "Body") {
      if (seenBody_) return Fail(FaultCode::Client, "Envelope has more than one Body");
      seenBody_ = inBody_ = true;
    } else if (!seenBody_) {
      Fail(FaultCode::Client, "Unexpected element " + Qualified(name) + " in the Envelope");
    }
  }

  void StartMethod(Name name) {
    if (seenMethod_) return Fail(FaultCode::Client, "Body holds more than one method element");
    seenMethod_ = true;
    StartCall(name);
  }

  void StartHeaderBlock(Name name, const XML_Char** attributes) {
    if (name.space == kHostNamespace && name.local == "Variables") {
      if (request_.hasVariables) return Fail(FaultCode::Client, "More than one Variables header");
      request_.hasVariables = true;
      request_.variablesNamespaces = DeclarationsInScope();
      variablesBegin_ = TagEnd();
      variablesOpen_ = true;
      return;
    }
    if (name.space == kHostNamespace && name.local == "OnSuccess") {
      // Refused as soon as one too many starts, so a long chain costs no more to read.
      if (++onSuccessLinks_ > limits_.maxOnSuccessLinks) {
        return Fail(FaultCode::Client, "More than " + std::to_string(limits_.maxOnSuccessLinks) +
                                           " OnSuccess headers");
      }
      onSuccessOpen_ = true;
      onSuccessHasCall_ = false;
      onSuccessObject_ = std::string(Attribute(attributes, "", "object").value_or(""));
      return;
    }
    if (MustBeUnderstood(attributes)) request_.notUnderstood.push_back(Qualified(name));
  }

  void StartOnSuccessMethod(Name name) {
    if (onSuccessHasCall_) {
      return Fail(FaultCode::Client, "OnSuccess header holds more than one method element");
    }
    onSuccessHasCall_ = true;
    StartCall(name);
    if (call_ && !onSuccessObject_.empty() && onSuccessObject_ != call_->call.object) {
      Fail(FaultCode::Client, "OnSuccess names object " + onSuccessObject_ +
                                  " but its method is in " + std::string(name.space));
    }
  }

  void StartCall(Name name) {
    const bool ours = name.space.starts_with(kObjectNamespacePrefix) &&
                      name.space.size() > kObjectNamespacePrefix.size();
    if (!ours) {
      return Fail(FaultCode::Client, "Method " + Qualified(name) + " is not in a namespace " +
                                         std::string(kObjectNamespacePrefix) + "<Object>");
    }
    SoapCall call;
    call.object = std::string(name.space.substr(kObjectNamespacePrefix.size()));
    call.method = std::string(name.local);
    call_ = OpenCall{std::move(call), depth_, TagEnd(), std::nullopt};
  }

  // The block is copied as text into another document, so it takes along the declarations
  // it may use: the innermost one of each prefix but "h", which the response gives the block.
  std::string DeclarationsInScope() const {
    std::vector<std::string_view> seen = {"h"};
    std::string out;
    for (auto at = namespaces_.rbegin(); at != namespaces_.rend(); ++at) {
      if (std::find(seen.begin(), seen.end(), at->first) != seen.end()) continue;
      seen.push_back(at->first);
      out = " xmlns" + (at->first.empty() ? "" : ":" + at->first) + "=\"" +
            EscapeXmlAttribute(at->second) + "\"" + out;
    }
    return out;
  }

  // Both the end of a start-end pair and an empty-element tag end here; for the latter
  // expat reports no bytes of its own, so the content is empty.
  std::string ContentUpToHere(size_t begin) const {
    const size_t end = TagBegin();
    return end > begin ? std::string(body_.substr(begin, end - begin)) : std::string();
  }

  void End() {
    if (error_) return;
    if (call_ && depth_ == call_->depth + 1 && call_->parameter) {
      call_->call.parameters.push_back(std::move(*call_->parameter));
      call_->parameter.reset();
    } else if (call_ && depth_ == call_->depth) {
      EndCall();
    } else if (depth_ == 3 && variablesOpen_) {
      request_.variables = ContentUpToHere(variablesBegin_);
      variablesOpen_ = false;
    } else if (depth_ == 3 && onSuccessOpen_) {
      onSuccessOpen_ = false;
      if (!onSuccessHasCall_) Fail(FaultCode::Client, "OnSuccess header holds no method element");
    } else if (depth_ == 2) {
      inHeader_ = inBody_ = false;
    }
    --depth_;
  }

  void EndCall() {
    call_->call.children = ContentUpToHere(call_->contentBegin);
    if (call_->depth == 3) {
      request_.call = std::move(call_->call);
    } else {
      request_.onSuccess.push_back(std::move(call_->call));
    }
    call_.reset();
  }

  void Text(std::string_view text) {
    if (error_ || !call_ || !call_->parameter) return;
    call_->parameter->text.append(text);
  }

  std::string_view body_;
  EnvelopeLimits limits_;
  XML_Parser parser_ = nullptr;  // while Read() runs
  std::optional<EnvelopeError> error_;
  SoapRequest request_;

  int depth_ = 0;
  size_t elements_ = 0;
  bool seenHeader_ = false, seenBody_ = false, seenMethod_ = false;
  bool inHeader_ = false, inBody_ = false;
  std::optional<OpenCall> call_;
  std::vector<std::pair<std::string, std::string>> namespaces_;  // prefix, uri; in scope
  bool variablesOpen_ = false;
  size_t variablesBegin_ = 0;
  bool onSuccessOpen_ = false, onSuccessHasCall_ = false;
  size_t onSuccessLinks_ = 0;
  std::string onSuccessObject_;
};

}  // namespace

std::variant<SoapRequest, EnvelopeError> ReadEnvelope(std::string_view body,
                                                      const EnvelopeLimits& limits) {
  return EnvelopeReader(body, limits).Read();
}

}  // namespace quillmere::host
