// The machine's registry hive and the file it lives in, registry/machine.reg: UTF-8 text,
// one section per key, each key's values under it.
//
//   ; winport registry hive
//   serial 12
//
//   [HKEY_CURRENT_USER\Software\Quillmere] 133540581234567890
//   @ = sz "Default text"
//   "LogDirectory" = expand_sz "%SystemRoot%\\Logs"
//   "Port" = dword 0x00001f90
//   "Names" = multi_sz "a\0b\0"
//   "Key" = binary hex:00ff10
//
// Blank lines and lines starting with ';' are ignored. "serial" counts the writes of the
// file. A section header is the key's full path, a root name (HKEY_LOCAL_MACHINE or
// HKEY_CURRENT_USER) and the key names joined by '\', then the FILETIME of the key's
// last change. In key names, '%', '[', ']', control characters and unpaired surrogates
// are written %XXXX (the UTF-16 unit in hex). Sections come parent first; a section
// whose parents are missing creates them.
//
// A value line is  name = type data. The name is '@' for the default value or a quoted
// string. The type is none, sz, expand_sz, binary, dword, multi_sz, qword or the type's
// number. The data is one of
//   "text"       the UTF-16 of text followed by one NUL unit (string types)
//   0x0000002a   a 4-byte DWORD (dword)
//   hex:0a0b     the bytes as stored (anything, including strings stored without NUL)
// Quoted strings escape \\ \" \n \r \t, and \uXXXX for other control characters and
// unpaired surrogates; everything else is UTF-8.
//
// Every change is made under the cross-process lock registry/machine.lock: the writer
// re-reads the file if it is not the one this process last read, applies the change and
// replaces the file whole (a new file renamed over the old), so no process loses another's
// change and a crash leaves the old hive or the new one. Readers take no lock: they
// re-read only when the path names another file than the one they hold open (an open
// file's inode cannot be reused, so its identity is exact).
#include "registry_hive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <winport/fault_injection.h>
#include <winport/machine.h>

#include "common/file_lock.h"
#include "common/quoted_text.h"

namespace winport::registry {
namespace {

namespace fs = std::filesystem;
using winport::detail::AppendQuoted;
using winport::detail::ReadQuoted;

constexpr char kLocalMachineName[] = "HKEY_LOCAL_MACHINE";
constexpr char kCurrentUserName[] = "HKEY_CURRENT_USER";

// Upper case as the registry compares names: ASCII, Latin-1, Latin Extended-A, Greek
// and Cyrillic, which covers the names real software registers.
OLECHAR Upcase(OLECHAR c) {
  if (c < 0x80) return c >= 'a' && c <= 'z' ? static_cast<OLECHAR>(c - 0x20) : c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) ||
      (c >= 0x430 && c <= 0x44F)) {
    return static_cast<OLECHAR>(c - 0x20);
  }
  if (c == 0xFF) return 0x178;
  if (c >= 0x450 && c <= 0x45F) return static_cast<OLECHAR>(c - 0x50);
  const bool paired_odd = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
  const bool paired_even = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
  if ((paired_odd && (c & 1) == 1) || (paired_even && (c & 1) == 0)) {
    return static_cast<OLECHAR>(c - 1);
  }
  return c;
}

bool IsHighSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

void AppendHexUnit(std::string& out, const char* prefix, unsigned unit) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%s%04X", prefix, unit & 0xFFFF);
  out += buffer;
}

// Writes text as UTF-8, passing each unit that needs escaping to `escape` (which
// answers whether it wrote it).
template <typename Escape>
void AppendText(std::string& out, WideView text, Escape escape) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const OLECHAR unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      out += WideToUtf8(text.substr(i, 2));
      ++i;
      continue;
    }
    if (escape(out, unit)) continue;
    out += WideToUtf8(text.substr(i, 1));
  }
}

void AppendKeyName(std::string& out, WideView name) {
  AppendText(out, name, [](std::string& o, OLECHAR unit) {
    if (unit == '%' || unit == '[' || unit == ']' || unit < 0x20 || unit == 0x7F ||
        IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendHexUnit(o, "%", unit);
      return true;
    }
    return false;
  });
}

struct TypeName {
  DWORD type;
  const char* name;
};
constexpr TypeName kTypeNames[] = {
    {REG_NONE, "none"},     {REG_SZ, "sz"},       {REG_EXPAND_SZ, "expand_sz"},
    {REG_BINARY, "binary"}, {REG_DWORD, "dword"}, {REG_MULTI_SZ, "multi_sz"},
    {REG_QWORD, "qword"},
};

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

