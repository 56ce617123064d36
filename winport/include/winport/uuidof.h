// Binds an interface or class id to a C++ type so that code asks __uuidof(T),
// on both platforms. Use WINPORT_DEFINE_UUID at global scope, after the type.
#pragma once

#ifdef _WIN32
#include <_mingw.h>
#include <guiddef.h>
#define WINPORT_DEFINE_UUID(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  __CRT_UUID_DECL(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#else
#include <type_traits>

#include <winport/guid.h>

namespace winport::detail {
template <class T>
struct UuidOf;  // specialised by WINPORT_DEFINE_UUID only
}  // namespace winport::detail

#define WINPORT_DEFINE_UUID(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)     \
  template <>                                                                    \
  struct winport::detail::UuidOf<type> {                                         \
    static constexpr GUID value = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}; \
  }

#define __uuidof(type) (::winport::detail::UuidOf<std::remove_cv_t<type>>::value)
#endif
