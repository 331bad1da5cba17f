#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "Engine/FileImage.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCGeoObject.h"
#include "Engine/PC/PCMeshRecord.h"
#include "Engine/PC/PCRenderStates.h"
#include "Engine/PC/PCSkeleton.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PixelProbe.h"
#include "tests/support/TempDir.h"

namespace {

// A ".geo" image holding one mesh record at offset 0 and whatever the test appends after it.
struct MeshImage {
  GeoMeshFileRecord record{};
  std::vector<uint8_t> tail;

  MeshImage() {
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::memcpy(record.matrix, identity, sizeof(identity));
  }

  // Appends at a 4-byte boundary; the offset from the start of the image.
  uint32_t Append(const void* data, size_t size) {
    while (tail.size() % 4) tail.push_back(0);
    uint32_t offset = static_cast<uint32_t>(sizeof(GeoMeshFileRecord) + tail.size());
    const auto* p = static_cast<const uint8_t*>(data);
    tail.insert(tail.end(), p, p + size);
    return offset;
  }
  template <class T>
  uint32_t Append(const std::vector<T>& items) {
    return Append(items.data(), items.size() * sizeof(T));
  }

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> bytes(sizeof(record));
    std::memcpy(bytes.data(), &record, sizeof(record));
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
  }
};

GeoVertex Vertex(float x, float y, float z, uint32_t colour, float u, float v) {
  return GeoVertex{{x, y, z}, {0.0f, 0.0f, 1.0f}, colour, u, v};
}

// A single-buffer square from (x0, y0) to (x1, y1) at depth z: four vertices, two triangles,
// one solid strip of material `material`.
MeshImage Square(float x0, float y0, float x1, float y1, float z, uint32_t colour,
                 uint32_t material) {
  MeshImage mesh;
  std::vector<GeoVertex> vertices = {
      Vertex(x0, y0, z, colour, 0, 1), Vertex(x1, y0, z, colour, 1, 1),
      Vertex(x0, y1, z, colour, 0, 0), Vertex(x1, y1, z, colour, 1, 0)};
  std::vector<uint16_t> indices = {0, 1, 2, 1, 3, 2};
  std::vector<GeoStrip> strips = {{material, 0, 0, 6}};
  mesh.record.vertexOffset = mesh.Append(vertices);
  mesh.record.vertexCount = 4;
  mesh.record.indexOffset = mesh.Append(indices);
  mesh.record.indexCount = 6;
  mesh.record.solidStripOffset = mesh.Append(strips);
  mesh.record.solidStripCount = 1;
  for (int i = 0; i < 3; ++i) {
    mesh.record.boxMin[i] = i == 0 ? x0 : i == 1 ? y0 : z;
    mesh.record.boxMax[i] = i == 0 ? x1 : i == 1 ? y1 : z;
  }
  mesh.record.boxMin[3] = mesh.record.boxMax[3] = 1.0f;
  return mesh;
}

bool HasNoBuffers(const GeoObject& geo) {
  return !geo.GetVertexBuffer() && !geo.GetSkinBuffer() && !geo.GetIndexBuffer() &&
         !geo.GetMultiIndexBuffer() && !geo.GetMultiVertexBuffer(0) && !geo.HasSolidStrips() &&
         !geo.HasAlphaStrips() && geo.GetVertexCount() == 0;
}

class GeoRecordTest : public TempDirTest {};

TEST_F(GeoRecordTest, ANewObjectHoldsAnEmptyBox) {
  GeoObject geo;
  EXPECT_EQ(geo.GetBoxMin().x, 32768.0f);
  EXPECT_EQ(geo.GetBoxMin().w, 1.0f);
  EXPECT_EQ(geo.GetBoxMax().z, -32768.0f);
  EXPECT_EQ(geo.GetBoxMax().w, 1.0f);
  EXPECT_EQ(geo.GetCurrentBuffer(), 0);
  EXPECT_TRUE(HasNoBuffers(geo));
}

TEST_F(GeoRecordTest, AMeshWithoutVerticesTakesOnlyItsBoxAndMatrix) {
  MeshImage mesh;
  mesh.record.flags = GeoObject::kEffect;
  mesh.record.solidStripCount = 3;  // ignored without vertices
  const float box[8] = {-1, -2, -3, 1, 4, 5, 6, 1};
  std::memcpy(mesh.record.boxMin, box, 16);
  std::memcpy(mesh.record.boxMax, box + 4, 16);
  mesh.record.matrix[12] = 7.0f;
  std::vector<uint8_t> bytes = mesh.Bytes();
  FileImage image(bytes.data(), bytes.size(), "empty.geo");
  GeoObject geo;
  EXPECT_EQ(geo.Create(image, 0, 1), 1);
  EXPECT_TRUE(HasNoBuffers(geo));
  EXPECT_EQ(geo.GetFlags(), GeoObject::kEffect);
  EXPECT_EQ(geo.GetSkinningMode(), 1u);
  EXPECT_EQ(geo.GetBoxMin().y, -2.0f);
  EXPECT_EQ(geo.GetBoxMax().z, 6.0f);
  EXPECT_EQ(geo.GetLocalMatrix()[12], 7.0f);
  EXPECT_EQ(geo.GetLocalMatrix()[0], 1.0f);
}

