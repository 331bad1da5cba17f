// The pipeline's bookkeeping on the real device: Direct3D's defaults at creation and after
// Reset, raw values read back, range checks, call counts, unsupported values logged once,
// vertex declarations and flexible formats, and the rules for setting them.
#include <string>
#include <utility>
#include <vector>

#include "tests/gfx/PipelineTestSupport.h"

namespace pipetest {
namespace {

uint32_t Rs(D3DDevice* device, uint32_t state) {
  uint32_t value = 0xDEADBEEFu;
  EXPECT_EQ(device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(state), &value), D3D_OK);
  return value;
}

uint32_t Tss(D3DDevice* device, uint32_t stage, uint32_t type) {
  uint32_t value = 0xDEADBEEFu;
  EXPECT_EQ(
      device->GetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(type), &value),
      D3D_OK);
  return value;
}

uint32_t Samp(D3DDevice* device, uint32_t sampler, uint32_t type) {
  uint32_t value = 0xDEADBEEFu;
  EXPECT_EQ(device->GetSamplerState(sampler, static_cast<D3DSAMPLERSTATETYPE>(type), &value),
            D3D_OK);
  return value;
}

// Direct3D 9's documented render-state defaults that are not 0, by state number; every other
// state up to D3DRS_BLENDOPALPHA (209) starts at 0, ZENABLE depending on the depth buffer.
struct RenderDefault {
  uint32_t state;
  uint32_t value;
};
constexpr uint32_t kOne = 0x3F800000u;  // 1.0f
constexpr RenderDefault kRenderDefaults[] = {
    {8, D3DFILL_SOLID}, {9, 2 /* GOURAUD */}, {14, 1}, {16, 1}, {19, D3DBLEND_ONE},
    {20, D3DBLEND_ZERO}, {22, D3DCULL_CCW}, {23, D3DCMP_LESSEQUAL}, {25, D3DCMP_ALWAYS},
    {37, kOne}, {38, kOne}, {53, 1 /* KEEP */}, {54, 1}, {55, 1}, {56, D3DCMP_ALWAYS},
    {58, 0xFFFFFFFFu}, {59, 0xFFFFFFFFu}, {60, 0xFFFFFFFFu}, {136, 1}, {137, 1}, {141, 1},
    {142, 1}, {145, 1 /* COLOR1 */}, {146, 2 /* COLOR2 */}, {154, kOne}, {155, kOne},
    {158, kOne}, {161, 1}, {162, 0xFFFFFFFFu}, {166, 0x42800000u /* 64.0f */}, {168, 0xFu},
    {171, D3DBLENDOP_ADD}, {172, 3 /* CUBIC */}, {173, 1 /* LINEAR */}, {178, kOne},
    {179, kOne}, {182, kOne}, {186, 1}, {187, 1}, {188, 1}, {189, D3DCMP_ALWAYS}, {190, 0xFu},
    {191, 0xFu}, {192, 0xFu}, {193, 0xFFFFFFFFu}, {207, D3DBLEND_ONE}, {208, D3DBLEND_ZERO},
    {209, D3DBLENDOP_ADD},
};

