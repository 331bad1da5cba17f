// The renderer end to end on the real device: meshes built from in-memory mesh records, drawn
// through GeoObject with the engine's render-state defaults, shader set and texture registry,
// read back and compared over large areas with colours worked out here from the Direct3D
// formulas (stage operations, blending, lighting, skinning, projective texturing).
#include <gtest/gtest.h>

#include "tests/support/MeshImage.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "Engine/FileImage.h"
#include "Engine/PC/PCGeoObject.h"
#include "Engine/PC/PCMeshRecord.h"
#include "Engine/PC/PCRenderStates.h"
#include "Engine/PC/PCRenderTarget.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCShaderSet.h"
#include "Engine/PC/PCSkeleton.h"
#include "Engine/PC/PCTexture.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ContentTestSupport.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PixelProbe.h"
#include "tests/support/TempDir.h"

namespace {

using content::kHeight;
using content::kWidth;
using content::Modulate2x;
using content::Rgb;
using content::RgbOf;

Rgb Modulate2x(const Rgb& texture, double diffuse) {
  return {Modulate2x(texture.r, diffuse), Modulate2x(texture.g, diffuse),
          Modulate2x(texture.b, diffuse)};
}

// The blends here are computed in fractions that the device rounds: ±2.5 per channel.
constexpr double kTolerance = 2.5;

bool Near(uint32_t pixel, const Rgb& want) { return pixelprobe::Near(pixel, want, kTolerance); }

// Every pixel of [x0, x1) × [y0, y1) is `want` within the tolerance.
::testing::AssertionResult AreaIs(const std::vector<uint32_t>& pixels, int x0, int y0, int x1,
                                  int y1, const Rgb& want) {
  return content::AreaIs(pixels, x0, y0, x1, y1, want, kTolerance);
}

// A rectangle in clip coordinates (y up) as back-buffer pixels, shrunk by `inset` on each side.
struct PixelRect {
  int x0, y0, x1, y1;
};
PixelRect PixelsOf(double x0, double y0, double x1, double y1, int inset = 4) {
  return {int(std::lround((x0 + 1.0) * kWidth / 2)) + inset,
          int(std::lround((1.0 - y1) * kHeight / 2)) + inset,
          int(std::lround((x1 + 1.0) * kWidth / 2)) - inset,
          int(std::lround((1.0 - y0) * kHeight / 2)) - inset};
}
::testing::AssertionResult AreaIs(const std::vector<uint32_t>& pixels, const PixelRect& r,
                                  const Rgb& want) {
  return AreaIs(pixels, r.x0, r.y0, r.x1, r.y1, want);
}


// One axis-aligned square of a mesh, in the mesh's own units, its texture's top row at its top.
struct Quad {
  float x0, y0, x1, y1;
  uint32_t colour = 0xFF808080u;
  uint32_t material = 0xFFFFFFFFu;
  uint32_t stripFlags = 0;
  float normal[3] = {0.0f, 0.0f, 1.0f};
  GeoSkinWeight skin = {{0, 0, 0, 0}, {1.0f, 0.0f, 0.0f, 0.0f}};
};

enum class Strips { kSolid, kAlpha, kBoth };

// A single-buffer mesh of the quads, one strip each (in the solid table, the alpha table or
// both), with skin weights when `skinned`.
MeshImage BuildMesh(const std::vector<Quad>& quads, Strips strips, bool skinned = false) {
  MeshImage mesh;
  std::vector<GeoVertex> vertices;
  std::vector<GeoSkinWeight> weights;
  std::vector<uint16_t> indices;
  std::vector<GeoStrip> table;
  for (const Quad& q : quads) {
    const auto base = static_cast<uint16_t>(vertices.size());
    const float corners[4][4] = {
        {q.x0, q.y0, 0, 1}, {q.x1, q.y0, 1, 1}, {q.x0, q.y1, 0, 0}, {q.x1, q.y1, 1, 0}};
    for (const auto& c : corners) {
      vertices.push_back(GeoVertex{
          {c[0], c[1], 0.5f}, {q.normal[0], q.normal[1], q.normal[2]}, q.colour, c[2], c[3]});
      weights.push_back(q.skin);
    }
    const auto first = static_cast<uint32_t>(indices.size());
    // Clockwise on the screen, as Direct3D's default culling keeps.
    for (int i : {0, 2, 1, 1, 2, 3}) indices.push_back(static_cast<uint16_t>(base + i));
    table.push_back(GeoStrip{q.material, q.stripFlags, first, 6});
  }
  mesh.record.vertexOffset = mesh.Append(vertices);
  mesh.record.vertexCount = static_cast<uint32_t>(vertices.size());
  if (skinned) mesh.record.skinOffset = mesh.Append(weights);
  mesh.record.indexOffset = mesh.Append(indices);
  mesh.record.indexCount = static_cast<uint32_t>(indices.size());
  const uint32_t tableOffset = mesh.Append(table);
  const auto count = static_cast<uint16_t>(table.size());
  if (strips != Strips::kAlpha) {
    mesh.record.solidStripOffset = tableOffset;
    mesh.record.solidStripCount = count;
  }
  if (strips != Strips::kSolid) {
    mesh.record.alphaStripOffset = tableOffset;
    mesh.record.alphaStripCount = count;
  }
  return mesh;
}

using content::Translated;

using content::ScopedWindow;

// Meshes are drawn with draw matrices that map their units straight to clip coordinates: x from
// -1 to 1 covers the 640 columns, y from 1 down to -1 the 480 rows.
class RendererAcceptanceTest : public AppTest {
 protected:
  static constexpr uint32_t kBlack = 0xFF000000u;

