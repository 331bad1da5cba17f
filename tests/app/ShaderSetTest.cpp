#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "Engine/Camera.h"
#include "Engine/PC/PCRenderStates.h"
#include "Engine/PC/PCShaderSet.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ContentTestSupport.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PixelProbe.h"

using namespace gfx;

namespace {

void ExpectConstant(const ShaderSet& set, uint32_t reg, float x, float y, float z, float w,
                    float tolerance = 1e-6f) {
  const float* c = set.GetLoadedConstant(reg);
  ASSERT_NE(c, nullptr);
  EXPECT_NEAR(c[0], x, tolerance) << "c" << reg << ".x";
  EXPECT_NEAR(c[1], y, tolerance) << "c" << reg << ".y";
  EXPECT_NEAR(c[2], z, tolerance) << "c" << reg << ".z";
  EXPECT_NEAR(c[3], w, tolerance) << "c" << reg << ".w";
}

using content::ScopedWindow;

// Ambient (0.1, 0.2, 0.3) and one light shining straight down, of colour (0.6, 0.4, 0.2).
LightSetup OneLight() {
  LightSetup lights = {};
  lights.count = 1;
  lights.SetAmbient(0.1f, 0.2f, 0.3f);
  lights.lights[0] = {{0.0f, 0.0f, -1.0f}, {0.6f, 0.4f, 0.2f}};
  return lights;
}

LightSetup ThreeLights(uint32_t count) {
  LightSetup lights = {};
  lights.count = count;
  lights.ambient[0] = 0.1f;
  lights.ambient[1] = 0.2f;
  lights.ambient[2] = 0.3f;
  for (int i = 0; i < 3; ++i) {
    const float k = static_cast<float>(i + 1);
    lights.lights[i] = {{k, -2.0f * k, 0.5f}, {0.2f * k, 0.4f, 0.6f / k}};
  }
  return lights;
}

TEST(ShaderSetTexts, AllSevenAssembleWithoutErrorsOrWarnings) {
  for (uint32_t i = 0; i < ShaderSet::kShaderCount; ++i) {
    const char* text = ShaderSet::GetShaderText(i);
    D3DXBuffer* code = nullptr;
    D3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXAssembleShader(text, static_cast<uint32_t>(std::strlen(text)),
                                          ShaderSet::GetRegisterNames(), nullptr, 0, &code, &errors);
    EXPECT_TRUE(SUCCEEDED(hr)) << "shader " << i + 1;
    if (errors) {
      ADD_FAILURE() << "shader " << i + 1 << ": "
                    << std::string(static_cast<const char*>(errors->GetBufferPointer()),
                                   errors->GetBufferSize());
      errors->Release();
    }
    EXPECT_NE(code, nullptr) << "shader " << i + 1;
    if (code) code->Release();
  }
}

TEST(ShaderSetLights, CountsAreClampedToTheRecordsThreeLights) {
  ScopedWindow window;
  Matrix world;
  world.Identity();

  // 3 and anything above load all three; 0 and anything "negative" load none.
  for (uint32_t count : {3u, 7u, 0xFFFFFFFFu, 0u}) {
    SCOPED_TRACE(count);
    LightSetup lights = ThreeLights(count);
    window->SetLightSetup(&lights);
    ShaderSet set;
    set.SetLights(&world);
    EXPECT_EQ(set.GetFlags(), ShaderSet::kLit);
    ExpectConstant(set, 12, 0.1f, 0.2f, 0.3f, 1.0f);
    const bool all = count == 3u || count == 7u;
    for (uint32_t i = 0; i < 3; ++i) {
      const float k = static_cast<float>(i + 1);
      if (all) {
        ExpectConstant(set, 6 + i, -k, 2.0f * k, -0.5f, 1.0f);
        ExpectConstant(set, 9 + i, 0.1f * k, 0.2f, 0.3f / k, 1.0f);
      } else {
        ExpectConstant(set, 6 + i, 0.0f, 0.0f, 0.0f, 1.0f);
        ExpectConstant(set, 9 + i, 0.0f, 0.0f, 0.0f, 0.0f);
      }
    }
  }

  // One light: the other two are zeroed.
  LightSetup one = ThreeLights(1);
  window->SetLightSetup(&one);
  ShaderSet set;
  set.SetLights(&world);
  ExpectConstant(set, 6, -1.0f, 2.0f, -0.5f, 1.0f);
  ExpectConstant(set, 7, 0.0f, 0.0f, 0.0f, 1.0f);
  ExpectConstant(set, 11, 0.0f, 0.0f, 0.0f, 0.0f);

  // Pointing at none falls back to the window's own record, the default one light from above.
  window->SetLightSetup(nullptr);
  set.SetLights(&world);
  ExpectConstant(set, 12, 0.5f, 0.5f, 0.5f, 1.0f);
  ExpectConstant(set, 6, 0.0f, 0.0f, 1.0f, 1.0f);
  ExpectConstant(set, 9, 0.25f, 0.25f, 0.25f, 1.0f);
  ExpectConstant(set, 7, 0.0f, 0.0f, 0.0f, 1.0f);
}

TEST(ShaderSetLights, DirectionsAreTakenIntoTheMeshsOwnSpace) {
  ShaderSet set;
  // The mesh is turned a quarter round z: world +x is the mesh's -y, so the direction towards
  // the light, negated, is the mesh's +y.
  Matrix world;
  world.RotationZ(kHalfPi);
  world.m[12] = 50.0f;  // the translation plays no part
  set.SetDirectionalLight(1, Vector4(0.3f, 0.4f, 0.5f, 1.0f), Vector4(1.0f, 0.0f, 0.0f, 0.0f),
                          &world);
  ExpectConstant(set, 7, 0.0f, 1.0f, 0.0f, 1.0f);
  ExpectConstant(set, 10, 0.3f, 0.4f, 0.5f, 1.0f);

  // Indices outside 0..2 load nothing.
  float before[ShaderSet::kRecordedConstants][4];
  for (uint32_t r = 0; r < ShaderSet::kRecordedConstants; ++r)
    std::memcpy(before[r], set.GetLoadedConstant(r), sizeof(before[r]));
  set.SetDirectionalLight(3, Vector4(9, 9, 9, 9), Vector4(9, 9, 9, 9), &world);
  set.SetDirectionalLight(-1, Vector4(9, 9, 9, 9), Vector4(9, 9, 9, 9), &world);
  for (uint32_t r = 0; r < ShaderSet::kRecordedConstants; ++r)
    EXPECT_EQ(std::memcmp(before[r], set.GetLoadedConstant(r), sizeof(before[r])), 0) << r;
  EXPECT_EQ(set.GetLoadedConstant(ShaderSet::kRecordedConstants), nullptr);
}

TEST(ShaderSetSelection, FlagsPickTheMeshShaderOnceThenClear) {
  ShaderSet set;
  Matrix world;
  world.Identity();
  auto selected = [&set]() {
    return std::make_pair(set.GetSelectedDeclaration(), set.GetSelectedShader());
  };
  using P = std::pair<uint32_t, uint32_t>;

  set.SetLights(&world);
  set.SetSkinned();
  set.SelectMeshShader();
  EXPECT_EQ(selected(), P(ShaderSet::kDeclSkinnedMesh, ShaderSet::kShaderLitSkinnedMesh));
  EXPECT_EQ(set.GetFlags(), 0u);
  set.SelectMeshShader();
  EXPECT_EQ(selected(), P(ShaderSet::kDeclMesh, ShaderSet::kShaderMesh));
  set.SetSkinned();
  set.SelectMeshShader();
  EXPECT_EQ(selected(), P(ShaderSet::kDeclSkinnedMesh, ShaderSet::kShaderSkinnedMesh));
  set.SetLights(&world);
  set.SelectMeshShader();
  EXPECT_EQ(selected(), P(ShaderSet::kDeclMesh, ShaderSet::kShaderLitMesh));

  set.SetLights(&world);
  set.SelectScreenShader();
  EXPECT_EQ(selected(), P(ShaderSet::kDeclScreen, ShaderSet::kShaderScreen));
  EXPECT_EQ(set.GetFlags(), 0u);
  set.SetSkinned();
  set.SetDeclAndShader();
  EXPECT_EQ(selected(), P(ShaderSet::kDeclStream, ShaderSet::kShaderStream));
  EXPECT_EQ(set.GetFlags(), 0u);
}

TEST(ShaderSetWater, ConstantsAndTheProjectiveMatrix) {
  ScopedWindow window;
  window->SetColourFactors(0.5f, 1.0f, 0.25f, 0.8f);
  Display* display = GetApp().GetDisplay();
  Matrix view;
  view.Translation(Vector4(0.0f, 0.0f, 10.0f, 1.0f));
  Matrix identity;
  identity.Identity();
  display->SetViewMatrix(&view);
  display->SetDeviceProjectionMatrix(&identity);

  ShaderSet set;
  Matrix world;
  world.Translation(Vector4(2.0f, 4.0f, 0.0f, 1.0f));
  set.SetWaterConstants(&world, 1.25f);
  EXPECT_EQ(set.GetSelectedDeclaration(), uint32_t{ShaderSet::kDeclWater});
  EXPECT_EQ(set.GetSelectedShader(), uint32_t{ShaderSet::kShaderWater});

  // Placed 45 up, then 10 further by the view, then biased by a half into 0..1.
  struct Register {
    uint32_t reg;
    float x, y, z, w;
  };
  const Register registers[] = {
      {27, 0.5f, 0.0f, 0.0f, 0.0f},
      {28, 0.0f, 0.5f, 0.0f, 0.0f},
      {29, 0.0f, 0.0f, 0.5f, 0.0f},
      {30, 2.0f * 0.5f + 0.5f, 4.0f * 0.5f + 0.5f, 55.0f * 0.5f + 0.5f, 1.0f},
      {13, 0.0f, 0.5f, 1.0f, 2.0f},
      {14, 4.0f, 1.5707964f, 3.1415927f, 6.2831853f},
      // The odd Taylor coefficients of the sine: -1/3!, 1/5!, -1/7!.
      {15, 1.0f, -1.0f / 6.0f, 1.0f / 120.0f, -1.0f / 5040.0f},
      {18, 1.02f, 0.1f, 0.0f, 0.0f},
      {19, 0.4f, 0.5f, 0.025f, 0.025f},
      {20, 0.0f, 0.2f, 0.0f, 0.0f},
      {21, 0.2f, 0.15f, 0.4f, 0.4f},
      {22, 2.5f, 0.0f, -7.0f, -8.0f},
      {23, 0.0f, 1.5f, -7.0f, 1.0f},
      {24, 1.25f, std::sin(1.25f), 0.0f, -40.0f},
      {26, 0.5f * 96.0f / 255.0f, 128.0f / 255.0f, 0.25f, 0.4f}};
  // Placed 45 up, then 10 further by the view, then biased by a half into 0..1 (c27-c30).
  for (const Register& r : registers) ExpectConstant(set, r.reg, r.x, r.y, r.z, r.w);
}

class ShaderSetTest : public AppTest {
 protected:
  ShaderSet* shaders() { return m_harness.app().GetDisplay()->GetShaderSet(); }
  D3DDevice* device() { return m_harness.app().GetDisplay()->GetDevice(); }
  void ExpectComplete() {
    ASSERT_NE(shaders(), nullptr);
    for (uint32_t i = 0; i < ShaderSet::kDeclarationCount; ++i)
      EXPECT_NE(shaders()->GetDeclaration(i), nullptr) << "declaration " << i + 1;
    for (uint32_t i = 0; i < ShaderSet::kShaderCount; ++i)
      EXPECT_NE(shaders()->GetShader(i), nullptr) << "shader " << i + 1;
    ExpectConstant(*shaders(), 4, 0.0f, 1.0f, 13.0f, 256.0f);
    EXPECT_EQ(shaders()->GetMaxConstants(), m_harness.app().GetDisplay()->GetCaps().MaxVertexShaderConst);
  }
};

TEST_F(ShaderSetTest, StartUpAndRecoveryBuildEveryDeclarationAndShader) {
  ASSERT_TRUE(m_harness.Start());
  ExpectComplete();
  EXPECT_GT(shaders()->GetMaxConstants(), 95u);
  EXPECT_FALSE(DebugLogContains("Unable to create shader"));
  EXPECT_FALSE(DebugLogContains("Warning in shader"));

  m_harness.faults().ForceDeviceLost(false);
  m_harness.RunFrames(1);
  ASSERT_TRUE(DebugLogContains("Resetting"));
  ExpectComplete();

  device()->ResetCallCounts();
  shaders()->SelectMeshShader();
  shaders()->SetDeclAndShader();
  EXPECT_EQ(device()->GetCallCount(DeviceCall::SetVertexDeclaration), 2u);
  EXPECT_EQ(device()->GetCallCount(DeviceCall::SetVertexShader), 2u);
}

TEST_F(ShaderSetTest, AssemblyMessagesGoToTheDebugLog) {
  ASSERT_TRUE(m_harness.Start());
  D3DVertexShader* shader = reinterpret_cast<D3DVertexShader*>(&shader);
  EXPECT_EQ(shaders()->CreateShader("vs.1.1\nbogus\tr0,r1\n", &shader), 0);
  EXPECT_EQ(shader, nullptr);
  EXPECT_TRUE(DebugLogContains("Unable to create shader (line 2)"));

  // A temporary read before it is written is only a warning: the shader is still made.
  EXPECT_EQ(shaders()->CreateShader("vs.1.1\ndcl_position\tv0\nadd\tr0,r1,v0\nmov\toPos,r0\n",
                                    &shader),
            1);
  EXPECT_TRUE(DebugLogContains("Warning in shader (line 3)"));
  ASSERT_NE(shader, nullptr);
  shader->Release();
}

// ---- Drawing through the shaders ------------------------------------------------------------

struct MeshVertex {
  float x, y, z;
  float nx, ny, nz;
  uint32_t colour;
  float u, v;
};
static_assert(sizeof(MeshVertex) == 36, "the mesh declaration's vertex");

struct ScreenVertex {
  float x, y, z, rhw;
  uint32_t colour;
  float u, v;
};
static_assert(sizeof(ScreenVertex) == 28, "the screen declaration's vertex");

class ShaderDrawTest : public ShaderSetTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_harness.Start());
    // The vertex colour alone, so that what the shader computed is what lands.
    RenderStateCache::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    RenderStateCache::SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    RenderStateCache::SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(device()->BeginScene(), D3D_OK);
    ASSERT_EQ(device()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0),
              D3D_OK);
  }
  void Finish() {
    ASSERT_EQ(device()->EndScene(), D3D_OK);
    m_pixels = pixelprobe::ReadBack(device(), 640, 480);
  }
  // Looking along +y from 100 back, 90 degrees vertically over the 640 by 480 client.
  void PlaceCamera() {
    Camera camera;
    camera.SetEye(Vector4(0.0f, -100.0f, 0.0f, 1.0f));
    camera.SetTarget(Vector4(0.0f, 0.0f, 0.0f, 1.0f));
    camera.SetNearFar(1.0f, 1000.0f);
    const int32_t viewport[4] = {0, 0, 640, 480};
    camera.SetVerticalFov(kHalfPi, viewport);
    camera.UpdateMatrices();
  }
  // Loads world × view × device projection as matrixMCPr and returns it.
  Matrix LoadDrawMatrix(const Matrix& world) {
    Display* display = m_harness.app().GetDisplay();
    Matrix m;
    Multiply(world, *display->GetViewMatrix(), m);
    Multiply(m, *display->GetDeviceProjectionMatrix(), m);
    EXPECT_EQ(device()->SetVertexShaderConstantF(0, m.m, 4), D3D_OK);
    return m;
  }
  uint32_t Pixel(double x, double y) const {
    return m_pixels[static_cast<int>(y) * 640 + static_cast<int>(x)] & 0xFFFFFFu;
  }
  static bool Near(uint32_t got, uint32_t want) {
    return pixelprobe::Near(got, pixelprobe::RgbOf(want), 2.0);
  }

  std::vector<uint32_t> m_pixels;
};

