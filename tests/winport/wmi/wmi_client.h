// What the WMI tests share: a connection made the way the settings code makes it, and
// small helpers over the client API.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include <winport/windows.h>

namespace wmi_tests {

using winport::ComPtr;
using winport::ScopedVariant;

inline HRESULT Status(WBEMSTATUS status) {
  return static_cast<HRESULT>(status);
}

inline winport::ScopedBstr Bstr(const OLECHAR* text) {
  return winport::ScopedBstr(text);
}

inline ScopedVariant Text(const OLECHAR* text) {
  return ScopedVariant(text);
}

inline ComPtr<IWbemLocator> Locator() {
  ComPtr<IWbemLocator> locator;
  EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                             reinterpret_cast<void**>(locator.GetAddressOf())),
            S_OK);
  return locator;
}

inline HRESULT Connect(IWbemLocator* locator, const OLECHAR* resource,
                       ComPtr<IWbemServices>* services) {
  return locator->ConnectServer(Bstr(resource).Get(), nullptr, nullptr, nullptr, 0, nullptr,
                                nullptr, services->ReleaseAndGetAddressOf());
}

// root\cimv2 through CLSID_WbemLocator, as the module connects.
inline ComPtr<IWbemServices> ConnectRoot() {
  ComPtr<IWbemServices> root;
  ComPtr<IWbemLocator> locator = Locator();
  if (locator) {
    EXPECT_EQ(Connect(locator.Get(), OLESTR("\\\\.\\root\\cimv2"), &root), S_OK);
  }
  return root;
}

// The object at path; a null path asks for an empty class.
inline HRESULT GetObject(IWbemServices* services, const OLECHAR* path,
                         ComPtr<IWbemClassObject>* object) {
  return services->GetObject(path ? Bstr(path).Get() : nullptr, 0, nullptr,
                             object->ReleaseAndGetAddressOf(), nullptr);
}

// A new instance of a stored class, or null.
inline ComPtr<IWbemClassObject> Spawn(IWbemServices* services, const OLECHAR* class_name) {
  ComPtr<IWbemClassObject> stored;
  ComPtr<IWbemClassObject> instance;
  if (SUCCEEDED(GetObject(services, class_name, &stored)))
    stored->SpawnInstance(0, instance.GetAddressOf());
  return instance;
}

inline HRESULT Put(IWbemClassObject* object, const OLECHAR* name, const ScopedVariant& value,
                   CIMTYPE type = 0) {
  return object->Put(name, 0, value.AsInput(), type);
}

// A class of the given name whose key property is `key`, unsaved; `key_qualifier` is the
// Key qualifier's value, as a class writer may give it.
inline ComPtr<IWbemClassObject> NewClass(IWbemServices* services, const OLECHAR* name,
                                         const OLECHAR* key, CIMTYPE key_type,
                                         const VARIANT& key_qualifier, LONG flavor = 0) {
  ComPtr<IWbemClassObject> made;
  EXPECT_EQ(GetObject(services, nullptr, &made), S_OK);
  EXPECT_EQ(Put(made.Get(), OLESTR("__CLASS"), Text(name)), S_OK);
  EXPECT_EQ(made->Put(key, 0, nullptr, key_type), S_OK);
  ComPtr<IWbemQualifierSet> qualifiers;
  EXPECT_EQ(made->GetPropertyQualifierSet(key, qualifiers.GetAddressOf()), S_OK);
  EXPECT_EQ(qualifiers->Put(OLESTR("Key"), const_cast<VARIANT*>(&key_qualifier), flavor), S_OK);
  return made;
}

inline VARIANT BooleanTrue() {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BOOL;
  value.boolVal = VARIANT_TRUE;
  return value;
}

// How many objects Next hands out at once (up to 8), released again.
inline ULONG Drain(IEnumWbemClassObject* enumerator, HRESULT expected = WBEM_S_FALSE) {
  IWbemClassObject* objects[8] = {};
  ULONG returned = 0;
  EXPECT_EQ(enumerator->Next(0, 8, objects, &returned), expected);
  for (ULONG i = 0; i < returned; ++i)
    objects[i]->Release();
  return returned;
}

// A property's value as text ("" for null), or "error <code>" when it cannot be read.
inline std::string PropertyText(IWbemClassObject* object, const OLECHAR* name) {
  ScopedVariant value;
  const HRESULT hr = object->Get(name, 0, value.Receive(), nullptr, nullptr);
  if (FAILED(hr)) return "error " + std::to_string(static_cast<unsigned>(hr));
  if (value.Type() == VT_NULL) return "";
  if (FAILED(value.ChangeType(VT_BSTR))) return "unconvertible";
  return winport::WideToUtf8(winport::BstrView(value.Get().bstrVal));
}

// Runs change in a child process with its own connection; true when it succeeded.
inline bool ChangedByAnotherProcess(const std::function<HRESULT(IWbemServices*)>& change) {
  const pid_t child = fork();
  if (child == 0) {
    winport::ScopedComInit com(COINIT_MULTITHREADED);
    ComPtr<IWbemServices> root = ConnectRoot();
    _exit(root && SUCCEEDED(change(root.Get())) ? 0 : 1);
  }
  int status = 0;
  return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace wmi_tests
