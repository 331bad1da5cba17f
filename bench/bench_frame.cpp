// The main-thread cost of a frame of HUD drawing: one render window, 2,000 2D quads and 20
// lines of 100 characters of text a frame, on the headless device the tests use. Each iteration
// is one whole frame (submission, the window's Clear, Update and Render, EndScene and Present);
// the frame timer's pacing sleeps, which the thread's CPU clock does not count.
//
// Counters: cpu_ms_median, the median main-thread CPU time of a frame; allocs_per_frame, the
// tracked allocations made during the measured frames (every thread's, the GL driver's
// included), per frame, once warmed up. BM_SubmitQuads times the polygon pools alone.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCFontFactory.h"
#include "Engine/PC/PCRenderWindow.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/WftWriter.h"
#include "bench/support/BenchSupport.h"

namespace {

constexpr int kQuads = 2000;
constexpr int kTextLines = 20;
constexpr int kTextLength = 100;
constexpr int kWarmUpFrames = 30;

bool WriteData() {
  std::vector<uint32_t> white(128 * 64, 0xFFFFFFFFu);
  if (!ddswriter::SaveDds("data/white.dds", gfx::D3DFMT_A8R8G8B8, 8, 8, white.data(), false))
    return false;
  wftwriter::FontDesc desc;
  desc.pageBaseName = "bench.wft";
  for (char16_t c = 32; c < 127; ++c)
    desc.Add(c, static_cast<uint32_t>((c - 32) % 16) * 8, static_cast<uint16_t>((c - 32) / 16 * 10),
             6, 10, 0, 0);
  return wftwriter::SaveWft("data/Frontend/bench.wft", desc) &&
         ddswriter::SaveDds("data/Frontend/bench.dds", gfx::D3DFMT_A8R8G8B8, 128, 64, white.data(),
                            false);
}

// A frame's submissions: a 50 x 40 grid of quads over the screen, and the text.
struct Scene {
  std::vector<PolyVertex2D> quads;
  char text[kTextLength + 1];
  int32_t texture = -1;
  Font* font = nullptr;
  bool withText = true;

  Scene() {
    for (int i = 0; i < kQuads; ++i) {
      const float x = float(i % 50) * 12.8f, y = float(i / 50) * 12.0f;
      const uint32_t colour = 0xFF000000u | uint32_t(i * 2654435761u >> 8 & 0x7F7F7F);
      quads.push_back({x, y, 0, 1, colour, 0, 0});
      quads.push_back({x + 12, y, 0, 1, colour, 1, 0});
      quads.push_back({x, y + 11, 0, 1, colour, 0, 1});
      quads.push_back({x + 12, y + 11, 0, 1, colour, 1, 1});
    }
    for (int i = 0; i < kTextLength; ++i) text[i] = char('A' + i % 26);
    text[kTextLength] = 0;
  }

  void Submit(RenderWindow* window) const {
    for (int i = 0; i < kQuads; ++i)
      window->Add2DPolyStrip(texture, 4, &quads[size_t(i) * 4], nullptr, 0);
    if (withText)
      for (int line = 0; line < kTextLines; ++line)
        window->PrintText(text, 4, 4 + line * 22, 0xFFFFFFFFu, 0.0f, font);
  }
};

void RunFrames(benchmark::State& state, bool withText) {
  AppHarness harness;  // a fresh temporary working folder
  if (!WriteData() || !harness.Start()) {
    state.SkipWithError("the application did not start");
    return;
  }
  App& app = harness.app();
  auto* window = TrackedNew<RenderWindow>("RunFrames", 0);
  window->Init(Vector2(0, 0), Vector2(640, 480), Vector4(0, 0, 64, 255), 6, 0.0f);
  app.AddWindow(window);
  Scene scene;
  scene.withText = withText;
  scene.texture = app.GetTexture()->Load("data\\white.dds");
  app.SetDataDir("data\\Frontend\\");
  const int32_t fontId = app.GetFontFactory()->AddFont("bench.wft");
  scene.font = app.GetFontFactory()->GetFont(fontId);
  if (withText && !scene.font) {
    state.SkipWithError("no font");
    return;
  }

  for (int i = 0; i < kWarmUpFrames; ++i) {
    harness.system().ClearRecords();
    scene.Submit(window);
    harness.RunFrames(1);
  }
  std::vector<double> cpu;
  cpu.reserve(size_t(state.max_iterations));
  uint64_t allocations = 0;
  for (auto _ : state) {
    // The harness records every Sleep of the frame pacing; emptied (capacity kept) so that its
    // record does not grow inside the measurement.
    harness.system().ClearRecords();
    const uint32_t a0 = AllocationsSoFar();
    const double t0 = ThreadCpuMs();
    scene.Submit(window);
    harness.RunFrames(1);
    cpu.push_back(ThreadCpuMs() - t0);
    allocations += AllocationsSoFar() - a0;
  }
  std::sort(cpu.begin(), cpu.end());
  state.counters["cpu_ms_median"] = cpu.empty() ? 0.0 : cpu[cpu.size() / 2];
  state.counters["allocs_per_frame"] = cpu.empty() ? 0.0 : double(allocations) / double(cpu.size());
}

void BM_FrameQuadsAndText(benchmark::State& state) { RunFrames(state, true); }
void BM_FrameQuadsOnly(benchmark::State& state) { RunFrames(state, false); }

// The polygon pools alone: 2,000 quads submitted and the frame's queues dropped, no device.
void BM_SubmitQuads(benchmark::State& state) {
  Scene scene;
  PolygonPools pools;
  for (int i = 0; i < kQuads; ++i)
    pools.Add2DPolyStrip(-1, 4, &scene.quads[size_t(i) * 4], nullptr, 0);
  pools.DropAll();
  uint64_t allocations = 0;
  for (auto _ : state) {
    const uint32_t a0 = AllocationsSoFar();
    for (int i = 0; i < kQuads; ++i)
      pools.Add2DPolyStrip(-1, 4, &scene.quads[size_t(i) * 4], nullptr, 0);
    pools.DropAll();
    allocations += AllocationsSoFar() - a0;
  }
  state.counters["allocs_per_frame"] = double(allocations) / double(state.iterations());
  state.SetItemsProcessed(state.iterations() * kQuads);
}

}  // namespace

BENCHMARK(BM_FrameQuadsAndText)->Iterations(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameQuadsOnly)->Iterations(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SubmitQuads)->Unit(benchmark::kMicrosecond);
