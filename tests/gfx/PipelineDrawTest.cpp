// Draws on the real device, read back: where vertices land (pre-transformed and through the
// transforms), culling, depth, fill mode, blending, the alpha test, the texture-stage operations
// without textures, and fog. Expected colours come from Direct3D's formulas.
#include <array>

#include "tests/gfx/PipelineTestSupport.h"

namespace pipetest {
namespace {

D3DMATRIX Identity() { return D3DMATRIX{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}; }

// An orthographic projection of render-target pixels (y down) onto clip space.
D3DMATRIX PixelsToClip() {
  using T = PipelineTest;
  return D3DMATRIX{{2.0f / T::kWidth, 0, 0, 0, 0, -2.0f / T::kHeight, 0, 0, 0, 0, 1, 0, -1, 1, 0, 1}};
}

// Row vector times matrix, the Direct3D way.
std::array<float, 4> Transform(const std::array<float, 4>& v, const D3DMATRIX& m) {
  std::array<float, 4> out{};
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 4; ++r) out[c] += v[r] * m.m[r * 4 + c];
  }
  return out;
}

TEST_F(PipelineTest, EdgesOnPixelCentresAndAHairBesideThemCoverWhatTheTopLeftRuleSays) {
  // Direct3D 9's pixel centres are on integers; a centre exactly on an edge belongs to the shape
  // whose top or left edge it is. A hair is one step of the rasteriser's 8 sub-pixel bits.
  constexpr float kHair = 1.0f / 256;
  struct Case {
    float x0, y0, x1, y1;  // the rectangle's edges in Direct3D pixels
    int px0, py0, px1, py1;  // the pixels it covers, [px0, px1) x [py0, py1)
  };
  const Case cases[] = {
      {20, 30, 30, 40, 20, 30, 30, 40},
      {20 + kHair, 30 + kHair, 30 + kHair, 40 + kHair, 21, 31, 31, 41},
      {20 - kHair, 30 - kHair, 30 - kHair, 40 - kHair, 20, 30, 30, 40},
      {20 + kHair, 30 - kHair, 30 - kHair, 40 + kHair, 21, 30, 30, 41},
      {49.5f, 9.5f, 59.5f, 19.5f, 50, 10, 60, 20},  // the classic half-pixel offset
      {0, 0, 3, 2, 0, 0, 3, 2},                     // the target's corner
  };
  DiffuseOnly();
  device_->SetRenderState(D3DRS_LIGHTING, 0);
  device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  const D3DMATRIX identity = Identity();
  device_->SetTransform(D3DTS_WORLD, &identity);
  device_->SetTransform(D3DTS_VIEW, &identity);
  device_->SetTransform(D3DTS_PROJECTION, &identity);
  // The same rectangle through the transforms: clip x -1 is the centre of column 0.
  const auto transformed = [this](const Case& c, uint32_t color) {
    const auto x = [](float px) { return 2.0f * px / kWidth - 1.0f; };
    const auto y = [](float py) { return 1.0f - 2.0f * py / kHeight; };
    const WorldVertex quad[4] = {{x(c.x0), y(c.y0), 0.5f, color, 0, 0},
                                 {x(c.x1), y(c.y0), 0.5f, color, 0, 0},
                                 {x(c.x0), y(c.y1), 0.5f, color, 0, 0},
                                 {x(c.x1), y(c.y1), 0.5f, color, 0, 0}};
    device_->SetFVF(kFvfWorld);
    return device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(WorldVertex));
  };
  // On the back buffer and in a texture target, which GL draws the other way up.
  D3DTexture* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(kWidth, kHeight, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                   D3DPOOL_DEFAULT, &texture),
            D3D_OK);
  D3DSurface* surfaces[2] = {};
  ASSERT_EQ(device_->GetRenderTarget(0, &surfaces[0]), D3D_OK);
  ASSERT_EQ(texture->GetSurfaceLevel(0, &surfaces[1]), D3D_OK);
  for (int target = 0; target < 2; ++target) {
    ASSERT_EQ(device_->SetRenderTarget(0, surfaces[target]), D3D_OK);
    for (bool pretransformed : {true, false}) {
      for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "target " << target << " pretransformed "
                                          << pretransformed << " rectangle " << c.x0 << ","
                                          << c.y0 << " " << c.x1 << "," << c.y1);
        Clear(0xFF000000u);
        ASSERT_EQ(pretransformed ? Rect(c.x0, c.y0, c.x1, c.y1, 0xFF00FF00u)
                                 : transformed(c, 0xFF00FF00u),
                  D3D_OK);
        std::vector<uint32_t> pixels(kWidth * kHeight);
        if (target == 0) {
          pixels = Read();
        } else {
          ASSERT_EQ(TestHooks::ReadTexture(device_, texture, pixels.data()), D3D_OK);
        }
        EXPECT_EQ(CountOff(pixels, c.px0, c.py0, c.px1, c.py1, 0xFF00FF00u, 0), 0);
        EXPECT_EQ(CountColour(pixels, 0xFF00FF00u), (c.px1 - c.px0) * (c.py1 - c.py0));
      }
    }
  }
  ASSERT_EQ(device_->SetRenderTarget(0, surfaces[0]), D3D_OK);
  surfaces[0]->Release();
  surfaces[1]->Release();
  texture->Release();
}

