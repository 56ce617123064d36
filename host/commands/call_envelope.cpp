#include "host/commands/call_envelope.h"

#include <expat.h>

#include <memory>

#include "host/commands/command_support.h"
#include "host/common/xml_text.h"
#include "host/soap/soap_namespaces.h"

namespace quillmere::host {
namespace {

bool IsNameCharacter(char c, bool first) {
  const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  return letter || (!first && ((c >= '0' && c <= '9') || c == '-' || c == '.'));
}

// ASCII names only: every name the module and the host know is one.
void CheckName(std::string_view name, std::string_view what) {
  bool first = true;
  for (const char c : name) {
    if (!IsNameCharacter(c, first)) {
      throw CommandFailure(std::string(what) + " is not an XML name: " + std::string(name));
    }
    first = false;
  }
  if (name.empty()) throw CommandFailure(std::string(what) + " is empty");
}

std::string Element(std::string_view name, std::string_view content) {
  return "<" + std::string(name) + ">" + std::string(content) + "</" + std::string(name) + ">";
}

constexpr char kSeparator = '|';

// Expat's namespace-qualified name: "uri|local", or "local" for an unqualified one.
std::string_view LocalName(std::string_view name) {
  const size_t separator = name.find(kSeparator);
  return separator == std::string_view::npos ? name : name.substr(separator + 1);
}

bool IsSoap(std::string_view name, std::string_view local) {
  return name == std::string(kEnvelopeNamespace) + kSeparator + std::string(local);
}

// Depth 1 the Envelope, 2 its Header and Body, 3 the Fault or the method's response,
// 4 their parts.
class AnswerReader {
 public:
  explicit AnswerReader(XML_Parser parser) : parser_(parser) {}

  void Start(std::string_view name) {
    ++depth_;
    if (depth_ == 1) envelope_ = IsSoap(name, "Envelope");
    if (depth_ == 2) inBody_ = IsSoap(name, "Body");
    if (depth_ == 3 && inBody_ && IsSoap(name, "Fault")) answer_.fault.emplace();
    if (depth_ != 4 || !inBody_) return;
    part_ = LocalName(name);
    text_.clear();
    if (!answer_.fault && part_ == "XMLDATA") {
      documentStart_ =
          static_cast<size_t>(XML_GetCurrentByteIndex(parser_) + XML_GetCurrentByteCount(parser_));
    }
  }

  void End(std::string_view envelope) {
    if (depth_ == 4 && inBody_) {
      if (answer_.fault) {
        if (part_ == "faultcode") answer_.fault->code = text_;
        if (part_ == "faultstring") answer_.fault->text = text_;
      } else if (part_ == "XMLDATA") {
        const auto end = static_cast<size_t>(XML_GetCurrentByteIndex(parser_));
        // An empty-element tag ends where it starts.
        answer_.document = end > documentStart_
                               ? std::string(envelope.substr(documentStart_, end - documentStart_))
                               : std::string();
      } else {
        answer_.results.emplace_back(part_, text_);
      }
    }
    if (depth_ == 2) inBody_ = false;
    --depth_;
  }

  void Text(std::string_view text) {
    if (depth_ >= 4) text_ += text;
  }

  std::optional<CallAnswer> Result() const {
    if (!envelope_) return std::nullopt;
    return answer_;
  }

 private:
  XML_Parser parser_;
  int depth_ = 0;
  bool envelope_ = false;
  bool inBody_ = false;
  std::string part_;
  std::string text_;
  size_t documentStart_ = 0;
  CallAnswer answer_;
};

struct ReadContext {
  AnswerReader reader;
  std::string_view envelope;
};

using Parser = std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)>;

}  // namespace

std::string RequestEnvelope(const CallRequest& request) {
  CheckName(request.object, "The object");
  CheckName(request.method, "The method");
  std::string children;
  for (const auto& [name, value] : request.parameters) {
    CheckName(name, "A parameter's name");
    children += Element(name, EscapeXmlText(value));
  }
  for (const auto& [cell, value] : request.cells) {
    const std::string name = "DELTACELL_" + cell;
    CheckName(name, "A cell");
    // The module reads the value by its place inside one CDATA section.
    if (value.find("]]>") != std::string::npos) {
      throw CommandFailure("A cell's value cannot contain ]]>");
    }
    children += Element(name, "<![CDATA[" + value + "]]>");
  }
  return "<soap:Envelope xmlns:soap=\"" + std::string(kEnvelopeNamespace) +
         "\"><soap:Body><m:" + request.method + " xmlns:m=\"" + ObjectNamespace(request.object) +
         "\">" + children + "</m:" + request.method + "></soap:Body></soap:Envelope>";
}

std::string SoapAction(std::string_view object, std::string_view method) {
  return "\"" + ObjectNamespace(object) + "#" + std::string(method) + "\"";
}

std::optional<CallAnswer> ReadCallAnswer(std::string_view envelope) {
  const Parser parser(XML_ParserCreateNS("UTF-8", kSeparator), &XML_ParserFree);
  ReadContext context{AnswerReader(parser.get()), envelope};
  XML_SetUserData(parser.get(), &context);
  XML_SetElementHandler(
      parser.get(),
      [](void* data, const XML_Char* name, const XML_Char**) {
        static_cast<ReadContext*>(data)->reader.Start(name);
      },
      [](void* data, const XML_Char*) {
        auto* context = static_cast<ReadContext*>(data);
        context->reader.End(context->envelope);
      });
  XML_SetCharacterDataHandler(parser.get(), [](void* data, const XML_Char* text, int length) {
    static_cast<ReadContext*>(data)->reader.Text(std::string_view(text, length));
  });
  if (XML_Parse(parser.get(), envelope.data(), static_cast<int>(envelope.size()), XML_TRUE) !=
      XML_STATUS_OK) {
    return std::nullopt;
  }
  return context.reader.Result();
}

}  // namespace quillmere::host