TEST_F(GeoRecordTest, RecordsReachingOutsideTheImageAreRefused) {
  struct Case {
    const char* what;
    std::function<void(MeshImage&)> spoil;
    size_t cut = 0;  // when non-zero, the image is cut to this many bytes
  };
  const uint32_t far = 1u << 30;
  std::vector<Case> cases = {
      {"record cut short", [](MeshImage&) {}},
      {"vertices past the end", [&](MeshImage& m) { m.record.vertexOffset = far; }},
      {"vertex count past the end", [](MeshImage& m) { m.record.vertexCount = 50; }},
      {"vertex count overflowing", [](MeshImage& m) { m.record.vertexCount = 0xFFFFFFFFu; }},
      {"more vertices than 16-bit indices name",
       [](MeshImage& m) { m.record.vertexCount = 0x10000; }},
      {"indices past the end", [](MeshImage& m) { m.record.indexCount = 4000; }},
      {"strip table past the end", [&](MeshImage& m) { m.record.solidStripOffset = far; }},
      {"strip count past the end", [](MeshImage& m) { m.record.solidStripCount = 50; }},
      {"alpha strips past the end",
       [&](MeshImage& m) {
         m.record.alphaStripOffset = m.record.solidStripOffset + 8;
         m.record.alphaStripCount = 1;
       }},
      {"strip beyond the indices",
       [](MeshImage& m) {
         GeoStrip bad = {0, 0, 3, 6};
         m.record.solidStripOffset = m.Append(&bad, sizeof(bad));
       }},
      {"index naming a vertex that is not there",
       [](MeshImage& m) {
         std::vector<uint16_t> bad = {0, 1, 2, 1, 3, 4};
         m.record.indexOffset = m.Append(bad);
       }},
      {"strips without indices", [](MeshImage& m) { m.record.indexOffset = 0; }},
      {"skin weights past the end",
       [](MeshImage& m) { m.record.skinOffset = m.record.solidStripOffset; }},
      {"vertex buffer table past the end",
       [&](MeshImage& m) {
         m.record.bufferTableOffset = far;
         m.record.bufferCount = 1;
       }},
      {"vertex buffer past the end",
       [&](MeshImage& m) {
         std::vector<uint32_t> table = {m.record.vertexOffset, far};
         m.record.bufferTableOffset = m.Append(table);
         m.record.bufferCount = 2;
         m.record.multiVertexCount = 4;
       }},
      {"multi-buffer strips without indices",
       [](MeshImage& m) {
         std::vector<uint32_t> table = {m.record.vertexOffset};
         m.record.bufferTableOffset = m.Append(table);
         m.record.bufferCount = 1;
         m.record.multiVertexCount = 4;
         m.record.multiSolidStripOffset = m.record.solidStripOffset;
         m.record.multiSolidStripCount = 1;
       }},
  };
  cases[0].cut = sizeof(GeoMeshFileRecord) - 4;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MeshImage mesh = Square(-1, -1, 1, 1, 0.5f, 0xFFFFFFFF, 0);
    c.spoil(mesh);
    std::vector<uint8_t> bytes = mesh.Bytes();
    if (c.cut) bytes.resize(c.cut);
    FileImage image(bytes.data(), bytes.size(), "bad.geo");
    GeoObject geo;
    const uint32_t before = MemoryTracker::CountBlocksFromFile("PCGeoObject.cpp");
    EXPECT_EQ(geo.Create(image, 0, 0), 0);
    EXPECT_TRUE(HasNoBuffers(geo));
    EXPECT_EQ(MemoryTracker::CountBlocksFromFile("PCGeoObject.cpp"), before);
    EXPECT_TRUE(DebugLogContains("Refused mesh record at 0 of bad.geo"));
  }
  // The untouched square is accepted, so each refusal above came from its one fault.
  MeshImage good = Square(-1, -1, 1, 1, 0.5f, 0xFFFFFFFF, 0);
  std::vector<uint8_t> bytes = good.Bytes();
  FileImage image(bytes.data(), bytes.size(), "good.geo");
  GeoObject geo;
  EXPECT_EQ(geo.Create(image, 0, 0), 1);
  EXPECT_EQ(geo.GetSolidStripCount(), 1);
  EXPECT_EQ(geo.GetVertexCount(), 4);
  // A record offset past the end is refused as well.
  EXPECT_EQ(geo.Create(image, bytes.size() - 10, 0), 0);
}

