// The one way the host makes an expat parser: UTF-8 (byte offsets into the input are
// offsets into the text), namespace mode with names as "namespace local", and no
// parameter entities read. Freed with its owner.
#pragma once

#include <expat.h>

#include <memory>
#include <type_traits>

namespace quillmere::host {

constexpr char kExpatNameSeparator = ' ';

struct ExpatParserDeleter {
  void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};
using ExpatParser = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ExpatParserDeleter>;

// Null when out of memory.
inline ExpatParser NewExpatParser() {
  ExpatParser parser(XML_ParserCreateNS("UTF-8", kExpatNameSeparator));
  if (parser) XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
  return parser;
}

}  // namespace quillmere::host
