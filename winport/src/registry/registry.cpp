// The registry functions over the machine's hive (registry_hive.cpp). A handle names its
// key by root and path, so it sees what other handles and processes do to that key; once
// the key is gone, the handle's operations fail with ERROR_KEY_DELETED.
#include <winport/registry.h>

#include <cstring>
#include <mutex>
#include <unordered_map>

#include "common/injected_fault.h"
#include "registry_hive.h"

namespace {

using winport::WideString;
using winport::WideView;
using winport::registry::ChangeHive;
using winport::registry::FileTimeNow;
using winport::registry::Hive;
using winport::registry::Key;
using winport::registry::ReadHive;
using winport::registry::Root;
using winport::registry::Value;

// Windows limits a key name to 255 characters.
constexpr std::size_t kMaxKeyNameLength = 255;

struct KeyPath {
  Root root = Root::kLocalMachine;
  std::vector<WideString> path;
  REGSAM access = KEY_ALL_ACCESS;  // what the handle was granted
};

// The key rights a requested mask grants: generic rights map onto them as Windows maps
// them for keys; the WOW64 view flags grant nothing.
REGSAM GrantedAccess(REGSAM desired) {
  constexpr REGSAM kGenericRead = 0x80000000, kGenericWrite = 0x40000000,
                   kGenericExecute = 0x20000000, kGenericAll = 0x10000000,
                   kMaximumAllowed = 0x02000000;
  REGSAM granted = desired & (KEY_ALL_ACCESS | KEY_NOTIFY);
  if (desired & (kGenericRead | kGenericExecute)) granted |= KEY_READ;
  if (desired & kGenericWrite) granted |= KEY_WRITE;
  if (desired & (kGenericAll | kMaximumAllowed)) granted |= KEY_ALL_ACCESS;
  return granted;
}

// Value and enumeration calls need the right on the handle, as on Windows; creating,
// opening and deleting keys do not.
LSTATUS Require(const KeyPath& key, REGSAM right) {
  return (key.access & right) == right ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

class HandleTable {
 public:
  // Handle values are never reused, so a closed handle stays invalid.
  HKEY Add(KeyPath key) {
    std::lock_guard lock(mutex_);
    next_ += 4;
    open_.emplace(next_, std::move(key));
    return reinterpret_cast<HKEY>(next_);
  }
  bool Find(HKEY handle, KeyPath* key) {
    std::lock_guard lock(mutex_);
    const auto found = open_.find(reinterpret_cast<ULONG_PTR>(handle));
    if (found == open_.end()) return false;
    *key = found->second;
    return true;
  }
  bool Remove(HKEY handle) {
    std::lock_guard lock(mutex_);
    return open_.erase(reinterpret_cast<ULONG_PTR>(handle)) == 1;
  }

 private:
  std::mutex mutex_;
  ULONG_PTR next_ = 0x1000;
  std::unordered_map<ULONG_PTR, KeyPath> open_;
};

HandleTable& Handles() {
  static HandleTable* table = new HandleTable;  // outlives static destructors
  return *table;
}

bool IsPredefined(HKEY key) {
  return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE;
}

LSTATUS Resolve(HKEY handle, KeyPath* key) {
  if (handle == HKEY_LOCAL_MACHINE) {
    *key = {Root::kLocalMachine, {}};
  } else if (handle == HKEY_CURRENT_USER) {
    *key = {Root::kCurrentUser, {}};
  } else if (handle == HKEY_CLASSES_ROOT) {
    *key = {Root::kLocalMachine, {u"SOFTWARE", u"Classes"}};
  } else if (handle == nullptr || !Handles().Find(handle, key)) {
    return ERROR_INVALID_HANDLE;
  }
  return ERROR_SUCCESS;
}

WideView Text(LPCWSTR text) {
  return text == nullptr ? WideView() : WideView(text);
}

// Appends the key names of a relative path ("a\b\c"; a trailing '\' is allowed).
LSTATUS AppendPath(LPCWSTR sub_key, std::vector<WideString>* path) {
  WideView rest = Text(sub_key);
  if (!rest.empty() && rest[0] == u'\\') return ERROR_BAD_PATHNAME;
  while (!rest.empty()) {
    const std::size_t slash = rest.find(u'\\');
    const WideView name = rest.substr(0, slash);
    if (name.empty()) return ERROR_BAD_PATHNAME;
    if (name.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    path->emplace_back(name);
    rest = slash == WideView::npos ? WideView() : rest.substr(slash + 1);
  }
  return ERROR_SUCCESS;
}

// The key a handle names, or ERROR_KEY_DELETED.
LSTATUS FindKey(Hive& hive, const KeyPath& key, Key** found) {
  *found = hive.Find(key.root, key.path);
  return *found != nullptr ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// The handle's key and the key at sub_key below it.
struct Target {
  KeyPath base;
  KeyPath key;
};
LSTATUS ResolveTarget(HKEY handle, LPCWSTR sub_key, Target* target) {
  LSTATUS status = Resolve(handle, &target->base);
  if (status != ERROR_SUCCESS) return status;
  target->key = target->base;
  return AppendPath(sub_key, &target->key.path);
}

// Copies data into a caller's buffer as RegQueryValueExW does.
LSTATUS CopyData(const Value& value, LPDWORD type, LPBYTE data, LPDWORD data_size,
                 bool terminate_strings) {
  if (type != nullptr) *type = value.type;
  if (data_size == nullptr) return ERROR_SUCCESS;
  const DWORD needed = static_cast<DWORD>(value.data.size());
  if (data != nullptr) {
    if (*data_size < needed) {
      *data_size = needed;
      return ERROR_MORE_DATA;
    }
    if (needed > 0) std::memcpy(data, value.data.data(), needed);
    // RegEnumValueW adds a missing string terminator when the buffer has room for it.
    const bool string =
        value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    const bool terminated = needed >= 2 && value.data[needed - 1] == 0 &&
                            value.data[needed - 2] == 0 && needed % 2 == 0;
    if (terminate_strings && string && !terminated && *data_size >= needed + 2) {
      data[needed] = 0;
      data[needed + 1] = 0;
    }
  }
  *data_size = needed;
  return ERROR_SUCCESS;
}

// Copies a name with its terminator; the count excludes the terminator.
LSTATUS CopyName(const WideString& name, LPWSTR buffer, LPDWORD count) {
  if (*count < name.size() + 1) return ERROR_MORE_DATA;
  std::memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
  *count = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired,
                             PHKEY phkResult) {
  WINPORT_FAIL_LSTATUS("RegOpenKeyExW");
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Target target;
  LSTATUS status = ResolveTarget(hKey, lpSubKey, &target);
  if (status != ERROR_SUCCESS) return status;
  // A predefined key opened as itself is answered with itself.
  if (IsPredefined(hKey) && target.key.path.size() == target.base.path.size()) {
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  status = ReadHive([&](Hive& hive) -> LSTATUS {
    Key* base;
    const LSTATUS found = FindKey(hive, target.base, &base);
    if (found != ERROR_SUCCESS) return found;
    return hive.Find(target.key.root, target.key.path) != nullptr ? ERROR_SUCCESS
                                                                  : ERROR_FILE_NOT_FOUND;
  });
  target.key.access = GrantedAccess(samDesired);
  if (status == ERROR_SUCCESS) *phkResult = Handles().Add(std::move(target.key));
  return status;
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
  WINPORT_FAIL_LSTATUS("RegCreateKeyExW");
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Target target;
  LSTATUS status = ResolveTarget(hKey, lpSubKey, &target);
  if (status != ERROR_SUCCESS) return status;

  // Most calls open a key that exists: answer those without taking the machine's lock.
  bool exists = false;
  status = ReadHive([&](Hive& hive) -> LSTATUS {
    Key* base;
    const LSTATUS found = FindKey(hive, target.base, &base);
    exists = found == ERROR_SUCCESS && hive.Find(target.key.root, target.key.path) != nullptr;
    return found;
  });
  if (status != ERROR_SUCCESS) return status;
  bool created = false;
  if (!exists) {
    status = ChangeHive([&](Hive& hive, bool* changed) -> LSTATUS {
      Key* key;
      const LSTATUS found = FindKey(hive, target.base, &key);
      if (found != ERROR_SUCCESS) return found;
      const ULONGLONG now = FileTimeNow();
      for (std::size_t i = target.base.path.size(); i < target.key.path.size(); ++i) {
        Key* child = key->Child(target.key.path[i]);
        if (child == nullptr) {
          // The machine's hives are fixed: nothing is made directly under the root.
          if (target.key.root == Root::kLocalMachine && i == 0) return LSTATUS{ERROR_ACCESS_DENIED};
          key->written = now;
          child = key->AddChild(target.key.path[i], now);
          created = *changed = true;
        }
        key = child;
      }
      return LSTATUS{ERROR_SUCCESS};
    });
    if (status != ERROR_SUCCESS) return status;
  }
  target.key.access = GrantedAccess(samDesired);
  *phkResult = Handles().Add(std::move(target.key));
  if (lpdwDisposition != nullptr) {
    *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  }
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
  WINPORT_FAIL_LSTATUS("RegSetValueExW");
  KeyPath handle;
  LSTATUS status = Resolve(hKey, &handle);
  if (status == ERROR_SUCCESS) status = Require(handle, KEY_SET_VALUE);
  if (status != ERROR_SUCCESS) return status;
  if (lpData == nullptr && cbData != 0) return ERROR_NOACCESS;
  const std::vector<BYTE> data(lpData, lpData + (lpData == nullptr ? 0 : cbData));
  return ChangeHive([&](Hive& hive, bool* changed) -> LSTATUS {
    Key* key;
    const LSTATUS found = FindKey(hive, handle, &key);
    if (found != ERROR_SUCCESS) return found;
    Value* value = key->FindValue(Text(lpValueName));
    if (value == nullptr) {
      key->values.push_back({WideString(Text(lpValueName)), dwType, data});
    } else if (value->type != dwType || value->data != data) {
      value->type = dwType;
      value->data = data;
    } else {
      return LSTATUS{ERROR_SUCCESS};  // as it was: nothing to write
    }
    key->written = FileTimeNow();
    *changed = true;
    return LSTATUS{ERROR_SUCCESS};
  });
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
  WINPORT_FAIL_LSTATUS("RegQueryValueExW");
  KeyPath handle;
  LSTATUS status = Resolve(hKey, &handle);
  if (status == ERROR_SUCCESS) status = Require(handle, KEY_QUERY_VALUE);
  if (status != ERROR_SUCCESS) return status;
  if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) {
    return ERROR_INVALID_PARAMETER;
  }
  return ReadHive([&](Hive& hive) -> LSTATUS {
    Key* key;
    const LSTATUS found = FindKey(hive, handle, &key);
    if (found != ERROR_SUCCESS) return found;
    const Value* value = key->FindValue(Text(lpValueName));
    if (value == nullptr) return LSTATUS{ERROR_FILE_NOT_FOUND};
    return CopyData(*value, lpType, lpData, lpcbData, /*terminate_strings=*/false);
  });
}

LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                             LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                             PFILETIME lpftLastWriteTime) {
  KeyPath handle;
  LSTATUS status = Resolve(hKey, &handle);
  if (status == ERROR_SUCCESS) status = Require(handle, KEY_ENUMERATE_SUB_KEYS);
  if (status != ERROR_SUCCESS) return status;
  if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr ||
      (lpClass != nullptr && lpcchClass == nullptr)) {
    return ERROR_INVALID_PARAMETER;
  }
  return ReadHive([&](Hive& hive) -> LSTATUS {
    Key* key;
    const LSTATUS found = FindKey(hive, handle, &key);
    if (found != ERROR_SUCCESS) return found;
    if (dwIndex >= key->children.size()) return LSTATUS{ERROR_NO_MORE_ITEMS};
    const Key& child = *std::next(key->children.begin(), dwIndex)->second;
    // Keys have no class here: it is always empty.
    if (lpClass != nullptr && *lpcchClass < 1) return LSTATUS{ERROR_MORE_DATA};
    const LSTATUS copied = CopyName(child.name, lpName, lpcchName);
    if (copied != ERROR_SUCCESS) return copied;
    if (lpClass != nullptr) {
      lpClass[0] = 0;
      *lpcchClass = 0;
    }
    if (lpftLastWriteTime != nullptr) {
      lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(child.written);
      lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(child.written >> 32);
    }
    return LSTATUS{ERROR_SUCCESS};
  });
}

LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  KeyPath handle;
  LSTATUS status = Resolve(hKey, &handle);
  if (status == ERROR_SUCCESS) status = Require(handle, KEY_QUERY_VALUE);
  if (status != ERROR_SUCCESS) return status;
  if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
      (lpData != nullptr && lpcbData == nullptr)) {
    return ERROR_INVALID_PARAMETER;
  }
  return ReadHive([&](Hive& hive) -> LSTATUS {
    Key* key;
    const LSTATUS found = FindKey(hive, handle, &key);
    if (found != ERROR_SUCCESS) return found;
    if (dwIndex >= key->values.size()) return LSTATUS{ERROR_NO_MORE_ITEMS};
    const Value& value = key->values[dwIndex];
    const LSTATUS copied = CopyName(value.name, lpValueName, lpcchValueName);
    if (copied != ERROR_SUCCESS) return copied;
    return CopyData(value, lpType, lpData, lpcbData, /*terminate_strings=*/true);
  });
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  KeyPath handle;
  LSTATUS status = Resolve(hKey, &handle);
  if (status == ERROR_SUCCESS) status = Require(handle, KEY_SET_VALUE);
  if (status != ERROR_SUCCESS) return status;
  return ChangeHive([&](Hive& hive, bool* changed) -> LSTATUS {
    Key* key;
    const LSTATUS found = FindKey(hive, handle, &key);
    if (found != ERROR_SUCCESS) return found;
    Value* value = key->FindValue(Text(lpValueName));
    if (value == nullptr) return LSTATUS{ERROR_FILE_NOT_FOUND};
    key->values.erase(key->values.begin() + (value - key->values.data()));
    key->written = FileTimeNow();
    *changed = true;
    return LSTATUS{ERROR_SUCCESS};
  });
}

