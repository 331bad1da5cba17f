#pragma once
// The pipeline state exactly as the engine set it: render, texture-stage and sampler states as
// raw Direct3D words (floats as their bit patterns) and the transforms. Nothing here is GL;
// DrawState turns it into GL when a draw needs it.

#include <cstdint>
#include <cstring>

#include "Platform/Gfx/D3DTypes.h"

namespace gfx {

// Transform slots kept: the world matrix, view, projection and the eight texture matrices.
enum class TransformSlot : uint32_t { World, View, Projection, Texture0, Count = Texture0 + 8 };

struct PipelineStates {
  uint32_t render[kD3DRenderStateCount];
  uint32_t stage[kD3DMaxTextureStages][kD3DTextureStageStateCount];
  uint32_t sampler[kD3DMaxSamplers][kD3DSamplerStateCount];
  D3DMATRIX transform[static_cast<uint32_t>(TransformSlot::Count)];

  D3DMATRIX& Transform(TransformSlot slot) { return transform[static_cast<uint32_t>(slot)]; }
  const D3DMATRIX& Transform(TransformSlot slot) const {
    return transform[static_cast<uint32_t>(slot)];
  }
  float RenderFloat(uint32_t state) const {
    float value;
    std::memcpy(&value, &render[state], sizeof value);
    return value;
  }
};

// Direct3D 9's own state at device creation and after Reset. ZENABLE depends on whether the
// presentation asked for a depth buffer.
void SetDirect3DDefaults(PipelineStates* states, bool autoDepthStencil);

// The slot a D3DTRANSFORMSTATETYPE value is kept in; false for the values the device does not
// keep (the extra world matrices of vertex blending, and anything unknown).
bool TransformSlotFor(uint32_t type, TransformSlot* slot);

uint32_t FloatBits(float value);
float BitsFloat(uint32_t bits);

}  // namespace gfx
