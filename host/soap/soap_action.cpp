// The SOAPAction header names the object and method a request is for.
#include <algorithm>

#include "host/soap/envelope.h"
#include "host/soap/soap_namespaces.h"

namespace quillmere::host {
namespace {

bool IsNameCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '.';
}

bool IsName(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), IsNameCharacter);
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<std::pair<std::string, std::string>> ParseSoapAction(std::string_view header) {
  std::string_view action = Trimmed(header);
  if (action.size() >= 2 && action.front() == '"' && action.back() == '"') {
    action = action.substr(1, action.size() - 2);
  }
  if (!action.starts_with(kObjectNamespacePrefix)) return std::nullopt;
  action.remove_prefix(kObjectNamespacePrefix.size());
  const size_t hash = action.find('#');
  if (hash == std::string_view::npos) return std::nullopt;
  const std::string_view object = action.substr(0, hash);
  const std::string_view method = action.substr(hash + 1);
  if (!IsName(object) || !IsName(method)) return std::nullopt;
  return std::pair{std::string(object), std::string(method)};
}

}  // namespace quillmere::host
