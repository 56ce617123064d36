// Times a function that writes a document and reports the bytes it writes per second.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>

#include <winport/wide.h>
#include <winport/windows.h>

template <class WriteDocument>
void TimeWrites(benchmark::State& state, WriteDocument write) {
  std::size_t written = 0;
  for (auto _ : state) {
    const winport::WideString document = write();
    written = document.size();
    benchmark::DoNotOptimize(document.data());
  }
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * written * sizeof(OLECHAR)));
}
