// A fresh settings store for each test, reached the way the store's readers reach it, and
// small helpers that put settings in and read them back through the WMI client API.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include <winport/com_ptr.h>
#include <winport/scoped_bstr.h>
#include <winport/scoped_variant.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "platform_skips.h"
#include "recording_reporter.h"
#include "settings/setting.h"

namespace settings_testing {

inline HRESULT Status(WBEMSTATUS status) {
  return static_cast<HRESULT>(status);
}

class StoreTest : public testing::Test {
 protected:
  void SetUp() override {
    SKIP_ON_WINE("Wine's WMI cannot create namespaces, classes or instances");
  }

  // root\cimv2, or the settings namespace below it (null when missing).
  static winport::ComPtr<IWbemServices> Root() {
    winport::ComPtr<IWbemLocator> locator;
    EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                               reinterpret_cast<void**>(locator.GetAddressOf())),
              S_OK);
    winport::ComPtr<IWbemServices> root;
    EXPECT_EQ(locator->ConnectServer(winport::ScopedBstr(OLESTR("root\\cimv2")).Get(), nullptr,
                                     nullptr, nullptr, 0, nullptr, nullptr, root.GetAddressOf()),
              S_OK);
    return root;
  }
  static winport::ComPtr<IWbemServices> Settings() {
    winport::ComPtr<IWbemServices> settings;
    Root()->OpenNamespace(winport::ScopedBstr(OLESTR("quillmere")).Get(), 0, nullptr,
                          settings.GetAddressOf(), nullptr);
    return settings;
  }

  // A new setting (the store's namespace and class made by a connection first).
  void Store(const OLECHAR* name, LONG cimType, const OLECHAR* property,
             winport::ScopedVariant value, const OLECHAR* description = nullptr) {
    CSettingConnected();
    const auto settings = Settings();
    winport::ComPtr<IWbemClassObject> metadata;
    ASSERT_EQ(settings->GetObject(winport::ScopedBstr(OLESTR("Metadata")).Get(), 0, nullptr,
                                  metadata.GetAddressOf(), nullptr),
              S_OK);
    winport::ComPtr<IWbemClassObject> instance;
    ASSERT_EQ(metadata->SpawnInstance(0, instance.GetAddressOf()), S_OK);
    winport::ScopedVariant settingName(name);
    winport::ScopedVariant type(cimType);
    ASSERT_EQ(instance->Put(OLESTR("SettingName"), 0, settingName.AsInput(), 0), S_OK);
    ASSERT_EQ(instance->Put(OLESTR("CIMTYPE"), 0, type.AsInput(), 0), S_OK);
    if (property != nullptr) {
      ASSERT_EQ(instance->Put(property, 0, value.AsInput(), 0), S_OK);
    }
    if (description != nullptr) {
      winport::ScopedVariant text(description);
      ASSERT_EQ(instance->Put(OLESTR("Description"), 0, text.AsInput(), 0), S_OK);
    }
    ASSERT_EQ(settings->PutInstance(instance.Get(), 0, nullptr, nullptr), S_OK);
  }

  // A stored property as text ("null" for none), or "missing" without the instance.
  static std::string Stored(const char* name, const OLECHAR* property) {
    const auto settings = Settings();
    if (!settings) return "missing";
    winport::ComPtr<IWbemClassObject> instance;
    const std::string path = std::string("Metadata=\"") + name + "\"";
    settings->GetObject(winport::ScopedBstr(winport::Utf8ToWide(path).c_str()).Get(), 0, nullptr,
                        instance.GetAddressOf(), nullptr);
    if (!instance) return "missing";
    winport::ScopedVariant value;
    if (FAILED(instance->Get(property, 0, value.Receive(), nullptr, nullptr))) return "no property";
    if (value.Type() == VT_NULL) return "null";
    if (FAILED(value.ChangeType(VT_BSTR))) return "unconvertible";
    return winport::WideToUtf8(winport::BstrView(value.Get().bstrVal));
  }

  void CSettingConnected() {
    quillmere::CSetting setting(reporting);
    ASSERT_EQ(setting.Connect(), S_OK);
  }

  testing_support::RecordingReporter reporting;
  winport::ScopedComInit apartment{COINIT_MULTITHREADED};
};

}  // namespace settings_testing
