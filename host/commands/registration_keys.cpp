#include "host/commands/registration_keys.h"

#include <algorithm>
#include <cstring>

#include <winport/machine.h>
#include <winport/scoped_hkey.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "host/server/module_loader.h"

namespace quillmere::host {
namespace {

winport::ScopedHkey OpenKey(const std::string& path) {
  winport::ScopedHkey key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, winport::Utf8ToWide(path).c_str(), 0, KEY_READ,
                    key.Receive()) != ERROR_SUCCESS) {
    key.Reset();
  }
  return key;
}

std::string DataText(DWORD type, const std::vector<BYTE>& data, DWORD size) {
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    winport::WideView text(reinterpret_cast<const OLECHAR*>(data.data()), size / sizeof(OLECHAR));
    while (!text.empty() && text.back() == 0)
      text.remove_suffix(1);
    return winport::WideToUtf8(text);
  }
  if (type == REG_DWORD && size == sizeof(DWORD)) {
    DWORD value = 0;
    std::memcpy(&value, data.data(), sizeof value);
    return std::to_string(value);
  }
  return "(" + std::to_string(size) + " bytes of type " + std::to_string(type) + ")";
}

// path is below HKCR; the rows show it from the root.
void AddKey(HKEY key, const std::string& path, Table& table) {
  const std::string shown = "HKCR\\" + path;
  bool anyValue = false;
  for (DWORD index = 0;; ++index) {
    OLECHAR name[256];
    DWORD nameLength = 256;
    DWORD type = 0;
    std::vector<BYTE> data(4096);
    DWORD size = static_cast<DWORD>(data.size());
    if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &size) !=
        ERROR_SUCCESS) {
      break;
    }
    const std::string valueName = winport::WideToUtf8(winport::WideView(name, nameLength));
    table.rows.push_back(
        {shown, valueName.empty() ? "(default)" : valueName, DataText(type, data, size)});
    anyValue = true;
  }
  if (!anyValue) table.rows.push_back({shown, "", ""});
  for (DWORD index = 0;; ++index) {
    OLECHAR name[256];
    DWORD nameLength = 256;
    if (RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    const std::string child = winport::WideToUtf8(winport::WideView(name, nameLength));
    const winport::ScopedHkey sub = OpenKey(path + "\\" + child);
    if (sub.IsValid()) AddKey(sub.Get(), path + "\\" + child, table);
  }
}

// The unnamed value of a key, when it is text.
std::optional<std::string> DefaultText(const std::string& path) {
  const winport::ScopedHkey key = OpenKey(path);
  if (!key.IsValid()) return std::nullopt;
  std::vector<BYTE> data(2048);
  DWORD size = static_cast<DWORD>(data.size());
  DWORD type = 0;
  if (RegQueryValueExW(key.Get(), nullptr, nullptr, &type, data.data(), &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::nullopt;
  }
  return DataText(type, data, size);
}

void AddIfPresent(const std::string& path, std::vector<std::string>& keys) {
  if (KeyExists(path) && std::find(keys.begin(), keys.end(), path) == keys.end())
    keys.push_back(path);
}

}  // namespace

bool KeyExists(const std::string& path) {
  return OpenKey(path).IsValid();
}

std::vector<std::string> RegisteredKeys() {
  std::vector<std::string> keys;
  for (const std::string progId : kModuleProgIds) {
    AddIfPresent(progId, keys);
    if (const auto version = DefaultText(progId + "\\CurVer")) AddIfPresent(*version, keys);
    const auto clsid = DefaultText(progId + "\\CLSID");
    if (!clsid) continue;
    AddIfPresent("CLSID\\" + *clsid, keys);
    if (const auto library = DefaultText("CLSID\\" + *clsid + "\\TypeLib"))
      AddIfPresent("TypeLib\\" + *library, keys);
  }
  return keys;
}

Table KeyContents(const std::vector<std::string>& paths) {
  Table table{{"KEY", "VALUE", "DATA"}, {}};
  for (const std::string& path : paths) {
    const winport::ScopedHkey key = OpenKey(path);
    if (key.IsValid()) AddKey(key.Get(), path, table);
  }
  return table;
}

std::optional<std::filesystem::path> RegisteredLibrary() {
  const auto clsid = DefaultText(std::string(kModuleProgIds[0]) + "\\CLSID");
  if (!clsid) return std::nullopt;
  const auto library = DefaultText("CLSID\\" + *clsid + "\\InprocServer32");
  if (!library) return std::nullopt;
  // Written as Windows text; the machine maps it back to a file.
  return winport::machine::MapPath(winport::Utf8ToWide(*library));
}

}  // namespace quillmere::host
