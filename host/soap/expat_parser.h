// The one way the host makes an expat parser: UTF-8 (byte offsets into the input are
// offsets into the text), namespace mode with names as "namespace local", and no
// parameter entities read. Freed with its owner, or lent to one document at a time.
#pragma once

#include <expat.h>

#include <cstddef>
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

// The calling thread's parser for one document, reset from the one before it: making a
// parser costs allocations and random bytes for its hash salt. The thread's parser is made
// anew every so many documents (with a new salt), and freed after a large document so that
// an idle thread holds no large buffers. Null when out of memory.
class ExpatLease {
 public:
  explicit ExpatLease(size_t documentBytes);
  ~ExpatLease();
  ExpatLease(const ExpatLease&) = delete;
  ExpatLease& operator=(const ExpatLease&) = delete;

  XML_Parser get() const { return parser_; }
  explicit operator bool() const { return parser_ != nullptr; }

 private:
  XML_Parser parser_ = nullptr;
  ExpatParser owned_;  // when the thread's parser is lent already
  bool large_;
};

}  // namespace quillmere::host