// Direct3D 9's documented defaults: every render state, and the stage and sampler states the
// engine touches.
void ExpectDirect3DDefaults(D3DDevice* device, uint32_t zEnable) {
  for (uint32_t state = 8; state <= 209; ++state) {
    uint32_t expected = 0;
    for (const RenderDefault& entry : kRenderDefaults) {
      if (entry.state == state) expected = entry.value;
    }
    EXPECT_EQ(Rs(device, state), expected) << "render state " << state;
  }
  EXPECT_EQ(Rs(device, D3DRS_ZENABLE), zEnable);
  EXPECT_EQ(Tss(device, 0, D3DTSS_COLOROP), uint32_t{D3DTOP_MODULATE});
  EXPECT_EQ(Tss(device, 0, D3DTSS_ALPHAOP), uint32_t{D3DTOP_SELECTARG1});
  EXPECT_EQ(Tss(device, 1, D3DTSS_COLOROP), uint32_t{D3DTOP_DISABLE});
  EXPECT_EQ(Tss(device, 1, D3DTSS_ALPHAOP), uint32_t{D3DTOP_DISABLE});
  for (uint32_t stage = 0; stage < 8; ++stage) {
    EXPECT_EQ(Tss(device, stage, D3DTSS_COLORARG1), D3DTA_TEXTURE);
    EXPECT_EQ(Tss(device, stage, D3DTSS_COLORARG2), D3DTA_CURRENT);
    EXPECT_EQ(Tss(device, stage, D3DTSS_TEXCOORDINDEX), stage);
    EXPECT_EQ(Tss(device, stage, D3DTSS_TEXTURETRANSFORMFLAGS), D3DTTFF_DISABLE);
  }
  for (uint32_t sampler = 0; sampler < 5; ++sampler) {
    EXPECT_EQ(Samp(device, sampler, D3DSAMP_ADDRESSU), uint32_t{D3DTADDRESS_WRAP});
    EXPECT_EQ(Samp(device, sampler, D3DSAMP_ADDRESSV), uint32_t{D3DTADDRESS_WRAP});
    EXPECT_EQ(Samp(device, sampler, D3DSAMP_MINFILTER), uint32_t{D3DTEXF_POINT});
    EXPECT_EQ(Samp(device, sampler, D3DSAMP_MAGFILTER), uint32_t{D3DTEXF_POINT});
    EXPECT_EQ(Samp(device, sampler, D3DSAMP_MIPFILTER), uint32_t{D3DTEXF_NONE});
    EXPECT_EQ(Samp(device, sampler, D3DSAMP_MIPMAPLODBIAS), 0u);
  }
  D3DMATRIX m{};
  for (uint32_t type : {uint32_t{D3DTS_WORLD}, uint32_t{D3DTS_VIEW}, uint32_t{D3DTS_PROJECTION},
                        uint32_t{D3DTS_TEXTURE0}, uint32_t{D3DTS_TEXTURE1}}) {
    ASSERT_EQ(device->GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(type), &m), D3D_OK);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m.m[i], (i % 5 == 0) ? 1.0f : 0.0f) << type;
  }
}

TEST_F(PipelineTest, DefaultsAreDirect3DsAtCreationAndAgainAfterReset) {
  ExpectDirect3DDefaults(device_, D3DZB_TRUE);

  device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80808080u);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
  device_->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
  device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
  D3DMATRIX moved{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1}};
  device_->SetTransform(D3DTS_VIEW, &moved);
  ASSERT_EQ(device_->EndScene(), D3D_OK);

  D3DPRESENT_PARAMETERS params = Params(kWidth, kHeight);
  ASSERT_EQ(device_->Reset(&params), D3D_OK);
  ExpectDirect3DDefaults(device_, D3DZB_TRUE);

  // Without a depth buffer Direct3D starts with depth testing off.
  params = Params(kWidth, kHeight);
  params.EnableAutoDepthStencil = 0;
  ASSERT_EQ(device_->Reset(&params), D3D_OK);
  ExpectDirect3DDefaults(device_, D3DZB_FALSE);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
}

