#include "Platform/Gfx/VsGlsl.h"

#include <cstdarg>
#include <cstdio>

namespace gfx {

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

const char kHeader[] =
    "#version 330 core\n"
    "// Generated from a vs.1.1 program.\n";

const char kInterface[] =
    "uniform vec4 c[256];\n"
    "uniform vec4 uPosFixup;\n"
    "out vec4 oD0v;\n"
    "out vec4 oD1v;\n"
    "out vec4 oT0v;\n"
    "out vec4 oT1v;\n"
    "out float oFogv;\n";

// Helpers, each emitted only when a program needs it.
const char kInf[] = "float vs_inf() { return uintBitsToFloat(0x7F800000u); }\n";
const char kConstRead[] =
    "vec4 cr(int i) { return (i >= 0 && i < 256) ? c[i] : vec4(0.0); }\n";
const char kRcp[] =
    "float vs_rcp(float x) { return x == 1.0 ? 1.0 : (x == 0.0 ? vs_inf() : 1.0 / x); }\n";
const char kRsq[] =
    "float vs_rsq(float x) {\n"
    "  float a = abs(x);\n"
    "  return a == 1.0 ? 1.0 : (a == 0.0 ? vs_inf() : 1.0 / sqrt(a));\n"
    "}\n";
const char kLog[] =
    "float vs_log(float x) { float a = abs(x); return a == 0.0 ? -3.402823466e38 : log2(a); }\n";
const char kExpp[] =
    "vec4 vs_expp(float x) { float f = floor(x); return vec4(exp2(f), x - f, exp2(x), 1.0); }\n";
const char kLogp[] =
    "vec4 vs_logp(float x) {\n"
    "  float a = abs(x);\n"
    "  if (a == 0.0) return vec4(-3.402823466e38, -3.402823466e38, -3.402823466e38, 1.0);\n"
    "  uint b = floatBitsToUint(a);\n"
    "  return vec4(float(int(b >> 23) - 127), uintBitsToFloat((b & 0x7FFFFFu) | 0x3F800000u),\n"
    "              log2(a), 1.0);\n"
    "}\n";
const char kLit[] =
    "vec4 vs_lit(vec4 s) {\n"
    "  vec4 d = vec4(1.0, 0.0, 0.0, 1.0);\n"
    "  if (s.x > 0.0) {\n"
    "    d.y = s.x;\n"
    "    if (s.y > 0.0) d.z = pow(s.y, clamp(s.w, -127.9961, 127.9961));\n"
    "  }\n"
    "  return d;\n"
    "}\n";
const char kDst[] =
    "vec4 vs_dst(vec4 a, vec4 b) { return vec4(1.0, a.y * b.y, a.z, b.w); }\n";

// Direct3D's clip space has depth 0..w where GL's has -w..w. Direct3D 9 puts pixel centres on
// integer coordinates, half a pixel up and left of GL's, so positions move by half a pixel
// (uPosFixup.xy in clip units, times w to survive the divide); every target is drawn upside
// down (uPosFixup.z = -1) so that its rows come out top row first.
const char kFooter[] =
    "  oD0v = clamp(oD0, 0.0, 1.0);\n"
    "  oD1v = clamp(oD1, 0.0, 1.0);\n"
    "  oT0v = oT0;\n"
    "  oT1v = oT1;\n"
    "  vec4 p = oPos;\n"
    "  p.z = 2.0 * p.z - p.w;\n"
    "  p.xy += uPosFixup.xy * p.w;\n"
    "  p.y *= uPosFixup.z;\n"
    "  gl_Position = p;\n"
    "}\n";

std::string MaskLetters(uint32_t mask) {
  std::string letters;
  for (uint32_t i = 0; i < 4; ++i) {
    if (mask & (1u << i)) letters.push_back("xyzw"[i]);
  }
  return letters;
}

uint32_t Count(uint32_t mask) { return static_cast<uint32_t>(MaskLetters(mask).size()); }

std::string Splat(uint32_t n, const std::string& scalar) {
  return n == 1 ? scalar : Format("vec%u(", n) + scalar + ")";
}

// The register a source names, `row` registers on (the rows of m4x4 and its kind).
std::string Register(const VsOperand& o, uint32_t row) {
  const uint32_t index = o.index + row;
  switch (o.file) {
    case VsReg::Temp: return Format("r%u", index);
    case VsReg::Input: return Format("v%u", index);
    case VsReg::Const: return o.relative ? Format("cr(a0.x + %u)", index) : Format("c[%u]", index);
    default: return "vec4(0.0)";  // refused by the checks before it gets here
  }
}

std::string Selected(const VsOperand& o, const std::string& letters) {
  const std::string value = Register(o, 0) + "." + letters;
  return o.negate ? "(-" + value + ")" : value;
}

// The source's components that land in the destination components of `mask`.
std::string ForMask(const VsOperand& o, uint32_t mask) {
  std::string letters;
  for (uint32_t i = 0; i < 4; ++i) {
    if (mask & (1u << i)) letters.push_back("xyzw"[o.Component(i)]);
  }
  return Selected(o, letters);
}

// The source's first n swizzled components.
std::string First(const VsOperand& o, uint32_t n) {
  std::string letters;
  for (uint32_t i = 0; i < n; ++i) letters.push_back("xyzw"[o.Component(i)]);
  return Selected(o, letters);
}

std::string Destination(const VsOperand& d) {
  switch (d.file) {
    case VsReg::Temp: return Format("r%u", d.index);
    case VsReg::AttrOut: return Format("oD%u", d.index);
    case VsReg::TexCrdOut: return Format("oT%u", d.index);
    case VsReg::RastOut:
      return d.index == kVsOutPos ? "oPos" : d.index == kVsOutFog ? "oFog" : "oPts";
    default: return "a0";
  }
}

// The value an instruction writes, as a GLSL expression of the destination mask's width.
std::string Value(const VsInstruction& inst, const VsOpInfo& info) {
  const uint32_t mask = inst.dst.mask;
  const uint32_t n = Count(mask);
  const VsOperand* s = inst.src;
  const std::string letters = MaskLetters(mask);
  switch (inst.op) {
    case VsOp::Mov: return ForMask(s[0], mask);
    case VsOp::Add: return ForMask(s[0], mask) + " + " + ForMask(s[1], mask);
    case VsOp::Sub: return ForMask(s[0], mask) + " - " + ForMask(s[1], mask);
    case VsOp::Mul: return ForMask(s[0], mask) + " * " + ForMask(s[1], mask);
    case VsOp::Mad:
      return ForMask(s[0], mask) + " * " + ForMask(s[1], mask) + " + " + ForMask(s[2], mask);
    case VsOp::Min: return "min(" + ForMask(s[0], mask) + ", " + ForMask(s[1], mask) + ")";
    case VsOp::Max: return "max(" + ForMask(s[0], mask) + ", " + ForMask(s[1], mask) + ")";
    case VsOp::Slt:
    case VsOp::Sge: {
      const std::string a = ForMask(s[0], mask);
      const std::string b = ForMask(s[1], mask);
      const bool less = inst.op == VsOp::Slt;
      if (n == 1) return "float(" + a + (less ? " < " : " >= ") + b + ")";
      return Format("vec%u(", n) + (less ? "lessThan(" : "greaterThanEqual(") + a + ", " + b + "))";
    }
    case VsOp::Frc: {
      const std::string a = ForMask(s[0], mask);
      return a + " - floor(" + a + ")";
    }
    case VsOp::Dp3:
    case VsOp::Dp4:
      return Splat(n, "dot(" + First(s[0], info.cols) + ", " + First(s[1], info.cols) + ")");
    case VsOp::Rcp: return Splat(n, "vs_rcp(" + First(s[0], 1) + ")");
    case VsOp::Rsq: return Splat(n, "vs_rsq(" + First(s[0], 1) + ")");
    case VsOp::Exp: return Splat(n, "exp2(" + First(s[0], 1) + ")");
    case VsOp::Log: return Splat(n, "vs_log(" + First(s[0], 1) + ")");
    case VsOp::Expp: return "vs_expp(" + First(s[0], 1) + ")." + letters;
    case VsOp::Logp: return "vs_logp(" + First(s[0], 1) + ")." + letters;
    case VsOp::Lit: return "vs_lit(" + First(s[0], 4) + ")." + letters;
    case VsOp::Dst: return "vs_dst(" + First(s[0], 4) + ", " + First(s[1], 4) + ")." + letters;
    case VsOp::M4x4:
    case VsOp::M4x3:
    case VsOp::M3x4:
    case VsOp::M3x3:
    case VsOp::M3x2: {
      const std::string vector = First(s[0], info.cols);
      const std::string rowLetters = info.cols == 3 ? ".xyz" : "";
      std::string parts;
      for (uint32_t i = 0; i < 4; ++i) {
        if (!(mask & (1u << i))) continue;
        if (!parts.empty()) parts += ", ";
        parts += "dot(" + vector + ", " + Register(s[1], i) + rowLetters + ")";
      }
      return n == 1 ? parts : Format("vec%u(", n) + parts + ")";
    }
    default:
      return "0.0";
  }
}

}  // namespace

