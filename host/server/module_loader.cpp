#include "host/server/module_loader.h"

#include <cstdio>
#include <iterator>
#include <stdexcept>

#include <winport/scoped_library.h>
#include <winport/wide.h>

namespace quillmere::host {
namespace {

using RegisterServer = HRESULT(STDAPICALLTYPE*)();

std::runtime_error Failure(const std::string& step, HRESULT hr) {
  return std::runtime_error(step + " failed: " + HresultText(hr));
}

}  // namespace

LoadedModule::LoadedModule(const std::filesystem::path& library, quillmere::ISoapService* service,
                           HostLog& log)
    : library_(library), log_(log) {
  CLSID ignored{};
  if (FAILED(CLSIDFromProgID(winport::Utf8ToWide(kModuleProgIds[0]).c_str(), &ignored))) {
    RegisterLibrary();
  }
  for (const char* progId : kModuleProgIds)
    objects_.push_back(Activate(progId));
  for (size_t started = 0; started < std::size(kModuleProgIds); ++started) {
    const HRESULT hr = objects_[started]->Init(service);
    if (FAILED(hr)) {
      objects_.resize(started);
      Stop();
      throw Failure(std::string("starting ") + kModuleProgIds[started], hr);
    }
  }
  // Whatever file the registration names, the library is the one the objects' code is in.
  HMODULE code = nullptr;
  if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                         *reinterpret_cast<LPCWSTR*>(objects_.front().Get()), &code)) {
    loaded_.Reset(code);
    queueState_ = reinterpret_cast<QueueStateExport>(
        reinterpret_cast<void (*)()>(GetProcAddress(code, "QuillmereReportQueueState")));
  }
}

std::optional<LoadedModule::ReportQueueState> LoadedModule::ReportQueue() const {
  if (queueState_ == nullptr) return std::nullopt;
  ReportQueueState state;
  BOOL alive = FALSE;
  if (FAILED(queueState_(&state.depth, &state.dropped, &alive))) return std::nullopt;
  state.workerAlive = alive != FALSE;
  return state;
}

LoadedModule::~LoadedModule() {
  Stop();
}

void LoadedModule::Stop() {
  for (auto& object : objects_) {
    const HRESULT hr = object->SetStop();
    if (FAILED(hr)) log_.Write(LogLevel::Warning, "stopping a SOAP object: " + HresultText(hr));
    object.Reset();
  }
  objects_.clear();
  queueState_ = nullptr;
  loaded_.Reset();
  CoFreeUnusedLibraries();
}

winport::ComPtr<quillmere::_ISoapObject> LoadedModule::Activate(const std::string& progId) {
  for (;;) {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(winport::Utf8ToWide(progId).c_str(), &clsid);
    winport::ComPtr<quillmere::_ISoapObject> object;
    if (SUCCEEDED(hr)) {
      hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(quillmere::_ISoapObject),
                            reinterpret_cast<void**>(object.GetAddressOf()));
    }
    if (SUCCEEDED(hr)) return object;
    // A registration left by another build may name a library that is gone.
    if (registered_) throw Failure("creating " + progId, hr);
    log_.Write(LogLevel::Warning, "creating " + progId + " failed (" + HresultText(hr) +
                                      "); registering the module again");
    RegisterLibrary();
  }
}

void LoadedModule::RegisterLibrary() {
  log_.Write(LogLevel::Info, "registering " + library_.string());
  const winport::ScopedLibrary module(LoadLibraryW(winport::Utf8ToWide(library_.string()).c_str()));
  if (!module.IsValid()) {
    throw Failure("loading " + library_.string(), HRESULT_FROM_WIN32(GetLastError()));
  }
  const auto registerServer = reinterpret_cast<RegisterServer>(
      reinterpret_cast<void (*)()>(GetProcAddress(module.Get(), "DllRegisterServer")));
  if (registerServer == nullptr) {
    throw Failure("finding DllRegisterServer", HRESULT_FROM_WIN32(GetLastError()));
  }
  const HRESULT hr = registerServer();
  if (FAILED(hr)) throw Failure("DllRegisterServer", hr);
  registered_ = true;
}

}  // namespace quillmere::host
