// The penalty-kick game's main-thread cost in steady play on the demo data and the headless
// device the tests use: one tick (the game's Update) and one frame (its Render with the App's
// window pass), with the tracked allocations each makes once warmed up (the goal is none).
//
// Steady play: the game is loaded through the framework, the intro is run through, and a kick
// is kept in the air or on the ground by scripting the ball, so every part of the tick runs
// (defenders, keeper, Orwen's crossing, hit tests) and the frame draws every character.
//
// Counters: cpu_ms_median; allocs_per_iteration, the tracked allocations of the measured ticks
// or frames (every thread's) once warmed up; allocs_per_iteration_without_effect_start, the same
// over those that start no particle effect; effect_starts. The ball's landings start a few
// effects in a run, and each makes its particle system (and loads the effect's texture again
// when the previous effect let it go): those are the only blocks counted.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Game/FootballGame/FootballGame.h"
#include "Game/Frontend/GameMakers.h"
#include "Game/KavelApp.h"
#include "tests/support/AppHarness.h"
#include "bench/support/BenchSupport.h"

namespace {

// Loads the game and plays it to aiming; null when it does not get there.
cfootballgame* StartGame(AppHarness& harness) {
  KavelApp::Register();
  if (!WriteDemoData() || !harness.Start()) return nullptr;
  GetKavelApp()->StartGame(MakeFootballGame(kModeNormal, 0));
  auto* game = dynamic_cast<cfootballgame*>(GetKavelApp()->GetCurrentGame());
  for (int i = 0; i < 3000 && game && game->phase != cfootballgame::kPhaseAim; ++i)
    harness.RunFrames(1);
  if (!game || game->phase != cfootballgame::kPhaseAim) return nullptr;
  game->timeLeft = 100000;
  game->orwenDelay = 1;
  return game;
}

// Keeps a lofted kick in flight: back to the spot, up, towards the goal.
void KeepBallInFlight(cfootballgame* game) {
  if (game->phase == cfootballgame::kPhaseFlight && game->ballState == cfootballgame::kBallAtRest)
    return;
  game->phase = cfootballgame::kPhaseFlight;
  game->ballState = cfootballgame::kBallAtRest;
  game->shotClass = 0;
  game->ballPosition = game->startPosition;
  game->ballVelocity = Vector4(-300.0f, 40.0f, 500.0f, 0.0f);
}

// The allocations of the measured ticks or frames, told apart by whether an effect started in
// them (the ball's landing starts one, which makes its particle system).
struct Allocations {
  uint64_t all = 0;
  uint64_t withoutEffect = 0;
  uint64_t iterationsWithoutEffect = 0;
  uint64_t effectStarts = 0;

  void Add(uint32_t count, int32_t effectBefore, int32_t effectAfter) {
    all += count;
    if (effectAfter != effectBefore) {
      ++effectStarts;
      return;
    }
    withoutEffect += count;
    ++iterationsWithoutEffect;
  }
};

void Report(benchmark::State& state, std::vector<double>& cpu, const Allocations& allocations) {
  std::sort(cpu.begin(), cpu.end());
  state.counters["cpu_ms_median"] = cpu.empty() ? 0.0 : cpu[cpu.size() / 2];
  state.counters["allocs_per_iteration"] =
      cpu.empty() ? 0.0 : double(allocations.all) / double(cpu.size());
  state.counters["allocs_per_iteration_without_effect_start"] =
      allocations.iterationsWithoutEffect == 0
          ? 0.0
          : double(allocations.withoutEffect) / double(allocations.iterationsWithoutEffect);
  state.counters["effect_starts"] = double(allocations.effectStarts);
}

void BM_FootballTick(benchmark::State& state) {
  AppHarness harness;
  cfootballgame* game = StartGame(harness);
  if (!game) {
    state.SkipWithError("the game did not reach play");
    return;
  }
  for (int i = 0; i < 120; ++i) {
    KeepBallInFlight(game);
    game->Update();
  }
  std::vector<double> cpu;
  Allocations allocations;
  for (auto _ : state) {
    KeepBallInFlight(game);
    const int32_t effect = game->lastEffect;
    const uint32_t a0 = AllocationsSoFar();
    const double t0 = ThreadCpuMs();
    game->Update();
    // Counted before the time is stored: the vector growing is the benchmark's own.
    const double t1 = ThreadCpuMs();
    allocations.Add(AllocationsSoFar() - a0, effect, game->lastEffect);
    cpu.push_back(t1 - t0);
  }
  Report(state, cpu, allocations);
  harness.Stop();
}

void BM_FootballFrame(benchmark::State& state) {
  AppHarness harness;
  cfootballgame* game = StartGame(harness);
  if (!game) {
    state.SkipWithError("the game did not reach play");
    return;
  }
  // Warmed up past the first effect the ball's landing starts: the first draw of a particle
  // system builds the device's pipeline for it, which is the driver's one-off cost.
  for (int i = 0, after = 0; after < 60 && i < 3000; ++i) {
    if (game->lastEffect != -1) ++after;
    KeepBallInFlight(game);
    harness.RunFrames(1);
  }
  std::vector<double> cpu;
  Allocations allocations;
  for (auto _ : state) {
    KeepBallInFlight(game);
    harness.system().ClearRecords();
    const int32_t effect = game->lastEffect;
    const uint32_t a0 = AllocationsSoFar();
    const double t0 = ThreadCpuMs();
    harness.RunFrames(1);
    // Counted before the time is stored: the vector growing is the benchmark's own.
    const double t1 = ThreadCpuMs();
    allocations.Add(AllocationsSoFar() - a0, effect, game->lastEffect);
    cpu.push_back(t1 - t0);
  }
  Report(state, cpu, allocations);
  harness.Stop();
}

}  // namespace

BENCHMARK(BM_FootballTick)->Iterations(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FootballFrame)->Iterations(300)->Unit(benchmark::kMillisecond);