TEST_F(PipelineTest, StatesReadBackRawAndRangesAreChecked) {
  // Floats are kept as their bit patterns; any value is stored as given.
  const float start = 12.5f;
  uint32_t bits;
  std::memcpy(&bits, &start, 4);
  EXPECT_EQ(device_->SetRenderState(D3DRS_FOGSTART, bits), D3D_OK);
  EXPECT_EQ(Rs(device_, D3DRS_FOGSTART), bits);
  EXPECT_EQ(device_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(208), 77), D3D_OK);
  EXPECT_EQ(Rs(device_, 208), 77u);
  EXPECT_EQ(device_->SetTextureStageState(7, D3DTSS_CONSTANT, 0x12345678u), D3D_OK);
  EXPECT_EQ(Tss(device_, 7, D3DTSS_CONSTANT), 0x12345678u);
  EXPECT_EQ(device_->SetSamplerState(4, D3DSAMP_MAXMIPLEVEL, 3), D3D_OK);
  EXPECT_EQ(Samp(device_, 4, D3DSAMP_MAXMIPLEVEL), 3u);

  uint32_t value = 0;
  EXPECT_EQ(device_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(210), 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->GetRenderState(static_cast<D3DRENDERSTATETYPE>(210), &value),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->GetRenderState(D3DRS_ZENABLE, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetTextureStageState(8, D3DTSS_COLOROP, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(33), 1),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetSamplerState(5, D3DSAMP_MINFILTER, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(14), 1),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetTexture(8, nullptr), D3DERR_INVALIDCALL);

  D3DMATRIX m{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
  EXPECT_EQ(device_->SetTransform(D3DTS_TEXTURE1, &m), D3D_OK);
  D3DMATRIX back{};
  EXPECT_EQ(device_->GetTransform(D3DTS_TEXTURE1, &back), D3D_OK);
  EXPECT_EQ(std::memcmp(&m, &back, sizeof m), 0);
  EXPECT_EQ(device_->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(4), &m), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(257), &m), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetTransform(D3DTS_WORLD, nullptr), D3DERR_INVALIDCALL);

  // 256 constant registers: the last one can be set, one past it cannot.
  const float data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(device_->SetVertexShaderConstantF(255, data, 1), D3D_OK);
  EXPECT_EQ(device_->SetVertexShaderConstantF(255, data, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetVertexShaderConstantF(256, data, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetVertexShaderConstantF(0xFFFFFFFFu, data, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetVertexShaderConstantF(0, nullptr, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetStreamSource(3, nullptr, 0, 0), D3DERR_INVALIDCALL);
}

TEST_F(PipelineTest, EveryCallIsCountedEvenWhenTheValueDoesNotChange) {
  device_->ResetCallCounts();
  for (int i = 0; i < 3; ++i) device_->SetRenderState(D3DRS_ZENABLE, 1);
  device_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(300), 1);  // refused, still a call
  for (int i = 0; i < 2; ++i) device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  for (int i = 0; i < 4; ++i) device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
  device_->SetTexture(0, nullptr);
  device_->SetTexture(0, nullptr);
  D3DMATRIX m{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
  device_->SetTransform(D3DTS_WORLD, &m);
  device_->SetVertexShader(nullptr);
  device_->SetVertexDeclaration(nullptr);
  device_->SetFVF(kFvfScreen);
  device_->SetFVF(kFvfScreen);
  const float c[4] = {};
  device_->SetVertexShaderConstantF(0, c, 1);
  device_->SetStreamSource(0, nullptr, 0, 0);
  device_->SetIndices(nullptr);
  device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 0);
  device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 0, nullptr, 28);
  device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 0, 0, 0);
  device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1);  // refused: no buffers

  const std::pair<DeviceCall, uint32_t> counts[] = {
      {DeviceCall::SetRenderState, 4},  {DeviceCall::SetTextureStageState, 2},
      {DeviceCall::SetSamplerState, 4}, {DeviceCall::SetTexture, 2},
      {DeviceCall::SetTransform, 1},    {DeviceCall::SetVertexShader, 1},
      {DeviceCall::SetVertexDeclaration, 1}, {DeviceCall::SetFVF, 2},
      {DeviceCall::SetVertexShaderConstantF, 1}, {DeviceCall::SetStreamSource, 1},
      {DeviceCall::SetIndices, 1},      {DeviceCall::DrawPrimitive, 1},
      {DeviceCall::DrawPrimitiveUP, 1}, {DeviceCall::DrawIndexedPrimitive, 2}};
  for (const auto& [call, count] : counts) {
    EXPECT_EQ(device_->GetCallCount(call), count) << static_cast<uint32_t>(call);
  }
  // Reading states back is not a counted operation.
  uint32_t value;
  device_->GetRenderState(D3DRS_ZENABLE, &value);
  EXPECT_EQ(device_->GetCallCount(DeviceCall::SetRenderState), 4u);
}

