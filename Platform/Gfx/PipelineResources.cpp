#include "Platform/Gfx/PipelineResources.h"

#include "Platform/Gfx/TextureGl.h"
#include "Platform/Gfx/VertexShaderGl.h"

namespace gfx {

bool GetTextureInfo(D3DTexture* texture, TextureInfo* info) {
  // Every texture comes from this device's CreateTexture.
  const TextureGl* gl = static_cast<const TextureGl*>(texture);
  if (!gl || gl->GlName() == 0) return false;
  info->name = gl->GlName();
  info->levels = gl->LevelCount();
  return true;
}

bool GetVertexProgramInfo(D3DVertexShader* shader, VertexProgramInfo* info) {
  const VertexShaderGl* gl = static_cast<const VertexShaderGl*>(shader);
  if (!gl || gl->GlslSource().empty()) return false;
  info->id = gl->Id();
  info->source = &gl->GlslSource();
  for (uint32_t reg = 0; reg < kMaxVertexInputs; ++reg) {
    if (!gl->InputUsed(reg)) continue;
    info->inputs.usage[reg] = gl->InputUsage(reg);
    info->inputs.usageIndex[reg] = gl->InputUsageIndex(reg);
  }
  return true;
}

}  // namespace gfx
