// The module loaded as the host loads it: registered when the machine does not know it,
// created by ProgID, started with the service and stopped again.
#include <gtest/gtest.h>

#include <sstream>

#include <winport/scoped_com_init.h>
#include <winport/windows.h>

#include "host/module_loader.h"
#include "host/soap_service.h"
#include "registry_text.h"

namespace {

using quillmere::host::LoadedModule;
using quillmere::host::MakeSoapService;
using winport::ComPtr;

class ModuleLoaderTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(com_.Succeeded()); }

  winport::ScopedComInit com_{COINIT_MULTITHREADED};
  std::ostringstream logText_;
  quillmere::host::HostLog log_{quillmere::host::LogLevel::Info, logText_};
  ComPtr<quillmere::host::SoapService> service_ =
      MakeSoapService([](quillmere::ISOAPMessage*, const std::string&) { return nullptr; });
};

bool Registered() {
  CLSID clsid{};
  return SUCCEEDED(CLSIDFromProgID(OLESTR("quillmere.Administer"), &clsid));
}

TEST_F(ModuleLoaderTest, AFreshMachineGetsTheModuleRegisteredAndBothObjectsStarted) {
  ASSERT_FALSE(Registered());
  {
    LoadedModule module(QUILLMERE_ADMIN_FILE, service_.Get(), log_);
    EXPECT_TRUE(Registered());
    EXPECT_TRUE(service_->Find("Administrator"));
    EXPECT_TRUE(service_->Find("WbemProvider"));
    module.Stop();
    EXPECT_FALSE(service_->Find("Administrator"));
    EXPECT_FALSE(service_->Find("WbemProvider"));
  }
  // Registered once, the next start finds it so and registers nothing.
  logText_.str("");
  LoadedModule again(QUILLMERE_ADMIN_FILE, service_.Get(), log_);
  EXPECT_TRUE(service_->Find("WbemProvider"));
  EXPECT_EQ(logText_.str().find("registering"), std::string::npos) << logText_.str();
}

TEST_F(ModuleLoaderTest, ARegistrationNamingAMissingLibraryIsRedone) {
  { LoadedModule first(QUILLMERE_ADMIN_FILE, service_.Get(), log_); }
  // Every class of the module now points at a library that is gone.
  CLSID clsid{};
  for (const char* progId : quillmere::host::kModuleProgIds) {
    ASSERT_EQ(CLSIDFromProgID(winport::Utf8ToWide(progId).c_str(), &clsid), S_OK);
    OLECHAR guid[39];
    StringFromGUID2(clsid, guid, 39);
    const winport::WideString key =
        OLESTR("CLSID\\") + winport::WideString(guid) + OLESTR("\\InprocServer32");
    testing_support::WriteRegistryString(HKEY_CLASSES_ROOT, key.c_str(), nullptr,
                                         OLESTR("/no/such/libquillmere_admin.so"));
  }
  LoadedModule module(QUILLMERE_ADMIN_FILE, service_.Get(), log_);
  EXPECT_TRUE(service_->Find("Administrator"));
  EXPECT_NE(logText_.str().find("registering the module again"), std::string::npos);
}

TEST_F(ModuleLoaderTest, ALibraryThatCannotBeLoadedStopsTheStart) {
  EXPECT_THROW(LoadedModule("/no/such/libquillmere_admin.so", service_.Get(), log_),
               std::runtime_error);
  EXPECT_FALSE(Registered());
}

}  // namespace