void AppendValue(std::string& out, const Value& value) {
  if (value.name.empty()) {
    out += '@';
  } else {
    AppendQuoted(out, value.name);
  }
  out += " = ";
  const char* type_name = nullptr;
  for (const TypeName& entry : kTypeNames) {
    if (entry.type == value.type) type_name = entry.name;
  }
  out += type_name != nullptr ? std::string(type_name) : std::to_string(value.type);
  out += ' ';

  const std::vector<BYTE>& data = value.data;
  const std::size_t units = data.size() / 2;
  if (IsStringType(value.type) && data.size() % 2 == 0 && units > 0 && data[data.size() - 1] == 0 &&
      data[data.size() - 2] == 0) {
    WideString text(units - 1, 0);
    std::memcpy(text.data(), data.data(), (units - 1) * 2);
    AppendQuoted(out, text);
  } else if (value.type == REG_DWORD && data.size() == 4) {
    DWORD number;
    std::memcpy(&number, data.data(), 4);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08x", number);
    out += buffer;
  } else {
    out += "hex:";
    static constexpr char kDigits[] = "0123456789abcdef";
    for (BYTE b : data) {
      out += kDigits[b >> 4];
      out += kDigits[b & 15];
    }
  }
  out += '\n';
}

void AppendKey(std::string& out, std::string& path, const Key& key) {
  out += '[';
  out += path;
  out += "] ";
  out += std::to_string(key.written);
  out += '\n';
  for (const Value& value : key.values)
    AppendValue(out, value);
  out += '\n';
  for (const auto& [folded, child] : key.children) {
    const std::size_t length = path.size();
    path += '\\';
    AppendKeyName(path, child->name);
    AppendKey(out, path, *child);
    path.resize(length);
  }
}

// A small cursor over one line of the hive.
class LineReader {
 public:
  explicit LineReader(std::string_view line) : line_(line) {}
  bool AtEnd() const { return pos_ >= line_.size(); }
  char Peek() const { return AtEnd() ? '\0' : line_[pos_]; }
  void SkipSpaces() {
    while (!AtEnd() && (line_[pos_] == ' ' || line_[pos_] == '\t'))
      ++pos_;
  }
  bool Consume(std::string_view token) {
    if (line_.substr(pos_, token.size()) != token) return false;
    pos_ += token.size();
    return true;
  }
  std::string_view Word() {
    const std::size_t start = pos_;
    while (!AtEnd() && line_[pos_] != ' ' && line_[pos_] != '\t')
      ++pos_;
    return line_.substr(start, pos_ - start);
  }
  std::string_view Rest() {
    std::string_view rest = line_.substr(pos_);
    pos_ = line_.size();
    return rest;
  }
  bool Hex(std::size_t digits, unsigned* result) {
    if (pos_ + digits > line_.size()) return false;
    unsigned value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
      const int digit = HexDigit(line_[pos_ + i]);
      if (digit < 0) return false;
      value = value * 16 + static_cast<unsigned>(digit);
    }
    pos_ += digits;
    *result = value;
    return true;
  }
  // A quoted string, its escapes undone.
  bool Quoted(WideString* text) {
    std::string_view rest = line_.substr(pos_);
    if (!ReadQuoted(rest, text)) return false;
    pos_ = line_.size() - rest.size();
    return true;
  }

  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

 private:
  std::string_view line_;
  std::size_t pos_ = 0;
};

bool ParseKeyName(std::string_view text, WideString* name) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      plain += text[i];
      continue;
    }
    LineReader reader(text.substr(i + 1));
    unsigned unit = 0;
    // A key's name never holds a backslash: it would name a key no path reaches.
    if (!reader.Hex(4, &unit) || unit == '\\') return false;
    *name += Utf8ToWide(plain);
    plain.clear();
    *name += static_cast<OLECHAR>(unit);
    i += 4;
  }
  *name += Utf8ToWide(plain);
  return !name->empty();
}

