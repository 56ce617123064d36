// A fresh settings store for each test, settings loaded into it as MOF text, and what is
// stored read back through the WMI client API.
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

  // The settings namespace, or null while it is missing.
  static winport::ComPtr<IWbemServices> Settings() {
    winport::ComPtr<IWbemLocator> locator;
    CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                     reinterpret_cast<void**>(locator.GetAddressOf()));
    winport::ComPtr<IWbemServices> settings;
    locator->ConnectServer(winport::ScopedBstr(OLESTR("root\\cimv2\\quillmere")).Get(), nullptr,
                           nullptr, nullptr, 0, nullptr, nullptr, settings.GetAddressOf());
    return settings;
  }

  // Loads MOF text into the settings namespace, made first by a connection.
  void Load(const std::string& mof) {
    ASSERT_EQ(quillmere::CSetting(reporting).Connect(), S_OK);
    winport::ComPtr<IMofCompiler> compiler;
    ASSERT_EQ(CoCreateInstance(CLSID_MofCompiler, nullptr, CLSCTX_INPROC_SERVER, IID_IMofCompiler,
                               reinterpret_cast<void**>(compiler.GetAddressOf())),
              S_OK);
    const std::string text =
        "#pragma namespace(\"\\\\\\\\.\\\\root\\\\cimv2\\\\quillmere\")\n" + mof;
    WBEM_COMPILE_STATUS_INFO status{};
    ASSERT_EQ(compiler->CompileBuffer(static_cast<long>(text.size()),
                                      reinterpret_cast<BYTE*>(const_cast<char*>(text.data())),
                                      nullptr, nullptr, nullptr, nullptr, 0, 0, 0, &status),
              S_OK)
        << "line " << status.FirstLine;
  }

  // A stored property as text ("null" for none), or "missing" without the instance.
  static std::string Stored(const char* name, const OLECHAR* property) {
    const auto settings = Settings();
    winport::ComPtr<IWbemClassObject> instance;
    const std::string path = std::string("Metadata=\"") + name + "\"";
    if (settings) {
      settings->GetObject(winport::ScopedBstr(winport::Utf8ToWide(path).c_str()).Get(), 0, nullptr,
                          instance.GetAddressOf(), nullptr);
    }
    winport::ScopedVariant value;
    if (!instance || FAILED(instance->Get(property, 0, value.Receive(), nullptr, nullptr)))
      return "missing";
    if (value.Type() == VT_NULL) return "null";
    value.ChangeType(VT_BSTR);
    return winport::WideToUtf8(winport::BstrView(value.Get().bstrVal));
  }

  testing_support::RecordingReporter reporting;
  winport::ScopedComInit apartment{COINIT_MULTITHREADED};
};

// One instance of Metadata in MOF.
inline std::string Setting(const std::string& name, int cimType, const std::string& values) {
  return "instance of Metadata { SettingName = \"" + name +
         "\"; CIMTYPE = " + std::to_string(cimType) + "; " + values + " };\n";
}

}  // namespace settings_testing