TEST_F(GeoRecordTest, WaterBecomesAnElevenByTwentyOneGrid) {
  MeshImage mesh = Square(-1, -1, 1, 1, 0.5f, 0xFFFFFFFF, 0);
  mesh.record.flags = GeoObject::kWater;
  const float box[8] = {-10, -20, 5, 1, 10, 20, 7, 1};
  std::memcpy(mesh.record.boxMin, box, 16);
  std::memcpy(mesh.record.boxMax, box + 4, 16);
  std::vector<uint8_t> bytes = mesh.Bytes();
  FileImage image(bytes.data(), bytes.size(), "water.geo");
  GeoObject geo;
  ASSERT_EQ(geo.Create(image, 0, 1), 1);
  EXPECT_EQ(geo.GetSkinningMode(), 0u);
  EXPECT_EQ(geo.GetFlags(), GeoObject::kWater);
  EXPECT_EQ(geo.GetVertexCount(), 231);
  EXPECT_EQ(geo.GetSolidStripCount(), 0) << "the record's own strips are not drawn";
  ASSERT_EQ(geo.GetAlphaStripCount(), 1);
  const GeoStrip* strip = geo.GetAlphaStrips();
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(strip->material, 0xFFFFFFFFu);
  EXPECT_EQ(strip->flags, 0x2u | 0x4u | 0x8u);
  EXPECT_EQ(strip->firstIndex, 0u);
  EXPECT_EQ(strip->NumVert / 3, 400u);

  const WaterVertex* grid = geo.GetWaterVertices();
  ASSERT_NE(grid, nullptr);
  for (int r = 0; r <= 20; ++r) {
    for (int c = 0; c <= 10; ++c) {
      const WaterVertex& w = grid[r * 11 + c];
      const float u = c / 10.0f, v = r / 20.0f;
      EXPECT_NEAR(w.position[0], -10.0f + 2.0f * c, 1e-4f);
      EXPECT_NEAR(w.position[1], -20.0f + 2.0f * r, 1e-4f);
      EXPECT_EQ(w.position[2], 5.0f - 32.0f);
      EXPECT_EQ(w.normal[2], 1.0f);
      EXPECT_NEAR(w.uv[0], 5 * u, 1e-4f);
      EXPECT_NEAR(w.uv[1], 5 * v, 1e-4f);
      EXPECT_NEAR(w.edge, 32.0f * std::max(std::fabs(u - 0.5f), std::fabs(v - 0.5f)), 1e-4f);
      EXPECT_NEAR(w.uv2[0], u, 1e-5f);
      EXPECT_NEAR(w.uv2[1], v, 1e-5f);
    }
  }
  const uint32_t owned = MemoryTracker::CountBlocksFromFile("PCGeoObject.cpp");
  EXPECT_GE(owned, 2u);
  geo.CleanUp();
  EXPECT_EQ(MemoryTracker::CountBlocksFromFile("PCGeoObject.cpp"), owned - 2);
  EXPECT_EQ(geo.GetWaterVertices(), nullptr);
  EXPECT_EQ(geo.GetAlphaStrips(), nullptr);
}

