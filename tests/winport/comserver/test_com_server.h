// The interface and ids of the in-process test server, shared by the server library and
// the tests that activate it through the registry.
#pragma once

#include <winport/windows.h>

struct ITestCounter : IUnknown {
  // 1, 2, 3 ... per object.
  virtual HRESULT STDMETHODCALLTYPE Next(LONG* value) = 0;
};
WINPORT_DEFINE_UUID(ITestCounter, 0x3C6F0A91, 0x52E4, 0x4B0D, 0x8F, 0x17, 0x6A, 0x2C, 0x90, 0x41,
                    0xD3, 0x01);

// The class the server serves.
inline constexpr CLSID kTestCounterClass = {
    0x3C6F0A91, 0x52E4, 0x4B0D, {0x8F, 0x17, 0x6A, 0x2C, 0x90, 0x41, 0xD3, 0x02}};

// Each time the library is loaded it adds one to this DWORD value, so a test can tell a
// library that stayed loaded from one that was unloaded and loaded again.
inline constexpr const OLECHAR* kTestServerKey = OLESTR("Software\\QuillmereTests\\TestComServer");
inline constexpr const OLECHAR* kTestServerLoads = OLESTR("Loads");
