#include "Platform/Gfx/VsInstruction.h"

#include <cstdarg>
#include <cstdio>

namespace gfx {

namespace {

constexpr VsOpInfo kOps[] = {
    {VsOp::Nop, "nop", VsOpKind::None, 0, 1, 0x0, 0, 0},
    {VsOp::Mov, "mov", VsOpKind::Vector, 1, 1, 0xF, 0, 0},
    {VsOp::Add, "add", VsOpKind::Vector, 2, 1, 0xF, 0, 0},
    {VsOp::Sub, "sub", VsOpKind::Vector, 2, 1, 0xF, 0, 0},
    {VsOp::Mad, "mad", VsOpKind::Vector, 3, 1, 0xF, 0, 0},
    {VsOp::Mul, "mul", VsOpKind::Vector, 2, 1, 0xF, 0, 0},
    {VsOp::Rcp, "rcp", VsOpKind::Scalar, 1, 1, 0xF, 0, 0},
    {VsOp::Rsq, "rsq", VsOpKind::Scalar, 1, 1, 0xF, 0, 0},
    {VsOp::Dp3, "dp3", VsOpKind::Dot, 2, 1, 0xF, 0, 3},
    {VsOp::Dp4, "dp4", VsOpKind::Dot, 2, 1, 0xF, 0, 4},
    {VsOp::Min, "min", VsOpKind::Vector, 2, 1, 0xF, 0, 0},
    {VsOp::Max, "max", VsOpKind::Vector, 2, 1, 0xF, 0, 0},
    {VsOp::Slt, "slt", VsOpKind::Vector, 2, 1, 0xF, 0, 0},
    {VsOp::Sge, "sge", VsOpKind::Vector, 2, 1, 0xF, 0, 0},
    {VsOp::Exp, "exp", VsOpKind::Scalar, 1, 10, 0xF, 0, 0},
    {VsOp::Log, "log", VsOpKind::Scalar, 1, 10, 0xF, 0, 0},
    {VsOp::Lit, "lit", VsOpKind::Special, 1, 3, 0xF, 0, 0},
    {VsOp::Dst, "dst", VsOpKind::Special, 2, 1, 0xF, 0, 0},
    {VsOp::Frc, "frc", VsOpKind::Vector, 1, 3, 0xF, 0, 0},
    {VsOp::M4x4, "m4x4", VsOpKind::Matrix, 2, 4, 0xF, 4, 4},
    {VsOp::M4x3, "m4x3", VsOpKind::Matrix, 2, 3, 0x7, 3, 4},
    {VsOp::M3x4, "m3x4", VsOpKind::Matrix, 2, 4, 0xF, 4, 3},
    {VsOp::M3x3, "m3x3", VsOpKind::Matrix, 2, 3, 0x7, 3, 3},
    {VsOp::M3x2, "m3x2", VsOpKind::Matrix, 2, 2, 0x3, 2, 3},
    {VsOp::Expp, "expp", VsOpKind::Scalar, 1, 1, 0xF, 0, 0},
    {VsOp::Logp, "logp", VsOpKind::Scalar, 1, 1, 0xF, 0, 0},
};

constexpr uint32_t kParamBit = 0x80000000u;
constexpr uint32_t kIndexBits = 0x7FFu;
constexpr uint32_t kRelativeBit = 1u << 13;
constexpr uint32_t kFileShift = 28;
constexpr uint32_t kFileBits = 0x7u << kFileShift;
constexpr uint32_t kMaskShift = 16;
constexpr uint32_t kSwizzleShift = 16;
constexpr uint32_t kModifierShift = 24;
constexpr uint32_t kNegateModifier = 1;
constexpr uint32_t kLengthShift = 24;
constexpr uint32_t kUsageIndexShift = 16;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

uint32_t RegisterLimit(VsReg file) {
  switch (file) {
    case VsReg::Temp: return kVsTempCount;
    case VsReg::Input: return kVsInputCount;
    case VsReg::Const: return kVsConstCount;
    case VsReg::Address: return 1;
    case VsReg::RastOut: return 3;
    case VsReg::AttrOut: return kVsColorOutCount;
    case VsReg::TexCrdOut: return kVsTexCoordOutCount;
  }
  return 0;
}

bool IsReplicated(uint8_t swizzle) {
  const uint32_t first = swizzle & 3u;
  return swizzle == first * 0x55u;
}

std::string CheckDestination(const VsInstruction& inst, const VsOpInfo& info) {
  const VsOperand& d = inst.dst;
  const std::string name = VsRegisterName(d);
  if (d.relative || d.negate) return "a destination cannot be negated or indexed";
  if (d.mask == 0 || d.mask > 0xF) return "bad write mask on " + name;
  if (d.file == VsReg::Input || d.file == VsReg::Const) {
    return "cannot write to read-only register " + name;
  }
  if (static_cast<uint32_t>(d.file) > static_cast<uint32_t>(VsReg::TexCrdOut)) {
    return "bad destination register";
  }
  if (d.index >= RegisterLimit(d.file)) return "register index out of range: " + name;
  if (d.file == VsReg::Address) {
    if (inst.op != VsOp::Mov) return "a0 can only be written by mov";
    if (d.mask != 0x1) return "a0 can only be written as a0.x";
  }
  if (d.file == VsReg::RastOut && d.index != kVsOutPos && d.mask != 0x1) {
    return name + " can only be written as " + name + ".x";
  }
  if (d.mask & ~info.naturalMask) {
    return Format("'%s' does not write every component of the mask on %s", info.name,
                  name.c_str());
  }
  return {};
}

std::string CheckSource(const VsInstruction& inst, const VsOpInfo& info, uint32_t s,
                        const VsInputDecl* inputs) {
  const VsOperand& o = inst.src[s];
  const std::string name = VsRegisterName(o);
  switch (o.file) {
    case VsReg::Temp:
    case VsReg::Input:
    case VsReg::Const:
      break;
    case VsReg::Address:
      return "a0 can only be used as an index (c[a0.x + n])";
    case VsReg::RastOut:
    case VsReg::AttrOut:
    case VsReg::TexCrdOut:
      return "cannot read output register " + name;
    default:
      return "bad source register";
  }
  if (o.relative && o.file != VsReg::Const) return "only constant registers can be indexed";
  const bool matrixOperand = info.kind == VsOpKind::Matrix && s == 1;
  const uint32_t last = o.index + (matrixOperand ? info.rows - 1u : 0u);
  if (last >= RegisterLimit(o.file)) {
    return "register index out of range: " + VsRegisterName(o.file, last, o.relative);
  }
  if (o.file == VsReg::Input && inputs) {
    for (uint32_t r = o.index; r <= last; ++r) {
      if (!inputs[r].used) return Format("v%u is read but not declared", r);
    }
  }
  if (info.kind == VsOpKind::Scalar && !IsReplicated(o.swizzle)) {
    return Format("'%s' takes a single source component (.x, .y, .z or .w)", info.name);
  }
  if (matrixOperand && (o.negate || o.swizzle != kVsSwizzleIdentity)) {
    return Format("the matrix operand of '%s' cannot be negated or swizzled", info.name);
  }
  return {};
}

// vs.1.1 hardware reads one constant register and one input register per instruction (the same
// register may be read through several operands).
std::string CheckReadPorts(const VsInstruction& inst) {
  const VsOperand* constant = nullptr;
  const VsOperand* input = nullptr;
  for (uint32_t s = 0; s < inst.srcCount; ++s) {
    const VsOperand& o = inst.src[s];
    const VsOperand** seen = o.file == VsReg::Const   ? &constant
                             : o.file == VsReg::Input ? &input
                                                      : nullptr;
    if (!seen) continue;
    if (*seen && !(*seen)->SameRegister(o)) {
      return o.file == VsReg::Const ? "an instruction can read only one constant register"
                                    : "an instruction can read only one input register";
    }
    *seen = &o;
  }
  return {};
}

uint32_t ParamToken(const VsOperand& o) {
  return kParamBit | (o.index & kIndexBits) | (static_cast<uint32_t>(o.file) << kFileShift) |
         (o.relative ? kRelativeBit : 0u);
}

bool DecodeDestination(uint32_t token, VsOperand* o) {
  const uint32_t known = kParamBit | kIndexBits | kFileBits | (0xFu << kMaskShift);
  if (!(token & kParamBit) || (token & ~known)) return false;
  o->file = static_cast<VsReg>((token & kFileBits) >> kFileShift);
  o->index = static_cast<uint16_t>(token & kIndexBits);
  o->mask = static_cast<uint8_t>((token >> kMaskShift) & 0xFu);
  return true;
}

bool DecodeSource(uint32_t token, VsOperand* o) {
  const uint32_t known = kParamBit | kIndexBits | kRelativeBit | kFileBits |
                         (0xFFu << kSwizzleShift) | (0xFu << kModifierShift);
  if (!(token & kParamBit) || (token & ~known)) return false;
  const uint32_t modifier = (token >> kModifierShift) & 0xFu;
  if (modifier > kNegateModifier) return false;
  o->file = static_cast<VsReg>((token & kFileBits) >> kFileShift);
  o->index = static_cast<uint16_t>(token & kIndexBits);
  o->relative = (token & kRelativeBit) != 0;
  o->swizzle = static_cast<uint8_t>(token >> kSwizzleShift);
  o->negate = modifier == kNegateModifier;
  return true;
}

}  // namespace

const VsOpInfo* FindVsOp(VsOp op) {
  for (const VsOpInfo& info : kOps) {
    if (info.op == op) return &info;
  }
  return nullptr;
}

const VsOpInfo* FindVsOpByName(const std::string& name) {
  for (const VsOpInfo& info : kOps) {
    if (name == info.name) return &info;
  }
  return nullptr;
}

std::string VsRegisterName(VsReg file, uint32_t index, bool relative) {
  switch (file) {
    case VsReg::Temp: return Format("r%u", index);
    case VsReg::Input: return Format("v%u", index);
    case VsReg::Const: return relative ? Format("c[a0.x+%u]", index) : Format("c%u", index);
    case VsReg::Address: return Format("a%u", index);
    case VsReg::RastOut:
      return index == kVsOutPos ? "oPos" : index == kVsOutFog ? "oFog"
                                       : index == kVsOutPts   ? "oPts"
                                                              : Format("oRast%u", index);
    case VsReg::AttrOut: return Format("oD%u", index);
    case VsReg::TexCrdOut: return Format("oT%u", index);
  }
  return Format("?%u", index);
}

std::string VsRegisterName(const VsOperand& operand) {
  return VsRegisterName(operand.file, operand.index, operand.relative);
}

const char* VsUsageName(uint8_t usage) {
  static const char* const kNames[] = {
      "position", "blendweight", "blendindices", "normal",    "psize", "texcoord", "tangent",
      "binormal", "tessfactor",  "positiont",    "color",     "fog",   "depth",    "sample",
  };
  return usage < sizeof kNames / sizeof kNames[0] ? kNames[usage] : nullptr;
}

uint8_t VsSourceReadMask(const VsInstruction& inst, uint32_t s) {
  const VsOpInfo* info = FindVsOp(inst.op);
  if (!info || s >= inst.srcCount) return 0;
  const VsOperand& o = inst.src[s];
  auto component = [&](uint32_t i) { return static_cast<uint8_t>(1u << o.Component(i)); };
  auto first = [&](uint32_t n) {
    uint8_t mask = 0;
    for (uint32_t i = 0; i < n; ++i) mask |= component(i);
    return mask;
  };
  switch (info->kind) {
    case VsOpKind::None:
      return 0;
    case VsOpKind::Vector: {
      uint8_t mask = 0;
      for (uint32_t i = 0; i < 4; ++i) {
        if (inst.dst.mask & (1u << i)) mask |= component(i);
      }
      return mask;
    }
    case VsOpKind::Dot:
      return first(info->cols);
    case VsOpKind::Scalar:
      return component(0);
    case VsOpKind::Matrix:
      return s == 0 ? first(info->cols) : static_cast<uint8_t>((1u << info->cols) - 1u);
    case VsOpKind::Special:
      if (inst.op == VsOp::Lit) return component(0) | component(1) | component(3);
      return s == 0 ? component(1) | component(2) : component(1) | component(3);
  }
  return 0;
}

std::string VsCheckInstruction(const VsInstruction& inst, const VsInputDecl* inputs) {
  const VsOpInfo* info = FindVsOp(inst.op);
  if (!info) return Format("unknown opcode %u", static_cast<uint32_t>(inst.op));
  if (inst.srcCount != info->srcCount) {
    return Format("'%s' takes %u source operands", info->name, info->srcCount);
  }
  if (info->kind == VsOpKind::None) return {};
  std::string problem = CheckDestination(inst, *info);
  if (!problem.empty()) return problem;
  for (uint32_t s = 0; s < inst.srcCount; ++s) {
    problem = CheckSource(inst, *info, s, inputs);
    if (!problem.empty()) return problem;
  }
  problem = CheckReadPorts(inst);
  if (!problem.empty()) return problem;
  if (info->kind == VsOpKind::Matrix) {
    // The macro expands into one dot product per row, each writing as it goes.
    const VsOperand& d = inst.dst;
    const VsOperand& rows = inst.src[1];
    const bool overlapsRows = !rows.relative && d.file == rows.file && d.index >= rows.index &&
                              d.index < rows.index + info->rows;
    if ((d.file == inst.src[0].file && d.index == inst.src[0].index) || overlapsRows) {
      return Format("the destination of '%s' cannot be one of its sources", info->name);
    }
  }
  return {};
}

std::string VsCheckDecl(const VsInputDecl* inputs, uint32_t reg, uint8_t usage,
                        uint8_t usageIndex) {
  if (reg >= kVsInputCount) return "register index out of range: " + VsRegisterName(VsReg::Input, reg);
  const char* usageName = VsUsageName(usage);
  if (!usageName) return Format("unknown usage %u", usage);
  if (usageIndex >= 16) return Format("usage index %u is out of range", usageIndex);
  if (inputs[reg].used) return Format("v%u is declared twice", reg);
  for (uint32_t r = 0; r < kVsInputCount; ++r) {
    if (inputs[r].used && inputs[r].usage == usage && inputs[r].usageIndex == usageIndex) {
      return Format("%s%u is declared twice (v%u and v%u)", usageName, usageIndex, r, reg);
    }
  }
  return {};
}

std::string VsCheckProgram(const VsProgram& program) {
  uint32_t slots = 0;
  uint8_t positionWritten = 0;
  for (const VsInstruction& inst : program.code) {
    const VsOpInfo* info = FindVsOp(inst.op);
    if (info) slots += info->slots;
    if (info && info->kind != VsOpKind::None && inst.dst.file == VsReg::RastOut &&
        inst.dst.index == kVsOutPos) {
      positionWritten |= inst.dst.mask;
    }
  }
  if (slots > kVsMaxSlots) {
    return Format("the program takes %u instruction slots; vs.1.1 has %u", slots, kVsMaxSlots);
  }
  if (positionWritten != 0xF) return "all four components of oPos must be written";
  return {};
}

std::vector<uint32_t> EncodeVsTokens(const VsProgram& program) {
  std::vector<uint32_t> tokens;
  tokens.push_back(kVsVersionToken);
  for (uint32_t r = 0; r < kVsInputCount; ++r) {
    const VsInputDecl& decl = program.inputs[r];
    if (!decl.used) continue;
    tokens.push_back(static_cast<uint32_t>(VsOp::Dcl) | (2u << kLengthShift));
    tokens.push_back(kParamBit | decl.usage | (uint32_t{decl.usageIndex} << kUsageIndexShift));
    VsOperand reg;
    reg.file = VsReg::Input;
    reg.index = static_cast<uint16_t>(r);
    tokens.push_back(ParamToken(reg) | (0xFu << kMaskShift));
  }
  for (const VsInstruction& inst : program.code) {
    const VsOpInfo* info = FindVsOp(inst.op);
    const uint32_t params = info && info->kind == VsOpKind::None ? 0u : 1u + inst.srcCount;
    tokens.push_back(static_cast<uint32_t>(inst.op) | (params << kLengthShift));
    if (params == 0) continue;
    tokens.push_back(ParamToken(inst.dst) | (uint32_t{inst.dst.mask} << kMaskShift));
    for (uint32_t s = 0; s < inst.srcCount; ++s) {
      const VsOperand& o = inst.src[s];
      tokens.push_back(ParamToken(o) | (uint32_t{o.swizzle} << kSwizzleShift) |
                       ((o.negate ? kNegateModifier : 0u) << kModifierShift));
    }
  }
  tokens.push_back(kVsEndToken);
  return tokens;
}

bool DecodeVsTokens(const uint32_t* tokens, VsProgram* program, std::string* why) {
  *program = VsProgram{};
  auto fail = [&](uint32_t at, const std::string& reason) {
    if (why) *why = Format("token %u: ", at) + reason;
    *program = VsProgram{};
    return false;
  };
  if (!tokens) return fail(0, "no tokens");
  if (tokens[0] != kVsVersionToken) return fail(0, "not a vs.1.1 token stream");
  uint32_t at = 1;
  for (;;) {
    if (at >= kVsMaxTokens) return fail(at, "no end token");
    const uint32_t head = tokens[at];
    if (head == kVsEndToken) break;
    const uint32_t start = at;
    if (head & (kParamBit | 0x00FF0000u | 0x70000000u)) return fail(start, "bad instruction token");
    const uint32_t params = (head >> kLengthShift) & 0xFu;
    if (at + 1 + params >= kVsMaxTokens) return fail(start, "no end token");
    const VsOp op = static_cast<VsOp>(head & 0xFFFFu);
    const uint32_t* p = tokens + at + 1;
    at += 1 + params;

    if (op == VsOp::Dcl) {
      if (!program->code.empty()) return fail(start, "dcl after an instruction");
      VsOperand reg;
      if (params != 2 || !(p[0] & kParamBit) || (p[0] & ~(kParamBit | 0x1Fu | (0xFu << kUsageIndexShift))) ||
          !DecodeDestination(p[1], &reg) || reg.file != VsReg::Input || reg.mask == 0) {
        return fail(start, "bad dcl");
      }
      const uint8_t usage = static_cast<uint8_t>(p[0] & 0x1Fu);
      const uint8_t usageIndex = static_cast<uint8_t>((p[0] >> kUsageIndexShift) & 0xFu);
      const std::string problem = VsCheckDecl(program->inputs, reg.index, usage, usageIndex);
      if (!problem.empty()) return fail(start, problem);
      program->inputs[reg.index] = VsInputDecl{true, usage, usageIndex};
      continue;
    }

    const VsOpInfo* info = FindVsOp(op);
    if (!info) return fail(start, Format("unknown opcode %u", static_cast<uint32_t>(op)));
    const uint32_t expected = info->kind == VsOpKind::None ? 0u : 1u + info->srcCount;
    if (params != expected) return fail(start, Format("'%s' with %u parameters", info->name, params));
    VsInstruction inst;
    inst.op = op;
    inst.srcCount = info->srcCount;
    if (params > 0 && !DecodeDestination(p[0], &inst.dst)) return fail(start, "bad destination token");
    for (uint32_t s = 0; s < inst.srcCount; ++s) {
      if (!DecodeSource(p[1 + s], &inst.src[s])) return fail(start, "bad source token");
    }
    const std::string problem = VsCheckInstruction(inst, program->inputs);
    if (!problem.empty()) return fail(start, problem);
    program->code.push_back(inst);
  }
  const std::string problem = VsCheckProgram(*program);
  if (!problem.empty()) return fail(at, problem);
  return true;
}

}  // namespace gfx