TEST(GeoSkinning, EachVertexIsTheWeightedSumOfItsBones) {
  Matrix bones[2];
  bones[0].Identity();
  bones[0][12] = 1.0f;          // bone 0 moves +1 along x
  bones[1].RotationZ(kHalfPi);  // bone 1 turns a quarter about z
  bones[1][13] = 2.0f;
  const std::vector<GeoVertex> source = {Vertex(1, 0, 0, 0xFF112233, 0.25f, 0.75f),
                                         Vertex(1, 0, 0, 0xFF445566, 0, 0),
                                         Vertex(3, 4, 5, 0, 0, 0), Vertex(1, 1, 1, 0, 0, 0)};
  const std::vector<GeoSkinWeight> weights = {
      {{0, 3, 0, 0}, {1.0f, 0.0f, 0.0f, 0.0f}},     // bone 0 only
      {{0, 3, 0, 0}, {0.5f, 0.5f, 0.0f, 0.0f}},     // half and half
      {{3, 0, 0, 0}, {0.0f, 1.0f, 0.0f, 0.0f}},     // the first pair counts even at weight 0
      {{3, 30, 0, 0}, {0.25f, 0.75f, 0.0f, 0.0f}},  // bone 10 is not in the palette
  };
  std::vector<GeoVertex> out(4);
  GeoObject::SkinVertices(source.data(), weights.data(), 4, bones, 2, out.data());

  EXPECT_FLOAT_EQ(out[0].position[0], 2.0f);
  EXPECT_FLOAT_EQ(out[0].position[1], 0.0f);
  EXPECT_FLOAT_EQ(out[0].normal[2], 1.0f) << "a normal takes no translation";
  EXPECT_EQ(out[0].colour, 0xFF112233u);
  EXPECT_EQ(out[0].u, 0.25f);
  EXPECT_EQ(out[0].v, 0.75f);
  // (1, 0, 0) through bone 1 is (0, 1, 0) + (0, 2, 0); through bone 0 it is (2, 0, 0).
  EXPECT_NEAR(out[1].position[0], 0.5f * 2.0f + 0.5f * 0.0f, 1e-6f);
  EXPECT_NEAR(out[1].position[1], 0.5f * 0.0f + 0.5f * 3.0f, 1e-6f);
  EXPECT_NEAR(out[1].normal[2], 1.0f, 1e-6f);
  // Weight 0 on the first pair still counts: 0 × bone 1 + 1 × bone 0.
  EXPECT_NEAR(out[2].position[0], 4.0f, 1e-6f);
  EXPECT_NEAR(out[2].position[1], 4.0f, 1e-6f);
  EXPECT_NEAR(out[2].position[2], 5.0f, 1e-6f);
  // Only bone 1's quarter counts: (1, 1, 1) turned is (-1, 1, 1), plus (0, 2, 0).
  EXPECT_NEAR(out[3].position[0], 0.25f * -1.0f, 1e-6f);
  EXPECT_NEAR(out[3].position[1], 0.25f * 3.0f, 1e-6f);
  EXPECT_NEAR(out[3].position[2], 0.25f * 1.0f, 1e-6f);
}

}  // namespace

// ---- On the device.

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

using pixelprobe::Rgb;

// The colour a MODULATE2X stage gives for a texture channel and a diffuse channel (0-255 each).
int Modulate2x(int texture, double diffuse) {
  double v = texture * diffuse / 255.0 * 2.0;
  return v > 255.0 ? 255 : static_cast<int>(v + 0.5);
}

// Every pixel of [x0, x1) × [y0, y1) of a back-buffer read is `want` within ±2 per channel.
::testing::AssertionResult AreaIs(const std::vector<uint32_t>& pixels, int x0, int y0, int x1,
                                  int y1, const Rgb& want) {
  return pixelprobe::AreaIs(pixels, kWidth, x0, y0, x1, y1, want);
}

// Meshes drawn with an identity draw matrix: positions are clip coordinates, so x from -1 to 1
// covers the 640 pixels and y from 1 down to -1 the 480 rows.
class GeoDrawTest : public AppTest {
 protected:
  static constexpr uint32_t kFallbackColour = 0xFF20C040u;  // r 0x20, g 0xC0, b 0x40
  static constexpr uint32_t kBackground = 0xFF000000u;

  void Start(bool withFallback = true) {
    if (withFallback) {
      std::vector<uint32_t> texels(8 * 8, kFallbackColour);
      ASSERT_TRUE(ddswriter::SaveDds("data/badtexture.dds", gfx::D3DFMT_A8R8G8B8, 8, 8,
                                     texels.data(), false));
    }
    ASSERT_TRUE(m_harness.Start());
    m_entry.node = &m_node;
    m_entry.drawMatrix.Identity();
    m_entry.world.Identity();
    m_entry.flags = MeshRecord::kNoCulling;
    ASSERT_EQ(display()->BeginScene(), 1);
    ClearBackBuffer();
  }
  void TearDown() override {
    if (m_harness.app().GetDisplay()->GetDevice()) display()->EndScene();
  }

  Display* display() { return m_harness.app().GetDisplay(); }
  gfx::D3DDevice* device() { return display()->GetDevice(); }
  void ClearBackBuffer() {
    ASSERT_EQ(device()->Clear(0, nullptr, gfx::D3DCLEAR_TARGET | gfx::D3DCLEAR_ZBUFFER, kBackground,
                              1.0f, 0),
              gfx::D3D_OK);
  }
  std::vector<uint32_t> ReadBack() {
    return pixelprobe::ReadBack(device(), kWidth, kHeight);
  }
  // Keeps the image alive for the object, as the geometry loader does.
  bool Create(GeoObject* geo, const MeshImage& mesh, uint32_t skinningMode) {
    m_images.push_back(mesh.Bytes());
    const std::vector<uint8_t>& bytes = m_images.back();
    return geo->Create(FileImage(bytes.data(), bytes.size(), "test.geo"), 0, skinningMode) == 1;
  }

