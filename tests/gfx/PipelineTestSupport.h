#pragma once
// A device on the real driver (llvmpipe in headless runs) for the pipeline tests, with the small
// drawing and reading helpers they share. Expected colours are computed in the tests from the
// Direct3D formulas, never read from the code under test.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Platform/Gfx/D3D.h"
#include "tests/gfx/DeviceFixture.h"

namespace pipetest {

using namespace gfx;

// XYZRHW | DIFFUSE | TEX1: what the fonts draw.
struct ScreenVertex {
  float x, y, z, rhw;
  uint32_t color;
  float u, v;
};
static_assert(sizeof(ScreenVertex) == 28);

// XYZ | DIFFUSE | TEX1: the dynamic stream's and the polygon pools' vertex.
struct WorldVertex {
  float x, y, z;
  uint32_t color;
  float u, v;
};
static_assert(sizeof(WorldVertex) == 24);

constexpr uint32_t kFvfScreen = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;  // 0x144
constexpr uint32_t kFvfWorld = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;      // 0x142
constexpr uint32_t kFvfLine = D3DFVF_XYZ | D3DFVF_DIFFUSE;                     // 0x042

using gfxtest::Channel;
using gfxtest::Near;

inline uint32_t Argb(int a, int r, int g, int b) {
  auto c = [](int v) { return static_cast<uint32_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); };
  return (c(a) << 24) | (c(r) << 16) | (c(g) << 8) | c(b);
}

class PipelineTest : public gfxtest::DeviceFixture {
 public:
  static constexpr uint32_t kWidth = 128;
  static constexpr uint32_t kHeight = 96;

  static uint32_t At(const std::vector<uint32_t>& pixels, int x, int y) {
    return pixels[static_cast<size_t>(y) * kWidth + x];
  }

  // Pixels of [x0, x1) x [y0, y1) that are not `expected` (colour channels only).
  static int CountOff(const std::vector<uint32_t>& pixels, int x0, int y0, int x1, int y1,
                      uint32_t expected, int tolerance = 2) {
    return gfxtest::CountOff(pixels, kWidth, x0, y0, x1, y1, expected, tolerance, 0x00FFFFFFu);
  }

  // Pixels of the whole buffer with this colour.
  static int CountColour(const std::vector<uint32_t>& pixels, uint32_t color) {
    int count = 0;
    for (uint32_t p : pixels) {
      if (Near(p, color, 2, 0x00FFFFFFu)) ++count;
    }
    return count;
  }

 protected:
  PipelineTest()
      : DeviceFixture(Options{.width = kWidth,
                              .height = kHeight,
                              .deviceFlags = D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                             D3DCREATE_FPU_PRESERVE,
                              .expectNoLiveDevices = true}) {}

  // The device starts in a scene, as the engine's frames draw.
  void SetUp() override {
    DeviceFixture::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_NE(device_, nullptr);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
  }

  D3DPRESENT_PARAMETERS Params(uint32_t width, uint32_t height) const {
    return gfxtest::WindowedParams(width, height, window_);
  }

  // Stage 0 passes the vertex colour and alpha; stage 1 is off, whatever texture is bound.
  void DiffuseOnly() {
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
  }

  // Float render states (the fog's) are stored as their bit patterns.
  void SetFloatState(D3DRENDERSTATETYPE state, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    device_->SetRenderState(state, bits);
  }

  void Clear(uint32_t color, float z = 1.0f) {
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, z, 0), D3D_OK);
  }

  // A screen rectangle [x0, x1) x [y0, y1) in Direct3D pixels, as the fonts draw one: a
  // two-triangle strip in the order top-left, top-right, bottom-left, bottom-right.
  HRESULT Rect(float x0, float y0, float x1, float y1, uint32_t color, float z = 0.0f,
               float u0 = 0.0f, float v0 = 0.0f, float u1 = 1.0f, float v1 = 1.0f) {
    const ScreenVertex quad[4] = {
        {x0, y0, z, 1.0f, color, u0, v0},
        {x1, y0, z, 1.0f, color, u1, v0},
        {x0, y1, z, 1.0f, color, u0, v1},
        {x1, y1, z, 1.0f, color, u1, v1},
    };
    device_->SetFVF(kFvfScreen);
    return device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex));
  }

  std::vector<uint32_t> Read() {
    std::vector<uint32_t> pixels(kWidth * kHeight, 0xDEADBEEFu);
    EXPECT_EQ(device_->ReadBackBuffer(pixels.data(), kWidth, kHeight), D3D_OK);
    return pixels;
  }

  // The colour a small rectangle in the middle of the buffer gets from `color` drawn over
  // `background`, read at its centre.
  uint32_t DrawAndSample(uint32_t color, uint32_t background = 0xFF000000u) {
    Clear(background);
    EXPECT_EQ(Rect(40, 30, 60, 50, color), D3D_OK);
    return At(Read(), 50, 40);
  }
};

}  // namespace pipetest
