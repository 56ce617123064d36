// The worker's delivery rate with every sink on: each record goes to the event log (its
// text form), to a log-file writer served in this process as a local server (its XML form)
// and, after a count of the queue, into a real message queue. Timed from the first report
// of a batch until the worker has delivered the whole batch; the callers' share of that is
// small (see bench_report). The machine is a fresh prefix in a temporary directory.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include <winport/message_queuing.h>
#include <winport/windows.h>

#include "diagnostics/reporting.h"
#include "settings/settings_connection.h"

namespace {

constexpr int kBatch = 1000;

class CountingWriter : public winport::ComObject<quillmere::ILogFileWriter> {
 public:
  HRESULT STDMETHODCALLTYPE WriteMessage(BSTR) override { return S_OK; }
};

class WriterClass : public winport::ComObject<IClassFactory> {
 public:
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** object) override {
    return winport::MakeComObject<CountingWriter>()->QueryInterface(riid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// Counts what the worker has delivered. The consumer is a base made before the Reporting, so
// it outlives that object's worker.
class CountingDelivery : public quillmere::ReportQueue::Consumer {
 public:
  std::atomic<long> delivered{0};

  void Process(std::unique_ptr<quillmere::ReportRecord> record) override {
    reporting_->Deliver(std::move(record));
    delivered.fetch_add(1, std::memory_order_release);
  }
  void WriteQueueEvent(WORD type, DWORD eventId) override {
    reporting_->WriteStatusEvent(type, eventId);
  }

 protected:
  quillmere::Reporting* reporting_ = nullptr;
};

class CountingReporting : public CountingDelivery, public quillmere::Reporting {
 public:
  CountingReporting()
      : Reporting(quillmere::MsmqRuntime::ForProcess(), static_cast<CountingDelivery*>(this)) {
    reporting_ = this;
  }
};

// Settings with every sink on, loaded as MOF into a store made by a first connection.
void LoadSettings() {
  { const quillmere::SettingsConnection makesTheStore; }
  const std::string mof =
      "#pragma namespace(\"\\\\\\\\.\\\\root\\\\cimv2\\\\quillmere\")\n"
      "instance of Metadata { SettingName = \"ReportingLevel\"; CIMTYPE = 3; IntVal = 15; };\n"
      "instance of Metadata { SettingName = \"LogToEventLog\"; CIMTYPE = 11; IntVal = 1; };\n"
      "instance of Metadata { SettingName = \"LogUserActivity\"; CIMTYPE = 11; IntVal = 0; };\n"
      "instance of Metadata { SettingName = \"LogToFile\"; CIMTYPE = 11; IntVal = 1; };\n"
      "instance of Metadata { SettingName = \"LogToMSMQ\"; CIMTYPE = 11; IntVal = 1; };\n"
      "instance of Metadata { SettingName = \"MSMQ_Capacity\"; CIMTYPE = 3; IntVal = 100000000; "
      "};\n"
      "instance of Metadata { SettingName = \"MSMQ_Name\"; CIMTYPE = 8; "
      "StringValue = \".\\\\PRIVATE$\\\\WSQueue\"; };\n";
  winport::ComPtr<IMofCompiler> compiler;
  WBEM_COMPILE_STATUS_INFO status{};
  if (FAILED(CoCreateInstance(CLSID_MofCompiler, nullptr, CLSCTX_INPROC_SERVER, IID_IMofCompiler,
                              reinterpret_cast<void**>(compiler.GetAddressOf()))) ||
      compiler->CompileBuffer(static_cast<long>(mof.size()),
                              reinterpret_cast<BYTE*>(const_cast<char*>(mof.data())), nullptr,
                              nullptr, nullptr, nullptr, 0, 0, 0, &status) != S_OK) {
    std::abort();
  }
}

void BM_DeliverWithEverySink(benchmark::State& state) {
  std::string prefix = (std::filesystem::temp_directory_path() / "delivery-bench-XXXXXX").string();
  if (::mkdtemp(prefix.data()) == nullptr) std::abort();
  ::setenv("QUILLMERE_PREFIX", prefix.c_str(), 1);
  winport::msmq::Install();
  const winport::ScopedComInit apartment(COINIT_MULTITHREADED);
  LoadSettings();
  DWORD cookie = 0;
  CoRegisterClassObject(__uuidof(quillmere::LogFileWriter),
                        winport::MakeComObject<WriterClass>().Get(), CLSCTX_LOCAL_SERVER,
                        REGCLS_MULTIPLEUSE, &cookie);
  {
    CountingReporting reporting;
    reporting.EnsureInitialized();
    long sent = 0;
    for (auto _ : state) {
      for (int i = 0; i < kBatch; ++i) {
        reporting.Report(2, OLESTR("CAdminSessionList::execute::execute"),
                         OLESTR(" Not a member of QMS_ADMIN group"));
      }
      sent += kBatch;
      while (reporting.delivered.load(std::memory_order_acquire) < sent)
        std::this_thread::yield();
    }
    state.SetItemsProcessed(sent);
  }
  CoRevokeClassObject(cookie);
  std::error_code ignored;
  std::filesystem::remove_all(prefix, ignored);
}
BENCHMARK(BM_DeliverWithEverySink)
    ->Name("Delivery/EverySink/ours")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
