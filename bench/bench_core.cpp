// Costs of the core containers and the tracking allocator against the plain runtime.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "Engine/DataArray.h"
#include "Engine/MemoryTracker.h"

namespace {

void BM_TrackedAllocFree(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* p = TrackedAlloc("Bench", size);
    benchmark::DoNotOptimize(p);
    TrackedFree("Bench", p);
  }
}
BENCHMARK(BM_TrackedAllocFree)->Arg(16)->Arg(256)->Arg(4096);

void BM_MallocFree(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* p = std::malloc(size);
    benchmark::DoNotOptimize(p);
    std::free(p);
  }
}
BENCHMARK(BM_MallocFree)->Arg(16)->Arg(256)->Arg(4096);

// Many live blocks: the hash chains the tracker walks get longer.
void BM_TrackedAllocFreeWith10kLive(benchmark::State& state) {
  std::vector<void*> live;
  for (int i = 0; i < 10000; ++i) live.push_back(TrackedAlloc("Live", 48));
  for (auto _ : state) {
    void* p = TrackedAlloc("Bench", 64);
    benchmark::DoNotOptimize(p);
    TrackedFree("Bench", p);
  }
  for (void* p : live) TrackedFree("Live", p);
}
BENCHMARK(BM_TrackedAllocFreeWith10kLive);

struct Line {
  float v[8];
  unsigned colour;
};

void BM_DataArrayAdd(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    DataArray<Line> a;
    for (int i = 0; i < n; ++i) a.Add(Line{{float(i)}, 0xFFFFFFFFu});
    benchmark::DoNotOptimize(a.GetData());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_DataArrayAdd)->Arg(16)->Arg(1000);

void BM_VectorPushBack(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::vector<Line> a;
    for (int i = 0; i < n; ++i) a.push_back(Line{{float(i)}, 0xFFFFFFFFu});
    benchmark::DoNotOptimize(a.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_VectorPushBack)->Arg(16)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
