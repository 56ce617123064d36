// A class object served from this process, by class id, for as long as this lives.
#pragma once

#include <winport/windows.h>

namespace fakes {

class ClassRegistration {
 public:
  ClassRegistration(REFCLSID classId, IUnknown* factory)
      : registered_(CoRegisterClassObject(classId, factory, CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &cookie_)) {}
  ~ClassRegistration() {
    if (SUCCEEDED(registered_)) CoRevokeClassObject(cookie_);
  }
  ClassRegistration(const ClassRegistration&) = delete;
  ClassRegistration& operator=(const ClassRegistration&) = delete;

  HRESULT Registered() const { return registered_; }

 private:
  DWORD cookie_ = 0;
  HRESULT registered_;
};

}  // namespace fakes
