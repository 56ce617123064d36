#include "wql_query.h"

#include "class_definition.h"

namespace winport::wmi {
namespace {

bool IsSpace(OLECHAR c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}
bool IsWordChar(OLECHAR c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'_' || c == u'-' || c == u'+' || c == u'.';
}

// Splits the query into words, the symbols "*" and "=", and quoted strings (kept with
// their opening quote so that they never read as keywords).
bool Tokenize(WideView text, std::vector<WideString>* tokens) {
  std::size_t i = 0;
  while (i < text.size()) {
    const OLECHAR c = text[i];
    if (IsSpace(c)) {
      ++i;
    } else if (c == u'*' || c == u'=') {
      tokens->emplace_back(1, c);
      ++i;
    } else if (c == u'\'' || c == u'"') {
      const std::size_t close = text.find(c, i + 1);
      if (close == WideView::npos) return false;
      tokens->emplace_back(text.substr(i, close - i));
      i = close + 1;
    } else if (IsWordChar(c)) {
      const std::size_t start = i;
      while (i < text.size() && IsWordChar(text[i]))
        ++i;
      tokens->emplace_back(text.substr(start, i - start));
    } else {
      return false;
    }
  }
  return true;
}

bool IsQuoted(const WideString& token) {
  return !token.empty() && (token.front() == u'\'' || token.front() == u'"');
}

}  // namespace

HRESULT ParseWqlQuery(WideView text, WqlQuery* query) {
  std::vector<WideString> tokens;
  if (!Tokenize(text, &tokens)) return WBEM_E_INVALID_QUERY;
  const bool select_all = tokens.size() >= 4 && NamesEqual(tokens[0], OLESTR("SELECT")) &&
                          tokens[1] == OLESTR("*") && NamesEqual(tokens[2], OLESTR("FROM")) &&
                          !IsQuoted(tokens[3]);
  if (!select_all) return WBEM_E_INVALID_QUERY;
  query->class_name = tokens[3];
  query->where.reset();
  if (tokens.size() == 4) return S_OK;
  const bool condition = tokens.size() == 8 && NamesEqual(tokens[4], OLESTR("WHERE")) &&
                         !IsQuoted(tokens[5]) && tokens[6] == OLESTR("=");
  if (!condition) return WBEM_E_INVALID_QUERY;
  const WideString& value = tokens[7];
  query->where = WqlQuery::Condition{tokens[5], IsQuoted(value) ? value.substr(1) : value};
  return S_OK;
}

}  // namespace winport::wmi