// Blend factors reading the destination's alpha on targets that have none read 1. Each target
// is cleared green with alpha 0 and a red quad blended in: only a target that keeps alpha sees 0.
TEST_F(PipelineTest, DestinationAlphaOfATargetWithoutAlphaIsOne) {
  struct Case {
    D3DFORMAT target;  // D3DFMT_UNKNOWN: the back buffer (X8R8G8B8)
    uint32_t srcBlend, destBlend;
    uint32_t expected;
  };
  constexpr uint32_t kSrcAlphaSat = 11;
  const Case cases[] = {
      {D3DFMT_UNKNOWN, D3DBLEND_DESTALPHA, D3DBLEND_INVDESTALPHA, 0xFFFF0000u},
      {D3DFMT_UNKNOWN, D3DBLEND_INVDESTALPHA, D3DBLEND_DESTALPHA, 0xFF00FF00u},
      {D3DFMT_X8R8G8B8, D3DBLEND_DESTALPHA, D3DBLEND_INVDESTALPHA, 0xFFFF0000u},
      {D3DFMT_X8R8G8B8, kSrcAlphaSat, D3DBLEND_ZERO, 0xFF000000u},  // min(As, 1 - Ad) = 0
      {D3DFMT_R5G6B5, D3DBLEND_INVDESTALPHA, D3DBLEND_DESTALPHA, 0xFF00FF00u},
      {D3DFMT_A8R8G8B8, D3DBLEND_DESTALPHA, D3DBLEND_INVDESTALPHA, 0xFF00FF00u},
  };
  DiffuseOnly();
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  D3DSurface* back = nullptr;
  ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<unsigned>(c.target));
    D3DTexture* texture = nullptr;
    D3DSurface* surface = nullptr;
    if (c.target != D3DFMT_UNKNOWN) {
      ASSERT_EQ(device_->CreateTexture(kWidth, kHeight, 1, D3DUSAGE_RENDERTARGET, c.target,
                                       D3DPOOL_DEFAULT, &texture),
                D3D_OK);
      ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), D3D_OK);
      ASSERT_EQ(device_->SetRenderTarget(0, surface), D3D_OK);
    }
    device_->SetRenderState(D3DRS_SRCBLEND, c.srcBlend);
    device_->SetRenderState(D3DRS_DESTBLEND, c.destBlend);
    DrawAndSample(0xFFFF0000u, 0x0000FF00u);
    std::vector<uint32_t> pixels = Read();
    if (texture) {
      ASSERT_EQ(TestHooks::ReadTexture(device_, texture, pixels.data()), D3D_OK);
      ASSERT_EQ(device_->SetRenderTarget(0, back), D3D_OK);
      surface->Release();
      texture->Release();
    }
    EXPECT_TRUE(Near(At(pixels, 50, 40), c.expected, 2, 0x00FFFFFFu))
        << std::hex << At(pixels, 50, 40) << " expected " << c.expected;
  }
  back->Release();
}

int CountLines(const std::string& text, const std::string& needle) {
  int count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

TEST_F(PipelineTest, UnsupportedValuesAreLoggedOnceAndIgnored) {
  DiffuseOnly();
  ::testing::internal::CaptureStderr();
  device_->SetRenderState(D3DRS_SHADEMODE, 1);  // flat shading
  device_->SetRenderState(D3DRS_SHADEMODE, 2);
  device_->SetRenderState(D3DRS_SHADEMODE, 1);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, 22);  // bump mapping
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, 22);
  device_->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  // Flexible formats other than position, normal, diffuse and one texture coordinate.
  const uint32_t specular = D3DFVF_XYZ | D3DFVF_DIFFUSE | 0x80;
  EXPECT_EQ(device_->SetFVF(specular), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetFVF(specular), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetFVF(D3DFVF_DIFFUSE), D3DERR_INVALIDCALL);  // no position
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(CountLines(log, "D3DRS_SHADEMODE 1 is not supported"), 1) << log;
  EXPECT_EQ(CountLines(log, "D3DTSS_COLOROP 22 is not supported"), 1) << log;
  EXPECT_EQ(CountLines(log, "(FVF) 194 is not supported"), 1) << log;
  EXPECT_EQ(CountLines(log, "a colour operation on texture stage 2 is not supported"), 1) << log;
  EXPECT_EQ(CountLines(log, "D3DRS_SRCBLEND"), 0) << log;
  // The values are still stored, and drawing goes on with what can be done.
  EXPECT_EQ(Rs(device_, D3DRS_SHADEMODE), 1u);
  EXPECT_EQ(Tss(device_, 0, D3DTSS_COLOROP), 22u);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  EXPECT_TRUE(Near(DrawAndSample(0xFF336699u), 0xFF336699u, 0, 0x00FFFFFF));

  // The formats the engine uses are all accepted.
  EXPECT_EQ(device_->SetFVF(kFvfWorld), D3D_OK);
  EXPECT_EQ(device_->SetFVF(kFvfScreen), D3D_OK);
  EXPECT_EQ(device_->SetFVF(kFvfLine), D3D_OK);

  // Fixed-function lighting is not done: with normals and LIGHTING on (Direct3D's default) the
  // vertex colours are used as they are, and that is said once.
  struct Lit {
    float x, y, z, nx, ny, nz;
    uint32_t color;
  };
  const Lit triangle[3] = {{-0.5f, 0.5f, 0.5f, 0, 0, -1, 0xFF00FF00u},
                           {0.5f, 0.5f, 0.5f, 0, 0, -1, 0xFF00FF00u},
                           {-0.5f, -0.5f, 0.5f, 0, 0, -1, 0xFF00FF00u}};
  ASSERT_EQ(device_->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE), D3D_OK);
  ::testing::internal::CaptureStderr();
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(Lit)), D3D_OK);
  device_->SetRenderState(D3DRS_SPECULARENABLE, 1);  // a new program, the same complaint
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(Lit)), D3D_OK);
  EXPECT_EQ(CountLines(::testing::internal::GetCapturedStderr(), "fixed-function lighting"), 1);
  EXPECT_TRUE(Near(At(Read(), 50, 30), 0xFF00FF00u, 0, 0x00FFFFFF));
}