  SceneNode m_node;
  MeshRecord m_entry;
  std::list<std::vector<uint8_t>> m_images;
};

TEST_F(GeoDrawTest, MaterialMinusOneDrawsWithTheFallbackTexture) {
  Start();
  GeoObject geo;
  ASSERT_TRUE(Create(&geo, Square(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0xFF808080u, 0xFFFFFFFFu), 0));
  ASSERT_NE(geo.GetVertexBuffer(), nullptr);
  ASSERT_NE(geo.GetIndexBuffer(), nullptr);
  m_node.geoObject = &geo;
  geo.DrawSolid(m_entry, 0);
  std::vector<uint32_t> pixels = ReadBack();
  const double grey = 0x80;
  EXPECT_TRUE(AreaIs(pixels, 164, 124, 476, 356,
                     {Modulate2x(0x20, grey), Modulate2x(0xC0, grey), Modulate2x(0x40, grey)}));
  EXPECT_TRUE(AreaIs(pixels, 0, 0, 156, kHeight, {0, 0, 0}));
  EXPECT_TRUE(AreaIs(pixels, 484, 0, kWidth, kHeight, {0, 0, 0}));
  EXPECT_TRUE(AreaIs(pixels, 0, 0, kWidth, 116, {0, 0, 0}));

  // A material past the node's table is drawn like -1, not read from beyond the table.
  int32_t table[1] = {-1};
  m_node.textures = table;
  m_node.textureCount = 1;
  GeoObject beyond;
  ASSERT_TRUE(Create(&beyond, Square(-1.0f, -1.0f, -0.5f, -0.5f, 0.5f, 0xFF808080u, 5), 0));
  beyond.DrawSolid(m_entry, 0);
  EXPECT_TRUE(AreaIs(ReadBack(), 4, 364, 156, 476,
                     {Modulate2x(0x20, grey), Modulate2x(0xC0, grey), Modulate2x(0x40, grey)}));
}

TEST_F(GeoDrawTest, ATexturedColouredMeshShowsTextureTimesColourTimesTwo) {
  std::vector<uint32_t> texels(16 * 16, 0xFFC86432u);  // 200, 100, 50
  ASSERT_TRUE(
      ddswriter::SaveDds("data/wall.dds", gfx::D3DFMT_A8R8G8B8, 16, 16, texels.data(), true));
  Start();
  int32_t wall = m_harness.app().GetTexture()->Load("data\\wall.dds");
  ASSERT_NE(wall, -1);
  int32_t table[2] = {-1, wall};
  m_node.textures = table;
  m_node.textureCount = 2;
  GeoObject geo;
  ASSERT_TRUE(Create(&geo, Square(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0xFF4080FFu, 1), 0));
  m_node.geoObject = &geo;
  GeoDrawContext context;
  context.windowTint.Set(1.0f, 0.5f, 1.0f, 1.0f);
  m_entry.tint.Set(0.5f, 1.0f, 1.0f, 1.0f);
  geo.DrawSolid(m_entry, 0, context);
  // Diffuse = window tint × entry tint × vertex colour.
  const Rgb expected = {Modulate2x(200, 0.5 * 0x40), Modulate2x(100, 0.5 * 0x80),
                        Modulate2x(50, 0xFF)};
  std::vector<uint32_t> pixels = ReadBack();
  EXPECT_TRUE(AreaIs(pixels, 164, 124, 476, 356, expected));
  EXPECT_TRUE(AreaIs(pixels, 0, 0, 156, kHeight, {0, 0, 0}));

  // The override flag draws the entry's own texture instead of the node's.
  ClearBackBuffer();
  m_entry.flags |= MeshRecord::kTextureOverride;
  m_entry.overrideTexture = -1;
  geo.DrawSolid(m_entry, 0, context);
  EXPECT_TRUE(
      AreaIs(ReadBack(), 164, 124, 476, 356,
             {Modulate2x(0x20, 0.5 * 0x40), Modulate2x(0xC0, 0.5 * 0x80), Modulate2x(0x40, 0xFF)}));
}