// "[path] written": the key, made with its parents when missing.
Key* ParseSection(std::string_view line, Hive* hive) {
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos) return nullptr;
  std::string_view path = line.substr(1, close - 1);
  const std::size_t slash = path.find('\\');
  const std::string_view root_name = path.substr(0, slash);
  Key* key;
  if (root_name == kLocalMachineName) {
    key = &hive->local_machine;
  } else if (root_name == kCurrentUserName) {
    key = &hive->current_user;
  } else {
    return nullptr;
  }
  path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
  while (!path.empty()) {
    const std::size_t next = path.find('\\');
    WideString name;
    if (!ParseKeyName(path.substr(0, next), &name)) return nullptr;
    Key* child = key->Child(name);
    key = child != nullptr ? child : key->AddChild(name, 0);
    path = next == std::string_view::npos ? std::string_view() : path.substr(next + 1);
  }
  LineReader rest(line.substr(close + 1));
  rest.SkipSpaces();
  const std::string_view written = rest.Word();
  if (!written.empty()) {
    char* end = nullptr;
    const std::string digits(written);
    key->written = std::strtoull(digits.c_str(), &end, 10);
    if (*end != '\0') return nullptr;
  }
  return key;
}

bool ParseValue(std::string_view line, Key* key) {
  LineReader reader(line);
  Value value;
  if (!reader.Consume("@") && !reader.Quoted(&value.name)) return false;
  reader.SkipSpaces();
  if (!reader.Consume("=")) return false;
  reader.SkipSpaces();
  const std::string_view type_name = reader.Word();
  bool known = false;
  for (const TypeName& entry : kTypeNames) {
    if (type_name == entry.name) {
      value.type = entry.type;
      known = true;
    }
  }
  if (!known) {
    // A type by its number, within a DWORD.
    const char* const end = type_name.data() + type_name.size();
    const auto [stop, error] = std::from_chars(type_name.data(), end, value.type);
    if (type_name.empty() || error != std::errc() || stop != end) return false;
  }
  reader.SkipSpaces();
  if (reader.Peek() == '"') {
    WideString text;
    if (!reader.Quoted(&text)) return false;
    text += u'\0';
    value.data.resize(text.size() * 2);
    std::memcpy(value.data.data(), text.data(), value.data.size());
  } else if (reader.Consume("0x")) {
    unsigned number = 0;
    if (!reader.Hex(8, &number)) return false;
    const DWORD dword = number;
    value.data.resize(4);
    std::memcpy(value.data.data(), &dword, 4);
  } else if (reader.Consume("hex:")) {
    const std::string_view digits = reader.Word();
    if (digits.size() % 2 != 0) return false;
    LineReader hex(digits);
    for (std::size_t i = 0; i < digits.size(); i += 2) {
      unsigned byte = 0;
      if (!hex.Hex(2, &byte)) return false;
      value.data.push_back(static_cast<BYTE>(byte));
    }
  } else {
    return false;
  }
  reader.SkipSpaces();
  if (!reader.AtEnd()) return false;
  if (key->FindValue(value.name) != nullptr) return false;
  key->values.push_back(std::move(value));
  return true;
}

// The process's copy of the machine's hive, and the file it was read from.
struct Cache {
  std::mutex mutex;
  fs::path path;             // the hive file the copy belongs to
  bool loaded = false;       // hive reflects the file held open (or its absence)
  int fd = -1;               // the file last read, held so its inode stays unique
  struct stat read_as = {};  // that file when it was read
  Hive hive;

  void Forget() {
    if (fd >= 0) ::close(fd);
    fd = -1;
    loaded = false;
    hive = Hive();
  }
};

Cache& TheCache() {
  static Cache* cache = new Cache;  // outlives every static destructor that may use it
  return *cache;
}

// Writers replace the file, so a new inode means a new hive; size and time also catch a
// hand edit made in place.
bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Brings the cache up to date with the machine's hive file. Caller holds cache.mutex.
LSTATUS Refresh(Cache& cache) {
  const fs::path path = machine::RegistryDirectory() / "machine.reg";
  if (path != cache.path) {
    cache.Forget();
    cache.path = path;
  }
  struct stat current;
  if (::stat(path.c_str(), &current) != 0) {
    if (errno != ENOENT) return ERROR_CANTREAD;
    if (!cache.loaded || cache.fd >= 0) {
      cache.Forget();  // no file: the machine's registry is empty
      cache.loaded = true;
    }
    return ERROR_SUCCESS;
  }
  if (cache.loaded && cache.fd >= 0 && SameFile(cache.read_as, current)) return ERROR_SUCCESS;

  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ERROR_CANTREAD;
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return ERROR_CANTREAD;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  Hive hive;
  struct stat read_as;
  if (!Parse(text, &hive) || ::fstat(fd, &read_as) != 0) {
    ::close(fd);
    cache.Forget();
    return ERROR_BADDB;
  }
  cache.Forget();
  cache.hive = std::move(hive);
  cache.fd = fd;
  cache.read_as = read_as;
  cache.loaded = true;
  return ERROR_SUCCESS;
}

}  // namespace