struct Point2 {
  double x, y;
};

// Where a point lands on the 640 by 480 back buffer through a clip matrix.
Point2 PixelOf(const Matrix& clip, float x, float y, float z) {
  double c[4] = {};
  const double p[4] = {x, y, z, 1.0};
  for (int j = 0; j < 4; ++j)
    for (int k = 0; k < 4; ++k) c[j] += p[k] * clip.m[k * 4 + j];
  return {(c[0] / c[3] + 1.0) * 320.0, (1.0 - c[1] / c[3]) * 240.0};
}

TEST_F(ShaderDrawTest, TheUnlitMeshShaderDrawsAtTheDrawMatrixWithTheMultipliedColour) {
  PlaceCamera();
  Matrix world;
  world.RotationZ(0.4f);
  world.m[12] = 15.0f;
  world.m[14] = -10.0f;
  const Matrix clip = LoadDrawMatrix(world);
  shaders()->SetColourMultiplier(Vector4(0.5f, 1.0f, 0.75f, 1.0f));
  shaders()->SelectMeshShader();
  const MeshVertex triangle[3] = {
      {-40.0f, 0.0f, -30.0f, 0.0f, 0.0f, 1.0f, 0xFF80C0FFu, 0.0f, 0.0f},
      {40.0f, 0.0f, -30.0f, 0.0f, 0.0f, 1.0f, 0xFF80C0FFu, 1.0f, 0.0f},
      {0.0f, 0.0f, 40.0f, 0.0f, 0.0f, 1.0f, 0xFF80C0FFu, 0.5f, 1.0f},
  };
  ASSERT_EQ(device()->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(MeshVertex)), D3D_OK);
  Finish();

  // 0.5 × 0x80, 1 × 0xC0, 0.75 × 0xFF.
  const uint32_t colour = (0x40u << 16) | (0xC0u << 8) | 0xBFu;
  Point2 corner[3];
  for (int i = 0; i < 3; ++i) corner[i] = PixelOf(clip, triangle[i].x, triangle[i].y, triangle[i].z);
  const Point2 centre = {(corner[0].x + corner[1].x + corner[2].x) / 3.0,
                         (corner[0].y + corner[1].y + corner[2].y) / 3.0};
  EXPECT_TRUE(Near(Pixel(centre.x, centre.y), colour)) << std::hex << Pixel(centre.x, centre.y);
  // Most of the way from the centre to each corner is inside; a little beyond is outside.
  for (const Point2& c : corner) {
    const Point2 in = {centre.x + 0.9 * (c.x - centre.x), centre.y + 0.9 * (c.y - centre.y)};
    const Point2 out = {centre.x + 1.1 * (c.x - centre.x), centre.y + 1.1 * (c.y - centre.y)};
    EXPECT_TRUE(Near(Pixel(in.x, in.y), colour)) << in.x << "," << in.y;
    EXPECT_TRUE(Near(Pixel(out.x, out.y), 0x000000u)) << out.x << "," << out.y;
  }
}

