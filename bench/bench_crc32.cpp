// CRC-32 throughput over short (asset-name sized), medium and large buffers.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "Engine/CRC32.h"

namespace {

void BM_Crc32(benchmark::State& state) {
  std::vector<unsigned char> data(static_cast<size_t>(state.range(0)));
  uint32_t x = 1;
  for (unsigned char& b : data) b = static_cast<unsigned char>((x = x * 1664525u + 1013904223u) >> 24);
  for (auto _ : state) {
    uint32_t crc = CRC32::Compute(data.data(), data.size());
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc32)->Arg(64)->Arg(4 << 10)->Arg(1 << 20);

}  // namespace

BENCHMARK_MAIN();