TEST_F(PipelineTest, ScreenCoordinatesStayRenderTargetPixelsWhateverTheViewport) {
  DiffuseOnly();
  Clear(0xFF000000u);
  // Pre-transformed positions are render-target pixels: a viewport moves nothing.
  D3DVIEWPORT9 viewport{16, 8, 64, 48, 0.0f, 1.0f};
  ASSERT_EQ(device_->SetViewport(&viewport), D3D_OK);
  ASSERT_EQ(Rect(20, 30, 30, 40, 0xFF00FF00u), D3D_OK);
  std::vector<uint32_t> pixels = Read();
  EXPECT_EQ(CountOff(pixels, 20, 30, 30, 40, 0xFF00FF00u, 0), 0);
  EXPECT_EQ(CountColour(pixels, 0xFF00FF00u), 100);
  // ... but it clips: the part of a rectangle outside the viewport is not drawn.
  Clear(0xFF000000u);
  ASSERT_EQ(Rect(0, 0, 40, 20, 0xFFFF0000u), D3D_OK);
  pixels = Read();
  EXPECT_EQ(CountOff(pixels, 16, 8, 40, 20, 0xFFFF0000u, 0), 0);
  EXPECT_EQ(CountColour(pixels, 0xFFFF0000u), 24 * 12);

  // The scissor test without a rectangle of its own covers the whole target.
  viewport = D3DVIEWPORT9{0, 0, kWidth, kHeight, 0.0f, 1.0f};
  ASSERT_EQ(device_->SetViewport(&viewport), D3D_OK);
  device_->SetRenderState(D3DRS_SCISSORTESTENABLE, 1);
  Clear(0xFF000000u);
  ASSERT_EQ(Rect(20, 30, 30, 40, 0xFF00FF00u), D3D_OK);
  EXPECT_EQ(CountColour(Read(), 0xFF00FF00u), 100);
}

