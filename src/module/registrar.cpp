#include "module/registrar.h"

#include <optional>
#include <utility>
#include <vector>

namespace quillmere {

using winport::WideString;
using winport::WideView;

namespace {

struct ScriptKey {
  WideString name;
  bool noRemove = false;
  bool forceRemove = false;
  std::optional<WideString> value;
  std::vector<std::pair<WideString, WideString>> namedValues;
  std::vector<ScriptKey> subkeys;
};

struct ScriptHive {
  HKEY root;
  std::vector<ScriptKey> keys;
};

// The script with its %NAME% replaced; nothing when a name is unknown or unclosed.
std::optional<WideString> Replace(WideView script, const RegistryReplacements& replacements) {
  WideString out;
  for (std::size_t at = 0; at < script.size(); ++at) {
    if (script[at] != OLESTR('%')) {
      out += script[at];
      continue;
    }
    const std::size_t end = script.find(OLESTR('%'), at + 1);
    if (end == WideView::npos) return std::nullopt;
    const WideString name(script.substr(at + 1, end - at - 1));
    if (name.empty()) {
      out += OLESTR('%');
    } else {
      auto found = replacements.find(name);
      if (found == replacements.end()) return std::nullopt;
      out += found->second;
    }
    at = end;
  }
  return out;
}

class ScriptReader {
 public:
  explicit ScriptReader(WideView text) : text_(text) {}

  std::optional<std::vector<ScriptHive>> ReadHives() {
    std::vector<ScriptHive> hives;
    while (auto word = Next()) {
      ScriptHive hive{HiveNamed(*word), {}};
      if (hive.root == nullptr || Next() != OLESTR("{") || !ReadKeys(&hive.keys)) {
        return std::nullopt;
      }
      hives.push_back(std::move(hive));
    }
    if (!ok_) return std::nullopt;
    return hives;
  }

 private:
  static HKEY HiveNamed(WideView name) {
    if (name == OLESTR("HKCR")) return HKEY_CLASSES_ROOT;
    if (name == OLESTR("HKCU")) return HKEY_CURRENT_USER;
    if (name == OLESTR("HKLM")) return HKEY_LOCAL_MACHINE;
    return nullptr;
  }

  static bool IsSpace(OLECHAR c) {
    return c == OLESTR(' ') || c == OLESTR('\t') || c == OLESTR('\r') || c == OLESTR('\n');
  }

  // A brace alone is one; "{guid}" is a word.
  bool AtBrace() const {
    const OLECHAR c = text_[at_];
    return (c == OLESTR('{') || c == OLESTR('}')) &&
           (at_ + 1 == text_.size() || IsSpace(text_[at_ + 1]));
  }

  // The next word, brace, "=" or quoted text (marked by quoted_); nothing at the end.
  std::optional<WideString> Next() {
    quoted_ = false;
    if (pending_) return std::exchange(pending_, std::nullopt);
    while (at_ < text_.size() && IsSpace(text_[at_]))
      ++at_;
    if (at_ == text_.size()) return std::nullopt;
    if (AtBrace() || text_[at_] == OLESTR('=')) return WideString(1, text_[at_++]);
    if (text_[at_] == OLESTR('\'')) return Quoted();
    const std::size_t start = at_;
    while (at_ < text_.size() && !IsSpace(text_[at_]) && text_[at_] != OLESTR('=') &&
           text_[at_] != OLESTR('\'')) {
      ++at_;
    }
    return WideString(text_.substr(start, at_ - start));
  }

  std::optional<WideString> Quoted() {
    WideString text;
    for (++at_; at_ < text_.size(); ++at_) {
      if (text_[at_] != OLESTR('\'')) {
        text += text_[at_];
      } else if (at_ + 1 < text_.size() && text_[at_ + 1] == OLESTR('\'')) {
        text += text_[++at_];
      } else {
        ++at_;
        quoted_ = true;
        return text;
      }
    }
    ok_ = false;
    return std::nullopt;
  }

  // "= s 'text'": the text.
  std::optional<WideString> StringValue() {
    if (Next() != OLESTR("s")) return std::nullopt;
    std::optional<WideString> text = Next();
    if (!quoted_) return std::nullopt;
    return text;
  }

