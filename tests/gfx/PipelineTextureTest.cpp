// Textured drawing on the real device: stage operations with textures, sampler filters and
// address modes, projected and transformed texture coordinates, the texture references the
// device holds, and drawing into a texture render target (orientation, pixels, culling).
#include "tests/gfx/PipelineTestSupport.h"

namespace pipetest {
namespace {

using gfxtest::Ref;

class PipelineTextureTest : public PipelineTest {
 protected:
  void TearDown() override {
    device_->SetTexture(0, nullptr);
    device_->SetTexture(1, nullptr);
    for (D3DTexture* texture : textures_) texture->Release();
    PipelineTest::TearDown();
  }

  // A managed A8R8G8B8 texture with these texels, rows top first; released by the fixture.
  D3DTexture* MakeTexture(uint32_t width, uint32_t height, const std::vector<uint32_t>& texels) {
    D3DTexture* texture = nullptr;
    EXPECT_EQ(
        device_->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture),
        D3D_OK);
    if (!texture) return nullptr;
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (uint32_t y = 0; y < height; ++y) {
      std::memcpy(static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch,
                  &texels[static_cast<size_t>(y) * width], width * 4);
    }
    EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
    textures_.push_back(texture);
    return texture;
  }

  void Stage(uint32_t stage, uint32_t colorOp, uint32_t colorArg1, uint32_t colorArg2,
             uint32_t alphaOp, uint32_t alphaArg1, uint32_t alphaArg2) {
    device_->SetTextureStageState(stage, D3DTSS_COLOROP, colorOp);
    device_->SetTextureStageState(stage, D3DTSS_COLORARG1, colorArg1);
    device_->SetTextureStageState(stage, D3DTSS_COLORARG2, colorArg2);
    device_->SetTextureStageState(stage, D3DTSS_ALPHAOP, alphaOp);
    device_->SetTextureStageState(stage, D3DTSS_ALPHAARG1, alphaArg1);
    device_->SetTextureStageState(stage, D3DTSS_ALPHAARG2, alphaArg2);
  }