TEST_F(PipelineTest, WorldViewProjectionPlacesVerticesWhereTheRowVectorProductSays) {
  DiffuseOnly();
  device_->SetRenderState(D3DRS_LIGHTING, 0);
  device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);

  // An orthographic projection onto pixels: a unit square scaled by 10 and moved to (20, 30)
  // must cover exactly the block the screen quad did.
  D3DMATRIX world{{10, 0, 0, 0, 0, 10, 0, 0, 0, 0, 1, 0, 20, 30, 0.5f, 1}};
  const D3DMATRIX pixelsToClip = PixelsToClip();
  D3DMATRIX view = Identity();
  ASSERT_EQ(device_->SetTransform(D3DTS_WORLD, &world), D3D_OK);
  ASSERT_EQ(device_->SetTransform(D3DTS_VIEW, &view), D3D_OK);
  ASSERT_EQ(device_->SetTransform(D3DTS_PROJECTION, &pixelsToClip), D3D_OK);
  const WorldVertex square[4] = {{0, 0, 0, 0xFF00FF00u, 0, 0},
                                 {1, 0, 0, 0xFF00FF00u, 1, 0},
                                 {0, 1, 0, 0xFF00FF00u, 0, 1},
                                 {1, 1, 0, 0xFF00FF00u, 1, 1}};
  Clear(0xFF000000u);
  device_->SetFVF(kFvfWorld);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, square, sizeof(WorldVertex)), D3D_OK);
  std::vector<uint32_t> pixels = Read();
  EXPECT_EQ(CountOff(pixels, 20, 30, 30, 40, 0xFF00FF00u, 0), 0);
  EXPECT_EQ(CountColour(pixels, 0xFF00FF00u), 100);

  // A perspective projection with a world and a view that do not commute (a quarter turn
  // about z, then a move): the triangle's inside and outside are computed here.
  world = D3DMATRIX{{0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
  view = D3DMATRIX{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.5f, -0.25f, 4, 1}};
  const float zn = 1.0f, zf = 100.0f;  // a left-handed perspective
  const D3DMATRIX projection{{static_cast<float>(kHeight) / kWidth, 0, 0, 0, 0, 1, 0, 0, 0, 0,
                              zf / (zf - zn), 1, 0, 0, -zn * zf / (zf - zn), 0}};
  ASSERT_EQ(device_->SetTransform(D3DTS_WORLD, &world), D3D_OK);
  ASSERT_EQ(device_->SetTransform(D3DTS_VIEW, &view), D3D_OK);
  ASSERT_EQ(device_->SetTransform(D3DTS_PROJECTION, &projection), D3D_OK);
  const WorldVertex triangle[3] = {{0, 0, 0, 0xFFFF0000u, 0, 0},
                                   {1.5f, 0, 0, 0xFFFF0000u, 0, 0},
                                   {0, 1.5f, 0, 0xFFFF0000u, 0, 0}};
  float sx[3];
  float sy[3];
  for (int i = 0; i < 3; ++i) {
    std::array<float, 4> p = {triangle[i].x, triangle[i].y, triangle[i].z, 1.0f};
    p = Transform(Transform(Transform(p, world), view), projection);
    sx[i] = (p[0] / p[3] + 1.0f) * 0.5f * kWidth;
    sy[i] = (1.0f - p[1] / p[3]) * 0.5f * kHeight;
  }
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(WorldVertex)), D3D_OK);
  pixels = Read();
  const float cx = (sx[0] + sx[1] + sx[2]) / 3.0f;
  const float cy = (sy[0] + sy[1] + sy[2]) / 3.0f;
  EXPECT_TRUE(
      Near(At(pixels, static_cast<int>(cx), static_cast<int>(cy)), 0xFFFF0000u, 0, 0x00FFFFFFu));
  // Beyond each corner, away from the centroid, nothing was drawn.
  for (int i = 0; i < 3; ++i) {
    const float ox = sx[i] + (sx[i] - cx) * 0.3f;
    const float oy = sy[i] + (sy[i] - cy) * 0.3f;
    if (ox < 0 || oy < 0 || ox >= kWidth || oy >= kHeight) continue;
    EXPECT_TRUE(
        Near(At(pixels, static_cast<int>(ox), static_cast<int>(oy)), 0xFF000000u, 0, 0x00FFFFFFu))
        << "corner " << i;
  }
}

TEST_F(PipelineTest, CullModesFollowDirect3DWinding) {
  DiffuseOnly();
  // On screen (y down) the first triangle runs clockwise, the second counter-clockwise.
  const ScreenVertex clockwise[3] = {{10, 10, 0, 1, 0xFF00FF00u, 0, 0},
                                     {30, 10, 0, 1, 0xFF00FF00u, 0, 0},
                                     {10, 30, 0, 1, 0xFF00FF00u, 0, 0}};
  const ScreenVertex counter[3] = {{60, 10, 0, 1, 0xFFFF0000u, 0, 0},
                                   {60, 30, 0, 1, 0xFFFF0000u, 0, 0},
                                   {80, 10, 0, 1, 0xFFFF0000u, 0, 0}};
  device_->SetFVF(kFvfScreen);
  struct Case {
    uint32_t mode;
    bool clockwiseShown;
    bool counterShown;
  };
  // D3DCULL_CCW (the default) culls counter-clockwise faces: Direct3D's front faces are clockwise.
  const Case cases[] = {
      {D3DCULL_CCW, true, false}, {D3DCULL_CW, false, true}, {D3DCULL_NONE, true, true}};
  for (const Case& c : cases) {
    device_->SetRenderState(D3DRS_CULLMODE, c.mode);
    Clear(0xFF000000u);
    device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, clockwise, sizeof(ScreenVertex));
    device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, counter, sizeof(ScreenVertex));
    const std::vector<uint32_t> pixels = Read();
    EXPECT_EQ(Near(At(pixels, 15, 15), 0xFF00FF00u, 0, 0x00FFFFFF), c.clockwiseShown) << c.mode;
    EXPECT_EQ(Near(At(pixels, 65, 15), 0xFFFF0000u, 0, 0x00FFFFFF), c.counterShown) << c.mode;
  }
}

