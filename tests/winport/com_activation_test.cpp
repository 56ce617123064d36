// Activation of in-process servers through the registry, ProgIDs and the category
// manager, against the test server library built beside this program.
#include <gtest/gtest.h>

#include <winport/windows.h>

#include "comserver/test_com_server.h"
#include "platform_skips.h"
#include "wide_matchers.h"

namespace {

using winport::WideString;

WideString GuidText(REFGUID guid) {
  OLECHAR text[39];
  StringFromGUID2(guid, text, 39);
  return WideString(text, 38);
}

void SetText(HKEY root, const WideString& path, const OLECHAR* name, const WideString& value) {
  winport::ScopedHkey key;
  ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            key.Receive(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(OLECHAR))),
            ERROR_SUCCESS);
}

bool KeyExists(HKEY root, const WideString& path) {
  winport::ScopedHkey key;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

DWORD LoadsOfTestServer() {
  DWORD loads = 0;
  DWORD size = sizeof loads;
  winport::ScopedHkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kTestServerKey, 0, KEY_READ, key.Receive()) ==
      ERROR_SUCCESS) {
    RegQueryValueExW(key.Get(), kTestServerLoads, nullptr, nullptr,
                     reinterpret_cast<LPBYTE>(&loads), &size);
  }
  return loads;
}

const WideString kClassKey = OLESTR("CLSID\\") + GuidText(kTestCounterClass);
const WideString kProgId = OLESTR("Quillmere.TestCounter");
const WideString kVersionedProgId = OLESTR("Quillmere.TestCounter.1");

// Registers the test server as a module's DllRegisterServer would, and removes it again.
class ComActivationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Succeeded());
    Cleanup();
    SetText(HKEY_CLASSES_ROOT, kClassKey, nullptr, OLESTR("Quillmere test counter"));
    SetText(HKEY_CLASSES_ROOT, kClassKey + OLESTR("\\InprocServer32"), nullptr,
            OLESTR("quillmere_testcom.dll"));
    SetText(HKEY_CLASSES_ROOT, kClassKey + OLESTR("\\InprocServer32"), OLESTR("ThreadingModel"),
            OLESTR("Both"));
    SetText(HKEY_CLASSES_ROOT, kVersionedProgId + OLESTR("\\CLSID"), nullptr,
            GuidText(kTestCounterClass));
    SetText(HKEY_CLASSES_ROOT, kProgId + OLESTR("\\CurVer"), nullptr, kVersionedProgId);
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    Cleanup();
  }
  static void Cleanup() {
    for (const WideString& key : {kClassKey, kProgId, kVersionedProgId})
      RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, OLESTR("Software\\QuillmereTests"));
  }

  winport::ScopedComInit com_{COINIT_MULTITHREADED};
};

TEST_F(ComActivationTest, ProgIdNamesTheClass) {
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(kVersionedProgId.c_str(), &clsid), S_OK);
  EXPECT_EQ(clsid, kTestCounterClass);
  CLSID unknown = kTestCounterClass;
  EXPECT_EQ(CLSIDFromProgID(OLESTR("Quillmere.NoSuchClass"), &unknown), CO_E_CLASSSTRING);
  EXPECT_EQ(unknown, GUID_NULL);
  SKIP_ON_WINE("it does not follow CurVer from a version-independent ProgID");
  clsid = GUID_NULL;
  EXPECT_EQ(CLSIDFromProgID(kProgId.c_str(), &clsid), S_OK);
  EXPECT_EQ(clsid, kTestCounterClass);
}

TEST_F(ComActivationTest, UnregisteredOrUnloadableClassesFail) {
  winport::ComPtr<ITestCounter> counter;
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (kClassKey + OLESTR("\\InprocServer32")).c_str());
  EXPECT_EQ(CoCreateInstance(kTestCounterClass, nullptr, CLSCTX_INPROC_SERVER,
                             IID_PPV_ARGS(counter.GetAddressOf())),
            REGDB_E_CLASSNOTREG);
  SKIP_ON_WINE("it answers E_ACCESSDENIED for a server library that cannot be found");
  SetText(HKEY_CLASSES_ROOT, kClassKey + OLESTR("\\InprocServer32"), nullptr,
          OLESTR("quillmere_no_such_library.dll"));
  EXPECT_EQ(CoCreateInstance(kTestCounterClass, nullptr, CLSCTX_INPROC_SERVER,
                             IID_PPV_ARGS(counter.GetAddressOf())),
            HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(counter.Get(), nullptr);
}

// The class comes from its library, which stays loaded until it agrees to unload.
TEST_F(ComActivationTest, CreatesTheClassFromItsLibraryUntilItAgreesToUnload) {
  winport::ComPtr<ITestCounter> counter;
  ASSERT_EQ(CoCreateInstance(kTestCounterClass, nullptr, CLSCTX_INPROC_SERVER,
                             IID_PPV_ARGS(counter.GetAddressOf())),
            S_OK);
  LONG value = 0;
  counter->Next(&value);
  counter->Next(&value);
  EXPECT_EQ(value, 2);
  EXPECT_EQ(LoadsOfTestServer(), 1u);
  CoFreeUnusedLibraries();  // an object is alive: the library refuses
  winport::ComPtr<ITestCounter> second;
  ASSERT_EQ(CoCreateInstance(kTestCounterClass, nullptr, CLSCTX_INPROC_SERVER,
                             IID_PPV_ARGS(second.GetAddressOf())),
            S_OK);
  EXPECT_EQ(LoadsOfTestServer(), 1u);

  SKIP_ON_WINE("it unloads free-threaded libraries only after a delay");
  counter.Reset();
  second.Reset();
  CoFreeUnusedLibraries();
  ASSERT_EQ(CoCreateInstance(kTestCounterClass, nullptr, CLSCTX_INPROC_SERVER,
                             IID_PPV_ARGS(counter.GetAddressOf())),
            S_OK);
  EXPECT_EQ(LoadsOfTestServer(), 2u);  // it was unloaded and loaded again
}

TEST_F(ComActivationTest, CategoryManagerRecordsImplementedCategories) {
  winport::ComPtr<ICatRegister> categories;
  ASSERT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                             IID_PPV_ARGS(categories.GetAddressOf())),
            S_OK);
  CATID catids[2] = {
      {0x7DD95801, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}},
      {0x7DD95802, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}}};
  ASSERT_EQ(categories->RegisterClassImplCategories(kTestCounterClass, 2, catids), S_OK);
  const WideString implemented = kClassKey + OLESTR("\\Implemented Categories\\");
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, implemented + GuidText(catids[0])));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, implemented + GuidText(catids[1])));
  ASSERT_EQ(categories->UnRegisterClassImplCategories(kTestCounterClass, 1, catids), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, implemented + GuidText(catids[0])));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, implemented + GuidText(catids[1])));
}

}  // namespace
