#include "documents/edited_cell.h"

#include <stdexcept>

namespace quillmere {
namespace {

constexpr winport::WideView kPrefix = OLESTR("DELTACELL_");
// "]]></" between the value and the closing tag's name.
constexpr size_t kValueTail = 5;
// The value follows the start tag's ">" and the CDATA opening: "><![CDATA[".
constexpr winport::WideView kValueMark = OLESTR("><!");
constexpr size_t kValueOffset = 10;

}  // namespace

std::optional<EditedCell> FindEditedCell(winport::WideView children) {
  const size_t start = children.find(kPrefix);
  if (start == winport::WideView::npos) return std::nullopt;
  const size_t begin = start + kPrefix.size();
  // The next "DELTACELL_" is normally the element's closing tag.
  const size_t closing = children.find(kPrefix, begin);
  const size_t length = closing == winport::WideView::npos || closing < begin + kValueTail
                            ? winport::WideView::npos
                            : closing - begin - kValueTail;
  const winport::WideView text = children.substr(begin, length);

  const size_t underscore = text.find(OLECHAR('_'));
  const size_t columnBegin = underscore == winport::WideView::npos ? 0 : underscore + 1;
  const size_t opening = text.find(kValueMark, columnBegin);
  if (opening == winport::WideView::npos || opening + kValueOffset > text.size())
    throw std::out_of_range("invalid string position");

  EditedCell cell;
  cell.row = text.substr(0, underscore);
  cell.column = text.substr(columnBegin, opening - columnBegin);
  cell.value = text.substr(opening + kValueOffset);
  return cell;
}

}  // namespace quillmere
