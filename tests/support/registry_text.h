// Reading and writing registry strings in tests and in the test libraries.
#pragma once

#include <optional>

#include <winport/windows.h>

namespace testing_support {

// The string value `name` (null = default) of root\path, or nothing when the key or
// the value is missing.
inline std::optional<winport::WideString> ReadRegistryString(HKEY root, const OLECHAR* path,
                                                             const OLECHAR* name = nullptr) {
  winport::ScopedHkey key;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return std::nullopt;
  OLECHAR buffer[1024];
  DWORD size = sizeof buffer;
  DWORD type = 0;
  if (RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::nullopt;
  }
  winport::WideString text(buffer, size / sizeof(OLECHAR));
  while (!text.empty() && text.back() == 0)
    text.pop_back();
  return text;
}

inline bool KeyExists(HKEY root, const OLECHAR* path) {
  winport::ScopedHkey key;
  return RegOpenKeyExW(root, path, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

inline void WriteRegistryString(HKEY root, const OLECHAR* path, const OLECHAR* name,
                                winport::WideView value) {
  winport::ScopedHkey key;
  if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  const winport::WideString text(value);
  RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(OLECHAR)));
}

}  // namespace testing_support
