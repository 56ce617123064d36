#include "host/components/extension_object.h"

#include <winport/com_object.h>

#include "quillmere/session_manager.h"

namespace quillmere::host {
namespace {

// Only its identity is asked for: the host offers no extensions beyond that.
class ExtensionObject : public winport::ComObject<quillmere::IExtensionObject> {};

}  // namespace

winport::ComPtr<IUnknown> MakeExtensionObject() {
  const auto made = winport::MakeComObject<ExtensionObject>();
  return winport::ComPtr<IUnknown>(made.Get());
}

}  // namespace quillmere::host
