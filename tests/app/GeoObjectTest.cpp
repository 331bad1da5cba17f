#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "Engine/FileImage.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCGeoObject.h"
#include "Engine/PC/PCMeshRecord.h"
#include "Engine/PC/PCRenderStates.h"
#include "Engine/PC/PCSkeleton.h"
#include "tests/support/AppTestSupport.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

using namespace apptest;

MeshImage Square(float x0, float y0, float x1, float y1, float z, uint32_t colour,
                 uint32_t material) {
  return SquareMesh(x0, y0, x1, y1, z, colour, material);
}
MeshImage UnitSquare() { return Square(-1, -1, 1, 1, 0.5f, 0xFFFFFFFF, 0); }

GeoVertex Vertex(float x, float y, float z, uint32_t colour, float u, float v) {
  return GeoVertex{{x, y, z}, {0.0f, 0.0f, 1.0f}, colour, u, v};
}

void SetBox(MeshImage* mesh, const float (&box)[8]) {
  std::memcpy(mesh->record.boxMin, box, 16);
  std::memcpy(mesh->record.boxMax, box + 4, 16);
}

bool HasNoBuffers(const GeoObject& geo) {
  return !geo.GetVertexBuffer() && !geo.GetSkinBuffer() && !geo.GetIndexBuffer() &&
         !geo.GetMultiIndexBuffer() && !geo.GetMultiVertexBuffer(0) && !geo.HasSolidStrips() &&
         !geo.HasAlphaStrips() && geo.GetVertexCount() == 0;
}

uint32_t GeoBlocks() { return MemoryTracker::CountBlocksFromFile("PCGeoObject.cpp"); }

class GeoRecordTest : public TempDirTest {};

TEST_F(GeoRecordTest, NewObjectsAndMeshesWithoutVerticesHoldOnlyABoxAndMatrix) {
  GeoObject fresh;
  EXPECT_EQ(fresh.GetBoxMin().x, 32768.0f);
  EXPECT_EQ(fresh.GetBoxMin().w, 1.0f);
  EXPECT_EQ(fresh.GetBoxMax().z, -32768.0f);
  EXPECT_EQ(fresh.GetBoxMax().w, 1.0f);
  EXPECT_EQ(fresh.GetCurrentBuffer(), 0);
  EXPECT_TRUE(HasNoBuffers(fresh));

  MeshImage mesh;
  mesh.record.flags = GeoObject::kEffect;
  mesh.record.solidStripCount = 3;  // ignored without vertices
  SetBox(&mesh, {-1, -2, -3, 1, 4, 5, 6, 1});
  mesh.record.matrix[12] = 7.0f;
  std::vector<uint8_t> bytes = mesh.Bytes();
  GeoObject geo;
  EXPECT_EQ(geo.Create(FileImage(bytes.data(), bytes.size(), "empty.geo"), 0, 1), 1);
  EXPECT_TRUE(HasNoBuffers(geo));
  EXPECT_EQ(geo.GetFlags(), GeoObject::kEffect);
  EXPECT_EQ(geo.GetSkinningMode(), 1u);
  EXPECT_EQ(geo.GetBoxMin().y, -2.0f);
  EXPECT_EQ(geo.GetBoxMax().z, 6.0f);
  EXPECT_EQ(geo.GetLocalMatrix()[12], 7.0f);
  EXPECT_EQ(geo.GetLocalMatrix()[0], 1.0f);
}

