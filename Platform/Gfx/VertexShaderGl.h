#pragma once
// A vertex shader on the OpenGL device: the decoded vs.1.1 program, its input table and its
// GLSL 330 vertex source (VsGlsl.h gives the interface). It holds no GL objects: the draw code
// links the source with its fragment stage and caches programs by Id().

#include <string>

#include "Platform/Gfx/D3D.h"
#include "Platform/Gfx/VsInstruction.h"

namespace gfx {

class VertexShaderGl final : public D3DVertexShader {
 public:
  // From the token stream D3DXAssembleShader made; null (with a debug-output line) when the
  // stream is not a sound vs.1.1 program.
  static VertexShaderGl* Create(const uint32_t* tokens);

  // Unique among all shaders made in this run, never 0; a key for program caches.
  uint32_t Id() const { return id_; }
  const std::string& GlslSource() const { return glsl_; }
  const VsProgram& Program() const { return program_; }

  // Inputs v0..v15: whether a dcl_ line declares it (the GLSL then has
  // `layout(location = reg) in vec4 v<reg>;`), and the D3DDECLUSAGE and usage index it names.
  // Out-of-range registers read as unused.
  bool InputUsed(uint32_t reg) const { return reg < kVsInputCount && program_.inputs[reg].used; }
  uint8_t InputUsage(uint32_t reg) const {
    return reg < kVsInputCount ? program_.inputs[reg].usage : 0;
  }
  uint8_t InputUsageIndex(uint32_t reg) const {
    return reg < kVsInputCount ? program_.inputs[reg].usageIndex : 0;
  }
  // The input register declared with this usage and index, or -1.
  int FindInput(uint8_t usage, uint8_t usageIndex) const;

 private:
  VertexShaderGl() = default;

  uint32_t id_ = 0;
  VsProgram program_;
  std::string glsl_;
};

}  // namespace gfx
