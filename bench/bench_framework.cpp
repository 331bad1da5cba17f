// The game framework's main-thread cost per frame, on the demo data and the headless device the
// tests use: a frame of the front end's menu (music streaming, input, the menu drawn), and a
// frame of a running game (one fixed tick through GameBaseClass and its Render with the HUD).
//
// Counters: cpu_ms_median, the median main-thread CPU time of a frame; allocs_per_frame, the
// tracked allocations made during the measured frames (every thread's), per frame, once warmed
// up.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Game/GameBaseClass.h"
#include "Game/KavelApp.h"
#include "tests/support/AppHarness.h"
#include "bench/support/BenchSupport.h"

namespace {

constexpr int kWarmUpFrames = 60;

// A game that does what every game does each tick and frame, and never ends.
class BenchGame : public GameBaseClass {
 public:
  BenchGame() : GameBaseClass(kModeNormal, 0) {}
  int32_t Update() override {
    UpdateIngameText(1.0f);
    AddScore(0, 1);
    if (m_score[0] % 120 == 0) m_bonusScores.Add(100, Vector4(0.0f, 0.0f, 0.0f, 1.0f));
    return 0;
  }
  void Render() override {
    RenderWindow* window = GetApp().GetCurrentWindow();
    if (!window) return;
    DrawScore(window, 0);
    DrawTime(window, 3600.0f);
    DrawCounter(window, 9, 3, 10);
    DrawLives(window, 3);
    DrawIngameText(window);
  }
};

void Measure(benchmark::State& state, AppHarness& harness) {
  for (int i = 0; i < kWarmUpFrames; ++i) {
    harness.system().ClearRecords();
    harness.RunFrames(1);
  }
  std::vector<double> cpu;
  cpu.reserve(size_t(state.max_iterations));
  uint64_t allocations = 0;
  for (auto _ : state) {
    harness.system().ClearRecords();
    const uint32_t a0 = AllocationsSoFar();
    const double t0 = ThreadCpuMs();
    harness.RunFrames(1);
    cpu.push_back(ThreadCpuMs() - t0);
    allocations += AllocationsSoFar() - a0;
  }
  std::sort(cpu.begin(), cpu.end());
  state.counters["cpu_ms_median"] = cpu.empty() ? 0.0 : cpu[cpu.size() / 2];
  state.counters["allocs_per_frame"] = cpu.empty() ? 0.0 : double(allocations) / double(cpu.size());
}

void BM_FrontEndFrame(benchmark::State& state) {
  AppHarness harness;
  KavelApp::Register();
  if (!WriteDemoData() || !harness.Start()) {
    state.SkipWithError("the application did not start");
    return;
  }
  Measure(state, harness);
  harness.Stop();
}

void BM_GameFrame(benchmark::State& state) {
  AppHarness harness;
  KavelApp::Register();
  if (!WriteDemoData() || !harness.Start()) {
    state.SkipWithError("the application did not start");
    return;
  }
  GetKavelApp()->StartGame(TrackedNew<BenchGame>("BM_GameFrame"));
  Measure(state, harness);
  harness.Stop();
}

}  // namespace

BENCHMARK(BM_FrontEndFrame)->Iterations(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GameFrame)->Iterations(300)->Unit(benchmark::kMillisecond);
