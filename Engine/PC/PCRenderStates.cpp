#include "Engine/PC/PCRenderStates.h"

#include <array>
#include <cstring>

#include "Engine/Assert.h"
#include "Engine/PC/PCApp.h"

using namespace gfx;

namespace {

template <size_t N>
constexpr std::array<uint32_t, N> AllInvalid() {
  std::array<uint32_t, N> a{};
  for (uint32_t& v : a) v = RenderStateCache::kInvalid;
  return a;
}

// Unknown until the first Reset, so that nothing set before then is skipped.
constinit std::array<uint32_t, RenderStateCache::kRenderStates> s_renderStates =
    AllInvalid<RenderStateCache::kRenderStates>();
constinit std::array<uint32_t, RenderStateCache::kStages * RenderStateCache::kStageStates>
    s_stageStates = AllInvalid<RenderStateCache::kStages * RenderStateCache::kStageStates>();
constinit std::array<uint32_t, RenderStateCache::kSamplers * RenderStateCache::kSamplerStates>
    s_samplerStates = AllInvalid<RenderStateCache::kSamplers * RenderStateCache::kSamplerStates>();

D3DDevice* Device() { return GetApp().GetDisplay()->GetDevice(); }

uint32_t FloatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  return bits;
}

// The engine's default state, in the order it is applied.
enum class Kind : uint8_t { Render, Stage, Sampler };
struct Default {
  Kind kind;
  uint8_t unit;  // stage or sampler
  uint32_t state;
  uint32_t value;
};

