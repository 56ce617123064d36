// The module loaded as the host loads it: registered when the machine does not know it or
// knows it by a library that is gone, created by ProgID, started and stopped again.
#include <gtest/gtest.h>

#include <sstream>

#include <winport/scoped_com_init.h>
#include <winport/windows.h>

#include "host/server/module_loader.h"
#include "host/server/soap_service.h"
#include "registry_text.h"

namespace {

using quillmere::host::LoadedModule;

class ModuleLoaderTest : public testing::Test {
 protected:
  winport::ScopedComInit com_{COINIT_MULTITHREADED};
  std::ostringstream logText_;
  quillmere::host::HostLog log_{quillmere::host::LogLevel::Info, logText_};
  winport::ComPtr<quillmere::host::SoapService> service_ = quillmere::host::MakeSoapService(
      [](quillmere::ISOAPMessage*, const std::string&) { return nullptr; });
};

TEST_F(ModuleLoaderTest, RegistersWhenUnknownOrBrokenAndStartsAndStopsBothObjects) {
  const auto registrations = [&] {
    const size_t count = logText_.str().find("registering") == std::string::npos ? 0 : 1;
    logText_.str("");
    return count;
  };
  for (size_t expected : {1, 0}) {
    LoadedModule module(QUILLMERE_ADMIN_FILE, service_.Get(), log_);
    EXPECT_TRUE(service_->Find("Administrator") && service_->Find("WbemProvider"));
    module.Stop();
    EXPECT_FALSE(service_->Find("Administrator") || service_->Find("WbemProvider"));
    EXPECT_EQ(registrations(), expected);
  }
  // Every class of the module now names a library that is gone.
  for (const char* progId : quillmere::host::kModuleProgIds) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(winport::Utf8ToWide(progId).c_str(), &clsid), S_OK);
    OLECHAR guid[39];
    StringFromGUID2(clsid, guid, 39);
    testing_support::WriteRegistryString(
        HKEY_CLASSES_ROOT,
        (OLESTR("CLSID\\") + winport::WideString(guid) + OLESTR("\\InprocServer32")).c_str(),
        nullptr, OLESTR("/no/such/libquillmere_admin.so"));
  }
  LoadedModule repaired(QUILLMERE_ADMIN_FILE, service_.Get(), log_);
  EXPECT_TRUE(service_->Find("Administrator"));
  EXPECT_EQ(registrations(), 1u);
}

TEST_F(ModuleLoaderTest, ALibraryThatCannotBeLoadedStopsTheStart) {
  EXPECT_THROW(LoadedModule("/no/such/libquillmere_admin.so", service_.Get(), log_),
               std::runtime_error);
  CLSID clsid{};
  EXPECT_FALSE(SUCCEEDED(CLSIDFromProgID(OLESTR("quillmere.Administer"), &clsid)));
}

}  // namespace