TEST_F(ShaderDrawTest, TheLitMeshShaderAddsEachLightByTheCosineOfItsAngle) {
  ScopedWindow window;
  LightSetup lights = OneLight();
  window->SetLightSetup(&lights);
  PlaceCamera();
  shaders()->SetColourMultiplier(Vector4(1.0f, 1.0f, 1.0f, 1.0f));

  // Three triangles side by side whose normals face up, 60 degrees off up, and down.
  const float c60 = 0.5f, s60 = 0.8660254f;
  const float normals[3][3] = {{0.0f, 0.0f, 1.0f}, {0.0f, -s60, c60}, {0.0f, 0.0f, -1.0f}};
  Matrix world;
  world.RotationZ(0.7f);  // turning about z leaves the light's angle to each normal alone
  Point2 centres[3];
  for (int t = 0; t < 3; ++t) {
    world.m[12] = -60.0f + 60.0f * t;
    world.m[13] = 0.0f;
    const Matrix clip = LoadDrawMatrix(world);
    shaders()->SetLights(&world);
    shaders()->SelectMeshShader();
    EXPECT_EQ(shaders()->GetSelectedShader(), uint32_t{ShaderSet::kShaderLitMesh});
    const float* n = normals[t];
    MeshVertex triangle[3] = {
        {-15.0f, 0.0f, -15.0f, n[0], n[1], n[2], 0xFF000000u, 0.0f, 0.0f},
        {15.0f, 0.0f, -15.0f, n[0], n[1], n[2], 0xFF000000u, 0.0f, 0.0f},
        {0.0f, 0.0f, 20.0f, n[0], n[1], n[2], 0xFF000000u, 0.0f, 0.0f},
    };
    ASSERT_EQ(device()->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(MeshVertex)),
              D3D_OK);
    centres[t] = PixelOf(clip, 0.0f, 0.0f, -3.0f);
  }
  Finish();

  // ambient + max(0, cos) × half the light's colour, in 0..255.
  auto expected = [](double cosine) {
    const double k = cosine > 0.0 ? cosine : 0.0;
    auto channel = [&](double a, double l) {
      return static_cast<uint32_t>(std::lround((a + k * 0.5 * l) * 255.0));
    };
    return (channel(0.1, 0.6) << 16) | (channel(0.2, 0.4) << 8) | channel(0.3, 0.2);
  };
  const double cosines[3] = {1.0, 0.5, -1.0};
  for (int t = 0; t < 3; ++t) {
    EXPECT_TRUE(Near(Pixel(centres[t].x, centres[t].y), expected(cosines[t])))
        << "triangle " << t << ": " << std::hex << Pixel(centres[t].x, centres[t].y) << " want "
        << expected(cosines[t]);
  }
}