TEST_F(PipelineTest, DepthTestAndDepthWritesFollowTheirStates) {
  DiffuseOnly();
  // A red rectangle at depth 0.5 and a green one at 0.7 overlapping it at [40, 60)^2: what shows
  // where only red was drawn, and where they overlap.
  struct Case {
    uint32_t zEnable, zWrite, zFunc;
    float clearZ;
    bool greenFirst;
    uint32_t redOnly, overlap;
  };
  const Case cases[] = {
      // Direct3D's defaults: the nearer wins whatever the order.
      {D3DZB_TRUE, 1, D3DCMP_LESSEQUAL, 1.0f, false, 0xFFFF0000u, 0xFFFF0000u},
      {D3DZB_TRUE, 1, D3DCMP_LESSEQUAL, 1.0f, true, 0xFFFF0000u, 0xFFFF0000u},
      // Without depth writes the first leaves no depth; without the test the last drawn wins.
      {D3DZB_TRUE, 0, D3DCMP_LESSEQUAL, 1.0f, false, 0xFFFF0000u, 0xFF00FF00u},
      {D3DZB_FALSE, 1, D3DCMP_LESSEQUAL, 1.0f, false, 0xFFFF0000u, 0xFF00FF00u},
      // GREATER against a cleared 0.6: only the farther rectangle passes.
      {D3DZB_TRUE, 1, D3DCMP_GREATER, 0.6f, false, 0xFF000000u, 0xFF00FF00u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    device_->SetRenderState(D3DRS_ZENABLE, c.zEnable);
    device_->SetRenderState(D3DRS_ZWRITEENABLE, c.zWrite);
    device_->SetRenderState(D3DRS_ZFUNC, c.zFunc);
    Clear(0xFF000000u, c.clearZ);
    if (c.greenFirst) Rect(40, 40, 80, 80, 0xFF00FF00u, 0.7f);
    Rect(20, 20, 60, 60, 0xFFFF0000u, 0.5f);
    if (!c.greenFirst) Rect(40, 40, 80, 80, 0xFF00FF00u, 0.7f);
    const std::vector<uint32_t> pixels = Read();
    EXPECT_EQ(CountOff(pixels, 22, 22, 38, 38, c.redOnly), 0);
    EXPECT_EQ(CountOff(pixels, 42, 42, 58, 58, c.overlap), 0);
    EXPECT_EQ(CountOff(pixels, 62, 62, 78, 78, 0xFF00FF00u), 0);
  }

  // A viewport's depth range (here all of it 0) leaves pre-transformed z as it is: the first
  // rectangle keeps depth 0.5, and the nearer one drawn later covers it.
  device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
  Clear(0xFF000000u, 1.0f);
  D3DVIEWPORT9 viewport{0, 0, kWidth, kHeight, 0.0f, 0.0f};
  ASSERT_EQ(device_->SetViewport(&viewport), D3D_OK);
  Rect(20, 20, 60, 60, 0xFFFF0000u, 0.5f);
  viewport.MaxZ = 1.0f;
  ASSERT_EQ(device_->SetViewport(&viewport), D3D_OK);
  Rect(40, 40, 80, 80, 0xFF00FF00u, 0.4f);
  EXPECT_EQ(CountOff(Read(), 42, 42, 58, 58, 0xFF00FF00u), 0);
}

// A quad at z = 1 over the whole target, through viewports whose depth range is empty or turned
// round: Direct3D 9 keeps a range of at least a thousandth, so every pixel, corners included,
// stores MinZ + 0.001. Probed with screen rectangles just nearer and just farther than that.
TEST_F(PipelineTest, AViewportKeepsAThousandthOfDepthRangeInEveryPixel) {
  DiffuseOnly();
  device_->SetRenderState(D3DRS_LIGHTING, 0);
  const WorldVertex far[4] = {{-1, 1, 1, 0xFFFF0000u, 0, 0},
                              {1, 1, 1, 0xFFFF0000u, 0, 0},
                              {-1, -1, 1, 0xFFFF0000u, 0, 0},
                              {1, -1, 1, 0xFFFF0000u, 0, 0}};
  const struct {
    float minZ, maxZ, stored;
  } cases[] = {
      {0.5f, 0.5f, 0.501f}, {0.5f, 0.25f, 0.501f}, {0.0f, 0.0f, 0.001f}, {0.25f, 0.75f, 0.75f}};
  const D3DVIEWPORT9 whole{0, 0, kWidth, kHeight, 0.0f, 1.0f};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.minZ << ".." << c.maxZ);
    device_->SetRenderState(D3DRS_ZWRITEENABLE, 1);
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    Clear(0xFF000000u);
    const D3DVIEWPORT9 viewport{0, 0, kWidth, kHeight, c.minZ, c.maxZ};
    ASSERT_EQ(device_->SetViewport(&viewport), D3D_OK);
    device_->SetFVF(kFvfWorld);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, far, sizeof(WorldVertex)), D3D_OK);
    EXPECT_EQ(CountColour(Read(), 0xFFFF0000u), static_cast<int>(kWidth * kHeight));

    ASSERT_EQ(device_->SetViewport(&whole), D3D_OK);
    device_->SetRenderState(D3DRS_ZWRITEENABLE, 0);
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    Rect(0, 0, kWidth, kHeight, 0xFF00FF00u, c.stored - 1e-4f);
    EXPECT_EQ(CountColour(Read(), 0xFF00FF00u), static_cast<int>(kWidth * kHeight));
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATER);
    Rect(0, 0, kWidth, kHeight, 0xFF0000FFu, c.stored + 1e-4f);
    EXPECT_EQ(CountColour(Read(), 0xFF0000FFu), static_cast<int>(kWidth * kHeight));
  }
}