TEST_F(GeoRecordTest, RecordsReachingOutsideTheImageAreRefused) {
  const uint32_t far = 1u << 30;
  auto table = [](MeshImage& m, std::vector<uint32_t> offsets) {
    m.record.bufferTableOffset = m.Append(offsets);
    m.record.bufferCount = uint32_t(offsets.size());
    m.record.multiVertexCount = 4;
  };
  const struct {
    const char* what;
    std::function<void(MeshImage&)> spoil;
  } cases[] = {
      {"record cut short", nullptr},
      {"vertices past the end", [&](MeshImage& m) { m.record.vertexOffset = far; }},
      {"vertex count past the end", [](MeshImage& m) { m.record.vertexCount = 50; }},
      {"vertex count overflowing", [](MeshImage& m) { m.record.vertexCount = 0xFFFFFFFFu; }},
      {"more vertices than 16-bit indices name",
       [](MeshImage& m) { m.record.vertexCount = 0x10000; }},
      {"indices past the end", [](MeshImage& m) { m.record.indexCount = 4000; }},
      {"strip table past the end", [&](MeshImage& m) { m.record.solidStripOffset = far; }},
      {"strip count past the end", [](MeshImage& m) { m.record.solidStripCount = 50; }},
      {"alpha strips past the end",
       [](MeshImage& m) {
         m.record.alphaStripOffset = m.record.solidStripOffset + 8;
         m.record.alphaStripCount = 1;
       }},
      {"strip beyond the indices",
       [](MeshImage& m) { m.record.solidStripOffset = m.Append(std::vector<GeoStrip>{{0, 0, 3, 6}}); }},
      {"index naming a vertex that is not there",
       [](MeshImage& m) { m.record.indexOffset = m.Append(std::vector<uint16_t>{0, 1, 2, 1, 3, 4}); }},
      {"strips without indices", [](MeshImage& m) { m.record.indexOffset = 0; }},
      {"skin weights past the end",
       [](MeshImage& m) { m.record.skinOffset = m.record.solidStripOffset; }},
      {"vertex buffer table past the end",
       [&](MeshImage& m) {
         m.record.bufferTableOffset = far;
         m.record.bufferCount = 1;
       }},
      {"vertex buffer past the end", [&](MeshImage& m) { table(m, {m.record.vertexOffset, far}); }},
      {"multi-buffer strips without indices",
       [&](MeshImage& m) {
         table(m, {m.record.vertexOffset});
         m.record.multiSolidStripOffset = m.record.solidStripOffset;
         m.record.multiSolidStripCount = 1;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MeshImage mesh = UnitSquare();
    if (c.spoil) c.spoil(mesh);
    std::vector<uint8_t> bytes = mesh.Bytes();
    if (!c.spoil) bytes.resize(sizeof(GeoMeshFileRecord) - 4);
    GeoObject geo;
    const uint32_t before = GeoBlocks();
    EXPECT_EQ(geo.Create(FileImage(bytes.data(), bytes.size(), "bad.geo"), 0, 0), 0);
    EXPECT_TRUE(HasNoBuffers(geo));
    EXPECT_EQ(GeoBlocks(), before);
    EXPECT_TRUE(DebugLogContains("Refused mesh record at 0 of bad.geo"));
  }
  // The untouched square is accepted, so each refusal above came from its one fault.
  std::vector<uint8_t> bytes = UnitSquare().Bytes();
  FileImage image(bytes.data(), bytes.size(), "good.geo");
  GeoObject geo;
  EXPECT_EQ(geo.Create(image, 0, 0), 1);
  EXPECT_EQ(geo.GetSolidStripCount(), 1);
  EXPECT_EQ(geo.GetVertexCount(), 4);
  EXPECT_EQ(geo.Create(image, bytes.size() - 10, 0), 0) << "record offset past the end";
}

TEST_F(GeoRecordTest, WaterBecomesAnElevenByTwentyOneGrid) {
  MeshImage mesh = UnitSquare();
  mesh.record.flags = GeoObject::kWater;
  SetBox(&mesh, {-10, -20, 5, 1, 10, 20, 7, 1});
  std::vector<uint8_t> bytes = mesh.Bytes();
  GeoObject geo;
  ASSERT_EQ(geo.Create(FileImage(bytes.data(), bytes.size(), "water.geo"), 0, 1), 1);
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
      const float want[] = {-10.0f + 2.0f * c, -20.0f + 2.0f * r, 5 * u, 5 * v, u, v,
                            32.0f * std::max(std::fabs(u - 0.5f), std::fabs(v - 0.5f))};
      const float got[] = {w.position[0], w.position[1], w.uv[0], w.uv[1], w.uv2[0], w.uv2[1],
                           w.edge};
      for (int i = 0; i < 7; ++i) EXPECT_NEAR(got[i], want[i], 1e-4f) << r << "," << c << "#" << i;
      EXPECT_EQ(w.position[2], 5.0f - 32.0f);
      EXPECT_EQ(w.normal[2], 1.0f);
    }
  }
  const uint32_t owned = GeoBlocks();
  EXPECT_GE(owned, 2u);
  geo.CleanUp();
  EXPECT_EQ(GeoBlocks(), owned - 2);
  EXPECT_EQ(geo.GetWaterVertices(), nullptr);
  EXPECT_EQ(geo.GetAlphaStrips(), nullptr);
  for (int made = 0; made < 3; ++made) {  // each of the grid's three blocks failing in turn
    MemoryTracker::InduceFailures(made, 1);
    geo.Create(FileImage(bytes.data(), bytes.size(), "water.geo"), 0, 1);
    MemoryTracker::InduceFailures(-1, 0);
    EXPECT_EQ(GeoBlocks(), owned - 2) << made;
    EXPECT_EQ(geo.GetWaterVertices(), nullptr) << made;
  }
}

