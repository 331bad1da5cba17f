// The diving game's main-thread cost on the demo data and the headless device the tests use:
// one tick (cDivingGame::Update) with Jory in his chair and Cobb talking, one Render of the game
// (the camera shot, the characters posed, the HUD queued), and one whole frame of the App while
// Jory runs along the pool (a tick, the game's Render and the window drawn).
//
// Counters: cpu_ms_median, the median main-thread CPU time of one call; allocs_per_call, the
// tracked allocations made during the measured calls (every thread's), per call, once warmed up.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Game/DivingGame/cDivingGame.h"
#include "Game/Frontend/GameMakers.h"
#include "Game/KavelApp.h"
#include "bench/support/BenchSupport.h"
#include "tests/support/AppHarness.h"

namespace {

constexpr int kKeySpace = 0x39;
constexpr int kKeyE = 0x12;

cDivingGame* Game() { return static_cast<cDivingGame*>(GetKavelApp()->GetCurrentGame()); }

// The App on the demo data with the diving game loaded and in play (Jory in his chair).
bool StartDiving(AppHarness& harness) {
  KavelApp::Register();
  if (!WriteDemoData() || !harness.Start()) return false;
  GetKavelApp()->StartGame(MakeDivingGame(0, 0));
  for (int i = 0; i < 400 && (!Game() || Game()->GetDivePhase() != cDivingGame::kDivePhaseInChair);
       ++i)
    harness.RunFrames(1);
  return Game() && Game()->GetDivePhase() == cDivingGame::kDivePhaseInChair;
}

// `between` runs after each measured call, unmeasured.
template <class Call, class Between>
void Measure(benchmark::State& state, Call call, Between between) {
  for (int i = 0; i < 60; ++i) call();
  std::vector<double> cpu;
  uint64_t allocations = 0;
  for (auto _ : state) {
    const uint32_t a0 = AllocationsSoFar();
    const double t0 = ThreadCpuMs();
    call();
    // Counted before the time is stored: the vector growing is the benchmark's own.
    const double t1 = ThreadCpuMs();
    allocations += AllocationsSoFar() - a0;
    cpu.push_back(t1 - t0);
    between();
  }
  std::sort(cpu.begin(), cpu.end());
  state.counters["cpu_ms_median"] = cpu.empty() ? 0.0 : cpu[cpu.size() / 2];
  state.counters["allocs_per_call"] = cpu.empty() ? 0.0 : double(allocations) / double(cpu.size());
}

void BM_DivingTick(benchmark::State& state) {
  AppHarness harness;
  if (!StartDiving(harness)) {
    state.SkipWithError("the diving game did not start");
    return;
  }
  Measure(
      state, [] { Game()->Update(); }, [] {});
  harness.Stop();
}

void BM_DivingRender(benchmark::State& state) {
  AppHarness harness;
  if (!StartDiving(harness)) {
    state.SkipWithError("the diving game did not start");
    return;
  }
  // Each Render is drawn by the window's own pass before the next, as in a frame: calls that
  // were never drawn would pile up in the window's polygon pools and grow them.
  Measure(
      state, [] { Game()->Render(); }, [&] { harness.RunFrames(1); });
  harness.Stop();
}

void BM_DivingFrameRunning(benchmark::State& state) {
  AppHarness harness;
  if (!StartDiving(harness)) {
    state.SkipWithError("the diving game did not start");
    return;
  }
  int frame = 0;
  // A burst of speed every fourth frame keeps Jory running along the path.
  auto run = [&] {
    harness.input().SetKey(kKeySpace, frame % 4 == 0);
    harness.input().SetKey(kKeyE, false);
    harness.system().ClearRecords();
    harness.RunFrames(1);
    ++frame;
  };
  for (int i = 0; i < 200; ++i) run();
  Measure(state, run, [] {});
  harness.Stop();
}

}  // namespace

BENCHMARK(BM_DivingTick)->Iterations(600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DivingRender)->Iterations(600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DivingFrameRunning)->Iterations(300)->Unit(benchmark::kMillisecond);
