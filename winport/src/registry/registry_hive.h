// The machine's registry hive: its keys and values in memory, its text form, and the
// cache that keeps this process's copy in step with the file the machine's processes
// share (see registry_hive.cpp).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <winport/registry.h>
#include <winport/wide.h>

namespace winport::registry {

// Windows compares key and value names upper-cased, unit by unit.
WideString Fold(WideView name);

struct Value {
  WideString name;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct Key {
  WideString name;
  ULONGLONG written = 0;  // FILETIME of the last change to the key's values or subkeys
  std::map<WideString, std::unique_ptr<Key>> children;  // by folded name
  std::vector<Value> values;                            // in the order they were made

  Key* Child(WideView child_name) const;
  Key* AddChild(WideView child_name, ULONGLONG now);
  Value* FindValue(WideView value_name);
};

enum class Root { kLocalMachine, kCurrentUser };

struct Hive {
  Hive();
  ULONGLONG serial = 0;  // counts the writes of the file, for people reading it
  Key local_machine;
  Key current_user;

  Key& RootKey(Root root) { return root == Root::kLocalMachine ? local_machine : current_user; }
  // The key at path under root, or null.
  Key* Find(Root root, const std::vector<WideString>& path);
  // Keys every machine has; they cannot be deleted.
  static bool IsPermanent(Root root, const std::vector<WideString>& path);
};

// The hive as text, and back; Parse answers false on malformed text.
std::string Serialize(const Hive& hive);
bool Parse(std::string_view text, Hive* hive);

// Now, as a FILETIME.
ULONGLONG FileTimeNow();

// The machine's hive. Read runs `body` on an up-to-date copy; Change runs it under the
// machine's lock on an up-to-date copy and writes the hive when body reports a change.
// Either answers body's result, or the error that kept it from running or from writing.
LSTATUS ReadHive(const std::function<LSTATUS(Hive&)>& body);
LSTATUS ChangeHive(const std::function<LSTATUS(Hive&, bool* changed)>& body);

}  // namespace winport::registry