TEST(GeoSkinning, EachVertexIsTheWeightedSumOfItsBones) {
  Matrix bones[2];
  bones[0].Identity();
  bones[0][12] = 1.0f;          // bone 0 moves +1 along x
  bones[1].RotationZ(kHalfPi);  // bone 1 turns a quarter about z, then moves +2 along y
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
  const float want[4][3] = {{2, 0, 0}, {1, 1.5f, 0}, {4, 4, 5}, {-0.25f, 0.75f, 0.25f}};
  std::vector<GeoVertex> out(4);
  GeoObject::SkinVertices(source.data(), weights.data(), 4, bones, 2, out.data());
  for (int v = 0; v < 4; ++v)
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[v].position[i], want[v][i], 1e-6f) << v << i;
  EXPECT_NEAR(out[0].normal[2], 1.0f, 1e-6f) << "a normal takes no translation";
  EXPECT_NEAR(out[1].normal[2], 1.0f, 1e-6f);
  EXPECT_EQ(out[0].colour, 0xFF112233u);
  EXPECT_EQ(out[0].u, 0.25f);
  EXPECT_EQ(out[0].v, 0.75f);
}

// ---- On the device. Meshes are drawn with an identity draw matrix: positions are clip
// coordinates, x from -1 to 1 covering the 640 columns and y from 1 down to -1 the 480 rows.

class GeoDrawTest : public DrawTest {
 protected:
  static constexpr uint32_t kFallback = 0xFF20C040u;

  void Start(uint32_t fallback = kFallback) {
    StartDrawing(fallback);
    m_entry.node = &m_node;
    m_entry.drawMatrix.Identity();
    m_entry.world.Identity();
    m_entry.flags = MeshRecord::kNoCulling;
  }
  uint32_t Draws() { return device()->GetCallCount(gfx::DeviceCall::DrawIndexedPrimitive); }
  uint32_t Streams() { return device()->GetCallCount(gfx::DeviceCall::SetStreamSource); }
  static uint32_t Rs(gfx::D3DRENDERSTATETYPE s) { return RenderStateCache::GetRenderState(s); }
  static uint32_t Tss(int stage, gfx::D3DTEXTURESTAGESTATETYPE s) {
    return RenderStateCache::GetTextureStageState(stage, s);
  }

  SceneNode m_node;
  MeshRecord m_entry;
};

TEST_F(GeoDrawTest, TexturesComeFromTheNodeTheEntryOrTheFallback) {
  ASSERT_TRUE(SaveSolidDds("data/wall.dds", 16, 16, 0xFFC86432u, true));
  Start();
  const int32_t wall = m_harness.app().GetTexture()->Load("data\\wall.dds");
  ASSERT_NE(wall, -1);
  int32_t table[2] = {-1, wall};
  m_node.textures = table;
  m_node.textureCount = 2;
  GeoDrawContext plain, tinted;
  tinted.windowTint.Set(1.0f, 0.5f, 1.0f, 1.0f);
  const Rgb grey = {0x80, 0x80, 0x80};
  // Diffuse = window tint x entry tint x vertex colour (0x40, 0x80, 0xFF).
  const Rgb tint = {0.5 * 0x40, 0.5 * 0x80, 0xFF};
  const struct {
    const char* what;
    uint32_t colour, material, flags;
    const GeoDrawContext* context;
    uint32_t texel;
    Rgb diffuse;
  } cases[] = {
      {"material -1: the fallback", 0xFF808080u, 0xFFFFFFFFu, 0, &plain, kFallback, grey},
      {"material past the table: the fallback", 0xFF808080u, 5, 0, &plain, kFallback, grey},
      {"the node's texture, tinted", 0xFF4080FFu, 1, 0, &tinted, 0xFFC86432u, tint},
      {"the entry's override", 0xFF4080FFu, 1, MeshRecord::kTextureOverride, &tinted, kFallback,
       tint},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Clear();
    GeoObject geo;
    ASSERT_TRUE(Create(&geo, Square(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, c.colour, c.material)));
    ASSERT_NE(geo.GetVertexBuffer(), nullptr);
    ASSERT_NE(geo.GetIndexBuffer(), nullptr);
    m_node.geoObject = &geo;
    m_entry.flags = MeshRecord::kNoCulling | c.flags;
    m_entry.overrideTexture = -1;
    m_entry.tint.Set(c.context == &tinted ? 0.5f : 1.0f, 1.0f, 1.0f, 1.0f);
    geo.DrawSolid(m_entry, 0, *c.context);
    const std::vector<uint32_t> px = ReadBack();
    EXPECT_TRUE(AreaIs(px, 164, 124, 476, 356, Modulate2x(c.texel, c.diffuse)));
    EXPECT_TRUE(AreaIs(px, 0, 0, 156, kHeight, kBlack));
    EXPECT_TRUE(AreaIs(px, 484, 0, kWidth, kHeight, kBlack));
    EXPECT_TRUE(AreaIs(px, 0, 0, kWidth, 116, kBlack));
    EXPECT_TRUE(AreaIs(px, 0, 364, kWidth, kHeight, kBlack));
  }
}

