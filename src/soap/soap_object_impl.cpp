#include "soap/soap_object_impl.h"

#include <optional>
#include <utility>

#include "errors/caught_exception.h"
#include "errors/com_error.h"
#include "errors/entry.h"
#include "errors/error_message.h"
#include "errors/failure_helpers.h"
#include "errors/new_bstr.h"
#include "soap/soap_fault.h"

namespace quillmere {

using winport::ComPtr;
using winport::ScopedBstr;
using winport::WideString;
using winport::WideView;

namespace {

// The text up to its first NUL; null counts as empty.
WideView UpToNul(BSTR text) {
  return text == nullptr ? WideView() : WideView(text);
}

// The description of the thread's current error info, which stays in place.
WideString CurrentErrorDescription() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.GetAddressOf()) != S_OK || !info) return {};
  ScopedBstr description;
  info->GetDescription(description.Receive());
  SetErrorInfo(0, info.Get());
  return WideString(UpToNul(description.Get()));
}

// Why a method could not be run, as the Execute fault texts give it.
struct MethodFailure {
  WideString text;
  HRESULT code;
};

// Execute's handler around a method: call only inside a catch block.
MethodFailure DescribeMethodFailure() {
  const CaughtException caught = ClassifyCaughtException();
  switch (caught.kind) {
    case CaughtKind::kComError:
      return {OLESTR("[COM error] ") + caught.comError->ErrorMessage() + OLESTR("\n") +
                  caught.comError->Description(),
              caught.code};
    case CaughtKind::kAutomation:
      return {OLESTR("[Automation error] ") + CaughtText(caught), caught.code};
    // A hardware fault is a std::exception here: its text is its name.
    case CaughtKind::kAccessViolation:
    case CaughtKind::kWin32:
    case CaughtKind::kStandard:
      return {CaughtText(caught), E_FAIL};
    case CaughtKind::kThrownHresult:
    case CaughtKind::kThrownInt:
    case CaughtKind::kThrownUnsigned:
    case CaughtKind::kUnknown:
      break;
  }
  return {OLESTR("anonymous exception"), E_FAIL};
}

}  // namespace

ISOAPObjectImpl::ISOAPObjectImpl(Reporter& reporting, const OLECHAR* name)
    : reporting_(reporting), name_(name) {
  if (!extensionLock_.Valid())
    RaiseComErrorWithoutInfo(HRESULT_FROM_WIN32(extensionLock_.InitError()));
  if (name != nullptr && name_.Get() == nullptr) RaiseComErrorWithoutInfo(E_OUTOFMEMORY);
}

ISOAPObjectImpl::~ISOAPObjectImpl() = default;

