// BSTR allocation and the I4 <-> BSTR conversions that documents and settings lean on.
#include <benchmark/benchmark.h>

#include <winport/windows.h>

namespace {

void BM_SysAllocStringShort(benchmark::State& state) {
  for (auto _ : state) {
    BSTR text = SysAllocString(OLESTR("Administrator"));
    benchmark::DoNotOptimize(text);
    SysFreeString(text);
  }
}
BENCHMARK(BM_SysAllocStringShort);

void BM_SysAllocStringLen(benchmark::State& state) {
  const winport::WideString text(static_cast<std::size_t>(state.range(0)), u'x');
  for (auto _ : state) {
    BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    benchmark::DoNotOptimize(copy);
    SysFreeString(copy);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_SysAllocStringLen)->Arg(16)->Arg(1024)->Arg(64 * 1024);

void BM_ChangeTypeI4ToBstr(benchmark::State& state) {
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_I4;
  source.lVal = -1234567;
  for (auto _ : state) {
    winport::ScopedVariant text;
    HRESULT hr = VariantChangeType(text.Receive(), &source, 0, VT_BSTR);
    benchmark::DoNotOptimize(hr);
  }
}
BENCHMARK(BM_ChangeTypeI4ToBstr);

void BM_ChangeTypeBstrToI4(benchmark::State& state) {
  winport::ScopedVariant source(OLESTR(" -1234567 "));
  for (auto _ : state) {
    VARIANT number;
    VariantInit(&number);
    HRESULT hr = VariantChangeType(&number, source.AsInput(), 0, VT_I4);
    benchmark::DoNotOptimize(hr);
    benchmark::DoNotOptimize(number.lVal);
  }
}
BENCHMARK(BM_ChangeTypeBstrToI4);

}  // namespace
