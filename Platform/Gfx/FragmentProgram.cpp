#include "Platform/Gfx/FragmentProgram.h"

#include <cstring>

namespace gfx {

namespace {

bool IsColorOnlyOp(uint32_t op) {
  return op >= D3DTOP_MODULATEALPHA_ADDCOLOR && op <= D3DTOP_MODULATEINVCOLOR_ADDALPHA;
}

bool IsKnownOp(uint32_t op) {
  return (op >= D3DTOP_DISABLE && op <= D3DTOP_BLENDCURRENTALPHA) ||
         (op >= D3DTOP_MODULATEALPHA_ADDCOLOR && op <= D3DTOP_MODULATEINVCOLOR_ADDALPHA) ||
         (op >= D3DTOP_DOTPRODUCT3 && op <= D3DTOP_LERP);
}

// Which of arg1, arg2, arg0 an operation reads.
void UsedArgs(uint32_t op, bool used[3]) {
  used[0] = op != D3DTOP_SELECTARG2 && op != D3DTOP_DISABLE;
  used[1] = op != D3DTOP_SELECTARG1 && op != D3DTOP_DISABLE;
  used[2] = op == D3DTOP_MULTIPLYADD || op == D3DTOP_LERP;
}

bool ArgsReadTexture(const uint8_t args[3], const bool used[3]) {
  for (int i = 0; i < 3; ++i) {
    if (used[i] && (args[i] & kTaSelectMask) == D3DTA_TEXTURE) return true;
  }
  return false;
}

bool ReadsTexture(uint32_t op, const uint8_t args[3], const bool used[3]) {
  return op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM ||
         ArgsReadTexture(args, used);
}

// Direct3D evaluates an operation whose arguments read a texture the stage does not have as
// SELECTARG1 of CURRENT (the diffuse colour at stage 0): an untextured draw with MODULATE2X
// keeps its vertex colour rather than doubling it.
void PassCurrentWithoutTexture(uint8_t* op, uint8_t args[3], bool used[3]) {
  if (!ArgsReadTexture(args, used)) return;
  *op = D3DTOP_SELECTARG1;
  args[0] = D3DTA_CURRENT;
  args[1] = 0;
  args[2] = 0;
  UsedArgs(*op, used);
}

uint8_t ProjectedComponent(uint32_t flags, CoordSource coords) {
  if (!(flags & D3DTTFF_PROJECTED)) return 0;
  const uint32_t count = flags & kD3DTtffCountMask;
  switch (coords) {
    case CoordSource::Shader:
      // A shader writes all four components whatever the count says.
      return 4;
    case CoordSource::FixedFunction:
      // Only a count the transform understood has a last component to divide by; any other
      // word leaves the coordinate as the vertex gave it.
      return count >= D3DTTFF_COUNT2 && count <= D3DTTFF_COUNT4 ? static_cast<uint8_t>(count) : 0;
    case CoordSource::Pretransformed:
      break;
  }
  // Screen vertices' coordinates are divided as given; without a usable count, by the fourth.
  return count == D3DTTFF_COUNT2 || count == D3DTTFF_COUNT3 ? static_cast<uint8_t>(count) : 4;
}

}  // namespace

bool IsSupportedColorOp(uint32_t op) { return IsKnownOp(op); }

bool IsSupportedAlphaOp(uint32_t op) { return IsKnownOp(op) && !IsColorOnlyOp(op); }

bool IsSupportedArg(uint32_t arg) {
  return (arg & ~(kTaSelectMask | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE)) == 0 &&
         (arg & kTaSelectMask) <= D3DTA_CONSTANT;
}

size_t FragmentKeyHash::operator()(const FragmentKey& key) const {
  // The key is a few dozen bytes without padding holes of unknown value (every member is a
  // byte), so its bytes are its identity.
  static_assert(sizeof(FragmentKey) == sizeof(StageKey) * kPixelStages + 3);
  unsigned char bytes[sizeof(FragmentKey)];
  std::memcpy(bytes, &key, sizeof bytes);
  uint64_t hash = 1469598103934665603ull;
  for (unsigned char b : bytes) {
    hash ^= b;
    hash *= 1099511628211ull;
  }
  return static_cast<size_t>(hash);
}

FragmentKey MakeFragmentKey(const PipelineStates& states, const bool textureBound[kPixelStages],
                            CoordSource coords) {
  FragmentKey key;
  for (uint32_t s = 0; s < kPixelStages; ++s) {
    const uint32_t* tss = states.stage[s];
    uint32_t colorOp = tss[D3DTSS_COLOROP];
    // A disabled colour operation ends the chain: later stages are not looked at.
    if (colorOp == D3DTOP_DISABLE || colorOp == 0) break;
    if (!IsSupportedColorOp(colorOp)) colorOp = D3DTOP_SELECTARG1;
    uint32_t alphaOp = tss[D3DTSS_ALPHAOP];
    StageKey& stage = key.stage[s];
    const uint32_t colorArgs[3] = {tss[D3DTSS_COLORARG1], tss[D3DTSS_COLORARG2],
                                   tss[D3DTSS_COLORARG0]};
    uint32_t alphaArgs[3] = {tss[D3DTSS_ALPHAARG1], tss[D3DTSS_ALPHAARG2], tss[D3DTSS_ALPHAARG0]};
    // Alpha cannot be switched off on its own; the stage passes the alpha it was given.
    if (alphaOp == D3DTOP_DISABLE || !IsSupportedAlphaOp(alphaOp)) {
      alphaOp = D3DTOP_SELECTARG1;
      alphaArgs[0] = D3DTA_CURRENT;
    }
    stage.colorOp = static_cast<uint8_t>(colorOp);
    stage.alphaOp = static_cast<uint8_t>(alphaOp);
    bool colorUsed[3];
    bool alphaUsed[3];
    UsedArgs(colorOp, colorUsed);
    UsedArgs(alphaOp, alphaUsed);
    for (int i = 0; i < 3; ++i) {
      const uint32_t c = IsSupportedArg(colorArgs[i]) ? colorArgs[i] : D3DTA_CURRENT;
      const uint32_t a = IsSupportedArg(alphaArgs[i]) ? alphaArgs[i] : D3DTA_CURRENT;
      stage.colorArg[i] = colorUsed[i] ? static_cast<uint8_t>(c) : 0;
      // Replicating alpha into alpha changes nothing.
      stage.alphaArg[i] = alphaUsed[i] ? static_cast<uint8_t>(a & ~D3DTA_ALPHAREPLICATE) : 0;
    }
    if (!textureBound[s]) {
      PassCurrentWithoutTexture(&stage.colorOp, stage.colorArg, colorUsed);
      PassCurrentWithoutTexture(&stage.alphaOp, stage.alphaArg, alphaUsed);
    }
    if (ReadsTexture(stage.colorOp, stage.colorArg, colorUsed) ||
        ReadsTexture(stage.alphaOp, stage.alphaArg, alphaUsed)) {
      stage.texture = textureBound[s] ? 1 : 0;
      if (stage.texture) {
        stage.projected = ProjectedComponent(tss[D3DTSS_TEXTURETRANSFORMFLAGS], coords);
      }
    }
  }
  if (states.render[D3DRS_ALPHATESTENABLE]) {
    const uint32_t func = states.render[D3DRS_ALPHAFUNC];
    key.alphaFunc = (func >= D3DCMP_NEVER && func <= D3DCMP_ALWAYS)
                        ? static_cast<uint8_t>(func)
                        : static_cast<uint8_t>(D3DCMP_ALWAYS);
  }
  if (states.render[D3DRS_FOGENABLE]) {
    switch (states.render[D3DRS_FOGTABLEMODE]) {
      case D3DFOG_LINEAR:
        key.fog = FogSource::TableLinear;
        break;
      case D3DFOG_EXP:
        key.fog = FogSource::TableExp;
        break;
      case D3DFOG_EXP2:
        key.fog = FogSource::TableExp2;
        break;
      default:
        key.fog = FogSource::Vertex;
        break;
    }
  }
  key.specular = states.render[D3DRS_SPECULARENABLE] ? 1 : 0;
  return key;
}

namespace {

std::string ArgValue(uint32_t arg, uint32_t stage) {
  std::string value;
  switch (arg & kTaSelectMask) {
    case D3DTA_DIFFUSE:
      value = "oD0v";
      break;
    case D3DTA_CURRENT:
      value = "cur";
      break;
    case D3DTA_TEXTURE:
      value = stage == 0 ? "tex0" : "tex1";
      break;
    case D3DTA_TFACTOR:
      value = "uTFactor";
      break;
    case D3DTA_SPECULAR:
      value = "oD1v";
      break;
    case D3DTA_CONSTANT:
      value = stage == 0 ? "uStageConst0" : "uStageConst1";
      break;
    default:
      value = "vec4(0.0)";
      break;  // the temporary register, never written here
  }
  if (arg & D3DTA_COMPLEMENT) value = "(vec4(1.0) - " + value + ")";
  if (arg & D3DTA_ALPHAREPLICATE) value = "vec4(" + value + ".a)";
  return value;
}

// The expression of an operation on the `part` (".rgb" or ".a") of its arguments.
std::string OpValue(uint32_t op, const uint8_t args[3], uint32_t stage, const char* part) {
  const std::string p = part;
  const std::string a1 = ArgValue(args[0], stage) + p;
  const std::string a2 = ArgValue(args[1], stage) + p;
  const std::string a0 = ArgValue(args[2], stage) + p;
  const std::string texAlpha = std::string(stage == 0 ? "tex0" : "tex1") + ".a";
  const std::string a1Alpha = ArgValue(args[0], stage) + ".a";
  switch (op) {
    case D3DTOP_SELECTARG1:
      return a1;
    case D3DTOP_SELECTARG2:
      return a2;
    case D3DTOP_MODULATE:
      return a1 + " * " + a2;
    case D3DTOP_MODULATE2X:
      return a1 + " * " + a2 + " * 2.0";
    case D3DTOP_MODULATE4X:
      return a1 + " * " + a2 + " * 4.0";
    case D3DTOP_ADD:
      return a1 + " + " + a2;
    case D3DTOP_ADDSIGNED:
      return a1 + " + " + a2 + " - 0.5";
    case D3DTOP_ADDSIGNED2X:
      return "(" + a1 + " + " + a2 + " - 0.5) * 2.0";
    case D3DTOP_SUBTRACT:
      return a1 + " - " + a2;
    case D3DTOP_ADDSMOOTH:
      return a1 + " + " + a2 + " - " + a1 + " * " + a2;
    case D3DTOP_BLENDDIFFUSEALPHA:
      return "mix(" + a2 + ", " + a1 + ", oD0v.a)";
    case D3DTOP_BLENDTEXTUREALPHA:
      return "mix(" + a2 + ", " + a1 + ", " + texAlpha + ")";
    case D3DTOP_BLENDFACTORALPHA:
      return "mix(" + a2 + ", " + a1 + ", uTFactor.a)";
    case D3DTOP_BLENDTEXTUREALPHAPM:
      return a1 + " + " + a2 + " * (1.0 - " + texAlpha + ")";
    case D3DTOP_BLENDCURRENTALPHA:
      return "mix(" + a2 + ", " + a1 + ", cur.a)";
    case D3DTOP_MODULATEALPHA_ADDCOLOR:
      return a1 + " + " + a1Alpha + " * " + a2;
    case D3DTOP_MODULATECOLOR_ADDALPHA:
      return a1 + " * " + a2 + " + " + a1Alpha;
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
      return a1 + " + (1.0 - " + a1Alpha + ") * " + a2;
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
      return "(vec3(1.0) - " + a1 + ") * " + a2 + " + " + a1Alpha;
    case D3DTOP_DOTPRODUCT3: {
      const std::string d = "clamp(4.0 * dot(" + ArgValue(args[0], stage) + ".rgb - 0.5, " +
                            ArgValue(args[1], stage) + ".rgb - 0.5), 0.0, 1.0)";
      return p == ".a" ? d : "vec3(" + d + ")";
    }
    case D3DTOP_MULTIPLYADD:
      return a0 + " + " + a1 + " * " + a2;
    case D3DTOP_LERP:
      return "mix(" + a2 + ", " + a1 + ", " + a0 + ")";
    default:
      return a1;
  }
}

std::string Sample(uint32_t stage, uint8_t projected) {
  const std::string n = stage == 0 ? "0" : "1";
  const std::string coord = "oT" + n + "v";
  std::string uv = coord + ".xy";
  switch (projected) {
    case 2:
      uv = "vec2(" + coord + ".x / " + coord + ".y, 0.0)";
      break;
    case 3:
      uv = coord + ".xy / " + coord + ".z";
      break;
    case 4:
      uv = coord + ".xy / " + coord + ".w";
      break;
    default:
      break;
  }
  return "  vec4 tex" + n + " = texture(uTex" + n + ", " + uv + ");\n";
}

const char* CompareOperator(uint8_t func) {
  switch (func) {
    case D3DCMP_LESS:
      return "<";
    case D3DCMP_EQUAL:
      return "==";
    case D3DCMP_LESSEQUAL:
      return "<=";
    case D3DCMP_GREATER:
      return ">";
    case D3DCMP_NOTEQUAL:
      return "!=";
    case D3DCMP_GREATEREQUAL:
      return ">=";
    default:
      return nullptr;
  }
}

}  // namespace

std::string FragmentSource(const FragmentKey& key) {
  std::string s =
      "#version 330 core\n"
      GFX_FRAGMENT_INPUTS
      "uniform sampler2D uTex0;\n"
      "uniform sampler2D uTex1;\n"
      "uniform vec4 uTFactor;\n"
      "uniform vec4 uStageConst0;\n"
      "uniform vec4 uStageConst1;\n"
      "uniform float uAlphaRef;\n"
      "uniform vec4 uFogColor;\n"
      "uniform vec4 uFogParams;\n"
      "layout(location = 0) out vec4 fragColor;\n"
      "void main() {\n"
      "  vec4 cur = oD0v;\n";
  for (uint32_t i = 0; i < kPixelStages; ++i) {
    const StageKey& stage = key.stage[i];
    if (stage.colorOp == D3DTOP_DISABLE) break;
    const std::string n = i == 0 ? "0" : "1";
    if (stage.texture) {
      s += Sample(i, stage.projected);
    } else {
      // Only a blend operation's factor can still read the missing texture: its alpha is 1.
      s += "  vec4 tex" + n + " = vec4(1.0);\n";
    }
    s += "  {\n";
    if (stage.colorOp == D3DTOP_DOTPRODUCT3) {
      // The dot product goes to all four channels, whatever the alpha operation says.
      s += "    float d = " + OpValue(stage.colorOp, stage.colorArg, i, ".a") + ";\n";
      s += "    cur = vec4(d);\n";
    } else {
      s += "    vec3 c = " + OpValue(stage.colorOp, stage.colorArg, i, ".rgb") + ";\n";
      s += "    float a = " + OpValue(stage.alphaOp, stage.alphaArg, i, ".a") + ";\n";
      s += "    cur = clamp(vec4(c, a), 0.0, 1.0);\n";
    }
    s += "  }\n";
  }
  if (key.specular) s += "  cur.rgb = clamp(cur.rgb + oD1v.rgb, 0.0, 1.0);\n";

  if (key.alphaFunc == D3DCMP_NEVER) {
    s += "  discard;\n";
  } else if (const char* op = CompareOperator(key.alphaFunc)) {
    // Direct3D compares the 8-bit alpha with the 8-bit reference.
    s += "  if (!(floor(cur.a * 255.0 + 0.5) " + std::string(op) + " uAlphaRef)) discard;\n";
  }

  if (key.fog != FogSource::None) {
    if (key.fog == FogSource::Vertex) {
      s += "  float fog = clamp(oFogv, 0.0, 1.0);\n";
    } else {
      s += "  float depth = uFogParams.w > 0.5 ? 1.0 / gl_FragCoord.w : gl_FragCoord.z;\n";
      if (key.fog == FogSource::TableLinear) {
        s += "  float fog = clamp((uFogParams.x - depth) * uFogParams.y, 0.0, 1.0);\n";
      } else if (key.fog == FogSource::TableExp) {
        s += "  float fog = clamp(exp(-uFogParams.z * depth), 0.0, 1.0);\n";
      } else {
        s += "  float fog = clamp(exp(-(uFogParams.z * depth) * (uFogParams.z * depth)), 0.0, "
             "1.0);\n";
      }
    }
    s += "  cur.rgb = mix(uFogColor.rgb, cur.rgb, fog);\n";
  }
  s += "  fragColor = cur;\n}\n";
  return s;
}

}  // namespace gfx
