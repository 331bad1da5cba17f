// The penalty-kick game's main-thread cost in steady play on the demo data and the headless
// device the tests use: one tick (the game's Update) and one frame (its Render with the App's
// window pass), with the tracked allocations each makes once warmed up (the goal is none).
//
// Steady play: the game is loaded through the framework, the intro is run through, and a kick
// is kept in the air or on the ground by scripting the ball, so every part of the tick runs
// (defenders, keeper, Orwen's crossing, hit tests) and the frame draws every character.
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

void Report(benchmark::State& state, std::vector<double>& cpu, uint64_t allocations) {
  std::sort(cpu.begin(), cpu.end());
  state.counters["cpu_ms_median"] = cpu.empty() ? 0.0 : cpu[cpu.size() / 2];
  state.counters["allocs_per_iteration"] =
      cpu.empty() ? 0.0 : double(allocations) / double(cpu.size());
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
  uint64_t allocations = 0;
  for (auto _ : state) {
    KeepBallInFlight(game);
    const uint32_t a0 = AllocationsSoFar();
    const double t0 = ThreadCpuMs();
    game->Update();
    cpu.push_back(ThreadCpuMs() - t0);
    allocations += AllocationsSoFar() - a0;
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
  for (int i = 0; i < 60; ++i) {
    KeepBallInFlight(game);
    harness.RunFrames(1);
  }
  std::vector<double> cpu;
  uint64_t allocations = 0;
  for (auto _ : state) {
    KeepBallInFlight(game);
    harness.system().ClearRecords();
    const uint32_t a0 = AllocationsSoFar();
    const double t0 = ThreadCpuMs();
    harness.RunFrames(1);
    cpu.push_back(ThreadCpuMs() - t0);
    allocations += AllocationsSoFar() - a0;
  }
  Report(state, cpu, allocations);
  harness.Stop();
}

}  // namespace

BENCHMARK(BM_FootballTick)->Iterations(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FootballFrame)->Iterations(300)->Unit(benchmark::kMillisecond);