TEST_F(PipelineTest, WireframeDrawsEdgesOnly) {
  DiffuseOnly();
  device_->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
  Clear(0xFF000000u);
  Rect(20, 20, 80, 80, 0xFFFFFFFFu);
  const std::vector<uint32_t> pixels = Read();
  EXPECT_EQ(CountOff(pixels, 30, 35, 45, 45, 0xFF000000u), 0);  // inside a triangle: empty
  EXPECT_GT(CountColour(pixels, 0xFFFFFFFFu), 100);             // the outline is there
  EXPECT_TRUE(Near(At(pixels, 50, 20), 0xFFFFFFFFu, 0, 0x00FFFFFF));
  device_->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
  Clear(0xFF000000u);
  Rect(20, 20, 80, 80, 0xFFFFFFFFu);
  EXPECT_EQ(CountColour(Read(), 0xFFFFFFFFu), 60 * 60);
}

// Each row draws a half-transparent source over the destination; the expected channel is
// source * sourceFactor + destination * destFactor, clamped, where the write mask lets it through.
TEST_F(PipelineTest, BlendingGivesTheComputedColours) {
  DiffuseOnly();
  const uint32_t dest = 0xFF204060u;
  const uint32_t source = 0x80C08040u;
  const float a = 128.0f / 255.0f;
  struct Case {
    uint32_t enable, op, srcBlend, destBlend, writeMask;
    float sourceFactor, destFactor;
  };
  const Case cases[] = {
      {1, D3DBLENDOP_ADD, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 0xF, a, 1 - a},
      {1, D3DBLENDOP_ADD, D3DBLEND_SRCALPHA, D3DBLEND_ONE, 0xF, a, 1},          // additive
      {1, D3DBLENDOP_REVSUBTRACT, D3DBLEND_SRCALPHA, D3DBLEND_ONE, 0xF, -a, 1}, // dest - source
      {1, D3DBLENDOP_SUBTRACT, D3DBLEND_ONE, D3DBLEND_ONE, 0xF, 1, -1},         // source - dest
      {0, D3DBLENDOP_ADD, D3DBLEND_SRCALPHA, D3DBLEND_ONE, 0xF, 1, 0},          // off: replaces
      {0, D3DBLENDOP_ADD, D3DBLEND_ONE, D3DBLEND_ZERO, 0x5, 1, 0},              // red, blue only
      {0, D3DBLENDOP_ADD, D3DBLEND_ONE, D3DBLEND_ZERO, 0xF, 1, 0},              // all again
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, c.enable);
    device_->SetRenderState(D3DRS_BLENDOP, c.op);
    device_->SetRenderState(D3DRS_SRCBLEND, c.srcBlend);
    device_->SetRenderState(D3DRS_DESTBLEND, c.destBlend);
    device_->SetRenderState(D3DRS_COLORWRITEENABLE, c.writeMask);
    int channels[3];
    for (int i = 0; i < 3; ++i) {  // red, green, blue; the mask's bits run the same way
      const int shift = 16 - 8 * i;
      const float value =
          Channel(source, shift) * c.sourceFactor + Channel(dest, shift) * c.destFactor;
      channels[i] = (c.writeMask >> i) & 1 ? static_cast<int>(std::lround(value))
                                           : Channel(dest, shift);
    }
    const uint32_t expected = Argb(255, channels[0], channels[1], channels[2]);
    EXPECT_TRUE(Near(DrawAndSample(source, dest), expected, 2, 0x00FFFFFF)) << std::hex << expected;
  }
}

