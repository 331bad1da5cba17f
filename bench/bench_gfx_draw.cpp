// The cost of the draws the fonts and 2D lists make: DrawPrimitiveUP of screen quads (XYZRHW |
// DIFFUSE | TEX1, a two-triangle strip each) on whatever driver SDL finds (llvmpipe on the
// headless offscreen driver, the default here as in the tests). One iteration is one frame:
// begin, clear, the quads, end, present. The CPU time is the figure that matters; the real time
// includes the software rasteriser's own threads.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "Platform/Gfx/D3D.h"

namespace {

using namespace gfx;

struct ScreenVertex {
  float x, y, z, rhw;
  uint32_t color;
  float u, v;
};

struct Display {
  void* window = nullptr;
  D3DObject* d3d = nullptr;
  D3DDevice* device = nullptr;
  D3DTexture* textures[2] = {};

  Display() {
    window = TestHooks::CreateTestWindow(640, 480);
    d3d = window ? Direct3DCreate9(32) : nullptr;
    if (!d3d) return;
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = 640;
    params.BackBufferHeight = 480;
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
    if (!device) return;
    // Two small glyph pages.
    for (int t = 0; t < 2; ++t) {
      if (device->CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &textures[t]) !=
          D3D_OK) {
        continue;
      }
      D3DLOCKED_RECT locked{};
      if (textures[t]->LockRect(0, &locked, nullptr, 0) == D3D_OK) {
        for (int y = 0; y < 64; ++y) {
          uint32_t* row =
              reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
          for (int x = 0; x < 64; ++x) row[x] = ((x ^ y ^ t) & 8) ? 0xFFFFFFFFu : 0x00FFFFFFu;
        }
        textures[t]->UnlockRect(0);
      }
    }
    // The fonts' states (Font::BeginText).
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    device->SetVertexShader(nullptr);
    device->SetRenderState(D3DRS_LIGHTING, 0);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    device->SetRenderState(D3DRS_ALPHAREF, 128);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
    device->SetTexture(0, textures[0]);
  }
  ~Display() {
    if (device) {
      device->SetTexture(0, nullptr);
      for (D3DTexture* t : textures) {
        if (t) t->Release();
      }
      device->Release();
    }
    if (d3d) d3d->Release();
    TestHooks::DestroyTestWindow(window);
  }
};

// One glyph-sized quad per call, spread over the screen.
void Quad(D3DDevice* device, int i) {
  const float x = static_cast<float>((i * 13) % 620);
  const float y = static_cast<float>((i * 7) % 460);
  const ScreenVertex quad[4] = {
      {x, y, 0.5f, 1.0f, 0xFF808080u, 0.0f, 0.0f},
      {x + 16, y, 0.5f, 1.0f, 0xFF808080u, 0.25f, 0.0f},
      {x, y + 16, 0.5f, 1.0f, 0xFF808080u, 0.0f, 0.25f},
      {x + 16, y + 16, 0.5f, 1.0f, 0xFF808080u, 0.25f, 0.25f},
  };
  device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex));
}

void Frame(Display& display, int quads, bool changeStates) {
  D3DDevice* device = display.device;
  device->BeginScene();
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
  for (int i = 0; i < quads; ++i) {
    if (changeStates) {
      // What an uncached caller would do between glyphs: another page, another blend.
      device->SetTexture(0, display.textures[i & 1]);
      device->SetRenderState(D3DRS_DESTBLEND, (i & 2) ? D3DBLEND_ONE : D3DBLEND_INVSRCALPHA);
    }
    Quad(device, i);
  }
  device->EndScene();
  device->Present(nullptr, nullptr, nullptr, nullptr);
}

// range(0) quads per frame, all with the same states.
void BM_DrawPrimitiveUPFrame(benchmark::State& state) {
  Display display;
  if (!display.device) {
    state.SkipWithError("no device");
    return;
  }
  const int quads = static_cast<int>(state.range(0));
  std::vector<uint32_t> pixels(640 * 480);
  Frame(display, quads, false);  // programs made before timing
  for (auto _ : state) Frame(display, quads, false);
  // Let the driver finish what was queued, so that it is not left outside the timing.
  TestHooks::ReadPresentedPixels(display.device, pixels.data(), 640, 480);
  state.SetItemsProcessed(state.iterations() * quads);
}
BENCHMARK(BM_DrawPrimitiveUPFrame)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

// The same with a texture and a blend change before every quad.
void BM_DrawPrimitiveUPFrameWithStateChanges(benchmark::State& state) {
  Display display;
  if (!display.device) {
    state.SkipWithError("no device");
    return;
  }
  const int quads = static_cast<int>(state.range(0));
  std::vector<uint32_t> pixels(640 * 480);
  Frame(display, quads, true);
  for (auto _ : state) Frame(display, quads, true);
  TestHooks::ReadPresentedPixels(display.device, pixels.data(), 640, 480);
  state.SetItemsProcessed(state.iterations() * quads);
}
BENCHMARK(BM_DrawPrimitiveUPFrameWithStateChanges)->Arg(1000)->Unit(benchmark::kMicrosecond);

// A frame with nothing but the clear and present, for comparison.
void BM_EmptyFrame(benchmark::State& state) {
  Display display;
  if (!display.device) {
    state.SkipWithError("no device");
    return;
  }
  std::vector<uint32_t> pixels(640 * 480);
  for (auto _ : state) Frame(display, 0, false);
  TestHooks::ReadPresentedPixels(display.device, pixels.data(), 640, 480);
}
BENCHMARK(BM_EmptyFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