TEST_F(ShaderDrawTest, TheScreenShaderDrawsAQuadOnExactPixels) {
  shaders()->SetColourMultiplier(Vector4(0.25f, 0.25f, 0.25f, 1.0f));
  shaders()->SelectScreenShader();
  const ScreenVertex quad[4] = {
      {100.0f, 50.0f, 0.0f, 1.0f, 0xFF336699u, 0.0f, 0.0f},
      {300.0f, 50.0f, 0.0f, 1.0f, 0xFF336699u, 1.0f, 0.0f},
      {100.0f, 150.0f, 0.0f, 1.0f, 0xFF336699u, 0.0f, 1.0f},
      {300.0f, 150.0f, 0.0f, 1.0f, 0xFF336699u, 1.0f, 1.0f},
  };
  ASSERT_EQ(device()->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex)), D3D_OK);
  Finish();
  // Pretransformed vertices bypass the vertex shader: their own colour lands, on the pixels
  // whose centres (integer coordinates) the quad covers: columns 100-299, rows 50-149.
  int inside = 0, outside = 0;
  for (int y = 40; y < 160; ++y)
    for (int x = 90; x < 310; ++x) {
      const bool in = x >= 100 && x < 300 && y >= 50 && y < 150;
      const uint32_t p = Pixel(x, y);
      if (in && !Near(p, 0x336699u)) ++inside;
      if (!in && p != 0u) ++outside;
    }
  EXPECT_EQ(inside, 0);
  EXPECT_EQ(outside, 0);
}