std::string EmitVsGlsl(const VsProgram& program) {
  bool temps[kVsTempCount] = {};
  bool texCoords[kVsTexCoordOutCount] = {};
  bool address = false;
  bool relative = false;
  bool pointSize = false;
  bool fog = false;
  bool need[8] = {};  // rcp rsq log expp logp lit dst inf
  for (const VsInstruction& inst : program.code) {
    const VsOpInfo* info = FindVsOp(inst.op);
    if (!info || info->kind == VsOpKind::None) continue;
    if (inst.dst.file == VsReg::Temp) temps[inst.dst.index] = true;
    if (inst.dst.file == VsReg::TexCrdOut) texCoords[inst.dst.index] = true;
    if (inst.dst.file == VsReg::Address) address = true;
    if (inst.dst.file == VsReg::RastOut && inst.dst.index == kVsOutPts) pointSize = true;
    if (inst.dst.file == VsReg::RastOut && inst.dst.index == kVsOutFog) fog = true;
    for (uint32_t s = 0; s < inst.srcCount; ++s) {
      const VsOperand& o = inst.src[s];
      const uint32_t rows = info->kind == VsOpKind::Matrix && s == 1 ? info->rows : 1u;
      if (o.file == VsReg::Temp) {
        for (uint32_t r = o.index; r < o.index + rows && r < kVsTempCount; ++r) temps[r] = true;
      }
      if (o.relative) relative = address = true;
    }
    switch (inst.op) {
      case VsOp::Rcp: need[0] = need[7] = true; break;
      case VsOp::Rsq: need[1] = need[7] = true; break;
      case VsOp::Log: need[2] = true; break;
      case VsOp::Expp: need[3] = true; break;
      case VsOp::Logp: need[4] = true; break;
      case VsOp::Lit: need[5] = true; break;
      case VsOp::Dst: need[6] = true; break;
      default: break;
    }
  }

  std::string out = kHeader;
  for (uint32_t r = 0; r < kVsInputCount; ++r) {
    if (program.inputs[r].used) out += Format("layout(location = %u) in vec4 v%u;\n", r, r);
  }
  out += kInterface;
  if (relative) out += kConstRead;
  if (need[7]) out += kInf;
  const char* const helpers[] = {kRcp, kRsq, kLog, kExpp, kLogp, kLit, kDst};
  for (uint32_t i = 0; i < 7; ++i) {
    if (need[i]) out += helpers[i];
  }

  out += "void main() {\n";
  out += "  vec4 oPos = vec4(0.0);\n";
  out += "  vec4 oD0 = vec4(0.0, 0.0, 0.0, 1.0);\n";
  out += "  vec4 oD1 = vec4(0.0, 0.0, 0.0, 1.0);\n";
  for (uint32_t t = 0; t < kVsTexCoordOutCount; ++t) {
    if (t < 2 || texCoords[t]) out += Format("  vec4 oT%u = vec4(0.0, 0.0, 0.0, 1.0);\n", t);
  }
  if (fog) out += "  vec4 oFog = vec4(1.0);\n";
  if (pointSize) out += "  vec4 oPts = vec4(0.0);\n";
  if (address) out += "  ivec4 a0 = ivec4(0);\n";
  for (uint32_t r = 0; r < kVsTempCount; ++r) {
    if (temps[r]) out += Format("  vec4 r%u = vec4(0.0);\n", r);
  }

  for (const VsInstruction& inst : program.code) {
    const VsOpInfo* info = FindVsOp(inst.op);
    if (!info || info->kind == VsOpKind::None) continue;
    std::string statement;
    if (inst.dst.file == VsReg::Address) {
      // vs.1.1 turns the float into the index by rounding down.
      statement = "  a0.x = int(floor(" + First(inst.src[0], 1) + "));";
    } else {
      statement = "  " + Destination(inst.dst) + "." + MaskLetters(inst.dst.mask) + " = " +
                  Value(inst, *info) + ";";
    }
    if (inst.line) statement += Format("  // %s, line %u", info->name, inst.line);
    out += statement + "\n";
  }
  // Vertex fog takes its factor from oFog. Direct3D 9 drivers take a program's that never
  // writes it from the specular alpha, as for fixed-function vertices without a fog mode (an
  // unwritten oD1 has alpha 1: no fog). Table fog reads neither.
  out += fog ? "  oFogv = oFog.x;\n" : "  oFogv = clamp(oD1.a, 0.0, 1.0);\n";
  out += kFooter;
  return out;
}

}  // namespace gfx
