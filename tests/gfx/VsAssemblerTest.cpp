// The vs.1.1 assembler: the engine's shader texts with its register names, the operand syntax,
// the messages for broken texts, and the token stream CreateVertexShader reads.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Platform/Gfx/D3DX.h"
#include "Platform/Gfx/VsAssembler.h"
#include "Platform/Gfx/VsInstruction.h"
#include "tests/gfx/VsShaderTexts.h"

using namespace gfx;

namespace {

struct Assembled {
  HRESULT result = D3D_OK;
  std::vector<uint32_t> tokens;
  std::string messages;
  bool messagesTerminated = true;
};

Assembled Assemble(const std::string& text, const D3DXMACRO* macros = vstext::kMacros) {
  Assembled out;
  D3DXBuffer* code = nullptr;
  D3DXBuffer* errors = nullptr;
  out.result = D3DXAssembleShader(text.c_str(), static_cast<uint32_t>(text.size()), macros,
                                  nullptr, 0, &code, &errors);
  if (code) {
    const uint32_t* words = static_cast<const uint32_t*>(code->GetBufferPointer());
    out.tokens.assign(words, words + code->GetBufferSize() / 4);
    code->Release();
  }
  if (errors) {
    const char* msg = static_cast<const char*>(errors->GetBufferPointer());
    const uint32_t size = errors->GetBufferSize();
    out.messagesTerminated = size > 0 && msg[size - 1] == '\0' && std::strlen(msg) == size - 1;
    out.messages = msg;
    errors->Release();
  }
  return out;
}

VsProgram Decode(const std::vector<uint32_t>& tokens) {
  VsProgram program;
  std::string why;
  EXPECT_TRUE(DecodeVsTokens(tokens.data(), &program, &why)) << why;
  return program;
}

// The one instruction of "vs.1.1 / dcl_position v0 / <line> / mov oPos, v0" that is not the
// last, decoded; the assembly must succeed.
VsInstruction One(const std::string& line) {
  const Assembled a = Assemble("vs.1.1\ndcl_position v0\n" + line + "\nmov oPos, v0\n");
  EXPECT_EQ(a.result, D3D_OK) << line << "\n" << a.messages;
  if (a.result != D3D_OK) return {};
  const VsProgram program = Decode(a.tokens);
  EXPECT_EQ(program.code.size(), 2u) << line;
  return program.code.empty() ? VsInstruction{} : program.code[0];
}

uint8_t Swizzle(int x, int y, int z, int w) {
  return static_cast<uint8_t>(x | (y << 2) | (z << 4) | (w << 6));
}

// The messages of a text that must fail.
std::string Failure(const std::string& text) {
  const Assembled a = Assemble(text);
  EXPECT_EQ(a.result, E_FAIL) << text;
  EXPECT_TRUE(a.tokens.empty());
  EXPECT_TRUE(a.messagesTerminated);
  return a.messages;
}

TEST(VsAssembler, AssemblesTheQuotedShadersWithTheRegisterNames) {
  int count = 0;
  for (const D3DXMACRO* m = vstext::kMacros; m->Name; ++m) ++count;
  EXPECT_EQ(count, vstext::kMacroCount);

  const Assembled unlit = Assemble(vstext::kUnlitMesh);
  ASSERT_EQ(unlit.result, D3D_OK) << unlit.messages;
  EXPECT_EQ(unlit.messages, "");
  ASSERT_GE(unlit.tokens.size(), 2u);
  EXPECT_EQ(unlit.tokens.front(), 0xFFFE0101u);
  EXPECT_EQ(unlit.tokens.back(), 0x0000FFFFu);
  const VsProgram p1 = Decode(unlit.tokens);
  ASSERT_EQ(p1.code.size(), 9u);
  const uint8_t usages[4] = {D3DDECLUSAGE_POSITION, D3DDECLUSAGE_NORMAL, D3DDECLUSAGE_COLOR,
                             D3DDECLUSAGE_TEXCOORD};
  for (uint32_t r = 0; r < kVsInputCount; ++r) {
    EXPECT_EQ(p1.inputs[r].used, r < 4) << r;
    if (r < 4) {
      EXPECT_EQ(p1.inputs[r].usage, usages[r]);
      EXPECT_EQ(p1.inputs[r].usageIndex, 0);
    }
  }
  // mul r11, v0.x, c0
  const VsInstruction& mul = p1.code[0];
  EXPECT_EQ(mul.op, VsOp::Mul);
  EXPECT_EQ(mul.dst.file, VsReg::Temp);
  EXPECT_EQ(mul.dst.index, 11);
  EXPECT_EQ(mul.dst.mask, 0xF);
  EXPECT_EQ(mul.src[0].file, VsReg::Input);
  EXPECT_EQ(mul.src[0].index, 0);
  EXPECT_EQ(mul.src[0].swizzle, Swizzle(0, 0, 0, 0));
  EXPECT_EQ(mul.src[1].file, VsReg::Const);
  EXPECT_EQ(mul.src[1].index, 0);
  EXPECT_EQ(mul.src[1].swizzle, kVsSwizzleIdentity);
  // mad r11, v0.w, c3, r11
  EXPECT_EQ(p1.code[3].src[0].swizzle, Swizzle(3, 3, 3, 3));
  EXPECT_EQ(p1.code[3].src[1].index, 3);
  // mov r10.w, c5.w
  EXPECT_EQ(p1.code[6].op, VsOp::Mov);
  EXPECT_EQ(p1.code[6].dst.mask, 0x8);
  EXPECT_EQ(p1.code[6].src[0].file, VsReg::Const);
  EXPECT_EQ(p1.code[6].src[0].index, 5);
  // mov oT0, v3
  EXPECT_EQ(p1.code[8].dst.file, VsReg::TexCrdOut);
  EXPECT_EQ(p1.code[8].dst.index, 0);
  EXPECT_EQ(p1.code[8].src[0].index, 3);

  const Assembled screen = Assemble(vstext::kScreen);
  ASSERT_EQ(screen.result, D3D_OK) << screen.messages;
  EXPECT_EQ(screen.messages, "");
  const VsProgram p5 = Decode(screen.tokens);
  ASSERT_EQ(p5.code.size(), 6u);
  EXPECT_EQ(p5.inputs[1].usage, D3DDECLUSAGE_COLOR);
  EXPECT_EQ(p5.inputs[2].usage, D3DDECLUSAGE_TEXCOORD);
  EXPECT_FALSE(p5.inputs[3].used);
  // mov oPos.w, v0.z
  EXPECT_EQ(p5.code[1].dst.file, VsReg::RastOut);
  EXPECT_EQ(p5.code[1].dst.index, kVsOutPos);
  EXPECT_EQ(p5.code[1].dst.mask, 0x8);
  EXPECT_EQ(p5.code[1].src[0].swizzle, Swizzle(2, 2, 2, 2));
}

TEST(VsAssembler, AssemblesAllSevenShadersWithoutMessages) {
  for (const vstext::Named& shader : vstext::kAll) {
    const Assembled a = Assemble(shader.text);
    EXPECT_EQ(a.result, D3D_OK) << shader.name << "\n" << a.messages;
    EXPECT_EQ(a.messages, "") << shader.name;
    if (a.result != D3D_OK) continue;
    // What goes out decodes and encodes back to the same words.
    EXPECT_EQ(EncodeVsTokens(Decode(a.tokens)), a.tokens) << shader.name;
  }
  // The water shader's second coordinate set and the skinned shaders' relative bone reads.
  const VsProgram water = Decode(Assemble(vstext::kWater).tokens);
  EXPECT_TRUE(water.inputs[7].used);
  EXPECT_EQ(water.inputs[7].usage, D3DDECLUSAGE_TEXCOORD);
  EXPECT_EQ(water.inputs[7].usageIndex, 1);
  EXPECT_EQ(water.inputs[3].usageIndex, 0);
  const VsProgram skinned = Decode(Assemble(vstext::kUnlitSkinned).tokens);
  ASSERT_GE(skinned.code.size(), 4u);
  EXPECT_EQ(skinned.code[2].dst.file, VsReg::Address);
  EXPECT_EQ(skinned.code[3].op, VsOp::M4x3);
  EXPECT_EQ(skinned.code[3].dst.mask, 0x7);  // m4x3 writes xyz
  EXPECT_TRUE(skinned.code[3].src[1].relative);
  EXPECT_EQ(skinned.code[3].src[1].index, 0);
}

TEST(VsAssembler, MacroNamesReplaceWholeIdentifiersOnly) {
  const D3DXMACRO macros[] = {{"Water1", "c13"}, {"Water10", "c22"}, {"Alias", "Water1.y"},
                              {"Self", "Self.x"}, {"Empty", nullptr},  {nullptr, nullptr}};
  EXPECT_EQ(VsExpandMacros("Water1,Water10 Water1.x xWater1 Water1_ _Water1 1Water1", macros),
            "c13,c22 c13.x xWater1 Water1_ _Water1 1Water1");
  // A definition is expanded in turn, but never inside itself.
  EXPECT_EQ(VsExpandMacros("Alias Self [Empty]", macros), "c13.y Self.x []");
  EXPECT_EQ(VsExpandMacros("Water1", nullptr), "Water1");

  // Through the assembler: Water10 is c22, not c13 followed by a stray 0.
  const VsInstruction mov = One("mov r0, Water10");
  EXPECT_EQ(mov.src[0].file, VsReg::Const);
  EXPECT_EQ(mov.src[0].index, 22);
  // A replacement carrying a swizzle: value0 is c4.x.
  const VsInstruction max = One("max r0, v0, value0");
  EXPECT_EQ(max.src[1].index, 4);
  EXPECT_EQ(max.src[1].swizzle, Swizzle(0, 0, 0, 0));
  // Names are case-sensitive: WATER1 is not a name, so it is a bad register.
  EXPECT_NE(Failure("vs.1.1\ndcl_position v0\nmov r0, WATER1\nmov oPos, v0\n")
                .find("(line 3): error: bad register 'WATER1'"),
            std::string::npos);
}

TEST(VsAssembler, ReadsEveryOperandForm) {
  // Relative constant reads, written every way Direct3D's assembler takes them.
  for (const char* form : {"c[a0.x+13]", "c[ a0.x + 13 ]", "c[13+a0.x]", "c13[a0.x]",
                           "c[a0.x + 13].xyzw"}) {
    const Assembled a =
        Assemble(std::string("vs.1.1\ndcl_position v0\nmov a0.x, v0.x\nmov r0, ") + form +
                 "\nmov oPos, v0\n");
    ASSERT_EQ(a.result, D3D_OK) << form << a.messages;
    const VsProgram program = Decode(a.tokens);
    ASSERT_EQ(program.code.size(), 3u);
    const VsOperand& src = program.code[1].src[0];
    EXPECT_TRUE(src.relative) << form;
    EXPECT_EQ(src.index, 13) << form;
  }
  EXPECT_FALSE(One("mov r0, c[7]").src[0].relative);
  EXPECT_EQ(One("mov r0, c[7]").src[0].index, 7);

  // Negation, replicated swizzles, write masks.
  const VsInstruction neg = One("mov r1.xz, -v0.yx");
  EXPECT_TRUE(neg.src[0].negate);
  EXPECT_EQ(neg.src[0].swizzle, Swizzle(1, 0, 0, 0));  // .yx is .yxxx
  EXPECT_EQ(neg.dst.mask, 0x5);
  EXPECT_EQ(One("mov r1, v0.xyz").src[0].swizzle, Swizzle(0, 1, 2, 2));
  EXPECT_EQ(One("mov r1, - v0.wzyx").src[0].swizzle, Swizzle(3, 2, 1, 0));
  EXPECT_TRUE(One("mov r1, - v0").src[0].negate);

  // Operands apart by commas, tabs or spaces alone; any case for opcodes and registers.
  const VsInstruction mad = One("MAD R2 V0\tC1 , r2");
  EXPECT_EQ(mad.op, VsOp::Mad);
  EXPECT_EQ(mad.dst.index, 2);
  EXPECT_EQ(mad.src[1].file, VsReg::Const);
  EXPECT_EQ(mad.src[2].file, VsReg::Temp);

  // A scalar instruction reads .w unless told otherwise.
  EXPECT_EQ(One("rcp r0, v0").src[0].swizzle, Swizzle(3, 3, 3, 3));
  EXPECT_EQ(One("rsq r0, v0.y").src[0].swizzle, Swizzle(1, 1, 1, 1));
  // Scalar outputs take their one component.
  EXPECT_EQ(One("mov oFog, v0.y").dst.mask, 0x1);
  EXPECT_EQ(One("mov oPts, v0.y").dst.mask, 0x1);

  // Comments of every kind, Windows line ends, blank lines, vs_1_1.
  const Assembled commented = Assemble(
      "// header\r\n  vs_1_1 ; version\r\n\r\ndcl_position v0 // input\r\n/* a\r\nblock */ "
      "mov oPos, v0 ; done\r\n");
  ASSERT_EQ(commented.result, D3D_OK) << commented.messages;
  EXPECT_EQ(Decode(commented.tokens).code.size(), 1u);

  // The length given is all that is read, and a NUL ends the text early.
  const std::string text = "vs.1.1\ndcl_position v0\nmov oPos, v0\nbogus line\n";
  D3DXBuffer* code = nullptr;
  EXPECT_EQ(D3DXAssembleShader(text.c_str(), static_cast<uint32_t>(text.find("bogus")), nullptr,
                               nullptr, 0, &code, nullptr),
            D3D_OK);
  if (code) code->Release();
  const char withNul[] = "vs.1.1\ndcl_position v0\nmov oPos, v0\n\0bogus line\n";
  EXPECT_EQ(D3DXAssembleShader(withNul, sizeof withNul, nullptr, nullptr, 0, nullptr, nullptr),
            D3D_OK);
  EXPECT_EQ(D3DXAssembleShader(nullptr, 10, nullptr, nullptr, 0, nullptr, nullptr),
            D3DERR_INVALIDCALL);
}

TEST(VsAssembler, ReportsErrorsWithLineNumbers) {
  const std::string header = "vs.1.1\ndcl_position v0\n";
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {header + "mvo r0, v0\nmov oPos, v0\n", "(line 3): error: unknown instruction 'mvo'"},
      {header + "mov oPos, v0\nmov r0, c300\n", "(line 4): error: register index out of range: 'c300'"},
      {header + "mov r0, c[a0.x+256]\nmov oPos, v0\n", "(line 3): error: register index out of range"},
      {header + "mov r12, v0\nmov oPos, v0\n", "(line 3): error: register index out of range: 'r12'"},
      {"dcl_position v0\nmov oPos, v0\n", "(line 1): error: the first statement must be vs.1.1"},
      {"", "(line 1): error: the first statement must be vs.1.1"},
      {"; only a comment\n", "(line 1): error: the first statement must be vs.1.1"},
      {header + "mov r0, v0.xq\nmov oPos, v0\n", "(line 3): error: bad swizzle '.xq'"},
      {header + "mov r0, v0.xyzwx\nmov oPos, v0\n", "(line 3): error: bad swizzle"},
      {header + "mov r0.yx, v0\nmov oPos, v0\n", "(line 3): error: bad write mask '.yx'"},
      {header + "mov r0.xx, v0\nmov oPos, v0\n", "(line 3): error: bad write mask"},
      {header + "mov r0, v0, v0\nmov oPos, v0\n", "(line 3): error: 'mov' takes 2 operands, got 3"},
      {header + "mad r0, v0, c0\nmov oPos, v0\n", "(line 3): error: 'mad' takes 4 operands, got 3"},
      {header + "mov v0, c0\nmov oPos, v0\n", "(line 3): error: cannot write to read-only register v0"},
      {header + "mov c3, v0\nmov oPos, v0\n", "(line 3): error: cannot write to read-only register c3"},
      {header + "mov r0, oPos\nmov oPos, v0\n", "(line 3): error: cannot read output register oPos"},
      {header + "mov r0, x5\nmov oPos, v0\n", "(line 3): error: bad register 'x5'"},
      {header + "mov r0, v1\nmov oPos, v0\n", "(line 3): error: v1 is read but not declared"},
      {header + "add r0, c0, c1\nmov oPos, v0\n", "(line 3): error: an instruction can read only one constant register"},
      {"vs.1.1\ndcl_position v0\ndcl_normal v1\nadd r0, v0, v1\nmov oPos, v0\n", "(line 4): error: an instruction can read only one input register"},
      {header + "add a0.x, v0, v0\nmov oPos, v0\n", "(line 3): error: a0 can only be written by mov"},
      {header + "mov a0.y, v0\nmov oPos, v0\n", "(line 3): error: a0 can only be written as a0.x"},
      {header + "mov r0, a0\nmov oPos, v0\n", "(line 3): error: a0 can only be used as an index"},
      {header + "mov r0, v0[a0.x]\nmov oPos, v0\n", "(line 3): error: bad register 'v0[a0.x]'"},
      {header + "mov r0, c[a0.y]\nmov oPos, v0\n", "(line 3): error: bad index in 'c[a0.y]'"},
      {header + "mov oFog.y, v0\nmov oPos, v0\n", "(line 3): error: oFog can only be written as oFog.x"},
      {header + "m4x3 r0.xyzw, v0, c0\nmov oPos, v0\n", "(line 3): error: 'm4x3' does not write every component"},
      {header + "m4x4 r0, v0, c253\nmov oPos, v0\n", "(line 3): error: register index out of range: c256"},
      {header + "mov r1, v0\nm4x4 r1, r1, c0\nmov oPos, v0\n", "(line 4): error: the destination of 'm4x4' cannot be one of its sources"},
      {header + "m4x4 r0, v0, -c0\nmov oPos, v0\n", "(line 3): error: the matrix operand of 'm4x4' cannot be negated or swizzled"},
      {header + "rcp r0, v0.xy\nmov oPos, v0\n", "(line 3): error: 'rcp' takes a single source component"},
      {header + "mov oPos, v0\ndcl_normal v1\n", "(line 4): error: dcl_normal must come before the instructions"},
      {header + "dcl_normal v0\nmov oPos, v0\n", "(line 3): error: v0 is declared twice"},
      {header + "dcl_position1 v1\ndcl_position v2\nmov oPos, v0\n", "(line 4): error: position0 is declared twice"},
      {header + "dcl_colour v1\nmov oPos, v0\n", "(line 3): error: unknown declaration 'dcl_colour'"},
      {header + "dcl_color r1\nmov oPos, v0\n", "(line 3): error: dcl_color declares an input register"},
      {"vs.2.0\ndcl_position v0\nmov oPos, v0\n", "(line 1): error: unsupported shader version 'vs.2.0'"},
      {header + "vs.1.1\nmov oPos, v0\n", "(line 3): error: the version may only be the first statement"},
      {header + "mov oPos.xyz, v0\n", "(line 3): error: all four components of oPos must be written"},
      {header + "mov r0, v0,, \nmov oPos, v0\n", "(line 3): error: empty operand"},
      {header + "mov r0, -\nmov oPos, v0\n", "(line 3): error: bad register '-'"},
      {header + "mov -r0, v0\nmov oPos, v0\n", "(line 3): error: a destination cannot be negated"},
      {header + "mov r0, v0*2\nmov oPos, v0\n", "(line 3): error: bad register 'v0*2'"},
  };
  for (const Case& c : cases) {
    const std::string messages = Failure(c.text);
    EXPECT_NE(messages.find(c.expected), std::string::npos)
        << "text:\n" << c.text << "\nmessages:\n" << messages;
  }

