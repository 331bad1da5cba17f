#pragma once
// The vertex program for draws without a vertex shader (a flexible vertex format, or a
// declaration with no shader set) and for every draw of pre-transformed (POSITIONT) vertices,
// which Direct3D never runs through a shader. Generated GLSL keyed by the vertex layout and the
// few states that shape it; it writes the same outputs as the shader programs do (oD0v, oD1v,
// oT0v, oT1v, oFogv) and places positions with the same half-pixel fixup.
//
// Inputs by location: 0 position, 1 diffuse colour, 2 specular colour, 3 + n texture
// coordinate n. Uniforms:
//   uWorldView, uProjection      Direct3D matrices uploaded as stored (row vectors: M * v in GLSL)
//   uTexMatrix0, uTexMatrix1     the stages' texture transforms
//   uScreen                      pre-transformed x, y to clip: (sx, sy, ox, oy), x * sx + ox
//   uPosFixup                    see DrawState
//   uFogParams                   as the fragment program's

#include <cstdint>
#include <string>

#include "Platform/Gfx/PipelineStates.h"
#include "Platform/Gfx/VertexDeclarationGl.h"

namespace gfx {

constexpr uint32_t kMaxVertexInputs = 16;
constexpr uint8_t kNoInput = 0xFF;

// What each input location of a vertex program reads: (usage, usage index), usage kNoInput
// for locations the program does not read.
struct ProgramInputs {
  uint8_t usage[kMaxVertexInputs];
  uint8_t usageIndex[kMaxVertexInputs];
  ProgramInputs() {
    for (uint32_t i = 0; i < kMaxVertexInputs; ++i) {
      usage[i] = kNoInput;
      usageIndex[i] = 0;
    }
  }
};

struct FixedVertexKey {
  uint8_t pretransformed = 0;
  uint8_t diffuse = 0;                          // the layout has COLOR0; else white
  uint8_t specular = 0;                         // the layout has COLOR1; else black
  uint8_t texSource[2] = {kNoInput, kNoInput};  // texture coordinate set of stages 0 and 1
  uint8_t texInputSize[2] = {0, 0};             // its component count (when transformed)
  uint8_t texTransform[2] = {0, 0};             // 0 or the transform's count (2 to 4)
  uint8_t vertexFog = 0;  // D3DFOGMODE computed per vertex; 0 when fog is not per vertex
  uint8_t rangeFog = 0;

  // A number no other key has (the program cache mixes it with shader identities).
  uint64_t Packed() const;
};

FixedVertexKey MakeFixedVertexKey(const PipelineStates& states, const VertexDeclarationGl& layout);

std::string FixedVertexSource(const FixedVertexKey& key);

ProgramInputs FixedVertexInputs(const FixedVertexKey& key);

}  // namespace gfx