  // Starts the application with a fallback texture of one colour ("data\badtexture.dds").
  void Start(uint32_t fallback = 0xFFFFFFFFu) {
    ASSERT_TRUE(content::SaveSolidDds("data\\badtexture.dds", fallback));
    ASSERT_TRUE(m_harness.Start());
    m_node.textures = m_table;
    m_node.textureCount = 4;
    for (int32_t& t : m_table) t = -1;
  }
  // A scene of its own: the back buffer cleared to `colour`, depth to 1.
  void Begin(uint32_t colour = kBlack) {
    ASSERT_EQ(display()->BeginScene(), 1);
    m_inScene = true;
    Clear(colour);
  }
  void End() {
    if (m_inScene) display()->EndScene();
    m_inScene = false;
  }
  void TearDown() override {
    if (display()->GetDevice()) End();
    gfx::TestHooks::DisableCompressedTextures(false);
  }

  Display* display() { return m_harness.app().GetDisplay(); }
  gfx::D3DDevice* device() { return display()->GetDevice(); }
  Texture* textures() { return m_harness.app().GetTexture(); }

  void Clear(uint32_t colour) {
    ASSERT_EQ(device()->Clear(0, nullptr, gfx::D3DCLEAR_TARGET | gfx::D3DCLEAR_ZBUFFER, colour,
                              1.0f, 0),
              gfx::D3D_OK);
  }
  static std::vector<uint32_t> ReadBack() { return content::ReadBack(); }

  // Writes "data/<name>.dds" (A8R8G8B8, rows top first, with its mip chain) and loads it.
  int32_t LoadTexture(const std::string& name, uint32_t width, uint32_t height,
                      const std::vector<uint32_t>& texels) {
    EXPECT_TRUE(ddswriter::SaveDds("data/" + name + ".dds", gfx::D3DFMT_A8R8G8B8, width, height,
                                   texels.data(), true));
    const int32_t handle = textures()->Load(("data\\" + name + ".dds").c_str());
    EXPECT_NE(handle, -1) << name;
    return handle;
  }

  // A geometry object made from the mesh, living until the test ends; its image is kept alive
  // alongside, as the geometry loader keeps the file.
  GeoObject* Make(const MeshImage& mesh, uint32_t skinningMode = 1) {
    m_images.push_back(mesh.Bytes());
    const std::vector<uint8_t>& bytes = m_images.back();
    m_objects.push_back(std::make_unique<GeoObject>());
    GeoObject* geo = m_objects.back().get();
    EXPECT_EQ(geo->Create(FileImage(bytes.data(), bytes.size(), "acceptance.geo"), 0,
                          skinningMode),
              1);
    return geo;
  }

  // An entry for the node drawing `geo` with the draw matrix `draw`.
  MeshRecord Entry(GeoObject* geo, const Matrix& draw, uint32_t flags = 0) {
    m_node.geoObject = geo;
    MeshRecord entry;
    entry.node = &m_node;
    entry.drawMatrix = draw;
    entry.world.Identity();
    entry.flags = flags;
    return entry;
  }