  std::vector<D3DTexture*> textures_;
};

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kBlue = 0xFF0000FFu;
constexpr uint32_t kHalfWhite = 0x80FFFFFFu;

// The four quadrants of a 40 x 40 rectangle at (20, 20) drawn with a 2 x 2 texture, away from
// the seams.
void ExpectQuadrants(const std::vector<uint32_t>& pixels, const uint32_t expected[4],
                     int tolerance) {
  const int x0[4] = {22, 42, 22, 42};
  const int y0[4] = {22, 22, 42, 42};
  for (int q = 0; q < 4; ++q) {
    EXPECT_EQ(PipelineTest::CountOff(pixels, x0[q], y0[q], x0[q] + 16, y0[q] + 16, expected[q],
                                     tolerance),
              0)
        << "quadrant " << q << " expected " << std::hex << expected[q] << " got "
        << PipelineTest::At(pixels, x0[q] + 8, y0[q] + 8);
  }
}

// Stage 0 combines the 2 x 2 texture with the diffuse colour; stage 1, where on, ADDSMOOTHs a
// 1 x 1 grey texture onto that (without one, it passes stage 0's result on).
TEST_F(PipelineTextureTest, StageOperationsCombineTheTextureAsComputed) {
  D3DTexture* texture = MakeTexture(2, 2, {kRed, kGreen, kBlue, kHalfWhite});
  D3DTexture* grey = MakeTexture(1, 1, {0xFF404040u});
  ASSERT_TRUE(texture && grey);
  ASSERT_EQ(device_->SetTexture(0, texture), D3D_OK);
  const int half = static_cast<int>(std::lround(255.0 * 128 / 255));
  const int quarter = static_cast<int>(std::lround(255.0 * 128 / 255 * 128 / 255));
  const int g = 0x40, s = static_cast<int>(std::lround(255 + g - 255 * g / 255.0));  // a + b - ab
  struct Case {
    const char* what;
    uint32_t colorOp, alphaOp, stage1;
    D3DTexture* texture1;
    bool blend;  // SRCALPHA / INVSRCALPHA onto black
    uint32_t diffuse;
    uint32_t expected[4];
    int tolerance;
  };
  const Case cases[] = {
      {"the texture alone", D3DTOP_SELECTARG1, D3DTOP_SELECTARG1, D3DTOP_DISABLE, nullptr, false,
       0xFF808080u, {kRed, kGreen, kBlue, 0xFFFFFFFFu}, 0},
      {"MODULATE with grey halves", D3DTOP_MODULATE, D3DTOP_MODULATE, D3DTOP_DISABLE, nullptr,
       false, 0xFF808080u,
       {Argb(255, half, 0, 0), Argb(255, 0, half, 0), Argb(255, 0, 0, half),
        Argb(255, half, half, half)}, 2},
      {"MODULATE2X (the engine's) gives the texel back", D3DTOP_MODULATE2X, D3DTOP_MODULATE,
       D3DTOP_DISABLE, nullptr, false, 0xFF808080u, {kRed, kGreen, kBlue, 0xFFFFFFFFu}, 2},
      {"alpha is the texel's times the diffuse's", D3DTOP_MODULATE2X, D3DTOP_MODULATE,
       D3DTOP_DISABLE, nullptr, true, 0xFF808080u,
       {kRed, kGreen, kBlue, Argb(255, 128, 128, 128)}, 2},
      {"half the diffuse alpha as well", D3DTOP_MODULATE2X, D3DTOP_MODULATE, D3DTOP_DISABLE,
       nullptr, true, 0x80808080u,
       {Argb(255, half, 0, 0), Argb(255, 0, half, 0), Argb(255, 0, 0, half),
        Argb(255, quarter, quarter, quarter)}, 2},
      {"a second texture added smoothly", D3DTOP_SELECTARG1, D3DTOP_SELECTARG1, D3DTOP_ADDSMOOTH,
       grey, false, 0xFF808080u,
       {Argb(255, s, g, g), Argb(255, g, s, g), Argb(255, g, g, s), Argb(255, s, s, s)}, 2},
      {"stage 1 without a texture passes the current colour on", D3DTOP_SELECTARG1,
       D3DTOP_SELECTARG1, D3DTOP_ADDSMOOTH, nullptr, false, 0xFF808080u,
       {kRed, kGreen, kBlue, 0xFFFFFFFFu}, 0},
  };
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  device_->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Stage(0, c.colorOp, D3DTA_TEXTURE, D3DTA_DIFFUSE, c.alphaOp, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    Stage(1, c.stage1, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_CURRENT, 0);
    ASSERT_EQ(device_->SetTexture(1, c.texture1), D3D_OK);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, c.blend);
    Clear(0xFF000000u);
    Rect(20, 20, 60, 60, c.diffuse);
    ExpectQuadrants(Read(), c.expected, c.tolerance);
  }
}

// Without a texture, an operation that reads D3DTA_TEXTURE is SELECTARG1 of CURRENT instead,
// colour and alpha each on its own. Seen through SRCALPHA blending onto blue and an alpha test
// that keeps 128 and up.
TEST_F(PipelineTextureTest, AStageWithoutATextureShowsTheCurrentColourAndAlpha) {
  constexpr uint32_t kFactor = 0xA0804020u;
  struct Case {
    const char* what;
    uint32_t colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2;
    uint32_t stage1;  // stage 1's colour operation on TEXTURE and CURRENT
    uint32_t diffuse;
    int red, green, blue, alpha;  // what leaves the stages
  };
  const Case cases[] = {
      {"Direct3D's defaults", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1,
       D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_DISABLE, 0x80FF8040u, 0xFF, 0x80, 0x40, 0x80},
      {"its alpha fails the test", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1,
       D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_DISABLE, 0x7FFF8040u, 0xFF, 0x80, 0x40, 0x7F},
      {"SELECTARG1 of the texture", D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_TFACTOR,
       D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_TFACTOR, D3DTOP_DISABLE, 0xC0102030u, 0x10, 0x20,
       0x30, 0xC0},
      {"the engine's MODULATE2X does not double", D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE,
       D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_DISABLE, 0xFF402010u, 0x40, 0x20, 0x10,
       0xFF},
      {"the texture as the second alpha argument", D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TFACTOR,
       D3DTOP_SELECTARG2, D3DTA_TFACTOR, D3DTA_TEXTURE, D3DTOP_DISABLE, 0x90204060u, 0x20, 0x40,
       0x60, 0x90},
      {"an alpha operation without the texture stays", D3DTOP_MODULATE, D3DTA_TEXTURE,
       D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_DIFFUSE, D3DTOP_DISABLE, 0x80406080u,
       0x40, 0x60, 0x80, 0xA0},
      {"stage 1's CURRENT is stage 0's result", D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TFACTOR,
       D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TFACTOR, D3DTOP_ADD, 0xFF80C0FFu, 0x80 * 0x80 / 255,
       0xC0 * 0x40 / 255, 0xFF * 0x20 / 255, 0xFF},
  };
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, kFactor);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  device_->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
  device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
  device_->SetRenderState(D3DRS_ALPHAREF, 0x80);
  for (const Case& c : cases) {
    Stage(0, c.colorOp, c.colorArg1, c.colorArg2, c.alphaOp, c.alphaArg1, c.alphaArg2);
    Stage(1, c.stage1, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_CURRENT, 0);
    auto over = [&](int source, int dest) {
      return static_cast<int>(std::lround((source * c.alpha + dest * (255 - c.alpha)) / 255.0));
    };
    const uint32_t expected =
        c.alpha < 0x80 ? kBlue : Argb(255, over(c.red, 0), over(c.green, 0), over(c.blue, 0xFF));
    const uint32_t got = DrawAndSample(c.diffuse, kBlue);
    EXPECT_TRUE(Near(got, expected, 2, 0x00FFFFFFu))
        << c.what << ": " << std::hex << got << " expected " << expected;
  }
}