TEST_F(GeoDrawTest, WireframeAndWaterLeaveNoStatesBehind) {
  Start();
  GeoObject geo;
  ASSERT_TRUE(Create(&geo, Square(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0xFF808080u, 0xFFFFFFFFu), 0));
  m_entry.flags |= MeshRecord::kWireframe;
  geo.DrawSolid(m_entry, 0);
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_FILLMODE), uint32_t(gfx::D3DFILL_SOLID));
  EXPECT_EQ(RenderStateCache::GetTextureStageState(0, gfx::D3DTSS_COLORARG1), gfx::D3DTA_TEXTURE);
  EXPECT_EQ(RenderStateCache::GetTextureStageState(0, gfx::D3DTSS_ALPHAARG1), gfx::D3DTA_TEXTURE);
  // Culling and the alpha test follow the entry when it is not blended.
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_CULLMODE), uint32_t(gfx::D3DCULL_NONE));
  m_entry.flags = MeshRecord::kNoAlphaTest;
  geo.DrawSolid(m_entry, 0);
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_CULLMODE), uint32_t(gfx::D3DCULL_CCW));
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_ALPHATESTENABLE), 0u);

  MeshImage water = Square(-1, -1, 1, 1, 0.5f, 0xFFFFFFFF, 0);
  water.record.flags = GeoObject::kWater;
  GeoObject plane;
  ASSERT_TRUE(Create(&plane, water, 0));
  plane.DrawSolid(m_entry, 0);
  plane.DrawAlpha(m_entry);
  EXPECT_EQ(RenderStateCache::GetTextureStageState(0, gfx::D3DTSS_TEXTURETRANSFORMFLAGS),
            gfx::D3DTTFF_DISABLE);
  EXPECT_EQ(RenderStateCache::GetTextureStageState(0, gfx::D3DTSS_COLOROP),
            uint32_t(gfx::D3DTOP_MODULATE2X));
  EXPECT_EQ(RenderStateCache::GetTextureStageState(1, gfx::D3DTSS_COLOROP),
            uint32_t(gfx::D3DTOP_DISABLE));
  EXPECT_EQ(RenderStateCache::GetTextureStageState(1, gfx::D3DTSS_ALPHAOP),
            uint32_t(gfx::D3DTOP_DISABLE));
}

TEST_F(GeoDrawTest, WaterDrawsAsOneAdditiveWrappingStripOfFourHundredTriangles) {
  Start();
  MeshImage water = Square(-1, -1, 1, 1, 0.5f, 0xFFFFFFFF, 0);
  water.record.flags = GeoObject::kWater;
  std::vector<GeoStrip> alpha = {{0, 0, 0, 3}, {0, 0, 3, 3}};
  water.record.alphaStripOffset = water.Append(alpha);
  water.record.alphaStripCount = 2;
  GeoObject plane;
  ASSERT_TRUE(Create(&plane, water, 0));
  ASSERT_NE(plane.GetIndexBuffer(), nullptr);
  ASSERT_NE(plane.GetVertexBuffer(), nullptr);

  // The indices: two triangles per cell of the grid, row by row.
  void* data = nullptr;
  ASSERT_EQ(plane.GetIndexBuffer()->Lock(0, 0, &data, gfx::D3DLOCK_READONLY), gfx::D3D_OK);
  const auto* indices = static_cast<const uint16_t*>(data);
  ASSERT_EQ(plane.GetIndexBuffer()->GetLength(), 2400u);
  int k = 0;
  for (int r = 0; r < 20; ++r) {
    for (int c = 0; c < 10; ++c) {
      const int i = 11 * r + c;
      const int want[6] = {i, i + 1, i + 11, i + 1, i + 12, i + 11};
      for (int n = 0; n < 6; ++n, ++k) ASSERT_EQ(indices[k], want[n]) << "index " << k;
    }
  }
  plane.GetIndexBuffer()->Unlock();
  EXPECT_EQ(plane.GetVertexBuffer()->GetLength(), 231u * 44u);

  device()->ResetCallCounts();
  plane.DrawAlpha(m_entry);
  EXPECT_EQ(device()->GetCallCount(gfx::DeviceCall::DrawIndexedPrimitive), 1u);
  EXPECT_EQ(RenderStateCache::GetSamplerState(0, gfx::D3DSAMP_ADDRESSU),
            uint32_t(gfx::D3DTADDRESS_WRAP));
  EXPECT_EQ(RenderStateCache::GetSamplerState(0, gfx::D3DSAMP_ADDRESSV),
            uint32_t(gfx::D3DTADDRESS_WRAP));
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_BLENDOP), uint32_t(gfx::D3DBLENDOP_ADD));
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_SRCBLEND),
            uint32_t(gfx::D3DBLEND_SRCALPHA));
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_DESTBLEND), uint32_t(gfx::D3DBLEND_ONE));
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_ALPHABLENDENABLE), 1u);
  // The solid pass has no strips to draw.
  device()->ResetCallCounts();
  plane.DrawSolid(m_entry, 0);
  EXPECT_EQ(device()->GetCallCount(gfx::DeviceCall::DrawIndexedPrimitive), 0u);
}