  // Every bad line is reported, each with its own number.
  const std::string several = Failure(header + "foo\nmov r0, c999\nmov oPos, v0\nbar r0\n");
  EXPECT_NE(several.find("(line 3): error: unknown instruction 'foo'"), std::string::npos);
  EXPECT_NE(several.find("(line 4): error: register index out of range"), std::string::npos);
  EXPECT_NE(several.find("(line 6): error: unknown instruction 'bar'"), std::string::npos);

  // vs.1.1 has 128 instruction slots; m4x4 takes four.
  std::string longText = header;
  for (int i = 0; i < 32; ++i) longText += "m4x4 r0, v0, c0\n";
  longText += "mov oPos, r0\n";
  EXPECT_NE(Failure(longText).find("instruction slots"), std::string::npos);
  std::string fits = header;
  for (int i = 0; i < 31; ++i) fits += "m4x4 r0, v0, c0\n";
  fits += "mov oPos, r0\n";
  EXPECT_EQ(Assemble(fits).result, D3D_OK);

  // A flood of bad lines gives a bounded message text.
  std::string flood = header;
  for (int i = 0; i < 5000; ++i) flood += "nonsense\n";
  EXPECT_LT(Failure(flood).size(), 8000u);
}

TEST(VsAssembler, WarningsComeBackWithSuccess) {
  const Assembled a = Assemble(
      "vs.1.1\ndcl_position v0\nmov r0.xy, v0\nadd r1, r0, v0\nmov r2.x, c[a0.x + 1]\n"
      "m4x4 r3, v0, r5\nmov oPos, r1\n");
  ASSERT_EQ(a.result, D3D_OK) << a.messages;
  EXPECT_FALSE(a.tokens.empty());
  EXPECT_TRUE(a.messagesTerminated);
  EXPECT_NE(a.messages.find("(line 4): warning: r0.zw is read before it is written"),
            std::string::npos)
      << a.messages;
  EXPECT_NE(a.messages.find("(line 5): warning: a0 is used before it is written"),
            std::string::npos);
  // Every row register of the matrix operand counts.
  for (const char* row : {"r5.xyzw", "r6.xyzw", "r7.xyzw", "r8.xyzw"}) {
    EXPECT_NE(a.messages.find(std::string("(line 6): warning: ") + row), std::string::npos) << row;
  }
  EXPECT_EQ(a.messages.find("error"), std::string::npos);
  // Components that are read only where the mask writes do not count: r0.xy only.
  EXPECT_EQ(Assemble("vs.1.1\ndcl_position v0\nmov r0.xy, v0\nadd r1.xy, r0, v0\n"
                     "dp3 r2.x, r1.xyyy, v0\nmov r3.yz, v0\nmov r4.yw, v0\ndst r5, r3, r4\n"
                     "mov oPos, v0\n")
                .messages,
            "");
}