TEST_F(PipelineTest, AlphaTestAgainst128KeepsWhatTheFunctionPasses) {
  DiffuseOnly();
  device_->SetRenderState(D3DRS_ALPHAREF, 128);
  struct Case {
    uint32_t enable, func, alpha;
    bool kept;
  };
  const Case cases[] = {
      {1, D3DCMP_GREATEREQUAL, 0x7F, false}, {1, D3DCMP_GREATEREQUAL, 0x80, true},
      {1, D3DCMP_GREATEREQUAL, 0xFF, true},  {1, D3DCMP_LESS, 0x7F, true},
      {1, D3DCMP_LESS, 0x80, false},         {1, D3DCMP_NEVER, 0xFF, false},
      {0, D3DCMP_NEVER, 0x00, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, c.enable);
    device_->SetRenderState(D3DRS_ALPHAFUNC, c.func);
    Clear(0xFF000000u);
    Rect(10, 10, 30, 30, (c.alpha << 24) | 0xFF0000u);
    EXPECT_EQ(CountOff(Read(), 10, 10, 30, 30, c.kept ? 0xFFFF0000u : 0xFF000000u), 0);
  }
}

TEST_F(PipelineTest, StageOperationsWithoutTexturesGiveTheComputedColours) {
  const uint32_t diffuse = 0xFF6080C0u;
  const uint32_t factor = 0x80A04020u;
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, factor);
  auto op = [&](uint32_t colorOp, uint32_t arg1, uint32_t arg2) {
    device_->SetTextureStageState(0, D3DTSS_COLOROP, colorOp);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, arg1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG2, arg2);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    return DrawAndSample(diffuse);
  };
  auto each = [&](auto f) {
    return Argb(255, f(Channel(diffuse, 16), Channel(factor, 16)),
                f(Channel(diffuse, 8), Channel(factor, 8)),
                f(Channel(diffuse, 0), Channel(factor, 0)));
  };
  auto round = [](float v) {
    return static_cast<int>(std::lround(std::fmin(255.0f, std::fmax(0.0f, v))));
  };
  const uint32_t rgb = 0x00FFFFFFu;

  EXPECT_TRUE(Near(op(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TFACTOR), diffuse, 0, rgb));
  EXPECT_TRUE(Near(op(D3DTOP_SELECTARG2, D3DTA_DIFFUSE, D3DTA_TFACTOR), factor, 0, rgb));
  EXPECT_TRUE(Near(op(D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TFACTOR),
                   each([&](int d, int f) { return round(d * f / 255.0f); }), 2, rgb));
  EXPECT_TRUE(Near(op(D3DTOP_MODULATE2X, D3DTA_DIFFUSE, D3DTA_TFACTOR),
                   each([&](int d, int f) { return round(2.0f * d * f / 255.0f); }), 2, rgb));
  EXPECT_TRUE(Near(op(D3DTOP_MODULATE4X, D3DTA_DIFFUSE, D3DTA_TFACTOR),
                   each([&](int d, int f) { return round(4.0f * d * f / 255.0f); }), 2, rgb));
  EXPECT_TRUE(Near(op(D3DTOP_ADD, D3DTA_DIFFUSE, D3DTA_TFACTOR),
                   each([&](int d, int f) { return round(static_cast<float>(d + f)); }), 2, rgb));
  EXPECT_TRUE(Near(op(D3DTOP_ADDSIGNED, D3DTA_DIFFUSE, D3DTA_TFACTOR),
                   each([&](int d, int f) { return round(d + f - 127.5f); }), 2, rgb));
  EXPECT_TRUE(Near(op(D3DTOP_ADDSMOOTH, D3DTA_DIFFUSE, D3DTA_TFACTOR),
                   each([&](int d, int f) { return round(d + f - d * f / 255.0f); }), 2, rgb));
  // The complement modifier: 1 - arg; alpha replicate: the factor's alpha in every channel.
  EXPECT_TRUE(Near(op(D3DTOP_SELECTARG1, D3DTA_TFACTOR | 0x10, D3DTA_DIFFUSE),
                   Argb(255, 255 - 0xA0, 255 - 0x40, 255 - 0x20), 1, rgb));
  EXPECT_TRUE(Near(op(D3DTOP_SELECTARG1, D3DTA_TFACTOR | 0x20, D3DTA_DIFFUSE),
                   Argb(255, 0x80, 0x80, 0x80), 1, rgb));
  // A stage reading a texture that is not there passes the current colour (here the diffuse) on.
  EXPECT_TRUE(Near(op(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_TFACTOR), diffuse, 0, rgb));
  EXPECT_TRUE(Near(op(D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE), diffuse, 0, rgb));
  EXPECT_TRUE(Near(op(D3DTOP_MODULATE2X, D3DTA_TFACTOR, D3DTA_TEXTURE), diffuse, 0, rgb));

  // Two stages: stage 1 modulates what stage 0 made with the factor; a disabled stage 1 ends
  // the chain, and a disabled stage 0 passes the diffuse colour whatever stage 1 says.
  device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device_->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
  device_->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_TFACTOR);
  device_->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
  EXPECT_TRUE(Near(op(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE),
                   each([&](int d, int f) { return round(d * f / 255.0f); }), 2, rgb));
  device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  EXPECT_TRUE(Near(op(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE), diffuse, 0, rgb));
  device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE);
  EXPECT_TRUE(Near(DrawAndSample(diffuse), diffuse, 0, rgb));

  // Alpha has its own operation: MODULATE of the diffuse and factor alphas, tested through
  // blending onto black (source alpha times source colour).
  device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
  device_->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
  const float alpha = 0xFF * 0x80 / 255.0f / 255.0f;
  EXPECT_TRUE(Near(DrawAndSample(diffuse),
                   Argb(255, round(0x60 * alpha), round(0x80 * alpha), round(0xC0 * alpha)), 2,
                   rgb));
}
TEST_F(PipelineTest, TableFogBlendsTowardsTheFogColourByDepth) {
  DiffuseOnly();
  device_->SetRenderState(D3DRS_FOGENABLE, 1);
  device_->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FFu);
  SetFloatState(D3DRS_FOGSTART, 0.25f);
  SetFloatState(D3DRS_FOGEND, 1.0f);
  SetFloatState(D3DRS_FOGDENSITY, 2.0f);
  // With an identity projection the fog distance is the depth; f is the colour's share: linear
  // (end - depth) / (end - start), or e^-(density depth).
  const struct {
    uint32_t enable, mode;
    float z;
    double f;
  } cases[] = {{1, D3DFOG_LINEAR, 0.625f, 0.5}, {1, D3DFOG_EXP, 0.5f, std::exp(-1.0)},
               {0, D3DFOG_EXP, 0.5f, 1.0}};
  for (const auto& c : cases) {
    device_->SetRenderState(D3DRS_FOGENABLE, c.enable);
    device_->SetRenderState(D3DRS_FOGTABLEMODE, c.mode);
    Clear(0xFF000000u);
    Rect(40, 30, 60, 50, 0xFFFF0000u, c.z);
    const uint32_t expected = Argb(255, std::lround(255 * c.f), 0, std::lround(255 * (1 - c.f)));
    EXPECT_TRUE(Near(At(Read(), 50, 40), expected, 2, 0x00FFFFFF)) << c.mode << " " << c.z;
  }

  // Vertex fog: computed per vertex from the distance along the view axis (eye z).
  device_->SetRenderState(D3DRS_FOGENABLE, 1);
  device_->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
  device_->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
  device_->SetRenderState(D3DRS_LIGHTING, 0);
  const WorldVertex square[4] = {{-0.5f, 0.5f, 0.625f, 0xFFFF0000u, 0, 0},
                                 {0.5f, 0.5f, 0.625f, 0xFFFF0000u, 0, 0},
                                 {-0.5f, -0.5f, 0.625f, 0xFFFF0000u, 0, 0},
                                 {0.5f, -0.5f, 0.625f, 0xFFFF0000u, 0, 0}};
  device_->SetFVF(kFvfWorld);
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, square, sizeof(WorldVertex)), D3D_OK);
  const uint32_t expected = Argb(255, 128, 0, 128);  // half way from start to end
  EXPECT_TRUE(Near(At(Read(), 64, 48), expected, 2, 0x00FFFFFF)) << std::hex << At(Read(), 64, 48);
  // EXP vertex fog: e^-(density z).
  device_->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_EXP);
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, square, sizeof(WorldVertex)), D3D_OK);
  const double f = std::exp(-2.0 * 0.625);
  EXPECT_TRUE(Near(At(Read(), 64, 48),
                   Argb(255, std::lround(255 * f), 0, std::lround(255 * (1 - f))), 2, 0x00FFFFFF))
      << std::hex << At(Read(), 64, 48);
}

