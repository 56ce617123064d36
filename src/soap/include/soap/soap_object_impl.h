// The common base of the module's SOAP objects: registers the object with the host,
// finds the method a request names, runs it inside the entry discipline and turns its
// result into a response, a SOAP fault or a dispatch to the next object of an OnSuccess
// chain. It also gives the methods their ways to the host's named objects.
#pragma once

#include <atomic>
#include <list>
#include <optional>
#include <vector>

#include <winport/com_ptr.h>
#include <winport/critical_section.h>
#include <winport/scoped_bstr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "diagnostics/reporter.h"
#include "quillmere/session_manager.h"
#include "quillmere/soap_host.h"
#include "quillmere/soap_object_interfaces.h"
#include "soap/execute_context.h"
#include "soap/soap_method.h"

namespace quillmere {

class ISOAPObjectImpl : public _ISoapObject, public ISetting {
 public:
  // IUnknown: the object answers IUnknown, _ISoapObject and ISetting.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // _ISoapObject.
  HRESULT STDMETHODCALLTYPE Init(ISoapService* service) override;
  HRESULT STDMETHODCALLTYPE SetStop() override;
  HRESULT STDMETHODCALLTYPE Execute(ISOAPMessage* request, ISOAPMessage** response) override;

  // ISetting: a changed setting replaces the reporting level, whatever its name.
  HRESULT STDMETHODCALLTYPE Modify(BSTR name, VARIANT value) override;

  // For the methods: the host's named object, asked for iid.
  HRESULT GetNamedObjectQI(BSTR name, REFIID iid, void** object);
  // For the methods: the caller's session, from the host's session manager.
  HRESULT DoReconnect(BSTR identityToken, ISession** session);
  HRESULT DoPhantomReconnect(BSTR identityToken, ISession** session);
  // The host's "Extension" object, looked up once (borrowed; may be null).
  IExtensionObject* GetExtension();

  const OLECHAR* ObjectName() const { return name_.Get(); }
  // The names of the methods the object serves, in its list order.
  std::vector<winport::WideString> MethodNames() const;
  Reporter& reporting() const { return reporting_; }

 protected:
  // name may be null; it is copied.
  ISOAPObjectImpl(Reporter& reporting, const OLECHAR* name);
  virtual ~ISOAPObjectImpl();
  ISOAPObjectImpl(const ISOAPObjectImpl&) = delete;
  ISOAPObjectImpl& operator=(const ISOAPObjectImpl&) = delete;

  // Appends a method member; called by the constructors only, in the object's list order.
  void AddMethod(SOAPMethod& method) { methods_.push_back(&method); }

  virtual bool CanStart() { return true; }
  virtual HRESULT OnStart() = 0;
  virtual HRESULT OnStop() = 0;
  // Methods done directly: their variables are copied and nothing follows.
  virtual bool ProcessDirectResult(ExecuteContext& context);
  // A request for a method the object does not have; true when it was handled.
  virtual bool ProcessUnknownMethod(ExecuteContext&) { return false; }
  // Called when the last reference goes, before the object is destroyed.
  virtual void FinalRelease() {}

  // A lifecycle hook that only traces: the entry discipline around nothing.
  HRESULT RunHook(const OLECHAR* traceName);

 private:
  HRESULT ExecuteRequest(ISOAPMessage* request, ISOAPMessage** responseSlot);
  std::optional<HRESULT> RunMethod(ExecuteContext& context, ISOAPMessage* response);
  HRESULT AnswerNotAuthenticated(ExecuteContext& context, ISOAPMessage* response);
  bool ProcessOnSuccess(ExecuteContext& context);
  bool FollowOnSuccess(ExecuteContext& context);
  SOAPMethod* FindMethod(winport::WideView name) const;
  HRESULT Reconnect(BSTR identityToken, ISession** session, bool phantom);
  void RegisterWithHost(bool registering);
  void ReportLifecycle(const OLECHAR* source, const char* text);
  winport::WideString FaultPrefix(const ExecuteContext& context) const;

  std::atomic<ULONG> refs_{0};
  Reporter& reporting_;
  winport::CriticalSection extensionLock_;
  std::atomic<bool> extensionLookedUp_{false};
  winport::ComPtr<IExtensionObject> extension_;
  std::list<SOAPMethod*> methods_;
  winport::ScopedBstr name_;
  winport::ComPtr<ISoapService> host_;
};

}  // namespace quillmere