TEST(VsTokens, DecodingRefusesStreamsTheAssemblerWouldNotMake) {
  const Assembled a = Assemble(vstext::kUnlitMesh);
  ASSERT_EQ(a.result, D3D_OK);
  const std::vector<uint32_t> good = a.tokens;
  VsProgram program;
  std::string why;
  ASSERT_TRUE(DecodeVsTokens(good.data(), &program, &why));

  auto refused = [&](std::vector<uint32_t> tokens, const char* what) {
    VsProgram out;
    std::string reason;
    EXPECT_FALSE(DecodeVsTokens(tokens.data(), &out, &reason)) << what;
    EXPECT_FALSE(reason.empty()) << what;
    EXPECT_TRUE(out.code.empty()) << what;
  };
  // Layout of the first instruction after the four dcl groups: [op][dst][src0][src1].
  const size_t first = 1 + 4 * 3;
  ASSERT_EQ(good[first] & 0xFFFF, static_cast<uint32_t>(VsOp::Mul));

  std::vector<uint32_t> t = good;
  t[0] = 0xFFFE0200u;  // vs.2.0
  refused(t, "version");
  EXPECT_FALSE(DecodeVsTokens(nullptr, &program, &why));
  t = good;
  t[first] = (t[first] & ~0xFFFFu) | 0x55u;
  refused(t, "unknown opcode");
  t = good;
  t[first] = (t[first] & 0xFFFFu) | (2u << 24);  // a parameter short
  refused(t, "parameter count");
  t = good;
  t[first + 2] &= ~0x80000000u;
  refused(t, "parameter bit");
  t = good;
  t[first + 3] = (t[first + 3] & ~0x7FFu) | 300u;  // c300
  refused(t, "constant out of range");
  t = good;
  t[first + 1] = (t[first + 1] & ~0x70000000u) | (1u << 28);  // destination v11
  refused(t, "read-only destination");
  t = good;
  t[first + 1] = (t[first + 1] & ~0x700007FFu) | kVsTempCount;  // r12
  refused(t, "destination out of range");
  t = good;
  t[first + 2] = (t[first + 2] & ~0x7FFu) | 9u;  // v9 is not declared
  refused(t, "undeclared input");
  t = good;
  t[first + 2] |= 5u << 24;  // unknown modifier
  refused(t, "modifier");
  t = good;
  t[first + 1] |= 1u << 13;  // relative destination
  refused(t, "relative destination");

  // No end token: walked only kVsMaxTokens words, then refused (the buffer is that long).
  std::vector<uint32_t> endless(kVsMaxTokens + 16, 0u);  // nop after nop
  endless[0] = kVsVersionToken;
  refused(endless, "no end token");
  // A stream cut before oPos is written.
  t = good;
  t.resize(first);
  t.push_back(kVsEndToken);
  refused(t, "no oPos");
}

}  // namespace
