#include "handles.h"

#include <memory>

#include "kernel/handle_table.h"

namespace winport::handles {
namespace {

// An object whose only state lives with its owner, which `close` releases once the last
// reference to the handle is gone.
class ClosingObject final : public winport::detail::KernelObject {
 public:
  explicit ClosingObject(Closer close) : close_(close) {}
  ~ClosingObject() override {
    if (handle_ != nullptr) close_(handle_);
  }
  void Bind(HANDLE handle) { handle_ = handle; }

 private:
  Closer close_;
  HANDLE handle_ = nullptr;
};

}  // namespace

HANDLE Allocate(Closer close) {
  auto object = std::make_shared<ClosingObject>(close);
  const HANDLE handle = winport::detail::InsertHandle(object);
  object->Bind(handle);
  return handle;
}

bool Close(HANDLE handle) {
  return winport::detail::RemoveHandle(handle);
}

}  // namespace winport::handles
