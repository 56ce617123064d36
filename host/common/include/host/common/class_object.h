// Serving a class from the host's own process: a class factory over a maker function,
// registered with COM for as long as the ServedClass lives.
#pragma once

#include <functional>

#include <winport/com_ptr.h>
#include <winport/windows.h>

namespace quillmere::host {

// A new object of the class; null when there is no memory for one.
using ObjectMaker = std::function<winport::ComPtr<IUnknown>()>;

class ServedClass {
 public:
  // Throws std::runtime_error when COM refuses the registration.
  ServedClass(REFCLSID classId, ObjectMaker make, DWORD context);
  ~ServedClass();
  ServedClass(const ServedClass&) = delete;
  ServedClass& operator=(const ServedClass&) = delete;

 private:
  DWORD cookie_ = 0;
};

}  // namespace quillmere::host
