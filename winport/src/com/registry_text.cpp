#include "registry_text.h"

#include <vector>

namespace winport::detail {
namespace {

WideString Terminated(WideView text) {
  return WideString(text);
}

}  // namespace

std::optional<WideString> ReadRegistryText(HKEY root, WideView path, WideView name) {
  ScopedHkey key;
  const WideString key_path = Terminated(path);
  if (RegOpenKeyExW(root, key_path.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  const WideString value_name = Terminated(name);
  DWORD type = 0;
  DWORD bytes = 0;
  if (RegQueryValueExW(key.Get(), value_name.c_str(), nullptr, &type, nullptr, &bytes) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::nullopt;
  }
  std::vector<OLECHAR> buffer(bytes / sizeof(OLECHAR) + 1, OLECHAR{});
  bytes = static_cast<DWORD>(buffer.size() * sizeof(OLECHAR));
  if (RegQueryValueExW(key.Get(), value_name.c_str(), nullptr, &type,
                       reinterpret_cast<LPBYTE>(buffer.data()), &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  // The stored size counts the terminator when the writer included one.
  WideString text(buffer.data(), bytes / sizeof(OLECHAR));
  while (!text.empty() && text.back() == 0)
    text.pop_back();
  return text;
}

LSTATUS WriteRegistryText(HKEY root, WideView path, WideView name, WideView value) {
  ScopedHkey key;
  const WideString key_path = Terminated(path);
  const LSTATUS created = RegCreateKeyExW(root, key_path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                          key.Receive(), nullptr);
  if (created != ERROR_SUCCESS) return created;
  const WideString value_name = Terminated(name);
  const WideString data = Terminated(value);
  return RegSetValueExW(key.Get(), value_name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>((data.size() + 1) * sizeof(OLECHAR)));
}

WideString GuidText(REFGUID guid) {
  OLECHAR text[39];
  StringFromGUID2(guid, text, 39);
  return WideString(text, 38);
}

}  // namespace winport::detail
