// Type libraries from their text description beside the module (see typelib.h), and
// their registration under HKCR\TypeLib and HKCR\Interface, written as Windows writes it:
//
//   TypeLib\{libid}\<major>.<minor>            (default) = help string, else name
//   TypeLib\{libid}\<major>.<minor>\FLAGS      (default) = "0"
//   TypeLib\{libid}\<major>.<minor>\HELPDIR    (default) = the help directory
//   TypeLib\{libid}\<major>.<minor>\<lcid>\win64   (default) = the module's path
//   Interface\{iid}                             (default) = name
//   Interface\{iid}\ProxyStubClsid32            (default) = the automation marshaler
//   Interface\{iid}\TypeLib                     (default) = {libid}, Version = "<maj>.<min>"
// Versions and the lcid are written in hexadecimal.
#include <winport/machine.h>
#include <winport/typelib.h>
#include <winport/windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "registry_text.h"

namespace {

namespace fs = std::filesystem;
using winport::WideString;
using winport::detail::GuidText;
using winport::detail::ReadRegistryText;
using winport::detail::WriteRegistryText;

constexpr const OLECHAR* kAutomationMarshaler = OLESTR("{00020424-0000-0000-C000-000000000046}");

// One type the library describes.
struct TypeEntry {
  TYPEKIND kind;
  GUID guid;
  WideString name;
  WideString help;
};

struct Description {
  GUID libid = GUID_NULL;
  WORD major = 0;
  WORD minor = 0;
  LCID lcid = 0;
  WideString name;
  WideString help;
  std::vector<TypeEntry> types;
};

constexpr std::pair<const char*, TYPEKIND> kTypeKeywords[] = {
    {"interface", TKIND_INTERFACE}, {"coclass", TKIND_COCLASS}, {"enum", TKIND_ENUM}};

// "interface", "coclass" or "enum": its kind; false for any other word.
bool TypeKeyword(const std::string& keyword, TYPEKIND* kind) {
  for (const auto& [word, named] : kTypeKeywords) {
    if (keyword == word) {
      *kind = named;
      return true;
    }
  }
  return false;
}

bool ParseGuid(const std::string& text, GUID* guid) {
  const WideString wide = winport::Utf8ToWide(text);
  return text.size() == 38 && IIDFromString(wide.c_str(), guid) == S_OK;
}

// Reads the description; false when it is missing or malformed.
bool ReadDescription(const fs::path& file, Description* out) {
  std::ifstream in(file);
  if (!in) return false;
  Description description;
  bool has_library = false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string keyword;
    words >> keyword;
    std::string rest;
    if (keyword == "library") {
      std::string libid, version;
      unsigned lcid = 0;
      words >> libid >> version >> lcid;
      std::getline(words >> std::ws, rest);
      unsigned major = 0, minor = 0;
      if (!ParseGuid(libid, &description.libid) ||
          std::sscanf(version.c_str(), "%u.%u", &major, &minor) != 2 || rest.empty()) {
        return false;
      }
      description.major = static_cast<WORD>(major);
      description.minor = static_cast<WORD>(minor);
      description.lcid = lcid;
      description.name = winport::Utf8ToWide(rest);
      has_library = true;
    } else if (keyword == "helpstring") {
      std::getline(words >> std::ws, rest);
      description.help = winport::Utf8ToWide(rest);
    } else if (TYPEKIND kind; TypeKeyword(keyword, &kind)) {
      std::string guid, name;
      words >> guid >> name;
      std::getline(words >> std::ws, rest);
      TypeEntry entry{kind, GUID_NULL, winport::Utf8ToWide(name), winport::Utf8ToWide(rest)};
      if (!ParseGuid(guid, &entry.guid) || name.empty()) return false;
      description.types.push_back(std::move(entry));
    } else {
      return false;
    }
  }
  if (!has_library) return false;
  *out = std::move(description);
  return true;
}

// "dir/libname.so" and "dir/name.dll" carry "dir/libname.tlb" / "dir/name.tlb".
std::vector<fs::path> DescriptionCandidates(const fs::path& module) {
  if (module.extension() == ".tlb") return {module};
  fs::path same = module;
  same.replace_extension(".tlb");
  std::vector<fs::path> candidates{same};
  const std::string stem = module.stem().string();
  if (stem.rfind("lib", 0) != 0) {
    candidates.push_back(module.parent_path() / ("lib" + stem + ".tlb"));
  }
  return candidates;
}