// Untextured quads with the engine's stage 0 (MODULATE2X and MODULATE of TEXTURE and DIFFUSE)
// blended over a cleared target: the source is the vertex colour and alpha; a target without
// alpha reads its destination alpha as 1.
TEST_F(PipelineTextureTest, UntexturedQuadsBlendTheirVertexColourOnEveryTarget) {
  constexpr uint32_t kCleared = 0x40204060u;
  constexpr uint32_t kDiffuse = 0x80C08040u;
  Stage(0, D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_MODULATE, D3DTA_TEXTURE,
        D3DTA_DIFFUSE);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  Ref<D3DSurface> back;
  ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
  struct Target {
    D3DFORMAT format;  // D3DFMT_UNKNOWN: the back buffer (X8R8G8B8)
    int destAlpha;
  };
  const Target targets[] = {
      {D3DFMT_UNKNOWN, 0xFF}, {D3DFMT_X8R8G8B8, 0xFF}, {D3DFMT_A8R8G8B8, Channel(kCleared, 24)}};
  for (const Target& t : targets) {
    Ref<D3DTexture> texture;
    Ref<D3DSurface> surface;
    if (t.format != D3DFMT_UNKNOWN) {
      ASSERT_EQ(device_->CreateTexture(64, 64, 1, D3DUSAGE_RENDERTARGET, t.format, D3DPOOL_DEFAULT,
                                       &texture),
                D3D_OK);
      ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), D3D_OK);
    }
    D3DSurface* drawn = surface;
    ASSERT_EQ(device_->SetRenderTarget(0, drawn ? drawn : back), D3D_OK);
    for (const bool dest : {false, true}) {
      SCOPED_TRACE(testing::Message()
                   << "format " << t.format << (dest ? " DESTALPHA" : " SRCALPHA"));
      device_->SetRenderState(D3DRS_SRCBLEND, dest ? D3DBLEND_DESTALPHA : D3DBLEND_SRCALPHA);
      device_->SetRenderState(D3DRS_DESTBLEND, dest ? D3DBLEND_INVDESTALPHA : D3DBLEND_INVSRCALPHA);
      const int f = dest ? t.destAlpha : Channel(kDiffuse, 24);
      auto blend = [&](int shift) {
        return static_cast<int>(std::lround(
            (Channel(kDiffuse, shift) * f + Channel(kCleared, shift) * (255 - f)) / 255.0));
      };
      ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, kCleared, 1.0f, 0), D3D_OK);
      ASSERT_EQ(Rect(8, 8, 56, 56, kDiffuse), D3D_OK);
      std::vector<uint32_t> pixels(64 * 64);
      int width = 64;
      if (texture) {
        ASSERT_EQ(TestHooks::ReadTexture(device_, texture, pixels.data()), D3D_OK);
      } else {
        pixels = Read();
        width = kWidth;
      }
      EXPECT_EQ(gfxtest::CountOff(pixels, width, 12, 12, 52, 52,
                                  Argb(255, blend(16), blend(8), blend(0)), 2, 0x00FFFFFFu),
                0);
    }
  }
  ASSERT_EQ(device_->SetRenderTarget(0, back), D3D_OK);
}