  // Keys up to the closing brace.
  bool ReadKeys(std::vector<ScriptKey>* keys, ScriptKey* parent = nullptr) {
    std::optional<WideString> word = Next();
    for (; word && *word != OLESTR("}"); word = Next()) {
      if (quoted_ || *word == OLESTR("{") || *word == OLESTR("=")) return false;
      if (*word == OLESTR("val") && parent != nullptr) {
        std::optional<WideString> name = Next();
        std::optional<WideString> value;
        if (!name || Next() != OLESTR("=") || !(value = StringValue())) return false;
        parent->namedValues.emplace_back(std::move(*name), std::move(*value));
        continue;
      }
      ScriptKey key;
      key.noRemove = *word == OLESTR("NoRemove");
      key.forceRemove = *word == OLESTR("ForceRemove");
      if (key.noRemove || key.forceRemove) word = Next();
      if (!word || quoted_) return false;
      key.name = std::move(*word);
      word = Next();
      if (word == OLESTR("=")) {
        if (!(key.value = StringValue())) return false;
        word = Next();
      }
      if (word == OLESTR("{")) {
        if (!ReadKeys(&key.subkeys, &key)) return false;
      } else {
        // Not this key's: read it again as the next entry.
        if (quoted_) return false;
        Unread(word);
      }
      keys->push_back(std::move(key));
    }
    return word.has_value();
  }

  void Unread(const std::optional<WideString>& word) {
    if (word) pending_ = *word;
  }

  WideView text_;
  std::size_t at_ = 0;
  bool quoted_ = false;
  bool ok_ = true;
  std::optional<WideString> pending_;
};

HRESULT FromStatus(LSTATUS status) {
  return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status);
}

LSTATUS SetText(HKEY key, const OLECHAR* name, const WideString& text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(OLECHAR)));
}

// Removes parent\name with everything below it; a missing key is no failure.
HRESULT RemoveTree(HKEY parent, const WideString& name) {
  const LSTATUS status = RegDeleteTreeW(parent, name.c_str());
  return status == ERROR_FILE_NOT_FOUND ? S_OK : FromStatus(status);
}

HRESULT RegisterKeys(HKEY parent, const std::vector<ScriptKey>& keys) {
  for (const ScriptKey& key : keys) {
    if (key.forceRemove) {
      if (HRESULT hr = RemoveTree(parent, key.name); FAILED(hr)) return hr;
    }
    winport::ScopedHkey opened;
    HRESULT hr = FromStatus(RegCreateKeyExW(parent, key.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                            nullptr, opened.Receive(), nullptr));
    if (SUCCEEDED(hr) && key.value) hr = FromStatus(SetText(opened.Get(), nullptr, *key.value));
    for (const auto& [name, value] : key.namedValues) {
      if (SUCCEEDED(hr)) hr = FromStatus(SetText(opened.Get(), name.c_str(), value));
    }
    if (SUCCEEDED(hr)) hr = RegisterKeys(opened.Get(), key.subkeys);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT UnregisterKeys(HKEY parent, const std::vector<ScriptKey>& keys) {
  for (const ScriptKey& key : keys) {
    if (!key.noRemove) {
      if (HRESULT hr = RemoveTree(parent, key.name); FAILED(hr)) return hr;
      continue;
    }
    winport::ScopedHkey opened;
    if (RegOpenKeyExW(parent, key.name.c_str(), 0, KEY_ALL_ACCESS, opened.Receive()) !=
        ERROR_SUCCESS) {
      continue;
    }
    for (const auto& named : key.namedValues)
      RegDeleteValueW(opened.Get(), named.first.c_str());
    if (HRESULT hr = UnregisterKeys(opened.Get(), key.subkeys); FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace

HRESULT ApplyRegistryScript(WideView script, const RegistryReplacements& replacements,
                            RegistrarMode mode) {
  const std::optional<WideString> text = Replace(script, replacements);
  if (!text) return DISP_E_EXCEPTION;
  const std::optional<std::vector<ScriptHive>> hives = ScriptReader(*text).ReadHives();
  if (!hives) return DISP_E_EXCEPTION;
  for (const ScriptHive& hive : *hives) {
    const HRESULT hr = mode == RegistrarMode::kRegister ? RegisterKeys(hive.root, hive.keys)
                                                        : UnregisterKeys(hive.root, hive.keys);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

WideString DoubleApostrophes(WideView text) {
  WideString doubled;
  for (OLECHAR c : text) {
    doubled += c;
    if (c == OLESTR('\'')) doubled += c;
  }
  return doubled;
}

}  // namespace quillmere
