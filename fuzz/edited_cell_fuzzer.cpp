// The edited cell a client posts back (FindEditedCell), as Administrator's
// SetUserPermissions and WbemProvider's PutMetadata read it from the method's children.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "documents/edited_cell.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const winport::WideString children = quillmere::fuzz::WideText(data, size);
  try {
    // Each part is a piece of the text (the row is all of it when there is no underscore,
    // so the parts may overlap).
    if (const auto cell = quillmere::FindEditedCell(children)) {
      for (const winport::WideString* part : {&cell->row, &cell->column, &cell->value}) {
        if (children.find(*part) == winport::WideString::npos)
          quillmere::fuzz::Broken("a part of the cell is not in the text it came from");
      }
    }
  } catch (const std::out_of_range&) {
    // A text too short for the offsets: the methods' entry discipline answers it as a fault.
  }
  return 0;
}