TEST_F(GeoDrawTest, EmptyStripsAndMissingSkeletonsAreReportedNotDrawn) {
  Start();
  MeshImage mesh = Square(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0xFF808080u, 0xFFFFFFFFu);
  std::vector<GeoStrip> strips = {{0xFFFFFFFFu, 0, 0, 0}, {0xFFFFFFFFu, 0, 0, 6}};
  mesh.record.solidStripOffset = mesh.Append(strips);
  mesh.record.solidStripCount = 2;
  GeoObject geo;
  ASSERT_TRUE(Create(&geo, mesh, 0));
  AssertCounter asserts;
  device()->ResetCallCounts();
  geo.DrawSolid(m_entry, 0);
  EXPECT_EQ(asserts.Count(), 1u);
  EXPECT_EQ(device()->GetCallCount(gfx::DeviceCall::DrawIndexedPrimitive), 1u);
  geo.SkinSoftware(m_entry);  // the entry has no skeleton
  EXPECT_EQ(asserts.Count(), 2u);
}

// Two squares on two bones: the left one follows bone 0 alone, the right one half each.
MeshImage SkinnedSquares() {
  MeshImage mesh;
  const uint32_t colour = 0xFF406020u;
  std::vector<GeoVertex> vertices = {
      Vertex(-0.75f, -0.25f, 0.5f, colour, 0, 0), Vertex(-0.25f, -0.25f, 0.5f, colour, 0, 0),
      Vertex(-0.75f, 0.25f, 0.5f, colour, 0, 0),  Vertex(-0.25f, 0.25f, 0.5f, colour, 0, 0),
      Vertex(0.25f, -0.25f, 0.5f, colour, 0, 0),  Vertex(0.75f, -0.25f, 0.5f, colour, 0, 0),
      Vertex(0.25f, 0.25f, 0.5f, colour, 0, 0),   Vertex(0.75f, 0.25f, 0.5f, colour, 0, 0)};
  std::vector<GeoSkinWeight> weights;
  for (int i = 0; i < 4; ++i) weights.push_back({{0, 0, 0, 0}, {1.0f, 0.0f, 0.0f, 0.0f}});
  for (int i = 0; i < 4; ++i) weights.push_back({{0, 3, 0, 0}, {0.5f, 0.5f, 0.0f, 0.0f}});
  std::vector<uint16_t> indices = {0, 1, 2, 1, 3, 2, 4, 5, 6, 5, 7, 6};
  std::vector<GeoStrip> strips = {{0xFFFFFFFFu, 0, 0, 12}};
  mesh.record.vertexOffset = mesh.Append(vertices);
  mesh.record.vertexCount = 8;
  mesh.record.skinOffset = mesh.Append(weights);
  mesh.record.indexOffset = mesh.Append(indices);
  mesh.record.indexCount = 12;
  mesh.record.solidStripOffset = mesh.Append(strips);
  mesh.record.solidStripCount = 1;
  return mesh;
}

