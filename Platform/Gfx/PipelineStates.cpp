#include "Platform/Gfx/PipelineStates.h"

namespace gfx {

uint32_t FloatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

float BitsFloat(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

namespace {

constexpr D3DMATRIX kIdentity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

// Render states whose default is not 0, by their Direct3D numbers. Everything else (WRAP0..15,
// fog colour and start, stencil reference, the boolean enables that start off, the debug
// monitor token's D3DDMT_ENABLE) starts at 0.
struct RenderDefault {
  uint32_t state;
  uint32_t value;
};

const RenderDefault kRenderDefaults[] = {
    {D3DRS_FILLMODE, D3DFILL_SOLID},
    {D3DRS_SHADEMODE, 2},  // Gouraud
    {D3DRS_ZWRITEENABLE, 1},
    {D3DRS_LASTPIXEL, 1},
    {D3DRS_SRCBLEND, D3DBLEND_ONE},
    {D3DRS_DESTBLEND, D3DBLEND_ZERO},
    {D3DRS_CULLMODE, D3DCULL_CCW},
    {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
    {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
    {D3DRS_FOGEND, 0x3F800000u},      // 1.0
    {D3DRS_FOGDENSITY, 0x3F800000u},  // 1.0
    {53, 1},                          // STENCILFAIL KEEP
    {54, 1},                          // STENCILZFAIL KEEP
    {55, 1},                          // STENCILPASS KEEP
    {D3DRS_STENCILFUNC, D3DCMP_ALWAYS},
    {D3DRS_STENCILMASK, 0xFFFFFFFFu},
    {D3DRS_STENCILWRITEMASK, 0xFFFFFFFFu},
    {D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu},
    {D3DRS_CLIPPING, 1},
    {D3DRS_LIGHTING, 1},
    {D3DRS_COLORVERTEX, 1},
    {142, 1},                        // LOCALVIEWER
    {D3DRS_DIFFUSEMATERIALSOURCE, 1},   // COLOR1
    {D3DRS_SPECULARMATERIALSOURCE, 2},  // COLOR2
    {D3DRS_POINTSIZE, 0x3F800000u},
    {D3DRS_POINTSIZE_MIN, 0x3F800000u},
    {D3DRS_POINTSCALE_A, 0x3F800000u},
    {D3DRS_MULTISAMPLEANTIALIAS, 1},
    {D3DRS_MULTISAMPLEMASK, 0xFFFFFFFFu},
    {D3DRS_POINTSIZE_MAX, 0x42800000u},  // 64.0
    {D3DRS_COLORWRITEENABLE, 0xFu},
    {D3DRS_BLENDOP, D3DBLENDOP_ADD},
    {172, 3},            // POSITIONDEGREE cubic
    {173, 1},            // NORMALDEGREE linear
    {178, 0x3F800000u},  // MINTESSELLATIONLEVEL
    {179, 0x3F800000u},  // MAXTESSELLATIONLEVEL
    {182, 0x3F800000u},  // ADAPTIVETESS_Z
    {186, 1},            // CCW_STENCILFAIL KEEP
    {187, 1},            // CCW_STENCILZFAIL KEEP
    {188, 1},            // CCW_STENCILPASS KEEP
    {189, D3DCMP_ALWAYS},
    {D3DRS_COLORWRITEENABLE1, 0xFu},
    {191, 0xFu},
    {192, 0xFu},
    {D3DRS_BLENDFACTOR, 0xFFFFFFFFu},
    {D3DRS_SRCBLENDALPHA, D3DBLEND_ONE},
    {D3DRS_DESTBLENDALPHA, D3DBLEND_ZERO},
    {D3DRS_BLENDOPALPHA, D3DBLENDOP_ADD},
};

}  // namespace

void SetDirect3DDefaults(PipelineStates* states, bool autoDepthStencil) {
  for (uint32_t& value : states->render) value = 0;
  for (const RenderDefault& entry : kRenderDefaults) states->render[entry.state] = entry.value;
  states->render[D3DRS_ZENABLE] = autoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;

  for (uint32_t stage = 0; stage < kD3DMaxTextureStages; ++stage) {
    uint32_t* s = states->stage[stage];
    for (uint32_t i = 0; i < kD3DTextureStageStateCount; ++i) s[i] = 0;
    s[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    s[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    s[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    s[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    s[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    s[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    s[D3DTSS_TEXCOORDINDEX] = stage;
    s[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
    s[D3DTSS_COLORARG0] = D3DTA_CURRENT;
    s[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
    s[D3DTSS_RESULTARG] = D3DTA_CURRENT;
  }

  for (uint32_t sampler = 0; sampler < kD3DMaxSamplers; ++sampler) {
    uint32_t* s = states->sampler[sampler];
    for (uint32_t i = 0; i < kD3DSamplerStateCount; ++i) s[i] = 0;
    s[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
    s[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
    s[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
    s[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
    s[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
    s[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    s[D3DSAMP_MAXANISOTROPY] = 1;
  }

  for (D3DMATRIX& m : states->transform) m = kIdentity;
}

bool TransformSlotFor(uint32_t type, TransformSlot* slot) {
  if (type == D3DTS_WORLD) {
    *slot = TransformSlot::World;
  } else if (type == D3DTS_VIEW) {
    *slot = TransformSlot::View;
  } else if (type == D3DTS_PROJECTION) {
    *slot = TransformSlot::Projection;
  } else if (type >= D3DTS_TEXTURE0 && type < D3DTS_TEXTURE0 + 8) {
    *slot = static_cast<TransformSlot>(static_cast<uint32_t>(TransformSlot::Texture0) +
                                       (type - D3DTS_TEXTURE0));
  } else {
    return false;
  }
  return true;
}

}  // namespace gfx
