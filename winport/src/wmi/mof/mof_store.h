// Stores a parsed MOF document through the WMI client API, as any WMI client would: a
// connection per namespace, PutClass for each class, PutInstance for each instance.
#pragma once

#include <winport/com_ptr.h>

#include "mof_syntax.h"

namespace winport::wmi {

// The object that could not be stored: its 1-based number among the document's classes
// and instances, its lines, and the failure.
struct MofStoreFailure {
  HRESULT code = S_OK;
  LONG object_number = 0;
  LONG first_line = 0;
  LONG last_line = 0;
};

// The namespace a #pragma namespace path names while `current` is in force: the path
// itself when it starts with \\, else a child of `current`.
WideString ResolveMofNamespace(WideView current, WideView path);

class MofStore {
 public:
  // Objects go to `default_namespace` until a #pragma names another; the flags are those
  // of PutClass and PutInstance.
  MofStore(ComPtr<IWbemLocator> locator, WideString default_namespace, LONG class_flags,
           LONG instance_flags);

  // Stores the objects in order and stops at the first that fails; the objects before it
  // stay stored.
  HRESULT Store(const MofDocument& document, MofStoreFailure* failure);

 private:
  HRESULT Connect();
  HRESULT StoreClass(const MofClass& declared);
  HRESULT NewClassObject(const MofClass& declared, ComPtr<IWbemClassObject>* object);
  HRESULT StoreInstance(const MofInstance& declared);

  ComPtr<IWbemLocator> locator_;
  WideString namespace_;
  ComPtr<IWbemServices> services_;  // of namespace_, once connected
  LONG class_flags_;
  LONG instance_flags_;
};

}  // namespace winport::wmi
