#include "object_path.h"

#include "guarded_call.h"
#include "wmi/cim_types.h"

namespace winport::wmi {
namespace {

bool IsNameChar(OLECHAR c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'_';
}

class PathReader {
 public:
  explicit PathReader(WideView text) : text_(text) {}

  bool AtEnd() const { return pos_ == text_.size(); }
  bool Take(OLECHAR c) {
    if (AtEnd() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  bool Name(WideString* name) {
    const std::size_t start = pos_;
    while (!AtEnd() && IsNameChar(text_[pos_]))
      ++pos_;
    name->assign(text_.substr(start, pos_ - start));
    return !name->empty() && !(name->front() >= u'0' && name->front() <= u'9');
  }
  // A quoted string (\" and \\ escaped) or a bare number or word.
  bool KeyValue(WideString* value) {
    value->clear();
    if (!Take(u'"')) {
      const std::size_t start = pos_;
      while (!AtEnd() && (IsNameChar(text_[pos_]) || text_[pos_] == u'-' || text_[pos_] == u'+' ||
                          text_[pos_] == u'.'))
        ++pos_;
      value->assign(text_.substr(start, pos_ - start));
      return !value->empty();
    }
    while (!AtEnd()) {
      OLECHAR c = text_[pos_++];
      if (c == u'"') return true;
      if (c == u'\\') {
        if (AtEnd()) return false;
        c = text_[pos_++];
        if (c != u'"' && c != u'\\') return false;
      }
      value->push_back(c);
    }
    return false;
  }

 private:
  WideView text_;
  std::size_t pos_ = 0;
};

// The part after "\\server\namespace:", if the text has one outside any quotes. Inside
// quotes a backslash escapes the character after it, itself too ("a\\" ends with one).
WideView WithoutNamespace(WideView text) {
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (quoted && text[i] == u'\\') {
      ++i;
    } else if (text[i] == u'"') {
      quoted = !quoted;
    } else if (!quoted && text[i] == u':') {
      return text.substr(i + 1);
    }
  }
  return text;
}

}  // namespace

HRESULT ParseObjectPath(WideView text, ObjectPath* path) {
  *path = ObjectPath();
  PathReader reader(WithoutNamespace(text));
  if (!reader.Name(&path->class_name)) return WBEM_E_INVALID_OBJECT_PATH;
  if (reader.AtEnd()) return S_OK;
  path->is_instance = true;
  WideString name;
  WideString value;
  if (reader.Take(u'=')) {
    if (!reader.KeyValue(&value) || !reader.AtEnd()) return WBEM_E_INVALID_OBJECT_PATH;
    path->keys.emplace_back(WideString(), value);
    return S_OK;
  }
  if (!reader.Take(u'.')) return WBEM_E_INVALID_OBJECT_PATH;
  do {
    if (!reader.Name(&name) || !reader.Take(u'=') || !reader.KeyValue(&value))
      return WBEM_E_INVALID_OBJECT_PATH;
    path->keys.emplace_back(name, value);
  } while (reader.Take(u','));
  if (!reader.AtEnd()) return WBEM_E_INVALID_OBJECT_PATH;
  return S_OK;
}

HRESULT FormatKeyValue(const Value& value, WideString* text) {
  text->clear();
  if (value.Type() == VT_BSTR) {
    text->push_back(u'"');
    for (OLECHAR c : value.TextView()) {
      if (c == u'"' || c == u'\\') text->push_back(u'\\');
      text->push_back(c);
    }
    text->push_back(u'"');
    return S_OK;
  }
  if (value.Type() == VT_BOOL) {
    *text = value.Get().boolVal ? OLESTR("TRUE") : OLESTR("FALSE");
    return S_OK;
  }
  Value converted;
  if (FAILED(CoerceToCimType(value, CIM_STRING, &converted))) return WBEM_E_INVALID_OBJECT_PATH;
  *text = converted.TextView();
  return S_OK;
}

HRESULT InstanceKeyText(const ClassDefinition& definition, const std::vector<Value>& values,
                        WideString* text) {
  text->clear();
  const std::vector<std::size_t> keys = definition.KeyIndexes();
  if (keys.empty()) return WBEM_E_INVALID_OBJECT;
  for (std::size_t index : keys) {
    if (values[index].IsNull()) return WBEM_E_ILLEGAL_NULL;
    WideString formatted;
    const HRESULT hr = FormatKeyValue(values[index], &formatted);
    if (FAILED(hr)) return hr;
    if (!text->empty()) text->push_back(u',');
    *text += definition.properties[index].name + OLESTR("=") + formatted;
  }
  return S_OK;
}

HRESULT PathKeyText(const ClassDefinition& definition, const ObjectPath& path, WideString* text) {
  const std::vector<std::size_t> keys = definition.KeyIndexes();
  if (keys.size() != path.keys.size()) return WBEM_E_INVALID_OBJECT_PATH;
  std::vector<Value> values(definition.properties.size());
  for (const auto& [name, written] : path.keys) {
    std::optional<std::size_t> index;
    if (name.empty()) {
      index = keys.front();
    } else {
      index = definition.Find(name);
      if (!index || !IsKeyQualifierSet(definition.properties[*index].qualifiers))
        return WBEM_E_INVALID_OBJECT_PATH;
    }
    const CIMTYPE type = definition.properties[*index].type;
    if (FAILED(CoerceToCimType(Value::Text(written), type, &values[*index])))
      return WBEM_E_INVALID_OBJECT_PATH;
  }
  const HRESULT hr = InstanceKeyText(definition, values, text);
  if (IsStatus(hr, WBEM_E_ILLEGAL_NULL)) return WBEM_E_INVALID_OBJECT_PATH;
  return hr;
}

}  // namespace winport::wmi
