#pragma once
// Test-only access to the GL side of vertex shaders: compiling emitted GLSL on a device's
// context, and running a shader's GLSL over a few vertices with its outputs captured by
// transform feedback, so that tests can hold the GPU's results against the CPU evaluator.

#include <string>

#include "Platform/Gfx/D3D.h"
#include "Platform/Gfx/VsInstruction.h"

namespace gfx::TestHooks {

// Compiles `source` as a vertex shader on the device's context and links it with a fragment
// shader that reads the shared interface (oD0v, oD1v, oT0v, oT1v, oFogv, uTex0, uTex1). False,
// with the driver's log in *log, when either step fails.
bool CompileVertexGlsl(D3DDevice* device, const std::string& source, std::string* log);

// What one vertex came out of the GPU as.
struct VsCapture {
  float position[4];  // gl_Position (after the clip-space fix-up)
  float color0[4];
  float color1[4];
  float texCoord0[4];
  float texCoord1[4];
  float fog;
};

// Runs the shader's GLSL over `count` vertices: `inputs[k]` are vertex k's 16 input registers
// (only declared ones are fed), `constants` the 256 constant registers, `posFixup` the
// uPosFixup vector. False, with a reason in *log, on any GL failure.
bool RunVertexShaderOnGpu(D3DDevice* device, D3DVertexShader* shader, const float (*constants)[4],
                          const float (*inputs)[kVsInputCount][4], uint32_t count,
                          const float posFixup[4], VsCapture* out, std::string* log);

}  // namespace gfx::TestHooks
