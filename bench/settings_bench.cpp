// GetMetadata of 50 settings in-process, after the first call (connect, enumerate, build
// the table), against the floor: the same rows' bytes appended by a plain loop.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cstdlib>
#include <string>

#include <winport/windows.h>

#include "diagnostics/reporting.h"
#include "fakes/fake_soap_message.h"
#include "settings/setting.h"
#include "wbem_provider/get_metadata.h"
#include "wbem_provider/wbem_provider.h"

namespace {

constexpr int kSettings = 50;

// The benchmarks run on a machine of their own, in a temporary directory.
const bool kPrivateMachine = [] {
  char pattern[] = "/tmp/settings_bench.XXXXXX";
  return mkdtemp(pattern) != nullptr && setenv("QUILLMERE_PREFIX", pattern, 1) == 0;
}();

winport::WideString SettingName(int number) {
  return winport::FormatWide("Setting%02d", number);
}

// 50 integer settings in the store, made through the store's own connection.
void Populate(quillmere::Reporter& reporting) {
  static bool done = false;
  if (done || !kPrivateMachine) return;
  done = true;
  quillmere::CSetting setting(reporting);
  if (FAILED(setting.Connect())) std::abort();
  winport::ComPtr<IWbemLocator> locator;
  CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                   reinterpret_cast<void**>(locator.GetAddressOf()));
  winport::ComPtr<IWbemServices> settings;
  locator->ConnectServer(winport::ScopedBstr(OLESTR("root\\cimv2\\quillmere")).Get(), nullptr,
                         nullptr, nullptr, 0, nullptr, nullptr, settings.GetAddressOf());
  winport::ComPtr<IWbemClassObject> metadata;
  settings->GetObject(winport::ScopedBstr(OLESTR("Metadata")).Get(), 0, nullptr,
                      metadata.GetAddressOf(), nullptr);
  for (int number = 0; number < kSettings; ++number) {
    winport::ComPtr<IWbemClassObject> instance;
    metadata->SpawnInstance(0, instance.GetAddressOf());
    winport::ScopedVariant name(SettingName(number).c_str());
    winport::ScopedVariant value(LONG{number});
    winport::ScopedVariant type(LONG{3});
    instance->Put(OLESTR("SettingName"), 0, name.AsInput(), 0);
    instance->Put(OLESTR("IntVal"), 0, value.AsInput(), 0);
    instance->Put(OLESTR("CIMTYPE"), 0, type.AsInput(), 0);
    if (FAILED(settings->PutInstance(instance.Get(), 0, nullptr, nullptr))) std::abort();
  }
}

void BM_GetMetadata50(benchmark::State& state) {
  const winport::ScopedComInit apartment(COINIT_MULTITHREADED);
  quillmere::Reporting reporting;
  reporting.SetReportingLevel(quillmere::kLevelError);
  Populate(reporting);
  auto provider = winport::MakeComObject<quillmere::CWbemProvider>(reporting);
  quillmere::CGetMetadata getMetadata(*provider.Get());
  auto request = winport::MakeComObject<fakes::FakeSoapMessage>();
  for (auto _ : state) {
    auto response = winport::MakeComObject<fakes::FakeSoapMessage>();
    if (getMetadata.execute(request.Get(), response.Get()) != S_OK) std::abort();
    benchmark::DoNotOptimize(response->parameters.back().value.data());
  }
}
BENCHMARK(BM_GetMetadata50)->Unit(benchmark::kMicrosecond);

// The same table's bytes, row by row, into one string.
void BM_PlainLoop50(benchmark::State& state) {
  for (auto _ : state) {
    winport::WideString table = OLESTR("<TABLE>");
    for (int number = 0; number < kSettings; ++number) {
      table += OLESTR("<TR><TD>");
      table += SettingName(number);
      table += OLESTR("</TD> \n<TD/> \n<TD/> \n<TD>IntVal</TD> \n<TD>");
      table += winport::FormatWide("%d", number);
      table += OLESTR("</TD> \n</TR>");
    }
    table += OLESTR("</TABLE>");
    benchmark::DoNotOptimize(table.data());
  }
}
BENCHMARK(BM_PlainLoop50)->Unit(benchmark::kMicrosecond);

}  // namespace
