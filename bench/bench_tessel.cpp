// The garden game in steady play on the demo data, on the headless device the tests use: one
// fixed tick (cTesselGame::Update: the player walking back and forth, the enemies patrolling,
// chasing and walking back) and one frame (cTesselGame::Render: the characters posed and
// submitted, the HUD, the listener), each measured alone on the main thread.
//
// Counters: cpu_us_median, the median main-thread CPU time of one call; allocs_per_call, the
// tracked allocations made during the measured calls (every thread's), per call, once warmed up.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Game/Helper/InputDevice.h"
#include "Game/KavelApp.h"
#include "Game/TesselGame/cTesselEnemy.h"
#include "Game/TesselGame/cTesselGame.h"
#include "tests/support/AppHarness.h"
#include "bench/support/BenchSupport.h"

namespace {

constexpr int kWarmUpTicks = 240;

double ThreadCpuUs() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) * 1e-3;
}

// The game loaded and in play, with Tessel kept out of reach so that play never stops for a
// catch: the enemies keep patrolling, spotting nothing and walking their paths.
cTesselGame* StartSteadyPlay(AppHarness& harness) {
  cTesselGame* game = TrackedNew<cTesselGame>("BM_Tessel", kModeNormal, 0);
  GetKavelApp()->StartGame(game);
  for (int i = 0; i < 400 && game->GetPlayState() != kTesselFree; ++i) harness.RunFrames(1);
  return game->GetPlayState() == kTesselFree ? game : nullptr;
}

// Tessel walks to and fro along the top path; the enemies chase and return as they will.
void Steer(AppHarness& harness, int tick) {
  const bool right = (tick / 120) % 2 == 0;
  harness.input().SetKey(0xCD, right);
  harness.input().SetKey(0xCB, !right);
}

// `call` is measured; `between` (the rest of a frame) is not.
template <class Call, class Between>
void Measure(benchmark::State& state, Call call, Between between) {
  std::vector<double> cpu;
  cpu.reserve(size_t(state.max_iterations));
  uint64_t allocations = 0;
  for (auto _ : state) {
    const uint32_t a0 = AllocationsSoFar();
    const double t0 = ThreadCpuUs();
    call();
    // Counted before the time is stored: the vector growing is the benchmark's own.
    const double t1 = ThreadCpuUs();
    allocations += AllocationsSoFar() - a0;
    cpu.push_back(t1 - t0);
    between();
  }
  std::sort(cpu.begin(), cpu.end());
  state.counters["cpu_us_median"] = cpu.empty() ? 0.0 : cpu[cpu.size() / 2];
  state.counters["allocs_per_call"] = cpu.empty() ? 0.0 : double(allocations) / double(cpu.size());
}

template <class Body>
void RunSteady(benchmark::State& state, Body body) {
  AppHarness harness;
  KavelApp::Register();
  if (!WriteDemoData() || !harness.Start()) {
    state.SkipWithError("the application did not start");
    return;
  }
  cTesselGame* game = StartSteadyPlay(harness);
  if (!game) {
    state.SkipWithError("the garden game did not reach play");
    harness.Stop();
    return;
  }
  for (int i = 0; i < kWarmUpTicks; ++i) {
    Steer(harness, i);
    harness.RunFrames(1);
  }
  body(state, harness, *game);
  harness.Stop();
}

void KeepPlaying(cTesselGame& game) {
  // A catch would hand the tick to the phone call; the measurement is of play.
  if (game.GetPlayState() != kTesselFree) game.SetPlayState(kTesselFree);
  game.SetPlayerPosition(Vector4(game.GetPlayerPosition().x, -620.0f, 0.0f, 1.0f));
}

void BM_TesselTick(benchmark::State& state) {
  RunSteady(state, [](benchmark::State& s, AppHarness& harness, cTesselGame& game) {
    int tick = 0;
    Measure(
        s, [&] { game.Update(); },
        [&] {
          Steer(harness, tick++);
          GetInputDevice()->Update();
          KeepPlaying(game);
        });
  });
}

void BM_TesselRender(benchmark::State& state) {
  RunSteady(state, [](benchmark::State& s, AppHarness& harness, cTesselGame& game) {
    int tick = 0;
    // Render alone; the window's own pass that draws what was submitted is not the game's.
    Measure(
        s, [&] { game.Render(); },
        [&] {
          Steer(harness, tick++);
          KeepPlaying(game);
          harness.RunFrames(1);
        });
  });
}

}  // namespace

BENCHMARK(BM_TesselTick)->Iterations(600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TesselRender)->Iterations(300)->Unit(benchmark::kMicrosecond);