TEST_F(PipelineTest, LinesAndOtherPrimitiveTypesCountTheirVertices) {
  DiffuseOnly();
  device_->SetRenderState(D3DRS_LIGHTING, 0);
  // The debug lines' vertex: XYZ | DIFFUSE, 16 bytes, through an orthographic pixel projection.
  struct LineVertex {
    float x, y, z;
    uint32_t color;
  };
  static_assert(sizeof(LineVertex) == 16);
  const D3DMATRIX pixelsToClip = PixelsToClip();
  device_->SetTransform(D3DTS_PROJECTION, &pixelsToClip);
  const LineVertex line[2] = {{10, 20, 0.5f, 0xFFFFFF00u}, {100, 20, 0.5f, 0xFFFFFF00u}};
  Clear(0xFF000000u);
  device_->SetFVF(kFvfLine);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(LineVertex)), D3D_OK);
  std::vector<uint32_t> pixels = Read();
  EXPECT_EQ(CountOff(pixels, 12, 20, 98, 21, 0xFFFFFF00u), 0);
  EXPECT_EQ(CountOff(pixels, 12, 25, 98, 30, 0xFF000000u), 0);

  // A fan of 2 triangles takes 4 vertices, a strip of 1 takes 3; a count of 0 draws nothing.
  const ScreenVertex fan[4] = {{20, 20, 0, 1, 0xFF00FF00u, 0, 0},
                               {60, 20, 0, 1, 0xFF00FF00u, 0, 0},
                               {60, 60, 0, 1, 0xFF00FF00u, 0, 0},
                               {20, 60, 0, 1, 0xFF00FF00u, 0, 0}};
  device_->SetFVF(kFvfScreen);
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, fan, sizeof(ScreenVertex)), D3D_OK);
  EXPECT_EQ(CountColour(Read(), 0xFF00FF00u), 40 * 40);
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 0, fan, sizeof(ScreenVertex)), D3D_OK);
  EXPECT_EQ(CountColour(Read(), 0xFF00FF00u), 0);
}

}  // namespace
}  // namespace pipetest