TEST_F(GeoDrawTest, WireframeAndWaterLeaveNoStatesBehind) {
  Start();
  GeoObject geo;
  ASSERT_TRUE(Create(&geo, Square(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0xFF808080u, 0xFFFFFFFFu)));
  m_entry.flags |= MeshRecord::kWireframe;
  geo.DrawSolid(m_entry, 0);
  EXPECT_EQ(Rs(gfx::D3DRS_FILLMODE), uint32_t(gfx::D3DFILL_SOLID));
  EXPECT_EQ(Tss(0, gfx::D3DTSS_COLORARG1), gfx::D3DTA_TEXTURE);
  EXPECT_EQ(Tss(0, gfx::D3DTSS_ALPHAARG1), gfx::D3DTA_TEXTURE);
  // Culling and the alpha test follow the entry when it is not blended.
  EXPECT_EQ(Rs(gfx::D3DRS_CULLMODE), uint32_t(gfx::D3DCULL_NONE));
  m_entry.flags = MeshRecord::kNoAlphaTest;
  geo.DrawSolid(m_entry, 0);
  EXPECT_EQ(Rs(gfx::D3DRS_CULLMODE), uint32_t(gfx::D3DCULL_CCW));
  EXPECT_EQ(Rs(gfx::D3DRS_ALPHATESTENABLE), 0u);

  MeshImage water = UnitSquare();
  water.record.flags = GeoObject::kWater;
  GeoObject plane;
  ASSERT_TRUE(Create(&plane, water));
  plane.DrawSolid(m_entry, 0);
  plane.DrawAlpha(m_entry);
  EXPECT_EQ(Tss(0, gfx::D3DTSS_TEXTURETRANSFORMFLAGS), gfx::D3DTTFF_DISABLE);
  EXPECT_EQ(Tss(0, gfx::D3DTSS_COLOROP), uint32_t(gfx::D3DTOP_MODULATE2X));
  EXPECT_EQ(Tss(1, gfx::D3DTSS_COLOROP), uint32_t(gfx::D3DTOP_DISABLE));
  EXPECT_EQ(Tss(1, gfx::D3DTSS_ALPHAOP), uint32_t(gfx::D3DTOP_DISABLE));
}

