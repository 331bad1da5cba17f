#include "Platform/Gfx/PipelineSamplers.h"

#include "Platform/Gfx/PipelineStates.h"

namespace gfx {

namespace {


GLint Wrap(uint32_t address) {
  switch (address) {
    case D3DTADDRESS_MIRROR:
      return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP:
      return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER:
      return GL_CLAMP_TO_BORDER;
    // MIRRORONCE needs GL 4.4; the nearest 3.3 has is a plain mirror.
    case D3DTADDRESS_MIRRORONCE:
      return GL_MIRRORED_REPEAT;
    default:
      return GL_REPEAT;
  }
}

}  // namespace

SamplerSettings MakeSamplerSettings(const uint32_t* s, bool hasMips) {
  SamplerSettings settings;
  // Anything above LINEAR (anisotropic and the rest) filters linearly.
  const bool minLinear = s[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR;
  const uint32_t mip = hasMips ? s[D3DSAMP_MIPFILTER] : D3DTEXF_NONE;
  if (mip == D3DTEXF_NONE) {
    settings.minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
  } else if (mip == D3DTEXF_POINT) {
    settings.minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
  } else {
    settings.minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
  }
  settings.magFilter = s[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST;
  settings.wrap[0] = Wrap(s[D3DSAMP_ADDRESSU]);
  settings.wrap[1] = Wrap(s[D3DSAMP_ADDRESSV]);
  settings.wrap[2] = Wrap(s[D3DSAMP_ADDRESSW]);
  if (s[D3DSAMP_ADDRESSU] == D3DTADDRESS_BORDER || s[D3DSAMP_ADDRESSV] == D3DTADDRESS_BORDER ||
      s[D3DSAMP_ADDRESSW] == D3DTADDRESS_BORDER) {
    settings.borderColor = s[D3DSAMP_BORDERCOLOR];
  }
  settings.lodBias = BitsFloat(s[D3DSAMP_MIPMAPLODBIAS]);
  // MAXMIPLEVEL names the most detailed level that may be used.
  settings.minLod = hasMips ? static_cast<float>(s[D3DSAMP_MAXMIPLEVEL]) : 0.0f;
  return settings;
}

void PipelineSamplers::ReleaseGl() {
  for (GLuint& sampler : samplers_) {
    if (sampler) glDeleteSamplers(1, &sampler);
  }
  Forget();
}

void PipelineSamplers::Forget() {
  for (uint32_t unit = 0; unit < kPixelStages; ++unit) {
    samplers_[unit] = 0;
    known_[unit] = false;
  }
}

void PipelineSamplers::Bind(uint32_t unit, GLuint texture, const SamplerSettings& settings) {
  glActiveTexture(GL_TEXTURE0 + unit);
  glBindTexture(GL_TEXTURE_2D, texture);
  if (!samplers_[unit]) {
    glGenSamplers(1, &samplers_[unit]);
    known_[unit] = false;
  }
  // Sampler bindings belong to this code alone; binding again costs nothing worth caching, and
  // keeps a unit right if anything else ever touched it.
  glBindSampler(unit, samplers_[unit]);
  if (known_[unit] && applied_[unit] == settings) return;
  const GLuint sampler = samplers_[unit];
  const SamplerSettings& have = applied_[unit];
  const bool all = !known_[unit];
  if (all || have.minFilter != settings.minFilter) {
    glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, settings.minFilter);
  }
  if (all || have.magFilter != settings.magFilter) {
    glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, settings.magFilter);
  }
  static const GLenum kWrapNames[3] = {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R};
  for (int i = 0; i < 3; ++i) {
    if (all || have.wrap[i] != settings.wrap[i]) {
      glSamplerParameteri(sampler, kWrapNames[i], settings.wrap[i]);
    }
  }
  if (all || have.borderColor != settings.borderColor) {
    const uint32_t c = settings.borderColor;
    const float color[4] = {
        static_cast<float>((c >> 16) & 0xFF) / 255.0f, static_cast<float>((c >> 8) & 0xFF) / 255.0f,
        static_cast<float>(c & 0xFF) / 255.0f, static_cast<float>((c >> 24) & 0xFF) / 255.0f};
    glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, color);
  }
  if (all || have.lodBias != settings.lodBias) {
    glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, settings.lodBias);
  }
  if (all || have.minLod != settings.minLod) {
    glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, settings.minLod);
  }
  applied_[unit] = settings;
  known_[unit] = true;
}

}  // namespace gfx
