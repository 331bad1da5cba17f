#pragma once
// What draws need of the texture and shader objects that other parts of the device make: the
// one place that knows their classes.

#include <epoxy/gl.h>

#include <cstdint>
#include <string>

#include "Platform/Gfx/D3D.h"
#include "Platform/Gfx/FixedFunctionVertex.h"

namespace gfx {

struct TextureInfo {
  GLuint name = 0;
  uint32_t levels = 1;
};

// The GL texture of a texture object; false when it has none.
bool GetTextureInfo(D3DTexture* texture, TextureInfo* info);

struct VertexProgramInfo {
  uint64_t id = 0;  // never shared with another shader object
  const std::string* source = nullptr;
  ProgramInputs inputs;
};

// The GLSL and inputs of a vertex shader object; false when it has none.
bool GetVertexProgramInfo(D3DVertexShader* shader, VertexProgramInfo* info);

}  // namespace gfx
