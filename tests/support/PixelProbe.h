#pragma once
// Reading the back buffer after a draw and checking what landed in it: a rectangle of one
// colour within a per-channel tolerance, or how many of its pixels are off. Pixels are
// A8R8G8B8 words, rows top first, as ReadBackBuffer gives them; alpha is never compared.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "Platform/Gfx/D3D.h"

namespace pixelprobe {

// A colour as the tests compute it: whole channel values or blends with fractions.
struct Rgb {
  double r = 0, g = 0, b = 0;

  constexpr Rgb() = default;
  // Any arithmetic channel type: whole values stay exact, and braces need no casts.
  template <class R, class G, class B>
  constexpr Rgb(R red, G green, B blue)
      : r(static_cast<double>(red)), g(static_cast<double>(green)), b(static_cast<double>(blue)) {}
};

Rgb RgbOf(uint32_t argb);

// Every colour channel of `pixel` within `tolerance` of `want`.
bool Near(uint32_t pixel, const Rgb& want, double tolerance);

// The whole back buffer of `device`, which must be `width` x `height`.
std::vector<uint32_t> ReadBack(gfx::D3DDevice* device, int width, int height);

// Pixels of [x0, x1) x [y0, y1) of an image `width` pixels wide that are not `want`.
int CountOff(const std::vector<uint32_t>& pixels, int width, int x0, int y0, int x1, int y1,
             const Rgb& want, double tolerance = 2.0);

// Every pixel of [x0, x1) x [y0, y1) is `want` within `tolerance` per channel; a failure names
// the first pixel off and how many are.
::testing::AssertionResult AreaIs(const std::vector<uint32_t>& pixels, int width, int x0, int y0,
                                  int x1, int y1, const Rgb& want, double tolerance = 2.0);

}  // namespace pixelprobe
