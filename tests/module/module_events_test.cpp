// What the module writes to the event log while it runs and as it is unloaded. Wine's
// event log keeps nothing to read back, so on Windows the module's own calls to
// ReportEventW are watched instead, by pointing its import of the function here.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <winport/windows.h>

#include "quillmere/soap_object_interfaces.h"
#include "test_host.h"

#ifdef _WIN32
#include "import_patch.h"
#else
#include <winport/event_log_reader.h>
#endif

namespace {

using Events = std::vector<std::string>;

// An event as "error C0000216".
std::string Describe(WORD type, DWORD eventId) {
  const char* name = type == EVENTLOG_ERROR_TYPE     ? "error"
                     : type == EVENTLOG_WARNING_TYPE ? "warning"
                                                     : "information";
  char text[32];
  std::snprintf(text, sizeof text, "%s %08lX", name, static_cast<unsigned long>(eventId));
  return text;
}

#ifdef _WIN32
// What the module wrote; and its worker, held in its first delivery until the library is
// being unloaded when a test asks for that.
struct Watch {
  std::mutex mutex;
  Events events;
  bool holdWorker = false;
  DWORD clientThread = GetCurrentThreadId();
  std::atomic<bool> unloading{false};
  winport::ScopedHandle workerHeld{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  winport::ScopedHandle releaseWorker{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

Watch& TheWatch() {
  static Watch watch;
  return watch;
}

BOOL WINAPI WatchedReportEvent(HANDLE source, WORD type, WORD category, DWORD eventId, PSID user,
                               WORD count, DWORD size, LPCWSTR* strings, LPVOID data) {
  Watch& watch = TheWatch();
  bool hold = false;
  {
    const std::lock_guard lock(watch.mutex);
    watch.events.push_back(Describe(type, eventId));
    hold = GetCurrentThreadId() != watch.clientThread && std::exchange(watch.holdWorker, false);
  }
  if (hold) {
    SetEvent(watch.workerHeld.Get());
    WaitForSingleObject(watch.releaseWorker.Get(), INFINITE);
  }
  return ReportEventW(source, type, category, eventId, user, count, size, strings, data);
}

// At unload the module asks its worker to stop with SetEvent: that lets the held one go on.
BOOL WINAPI WatchedSetEvent(HANDLE event) {
  const BOOL set = SetEvent(event);
  Watch& watch = TheWatch();
  if (watch.unloading && GetCurrentThreadId() == watch.clientThread)
    SetEvent(watch.releaseWorker.Get());
  return set;
}

Events Logged() {
  const std::lock_guard lock(TheWatch().mutex);
  return TheWatch().events;
}
#else
Events Logged() {
  Events events;
  for (const auto& record : winport::eventlog::ReadEvents())
    events.push_back(Describe(record.type, record.event_id));
  return events;
}
#endif

// The library loaded and registered by the test, on Windows watched, before any client
// activates it.
class ModuleEvents : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.IsValid()) << GetLastError();
#ifdef _WIN32
    if (!winport::RunningOnWine())
      GTEST_SKIP() << "what the module reports depends on the machine's settings store";
    Watch& watch = TheWatch();
    watch.events.clear();
    watch.holdWorker = false;
    watch.unloading = false;
    ResetEvent(watch.workerHeld.Get());
    ResetEvent(watch.releaseWorker.Get());
    ASSERT_TRUE(testing_support::PatchImport(library_.Get(), "advapi32.dll", "ReportEventW",
                                             &WatchedReportEvent));
    ASSERT_TRUE(
        testing_support::PatchImport(library_.Get(), "kernel32.dll", "SetEvent", &WatchedSetEvent));
#endif
    ASSERT_EQ(Call("DllRegisterServer"), S_OK);
  }

  HRESULT Call(const char* name) {
    using Export = HRESULT(STDAPICALLTYPE*)();
    return reinterpret_cast<Export>(
        reinterpret_cast<void (*)()>(GetProcAddress(library_.Get(), name)))();
  }

  winport::ComPtr<quillmere::_ISoapObject> Activate(const OLECHAR* progId) {
    CLSID clsid{};
    winport::ComPtr<quillmere::_ISoapObject> object;
    EXPECT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
    EXPECT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(quillmere::_ISoapObject),
                         reinterpret_cast<void**>(object.GetAddressOf())),
        S_OK);
    return object;
  }

  // Unregisters and lets COM free the library; everything the module wrote by then.
  Events Unload() {
    EXPECT_EQ(Call("DllUnregisterServer"), S_OK);
    library_.Reset();
#ifdef _WIN32
    TheWatch().unloading = true;
#endif
    CoFreeUnusedLibrariesEx(0, 0);
    HMODULE still = nullptr;
    EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                    winport::Utf8ToWide(QUILLMERE_ADMIN_FILE).c_str(), &still));
    return Logged();
  }

  soap_testing::TestHost host;
  winport::ScopedLibrary library_{LoadLibraryW(winport::Utf8ToWide(QUILLMERE_ADMIN_FILE).c_str())};
};

// Neither a fresh machine nor Wine has the module's settings, and neither has message
// queuing. The module answers all the same, with the one event saying its settings are
// missing; without settings message queuing is off, so it is never looked for. At the
// unload its worker ends in time, although the loader lock is held.
TEST_F(ModuleEvents, WithoutSettingsOrMessageQueuingTheModuleStillAnswers) {
  host.sessions->AddCaller("tok-admin", quillmere::GroupAdmin);
  host.sessions->AddSession("tok-admin", "<SESSION id=\"b\">", 0x41);
  {
    const auto object = Activate(OLESTR("quillmere.Administer"));
    ASSERT_NE(object.Get(), nullptr);
    ASSERT_EQ(object->Init(host.service.Get()), S_OK);
    const auto request =
        soap_testing::TestHost::Request("AdminSessionList", {{"IdentityToken", "tok-admin"}});
    const auto documents = soap_testing::Documents(host.Execute(object.Get(), request.Get()));
    ASSERT_EQ(documents.size(), 1u);
    EXPECT_NE(documents[0].find("<SESSION id=\"b\"><SELF/>"), std::string::npos) << documents[0];
    EXPECT_EQ(object->SetStop(), S_OK);
  }
  EXPECT_EQ(Unload(), Events{"error C0000216"});
}

#ifdef _WIN32

// Each refused start is an error report. The worker is held in delivering the first until
// the library is being unloaded: it finishes that one, and the two behind it are dropped
// with the one warning; having said it is done, the worker is not terminated.
TEST_F(ModuleEvents, RecordsStillQueuedAtUnloadAreDroppedWithAWarning) {
  TheWatch().holdWorker = true;
  {
    const auto object = Activate(OLESTR("quillmere.Administer"));
    ASSERT_NE(object.Get(), nullptr);
    EXPECT_EQ(object->Init(nullptr), E_POINTER);
    ASSERT_EQ(WaitForSingleObject(TheWatch().workerHeld.Get(), 60000), WAIT_OBJECT_0);
    EXPECT_EQ(object->Init(nullptr), E_POINTER);
    EXPECT_EQ(object->Init(nullptr), E_POINTER);
  }
  EXPECT_EQ(Unload(),
            (Events{"error C0000216", "error C0000007", "error 40000220", "warning C0000245"}));
}
#endif

}  // namespace
