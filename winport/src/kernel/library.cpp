// Libraries are shared objects opened with dlopen. A module handle is the object's base
// address (where its first segment is mapped), as an HMODULE is on Windows: dladdr turns
// any address inside the object into it, and it can be checked without being trusted.
#include <winport/library.h>
#include <winport/machine.h>
#include <winport/message.h>
#include <winport/wide.h>

#include <dlfcn.h>
#include <link.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "common/ascii_case.h"
#include "common/injected_fault.h"
#include "kernel/dll_entries.h"

namespace {

namespace fs = std::filesystem;

// The references LoadLibraryW and GetModuleHandleExW took, by base address. Each holds
// one dlopen reference on the object, which FreeLibrary gives back.
struct Reference {
  void* object = nullptr;
  unsigned count = 0;
};

std::mutex g_mutex;
// Never destroyed: libraries may be freed while the program's statics are torn down.
std::map<void*, Reference>& References() {
  static auto* references = new std::map<void*, Reference>;
  return *references;
}

bool EndsWithDll(const std::string& name) {
  return name.size() > 4 &&
         winport::detail::EqualsIgnoringAsciiCase(name.substr(name.size() - 4), ".dll");
}

// The files a module name may stand for, in the order tried: the name as given (with
// Windows' default ".dll" when it has no extension), then for "x.dll" the shared
// object libx.so. A trailing dot names a file without extension.
std::vector<std::string> CandidateFileNames(std::string leaf) {
  if (!leaf.empty() && leaf.back() == '.') {
    leaf.pop_back();
    return {leaf};
  }
  if (leaf.find('.') == std::string::npos) leaf += ".dll";
  if (!EndsWithDll(leaf)) return {leaf};
  return {leaf, "lib" + leaf.substr(0, leaf.size() - 4) + ".so"};
}

// `name` in `directory`, matched case-insensitively as Windows matches file names.
std::optional<fs::path> FindFile(const fs::path& directory, const std::string& name) {
  std::error_code error;
  if (fs::is_regular_file(directory / name, error)) return directory / name;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    if (winport::detail::EqualsIgnoringAsciiCase(it->path().filename().string(), name) &&
        fs::is_regular_file(it->path(), error)) {
      return it->path();
    }
  }
  return std::nullopt;
}

fs::path ProgramPath() {
  std::error_code error;
  return fs::read_symlink("/proc/self/exe", error);
}

// The folder winport itself was loaded from, where its companion libraries (mqrt) lie.
// Named explicitly because dlopen's run-path search follows whoever called dlopen, and
// under a sanitizer that is the sanitizer's interceptor, not winport.
fs::path WinportDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&WinportDirectory), &info) == 0 || info.dli_fname == nullptr)
    return {};
  return fs::absolute(info.dli_fname).parent_path();
}

