#include "Platform/Gfx/VertexShaderGl.h"

#include <atomic>
#include <utility>

#include "Platform/Gfx/GfxLog.h"
#include "Platform/Gfx/VsGlsl.h"

namespace gfx {

namespace {

std::atomic<uint32_t> g_nextId{1};

}  // namespace

VertexShaderGl* VertexShaderGl::Create(const uint32_t* tokens) {
  VsProgram program;
  std::string why;
  if (!DecodeVsTokens(tokens, &program, &why)) {
    GfxLog("gfx: CreateVertexShader refused the token stream: %s\n", why.c_str());
    return nullptr;
  }
  VertexShaderGl* shader = new VertexShaderGl;
  uint32_t id = g_nextId.fetch_add(1);
  if (id == 0) id = g_nextId.fetch_add(1);  // after wrapping, 0 still means none
  shader->id_ = id;
  shader->program_ = std::move(program);
  shader->glsl_ = EmitVsGlsl(shader->program_);
  return shader;
}

int VertexShaderGl::FindInput(uint8_t usage, uint8_t usageIndex) const {
  for (uint32_t r = 0; r < kVsInputCount; ++r) {
    const VsInputDecl& decl = program_.inputs[r];
    if (decl.used && decl.usage == usage && decl.usageIndex == usageIndex) {
      return static_cast<int>(r);
    }
  }
  return -1;
}

}  // namespace gfx
