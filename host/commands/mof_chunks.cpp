#include "host/commands/mof_chunks.h"

#include <algorithm>
#include <cctype>

#include "host/common/ascii_case.h"

namespace quillmere::host {
namespace {

enum class Kind { kNone, kPragma, kClass, kInstance, kUndecided };

// Walks the text as the MOF lexer does (comments, quoted strings and characters with
// escapes) and tracks nesting, so that the end of each statement is known.
class Splitter {
 public:
  Splitter(std::string_view text, size_t perChunk) : text_(text), perChunk_(perChunk) {}

  std::vector<MofChunk> Split() {
    for (size_t i = 0; i < text_.size(); ++i) {
      const char c = text_[i];
      if (c == '\n') {
        ++line_;
        if (kind_ == Kind::kNone && depth_ == 0 &&
            current_.classes + current_.instances >= perChunk_)
          Cut(i + 1);
      } else if (c == '/' && At(i + 1) == '/') {
        i = std::min(text_.find('\n', i), text_.size()) - 1;
      } else if (c == '/' && At(i + 1) == '*') {
        const size_t close = text_.find("*/", i + 2);
        const size_t end = close == std::string_view::npos ? text_.size() : close + 2;
        line_ += static_cast<size_t>(std::count(text_.begin() + i, text_.begin() + end, '\n'));
        i = end - 1;
      } else if (c == '"' || c == '\'') {
        i = SkipQuoted(i, c);
      } else if (!std::isspace(static_cast<unsigned char>(c))) {
        Significant(i, c);
      }
    }
    Cut(text_.size());
    return std::move(chunks_);
  }

 private:
  char At(size_t i) const { return i < text_.size() ? text_[i] : '\0'; }

  size_t SkipQuoted(size_t open, char quote) {
    Begin(open, Kind::kUndecided);
    size_t i = open + 1;
    while (i < text_.size() && text_[i] != quote) {
      if (text_[i] == '\\') ++i;
      if (At(i) == '\n') ++line_;
      ++i;
    }
    return std::min(i, text_.size());
  }

  void Begin(size_t at, Kind kind) {
    if (kind_ != Kind::kNone) return;
    kind_ = kind;
    start_ = at;
  }

  void Significant(size_t i, char c) {
    if (c == '#') Begin(i, Kind::kPragma);
    Begin(i, Kind::kUndecided);
    if (kind_ == Kind::kUndecided && depth_ == 0 && std::isalpha(static_cast<unsigned char>(c))) {
      const size_t end = text_.find_first_not_of(
          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_", i);
      const std::string word = AsciiLower(std::string(text_.substr(i, end - i)));
      if (word == "instance") kind_ = Kind::kInstance;
      if (word == "class") kind_ = Kind::kClass;
    }
    if (c == '{' || c == '[' || c == '(') ++depth_;
    if (c == '}' || c == ']' || c == ')') --depth_;
    if (depth_ != 0) return;
    if (c == ';' || (c == ')' && kind_ == Kind::kPragma)) End(i + 1);
  }

  void End(size_t end) {
    if (kind_ == Kind::kPragma) {
      pragmas_ += text_.substr(start_, end - start_);
      pragmas_ += ' ';
    }
    if (kind_ == Kind::kClass) ++current_.classes;
    if (kind_ == Kind::kInstance) ++current_.instances;
    kind_ = Kind::kNone;
  }

  // Closes the chunk of the lines before `end`; the next one starts on line `line_`.
  void Cut(size_t end) {
    if (end > begin_) {
      current_.text += text_.substr(begin_, end - begin_);
      chunks_.push_back(std::move(current_));
    }
    begin_ = end;
    const size_t lines = static_cast<size_t>(std::count(pragmas_.begin(), pragmas_.end(), '\n'));
    current_ = MofChunk{pragmas_ + std::string(line_ - 1 - lines, '\n'), 0, 0};
  }

  std::string_view text_;
  size_t perChunk_;
  std::vector<MofChunk> chunks_;
  MofChunk current_;
  std::string pragmas_;
  size_t begin_ = 0;
  size_t start_ = 0;
  size_t line_ = 1;
  int depth_ = 0;
  Kind kind_ = Kind::kNone;
};

}  // namespace

std::vector<MofChunk> SplitMof(std::string_view text, size_t objectsPerChunk) {
  return Splitter(text, std::max<size_t>(objectsPerChunk, 1)).Split();
}

}  // namespace quillmere::host