struct BlendVertex {
  uint32_t indices;  // D3DCOLOR: bone slot i in byte i, each 3 × the bone number
  float weights[4];
};
static_assert(sizeof(BlendVertex) == 20, "the skinning stream's vertex");

constexpr uint32_t BoneSlots(uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3) {
  return (3 * b0) | (3 * b1) << 8 | (3 * b2) << 16 | (3 * b3) << 24;
}

// Two triangles through the skinned declaration: the first wholly on bone 1 (turned half round
// y, then moved 50 along x), the second half on bone 0 (moved -50 along x) and half on bone 2
// (moved 40 up). Returns where the centre of each lands.
class SkinnedDrawTest : public ShaderDrawTest {
 protected:
  void Draw(bool lit, Point2 centres[2]) {
    PlaceCamera();
    const Matrix clip = LoadDrawMatrix(g_IdentityMatrix);
    Matrix bones[3];
    bones[0].Translation(Vector4(-50.0f, 0.0f, 0.0f, 1.0f));
    bones[1].RotationY(kPi);
    bones[1].m[12] = 50.0f;
    bones[2].Translation(Vector4(0.0f, 0.0f, 40.0f, 1.0f));
    for (uint32_t b = 0; b < 3; ++b) {
      Matrix t;
      MatrixTranspose(bones[b], t);
      ASSERT_EQ(device()->SetVertexShaderConstantF(13 + 3 * b, t.m, 3), D3D_OK);
    }
    const MeshVertex mesh[6] = {
        {-15.0f, 0.0f, -15.0f, 0.0f, 0.0f, 1.0f, 0xFF4080C0u, 0.0f, 0.0f},
        {15.0f, 0.0f, -15.0f, 0.0f, 0.0f, 1.0f, 0xFF4080C0u, 0.0f, 0.0f},
        {0.0f, 0.0f, 20.0f, 0.0f, 0.0f, 1.0f, 0xFF4080C0u, 0.0f, 0.0f},
        {-15.0f, 0.0f, -15.0f, 0.0f, 0.0f, 1.0f, 0xFF4080C0u, 0.0f, 0.0f},
        {15.0f, 0.0f, -15.0f, 0.0f, 0.0f, 1.0f, 0xFF4080C0u, 0.0f, 0.0f},
        {0.0f, 0.0f, 20.0f, 0.0f, 0.0f, 1.0f, 0xFF4080C0u, 0.0f, 0.0f},
    };
    BlendVertex blend[6];
    for (int i = 0; i < 3; ++i) blend[i] = {BoneSlots(1, 0, 2, 0), {1.0f, 0.0f, 0.0f, 0.0f}};
    for (int i = 3; i < 6; ++i) blend[i] = {BoneSlots(2, 1, 0, 1), {0.5f, 0.0f, 0.5f, 0.0f}};
    D3DVertexBuffer* buffers[2] = {};
    const void* sources[2] = {mesh, blend};
    const uint32_t sizes[2] = {sizeof(mesh), sizeof(blend)};
    for (int i = 0; i < 2; ++i) {
      ASSERT_EQ(device()->CreateVertexBuffer(sizes[i], 0, 0, D3DPOOL_MANAGED, &buffers[i]), D3D_OK);
      void* data = nullptr;
      ASSERT_EQ(buffers[i]->Lock(0, 0, &data, 0), D3D_OK);
      std::memcpy(data, sources[i], sizes[i]);
      ASSERT_EQ(buffers[i]->Unlock(), D3D_OK);
    }
    shaders()->SetColourMultiplier(Vector4(1.0f, 1.0f, 1.0f, 1.0f));
    if (lit) shaders()->SetLights(&g_IdentityMatrix);
    shaders()->SetSkinned();
    shaders()->SelectMeshShader();
    EXPECT_EQ(shaders()->GetSelectedDeclaration(), uint32_t{ShaderSet::kDeclSkinnedMesh});
    EXPECT_EQ(device()->SetStreamSource(0, buffers[0], 0, sizeof(MeshVertex)), D3D_OK);
    EXPECT_EQ(device()->SetStreamSource(2, buffers[1], 0, sizeof(BlendVertex)), D3D_OK);
    EXPECT_EQ(device()->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3D_OK);
    device()->SetStreamSource(0, nullptr, 0, 0);
    device()->SetStreamSource(2, nullptr, 0, 0);
    for (D3DVertexBuffer* b : buffers) b->Release();
    Finish();
    // The centre (0, 0, -3): turned half round y it is (0, 0, 3), then 50 along x; blended, the
    // mean of (-50, 0, -3) and (0, 0, 37).
    centres[0] = PixelOf(clip, 50.0f, 0.0f, 3.0f);
    centres[1] = PixelOf(clip, -25.0f, 0.0f, 17.0f);
  }
};

