// The cost of a frame's fixed work on the display device: clearing the back buffer and
// presenting it into the window (blit and swap), on whatever driver SDL finds (llvmpipe on the
// headless offscreen driver, which is the default here as in the tests).
#include <benchmark/benchmark.h>

#include <vector>

#include "Platform/Gfx/D3D.h"

namespace {

using namespace gfx;

struct Display {
  void* window = nullptr;
  D3DObject* d3d = nullptr;
  D3DDevice* device = nullptr;

  Display(uint32_t width, uint32_t height) {
    window = TestHooks::CreateTestWindow(640, 480);
    d3d = window ? Direct3DCreate9(32) : nullptr;
    if (!d3d) return;
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = width;
    params.BackBufferHeight = height;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_COPY;
    params.hDeviceWindow = window;
    params.Windowed = 1;
    params.EnableAutoDepthStencil = 1;
    params.AutoDepthStencilFormat = D3DFMT_D24X8;
    params.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    d3d->CreateDevice(0, D3DDEVTYPE_HAL, window,
                      D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE, &params,
                      &device);
  }
  ~Display() {
    if (device) device->Release();
    if (d3d) d3d->Release();
    TestHooks::DestroyTestWindow(window);
  }
};

// Clear (colour and depth) and Present of a back buffer of range(0) x range(1) into a 640 x 480
// window. Reading one frame back at the end of each batch makes the driver finish its queue,
// so queued work is not left outside the timing.
void BM_ClearPresent(benchmark::State& state) {
  const uint32_t width = static_cast<uint32_t>(state.range(0));
  const uint32_t height = static_cast<uint32_t>(state.range(1));
  Display display(width, height);
  if (!display.device) {
    state.SkipWithError("no device");
    return;
  }
  std::vector<uint32_t> pixels(640 * 480);
  uint32_t colour = 0xFF000000u;
  for (auto _ : state) {
    colour ^= 0x00FF00FFu;
    display.device->BeginScene();
    display.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, colour, 1.0f, 0);
    display.device->EndScene();
    benchmark::DoNotOptimize(display.device->Present(nullptr, nullptr, nullptr, nullptr));
  }
  TestHooks::ReadPresentedPixels(display.device, pixels.data(), 640, 480);
}
BENCHMARK(BM_ClearPresent)->Args({640, 480})->Args({800, 600})->Args({1024, 768})
    ->Unit(benchmark::kMicrosecond);

// The same frame with the presented picture read back every time: the full round trip through
// the driver, an upper bound on what a frame's fixed work costs.
void BM_ClearPresentFinished(benchmark::State& state) {
  Display display(640, 480);
  if (!display.device) {
    state.SkipWithError("no device");
    return;
  }
  std::vector<uint32_t> pixels(640 * 480);
  uint32_t colour = 0xFF000000u;
  for (auto _ : state) {
    colour ^= 0x00FF00FFu;
    display.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, colour, 1.0f, 0);
    display.device->Present(nullptr, nullptr, nullptr, nullptr);
    benchmark::DoNotOptimize(
        TestHooks::ReadPresentedPixels(display.device, pixels.data(), 640, 480));
  }
}
BENCHMARK(BM_ClearPresentFinished)->Unit(benchmark::kMicrosecond);

// Reading the whole 640 x 480 back buffer, as tests and screenshots do.
void BM_ReadBackBuffer(benchmark::State& state) {
  Display display(640, 480);
  if (!display.device) {
    state.SkipWithError("no device");
    return;
  }
  std::vector<uint32_t> pixels(640 * 480);
  display.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF336699u, 1.0f, 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(display.device->ReadBackBuffer(pixels.data(), 640, 480));
  }
}
BENCHMARK(BM_ReadBackBuffer)->Unit(benchmark::kMicrosecond);

}  // namespace
