#pragma once
// The engine's register names and vertex-shader texts as the tests feed them to the assembler:
// the unlit mesh and screen shaders as the engine has them, and the other five written from
// what each must compute (the engine's own shader set keeps its own copies).

#include "Platform/Gfx/D3DTypes.h"

namespace vstext {

inline const gfx::D3DXMACRO kMacros[] = {
    {"vertXYZ", "v0"},        {"vertNORM", "v1"},       {"vertARGB", "v2"},
    {"vertUV", "v3"},         {"vertWEIGHT1", "v4"},    {"vertINDEX", "v5"},
    {"matrixMCPr0", "c0"},    {"matrixMCPr1", "c1"},    {"matrixMCPr2", "c2"},
    {"matrixMCPr3", "c3"},    {"value0", "c4.x"},       {"value1", "c4.y"},
    {"valuem96", "c4.z"},     {"value256", "c4.w"},     {"light_D0_DIR", "c6"},
    {"light_D1_DIR", "c7"},   {"light_D2_DIR", "c8"},   {"light_D0_RGBA", "c9"},
    {"light_D1_RGBA", "c10"}, {"light_D2_RGBA", "c11"}, {"GlobalAmbient", "c12"},
    {"Water1", "c13"},        {"Water2", "c14"},        {"Water3", "c15"},
    {"Water6", "c18"},        {"Water7", "c19"},        {"Water8", "c20"},
    {"Water9", "c21"},        {"Water10", "c22"},       {"Water11", "c23"},
    {"Water12", "c24"},       {"Water14", "c26"},       {"ProMat1", "c27"},
    {"ProMat2", "c28"},       {"ProMat3", "c29"},       {"ProMat4", "c30"},
    {"RGBAMult", "c5"},       {nullptr, nullptr},
};
constexpr int kMacroCount = 37;

// 1: unlit mesh.
inline const char kUnlitMesh[] =
    "vs.1.1\n"
    "dcl_position\tv0\n"
    "dcl_normal\t\tv1\n"
    "dcl_color\t\tv2\n"
    "dcl_texcoord\tv3\n"
    "mul\tr11,vertXYZ.x,matrixMCPr0\n"
    "mad\tr11,vertXYZ.y,matrixMCPr1,r11\n"
    "mad\tr11,vertXYZ.z,matrixMCPr2,r11\n"
    "mad\tr11,vertXYZ.w,matrixMCPr3,r11\n"
    "mov\toPos,r11\n"
    "mul\tr10,RGBAMult,vertARGB\n"
    "mov\tr10.w,RGBAMult.w\n"
    "mov\toD0,r10\n"
    "mov\toT0,v3\n";

// 2: lit mesh.
inline const char kLitMesh[] =
    "vs.1.1\n"
    "dcl_position\tv0\n"
    "dcl_normal\t\tv1\n"
    "dcl_color\t\tv2\n"
    "dcl_texcoord\tv3\n"
    "mul\tr11,vertXYZ.x,matrixMCPr0\n"
    "mad\tr11,vertXYZ.y,matrixMCPr1,r11\n"
    "mad\tr11,vertXYZ.z,matrixMCPr2,r11\n"
    "mad\tr11,vertXYZ.w,matrixMCPr3,r11\n"
    "mov\toPos,r11\n"
    "dp3\tr0.x,vertNORM,light_D0_DIR\n"
    "dp3\tr0.y,vertNORM,light_D1_DIR\n"
    "dp3\tr0.z,vertNORM,light_D2_DIR\n"
    "max\tr0.xyz,r0,value0\n"
    "mov\tr1,GlobalAmbient\n"
    "mad\tr1,r0.x,light_D0_RGBA,r1\n"
    "mad\tr1,r0.y,light_D1_RGBA,r1\n"
    "mad\tr1,r0.z,light_D2_RGBA,r1\n"
    "mul\tr10,r1,RGBAMult\n"
    "mov\tr10.w,RGBAMult.w\n"
    "mov\toD0,r10\n"
    "mov\toT0,v3\n";

#define VSTEXT_SKIN_BONE(component, first)                 \
  "mov\ta0.x,r9." component "\n"                          \
  "m4x3\tr0,vertXYZ,c[a0.x]\n" first "\tr8.xyz,r0,vertWEIGHT1." component
#define VSTEXT_SKIN_POSITION                    \
  "mov\tr8.w,value1\n"                          \
  "mul\tr11,r8.x,matrixMCPr0\n"                 \
  "mad\tr11,r8.y,matrixMCPr1,r11\n"             \
  "mad\tr11,r8.z,matrixMCPr2,r11\n"             \
  "mad\tr11,r8.w,matrixMCPr3,r11\n"             \
  "mov\toPos,r11\n"

// 3: unlit skinned mesh (four bones, each a 4x3 block addressed through a0).
inline const char kUnlitSkinned[] =
    "vs.1.1\n"
    "dcl_position\tv0\n"
    "dcl_normal\tv1\n"
    "dcl_color\tv2\n"
    "dcl_texcoord\tv3\n"
    "dcl_blendweight\tv4\n"
    "dcl_blendindices\tv5\n"
    "mul\tr9,vertINDEX.zyxw,value256\n"
    "add\tr9,r9,valuem96\n"
    VSTEXT_SKIN_BONE("x", "mul") "\n"
    VSTEXT_SKIN_BONE("y", "mad") ",r8\n"
    VSTEXT_SKIN_BONE("z", "mad") ",r8\n"
    VSTEXT_SKIN_BONE("w", "mad") ",r8\n"
    VSTEXT_SKIN_POSITION
    "mul\tr10,RGBAMult,vertARGB\n"
    "mov\tr10.w,RGBAMult.w\n"
    "mov\toD0,r10\n"
    "mov\toT0,v3\n";

#define VSTEXT_LIT_BONE(component, first, accumulate)                                   \
  "mov\ta0.x,r9." component "\n"                                                       \
  "m4x3\tr0,vertXYZ,c[a0.x]\n"                                                         \
  "m3x3\tr1,vertNORM,c[a0.x]\n"                                                        \
  first "\tr8.xyz,r0,vertWEIGHT1." component accumulate "r8\n"                         \
  first "\tr7.xyz,r1,vertWEIGHT1." component accumulate "r7\n"

// 4: lit skinned mesh: the normal is blended like the position, then lit as in 2.
inline const char kLitSkinned[] =
    "vs.1.1\n"
    "dcl_position\tv0\n"
    "dcl_normal\tv1\n"
    "dcl_color\tv2\n"
    "dcl_texcoord\tv3\n"
    "dcl_blendweight\tv4\n"
    "dcl_blendindices\tv5\n"
    "mul\tr9,vertINDEX.zyxw,value256\n"
    "add\tr9,r9,valuem96\n"
    "mov\ta0.x,r9.x\n"
    "m4x3\tr0,vertXYZ,c[a0.x]\n"
    "m3x3\tr1,vertNORM,c[a0.x]\n"
    "mul\tr8.xyz,r0,vertWEIGHT1.x\n"
    "mul\tr7.xyz,r1,vertWEIGHT1.x\n"
    VSTEXT_LIT_BONE("y", "mad", ",")
    VSTEXT_LIT_BONE("z", "mad", ",")
    VSTEXT_LIT_BONE("w", "mad", ",")
    VSTEXT_SKIN_POSITION
    "dp3\tr0.x,r7,light_D0_DIR\n"
    "dp3\tr0.y,r7,light_D1_DIR\n"
    "dp3\tr0.z,r7,light_D2_DIR\n"
    "max\tr0.xyz,r0,value0\n"
    "mov\tr1,GlobalAmbient\n"
    "mad\tr1,r0.x,light_D0_RGBA,r1\n"
    "mad\tr1,r0.y,light_D1_RGBA,r1\n"
    "mad\tr1,r0.z,light_D2_RGBA,r1\n"
    "mul\tr10,r1,RGBAMult\n"
    "mov\tr10.w,RGBAMult.w\n"
    "mov\toD0,r10\n"
    "mov\toT0,v3\n";

// 5: screen (2D).
inline const char kScreen[] =
    "vs.1.1\n"
    "dcl_position\tv0\n"
    "dcl_color\t\tv1\n"
    "dcl_texcoord\tv2\n"
    "mov\toPos,vertXYZ\n"
    "mov\toPos.w,vertXYZ.z\n"
    "mul\tr10,RGBAMult,vertARGB\n"
    "mov\tr10.w,RGBAMult.w\n"
    "mov\toD0,r10\n"
    "mov\toT0,v2\n";

// 6: stream (particles): the colour's alpha is multiplied too.
inline const char kStream[] =
    "vs.1.1\n"
    "dcl_position\tv0\n"
    "dcl_color\tv2\n"
    "dcl_texcoord\tv3\n"
    "mul\tr11,vertXYZ.x,matrixMCPr0\n"
    "mad\tr11,vertXYZ.y,matrixMCPr1,r11\n"
    "mad\tr11,vertXYZ.z,matrixMCPr2,r11\n"
    "mad\tr11,vertXYZ.w,matrixMCPr3,r11\n"
    "mov\toPos,r11\n"
    "mul\toD0,RGBAMult,vertARGB\n"
    "mov\toT0,v3\n";

// 7: water: four sine waves move the vertex along its normal.
inline const char kWater[] =
    "vs.1.1\n"
    "dcl_position\tv0\n"
    "dcl_normal\tv1\n"
    "dcl_texcoord0\tv3\n"
    "dcl_texcoord1\tv7\n"
    "; the four wave phases\n"
    "mul\tr0,Water10,vertUV.x\n"
    "mad\tr0,Water11,vertUV.y,r0\n"
    "mov\tr1.x,Water12.x\n"
    "mad\tr0,r1.x,Water9,r0\n"
    "add\tr0,r0,Water8\n"
    "; into -pi..pi\n"
    "frc\tr0,r0\n"
    "mul\tr0,r0,Water6.x\n"
    "sub\tr0,r0,Water1.y\n"
    "mul\tr0,r0,Water2.w\n"
    "; sin x = x + x^3 a + x^5 b + x^7 c\n"
    "mul\tr1,r0,r0\n"
    "mul\tr2,r1,r0\n"
    "mul\tr3,r2,r1\n"
    "mul\tr4,r3,r1\n"
    "mad\tr0,r2,Water3.y,r0\n"
    "mad\tr0,r3,Water3.z,r0\n"
    "mad\tr0,r4,Water3.w,r0\n"
    "sub\tr5.x,Water1.z,vertUV.z\n"
    "mul\tr0,r0,r5.x\n"
    "dp4\tr5.y,r0,Water7\n"
    "; along the normal, 40 up\n"
    "mov\tr6,vertXYZ\n"
    "mad\tr6.xyz,vertNORM,r5.y,r6\n"
    "mov\tr6.w,Water1.z\n"
    "sub\tr6.z,r6.z,Water12.w\n"
    "mul\tr11,r6.x,matrixMCPr0\n"
    "mad\tr11,r6.y,matrixMCPr1,r11\n"
    "mad\tr11,r6.z,matrixMCPr2,r11\n"
    "mad\tr11,r6.w,matrixMCPr3,r11\n"
    "mov\toPos,r11\n"
    "mov\toD0,Water14\n"
    "mul\tr7.x,r5.y,Water3.z\n"
    "add\tr7.y,r7.x,r7.x\n"
    "mov\tr8,v7\n"
    "add\tr8.xy,r8,r7\n"
    "mov\toT1,r8\n"
    "; projected texture coordinate\n"
    "mov\tr9,vertXYZ\n"
    "mov\tr9.w,Water1.z\n"
    "mul\tr10,r9.x,ProMat1\n"
    "mad\tr10,r9.y,ProMat2,r10\n"
    "mad\tr10,r9.z,ProMat3,r10\n"
    "mad\tr10,r9.w,ProMat4,r10\n"
    "mov\tr10.y,-r10.y\n"
    "mov\toT0,r10\n";

struct Named {
  const char* name;
  const char* text;
};
inline const Named kAll[] = {
    {"unlit mesh", kUnlitMesh}, {"lit mesh", kLitMesh}, {"unlit skinned", kUnlitSkinned},
    {"lit skinned", kLitSkinned}, {"screen", kScreen}, {"stream", kStream}, {"water", kWater},
};

}  // namespace vstext