// Where the object's first segment is mapped: its HMODULE.
void* BaseOf(void* object) {
  link_map* map = nullptr;
  if (dlinfo(object, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return nullptr;
  Dl_info info;
  if (dladdr(map->l_ld, &info) == 0) return nullptr;
  return info.dli_fbase;
}

void* ProgramBase() {
  void* program = dlopen(nullptr, RTLD_LAZY);
  void* base = BaseOf(program);
  dlclose(program);
  return base;
}

// The file of the module based at `module`, or nothing when no module is based there.
std::optional<fs::path> ModuleFile(HMODULE module) {
  Dl_info info;
  if (module == nullptr || dladdr(module, &info) == 0 || info.dli_fbase != module) {
    return std::nullopt;
  }
  if (module == ProgramBase()) return ProgramPath();
  if (info.dli_fname == nullptr || *info.dli_fname == '\0') return std::nullopt;
  return fs::absolute(info.dli_fname);
}

// A new dlopen reference on the loaded module based at `module` (null if there is none);
// extra_flags may pin it (RTLD_NODELETE).
void* OpenLoaded(HMODULE module, int extra_flags = 0) {
  if (module != nullptr && module == ProgramBase()) return dlopen(nullptr, RTLD_LAZY);
  const std::optional<fs::path> file = ModuleFile(module);
  if (!file) return nullptr;
  void* object = dlopen(file->c_str(), RTLD_LAZY | RTLD_NOLOAD | extra_flags);
  if (object != nullptr && BaseOf(object) != module) {
    dlclose(object);
    return nullptr;
  }
  return object;
}

HMODULE Remember(void* object) {
  void* base = BaseOf(object);
  std::lock_guard lock(g_mutex);
  Reference& reference = References()[base];
  reference.object = object;
  ++reference.count;
  return base;
}

bool IsElf(const fs::path& file) {
  char magic[4] = {};
  std::ifstream(file, std::ios::binary).read(magic, sizeof magic);
  return std::memcmp(magic,
                     "\x7f"
                     "ELF",
                     4) == 0;
}

// The Win32 error of a failed dlopen, from what the loader says went wrong.
DWORD LoadError(const std::optional<fs::path>& file, const char* message) {
  const std::string text = message != nullptr ? message : "";
  if ((file && !IsElf(*file)) || text.find("invalid ELF header") != std::string::npos ||
      text.find("wrong ELF class") != std::string::npos) {
    return ERROR_BAD_EXE_FORMAT;
  }
  // An import the library needs is missing from what it links to.
  if (text.find("undefined symbol") != std::string::npos) return ERROR_PROC_NOT_FOUND;
  return ERROR_MOD_NOT_FOUND;
}

HMODULE OpenFile(const fs::path& file) {
  void* object = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (object == nullptr) {
    SetLastError(LoadError(file, dlerror()));
    return nullptr;
  }
  return Remember(object);
}

HMODULE Load(LPCWSTR name, HANDLE file, DWORD flags) {
  if (name == nullptr || file != nullptr || (flags & ~LOAD_WITH_ALTERED_SEARCH_PATH) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::string text = winport::WideToUtf8(name);
  if (text.find_first_of("\\/:") != std::string::npos) {
    const fs::path mapped = fs::absolute(winport::machine::MapPath(name));
    for (const std::string& candidate : CandidateFileNames(mapped.filename().string())) {
      if (auto found = FindFile(mapped.parent_path(), candidate)) return OpenFile(*found);
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }

  const std::vector<std::string> candidates = CandidateFileNames(text);
  for (const fs::path& directory :
       {winport::machine::LibraryDirectory(), ProgramPath().parent_path(), WinportDirectory()}) {
    for (const std::string& candidate : candidates) {
      if (auto found = FindFile(directory, candidate)) return OpenFile(*found);
    }
  }
  // Then the loader's own search: LD_LIBRARY_PATH, run paths, the system's directories.
  for (const std::string& candidate : candidates) {
    if (void* object = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) return Remember(object);
    const char* message = dlerror();
    // The loader names the file it could not find; anything else went wrong with a
    // library it did find.
    if (message != nullptr &&
        std::string(message).rfind(candidate + ": cannot open shared object file", 0) != 0) {
      SetLastError(LoadError(std::nullopt, message));
      return nullptr;
    }
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

struct LoadedSearch {
  const std::vector<std::string>* names;
  std::optional<fs::path> directory;
  void* base = nullptr;
};

// A loaded module by name, as GetModuleHandle finds it: by file name alone when the name
// has no path, else by its directory and file name.
HMODULE FindLoaded(LPCWSTR name) {
  const std::string text = winport::WideToUtf8(name);
  std::string leaf = text;
  LoadedSearch search;
  if (text.find_first_of("\\/:") != std::string::npos) {
    const fs::path mapped = fs::absolute(winport::machine::MapPath(name));
    leaf = mapped.filename().string();
    search.directory = mapped.parent_path().lexically_normal();
  }
  const std::vector<std::string> names = CandidateFileNames(leaf);
  search.names = &names;
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* data) {
        auto* search = static_cast<LoadedSearch*>(data);
        if (info->dlpi_name == nullptr || *info->dlpi_name == '\0') return 0;
        const fs::path file = fs::path(info->dlpi_name).lexically_normal();
        if (search->directory && file.parent_path() != *search->directory) return 0;
        for (const std::string& candidate : *search->names) {
          if (!winport::detail::EqualsIgnoringAsciiCase(file.filename().string(), candidate))
            continue;
          Dl_info where;
          // Any address of its first loaded segment names the module.
          for (int i = 0; i < info->dlpi_phnum; ++i) {
            if (info->dlpi_phdr[i].p_type != PT_LOAD) continue;
            const auto address =
                reinterpret_cast<const void*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
            if (dladdr(address, &where) != 0) search->base = where.dli_fbase;
            return 1;
          }
        }
        return 0;
      },
      &search);
  return search.base;
}

// Windows text for a module's file: under the prefix a drive path, elsewhere the Linux
// path with backslashes, which MapPath passes through unchanged.
winport::WideString WindowsPathText(const fs::path& file) {
  const fs::path path = file.lexically_normal();
  fs::path prefix = winport::machine::Prefix().lexically_normal();
  if (!prefix.has_filename()) prefix = prefix.parent_path();
  const fs::path rest = path.lexically_relative(prefix);
  std::string text;
  if (!rest.empty() && *rest.begin() != "..") {
    auto part = rest.begin();
    char drive = 'C';
    const std::string first = part->string();
    if (first.size() == 7 && first.rfind("drive_", 0) == 0 &&
        std::isalpha(static_cast<unsigned char>(first[6]))) {
      drive = static_cast<char>(std::toupper(static_cast<unsigned char>(first[6])));
      ++part;
    }
    text = std::string(1, drive) + ":";
    for (; part != rest.end(); ++part) {
      if (*part != "." && !part->empty()) text += "\\" + part->string();
    }
    if (text.size() == 2) text += "\\";
  } else {
    text = path.string();
    for (char& c : text) {
      if (c == '/') c = '\\';
    }
  }
  return winport::Utf8ToWide(text);
}

// A new reference on the library, whose DllMain has agreed to its attach.
HMODULE LoadAndAttach(LPCWSTR name, HANDLE file, DWORD flags) {
  std::lock_guard loader(winport::detail::LoaderLock());
  const HMODULE module = Load(name, file, flags);
  if (module == nullptr || winport::detail::AttachLibrary(module)) return module;
  FreeLibrary(module);
  SetLastError(ERROR_DLL_INIT_FAILED);
  return nullptr;
}

}  // namespace

extern "C" HMODULE LoadLibraryW(LPCWSTR lpLibFileName) {
  WINPORT_FAIL_NULL("LoadLibraryW");
  return LoadAndAttach(lpLibFileName, nullptr, 0);
}

extern "C" HMODULE LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
  WINPORT_FAIL_NULL("LoadLibraryExW");
  return LoadAndAttach(lpLibFileName, hFile, dwFlags);
}

extern "C" FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  WINPORT_FAIL_NULL("GetProcAddress");
  // No module is the program itself.
  if (hModule == nullptr) hModule = ProgramBase();
  void* object = OpenLoaded(hModule);
  if (object == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  void* symbol = nullptr;
  // A name whose pointer fits in 16 bits is an ordinal, which shared objects lack.
  if (reinterpret_cast<std::uintptr_t>(lpProcName) > 0xFFFF) {
    symbol = dlsym(object, lpProcName);
    Dl_info info;
    // dlsym also searches the libraries the module depends on; Windows does not.
    if (symbol != nullptr && (dladdr(symbol, &info) == 0 || info.dli_fbase != hModule)) {
      symbol = nullptr;
    }
  }
  dlclose(object);
  if (symbol == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

extern "C" BOOL FreeLibrary(HMODULE hLibModule) {
  std::lock_guard loader(winport::detail::LoaderLock());
  void* object = nullptr;
  bool last = false;
  {
    std::lock_guard lock(g_mutex);
    auto found = References().find(hLibModule);
    if (found != References().end()) {
      object = found->second.object;
      last = --found->second.count == 0;
      if (last) References().erase(found);
    }
  }
  if (object != nullptr) {
    // Outside the lock: DllMain and the library's destructors may load or free libraries.
    if (last) winport::detail::DetachLibrary(hLibModule, nullptr);
    dlclose(object);
    return TRUE;
  }
  // A module the program linked at start: the loader's own reference keeps it.
  if (ModuleFile(hLibModule)) return TRUE;
  SetLastError(hLibModule == nullptr ? ERROR_INVALID_HANDLE : ERROR_MOD_NOT_FOUND);
  return FALSE;
}

extern "C" DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  const std::optional<fs::path> file = hModule == nullptr ? ProgramPath() : ModuleFile(hModule);
  if (!file || file->empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (lpFilename == nullptr && nSize != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const winport::WideString text = WindowsPathText(*file);
  if (text.size() < nSize) {
    text.copy(lpFilename, text.size());
    lpFilename[text.size()] = u'\0';
    return static_cast<DWORD>(text.size());
  }
  // Cut to fit, still terminated, and the whole buffer reported as used.
  if (nSize != 0) {
    text.copy(lpFilename, nSize - 1);
    lpFilename[nSize - 1] = u'\0';
  }
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return nSize;
}

extern "C" BOOL GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule) {
  constexpr DWORD kKnown = GET_MODULE_HANDLE_EX_FLAG_PIN |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT |
                           GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
  constexpr DWORD kPinOrUnchanged =
      GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (phModule != nullptr) *phModule = nullptr;
  if (phModule == nullptr || (dwFlags & ~kKnown) != 0 ||
      (dwFlags & kPinOrUnchanged) == kPinOrUnchanged) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }

  HMODULE module = nullptr;
  if ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) != 0) {
    Dl_info info;
    if (dladdr(lpModuleName, &info) != 0) module = info.dli_fbase;
  } else if (lpModuleName == nullptr) {
    module = ProgramBase();
  } else {
    module = FindLoaded(lpModuleName);
  }
  if (module == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }

  if ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN) != 0) {
    // RTLD_NODELETE keeps the object loaded whatever dlclose does later.
    if (void* object = OpenLoaded(module, RTLD_NODELETE)) dlclose(object);
  } else if ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) == 0 &&
             module != ProgramBase()) {
    // A reference the caller gives back with FreeLibrary, as after LoadLibraryW.
    if (void* object = OpenLoaded(module)) Remember(object);
  }
  *phModule = module;
  return TRUE;
}

extern "C" BOOL DisableThreadLibraryCalls(HMODULE hLibModule) {
  if (ModuleFile(hLibModule)) return TRUE;
  SetLastError(hLibModule == nullptr ? ERROR_INVALID_HANDLE : ERROR_MOD_NOT_FOUND);
  return FALSE;
}
