#pragma once
// A CPU evaluator of vs.1.1 programs with the same semantics as the emitted GLSL (see
// VsGlsl.h). Tests compare the GPU's results with it; it also documents, in plain C++, what
// each instruction computes.

#include "Platform/Gfx/VsInstruction.h"

namespace gfx {

struct VsOutputs {
  float position[4];  // oPos as written (before the GL clip-space fix-up)
  float color[kVsColorOutCount][4];     // oD0, oD1 saturated to 0..1; (0,0,0,1) when unwritten
  float texCoord[kVsTexCoordOutCount][4];  // (0,0,0,1) when unwritten
  float fog;        // oFog.x; the saturated oD1 alpha when oFog is never written
  float pointSize;  // oPts.x, 0 when unwritten
};

// Runs `program` for one vertex. `inputs` holds the 16 input registers (those a declaration does
// not feed should hold (0,0,0,1), as GL gives), `constants` the 256 constant registers.
void RunVsProgram(const VsProgram& program, const float (*inputs)[4], const float (*constants)[4],
                  VsOutputs* out);

}  // namespace gfx