TEST_F(GeoDrawTest, WaterDrawsAsOneAdditiveWrappingStripOfFourHundredTriangles) {
  Start();
  MeshImage water = UnitSquare();
  water.record.flags = GeoObject::kWater;
  water.record.alphaStripOffset = water.Append(std::vector<GeoStrip>{{0, 0, 0, 3}, {0, 0, 3, 3}});
  water.record.alphaStripCount = 2;
  GeoObject plane;
  ASSERT_TRUE(Create(&plane, water));
  ASSERT_NE(plane.GetIndexBuffer(), nullptr);
  ASSERT_NE(plane.GetVertexBuffer(), nullptr);

  // The indices: two triangles per cell of the grid, row by row.
  void* data = nullptr;
  ASSERT_EQ(plane.GetIndexBuffer()->Lock(0, 0, &data, gfx::D3DLOCK_READONLY), gfx::D3D_OK);
  const auto* indices = static_cast<const uint16_t*>(data);
  ASSERT_EQ(plane.GetIndexBuffer()->GetLength(), 2400u);
  for (int k = 0; k < 1200; ++k) {
    const int i = 11 * (k / 60) + k % 60 / 6;
    const int want[6] = {i, i + 1, i + 11, i + 1, i + 12, i + 11};
    ASSERT_EQ(indices[k], want[k % 6]) << "index " << k;
  }
  plane.GetIndexBuffer()->Unlock();
  EXPECT_EQ(plane.GetVertexBuffer()->GetLength(), 231u * 44u);

  device()->ResetCallCounts();
  plane.DrawAlpha(m_entry);
  EXPECT_EQ(Draws(), 1u);
  EXPECT_EQ(RenderStateCache::GetSamplerState(0, gfx::D3DSAMP_ADDRESSU),
            uint32_t(gfx::D3DTADDRESS_WRAP));
  EXPECT_EQ(RenderStateCache::GetSamplerState(0, gfx::D3DSAMP_ADDRESSV),
            uint32_t(gfx::D3DTADDRESS_WRAP));
  EXPECT_EQ(Rs(gfx::D3DRS_BLENDOP), uint32_t(gfx::D3DBLENDOP_ADD));
  EXPECT_EQ(Rs(gfx::D3DRS_SRCBLEND), uint32_t(gfx::D3DBLEND_SRCALPHA));
  EXPECT_EQ(Rs(gfx::D3DRS_DESTBLEND), uint32_t(gfx::D3DBLEND_ONE));
  EXPECT_EQ(Rs(gfx::D3DRS_ALPHABLENDENABLE), 1u);
  device()->ResetCallCounts();
  plane.DrawSolid(m_entry, 0);
  EXPECT_EQ(Draws(), 0u) << "the solid pass has no strips to draw";
}

TEST_F(GeoDrawTest, EmptyStripsAndMissingSkeletonsAreReportedNotDrawn) {
  Start();
  MeshImage mesh = Square(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0xFF808080u, 0xFFFFFFFFu);
  mesh.record.solidStripOffset =
      mesh.Append(std::vector<GeoStrip>{{0xFFFFFFFFu, 0, 0, 0}, {0xFFFFFFFFu, 0, 0, 6}});
  mesh.record.solidStripCount = 2;
  GeoObject geo;
  ASSERT_TRUE(Create(&geo, mesh));
  AssertCounter asserts;
  device()->ResetCallCounts();
  geo.DrawSolid(m_entry, 0);
  EXPECT_EQ(asserts.Count(), 1u);
  EXPECT_EQ(Draws(), 1u);
  geo.SkinSoftware(m_entry);  // the entry has no skeleton
  EXPECT_EQ(asserts.Count(), 2u);
}

// Two squares on two bones: the left one follows bone 0 alone, the right one half each.
MeshImage SkinnedSquares() {
  MeshImage mesh;
  std::vector<GeoVertex> vertices;
  for (float x0 : {-0.75f, 0.25f})
    for (float y : {-0.25f, 0.25f})
      for (float x : {x0, x0 + 0.5f}) vertices.push_back(Vertex(x, y, 0.5f, 0xFF406020u, 0, 0));
  std::vector<GeoSkinWeight> weights;
  for (int i = 0; i < 8; ++i)
    weights.push_back(i < 4 ? GeoSkinWeight{{0, 0, 0, 0}, {1.0f, 0.0f, 0.0f, 0.0f}}
                            : GeoSkinWeight{{0, 3, 0, 0}, {0.5f, 0.5f, 0.0f, 0.0f}});
  mesh.record.vertexOffset = mesh.Append(vertices);
  mesh.record.vertexCount = 8;
  mesh.record.skinOffset = mesh.Append(weights);
  mesh.record.indexOffset =
      mesh.Append(std::vector<uint16_t>{0, 1, 2, 1, 3, 2, 4, 5, 6, 5, 7, 6});
  mesh.record.indexCount = 12;
  mesh.record.solidStripOffset = mesh.Append(std::vector<GeoStrip>{{0xFFFFFFFFu, 0, 0, 12}});
  mesh.record.solidStripCount = 1;
  return mesh;
}

TEST_F(GeoRecordTest, SkinningWithoutAVertexBufferIsQuiet) {
  std::vector<uint8_t> bytes = SkinnedSquares().Bytes();
  GeoObject geo;  // no device: the mesh has no buffer to skin into
  ASSERT_EQ(geo.Create(FileImage(bytes.data(), bytes.size(), "skin.geo"), 0, 0), 1);
  Skeleton skeleton;
  MeshRecord entry = {};
  entry.skeleton = &skeleton;
  AssertCounter asserts;
  geo.SkinSoftware(entry);
  EXPECT_EQ(asserts.Count(), 0u);
}

