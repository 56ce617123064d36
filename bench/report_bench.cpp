// The caller's cost of a report: a filtered one should be a load and a test; a passing
// one a few string copies, a time stamp and a locked append (the worker discards it).
#include <benchmark/benchmark.h>

#include <winport/windows.h>

#include "diagnostics/reporting.h"
#include "diagnostics/timestamp.h"

namespace {

void BM_ReportFiltered(benchmark::State& state) {
  quillmere::Reporting reporting;
  reporting.EnsureInitialized();  // the settings, read first, would set the level
  reporting.SetReportingLevel(1);
  for (auto _ : state) {
    reporting.Report(4, OLESTR("CAdminSessionList::execute::execute"), OLESTR("filtered out"));
  }
}
BENCHMARK(BM_ReportFiltered);

void BM_TraceFiltered(benchmark::State& state) {
  quillmere::Reporting reporting;
  reporting.EnsureInitialized();  // the settings, read first, would set the level
  reporting.SetReportingLevel(1);
  for (auto _ : state)
    reporting.Trace(true, OLESTR("ISOAPObjectImpl::Execute"));
}
BENCHMARK(BM_TraceFiltered);

void BM_ReportQueued(benchmark::State& state) {
  quillmere::Reporting reporting;
  reporting.EnsureInitialized();
  reporting.SetReportingLevel(4);
  for (auto _ : state) {
    reporting.Report(4, OLESTR("CAdminSessionList::execute::execute"),
                     OLESTR("SOAP Object started: Administrator"));
  }
}
BENCHMARK(BM_ReportQueued);

// The parts of a queued report's cost.
void BM_FormatTimestamp(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(quillmere::FormatTimestamp());
}
BENCHMARK(BM_FormatTimestamp);

void BM_GetLocalTime(benchmark::State& state) {
  SYSTEMTIME now;
  for (auto _ : state) {
    GetLocalTime(&now);
    benchmark::DoNotOptimize(now);
  }
}
BENCHMARK(BM_GetLocalTime);

}  // namespace
