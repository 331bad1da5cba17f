#pragma once
// Pieces the content and drawing tests share: the 640 x 480 client the harness opens, solid
// textures, host paths of the engine's backslash names, and the stage arithmetic.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "Engine/FastMath.h"
#include "Engine/PC/PCRenderWindow.h"
#include "tests/support/PixelProbe.h"

namespace content {

using pixelprobe::Rgb;
using pixelprobe::RgbOf;

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// The whole back buffer of the running application's device.
std::vector<uint32_t> ReadBack();

// Every pixel of [x0, x1) x [y0, y1) of a client-sized read is `want` within `tolerance`.
::testing::AssertionResult AreaIs(const std::vector<uint32_t>& pixels, int x0, int y0, int x1,
                                  int y1, const Rgb& want, double tolerance = 2.0);

// The engine's backslash name as a path of the host.
std::string HostPath(std::string name);

// An A8R8G8B8 ".dds" of `size` x `size` texels of one colour, at the engine's name `name`.
bool SaveSolidDds(const std::string& name, uint32_t argb, uint32_t size = 8);

// The standard CRC-32 of a name from its 11th character: the handle of a file registry.
int32_t Identifier(const std::string& name);

// Identity with (x, y, z) in the fourth row.
Matrix Translated(float x, float y, float z = 0.0f);

// A MODULATE2X stage: twice the product of two 0-255 channels, held at 255.
inline double Modulate2x(double texture, double diffuse) {
  return std::min(255.0, 2.0 * texture * diffuse / 255.0);
}

// Copies four values into a four-float field.
inline void Set4(float (&field)[4], float x, float y, float z, float w) {
  field[0] = x;
  field[1] = y;
  field[2] = z;
  field[3] = w;
}

// A full-client render window added to the application for one test, so that the shader set
// finds a current window to take the lights and colour factors from.
class ScopedWindow {
 public:
  ScopedWindow();
  ~ScopedWindow();
  ScopedWindow(const ScopedWindow&) = delete;
  ScopedWindow& operator=(const ScopedWindow&) = delete;
  RenderWindow* operator->() { return m_window; }

 private:
  RenderWindow* m_window;
  int32_t m_id;
};

}  // namespace content
