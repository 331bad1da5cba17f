#pragma once
// Shared pieces of the drawing tests: a started App with an open scene on a cleared 640 x 480
// back buffer, solid textures, square meshes, and the colour a MODULATE2X stage gives.
#include <gtest/gtest.h>

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "tests/support/AppHarness.h"
#include "tests/support/MeshImage.h"
#include "tests/support/PixelProbe.h"

namespace apptest {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
using pixelprobe::Rgb;
constexpr Rgb kBlack = {0, 0, 0};
constexpr Rgb kWhite = {255, 255, 255};

// Texture channel times diffuse channel times two, held at 255 (channels 0-255).
int Modulate2x(int texture, double diffuse);
// Modulate2x channel by channel of an A8R8G8B8 texel and diffuse colour.
Rgb Modulate2x(uint32_t texel, const Rgb& diffuse);
// A `width` x `height` A8R8G8B8 DDS of one colour.
bool SaveSolidDds(const std::string& path, int width, int height, uint32_t argb,
                  bool mips = false);
// A square from (x0, y0) to (x1, y1) at depth z: four vertices of `colour`, two triangles in
// one strip of `material`, solid or alpha; its box is the square.
MeshImage SquareMesh(float x0, float y0, float x1, float y1, float z, uint32_t colour,
                     uint32_t material, bool alpha = false);

class DrawTest : public AppTest {
 protected:
  // Writes the fallback texture in `fallback`, starts the App, opens a scene and clears.
  void StartDrawing(uint32_t fallback);
  void TearDown() override;
  Display* display() { return m_harness.app().GetDisplay(); }
  gfx::D3DDevice* device() { return display()->GetDevice(); }
  void Clear();
  std::vector<uint32_t> ReadBack();
  // Creates `geo` from `mesh`, keeping the image alive as the geometry loader does.
  bool Create(GeoObject* geo, const MeshImage& mesh, uint32_t skinningMode = 0);
  static ::testing::AssertionResult AreaIs(const std::vector<uint32_t>& pixels, int x0, int y0,
                                           int x1, int y1, const Rgb& want) {
    return pixelprobe::AreaIs(pixels, kWidth, x0, y0, x1, y1, want);
  }

  std::list<std::vector<uint8_t>> m_images;
  bool m_inScene = false;
};

}  // namespace apptest
