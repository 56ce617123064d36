// A method's document proved well-formed in one pass without a parser, for the plain shape
// the module's element builder writes: ASCII names without prefixes, attributes, text, the
// predefined entities and character references. Whatever else a document holds (prefixes,
// namespace declarations, comments, CDATA, processing instructions, names beyond ASCII) or
// anything doubtful leaves the verdict to expat, which also words the reason.
#pragma once

#include <cstddef>
#include <string_view>

namespace quillmere::host {

// The document as the content of an element at depth 1 (the depth and element counts
// include that element, as a parser's handlers would count them).
struct DocumentBounds {
  int maxDepth;
  size_t maxElements;
};

// True only when the document is well-formed XML content within the bounds; false when it
// is not, or when this scan does not decide.
bool ProvedWellFormed(std::string_view document, DocumentBounds bounds);

}  // namespace quillmere::host