WideString Fold(WideView name) {
  WideString folded(name);
  for (OLECHAR& c : folded)
    c = Upcase(c);
  return folded;
}

Key* Key::Child(WideView child_name) const {
  const auto found = children.find(Fold(child_name));
  return found == children.end() ? nullptr : found->second.get();
}

Key* Key::AddChild(WideView child_name, ULONGLONG now) {
  auto child = std::make_unique<Key>();
  child->name = WideString(child_name);
  child->written = now;
  Key* added = child.get();
  children[Fold(child_name)] = std::move(child);
  return added;
}

Value* Key::FindValue(WideView value_name) {
  const WideString folded = Fold(value_name);
  for (Value& value : values) {
    if (value.name.size() == folded.size() && Fold(value.name) == folded) return &value;
  }
  return nullptr;
}

Hive::Hive() {
  // The keys Windows always has and that winport's users write under.
  local_machine.AddChild(u"SOFTWARE", 0)->AddChild(u"Classes", 0);
  local_machine.AddChild(u"SYSTEM", 0);
  current_user.AddChild(u"Software", 0);
}

Key* Hive::Find(Root root, const std::vector<WideString>& path) {
  Key* key = &RootKey(root);
  for (const WideString& name : path) {
    key = key->Child(name);
    if (key == nullptr) return nullptr;
  }
  return key;
}

bool Hive::IsPermanent(Root root, const std::vector<WideString>& path) {
  if (path.empty()) return true;
  if (root == Root::kCurrentUser) return path.size() == 1 && Fold(path[0]) == u"SOFTWARE";
  if (path.size() == 1) return true;  // the machine's hives: SOFTWARE, SYSTEM
  return path.size() == 2 && Fold(path[0]) == u"SOFTWARE" && Fold(path[1]) == u"CLASSES";
}

std::string Serialize(const Hive& hive) {
  std::string out = "; winport registry hive\nserial " + std::to_string(hive.serial) + "\n\n";
  std::string path = kLocalMachineName;
  AppendKey(out, path, hive.local_machine);
  path = kCurrentUserName;
  AppendKey(out, path, hive.current_user);
  return out;
}

bool Parse(std::string_view text, Hive* hive) {
  Key* key = nullptr;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      key = ParseSection(line, hive);
      if (key == nullptr) return false;
    } else if (line.rfind("serial ", 0) == 0) {
      char* stop = nullptr;
      const std::string digits(line.substr(7));
      hive->serial = std::strtoull(digits.c_str(), &stop, 10);
      if (*stop != '\0') return false;
    } else if (key == nullptr || !ParseValue(line, key)) {
      return false;
    }
  }
  return true;
}

ULONGLONG FileTimeNow() {
  // 100-ns intervals since 1601-01-01; the Unix epoch is 11644473600 s later.
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<ULONGLONG>(
             std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count() / 100) +
         116444736000000000ULL;
}

LSTATUS ReadHive(const std::function<LSTATUS(Hive&)>& body) {
  Cache& cache = TheCache();
  std::lock_guard lock(cache.mutex);
  const LSTATUS status = Refresh(cache);
  if (status != ERROR_SUCCESS) return status;
  return body(cache.hive);
}

LSTATUS ChangeHive(const std::function<LSTATUS(Hive&, bool* changed)>& body) {
  Cache& cache = TheCache();
  std::lock_guard lock(cache.mutex);
  const fs::path directory = machine::RegistryDirectory();
  detail::FileLock machine_lock(directory / "machine.lock");
  if (!machine_lock.held()) return ERROR_CANTWRITE;
  LSTATUS status = Refresh(cache);
  if (status != ERROR_SUCCESS) return status;

  bool changed = false;
  status = body(cache.hive, &changed);
  if (!changed) return status;

  // From here the copy no longer matches any file until the new one is in place.
  cache.hive.serial += 1;
  const std::string text = Serialize(cache.hive);
  std::uint32_t injected = 0;
  const bool written =
      !fault::ShouldFail("RegistryHiveWrite", &injected) && detail::ReplaceFile(cache.path, text);
  if (!written) {
    cache.Forget();  // the next call reads back the hive that is still on disk
    return ERROR_CANTWRITE;
  }
  // Hold the file just written: under the lock, it is the one at the path.
  const int fd = ::open(cache.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (cache.fd >= 0) ::close(cache.fd);
  cache.fd = fd;
  cache.loaded = fd >= 0 && ::fstat(fd, &cache.read_as) == 0;
  if (!cache.loaded) cache.Forget();
  return status;
}

}  // namespace winport::registry
