#include "expat_parser.h"

#include <random>

namespace quillmere::host {
namespace {

constexpr unsigned kDocumentsPerParser = 4096;
constexpr size_t kLargeDocument = 64 * 1024;

struct ThreadParser {
  ExpatParser parser;
  unsigned long salt = 0;
  unsigned documents = 0;
  bool lent = false;
};

ThreadParser& Mine() {
  thread_local ThreadParser mine;
  return mine;
}

}  // namespace

ExpatLease::ExpatLease(size_t documentBytes) : large_(documentBytes > kLargeDocument) {
  ThreadParser& mine = Mine();
  if (mine.lent) {  // a document read while another one is: a parser of its own
    owned_ = NewExpatParser();
    parser_ = owned_.get();
    return;
  }
  if (!mine.parser || ++mine.documents >= kDocumentsPerParser ||
      XML_ParserReset(mine.parser.get(), "UTF-8") != XML_TRUE) {
    mine.parser = NewExpatParser();
    if (!mine.parser) return;
    std::random_device random;
    mine.salt = (static_cast<unsigned long>(random()) << 32) ^ random();
    mine.documents = 0;
  } else {
    XML_SetParamEntityParsing(mine.parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
  }
  // Set, so that each parse does not draw one of its own.
  XML_SetHashSalt(mine.parser.get(), mine.salt);
  parser_ = mine.parser.get();
  mine.lent = true;
}

ExpatLease::~ExpatLease() {
  if (parser_ == nullptr || owned_) return;
  ThreadParser& mine = Mine();
  mine.lent = false;
  if (large_) mine.parser.reset();
}

}  // namespace quillmere::host
