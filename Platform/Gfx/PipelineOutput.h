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

// What the render states ask for; every target is drawn with its rows flipped (top row first).
OutputSettings MakeOutputSettings(const PipelineStates& states);

class PipelineOutput {
 public:
  // Forgets what GL holds (a context was made, or other code set these behind our back).
  void Invalidate() { known_ = false; }
  void Apply(const PipelineStates& states, GlState& gl, int targetWidth, int targetHeight);

 private:
  bool known_ = false;
  OutputSettings current_;
};

}  // namespace gfx
