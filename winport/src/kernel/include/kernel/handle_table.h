// The process's one table of kernel-object handles. Objects are shared: a handle holds a
// reference, and so does whoever is using the object (a wait), so closing the last
// handle never pulls an object from under a thread that still works with it.
#pragma once

#include <memory>

#include <winport/base_types.h>

namespace winport::detail {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
};

// A new handle to object; never null, never a pseudo handle, never reused.
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);

// The object of an open handle, or null.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

// The object when it is open and of kind T, else null with ERROR_INVALID_HANDLE.
template <typename T>
std::shared_ptr<T> LookupHandleOf(HANDLE handle);

// Removes the handle; false when it was not open.
bool RemoveHandle(HANDLE handle);

// The calling thread's pseudo handle: GetCurrentThread().
inline const HANDLE kCurrentThreadPseudoHandle =
    reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));
inline const HANDLE kCurrentProcessPseudoHandle =
    reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

void SetInvalidHandleError();

template <typename T>
std::shared_ptr<T> LookupHandleOf(HANDLE handle) {
  auto object = std::dynamic_pointer_cast<T>(LookupHandle(handle));
  if (object == nullptr) SetInvalidHandleError();
  return object;
}

}  // namespace winport::detail
