#pragma once
// The decoded form of a vs.1.1 program, shared by the assembler (which builds it), the token
// stream (which carries it from D3DXAssembleShader to CreateVertexShader), the GLSL emitter and
// the CPU evaluator. The rules a program must keep live here too, so the assembler and the
// token decoder refuse exactly the same things.
//
// Token stream layout (32-bit words; numbering follows Direct3D 9's so a dump reads familiarly):
//   kVsVersionToken (0xFFFE0101)
//   per statement: an instruction token, then its parameter tokens
//     instruction token: bits 0-15 opcode (VsOp), bits 24-27 count of parameter tokens, bit 31 0
//     dcl:         [instruction][usage token][destination token]
//                  usage token: bit 31 set, bits 0-4 usage (D3DDECLUSAGE), bits 16-19 usage index
//     other ops:   [instruction][destination token][source tokens...] (nop: no parameters)
//     register tokens: bit 31 set, bits 0-10 register index, bits 28-30 register file (VsReg),
//                  bit 13 relative (c[a0.x + index], sources only)
//       destination: bits 16-19 write mask (bit 16 = x)
//       source:      bits 16-23 swizzle (two bits per component, x first; 0 = x .. 3 = w),
//                    bits 24-27 modifier (0 none, 1 negate)
//   kVsEndToken (0x0000FFFF)

#include <cstdint>
#include <string>
#include <vector>

#include "Platform/Gfx/D3DTypes.h"

namespace gfx {

constexpr uint32_t kVsVersionToken = D3DVS_VERSION(1, 1);
constexpr uint32_t kVsEndToken = 0x0000FFFFu;

constexpr uint32_t kVsInputCount = 16;
constexpr uint32_t kVsTempCount = 12;
constexpr uint32_t kVsConstCount = 256;
constexpr uint32_t kVsColorOutCount = 2;
constexpr uint32_t kVsTexCoordOutCount = 8;
// vs.1.1 gives a program 128 instruction slots; macros such as m4x4 take several.
constexpr uint32_t kVsMaxSlots = 128;
// A token stream is walked only this far looking for its end token.
constexpr uint32_t kVsMaxTokens = 16384;

enum class VsOp : uint16_t {
  Nop = 0,
  Mov = 1,
  Add = 2,
  Sub = 3,
  Mad = 4,
  Mul = 5,
  Rcp = 6,
  Rsq = 7,
  Dp3 = 8,
  Dp4 = 9,
  Min = 10,
  Max = 11,
  Slt = 12,
  Sge = 13,
  Exp = 14,
  Log = 15,
  Lit = 16,
  Dst = 17,
  Frc = 19,
  M4x4 = 20,
  M4x3 = 21,
  M3x4 = 22,
  M3x3 = 23,
  M3x2 = 24,
  Dcl = 31,
  Expp = 78,
  Logp = 79,
};

enum class VsReg : uint8_t {
  Temp = 0,       // r0-r11
  Input = 1,      // v0-v15
  Const = 2,      // c0-c255
  Address = 3,    // a0
  RastOut = 4,    // oPos, oFog, oPts (indices below)
  AttrOut = 5,    // oD0, oD1
  TexCrdOut = 6,  // oT0-oT7
};
constexpr uint32_t kVsOutPos = 0;
constexpr uint32_t kVsOutFog = 1;
constexpr uint32_t kVsOutPts = 2;

constexpr uint8_t kVsSwizzleIdentity = 0xE4;  // x y z w

// How an opcode combines its sources.
enum class VsOpKind : uint8_t {
  None,     // nop
  Vector,   // per component: mov add sub mul mad min max slt sge frc
  Dot,      // dp3 dp4: one value in every written component
  Scalar,   // one source component in: rcp rsq exp log expp logp
  Matrix,   // m4x4 ... m3x2: a dot product per row register
  Special,  // lit dst
};

struct VsOpInfo {
  VsOp op;
  const char* name;
  VsOpKind kind;
  uint8_t srcCount;
  uint8_t slots;        // vs.1.1 instruction slots taken
  uint8_t naturalMask;  // components written when no mask is given
  uint8_t rows;         // matrix ops: source registers src1 .. src1 + rows - 1
  uint8_t cols;         // matrix ops and dot products: components dotted
};

// Null for opcodes outside vs.1.1 (and for dcl).
const VsOpInfo* FindVsOp(VsOp op);
// By lower-case mnemonic; null when unknown.
const VsOpInfo* FindVsOpByName(const std::string& name);

struct VsOperand {
  VsReg file = VsReg::Temp;
  uint16_t index = 0;
  bool relative = false;  // c[a0.x + index]
  bool negate = false;
  uint8_t swizzle = kVsSwizzleIdentity;  // sources
  uint8_t mask = 0xF;                    // destinations: bit 0 x .. bit 3 w

  uint32_t Component(uint32_t i) const { return (swizzle >> (2 * i)) & 3u; }
  bool SameRegister(const VsOperand& other) const {
    return file == other.file && index == other.index && relative == other.relative;
  }
};

struct VsInstruction {
  VsOp op = VsOp::Nop;
  VsOperand dst;
  VsOperand src[3];
  uint8_t srcCount = 0;
  uint32_t line = 0;  // source line, 0 when decoded from tokens
};

// What a dcl_ line says of one input register.
struct VsInputDecl {
  bool used = false;  // declared
  uint8_t usage = 0;  // D3DDECLUSAGE
  uint8_t usageIndex = 0;
};

struct VsProgram {
  VsInputDecl inputs[kVsInputCount];
  std::vector<VsInstruction> code;
};

// "r3", "v0", "c12", "c[a0.x+13]", "a0", "oPos", "oD1", "oT0", ...
std::string VsRegisterName(VsReg file, uint32_t index, bool relative = false);
std::string VsRegisterName(const VsOperand& operand);
// "position", "texcoord", ...; null for usages a dcl_ cannot name.
const char* VsUsageName(uint8_t usage);

// Components of the source register `s` that the instruction reads (bit 0 x .. bit 3 w); for the
// matrix operand of m4x4 and its kind, the mask applies to each of its row registers.
uint8_t VsSourceReadMask(const VsInstruction& inst, uint32_t s);

// The rules of one instruction of a program whose inputs are declared as `inputs`: operand
// files, index ranges, masks and swizzles the opcode allows, the vs.1.1 read-port limits (one
// constant register and one input register per instruction). Empty when it is sound, else the
// message.
std::string VsCheckInstruction(const VsInstruction& inst, const VsInputDecl* inputs);
// The rules of a dcl of input `reg` given those before it. Empty when sound.
std::string VsCheckDecl(const VsInputDecl* inputs, uint32_t reg, uint8_t usage,
                        uint8_t usageIndex);
// Whole-program rules: all of oPos written, at most kVsMaxSlots slots. Empty when sound.
std::string VsCheckProgram(const VsProgram& program);

std::vector<uint32_t> EncodeVsTokens(const VsProgram& program);
// Decodes and checks a token stream (walked until its end token, at most kVsMaxTokens words).
// False with the reason in *why when it is not one the assembler would have produced.
bool DecodeVsTokens(const uint32_t* tokens, VsProgram* program, std::string* why);

}  // namespace gfx