// An element list with its end marker.
std::vector<D3DVERTEXELEMENT9> Decl(std::vector<D3DVERTEXELEMENT9> elements) {
  elements.push_back(D3DDECL_END());
  return elements;
}

D3DVERTEXELEMENT9 El(uint16_t stream, uint16_t offset, uint8_t type, uint8_t usage,
                     uint8_t index = 0, uint8_t method = 0) {
  return {stream, offset, type, method, usage, index};
}

TEST_F(PipelineTest, DeclarationsAreCheckedWhenMade) {
  // The engine's six declarations.
  const auto meshOn = [](uint16_t stream, uint8_t index) {
    return std::vector<D3DVERTEXELEMENT9>{
        El(stream, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, index),
        El(stream, 12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, index),
        El(stream, 24, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, index),
        El(stream, 28, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, index)};
  };
  std::vector<D3DVERTEXELEMENT9> twoMeshes = meshOn(0, 0), skinned = meshOn(0, 0);
  const std::vector<D3DVERTEXELEMENT9> second = meshOn(1, 1);
  twoMeshes.insert(twoMeshes.end(), second.begin(), second.end());
  skinned.push_back(El(2, 0, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_BLENDINDICES));
  skinned.push_back(El(2, 4, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_BLENDWEIGHT));
  const std::vector<D3DVERTEXELEMENT9> mesh = Decl(meshOn(0, 0));
  const std::vector<D3DVERTEXELEMENT9> engine[] = {
      mesh, Decl(twoMeshes), Decl(skinned),
      Decl({El(0, 0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT),
            El(0, 16, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR),
            El(0, 20, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD)}),
      Decl({El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION),
            El(0, 12, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR),
            El(0, 16, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD)}),
      Decl({El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION),
            El(0, 12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL),
            El(0, 24, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_TEXCOORD),
            El(0, 36, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 1)})};
  for (const std::vector<D3DVERTEXELEMENT9>& elements : engine) {
    D3DVertexDeclaration* declaration = nullptr;
    EXPECT_EQ(device_->CreateVertexDeclaration(elements.data(), &declaration), D3D_OK);
    ASSERT_NE(declaration, nullptr);
    EXPECT_EQ(device_->SetVertexDeclaration(declaration), D3D_OK);
    declaration->Release();  // the device still holds it
  }
  device_->SetVertexDeclaration(nullptr);

  ::testing::internal::CaptureStderr();
  std::vector<D3DVERTEXELEMENT9> endless;
  for (uint16_t i = 0; i < 70; ++i) {
    // All different, so only the missing end is wrong.
    endless.push_back(El(0, static_cast<uint16_t>(4 * i), D3DDECLTYPE_FLOAT1,
                         static_cast<uint8_t>(i / 16), static_cast<uint8_t>(i % 16)));
  }
  const std::vector<D3DVERTEXELEMENT9> refused[] = {
      Decl({El(0, 0, 6 /* SHORT2 */, D3DDECLUSAGE_POSITION)}),
      Decl({El(3, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION)}),
      Decl({El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION),
            El(0, 12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION)}),  // twice
      Decl({El(0, 2, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION)}),   // unaligned
      Decl({El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0, 1)}),  // a method
      Decl({El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITIONT)}),
      endless};
  for (const std::vector<D3DVERTEXELEMENT9>& elements : refused) {
    D3DVertexDeclaration* declaration = reinterpret_cast<D3DVertexDeclaration*>(1);
    EXPECT_EQ(device_->CreateVertexDeclaration(elements.data(), &declaration), D3DERR_INVALIDCALL);
    EXPECT_EQ(declaration, nullptr);
  }
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(CountLines(log, "vertex declaration refused"), 7) << log;
  EXPECT_EQ(device_->CreateVertexDeclaration(mesh.data(), nullptr), D3DERR_INVALIDCALL);
  D3DVertexDeclaration* none = nullptr;
  EXPECT_EQ(device_->CreateVertexDeclaration(nullptr, &none), D3DERR_INVALIDCALL);
}

