#pragma once
// The render states that become GL state outside the programs: depth test and function, blending,
// culling, fill mode, and (through the device's GlState, which Clear and Present borrow) the
// depth and colour write masks and the scissor. Each GL setting is remembered, so a draw issues
// only what differs from the previous one.

#include <epoxy/gl.h>

#include <cstdint>

#include "Platform/Gfx/GlState.h"
#include "Platform/Gfx/PipelineStates.h"

namespace gfx {

// GL settings derived from render states.
struct OutputSettings {
  bool depthTest = false;
  GLenum depthFunc = GL_LEQUAL;
  bool blend = false;
  GLenum srcBlend = GL_ONE;
  GLenum dstBlend = GL_ZERO;
  GLenum blendOp = GL_FUNC_ADD;
  uint32_t blendFactor = 0xFFFFFFFFu;
  bool cull = false;
  GLenum cullFace = GL_BACK;
  GLenum frontFace = GL_CCW;
  GLenum polygonMode = GL_FILL;
  bool operator==(const OutputSettings&) const = default;
};

// Whether a target of this format keeps alpha. Targets are RGBA8 whatever their format, so the
// alpha a target without it holds is whatever was last written there: blending must not read it.
bool TargetHasAlpha(D3DFORMAT format);

// What the render states ask for; every target is drawn with its rows flipped (top row first).
// On a target without alpha (`targetAlpha` false) the destination alpha reads as 1.
OutputSettings MakeOutputSettings(const PipelineStates& states, bool targetAlpha);

class PipelineOutput {
 public:
  // Forgets what GL holds (a context was made, or other code set these behind our back).
  void Invalidate() { known_ = false; }
  void Apply(const PipelineStates& states, bool targetAlpha, GlState& gl, int targetWidth,
             int targetHeight);

 private:
  bool known_ = false;
  OutputSettings current_;
};

}  // namespace gfx
