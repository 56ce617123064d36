#include "object_enumerator.h"

#include "common/injected_fault.h"
#include "guarded_call.h"

namespace winport::wmi {
namespace {

bool ValidTimeout(LONG timeout) {
  return timeout >= 0 || timeout == static_cast<LONG>(WBEM_INFINITE);
}

class ObjectEnumerator final : public ComObject<IEnumWbemClassObject> {
 public:
  ObjectEnumerator(std::shared_ptr<const ObjectList> objects, std::size_t next)
      : objects_(std::move(objects)), next_(next) {}

  HRESULT STDMETHODCALLTYPE Reset() override {
    WINPORT_FAIL_HRESULT("IEnumWbemClassObject::Reset");
    next_ = 0;
    return WBEM_S_NO_ERROR;
  }
  HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objects,
                                 ULONG* returned) override {
    WINPORT_FAIL_HRESULT("Next");
    if (objects == nullptr || returned == nullptr || !ValidTimeout(timeout))
      return WBEM_E_INVALID_PARAMETER;
    ULONG given = 0;
    while (given < count && next_ < objects_->size()) {
      objects[given++] = ComPtr<IWbemClassObject>((*objects_)[next_++]).Detach();
    }
    *returned = given;
    return given == count ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject** copy) override {
    WINPORT_FAIL_HRESULT("IEnumWbemClassObject::Clone");
    if (copy == nullptr) return WBEM_E_INVALID_PARAMETER;
    *copy = nullptr;
    return GuardedCall([&]() -> HRESULT {
      *copy = ComPtr<IEnumWbemClassObject>(new ObjectEnumerator(objects_, next_)).Detach();
      return WBEM_S_NO_ERROR;
    });
  }
  HRESULT STDMETHODCALLTYPE Skip(LONG timeout, ULONG count) override {
    WINPORT_FAIL_HRESULT("IEnumWbemClassObject::Skip");
    if (!ValidTimeout(timeout)) return WBEM_E_INVALID_PARAMETER;
    const std::size_t left = objects_->size() - next_;
    next_ += std::min<std::size_t>(left, count);
    return left >= count ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
  }

 private:
  std::shared_ptr<const ObjectList> objects_;
  std::size_t next_;
};

}  // namespace

ComPtr<IEnumWbemClassObject> MakeObjectEnumerator(std::shared_ptr<const ObjectList> objects) {
  return ComPtr<IEnumWbemClassObject>(new ObjectEnumerator(std::move(objects), 0));
}

}  // namespace winport::wmi