  SceneNode m_node;
  int32_t m_table[4] = {-1, -1, -1, -1};
  bool m_inScene = false;
  // Images first: they must outlive the objects that read them.
  std::list<std::vector<uint8_t>> m_images;
  std::list<std::unique_ptr<GeoObject>> m_objects;
};

// ---- Alpha: stage 0 MODULATE, the default alpha test, and the three blend modes.

TEST_F(RendererAcceptanceTest, StageZeroAlphaIsTheTexturesTimesTheTintsNotTheVertexColours) {
  Start();
  // Left half opaque, right half alpha 0x60; the colour is the same everywhere.
  std::vector<uint32_t> texels(16 * 16);
  for (int i = 0; i < 16 * 16; ++i) texels[i] = (i % 16 < 8 ? 0xFF000000u : 0x60000000u) | 0xC08040u;
  m_table[0] = LoadTexture("halves", 16, 16, texels);
  // The vertex colour's alpha (0x20) is not what the mesh shaders pass on: RGBAMult.w is.
  Quad quad{-0.75f, -0.5f, 0.75f, 0.5f, 0x20808080u, 0};
  GeoObject* geo = Make(BuildMesh({quad}, Strips::kAlpha));
  const uint32_t background = 0xFF204060u;
  const Rgb source = Modulate2x(RgbOf(0xC08040u), 0x80);
  for (float tintAlpha : {1.0f, 0.5f}) {
    SCOPED_TRACE(tintAlpha);
    Begin(background);
    MeshRecord entry = Entry(geo, g_IdentityMatrix);
    entry.tint.Set(1.0f, 1.0f, 1.0f, tintAlpha);
    geo->DrawAlpha(entry);
    const std::vector<uint32_t> pixels = ReadBack();
    End();
    // SRCALPHA / INVSRCALPHA over the background.
    auto over = [&](double textureAlpha) {
      const double a = textureAlpha / 255.0 * tintAlpha;
      const Rgb bg = RgbOf(background);
      return Rgb{source.r * a + bg.r * (1 - a), source.g * a + bg.g * (1 - a),
                 source.b * a + bg.b * (1 - a)};
    };
    // The texture's seam runs down the middle of the screen; a texel is 30 pixels wide, and
    // filtering blends across half of one.
    EXPECT_TRUE(AreaIs(pixels, 84, 124, 300, 356, over(0xFF)));
    EXPECT_TRUE(AreaIs(pixels, 340, 124, 556, 356, over(0x60)));
    EXPECT_TRUE(AreaIs(pixels, 0, 0, 76, kHeight, RgbOf(background)));
  }
}

TEST_F(RendererAcceptanceTest, TheDefaultAlphaTestKeepsAlpha128AndDropsAlpha127) {
  Start();
  std::vector<uint32_t> texels(16 * 16);
  for (int i = 0; i < 16 * 16; ++i) texels[i] = (i % 16 < 8 ? 0x80000000u : 0x7F000000u) | 0xE0A060u;
  m_table[0] = LoadTexture("edge", 16, 16, texels);
  GeoObject* geo = Make(BuildMesh({Quad{-0.75f, -0.5f, 0.75f, 0.5f, 0xFF808080u, 0}},
                                  Strips::kSolid));
  const Rgb shown = Modulate2x(RgbOf(0xE0A060u), 0x80);
  const Rgb background = RgbOf(0x304050u);

  // Nothing set but the defaults: GREATEREQUAL 128, and the entry leaves the test on.
  Begin(0xFF304050u);
  geo->DrawSolid(Entry(geo, g_IdentityMatrix), 0);
  std::vector<uint32_t> pixels = ReadBack();
  End();
  EXPECT_TRUE(AreaIs(pixels, 84, 124, 300, 356, shown)) << "alpha 128 passes";
  EXPECT_TRUE(AreaIs(pixels, 340, 124, 556, 356, background)) << "alpha 127 fails";

  // The entry's flag 0x80 turns the test off: both halves show.
  Begin(0xFF304050u);
  geo->DrawSolid(Entry(geo, g_IdentityMatrix, MeshRecord::kNoAlphaTest), 0);
  pixels = ReadBack();
  End();
  EXPECT_TRUE(AreaIs(pixels, 84, 124, 300, 356, shown));
  EXPECT_TRUE(AreaIs(pixels, 340, 124, 556, 356, shown));

  // Half the tint's alpha halves the texture's: 128 becomes 64 and fails as well.
  Begin(0xFF304050u);
  MeshRecord faded = Entry(geo, g_IdentityMatrix);
  faded.tint.Set(1.0f, 1.0f, 1.0f, 0.5f);
  geo->DrawSolid(faded, 0);
  pixels = ReadBack();
  End();
  EXPECT_TRUE(AreaIs(pixels, 84, 124, 556, 356, background));
}

TEST_F(RendererAcceptanceTest, AlphaStripsBlendAsTheirFlagsAndTheEntrysFlagsSay) {
  Start();
  const uint32_t texel = 0xBF604020u;  // alpha 191
  m_table[0] = LoadTexture("glass", 8, 8, std::vector<uint32_t>(64, texel));
  // Three squares: plain, additive (strip flag 0x8), subtractive (0x10).
  std::vector<Quad> quads;
  const uint32_t stripFlags[3] = {0, GeoStrip::kAdditive, GeoStrip::kSubtractive};
  for (int i = 0; i < 3; ++i) {
    Quad q{-0.9f + 0.6f * i, -0.5f, -0.5f + 0.6f * i, 0.5f, 0xFF808080u, 0};
    q.stripFlags = stripFlags[i];
    quads.push_back(q);
  }
  GeoObject* geo = Make(BuildMesh(quads, Strips::kAlpha));
  const uint32_t background = 0xFF806040u;
  const Rgb bg = RgbOf(background);
  const Rgb src = Modulate2x(RgbOf(texel), 0x80);
  const double a = 191.0 / 255.0;
  auto clamp = [](double v) { return std::fmax(0.0, std::fmin(255.0, v)); };
  const Rgb alpha = {src.r * a + bg.r * (1 - a), src.g * a + bg.g * (1 - a),
                     src.b * a + bg.b * (1 - a)};
  const Rgb additive = {clamp(src.r * a + bg.r), clamp(src.g * a + bg.g), clamp(src.b * a + bg.b)};
  const Rgb subtractive = {clamp(bg.r - src.r * a), clamp(bg.g - src.g * a),
                           clamp(bg.b - src.b * a)};

  struct Case {
    uint32_t entryFlags;
    Rgb expected[3];
  };
  const Case cases[] = {
      {0, {alpha, additive, subtractive}},
      {MeshRecord::kAdditive, {additive, additive, additive}},  // additive wins over 0x10
      {MeshRecord::kSubtractive, {subtractive, additive, subtractive}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entryFlags);
    Begin(background);
    geo->DrawAlpha(Entry(geo, g_IdentityMatrix, c.entryFlags));
    const std::vector<uint32_t> pixels = ReadBack();
    End();
    for (int i = 0; i < 3; ++i) {
      EXPECT_TRUE(AreaIs(pixels, PixelsOf(-0.9 + 0.6 * i, -0.5, -0.5 + 0.6 * i, 0.5), c.expected[i]))
          << "square " << i;
    }
    EXPECT_TRUE(AreaIs(pixels, PixelsOf(-0.5, -0.5, -0.3, 0.5), bg)) << "between the squares";
  }
}

// ---- Lighting.

TEST_F(RendererAcceptanceTest, LitMeshesAddEachOfUpToThreeLightsByTheCosineOfTheirAngle) {
  Start(0xFF808080u);  // a grey texture: MODULATE2X then shows the diffuse colour itself
  ScopedWindow window;
  LightSetup lights = {};
  lights.SetAmbient(0.1f, 0.15f, 0.2f);
  const float directions[3][3] = {{0.0f, 0.0f, -1.0f}, {0.0f, -1.0f, 0.0f}, {-0.6f, 0.0f, -0.8f}};
  const float colours[3][3] = {{0.5f, 0.2f, 0.1f}, {0.1f, 0.6f, 0.2f}, {0.3f, 0.1f, 0.7f}};
  for (uint32_t i = 0; i < 3; ++i) {
    lights.SetLightDirection(i, directions[i][0], directions[i][1], directions[i][2]);
    lights.SetLightColour(i, colours[i][0], colours[i][1], colours[i][2]);
  }
  window->SetLightSetup(&lights);

  // The mesh's normal (0.6, 0, 0.8) turned a quarter round z by its world matrix: x goes to y.
  Quad quad{-0.15f, -0.3f, 0.15f, 0.3f, 0xFF4080C0u};
  quad.normal[0] = 0.6f;
  quad.normal[1] = 0.0f;
  quad.normal[2] = 0.8f;
  GeoObject* geo = Make(BuildMesh({quad}, Strips::kSolid));
  Matrix world;
  world.RotationZ(kHalfPi);
  world.m[12] = 100.0f;  // the world translation plays no part in lighting
  const double worldNormal[3] = {0.0, 0.6, 0.8};

  Begin();
  // An unlit one at x -0.8, then 0, 1, 2 and 3 lights at -0.4, 0, 0.4 and 0.8.
  MeshRecord unlit = Entry(geo, Translated(-0.8f, 0.0f));
  unlit.world = world;
  geo->DrawSolid(unlit, 0);
  for (uint32_t count = 0; count <= 3; ++count) {
    lights.count = count;
    MeshRecord entry = Entry(geo, Translated(-0.4f + 0.4f * count, 0.0f), MeshRecord::kLit);
    entry.world = world;
    geo->DrawSolid(entry, 0);
  }
  const std::vector<uint32_t> pixels = ReadBack();
  End();

  // Unlit: the vertex colour, through the grey texture's MODULATE2X.
  EXPECT_TRUE(AreaIs(pixels, PixelsOf(-0.95, -0.3, -0.65, 0.3), Modulate2x(RgbOf(0x4080C0u), 0x80)));
  // Lit: ambient + Σ max(0, n · -direction) × half the light's colour, in place of the vertex
  // colour, times the grey texture's 2 × 128/255.
  double diffuse[3] = {0.1, 0.15, 0.2};
  for (uint32_t count = 0; count <= 3; ++count) {
    SCOPED_TRACE(count);
    if (count > 0) {
      const float* d = directions[count - 1];
      const double cosine =
          std::fmax(0.0, -(worldNormal[0] * d[0] + worldNormal[1] * d[1] + worldNormal[2] * d[2]));
      for (int c = 0; c < 3; ++c) diffuse[c] += cosine * 0.5 * colours[count - 1][c];
    }
    const Rgb expected = {Modulate2x(0x80, diffuse[0] * 255), Modulate2x(0x80, diffuse[1] * 255),
                          Modulate2x(0x80, diffuse[2] * 255)};
    const double x = -0.4 + 0.4 * count;
    EXPECT_TRUE(AreaIs(pixels, PixelsOf(x - 0.15, -0.3, x + 0.15, 0.3), expected));
  }
}

// ---- Skinning past the 127th register byte.

TEST_F(RendererAcceptanceTest, BonesFortyTwoAndFortyThreePlaceTheirPartsOnBothPaths) {
  Start();
  ASSERT_GE(display()->GetCaps().MaxVertexShaderConst, 145u) << "bone 43 ends at c144";
  // Every other bone throws its vertices far off the screen, so a misread index shows.
  Matrix bones[44];
  for (Matrix& bone : bones) bone = Translated(3.0f, 3.0f);
  bones[42] = Translated(0.0f, 0.75f);
  bones[43] = Translated(0.1f, 0.35f);
  Skeleton skeleton;
  skeleton.SetSkinMatrices(bones, 44);

  // Index bytes are three times the bone: 126 for bone 42, 129 for bone 43 (above 127, so it
  // must be read unsigned). The vertex shader finds them at c139 and c142 (13 + 3 × bone);
  // the processor's path takes bones[index / 3].
  Quad a{-0.9f, -0.6f, -0.6f, -0.3f, 0xFF800000u};
  a.skin = {{126, 0, 0, 0}, {1.0f, 0.0f, 0.0f, 0.0f}};
  Quad b{-0.3f, -0.6f, 0.0f, -0.3f, 0xFF008000u};
  b.skin = {{0, 129, 0, 0}, {0.0f, 1.0f, 0.0f, 0.0f}};
  Quad c{0.3f, -0.6f, 0.6f, -0.3f, 0xFF000080u};
  c.skin = {{0, 0, 126, 129}, {0.0f, 0.0f, 0.5f, 0.5f}};
  const MeshImage mesh = BuildMesh({a, b, c}, Strips::kSolid, true);

  std::vector<uint32_t> frames[2];
  for (uint32_t mode : {1u, 0u}) {
    SCOPED_TRACE(mode == 1 ? "in the vertex shader" : "on the processor");
    GeoObject* geo = Make(mesh, mode);
    Begin();
    MeshRecord entry = Entry(geo, g_IdentityMatrix);
    entry.skeleton = &skeleton;
    geo->DrawSolid(entry, 0);
    frames[mode] = ReadBack();
    End();
    const std::vector<uint32_t>& pixels = frames[mode];
    // A by bone 42's (0, 0.75); B by bone 43's (0.1, 0.35); C by their mean (0.05, 0.55).
    EXPECT_TRUE(AreaIs(pixels, PixelsOf(-0.9, 0.15, -0.6, 0.45), {255, 0, 0}));
    EXPECT_TRUE(AreaIs(pixels, PixelsOf(-0.2, -0.25, 0.1, 0.05), {0, 255, 0}));
    EXPECT_TRUE(AreaIs(pixels, PixelsOf(0.35, -0.05, 0.65, 0.25), {0, 0, 255}));
    // Nothing is left where the bind pose had them.
    EXPECT_TRUE(AreaIs(pixels, 0, PixelsOf(-1, -0.6, 1, -0.3).y0, kWidth,
                       PixelsOf(-1, -0.6, 1, -0.3).y1, {0, 0, 0}));
  }
  EXPECT_EQ(frames[0], frames[1]) << "both paths give the same picture";
}

// ---- Water: texture coordinate 0 is the position projected through ProMat.

TEST_F(RendererAcceptanceTest, WaterSamplesItsTextureWhereTheProjectiveMatrixSays) {
  Start(kBlack);  // the reflection texture (none given: the fallback) adds nothing
  // 64 × 64 texels in 4 × 4 blocks of 16, each its own colour.
  auto blockColour = [](int bx, int by) {
    return 0xFF000000u | uint32_t(85 * bx) << 16 | uint32_t(85 * by) << 8 |
           ((bx + by) % 2 ? 0xFFu : 0x00u);
  };
  std::vector<uint32_t> texels(64 * 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) texels[y * 64 + x] = blockColour(x / 16, y / 16);
  const int32_t blocks = LoadTexture("blocks", 64, 64, texels);

  // ProMat = world (raised 45) × view × device projection × bias. This projection gives w a
  // share of x and of z, so the projective divide and the 45 both show.
  Matrix projection;
  projection.Identity();
  projection.m[3] = 0.25f;   // w += x / 4
  projection.m[11] = 0.01f;  // w += z / 100
  display()->SetViewMatrix(&g_IdentityMatrix);
  display()->SetDeviceProjectionMatrix(&projection);

  MeshImage water;
  water.record.flags = GeoObject::kWater;
  const float box[8] = {-0.8f, -0.8f, 0.0f, 1.0f, 0.8f, 0.8f, 0.0f, 1.0f};
  std::memcpy(water.record.boxMin, box, 16);
  std::memcpy(water.record.boxMax, box + 4, 16);
  GeoObject* plane = Make(water, 0);
  // Orthographic: the waves move the grid along z only, which lands on no other pixel.
  Matrix draw;
  draw.Identity();
  draw.m[10] = 0.01f;
  draw.m[14] = 0.5f;
  MeshRecord entry = Entry(plane, draw, MeshRecord::kTextureOverride);
  entry.overrideTexture = blocks;
  GeoDrawContext context;
  context.waterTime = 0.3f;

  Begin();
  plane->DrawAlpha(entry, context);
  const std::vector<uint32_t> pixels = ReadBack();
  End();

  // Water14 (no window: factors 1) = (96/255, 128/255, 1, 0.5): the colour is the texel times
  // that, and the additive blend takes it times its alpha of 0.5.
  int checked = 0, wrong = 0;
  const PixelRect area = PixelsOf(-0.75, -0.75, 0.75, 0.75, 0);
  for (int py = area.y0; py < area.y1; ++py) {
    for (int px = area.x0; px < area.x1; ++px) {
      // The grid point under the pixel (Direct3D's pixel centres are on integers), undisplaced.
      const double x = px / 320.0 - 1.0, y = 1.0 - py / 240.0, z = -32.0;
      const double w = 1.0 + 0.25 * x + 0.01 * (z + 45.0);
      const double u = (0.5 * x + 0.5 * w) / w;
      const double v = -(0.5 * y + 0.5 * w) / w;  // y negated; the sampler wraps
      const double tx = (u - std::floor(u)) * 64.0, ty = (v - std::floor(v)) * 64.0;
      const double sx = std::fmod(tx, 16.0), sy = std::fmod(ty, 16.0);
      if (sx < 1.0 || sx > 15.0 || sy < 1.0 || sy > 15.0) continue;  // near a block's edge
      const Rgb texel = RgbOf(blockColour(int(tx) / 16, int(ty) / 16));
      const Rgb expected = {texel.r * 96.0 / 255.0 * 0.5, texel.g * 128.0 / 255.0 * 0.5,
                            texel.b * 0.5};
      ++checked;
      if (!Near(pixels[py * kWidth + px], expected)) {
        if (++wrong <= 3) {
          const Rgb got = RgbOf(pixels[py * kWidth + px]);
          ADD_FAILURE() << "pixel (" << px << ", " << py << ") is " << got.r << "," << got.g
                        << "," << got.b << ", expected " << expected.r << "," << expected.g << ","
                        << expected.b;
        }
      }
    }
  }
  EXPECT_GT(checked, 100000);
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(AreaIs(pixels, 0, 0, kWidth, 40, {0, 0, 0})) << "outside the plane";
}

// ---- Render targets.

TEST_F(RendererAcceptanceTest, AMeshDrawnIntoARenderTargetIsDrawnWithItAfterwards) {
  Start();
  RenderTargetSet set;
  RenderTarget::Init(&set);
  const int32_t id = RenderTarget::Create(&set);
  ASSERT_GE(id, 0);
  // Into the target: red over its top-left quarter, green over its bottom-right one.
  GeoObject* quarters = Make(BuildMesh({Quad{-1.0f, 0.0f, 0.0f, 1.0f, 0xFF800000u},
                                        Quad{0.0f, -1.0f, 1.0f, 0.0f, 0xFF008000u}},
                                       Strips::kSolid));
  ASSERT_EQ(display()->BeginScene(), 1);
  m_inScene = true;
  RenderTarget::SaveTargets(&set);
  RenderTarget::Set(&set, id);
  RenderTarget::Clear();
  quarters->DrawSolid(Entry(quarters, g_IdentityMatrix), 0);
  RenderTarget::RestoreTargets(&set);
  const gfx::D3DVIEWPORT9 full = {0, 0, kWidth, kHeight, 0.0f, 1.0f};
  device()->SetViewport(&full);

  // Then the target as the texture of a mesh over the whole back buffer.
  Clear(0xFF0000FFu);
  m_table[0] = RenderTarget::GetTexture(&set, id);
  GeoObject* screen = Make(BuildMesh({Quad{-1.0f, -1.0f, 1.0f, 1.0f, 0xFF808080u, 0}},
                                     Strips::kSolid));
  screen->DrawSolid(Entry(screen, g_IdentityMatrix), 0);
  const std::vector<uint32_t> pixels = ReadBack();
  End();
  // The target's top row is the texture's top row: upright, not mirrored.
  EXPECT_TRUE(AreaIs(pixels, 8, 8, 312, 232, {255, 0, 0}));
  EXPECT_TRUE(AreaIs(pixels, 328, 248, 632, 472, {0, 255, 0}));
  EXPECT_TRUE(AreaIs(pixels, 328, 8, 632, 232, {0, 0, 0}));
  EXPECT_TRUE(AreaIs(pixels, 8, 248, 312, 472, {0, 0, 0}));
  RenderTarget::CleanUp(&set);
}

// ---- Compressed textures, drawn.

struct DxtCase {
  const char* name;
  gfx::D3DFORMAT format;
  std::vector<uint8_t> blocks;  // two blocks side by side: 8 × 4 texels
  uint32_t firstRow[8];         // the decoded top row, A8R8G8B8
  uint32_t rest[2];             // rows 1 to 3 of each block
};

std::vector<DxtCase> DxtCases() {
  const uint16_t red = ddswriter::Rgb565(31, 0, 0);
  const uint16_t green = ddswriter::Rgb565(0, 63, 0);
  const uint16_t blue = ddswriter::Rgb565(0, 0, 31);
  auto join = [](const auto& a, const auto& b) {
    std::vector<uint8_t> bytes(a.begin(), a.end());
    bytes.insert(bytes.end(), b.begin(), b.end());
    return bytes;
  };
  auto alphaCodes = [](std::initializer_list<uint64_t> row0, uint64_t rest) {
    uint64_t bits = 0;
    int i = 0;
    for (uint64_t code : row0) bits |= code << (3 * i++);
    for (; i < 16; ++i) bits |= rest << (3 * i);
    return bits;
  };
  std::vector<DxtCase> cases;
  // DXT1: four colours (red, blue and the thirds between), then three colours and transparent
  // black (the end points in the other order).
  cases.push_back({"dxt1", gfx::D3DFMT_DXT1,
                   join(ddswriter::Dxt1Block(red, blue, 0x555555E4u),
                        ddswriter::Dxt1Block(blue, red, 0xFFFFFFE4u)),
                   {0xFFFF0000u, 0xFF0000FFu, 0xFFAA0055u, 0xFF5500AAu, 0xFF0000FFu, 0xFFFF0000u,
                    0xFF7F007Fu, 0x00000000u},
                   {0xFF0000FFu, 0x00000000u}});
  // DXT5: eight alphas between 255 and 0 (codes 0, 1, 2, 7: 255, 0, 6/7, 1/7 of 255), then six
  // between 0 and 255 with 0 and 255 (codes 2, 6, 7, 0: 1/5, 0, 255, 0).
  cases.push_back({"dxt5", gfx::D3DFMT_DXT5,
                   join(ddswriter::Dxt5Block(255, 0, alphaCodes({0, 1, 2, 7}, 0), green, green, 0),
                        ddswriter::Dxt5Block(0, 255, alphaCodes({2, 6, 7, 0}, 7), red, blue,
                                             0x55555555u)),
                   {0xFF00FF00u, 0x0000FF00u, 0xDA00FF00u, 0x2400FF00u, 0x330000FFu, 0x000000FFu,
                    0xFF0000FFu, 0x000000FFu},
                   {0xFF00FF00u, 0xFF0000FFu}});
  return cases;
}

TEST_F(RendererAcceptanceTest, DxtTexturesDrawTheirDecodedTexels) {
  Start();
  const std::vector<DxtCase> cases = DxtCases();
  for (bool software : {false, true}) {
    gfx::TestHooks::DisableCompressedTextures(software);
    for (const DxtCase& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (software ? " decoded in software" : " on S3TC"));
      const std::vector<uint8_t> image = ddswriter::WriteDdsLevels(c.format, 8, 4, {c.blocks});
      WriteFileBytes(std::string("data/") + c.name + ".dds", image.data(), image.size());
      const int32_t handle = textures()->Load((std::string("data\\") + c.name + ".dds").c_str());
      ASSERT_NE(handle, -1);
      ASSERT_NE(textures()->Find(handle)->texture, nullptr);
      m_table[0] = handle;
      GeoObject* geo =
          Make(BuildMesh({Quad{-1.0f, -1.0f, 1.0f, 1.0f, 0xFF808080u, 0}}, Strips::kBoth));
      // One texel is 80 × 120 pixels; point sampling shows each whole.
      for (auto filter : {gfx::D3DSAMP_MINFILTER, gfx::D3DSAMP_MAGFILTER, gfx::D3DSAMP_MIPFILTER})
        RenderStateCache::SetSamplerState(0, filter, gfx::D3DTEXF_POINT);

      // The colours, alpha aside; then blended by their alpha over black. (DrawAlpha leaves
      // blending on, as the render window's alpha pass does; its solid pass turns it off.)
      RenderStateCache::SetRenderState(gfx::D3DRS_ALPHABLENDENABLE, 0);
      Begin();
      geo->DrawSolid(Entry(geo, g_IdentityMatrix, MeshRecord::kNoAlphaTest), 0);
      const std::vector<uint32_t> opaque = ReadBack();
      End();
      Begin();
      geo->DrawAlpha(Entry(geo, g_IdentityMatrix));
      const std::vector<uint32_t> blended = ReadBack();
      End();
      for (int ty = 0; ty < 4; ++ty) {
        for (int tx = 0; tx < 8; ++tx) {
          SCOPED_TRACE("texel " + std::to_string(tx) + "," + std::to_string(ty));
          const uint32_t texel = ty == 0 ? c.firstRow[tx] : c.rest[tx / 4];
          const Rgb colour = Modulate2x(RgbOf(texel), 0x80);
          const double a = double(texel >> 24) / 255.0;
          const int x0 = tx * 80 + 6, x1 = tx * 80 + 74, y0 = ty * 120 + 6, y1 = ty * 120 + 114;
          EXPECT_TRUE(AreaIs(opaque, x0, y0, x1, y1, colour));
          EXPECT_TRUE(AreaIs(blended, x0, y0, x1, y1, {colour.r * a, colour.g * a, colour.b * a}));
        }
      }
      textures()->Delete(handle);
    }
  }
}

