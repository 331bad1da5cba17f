// The pirate game's main-thread cost in steady play on the demo data and the headless device the
// tests use: one tick (cpirategame::Update, the selection moving over the board) and one frame
// (the App's frame: the tick, cpirategame::Render and the window pass that draws it).
//
// Counters: cpu_ms_median / cpu_us_median, the median main-thread CPU time; allocs_per_tick and
// allocs_per_frame, the tracked allocations made during the measured ticks or frames (every
// thread's), once warmed up.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Game/Frontend/PDFE.h"
#include "Game/KavelApp.h"
#include "Game/PirateGame/cpirategame.h"
#include "tests/support/AppHarness.h"
#include "bench/support/BenchSupport.h"

namespace {

constexpr int kWarmUpFrames = 120;

cpirategame* Game() {
  return GetKavelApp() ? dynamic_cast<cpirategame*>(GetKavelApp()->GetCurrentGame()) : nullptr;
}

// The game started from the menu's start and run until play has begun; null when it did not.
cpirategame* StartPlaying(AppHarness& harness) {
  KavelApp::Register();
  if (!WriteDemoData() || !harness.Start()) return nullptr;
  harness.RunFrames(2);
  PDFE_StartGameMrGorst();
  for (int i = 0; i < 3000; ++i) {
    cpirategame* game = Game();
    if (game && !GetKavelApp()->IsLoading() && game->m_playPhase == cpirategame::kPhaseInput)
      return game;
    harness.RunFrames(1);
  }
  return nullptr;
}

// Steady play: the selection walks along the board and back, so camera moves run all the time,
// and the clock never runs out.
void KeepPlaying(cpirategame& game, int step) {
  game.m_secondsLeft = 300;
  if (game.m_cameraMoving) return;
  const int32_t row = (step / 6) % 5, column = step % 6;
  game.SelectHole(row * 6 + (row % 2 ? 5 - column : column));
}

void Report(benchmark::State& state, std::vector<double> cpu, uint64_t allocations,
            const char* cpuName, double scale, const char* allocName) {
  std::sort(cpu.begin(), cpu.end());
  state.counters[cpuName] = cpu.empty() ? 0.0 : cpu[cpu.size() / 2] * scale;
  state.counters[allocName] = cpu.empty() ? 0.0 : double(allocations) / double(cpu.size());
}

void BM_PirateTick(benchmark::State& state) {
  AppHarness harness;
  cpirategame* game = StartPlaying(harness);
  if (!game) {
    state.SkipWithError("the pirate game did not reach play");
    return;
  }
  int step = 0;
  for (int i = 0; i < kWarmUpFrames; ++i) {
    KeepPlaying(*game, step++);
    game->Update();
  }
  std::vector<double> cpu;
  uint64_t allocations = 0;
  for (auto _ : state) {
    KeepPlaying(*game, step++);
    const uint32_t a0 = AllocationsSoFar();
    const double t0 = ThreadCpuMs();
    benchmark::DoNotOptimize(game->Update());
    // Counted before the time is stored: the vector growing is the benchmark's own.
    const double t1 = ThreadCpuMs();
    allocations += AllocationsSoFar() - a0;
    cpu.push_back(t1 - t0);
  }
  Report(state, cpu, allocations, "cpu_us_median", 1000.0, "allocs_per_tick");
  harness.Stop();
}

void BM_PirateFrame(benchmark::State& state) {
  AppHarness harness;
  cpirategame* game = StartPlaying(harness);
  if (!game) {
    state.SkipWithError("the pirate game did not reach play");
    return;
  }
  int step = 0;
  for (int i = 0; i < kWarmUpFrames; ++i) {
    KeepPlaying(*game, step++);
    harness.system().ClearRecords();
    harness.RunFrames(1);
  }
  std::vector<double> cpu;
  uint64_t allocations = 0;
  for (auto _ : state) {
    KeepPlaying(*game, step++);
    harness.system().ClearRecords();
    const uint32_t a0 = AllocationsSoFar();
    const double t0 = ThreadCpuMs();
    harness.RunFrames(1);
    // Counted before the time is stored: the vector growing is the benchmark's own.
    const double t1 = ThreadCpuMs();
    allocations += AllocationsSoFar() - a0;
    cpu.push_back(t1 - t0);
  }
  Report(state, cpu, allocations, "cpu_ms_median", 1.0, "allocs_per_frame");
  harness.Stop();
}

}  // namespace

BENCHMARK(BM_PirateTick)->Iterations(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PirateFrame)->Iterations(300)->Unit(benchmark::kMillisecond);
