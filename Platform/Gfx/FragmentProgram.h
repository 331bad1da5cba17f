#pragma once
// The fixed-function pixel stages as generated GLSL. The states that shape the program (two
// texture stages' operations and arguments, whether each stage has a texture and divides its
// coordinate, the alpha test's comparison, the fog source, specular add) make a small key;
// each distinct key is turned into source once and the linked program is cached by the caller.
//
// The program reads the vertex stage's outputs oD0v, oD1v, oT0v, oT1v, oFogv and the samplers
// uTex0 and uTex1, and these uniforms:
//   uTFactor          D3DRS_TEXTUREFACTOR as RGBA
//   uStageConst0/1    D3DTSS_CONSTANT of stages 0 and 1
//   uAlphaRef         D3DRS_ALPHAREF, 0..255
//   uFogColor         D3DRS_FOGCOLOR
//   uFogParams        (fog end, 1 / (end - start), density, 1 when the fog distance is w)

#include <cstddef>
#include <cstdint>
#include <string>

#include "Platform/Gfx/PipelineStates.h"

namespace gfx {

constexpr uint32_t kPixelStages = 2;

// The argument sources this device knows (D3DTA_DIFFUSE to D3DTA_CONSTANT) fit in three bits.
constexpr uint32_t kTaSelectMask = 0x7;

// Whether the device can do this operation as a colour (or alpha) operation.
bool IsSupportedColorOp(uint32_t op);
bool IsSupportedAlphaOp(uint32_t op);
bool IsSupportedArg(uint32_t arg);

enum class FogSource : uint8_t { None, Vertex, TableLinear, TableExp, TableExp2 };

struct StageKey {
  uint8_t colorOp = D3DTOP_DISABLE;
  uint8_t colorArg[3] = {};  // arg1, arg2, arg0
  uint8_t alphaOp = D3DTOP_DISABLE;
  uint8_t alphaArg[3] = {};
  // 1: the stage samples its texture. 0: it has none, and its operations no longer name
  // D3DTA_TEXTURE (see MakeFragmentKey); the texture alpha a blend operation reads is 1.
  uint8_t texture = 0;
  uint8_t projected = 0;  // 0, or the component (2 y, 3 z, 4 w) the coordinate is divided by
  bool operator==(const StageKey&) const = default;
};

struct FragmentKey {
  StageKey stage[kPixelStages];
  uint8_t alphaFunc = D3DCMP_ALWAYS;  // ALWAYS while the test is off
  FogSource fog = FogSource::None;
  uint8_t specular = 0;
  bool operator==(const FragmentKey&) const = default;
};

struct FragmentKeyHash {
  size_t operator()(const FragmentKey& key) const;
};

// What produced the texture coordinates the stages read; D3DTTFF_PROJECTED means something
// different for each.
enum class CoordSource : uint8_t { FixedFunction, Pretransformed, Shader };

// The key for the current states. `textureBound[s]` says whether stage s has a texture.
FragmentKey MakeFragmentKey(const PipelineStates& states, const bool textureBound[kPixelStages],
                            CoordSource coords);

// The values every vertex program hands the pixel stage, as the fragment program declares them.
#define GFX_FRAGMENT_INPUTS \
  "in vec4 oD0v;\n"        \
  "in vec4 oD1v;\n"        \
  "in vec4 oT0v;\n"        \
  "in vec4 oT1v;\n"        \
  "in float oFogv;\n"

std::string FragmentSource(const FragmentKey& key);

}  // namespace gfx