const Default kDefaults[] = {
    {Kind::Render, 0, D3DRS_ZENABLE, D3DZB_TRUE},
    {Kind::Render, 0, D3DRS_ZWRITEENABLE, 1},
    {Kind::Render, 0, D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
    {Kind::Render, 0, D3DRS_ALPHATESTENABLE, 1},
    {Kind::Render, 0, D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL},
    {Kind::Render, 0, D3DRS_ALPHAREF, 128},
    {Kind::Render, 0, D3DRS_ALPHABLENDENABLE, 0},
    {Kind::Render, 0, D3DRS_FOGENABLE, 0},
    {Kind::Sampler, 0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR},
    {Kind::Sampler, 0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR},
    {Kind::Sampler, 0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR},
    {Kind::Sampler, 1, D3DSAMP_MINFILTER, D3DTEXF_LINEAR},
    {Kind::Sampler, 1, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR},
    {Kind::Sampler, 1, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR},
    // Texture times diffuse times two: a vertex colour of 0x80 leaves the texture as it is.
    {Kind::Stage, 0, D3DTSS_COLOROP, D3DTOP_MODULATE2X},
    {Kind::Stage, 0, D3DTSS_COLORARG1, D3DTA_TEXTURE},
    {Kind::Stage, 0, D3DTSS_COLORARG2, D3DTA_DIFFUSE},
    {Kind::Stage, 0, D3DTSS_ALPHAOP, D3DTOP_MODULATE},
    {Kind::Stage, 0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
    {Kind::Stage, 0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE},
    {Kind::Sampler, 0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP},
    {Kind::Sampler, 0, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP},
    {Kind::Sampler, 1, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP},
    {Kind::Sampler, 1, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP},
    {Kind::Stage, 1, D3DTSS_COLOROP, D3DTOP_DISABLE},
    {Kind::Stage, 1, D3DTSS_COLORARG1, D3DTA_CURRENT},
    {Kind::Stage, 1, D3DTSS_COLORARG2, D3DTA_TFACTOR},
    {Kind::Stage, 1, D3DTSS_ALPHAOP, D3DTOP_DISABLE},
    {Kind::Stage, 1, D3DTSS_ALPHAARG1, D3DTA_CURRENT},
    {Kind::Stage, 1, D3DTSS_ALPHAARG2, D3DTA_TFACTOR},
    {Kind::Render, 0, D3DRS_TEXTUREFACTOR, 0x80808080u},
    {Kind::Render, 0, D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
    {Kind::Render, 0, D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
    {Kind::Render, 0, D3DRS_BLENDOP, D3DBLENDOP_ADD},
    {Kind::Render, 0, D3DRS_LIGHTING, 0},
    {Kind::Sampler, 0, D3DSAMP_MIPMAPLODBIAS, 0},  // 0.0f
    {Kind::Render, 0, D3DRS_COLORVERTEX, 1},
};
static_assert(sizeof(kDefaults) / sizeof(kDefaults[0]) == 37, "37 default states");

}  // namespace

void RenderStateCache::SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) {
  D3DDevice* device = Device();
  if (!device) {
    AssertReport("pDevice!=NULL && \"Unable to get D3D Device!\"", __FILE__, __LINE__);
    return;
  }
  // States past the table are not shadowed; the device judges them.
  if (state >= kRenderStates) {
    device->SetRenderState(state, value);
    return;
  }
  if (s_renderStates[state] == value) return;
  s_renderStates[state] = value;
  device->SetRenderState(state, value);
}

void RenderStateCache::SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type,
                                            uint32_t value) {
  D3DDevice* device = Device();
  if (!device) return;
  if (stage >= kStages || type >= kStageStates) {
    device->SetTextureStageState(stage, type, value);
    return;
  }
  uint32_t& shadow = s_stageStates[stage * kStageStates + type];
  if (shadow == value) return;
  shadow = value;
  device->SetTextureStageState(stage, type, value);
}

void RenderStateCache::SetSamplerState(uint32_t sampler, D3DSAMPLERSTATETYPE type,
                                       uint32_t value) {
  D3DDevice* device = Device();
  if (!device) return;
  if (sampler >= kSamplers || type >= kSamplerStates) {
    device->SetSamplerState(sampler, type, value);
    return;
  }
  uint32_t& shadow = s_samplerStates[sampler * kSamplerStates + type];
  if (shadow == value) return;
  shadow = value;
  device->SetSamplerState(sampler, type, value);
}

void RenderStateCache::SetRenderStateFloat(D3DRENDERSTATETYPE state, float value) {
  SetRenderState(state, FloatBits(value));
}

void RenderStateCache::SetSamplerStateFloat(uint32_t sampler, D3DSAMPLERSTATETYPE type,
                                            float value) {
  SetSamplerState(sampler, type, FloatBits(value));
}

void RenderStateCache::Reset() {
  s_renderStates.fill(kInvalid);
  s_stageStates.fill(kInvalid);
  s_samplerStates.fill(kInvalid);
  ApplyDefaults();
}

void RenderStateCache::ApplyDefaults() {
  for (const Default& d : kDefaults) {
    switch (d.kind) {
      case Kind::Render:
        SetRenderState(static_cast<D3DRENDERSTATETYPE>(d.state), d.value);
        break;
      case Kind::Stage:
        SetTextureStageState(d.unit, static_cast<D3DTEXTURESTAGESTATETYPE>(d.state), d.value);
        break;
      case Kind::Sampler:
        SetSamplerState(d.unit, static_cast<D3DSAMPLERSTATETYPE>(d.state), d.value);
        break;
    }
  }
}

uint32_t RenderStateCache::GetRenderState(D3DRENDERSTATETYPE state) {
  return state < kRenderStates ? s_renderStates[state] : kInvalid;
}

uint32_t RenderStateCache::GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type) {
  return (stage < kStages && type < kStageStates) ? s_stageStates[stage * kStageStates + type]
                                                  : kInvalid;
}

uint32_t RenderStateCache::GetSamplerState(uint32_t sampler, D3DSAMPLERSTATETYPE type) {
  return (sampler < kSamplers && type < kSamplerStates)
             ? s_samplerStates[sampler * kSamplerStates + type]
             : kInvalid;
}
