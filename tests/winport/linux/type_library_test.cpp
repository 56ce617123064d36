// Type libraries on Linux: the text description beside the module, and its registration.
#include <gtest/gtest.h>

#include <fstream>

#include <winport/machine.h>
#include <winport/windows.h>

#include "wide_matchers.h"

namespace {

using testing_support::NarrowBstr;
using winport::WideString;

constexpr GUID kLibId = {
    0x1B2C3D4E, 0x5F60, 0x4172, {0x83, 0x94, 0xA5, 0xB6, 0xC7, 0xD8, 0xE9, 0xF0}};
constexpr const char* kDescription =
    "# the admin module's type library\n"
    "library {1B2C3D4E-5F60-4172-8394-A5B6C7D8E9F0} 1.0 0 QuillmereAdminLib\n"
    "helpstring Quillmere administrative module 1.0 Type Library\n"
    "interface {6E0F8C1A-2B3D-4E5F-9A0B-1C2D3E4F5A6B} ISetting\n";

std::optional<std::string> DefaultText(const WideString& path) {
  winport::ScopedHkey key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  OLECHAR text[512] = {};
  DWORD size = sizeof text - sizeof(OLECHAR);
  if (RegQueryValueExW(key.Get(), OLESTR(""), nullptr, nullptr, reinterpret_cast<LPBYTE>(text),
                       &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return testing_support::Narrow(text);
}

bool KeyExists(const WideString& path) {
  winport::ScopedHkey key;
  return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Receive()) ==
         ERROR_SUCCESS;
}

class TypeLibraryTest : public testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(winport::machine::LibraryDirectory() / "libquillmere-admin.tlb") << kDescription;
  }
  const WideString module_ = OLESTR("C:\\lib\\libquillmere-admin.so");
};

TEST_F(TypeLibraryTest, LoadsTheDescriptionBesideTheModule) {
  winport::ComPtr<ITypeLib> library;
  ASSERT_EQ(LoadTypeLibEx(module_.c_str(), REGKIND_NONE, library.GetAddressOf()), S_OK);
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, kLibId);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->syskind, SYS_WIN64);
  library->ReleaseTLibAttr(attr);
  // Loading without registering writes nothing.
  EXPECT_FALSE(KeyExists(OLESTR("TypeLib\\{1B2C3D4E-5F60-4172-8394-A5B6C7D8E9F0}")));
}

TEST_F(TypeLibraryTest, MissingDescriptionCannotBeLoaded) {
  winport::ComPtr<ITypeLib> library;
  EXPECT_EQ(LoadTypeLibEx(OLESTR("C:\\lib\\libnothing.so"), REGKIND_NONE, library.GetAddressOf()),
            TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(library.Get(), nullptr);
}

TEST_F(TypeLibraryTest, RegistrationWritesAndRemovesTheWindowsKeys) {
  winport::ComPtr<ITypeLib> library;
  ASSERT_EQ(LoadTypeLibEx(module_.c_str(), REGKIND_REGISTER, library.GetAddressOf()), S_OK);
  const WideString version = OLESTR("TypeLib\\{1B2C3D4E-5F60-4172-8394-A5B6C7D8E9F0}\\1.0");
  const WideString interface_key = OLESTR("Interface\\{6E0F8C1A-2B3D-4E5F-9A0B-1C2D3E4F5A6B}");
  EXPECT_EQ(DefaultText(version), "Quillmere administrative module 1.0 Type Library");
  EXPECT_EQ(DefaultText(version + OLESTR("\\FLAGS")), "0");
  EXPECT_EQ(DefaultText(version + OLESTR("\\HELPDIR")), "C:\\lib");
  EXPECT_EQ(DefaultText(version + OLESTR("\\0\\win64")), "C:\\lib\\libquillmere-admin.so");
  EXPECT_EQ(DefaultText(interface_key), "ISetting");
  EXPECT_EQ(DefaultText(interface_key + OLESTR("\\ProxyStubClsid32")),
            "{00020424-0000-0000-C000-000000000046}");
  EXPECT_EQ(DefaultText(interface_key + OLESTR("\\TypeLib")),
            "{1B2C3D4E-5F60-4172-8394-A5B6C7D8E9F0}");

  winport::ScopedBstr path;
  ASSERT_EQ(QueryPathOfRegTypeLib(kLibId, 1, 0, 0x409, path.Receive()), S_OK);  // falls back to 0
  EXPECT_EQ(NarrowBstr(path.Get()), "C:\\lib\\libquillmere-admin.so");

  ASSERT_EQ(UnRegisterTypeLib(kLibId, 1, 0, 0, SYS_WIN64), S_OK);
  EXPECT_FALSE(KeyExists(version));
  EXPECT_FALSE(KeyExists(interface_key));
  EXPECT_FALSE(KeyExists(OLESTR("TypeLib\\{1B2C3D4E-5F60-4172-8394-A5B6C7D8E9F0}")));
  EXPECT_EQ(QueryPathOfRegTypeLib(kLibId, 1, 0, 0, path.Receive()), TYPE_E_LIBNOTREGISTERED);
}

}  // namespace