WideString VersionKey(const GUID& libid, WORD major, WORD minor) {
  char version[16];
  std::snprintf(version, sizeof version, "%x.%x", major, minor);
  return OLESTR("TypeLib\\") + GuidText(libid) + OLESTR("\\") + winport::Utf8ToWide(version);
}

WideString LcidText(LCID lcid) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(lcid));
  return winport::Utf8ToWide(text);
}

// The private interface through which registration reads a library winport loaded.
struct IWinportTypeLibDescription : IUnknown {
  virtual const Description& GetDescription() = 0;
};

}  // namespace
WINPORT_DEFINE_UUID(IWinportTypeLibDescription, 0x6A3F1C52, 0x0B7D, 0x4E8A, 0x9C, 0x21, 0x5D, 0x3E,
                    0x70, 0x11, 0xA4, 0x2B);
namespace {

class TypeLib final : public winport::ComObject<ITypeLib, IWinportTypeLibDescription> {
 public:
  explicit TypeLib(Description description) : description_(std::move(description)) {}

  UINT STDMETHODCALLTYPE GetTypeInfoCount() override {
    return static_cast<UINT>(description_.types.size());
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* kind) override {
    if (kind == nullptr) return E_INVALIDARG;
    if (index >= description_.types.size()) return TYPE_E_ELEMENTNOTFOUND;
    *kind = description_.types[index].kind;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** attr) override {
    if (attr == nullptr) return E_INVALIDARG;
    *attr = new (std::nothrow) TLIBATTR{description_.libid, description_.lcid,  SYS_WIN64,
                                        description_.major, description_.minor, 0};
    return *attr != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** comp) override {
    if (comp != nullptr) *comp = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* name, BSTR* doc, DWORD* context,
                                             BSTR* help_file) override {
    // -1 is the library itself.
    if (index < -1 || index >= static_cast<INT>(description_.types.size()))
      return TYPE_E_ELEMENTNOTFOUND;
    const WideString& named = index == -1 ? description_.name : description_.types[index].name;
    const WideString& help = index == -1 ? description_.help : description_.types[index].help;
    if (name != nullptr) *name = SysAllocString(named.c_str());
    if (doc != nullptr) *doc = help.empty() ? nullptr : SysAllocString(help.c_str());
    if (context != nullptr) *context = 0;
    if (help_file != nullptr) *help_file = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsName(LPOLESTR, ULONG, BOOL* found) override {
    if (found != nullptr) *found = FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*,
                                     USHORT* count) override {
    if (count != nullptr) *count = 0;
    return S_OK;
  }
  void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* attr) override { delete attr; }

  const Description& GetDescription() override { return description_; }

 private:
  Description description_;
};

HRESULT StatusToHresult(LSTATUS status) {
  return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
}

void DeleteTree(const WideString& path) {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
}

bool HasSubkeys(const WideString& path) {
  winport::ScopedHkey key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
    return false;
  }
  OLECHAR name[256];
  DWORD length = 256;
  return RegEnumKeyExW(key.Get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

}  // namespace

extern "C" HRESULT LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib) {
  if (szFile == nullptr || pptlib == nullptr) return E_INVALIDARG;
  *pptlib = nullptr;
  Description description;
  bool found = false;
  for (const fs::path& candidate : DescriptionCandidates(winport::machine::MapPath(szFile))) {
    if (ReadDescription(candidate, &description)) {
      found = true;
      break;
    }
  }
  if (!found) return TYPE_E_CANTLOADLIBRARY;
  winport::ComPtr<TypeLib> library = winport::MakeComObject<TypeLib>(std::move(description));
  if (!library) return E_OUTOFMEMORY;
  if (regkind == REGKIND_REGISTER) {
    WideString path = szFile;
    const auto slash = path.find_last_of(OLESTR("\\/"));
    WideString help_dir = slash == WideString::npos ? WideString() : path.substr(0, slash);
    const HRESULT hr = RegisterTypeLib(library.Get(), path.data(), help_dir.data());
    if (FAILED(hr)) return hr;
  }
  *pptlib = library.Detach();
  return S_OK;
}

