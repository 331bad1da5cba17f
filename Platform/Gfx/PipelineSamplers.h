#pragma once
// Textures on the units the pixel stages sample, with Direct3D's sampler states as GL sampler
// objects (one per unit, changed only where the states or the texture's mip count differ).

#include <epoxy/gl.h>

#include <cstdint>

#include "Platform/Gfx/FragmentProgram.h"

namespace gfx {

// GL's view of one Direct3D sampler's states, for a texture with or without mip levels.
struct SamplerSettings {
  GLint minFilter = GL_NEAREST;
  GLint magFilter = GL_NEAREST;
  GLint wrap[3] = {GL_REPEAT, GL_REPEAT, GL_REPEAT};
  uint32_t borderColor = 0;
  float lodBias = 0.0f;
  float minLod = 0.0f;
  bool operator==(const SamplerSettings&) const = default;
};

SamplerSettings MakeSamplerSettings(const uint32_t* samplerStates, bool hasMips);

class PipelineSamplers {
 public:
  void ReleaseGl();
  void Forget();

  // Puts `texture` (a GL texture name; 0 for none) on `unit` with the sampler settings. The
  // texture binding is issued every time: other code binds textures to upload them.
  void Bind(uint32_t unit, GLuint texture, const SamplerSettings& settings);

 private:
  GLuint samplers_[kPixelStages] = {};
  bool known_[kPixelStages] = {};
  SamplerSettings applied_[kPixelStages];
};

}  // namespace gfx