namespace {

// Deletes the key at target.key (with its subtree when `tree`); ERROR_ACCESS_DENIED when
// it is one of the machine's permanent keys or, without `tree`, has subkeys.
LSTATUS DeleteKey(const Target& target, bool tree) {
  return ChangeHive([&](Hive& hive, bool* changed) -> LSTATUS {
    Key* base;
    const LSTATUS found = FindKey(hive, target.base, &base);
    if (found != ERROR_SUCCESS) return found;
    if (target.key.path.empty()) return LSTATUS{ERROR_ACCESS_DENIED};
    std::vector<WideString> parent_path(target.key.path.begin(), target.key.path.end() - 1);
    Key* parent = hive.Find(target.key.root, parent_path);
    Key* key = parent == nullptr ? nullptr : parent->Child(target.key.path.back());
    if (key == nullptr) return LSTATUS{ERROR_FILE_NOT_FOUND};
    if (Hive::IsPermanent(target.key.root, target.key.path)) return LSTATUS{ERROR_ACCESS_DENIED};
    if (!tree && !key->children.empty()) return LSTATUS{ERROR_ACCESS_DENIED};
    parent->children.erase(winport::registry::Fold(key->name));
    parent->written = FileTimeNow();
    *changed = true;
    return LSTATUS{ERROR_SUCCESS};
  });
}

}  // namespace

LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  Target target;
  const LSTATUS status = ResolveTarget(hKey, lpSubKey, &target);
  if (status != ERROR_SUCCESS) return status;
  return DeleteKey(target, /*tree=*/false);
}

LSTATUS WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
  WINPORT_FAIL_LSTATUS("RegDeleteTreeW");
  Target target;
  const LSTATUS status = ResolveTarget(hKey, lpSubKey, &target);
  if (status != ERROR_SUCCESS) return status;
  if (lpSubKey != nullptr && *lpSubKey != 0) return DeleteKey(target, /*tree=*/true);

  // Without a subkey the key stays and loses its contents; the machine's permanent keys
  // below it stay too.
  return ChangeHive([&](Hive& hive, bool* changed) -> LSTATUS {
    Key* key;
    const LSTATUS found = FindKey(hive, target.key, &key);
    if (found != ERROR_SUCCESS) return found;
    std::vector<WideString> path = target.key.path;
    auto empty = [&](auto& self, Key& current) -> void {
      if (!current.values.empty()) *changed = true;
      current.values.clear();
      for (auto it = current.children.begin(); it != current.children.end();) {
        path.push_back(it->second->name);
        const bool permanent = Hive::IsPermanent(target.key.root, path);
        if (permanent) self(self, *it->second);
        path.pop_back();
        if (permanent) {
          ++it;
        } else {
          it = current.children.erase(it);
          *changed = true;
        }
      }
    };
    empty(empty, *key);
    if (*changed) key->written = FileTimeNow();
    return LSTATUS{ERROR_SUCCESS};
  });
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  if (IsPredefined(hKey)) return ERROR_SUCCESS;
  return Handles().Remove(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // extern "C"