TEST_F(GeoDrawTest, SkinnedMeshesLandWhereTheirBonesPutThem) {
  Start(0xFFFFFFFFu);
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
  const Rgb lit = Modulate2x(0xFFFFFFFFu, {0x40, 0x60, 0x20});

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
    Clear();
    MeshImage mesh = SkinnedSquares();
    if (c.unaligned) {
      std::vector<uint8_t> moved(2);
      const auto at = mesh.tail.begin() + (mesh.record.vertexOffset - sizeof(mesh.record));
      moved.insert(moved.end(), at, at + 8 * sizeof(GeoVertex));
      mesh.record.vertexOffset = mesh.Append(moved) + 2;
    }
    GeoObject geo;
    ASSERT_TRUE(Create(&geo, mesh, c.mode));
    EXPECT_NE(geo.GetSkinBuffer(), nullptr);
    device()->ResetCallCounts();
    geo.DrawSolid(m_entry, 0);
    EXPECT_EQ(Streams(), c.mode == 1 ? 2u : 1u) << "the shader takes weights from stream 2";
    std::vector<uint32_t> px = ReadBack();
    // Left square: moved by (0.25, 0.25) to x -0.5..0, y 0..0.5: pixels 160-320, rows 120-240.
    EXPECT_TRUE(AreaIs(px, 164, 124, 316, 236, lit));
    // Right square: moved by the mean (0.25, -0.25) to x 0.5..1, y -0.5..0: 480-640, 240-360.
    EXPECT_TRUE(AreaIs(px, 484, 244, 636, 356, lit));
    // Where they were and are no more.
    EXPECT_TRUE(AreaIs(px, 84, 244, 156, 296, kBlack));
    EXPECT_TRUE(AreaIs(px, 404, 184, 476, 236, kBlack));
    EXPECT_TRUE(AreaIs(px, 324, 0, 476, kHeight, kBlack));
    frames.push_back(px);

    // A draw of the other kind of strips has nothing to skin.
    device()->ResetCallCounts();
    geo.DrawAlpha(m_entry);
    EXPECT_EQ(Streams(), 0u);
    EXPECT_EQ(Draws(), 0u);
  }
  for (const std::vector<uint32_t>& frame : frames)
    EXPECT_EQ(frame, frames[0]) << "every path gives the same picture";
}

TEST_F(GeoDrawTest, AMultiBufferMeshDrawsItsCurrentBuffer) {
  Start(0xFFFFFFFFu);
  MeshImage mesh = Square(-1.0f, 0.0f, -0.5f, 0.5f, 0.5f, 0xFF808080u, 0xFFFFFFFFu);
  std::vector<GeoVertex> moved;
  for (float y : {-0.5f, 0.0f})
    for (float x : {0.5f, 1.0f}) moved.push_back(Vertex(x, y, 0.5f, 0xFF808080u, 0, 0));
  std::vector<uint32_t> table = {mesh.record.vertexOffset, mesh.Append(moved)};
  mesh.record.bufferTableOffset = mesh.Append(table);
  mesh.record.bufferCount = 2;
  mesh.record.multiVertexCount = 4;
  mesh.record.multiIndexOffset = mesh.record.indexOffset;
  mesh.record.multiIndexCount = 6;
  mesh.record.multiSolidStripOffset = mesh.record.solidStripOffset;
  mesh.record.multiSolidStripCount = 1;
  GeoObject geo;
  ASSERT_TRUE(Create(&geo, mesh));
  EXPECT_EQ(geo.GetBufferCount(), 2);
  EXPECT_EQ(geo.GetVertexBuffer(), nullptr);
  ASSERT_NE(geo.GetMultiVertexBuffer(1), nullptr);
  geo.SetCurrentBuffer(1);
  geo.DrawSolid(m_entry, 0);
  std::vector<uint32_t> px = ReadBack();
  EXPECT_TRUE(AreaIs(px, 484, 244, 636, 356, kWhite));
  EXPECT_TRUE(AreaIs(px, 4, 124, 156, 236, kBlack)) << "buffer 0 is not drawn";
  geo.CleanUp();
  EXPECT_EQ(geo.GetMultiVertexBuffer(0), nullptr);
  EXPECT_EQ(GeoBlocks(), 0u);
}

}  // namespace