TEST_F(SkinnedDrawTest, TheUnlitSkinnedShaderPlacesEachVertexByItsBones) {
  Point2 centres[2];
  Draw(false, centres);
  EXPECT_EQ(shaders()->GetSelectedShader(), uint32_t{ShaderSet::kShaderSkinnedMesh});
  for (const Point2& c : centres) {
    EXPECT_TRUE(Near(Pixel(c.x, c.y), 0x4080C0u)) << c.x << "," << c.y << ": " << std::hex
                                                 << Pixel(c.x, c.y);
  }
  // Where the triangle would be without its bones stays clear.
  EXPECT_EQ(Pixel(320.0, 243.0), 0u);
}

TEST_F(SkinnedDrawTest, TheLitSkinnedShaderTurnsTheNormalWithTheBones) {
  ScopedWindow window;
  LightSetup lights = OneLight();
  window->SetLightSetup(&lights);
  Point2 centres[2];
  Draw(true, centres);
  EXPECT_EQ(shaders()->GetSelectedShader(), uint32_t{ShaderSet::kShaderLitSkinnedMesh});
  // Bone 1 turns the normal to face down, away from the light: ambient alone. The other keeps
  // facing up: ambient plus half the light.
  EXPECT_TRUE(Near(Pixel(centres[0].x, centres[0].y), 0x1A334Du)) << std::hex
                                                                  << Pixel(centres[0].x, centres[0].y);
  EXPECT_TRUE(Near(Pixel(centres[1].x, centres[1].y), 0x666666u)) << std::hex
                                                                  << Pixel(centres[1].x, centres[1].y);
}

