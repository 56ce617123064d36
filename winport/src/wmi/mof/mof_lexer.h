// Splits MOF text into tokens, skipping white space and // and /* */ comments.
#pragma once

#include <cstdint>
#include <string>

#include "mof_syntax.h"

namespace winport::wmi {

enum class MofTokenKind {
  kEnd,
  kIdentifier,
  kAlias,  // $name; text holds the name
  kString,
  kChar,
  kInteger,
  kReal,
  kPunctuation,  // one of { } [ ] ( ) ; , : = # + -
  kError,        // text unreadable here; message says why
};

struct MofToken {
  MofTokenKind kind = MofTokenKind::kEnd;
  MofPosition where;
  WideString text;  // identifier, alias, string or char text; the punctuation mark
  std::uint64_t magnitude = 0;
  double real = 0;
  std::string message;
};

class MofLexer {
 public:
  explicit MofLexer(WideView text) : text_(text) {}

  MofToken Next();

 private:
  bool AtEnd() const { return offset_ >= text_.size(); }
  char16_t Peek(std::size_t ahead = 0) const {
    return offset_ + ahead < text_.size() ? static_cast<char16_t>(text_[offset_ + ahead]) : 0;
  }
  char16_t Advance();
  // Skips white space and comments; false (with `error` filled) on an unclosed comment.
  bool SkipBlanks(MofToken* error);
  MofToken ReadIdentifier(MofToken token);
  MofToken ReadNumber(MofToken token);
  MofToken ReadQuoted(MofToken token, char16_t quote);
  bool ReadEscape(char16_t* out);
  static MofToken Fail(MofToken token, const char* message);

  WideView text_;
  std::size_t offset_ = 0;
  MofPosition position_{1, 1};
};

bool IsMofIdentifierStart(char16_t c);

}  // namespace winport::wmi