// A texture of another device is refused and leaves the stage without a texture, even where
// the stage's texture was sampled just before.
TEST_F(PipelineTextureTest, ATextureOfAnotherDeviceLeavesTheStageWithoutOne) {
  D3DTexture* texture = MakeTexture(1, 1, {kGreen});
  ASSERT_NE(texture, nullptr);
  Stage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, 0);
  ASSERT_EQ(device_->SetTexture(0, texture), D3D_OK);
  EXPECT_TRUE(Near(DrawAndSample(0xFF402010u), kGreen, 0, 0x00FFFFFFu));

  D3DPRESENT_PARAMETERS params = Params(kWidth, kHeight);
  Ref<D3DDevice> other;
  ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                               &params, &other),
            D3D_OK);
  Ref<D3DTexture> foreign;
  ASSERT_EQ(other->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &foreign), D3D_OK);
  EXPECT_EQ(device_->SetTexture(0, foreign), D3DERR_INVALIDCALL);
  EXPECT_TRUE(Near(DrawAndSample(0xFF402010u), 0xFF402010u, 0, 0x00FFFFFFu));
}

TEST_F(PipelineTextureTest, FiltersAndAddressModesFollowTheSamplerStates) {
  D3DTexture* texture = MakeTexture(2, 1, {0xFF000000u, 0xFFFFFFFFu});
  ASSERT_NE(texture, nullptr);
  device_->SetTexture(0, texture);
  Stage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, 0);
  auto grey = [](int v) { return Argb(255, v, v, v); };

  // Point sampling: two halves.
  Clear(0xFF808080u);
  Rect(0, 10, 64, 20, 0xFFFFFFFFu, 0, 0, 0, 1, 1);
  std::vector<uint32_t> pixels = Read();
  EXPECT_EQ(CountOff(pixels, 0, 10, 31, 20, grey(0), 0), 0);
  EXPECT_EQ(CountOff(pixels, 33, 10, 64, 20, grey(255), 0), 0);

  // Linear magnification, clamped: texel centres at u = 0.25 and 0.75, a ramp between.
  device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
  device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  Clear(0xFF808080u);
  Rect(0, 10, 64, 20, 0xFFFFFFFFu, 0, 0, 0, 1, 1);
  pixels = Read();
  // Pixel x samples u = x / 64 (Direct3D's centres on integers).
  for (int x : {4, 16, 24, 32, 40, 48, 60}) {
    const double u = x / 64.0;
    const double t = std::fmin(1.0, std::fmax(0.0, (u - 0.25) / 0.5));
    EXPECT_TRUE(
        Near(At(pixels, x, 15), grey(static_cast<int>(std::lround(255 * t))), 3, 0x00FFFFFF))
        << "x " << x << " " << std::hex << At(pixels, x, 15);
  }
  device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
  device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);

  // u from -1 to 2 over 60 pixels (20 per unit).
  struct Mode {
    uint32_t address;
    uint32_t expected[6];  // texel of each half-unit from u = -1
  };
  const Mode modes[] = {
      {D3DTADDRESS_WRAP, {0, 255, 0, 255, 0, 255}},
      {D3DTADDRESS_CLAMP, {0, 0, 0, 255, 255, 255}},
      {D3DTADDRESS_MIRROR, {255, 0, 0, 255, 255, 0}},
  };
  for (const Mode& mode : modes) {
    device_->SetSamplerState(0, D3DSAMP_ADDRESSU, mode.address);
    Clear(0xFF808080u);
    Rect(0, 10, 60, 20, 0xFFFFFFFFu, 0, -1, 0, 2, 1);
    pixels = Read();
    for (int part = 0; part < 6; ++part) {
      EXPECT_EQ(CountOff(pixels, part * 10 + 2, 10, part * 10 + 8, 20,
                         grey(static_cast<int>(mode.expected[part])), 0),
                0)
          << "mode " << mode.address << " part " << part;
    }
  }
}