struct WaterVertex {
  float x, y, z;
  float nx, ny, nz;
  float u, v, w;
  float u1, v1;
};
static_assert(sizeof(WaterVertex) == 44, "the water declaration's vertex");

TEST_F(ShaderDrawTest, TheWaterShaderRaisesTheSurfaceAndTakesTheWindowsTint) {
  ScopedWindow window;
  window->SetColourFactors(1.0f, 1.0f, 1.0f, 1.0f);
  RenderStateCache::SetRenderState(D3DRS_ALPHATESTENABLE, 0);
  PlaceCamera();
  const Matrix clip = LoadDrawMatrix(g_IdentityMatrix);
  shaders()->SetWaterConstants(&g_IdentityMatrix, 0.7f);
  // A third texture coordinate of 1 stills the waves, leaving the 40 units' lift.
  auto at = [](float x, float z) {
    return WaterVertex{x, 0.0f, z, 0.0f, -1.0f, 0.0f, x / 60.0f, z / 60.0f, 1.0f, 0.0f, 0.0f};
  };
  const WaterVertex quad[4] = {at(-30.0f, -10.0f), at(30.0f, -10.0f), at(-30.0f, -70.0f),
                               at(30.0f, -70.0f)};
  ASSERT_EQ(device()->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(WaterVertex)), D3D_OK);
  Finish();
  const Point2 top = PixelOf(clip, 0.0f, 0.0f, 28.0f);
  const Point2 bottom = PixelOf(clip, 0.0f, 0.0f, -28.0f);
  const Point2 below = PixelOf(clip, 0.0f, 0.0f, -32.0f);
  const Point2 above = PixelOf(clip, 0.0f, 0.0f, 32.0f);
  // Water14: the factors times (96/255, 128/255, 1).
  EXPECT_TRUE(Near(Pixel(top.x, top.y), 0x6080FFu)) << std::hex << Pixel(top.x, top.y);
  EXPECT_TRUE(Near(Pixel(bottom.x, bottom.y), 0x6080FFu)) << std::hex << Pixel(bottom.x, bottom.y);
  EXPECT_EQ(Pixel(below.x, below.y), 0u);
  EXPECT_EQ(Pixel(above.x, above.y), 0u);
}

}  // namespace