TEST_F(GeoDrawTest, SkinnedMeshesLandWhereTheirBonesPutThem) {
  std::vector<uint32_t> white(8 * 8, 0xFFFFFFFFu);
  ASSERT_TRUE(
      ddswriter::SaveDds("data/badtexture.dds", gfx::D3DFMT_A8R8G8B8, 8, 8, white.data(), false));
  Start(false);
  Matrix bones[2];
  bones[0].Identity();
  bones[0][12] = 0.25f;
  bones[0][13] = 0.25f;
  bones[1].Identity();
  bones[1][12] = 0.25f;
  bones[1][13] = -0.75f;
  Skeleton skeleton;
  skeleton.SetSkinMatrices(bones, 2);
  m_entry.skeleton = &skeleton;
  const Rgb lit = {Modulate2x(255, 0x40), Modulate2x(255, 0x60), Modulate2x(255, 0x20)};

  const struct {
    uint32_t mode;
    bool unaligned;
    const char* what;
  } cases[] = {{1, false, "in the vertex shader"},
               {0, false, "on the processor"},
               {0, true, "on the processor, from vertices off a 4-byte boundary"}};
  std::vector<std::vector<uint32_t>> frames;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const uint32_t mode = c.mode;
    ClearBackBuffer();
    MeshImage mesh = SkinnedSquares();
    if (c.unaligned) {
      std::vector<uint8_t> moved(2);
      const auto at = mesh.tail.begin() + (mesh.record.vertexOffset - sizeof(mesh.record));
      moved.insert(moved.end(), at, at + 8 * sizeof(GeoVertex));
      mesh.record.vertexOffset = mesh.Append(moved) + 2;
    }
    GeoObject geo;
    ASSERT_TRUE(Create(&geo, mesh, mode));
    EXPECT_NE(geo.GetSkinBuffer(), nullptr);
    device()->ResetCallCounts();
    geo.DrawSolid(m_entry, 0);
    // The vertex shader takes the weights from stream 2 as well.
    const uint32_t streams = mode == 1 ? 2u : 1u;
    EXPECT_EQ(device()->GetCallCount(gfx::DeviceCall::SetStreamSource), streams);
    std::vector<uint32_t> pixels = ReadBack();
    // Left square: moved by (0.25, 0.25) to x -0.5..0, y 0..0.5: pixels 160-320, rows 120-240.
    EXPECT_TRUE(AreaIs(pixels, 164, 124, 316, 236, lit));
    // Right square: moved by the mean (0.25, -0.25) to x 0.5..1, y -0.5..0: 480-640, 240-360.
    EXPECT_TRUE(AreaIs(pixels, 484, 244, 636, 356, lit));
    // Where they were and are no more.
    EXPECT_TRUE(AreaIs(pixels, 84, 244, 156, 296, {0, 0, 0}));
    EXPECT_TRUE(AreaIs(pixels, 404, 184, 476, 236, {0, 0, 0}));
    EXPECT_TRUE(AreaIs(pixels, 324, 0, 476, kHeight, {0, 0, 0}));
    frames.push_back(pixels);

    // A draw of the other kind of strips has nothing to skin.
    device()->ResetCallCounts();
    geo.DrawAlpha(m_entry);
    EXPECT_EQ(device()->GetCallCount(gfx::DeviceCall::SetStreamSource), 0u);
    EXPECT_EQ(device()->GetCallCount(gfx::DeviceCall::DrawIndexedPrimitive), 0u);
  }
  for (const std::vector<uint32_t>& frame : frames)
    EXPECT_EQ(frame, frames[0]) << "every path gives the same picture";
}

TEST_F(GeoDrawTest, AMultiBufferMeshDrawsItsCurrentBuffer) {
  std::vector<uint32_t> white(8 * 8, 0xFFFFFFFFu);
  ASSERT_TRUE(
      ddswriter::SaveDds("data/badtexture.dds", gfx::D3DFMT_A8R8G8B8, 8, 8, white.data(), false));
  Start(false);
  MeshImage mesh = Square(-1.0f, 0.0f, -0.5f, 0.5f, 0.5f, 0xFF808080u, 0xFFFFFFFFu);
  std::vector<GeoVertex> moved = {
      Vertex(0.5f, -0.5f, 0.5f, 0xFF808080u, 0, 0), Vertex(1.0f, -0.5f, 0.5f, 0xFF808080u, 0, 0),
      Vertex(0.5f, 0.0f, 0.5f, 0xFF808080u, 0, 0), Vertex(1.0f, 0.0f, 0.5f, 0xFF808080u, 0, 0)};
  std::vector<uint32_t> table = {mesh.record.vertexOffset, mesh.Append(moved)};
  mesh.record.bufferTableOffset = mesh.Append(table);
  mesh.record.bufferCount = 2;
  mesh.record.multiVertexCount = 4;
  mesh.record.multiIndexOffset = mesh.record.indexOffset;
  mesh.record.multiIndexCount = 6;
  mesh.record.multiSolidStripOffset = mesh.record.solidStripOffset;
  mesh.record.multiSolidStripCount = 1;
  GeoObject geo;
  ASSERT_TRUE(Create(&geo, mesh, 0));
  EXPECT_EQ(geo.GetBufferCount(), 2);
  EXPECT_EQ(geo.GetVertexBuffer(), nullptr);
  ASSERT_NE(geo.GetMultiVertexBuffer(1), nullptr);
  geo.SetCurrentBuffer(1);
  geo.DrawSolid(m_entry, 0);
  std::vector<uint32_t> pixels = ReadBack();
  EXPECT_TRUE(AreaIs(pixels, 484, 244, 636, 356, {255, 255, 255}));
  EXPECT_TRUE(AreaIs(pixels, 4, 124, 156, 236, {0, 0, 0})) << "buffer 0 is not drawn";
  geo.CleanUp();
  EXPECT_EQ(geo.GetMultiVertexBuffer(0), nullptr);
  EXPECT_EQ(MemoryTracker::CountBlocksFromFile("PCGeoObject.cpp"), 0u);
}

}  // namespace