TEST_F(PipelineTextureTest, MipLevelsFollowFilterBiasAndMaxMipLevel) {
  // An 8 x 8 texture whose levels are red, green, blue and white.
  D3DTexture* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 4, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
  textures_.push_back(texture);
  const uint32_t levelColours[4] = {kRed, kGreen, kBlue, 0xFFFFFFFFu};
  for (uint32_t level = 0; level < 4; ++level) {
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(level, &locked, nullptr, 0), D3D_OK);
    const uint32_t size = 8u >> level;
    for (uint32_t y = 0; y < size; ++y) {
      uint32_t* row =
          reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
      for (uint32_t x = 0; x < size; ++x) row[x] = levelColours[level];
    }
    ASSERT_EQ(texture->UnlockRect(level), D3D_OK);
  }
  device_->SetTexture(0, texture);
  Stage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, 0);
  auto draw = [&](float size) {
    Clear(0xFF000000u);
    Rect(40, 40, 40 + size, 40 + size, 0xFFFFFFFFu);
    return At(Read(), 40, 40);
  };
  const uint32_t rgb = 0x00FFFFFFu;
  // Without a mip filter only level 0 is used, even drawn at a quarter of its size.
  EXPECT_TRUE(Near(draw(2), kRed, 0, rgb));
  // With point mip filtering: 8 texels on 8 pixels is level 0, on 2 pixels level 2.
  device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
  EXPECT_TRUE(Near(draw(8), kRed, 0, rgb));
  EXPECT_TRUE(Near(draw(2), kBlue, 0, rgb));
  // A bias of one level.
  const float bias = 1.0f;
  uint32_t bits;
  std::memcpy(&bits, &bias, 4);
  device_->SetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, bits);
  EXPECT_TRUE(Near(draw(8), kGreen, 0, rgb));
  device_->SetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, 0);
  // MAXMIPLEVEL names the most detailed level allowed.
  device_->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 2);
  EXPECT_TRUE(Near(draw(8), kBlue, 0, rgb));
  EXPECT_TRUE(Near(draw(1), 0xFFFFFFFFu, 0, rgb));
}

TEST_F(PipelineTextureTest, ProjectedAndTransformedCoordinates) {
  D3DTexture* texture = MakeTexture(2, 2, {kRed, kGreen, kBlue, kHalfWhite});
  ASSERT_NE(texture, nullptr);
  device_->SetTexture(0, texture);
  Stage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, 0);

  // Screen vertices with a four-component texture coordinate.
  const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0},
                                        {0, 16, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                        D3DDECL_END()};
  D3DVertexDeclaration* declaration = nullptr;
  ASSERT_EQ(device_->CreateVertexDeclaration(elements, &declaration), D3D_OK);
  device_->SetVertexDeclaration(declaration);
  declaration->Release();
  struct Vertex {
    float x, y, z, rhw;
    float s, t, r, q;
  };
  // Every vertex's coordinate divided by its q (or r) is (0.75, 0.25): the green texel.
  auto quad = [](float third) {
    const float k[4] = {1, 2, 3, 4};
    const float xy[4][2] = {{20, 20}, {60, 20}, {20, 60}, {60, 60}};
    std::array<Vertex, 4> v{};
    for (int i = 0; i < 4; ++i) {
      v[i] = {xy[i][0], xy[i][1], 0, 1, 0.75f * k[i], 0.25f * k[i], third < 0 ? k[i] : third,
              third < 0 ? 9.0f : k[i]};
    }
    return v;
  };
  // PROJECTED alone divides by the fourth component, COUNT3 | PROJECTED by the third; without
  // the flag the coordinates are used as they are, and the picture is not all green.
  const struct {
    uint32_t flags;
    float third;
    bool allGreen;
  } cases[] = {{D3DTTFF_PROJECTED, 5.0f, true},
               {D3DTTFF_COUNT3 | D3DTTFF_PROJECTED, -1.0f, true},
               {D3DTTFF_DISABLE, 5.0f, false}};
  for (const auto& c : cases) {
    device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, c.flags);
    const auto v = quad(c.third);
    Clear(0xFF000000u);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v.data(), sizeof(Vertex)), D3D_OK);
    const int off = CountOff(Read(), 20, 20, 60, 60, kGreen, 0);
    EXPECT_TRUE(c.allGreen ? off == 0 : off > 100) << c.flags << ": " << off;
  }

  // A texture transform is not applied to pre-transformed vertices: the left half of the
  // texture (u 0..0.5) stays the left half, whatever the matrix.
  D3DMATRIX shift{{1, 0, 0, 0, 0, 1, 0, 0, 0.5f, 0, 1, 0, 0, 0, 0, 1}};
  device_->SetTransform(D3DTS_TEXTURE0, &shift);
  device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
  Clear(0xFF000000u);
  Rect(20, 20, 60, 60, 0xFFFFFFFFu, 0, 0, 0, 0.5f, 1);
  const uint32_t left[4] = {kRed, kRed, kBlue, kBlue};
  ExpectQuadrants(Read(), left, 0);

  // TEXCOORDINDEX picks the coordinate set: set 1 holds the real coordinates, set 0 a constant.
  device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  const D3DVERTEXELEMENT9 twoSets[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0},
                                       {0, 16, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                       {0, 24, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 1},
                                       D3DDECL_END()};
  ASSERT_EQ(device_->CreateVertexDeclaration(twoSets, &declaration), D3D_OK);
  device_->SetVertexDeclaration(declaration);
  declaration->Release();
  struct TwoSets {
    float x, y, z, rhw;
    float u0, v0, u1, v1;
  };
  const TwoSets sets[4] = {{20, 20, 0, 1, 0.75f, 0.75f, 0, 0},
                           {60, 20, 0, 1, 0.75f, 0.75f, 1, 0},
                           {20, 60, 0, 1, 0.75f, 0.75f, 0, 1},
                           {60, 60, 0, 1, 0.75f, 0.75f, 1, 1}};
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, sets, sizeof(TwoSets)), D3D_OK);
  EXPECT_EQ(CountOff(Read(), 20, 20, 60, 60, 0xFFFFFFFFu, 0), 0);
  device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 1);
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, sets, sizeof(TwoSets)), D3D_OK);
  const uint32_t plain[4] = {kRed, kGreen, kBlue, 0xFFFFFFFFu};
  ExpectQuadrants(Read(), plain, 0);
}

