// The envelopes of `quillmere call`: the request it sends, in the form the host reads, and
// what it takes from the answer.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillmere::host {

using NamedTexts = std::vector<std::pair<std::string, std::string>>;

struct CallRequest {
  std::string object;
  std::string method;
  NamedTexts parameters;  // element name -> text, in order
  NamedTexts cells;       // "ROW_COL" -> value: one edited sheet cell each
};

// Throws CommandFailure for a name XML cannot carry or a cell value the module cannot read.
std::string RequestEnvelope(const CallRequest& request);
std::string SoapAction(std::string_view object, std::string_view method);

struct SoapFaultText {
  std::string code;  // as sent: "soap:Client"
  std::string text;
};

struct CallAnswer {
  std::optional<SoapFaultText> fault;
  NamedTexts results;                   // the response's text parameters, in order
  std::optional<std::string> document;  // XMLDATA's content, exactly as sent
};

// Nothing when the text is no SOAP envelope.
std::optional<CallAnswer> ReadCallAnswer(std::string_view envelope);

}  // namespace quillmere::host
