// JobProvider, PoolProvider and SessionProvider: every instance of one class of the
// settings namespace as a sheet, a column per property and a row per instance.
#pragma once

#include <winport/scoped_bstr.h>
#include <winport/windows.h>

#include "soap/soap_method.h"

namespace quillmere {

class CClassProvider : public SOAPMethod {
 public:
  winport::ScopedBstr name() const override { return winport::ScopedBstr(texts_.methodName); }
  HRESULT execute(ISOAPMessage* request, ISOAPMessage* response) final;

 protected:
  struct Texts {
    const OLECHAR* methodName;
    const OLECHAR* traceName;
    const OLECHAR* className;
    LONG variableCount;
  };
  CClassProvider(ISOAPObjectImpl& owner, const Texts& texts) : SOAPMethod(owner), texts_(texts) {}

 private:
  Texts texts_;
};

class CJobProvider : public CClassProvider {
 public:
  explicit CJobProvider(ISOAPObjectImpl& owner)
      : CClassProvider(
            owner, {OLESTR("JobProvider"), OLESTR("CJobProvider::execute"), OLESTR("Job"), 4}) {}
};

class CPoolProvider : public CClassProvider {
 public:
  explicit CPoolProvider(ISOAPObjectImpl& owner)
      : CClassProvider(owner, {OLESTR("PoolProvider"), OLESTR("CPoolProvider::execute"),
                               OLESTR("VXPool"), 6}) {}
};

class CSessionProvider : public CClassProvider {
 public:
  explicit CSessionProvider(ISOAPObjectImpl& owner)
      : CClassProvider(owner, {OLESTR("SessionProvider"), OLESTR("CSessionProvider::execute"),
                               OLESTR("Session"), 4}) {}
};

}  // namespace quillmere