TEST_F(PipelineTextureTest, SetTextureHoldsAReference) {
  const int before = device_->LiveDefaultPoolResources();
  D3DTexture* target = nullptr;
  ASSERT_EQ(device_->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                   D3DPOOL_DEFAULT, &target),
            D3D_OK);
  EXPECT_EQ(device_->LiveDefaultPoolResources(), before + 1);
  ASSERT_EQ(device_->SetTexture(0, target), D3D_OK);
  EXPECT_EQ(target->Release(), 1u);  // the device's reference is left
  EXPECT_EQ(device_->LiveDefaultPoolResources(), before + 1);
  // Setting the same texture again adds nothing; unsetting lets it go.
  ASSERT_EQ(device_->SetTexture(0, target), D3D_OK);
  ASSERT_EQ(device_->SetTexture(0, nullptr), D3D_OK);
  EXPECT_EQ(device_->LiveDefaultPoolResources(), before);
}

// Where draws land in a texture target, and how it comes out when sampled, the draw and target
// tests check; here, that the flip GL needs for targets does not turn the winding round.
TEST_F(PipelineTextureTest, DrawingIntoATextureKeepsItsWinding) {
  DiffuseOnly();
  D3DTexture* target = nullptr;
  ASSERT_EQ(device_->CreateTexture(64, 64, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                   D3DPOOL_DEFAULT, &target),
            D3D_OK);
  textures_.push_back(target);
  D3DSurface* surface = nullptr;
  D3DSurface* backBuffer = nullptr;
  ASSERT_EQ(target->GetSurfaceLevel(0, &surface), D3D_OK);
  ASSERT_EQ(device_->GetRenderTarget(0, &backBuffer), D3D_OK);
  ASSERT_EQ(device_->SetRenderTarget(0, surface), D3D_OK);
  surface->Release();
  Clear(0xFF000000u);
  device_->SetFVF(kFvfScreen);
  // Culling as on the back buffer: the clockwise triangle stays, the other goes.
  const ScreenVertex clockwise[3] = {
      {10, 20, 0, 1, kRed, 0, 0}, {30, 20, 0, 1, kRed, 0, 0}, {10, 40, 0, 1, kRed, 0, 0}};
  const ScreenVertex counter[3] = {
      {40, 20, 0, 1, kBlue, 0, 0}, {40, 40, 0, 1, kBlue, 0, 0}, {60, 20, 0, 1, kBlue, 0, 0}};
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, clockwise, sizeof(ScreenVertex)),
            D3D_OK);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, counter, sizeof(ScreenVertex)), D3D_OK);
  ASSERT_EQ(device_->SetRenderTarget(0, backBuffer), D3D_OK);
  backBuffer->Release();
  std::vector<uint32_t> texels(64 * 64);
  ASSERT_EQ(TestHooks::ReadTexture(device_, target, texels.data()), D3D_OK);
  EXPECT_TRUE(Near(texels[25 * 64 + 14], kRed, 0, 0x00FFFFFF));
  EXPECT_TRUE(Near(texels[25 * 64 + 44], 0xFF000000u, 0, 0x00FFFFFF));
}

}  // namespace
}  // namespace pipetest
