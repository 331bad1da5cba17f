#include "tests/support/AppTestSupport.h"

#include <cstring>

#include "Engine/FileImage.h"
#include "tests/support/DdsWriter.h"

namespace apptest {

int Modulate2x(int texture, double diffuse) {
  const double v = texture * diffuse / 255.0 * 2.0;
  return v > 255.0 ? 255 : static_cast<int>(v + 0.5);
}

Rgb Modulate2x(uint32_t texel, const Rgb& diffuse) {
  return {Modulate2x(texel >> 16 & 0xFF, diffuse.r), Modulate2x(texel >> 8 & 0xFF, diffuse.g),
          Modulate2x(texel & 0xFF, diffuse.b)};
}

bool SaveSolidDds(const std::string& path, int width, int height, uint32_t argb, bool mips) {
  std::vector<uint32_t> texels(size_t(width) * size_t(height), argb);
  return ddswriter::SaveDds(path, gfx::D3DFMT_A8R8G8B8, width, height, texels.data(), mips);
}

MeshImage SquareMesh(float x0, float y0, float x1, float y1, float z, uint32_t colour,
                     uint32_t material, bool alpha) {
  MeshImage mesh;
  auto vertex = [&](float x, float y, float u, float v) {
    return GeoVertex{{x, y, z}, {0.0f, 0.0f, 1.0f}, colour, u, v};
  };
  const std::vector<GeoVertex> vertices = {vertex(x0, y0, 0, 1), vertex(x1, y0, 1, 1),
                                           vertex(x0, y1, 0, 0), vertex(x1, y1, 1, 0)};
  const std::vector<uint16_t> indices = {0, 1, 2, 1, 3, 2};
  const std::vector<GeoStrip> strips = {{material, 0, 0, 6}};
  mesh.record.vertexOffset = mesh.Append(vertices);
  mesh.record.vertexCount = 4;
  mesh.record.indexOffset = mesh.Append(indices);
  mesh.record.indexCount = 6;
  (alpha ? mesh.record.alphaStripOffset : mesh.record.solidStripOffset) = mesh.Append(strips);
  (alpha ? mesh.record.alphaStripCount : mesh.record.solidStripCount) = 1;
  const float lo[4] = {x0, y0, z, 1}, hi[4] = {x1, y1, z, 1};
  std::memcpy(mesh.record.boxMin, lo, sizeof(lo));
  std::memcpy(mesh.record.boxMax, hi, sizeof(hi));
  return mesh;
}

void DrawTest::StartDrawing(uint32_t fallback) {
  ASSERT_TRUE(SaveSolidDds("data/badtexture.dds", 8, 8, fallback));
  ASSERT_TRUE(m_harness.Start());
  ASSERT_EQ(display()->BeginScene(), 1);
  m_inScene = true;
  Clear();
}

void DrawTest::TearDown() {
  if (m_inScene && display()->GetDevice()) display()->EndScene();
}

void DrawTest::Clear() {
  ASSERT_EQ(device()->Clear(0, nullptr, gfx::D3DCLEAR_TARGET | gfx::D3DCLEAR_ZBUFFER, 0xFF000000u,
                            1.0f, 0),
            gfx::D3D_OK);
}

std::vector<uint32_t> DrawTest::ReadBack() {
  return pixelprobe::ReadBack(device(), kWidth, kHeight);
}

bool DrawTest::Create(GeoObject* geo, const MeshImage& mesh, uint32_t skinningMode) {
  m_images.push_back(mesh.Bytes());
  const std::vector<uint8_t>& bytes = m_images.back();
  return geo->Create(FileImage(bytes.data(), bytes.size(), "test.geo"), 0, skinningMode) == 1;
}

}  // namespace apptest
