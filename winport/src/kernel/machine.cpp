#include <winport/machine.h>

#include <cctype>
#include <cstdlib>
#include <mutex>
#include <string>
#include <system_error>

#include <sys/stat.h>

#include <winport/owner_only.h>

#include "common/ascii_case.h"

namespace winport::machine {
namespace {

namespace fs = std::filesystem;

fs::path DefaultPrefix() {
  const char* home = std::getenv("HOME");
  return fs::path(home != nullptr && *home != '\0' ? home : "/tmp") / ".local/share/quillmere";
}

// The folders of the machine's layout; what an older build left in them readable by others
// is tightened once.
constexpr const char* kFolders[] = {"registry", "eventlog", "wmi",     "msmq",
                                    "sync",     "host",     "windows", "lib"};

// The prefix is re-read from the environment on every call (tests switch it), but the
// directories are made only once per distinct prefix.
fs::path PrefixPath() {
  const char* configured = std::getenv("QUILLMERE_PREFIX");
  fs::path prefix =
      configured != nullptr && *configured != '\0' ? fs::path(configured) : DefaultPrefix();
  // Never destroyed: libraries detached at process exit still use the machine.
  static auto* mutex = new std::mutex();
  static auto* made = new fs::path();
  std::lock_guard lock(*mutex);
  if (prefix != *made) {
    // A prefix open to others was made by a build that followed the umask: everything in
    // it is tightened, once, as the prefix itself is.
    struct stat status {};
    const bool loose = ::stat(prefix.c_str(), &status) == 0 && (status.st_mode & 077) != 0;
    std::error_code ignored;
    CreatePrivateDirectories(prefix, ignored);
    if (loose) {
      for (const char* folder : kFolders)
        MakeTreePrivate(prefix / folder);
    }
    for (const char* folder : {"registry", "eventlog", "wmi", "msmq", "windows/system32", "lib"})
      CreatePrivateDirectories(prefix / folder, ignored);
    *made = prefix;
  }
  return prefix;
}

// The entry of `directory` spelled like `name` but for case, or `name` when none is.
std::string MatchEntry(const fs::path& directory, const std::string& name) {
  std::error_code error;
  if (fs::exists(directory / name, error)) return name;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    const std::string entry = it->path().filename().string();
    if (detail::EqualsIgnoringAsciiCase(entry, name)) return entry;
  }
  return name;
}

}  // namespace

fs::path Prefix() {
  return PrefixPath();
}
fs::path RegistryDirectory() {
  return PrefixPath() / "registry";
}
fs::path EventLogDirectory() {
  return PrefixPath() / "eventlog";
}
fs::path WmiDirectory() {
  return PrefixPath() / "wmi";
}
fs::path MessageQueueDirectory() {
  return PrefixPath() / "msmq";
}
fs::path SystemDirectory() {
  return PrefixPath() / "windows" / "system32";
}
fs::path LibraryDirectory() {
  return PrefixPath() / "lib";
}

fs::path MapPath(WideView windows_path) {
  std::string text = WideToUtf8(windows_path);
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  if (text.rfind("//?/", 0) == 0) text.erase(0, 4);
  if (!text.empty() && text[0] == '/') return fs::path(text);

  fs::path result;
  std::size_t rest = 0;
  const bool has_drive =
      text.size() >= 2 && text[1] == ':' && std::isalpha(static_cast<unsigned char>(text[0]));
  if (has_drive) {
    const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    result = drive == 'c' ? PrefixPath() : PrefixPath() / (std::string("drive_") + drive);
    rest = 2;
  } else {
    result = fs::current_path();
  }
  while (rest < text.size()) {
    const std::size_t slash = text.find('/', rest);
    const std::string part =
        text.substr(rest, slash == std::string::npos ? std::string::npos : slash - rest);
    rest = slash == std::string::npos ? text.size() : slash + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (result.has_parent_path()) result = result.parent_path();
      continue;
    }
    result /= MatchEntry(result, part);
  }
  return result;
}

}  // namespace winport::machine
