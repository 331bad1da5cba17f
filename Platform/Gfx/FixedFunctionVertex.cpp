#include "Platform/Gfx/FixedFunctionVertex.h"

namespace gfx {

namespace {

constexpr uint32_t kTexCoordLocation = 3;
constexpr uint32_t kTexCoordSets = 8;

uint8_t ComponentCount(uint8_t type) {
  switch (type) {
    case D3DDECLTYPE_FLOAT1:
      return 1;
    case D3DDECLTYPE_FLOAT2:
      return 2;
    case D3DDECLTYPE_FLOAT3:
      return 3;
    default:
      return 4;
  }
}

}  // namespace

uint64_t FixedVertexKey::Packed() const {
  uint64_t v = 0;
  auto put = [&v](uint32_t value, int bits) { v = (v << bits) | (value & ((1u << bits) - 1)); };
  put(pretransformed, 1);
  put(diffuse, 1);
  put(specular, 1);
  for (int i = 0; i < 2; ++i) {
    put(texSource[i] == kNoInput ? 8u : texSource[i], 4);
    put(texInputSize[i], 3);
    put(texTransform[i], 3);
  }
  put(vertexFog, 2);
  put(rangeFog, 1);
  // The top bit keeps these apart from the identities of vertex shaders.
  return v | (uint64_t{1} << 63);
}

FixedVertexKey MakeFixedVertexKey(const PipelineStates& states, const VertexDeclarationGl& layout) {
  FixedVertexKey key;
  key.pretransformed = layout.Pretransformed() ? 1 : 0;
  key.diffuse = layout.Find(D3DDECLUSAGE_COLOR, 0) ? 1 : 0;
  key.specular = layout.Find(D3DDECLUSAGE_COLOR, 1) ? 1 : 0;
  for (uint32_t s = 0; s < 2; ++s) {
    const uint32_t index = states.stage[s][D3DTSS_TEXCOORDINDEX] & 0xFFFFu;
    const D3DVERTEXELEMENT9* element =
        index < kTexCoordSets ? layout.Find(D3DDECLUSAGE_TEXCOORD, static_cast<uint8_t>(index))
                              : nullptr;
    if (!element) continue;
    key.texSource[s] = static_cast<uint8_t>(index);
    // Direct3D leaves the coordinates of pre-transformed vertices as they are.
    if (key.pretransformed) continue;
    // COUNT1 is not a transform to Direct3D: like DISABLE or a word with no count it hands the
    // vertex's coordinate on untouched.
    const uint32_t count = states.stage[s][D3DTSS_TEXTURETRANSFORMFLAGS] & kD3DTtffCountMask;
    if (count >= D3DTTFF_COUNT2 && count <= D3DTTFF_COUNT4) {
      key.texTransform[s] = static_cast<uint8_t>(count);
      key.texInputSize[s] = ComponentCount(element->Type);
    }
  }
  if (!key.pretransformed && states.render[D3DRS_FOGENABLE] &&
      states.render[D3DRS_FOGTABLEMODE] == D3DFOG_NONE) {
    const uint32_t mode = states.render[D3DRS_FOGVERTEXMODE];
    if (mode >= D3DFOG_EXP && mode <= D3DFOG_LINEAR) {
      key.vertexFog = static_cast<uint8_t>(mode);
      key.rangeFog = states.render[D3DRS_RANGEFOGENABLE] ? 1 : 0;
    }
  }
  return key;
}

ProgramInputs FixedVertexInputs(const FixedVertexKey& key) {
  ProgramInputs inputs;
  inputs.usage[0] = key.pretransformed ? D3DDECLUSAGE_POSITIONT : D3DDECLUSAGE_POSITION;
  if (key.diffuse) {
    inputs.usage[1] = D3DDECLUSAGE_COLOR;
    inputs.usageIndex[1] = 0;
  }
  if (key.specular) {
    inputs.usage[2] = D3DDECLUSAGE_COLOR;
    inputs.usageIndex[2] = 1;
  }
  for (uint8_t source : key.texSource) {
    if (source == kNoInput) continue;
    inputs.usage[kTexCoordLocation + source] = D3DDECLUSAGE_TEXCOORD;
    inputs.usageIndex[kTexCoordLocation + source] = source;
  }
  return inputs;
}

namespace {

// Direct3D widens a texture coordinate for its transform with a 1 after the last component it
// has, zeros beyond; GL fetches (x, 0, 0, 1), so the vector is rebuilt.
std::string Widened(const std::string& input, uint8_t size) {
  switch (size) {
    case 1:
      return "vec4(" + input + ".x, 1.0, 0.0, 0.0)";
    case 2:
      return "vec4(" + input + ".xy, 1.0, 0.0)";
    case 3:
      return "vec4(" + input + ".xyz, 1.0)";
    default:
      return input;
  }
}

}  // namespace

std::string FixedVertexSource(const FixedVertexKey& key) {
  std::string s =
      "#version 330 core\n"
      "layout(location = 0) in vec4 inPos;\n";
  if (key.diffuse) s += "layout(location = 1) in vec4 inDiffuse;\n";
  if (key.specular) s += "layout(location = 2) in vec4 inSpecular;\n";
  for (uint32_t i = 0; i < 2; ++i) {
    const uint8_t source = key.texSource[i];
    if (source == kNoInput || (i == 1 && source == key.texSource[0])) continue;
    s += "layout(location = " + std::to_string(kTexCoordLocation + source) + ") in vec4 inTex" +
         std::to_string(source) + ";\n";
  }
  s += "uniform mat4 uWorldView;\n"
       "uniform mat4 uProjection;\n"
       "uniform mat4 uTexMatrix0;\n"
       "uniform mat4 uTexMatrix1;\n"
       "uniform vec4 uScreen;\n"
       "uniform vec4 uPosFixup;\n"
       "uniform vec4 uFogParams;\n"
       "out vec4 oD0v;\n"
       "out vec4 oD1v;\n"
       "out vec4 oT0v;\n"
       "out vec4 oT1v;\n"
       "out float oFogv;\n"
       "void main() {\n"
       "  vec4 p;\n";
  if (key.pretransformed) {
    // Screen pixels of the render target; rhw gives w back so that colours and coordinates
    // still interpolate with perspective. z stays Direct3D's 0..1 depth.
    s +=
        "  float w = inPos.w != 0.0 ? 1.0 / inPos.w : 1.0;\n"
        "  p = vec4((inPos.x * uScreen.x + uScreen.z) * w, (inPos.y * uScreen.y + uScreen.w) * w,\n"
        "           inPos.z * w, w);\n";
  } else {
    // The fixed-function transform takes positions as points: a fourth component the layout
    // gives (FLOAT4, D3DFVF_XYZW) is not part of it.
    s += "  vec4 eye = uWorldView * vec4(inPos.xyz, 1.0);\n"
         "  p = uProjection * eye;\n";
  }
  s += "  p.z = 2.0 * p.z - p.w;\n"
       "  p.xy += uPosFixup.xy * p.w;\n"
       "  p.y *= uPosFixup.z;\n"
       "  gl_Position = p;\n";
  s += key.diffuse ? "  oD0v = inDiffuse;\n" : "  oD0v = vec4(1.0);\n";
  s += key.specular ? "  oD1v = inSpecular;\n" : "  oD1v = vec4(0.0);\n";
  for (uint32_t i = 0; i < 2; ++i) {
    const std::string out = i == 0 ? "  oT0v = " : "  oT1v = ";
    const uint8_t source = key.texSource[i];
    if (source == kNoInput) {
      s += out + "vec4(0.0, 0.0, 0.0, 1.0);\n";
      continue;
    }
    const std::string input = "inTex" + std::to_string(source);
    if (key.texTransform[i]) {
      s += out + (i == 0 ? "uTexMatrix0 * " : "uTexMatrix1 * ") +
           Widened(input, key.texInputSize[i]) + ";\n";
    } else {
      s += out + input + ";\n";
    }
  }
  if (key.vertexFog) {
    s += key.rangeFog ? "  float depth = length(eye.xyz);\n" : "  float depth = eye.z;\n";
    switch (key.vertexFog) {
      case D3DFOG_LINEAR:
        s += "  oFogv = (uFogParams.x - depth) * uFogParams.y;\n";
        break;
      case D3DFOG_EXP:
        s += "  oFogv = exp(-uFogParams.z * depth);\n";
        break;
      default:
        s += "  oFogv = exp(-(uFogParams.z * depth) * (uFogParams.z * depth));\n";
        break;
    }
  } else {
    // Without a per-vertex mode Direct3D takes the fog factor from the specular alpha.
    s += key.specular ? "  oFogv = inSpecular.a;\n" : "  oFogv = 1.0;\n";
  }
  s += "}\n";
  return s;
}

}  // namespace gfx