TEST_F(PipelineTest, FormatAndDeclarationReplaceEachOther) {
  DiffuseOnly();
  device_->SetRenderState(D3DRS_LIGHTING, 0);
  const D3DVERTEXELEMENT9 screen[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0},
                                      {0, 16, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                      {0, 20, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                      D3DDECL_END()};
  D3DVertexDeclaration* declaration = nullptr;
  ASSERT_EQ(device_->CreateVertexDeclaration(screen, &declaration), D3D_OK);
  const ScreenVertex quad[4] = {{20, 30, 0, 1, 0xFF00FF00u, 0, 0},
                                {30, 30, 0, 1, 0xFF00FF00u, 0, 0},
                                {20, 40, 0, 1, 0xFF00FF00u, 0, 0},
                                {30, 40, 0, 1, 0xFF00FF00u, 0, 0}};
  // The world vertices are 24 bytes of XYZ, colour, uv: in world space with an identity
  // projection, (0.5, 0.5) is the middle of the lower right quarter.
  const WorldVertex world[4] = {{0.25f, -0.25f, 0.5f, 0xFFFF0000u, 0, 0},
                                {0.75f, -0.25f, 0.5f, 0xFFFF0000u, 0, 0},
                                {0.25f, -0.75f, 0.5f, 0xFFFF0000u, 0, 0},
                                {0.75f, -0.75f, 0.5f, 0xFFFF0000u, 0, 0}};

  // Declaration, then a format: the format is what draws.
  Clear(0xFF000000u);
  ASSERT_EQ(device_->SetVertexDeclaration(declaration), D3D_OK);
  ASSERT_EQ(device_->SetFVF(kFvfWorld), D3D_OK);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, world, sizeof(WorldVertex)), D3D_OK);
  std::vector<uint32_t> pixels = Read();
  EXPECT_EQ(CountOff(pixels, 82, 62, 110, 82, 0xFFFF0000u), 0);

  // A format of 0 changes nothing; a declaration replaces the format.
  ASSERT_EQ(device_->SetFVF(0), D3D_OK);
  ASSERT_EQ(device_->SetVertexDeclaration(declaration), D3D_OK);
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex)), D3D_OK);
  pixels = Read();
  EXPECT_EQ(CountColour(pixels, 0xFF00FF00u), 100);
  ASSERT_EQ(device_->SetFVF(0), D3D_OK);
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex)), D3D_OK);
  EXPECT_EQ(CountColour(Read(), 0xFF00FF00u), 100);

  // With neither, nothing can be drawn.
  ASSERT_EQ(device_->SetVertexDeclaration(nullptr), D3D_OK);
  EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex)),
            D3DERR_INVALIDCALL);
  declaration->Release();

  // Fixed-function vertices without a colour are white.
  struct Bare {
    float x, y, z, rhw;
  };
  const Bare bare[4] = {{20, 30, 0, 1}, {30, 30, 0, 1}, {20, 40, 0, 1}, {30, 40, 0, 1}};
  ASSERT_EQ(device_->SetFVF(D3DFVF_XYZRHW), D3D_OK);
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, bare, sizeof(Bare)), D3D_OK);
  EXPECT_EQ(CountColour(Read(), 0xFFFFFFFFu), 100);
}

}  // namespace
}  // namespace pipetest
