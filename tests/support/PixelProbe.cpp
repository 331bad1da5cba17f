#include "tests/support/PixelProbe.h"

#include <cmath>
#include <cstddef>

namespace pixelprobe {

Rgb RgbOf(uint32_t argb) {
  return {argb >> 16 & 0xFF, argb >> 8 & 0xFF, argb & 0xFF};
}

bool Near(uint32_t pixel, const Rgb& want, double tolerance) {
  const Rgb got = RgbOf(pixel);
  return std::fabs(got.r - want.r) <= tolerance && std::fabs(got.g - want.g) <= tolerance &&
         std::fabs(got.b - want.b) <= tolerance;
}

std::vector<uint32_t> ReadBack(gfx::D3DDevice* device, int width, int height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  EXPECT_FALSE(gfx::TestHooks::PixelWorkSkipped())
      << "the frame was not drawn: this test reads pixels, so it must not skip pixel work";
  EXPECT_EQ(device->ReadBackBuffer(pixels.data(), width, height), gfx::D3D_OK);
  return pixels;
}

int CountOff(const std::vector<uint32_t>& pixels, int width, int x0, int y0, int x1, int y1,
             const Rgb& want, double tolerance) {
  int off = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      if (!Near(pixels[static_cast<size_t>(y) * width + x], want, tolerance)) ++off;
    }
  }
  return off;
}

::testing::AssertionResult AreaIs(const std::vector<uint32_t>& pixels, int width, int x0, int y0,
                                  int x1, int y1, const Rgb& want, double tolerance) {
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
      if (Near(p, want, tolerance)) continue;
      const Rgb got = RgbOf(p);
      return ::testing::AssertionFailure()
             << "pixel (" << x << ", " << y << ") is " << got.r << "," << got.g << "," << got.b
             << ", expected " << want.r << "," << want.g << "," << want.b << " ("
             << CountOff(pixels, width, x0, y0, x1, y1, want, tolerance) << " pixels off)";
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace pixelprobe
