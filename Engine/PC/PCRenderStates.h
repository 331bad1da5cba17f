#pragma once
// A shadow copy of every render, texture-stage and sampler state the engine sets, so that the
// device is called only when a value really changes, and the engine's default state, applied
// after every device creation and reset. The per-mesh loops set the same states over and over;
// a set that matches the shadow costs one comparison.
//
// The shadow mirrors the device of the global display. 0xFFFFFFFF marks an entry unknown: the
// next set of that state always reaches the device (and a set of 0xFFFFFFFF itself never does).

#include <cstdint>

#include "Engine/PC/PCGeoObject.h"
#include "Engine/PC/PCMeshRecord.h"
#include "Platform/Gfx/D3DTypes.h"

class RenderStateCache {
 public:
  static constexpr uint32_t kInvalid = 0xFFFFFFFFu;
  // Render states up to D3DRS_DESTBLENDALPHA; the device's tables go one further.
  static constexpr uint32_t kRenderStates = gfx::D3DRS_DESTBLENDALPHA + 1;
  static constexpr uint32_t kStages = gfx::kD3DMaxTextureStages;
  static constexpr uint32_t kStageStates = gfx::kD3DTextureStageStateCount;
  static constexpr uint32_t kSamplers = gfx::kD3DMaxSamplers;
  static constexpr uint32_t kSamplerStates = gfx::kD3DSamplerStateCount;

  static void SetRenderState(gfx::D3DRENDERSTATETYPE state, uint32_t value);
  static void SetTextureStageState(uint32_t stage, gfx::D3DTEXTURESTAGESTATETYPE type,
                                   uint32_t value);
  static void SetSamplerState(uint32_t sampler, gfx::D3DSAMPLERSTATETYPE type, uint32_t value);
  // Float states are kept as their bit patterns.
  static void SetRenderStateFloat(gfx::D3DRENDERSTATETYPE state, float value);
  static void SetSamplerStateFloat(uint32_t sampler, gfx::D3DSAMPLERSTATETYPE type, float value);

  // Forgets every value, then applies the defaults.
  static void Reset();
  static void ApplyDefaults();

  // Sampler 0 wraps along u and v as the strip's flags say, else clamps.
  static void SetTextureWrap(uint32_t meshFlags) {
    SetSamplerState(0, gfx::D3DSAMP_ADDRESSU,
                    (meshFlags & GeoStrip::kWrapU) ? gfx::D3DTADDRESS_WRAP : gfx::D3DTADDRESS_CLAMP);
    SetSamplerState(0, gfx::D3DSAMP_ADDRESSV,
                    (meshFlags & GeoStrip::kWrapV) ? gfx::D3DTADDRESS_WRAP : gfx::D3DTADDRESS_CLAMP);
  }

  // Additive wins over subtractive; otherwise a plain alpha blend.
  static void SetBlendMode(uint32_t meshFlags, uint8_t drawFlags) {
    uint32_t op = gfx::D3DBLENDOP_ADD;
    uint32_t dest = gfx::D3DBLEND_INVSRCALPHA;
    if ((meshFlags & GeoStrip::kAdditive) || (drawFlags & MeshRecord::kAdditive)) {
      dest = gfx::D3DBLEND_ONE;
    } else if ((meshFlags & GeoStrip::kSubtractive) || (drawFlags & MeshRecord::kSubtractive)) {
      op = gfx::D3DBLENDOP_REVSUBTRACT;
      dest = gfx::D3DBLEND_ONE;
    }
    SetRenderState(gfx::D3DRS_BLENDOP, op);
    SetRenderState(gfx::D3DRS_SRCBLEND, gfx::D3DBLEND_SRCALPHA);
    SetRenderState(gfx::D3DRS_DESTBLEND, dest);
  }

  // The shadowed values, for inspection (kInvalid for an index outside the tables).
  static uint32_t GetRenderState(gfx::D3DRENDERSTATETYPE state);
  static uint32_t GetTextureStageState(uint32_t stage, gfx::D3DTEXTURESTAGESTATETYPE type);
  static uint32_t GetSamplerState(uint32_t sampler, gfx::D3DSAMPLERSTATETYPE type);
};