// ---- A lost device.

TEST_F(RendererAcceptanceTest, AMeshDrawsItsTextureAgainAfterTheDeviceWasLost) {
  for (bool resetFails : {false, true}) {
    SCOPED_TRACE(resetFails ? "a new device" : "a reset");
    Start();
    std::vector<uint32_t> texels(16 * 16);
    for (int i = 0; i < 16 * 16; ++i) texels[i] = i < 128 ? 0xFF3060C0u : 0xFFC06030u;
    m_table[0] = LoadTexture("wall", 16, 16, texels);
    auto geo = std::make_unique<GeoObject>();
    const std::vector<uint8_t> bytes =
        BuildMesh({Quad{-0.5f, -0.5f, 0.5f, 0.5f, 0xFF808080u, 0}}, Strips::kSolid).Bytes();
    ASSERT_EQ(geo->Create(FileImage(bytes.data(), bytes.size(), "wall.geo"), 0, 1), 1);
    // Some states off their defaults, which the recovery must put back.
    RenderStateCache::SetRenderState(gfx::D3DRS_ALPHATESTENABLE, 0);
    RenderStateCache::SetTextureStageState(0, gfx::D3DTSS_COLOROP, gfx::D3DTOP_SELECTARG2);
    // Buffers made outside any geometry object, as they stand before the loss.
    gfx::D3DVertexBuffer* vertices = nullptr;
    gfx::D3DIndexBuffer* indices = nullptr;
    ASSERT_EQ(device()->CreateVertexBuffer(4 * 36, gfx::D3DUSAGE_WRITEONLY, 0,
                                           gfx::D3DPOOL_MANAGED, &vertices),
              gfx::D3D_OK);
    ASSERT_EQ(device()->CreateIndexBuffer(12, gfx::D3DUSAGE_WRITEONLY, gfx::D3DFMT_INDEX16,
                                          gfx::D3DPOOL_MANAGED, &indices),
              gfx::D3D_OK);

    m_harness.faults().ForceDeviceLost(resetFails);
    m_harness.RunFrames(3);
    EXPECT_EQ(display()->GetModeChanged(), 0) << "the device came back";
    EXPECT_TRUE(DebugLogContains(resetFails ? "recreated" : "Resetting"));
    // A reset keeps managed buffers; a new device takes none of the old one's (their GL names
    // mean nothing, or something else, in its context).
    const gfx::HRESULT kept = resetFails ? gfx::D3DERR_INVALIDCALL : gfx::D3D_OK;
    EXPECT_EQ(device()->SetStreamSource(0, vertices, 0, 36), kept);
    EXPECT_EQ(device()->SetIndices(indices), kept);
    device()->SetStreamSource(0, nullptr, 0, 0);
    device()->SetIndices(nullptr);
    vertices->Release();
    indices->Release();

    Begin();
    geo->DrawSolid(Entry(geo.get(), g_IdentityMatrix), 0);
    const std::vector<uint32_t> pixels = ReadBack();
    End();
    // Top half of the texture above, bottom half below, through MODULATE2X with grey.
    EXPECT_TRUE(AreaIs(pixels, 164, 124, 476, 232, Modulate2x(RgbOf(0x3060C0u), 0x80)));
    EXPECT_TRUE(AreaIs(pixels, 164, 248, 476, 356, Modulate2x(RgbOf(0xC06030u), 0x80)));
    EXPECT_TRUE(AreaIs(pixels, 0, 0, 156, kHeight, {0, 0, 0}));
    geo.reset();
    m_harness.Stop();
  }
}

}  // namespace