extern "C" HRESULT RegisterTypeLib(ITypeLib* ptlib, OLECHAR* szFullPath, OLECHAR* szHelpDir) {
  if (ptlib == nullptr || szFullPath == nullptr) return E_INVALIDARG;
  winport::ComPtr<IWinportTypeLibDescription> ours;
  if (FAILED(ptlib->QueryInterface(ours.GetAddressOf()))) return E_NOTIMPL;
  const Description& library = ours->GetDescription();
  const WideString version_key = VersionKey(library.libid, library.major, library.minor);
  const WideString title = library.help.empty() ? library.name : library.help;
  const WideString help_dir = szHelpDir != nullptr ? WideString(szHelpDir) : WideString();
  LSTATUS status = WriteRegistryText(HKEY_CLASSES_ROOT, version_key, {}, title);
  if (status == ERROR_SUCCESS) {
    status = WriteRegistryText(HKEY_CLASSES_ROOT, version_key + OLESTR("\\FLAGS"), {}, OLESTR("0"));
  }
  if (status == ERROR_SUCCESS) {
    status = WriteRegistryText(HKEY_CLASSES_ROOT, version_key + OLESTR("\\HELPDIR"), {}, help_dir);
  }
  if (status == ERROR_SUCCESS) {
    status = WriteRegistryText(
        HKEY_CLASSES_ROOT, version_key + OLESTR("\\") + LcidText(library.lcid) + OLESTR("\\win64"),
        {}, szFullPath);
  }
  char version[16];
  std::snprintf(version, sizeof version, "%x.%x", library.major, library.minor);
  for (const TypeEntry& entry : library.types) {
    if (status != ERROR_SUCCESS) break;
    if (entry.kind != TKIND_INTERFACE) continue;  // only interfaces are registered
    const WideString key = OLESTR("Interface\\") + GuidText(entry.guid);
    status = WriteRegistryText(HKEY_CLASSES_ROOT, key, {}, entry.name);
    if (status == ERROR_SUCCESS) {
      status = WriteRegistryText(HKEY_CLASSES_ROOT, key + OLESTR("\\ProxyStubClsid32"), {},
                                 kAutomationMarshaler);
    }
    if (status == ERROR_SUCCESS) {
      status = WriteRegistryText(HKEY_CLASSES_ROOT, key + OLESTR("\\TypeLib"), {},
                                 GuidText(library.libid));
    }
    if (status == ERROR_SUCCESS) {
      status = WriteRegistryText(HKEY_CLASSES_ROOT, key + OLESTR("\\TypeLib"), OLESTR("Version"),
                                 winport::Utf8ToWide(version));
    }
  }
  return StatusToHresult(status);
}

extern "C" HRESULT QueryPathOfRegTypeLib(REFGUID guid, USHORT wMaj, USHORT wMin, LCID lcid,
                                         LPBSTR lpbstrPathName) {
  if (lpbstrPathName == nullptr) return E_INVALIDARG;
  *lpbstrPathName = nullptr;
  const WideString version_key = VersionKey(guid, wMaj, wMin);
  // The library registered for this locale, else the neutral one.
  for (LCID candidate : {lcid, LCID{0}}) {
    const auto path = ReadRegistryText(
        HKEY_CLASSES_ROOT, version_key + OLESTR("\\") + LcidText(candidate) + OLESTR("\\win64"));
    if (path) {
      *lpbstrPathName = SysAllocStringLen(path->data(), static_cast<UINT>(path->size()));
      return *lpbstrPathName != nullptr ? S_OK : E_OUTOFMEMORY;
    }
  }
  return TYPE_E_LIBNOTREGISTERED;
}

extern "C" HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                     SYSKIND /*syskind*/) {
  const WideString version_key = VersionKey(libID, wVerMajor, wVerMinor);
  winport::ScopedBstr path;
  if (QueryPathOfRegTypeLib(libID, wVerMajor, wVerMinor, lcid, path.Receive()) != S_OK) {
    return TYPE_E_LIBNOTREGISTERED;
  }
  // The interfaces go only where they still belong to this library.
  winport::ComPtr<ITypeLib> library;
  winport::ComPtr<IWinportTypeLibDescription> ours;
  if (SUCCEEDED(LoadTypeLibEx(path.Get(), REGKIND_NONE, library.GetAddressOf())) &&
      SUCCEEDED(library.As(&ours))) {
    for (const TypeEntry& entry : ours->GetDescription().types) {
      if (entry.kind != TKIND_INTERFACE) continue;
      const WideString key = OLESTR("Interface\\") + GuidText(entry.guid);
      if (ReadRegistryText(HKEY_CLASSES_ROOT, key + OLESTR("\\TypeLib")) == GuidText(libID)) {
        DeleteTree(key);
      }
    }
  }
  DeleteTree(version_key);
  const WideString library_key = OLESTR("TypeLib\\") + GuidText(libID);
  if (!HasSubkeys(library_key)) DeleteTree(library_key);
  return S_OK;
}
