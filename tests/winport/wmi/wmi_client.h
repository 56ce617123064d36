// What the WMI tests share: a connection made the way the settings code makes it, and
// small helpers over the client API.
#pragma once

#include <gtest/gtest.h>

#include <winport/windows.h>

namespace wmi_tests {

inline HRESULT Status(WBEMSTATUS status) {
  return static_cast<HRESULT>(status);
}

inline winport::ScopedBstr Bstr(const OLECHAR* text) {
  return winport::ScopedBstr(text);
}

// root\cimv2 through CLSID_WbemLocator, as the module connects.
inline winport::ComPtr<IWbemServices> ConnectRoot() {
  winport::ComPtr<IWbemLocator> locator;
  EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                             reinterpret_cast<void**>(locator.GetAddressOf())),
            S_OK);
  winport::ComPtr<IWbemServices> root;
  if (locator) {
    EXPECT_EQ(locator->ConnectServer(Bstr(OLESTR("\\\\.\\root\\cimv2")).Get(), nullptr, nullptr,
                                     nullptr, 0, nullptr, nullptr, root.GetAddressOf()),
              S_OK);
  }
  return root;
}

inline winport::ScopedVariant Text(const OLECHAR* text) {
  return winport::ScopedVariant(text);
}

// A property's value as text ("" for null), or the failure's code in hex.
inline std::string PropertyText(IWbemClassObject* object, const OLECHAR* name) {
  winport::ScopedVariant value;
  const HRESULT hr = object->Get(name, 0, value.Receive(), nullptr, nullptr);
  if (FAILED(hr)) return "error " + std::to_string(static_cast<unsigned>(hr));
  if (value.Get().vt == VT_NULL) return "";
  VARIANT text;
  VariantInit(&text);
  if (FAILED(VariantChangeType(&text, const_cast<VARIANT*>(&value.Get()), 0, VT_BSTR)))
    return "unconvertible";
  std::string result = winport::WideToUtf8(winport::BstrView(text.bstrVal));
  VariantClear(&text);
  return result;
}

}  // namespace wmi_tests