HRESULT ISOAPObjectImpl::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualGUID(riid, __uuidof(IUnknown)) || IsEqualGUID(riid, __uuidof(_ISoapObject))) {
    *object = static_cast<_ISoapObject*>(this);
  } else if (IsEqualGUID(riid, __uuidof(ISetting))) {
    *object = static_cast<ISetting*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG ISOAPObjectImpl::AddRef() {
  return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG ISOAPObjectImpl::Release() {
  const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) {
    FinalRelease();
    delete this;
  }
  return left;
}

HRESULT ISOAPObjectImpl::Init(ISoapService* service) {
  return RunEntry(reporting_, OLESTR("ISOAPObjectImpl::Init"), [&]() -> HRESULT {
    host_ = ComPtr<ISoapService>(service);
    RegisterWithHost(true);
    if (!CanStart()) {
      reporting_.Report(
          kLevelError, OLESTR("ISOAPObjectImpl::Init"),
          (OLESTR("SOAP Object failed to start: ") + WideString(UpToNul(name_.Get()))).c_str());
      return E_FAIL;
    }
    OnStart();
    ReportLifecycle(OLESTR("ISOAPObjectImpl::Init"), "SOAP Object started: ");
    return S_OK;
  });
}

HRESULT ISOAPObjectImpl::SetStop() {
  return RunEntry(reporting_, OLESTR("ISOAPObjectImpl::SetStop"), [&] {
    OnStop();
    RegisterWithHost(false);
    ReportLifecycle(OLESTR("ISOAPObjectImpl::SetStop"), "SOAP Object stopped: ");
  });
}

void ISOAPObjectImpl::RegisterWithHost(bool registering) {
  if (!host_) RaiseComErrorWithoutInfo(E_POINTER);
  // The object asks itself, as the host would: a refusal registers a null object.
  ComPtr<_ISoapObject> self;
  const HRESULT asked =
      QueryInterface(__uuidof(_ISoapObject), reinterpret_cast<void**>(self.GetAddressOf()));
  if (asked != E_NOINTERFACE) CheckHr(asked);
  CheckHr(registering ? host_->Register(self.Get(), name_.Get())
                      : host_->Unregister(self.Get(), name_.Get()));
}

void ISOAPObjectImpl::ReportLifecycle(const OLECHAR* source, const char* text) {
  reporting_.EnsureInitialized();
  if (!reporting_.LevelEnabled(kLevelInformation)) return;
  const WideString description = winport::Utf8ToWide(text) + WideString(UpToNul(name_.Get()));
  reporting_.Report(kLevelInformation, source, description.c_str());
}

HRESULT ISOAPObjectImpl::Execute(ISOAPMessage* request, ISOAPMessage** response) {
  return RunEntry(reporting_, OLESTR("ISOAPObjectImpl::Execute"),
                  [&] { return ExecuteRequest(request, response); });
}

HRESULT ISOAPObjectImpl::ExecuteRequest(ISOAPMessage* request, ISOAPMessage** responseSlot) {
  if (responseSlot == nullptr) return E_POINTER;

  ComPtr<IUnknown> created;
  CheckHr(CoCreateInstance(__uuidof(SoapMessage), nullptr, CLSCTX_ALL, __uuidof(IUnknown),
                           reinterpret_cast<void**>(created.GetAddressOf())));
  CheckHr(OleRun(created.Get()));
  ComPtr<ISOAPMessage> response;
  CheckHr(created.As(&response));
  // The host's slot holds its own reference; ours keeps the message for the fault texts
  // even when an OnSuccess dispatch replaces what the slot holds.
  response.CopyTo(responseSlot);

  ExecuteContext context;
  context.request = request;
  context.responseSlot = responseSlot;
  response->CopyStructure(request);
  ScopedBstr methodName;
  CheckHr(request->methodName(methodName.Receive()));
  context.methodName = WideString(UpToNul(methodName.Get()));

  context.method = FindMethod(context.methodName);
  if (context.method == nullptr) {
    if (ProcessUnknownMethod(context)) return context.result;
    WideString text;
    if (SUCCEEDED(context.result)) {
      text = OLESTR("SOAP object does not implement the requested method: ") +
             WideString(UpToNul(name_.Get())) + OLESTR("#") + context.methodName;
    } else {
      WideString reason =
          context.result == kNotAuthenticated
              ? WideString(OLESTR("Your session has timed out or has been logged off"))
              : CurrentErrorDescription();
      if (reason.empty()) reason = ErrorMessage(context.result);
      text = FaultPrefix(context) + reason;
    }
    SetResponseFault(response.Get(), text, FaultCode::Client);
    return S_FALSE;
  }

  WideString reason;
  try {
    if (const std::optional<HRESULT> answer = RunMethod(context, response.Get())) return *answer;
  } catch (...) {
    const MethodFailure failure = DescribeMethodFailure();
    reason = failure.text;
    // A report that cannot be made must not hide the method's failure.
    RunIgnoringFailure([&] {
      reporting_.ReportError(OLESTR("ISOAPObjectImpl::Execute"), failure.text.c_str(), failure.code,
                             nullptr);
    });
  }
  if (reason.empty()) reason = OLESTR("unknown exception");
  SetResponseFault(response.Get(), FaultPrefix(context) + reason, FaultCode::Server);
  return S_FALSE;
}

// Runs the matched method and interprets its result: what Execute answers, a raised
// failure, or nothing for a success code that means nothing here.
std::optional<HRESULT> ISOAPObjectImpl::RunMethod(ExecuteContext& context, ISOAPMessage* response) {
  context.result = context.method->execute(context.request, response);
  if (ProcessDirectResult(context)) return context.result;
  if (context.result == kNotAuthenticated) return AnswerNotAuthenticated(context, response);
  if (context.result == kMethodAnswered) return S_FALSE;
  if (context.result == S_OK && ProcessOnSuccess(context)) return context.result;
  if (FAILED(context.result)) RaiseComError(context.result);
  return std::nullopt;
}

HRESULT ISOAPObjectImpl::AnswerNotAuthenticated(ExecuteContext& context, ISOAPMessage* response) {
  const ComPtr<ISOAPFault> fault = ResponseFault(response);
  fault->setSpecificFault(NewBstr(ErrorMessage(kNotAuthenticated)).Get(), FaultCode::Client);

  WideString detail = OLESTR("{_UserNotAuthenticated}");
  const auto appendParameter = [&](const OLECHAR* accessor, const OLECHAR* label) {
    ScopedBstr value;
    if (SUCCEEDED(context.request->getStringParameterByAccessor(NewBstr(accessor).Get(),
                                                                value.Receive()))) {
      detail += label + WideString(UpToNul(value.Get())) + OLESTR("}");
    }
  };
  appendParameter(OLESTR("IdentityToken"), OLESTR(" {Identity: "));
  appendParameter(OLESTR("uri"), OLESTR(" {URI: "));
  fault->put_faultDetail(NewBstr(detail).Get());
  return S_FALSE;
}

bool ISOAPObjectImpl::ProcessDirectResult(ExecuteContext& context) {
  if (context.result != kMethodDoneDirectly && context.result != kMethodDoneDirectlyAlso)
    return false;
  context.method->CopyVariables(context.request, *context.responseSlot);
  context.result = S_OK;
  return true;
}

bool ISOAPObjectImpl::ProcessOnSuccess(ExecuteContext& context) {
  bool answer = false;
  const HRESULT hr = RunEntry(reporting_, OLESTR("SoapObjectImpl.ProcessOnSuccess"),
                              [&] { answer = FollowOnSuccess(context); });
  if (FAILED(hr)) {
    // The ladder left its text as the thread's error info; Execute raises E_FAIL with it.
    context.result = E_FAIL;
    return false;
  }
  return answer;
}

bool ISOAPObjectImpl::FollowOnSuccess(ExecuteContext& context) {
  ISOAPMessage** slot = context.responseSlot;
  context.method->CopyVariables(context.request, *slot);

  ComPtr<ISOAPMessage> next;
  ScopedBstr nextObject;
  context.result = (*slot)->GetOnSuccessNext(next.GetAddressOf(), nextObject.Receive());
  if (context.result == S_FALSE) return true;
  if (context.result != S_OK) return false;
  if (!host_) RaiseComErrorWithoutInfo(E_POINTER);

  ScopedBstr workstation;
  (*slot)->getStringParameterByAccessor(NewBstr(OLESTR("QMS_WSID")).Get(), workstation.Receive());
  (*slot)->Release();
  *slot = nullptr;
  context.result = host_->DispatchSOAP(nextObject.Get(), next.Get(), slot);
  if (SUCCEEDED(context.result) && *slot != nullptr && !UpToNul(workstation.Get()).empty()) {
    (*slot)->addResponseParameter(NewBstr(OLESTR("QMS_WSID")).Get(), workstation.Get(),
                                  VARIANT_FALSE);
  }
  return SUCCEEDED(context.result);
}

std::vector<WideString> ISOAPObjectImpl::MethodNames() const {
  std::vector<WideString> names;
  for (const SOAPMethod* method : methods_)
    names.emplace_back(UpToNul(method->name().Get()));
  return names;
}

SOAPMethod* ISOAPObjectImpl::FindMethod(WideView name) const {
  for (SOAPMethod* method : methods_) {
    const ScopedBstr candidate = method->name();
    if (winport::BstrView(candidate.Get()) == name) return method;
  }
  return nullptr;
}

WideString ISOAPObjectImpl::FaultPrefix(const ExecuteContext& context) const {
  return OLESTR("Failed to execute {") + WideString(UpToNul(name_.Get())) + OLESTR("#") +
         context.methodName + OLESTR("}:\n");
}

HRESULT ISOAPObjectImpl::GetNamedObjectQI(BSTR name, REFIID iid, void** object) {
  return RunEntry(reporting_, OLESTR("ISOAPObjectImpl::GetNamedObjectQI"), [&] {
    if (object == nullptr || !host_) RaiseComErrorWithoutInfo(E_POINTER);
    *object = nullptr;
    ComPtr<IUnknown> named;
    CheckHr(host_->NamedObject(name, named.GetAddressOf()));
    if (!named) RaiseComErrorWithoutInfo(E_POINTER);
    CheckHr(named->QueryInterface(iid, object));
  });
}

HRESULT ISOAPObjectImpl::DoReconnect(BSTR identityToken, ISession** session) {
  return RunEntry(reporting_, OLESTR("ISOAPObjectImpl::DoReconnect"),
                  [&] { return Reconnect(identityToken, session, false); });
}

HRESULT ISOAPObjectImpl::DoPhantomReconnect(BSTR identityToken, ISession** session) {
  return RunEntry(reporting_, OLESTR("ISOAPObjectImpl::DoPhantomReconnect"),
                  [&] { return Reconnect(identityToken, session, true); });
}

HRESULT ISOAPObjectImpl::Reconnect(BSTR identityToken, ISession** session, bool phantom) {
  ComPtr<ISessionManagerReconnect> manager;
  CheckHr(GetNamedObjectQI(NewBstr(OLESTR("Session")).Get(), __uuidof(ISessionManagerReconnect),
                           reinterpret_cast<void**>(manager.GetAddressOf())));
  CheckHr(phantom ? manager->PhantomReconnect(identityToken, session)
                  : manager->Reconnect(identityToken, session));
  return S_OK;
}

IExtensionObject* ISOAPObjectImpl::GetExtension() {
  if (extensionLookedUp_.load(std::memory_order_acquire)) return extension_.Get();
  winport::CriticalSectionLock hold(extensionLock_);
  if (!extensionLookedUp_.load(std::memory_order_relaxed)) {
    ComPtr<IUnknown> named;
    const ScopedBstr name(OLESTR("Extension"));
    if (host_ && name.Get() != nullptr &&
        SUCCEEDED(host_->NamedObject(name.Get(), named.GetAddressOf())) && named) {
      named.As(&extension_);
    }
    // Looked up once, also when it failed.
    extensionLookedUp_.store(true, std::memory_order_release);
  }
  return extension_.Get();
}

HRESULT ISOAPObjectImpl::RunHook(const OLECHAR* traceName) {
  return RunEntry(reporting_, traceName, [] {});
}

HRESULT ISOAPObjectImpl::Modify(BSTR, VARIANT value) {
  reporting_.SetReportingLevel(static_cast<DWORD>(value.lVal));
  return S_OK;
}

}  // namespace quillmere
