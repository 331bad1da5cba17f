#include "Engine/PC/PCShaderSet.h"

#include <cstring>

#include "Engine/LogFile.h"
#include "Engine/PC/PCApp.h"

using namespace gfx;

namespace {

// ---- Vertex declarations -------------------------------------------------------------------

constexpr uint8_t kDefault = D3DDECLMETHOD_DEFAULT;
using enum ShaderSet::VertexStream;

#define MESH_STREAM(stream, index)                                                         \
  {stream, 0, D3DDECLTYPE_FLOAT3, kDefault, D3DDECLUSAGE_POSITION, index},                 \
      {stream, 12, D3DDECLTYPE_FLOAT3, kDefault, D3DDECLUSAGE_NORMAL, index},              \
      {stream, 24, D3DDECLTYPE_D3DCOLOR, kDefault, D3DDECLUSAGE_COLOR, index},             \
      {stream, 28, D3DDECLTYPE_FLOAT2, kDefault, D3DDECLUSAGE_TEXCOORD, index}

const D3DVERTEXELEMENT9 kMeshElements[] = {MESH_STREAM(kStreamMesh, 0), D3DDECL_END()};

const D3DVERTEXELEMENT9 kTwoMeshElements[] = {MESH_STREAM(kStreamMesh, 0),
                                              MESH_STREAM(kStreamSecondMesh, 1), D3DDECL_END()};

// The bone indices and weights come from a stream of their own, so that one mesh buffer serves
// both the skinned and the rigid draws.
const D3DVERTEXELEMENT9 kSkinnedMeshElements[] = {
    MESH_STREAM(kStreamMesh, 0),
    {kStreamSkin, 0, D3DDECLTYPE_D3DCOLOR, kDefault, D3DDECLUSAGE_BLENDINDICES, 0},
    {kStreamSkin, 4, D3DDECLTYPE_FLOAT4, kDefault, D3DDECLUSAGE_BLENDWEIGHT, 0},
    D3DDECL_END()};

#undef MESH_STREAM

const D3DVERTEXELEMENT9 kScreenElements[] = {
    {kStreamMesh, 0, D3DDECLTYPE_FLOAT4, kDefault, D3DDECLUSAGE_POSITIONT, 0},
    {kStreamMesh, 16, D3DDECLTYPE_D3DCOLOR, kDefault, D3DDECLUSAGE_COLOR, 0},
    {kStreamMesh, 20, D3DDECLTYPE_FLOAT2, kDefault, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END()};

const D3DVERTEXELEMENT9 kStreamElements[] = {
    {kStreamMesh, 0, D3DDECLTYPE_FLOAT3, kDefault, D3DDECLUSAGE_POSITION, 0},
    {kStreamMesh, 12, D3DDECLTYPE_D3DCOLOR, kDefault, D3DDECLUSAGE_COLOR, 0},
    {kStreamMesh, 16, D3DDECLTYPE_FLOAT2, kDefault, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END()};

const D3DVERTEXELEMENT9 kWaterElements[] = {
    {kStreamMesh, 0, D3DDECLTYPE_FLOAT3, kDefault, D3DDECLUSAGE_POSITION, 0},
    {kStreamMesh, 12, D3DDECLTYPE_FLOAT3, kDefault, D3DDECLUSAGE_NORMAL, 0},
    {kStreamMesh, 24, D3DDECLTYPE_FLOAT3, kDefault, D3DDECLUSAGE_TEXCOORD, 0},
    {kStreamMesh, 36, D3DDECLTYPE_FLOAT2, kDefault, D3DDECLUSAGE_TEXCOORD, 1},
    D3DDECL_END()};

const D3DVERTEXELEMENT9* const kDeclarationTables[ShaderSet::kDeclarationCount] = {
    kMeshElements,   kTwoMeshElements, kSkinnedMeshElements,
    kScreenElements, kStreamElements,  kWaterElements,
};

// ---- Register names ------------------------------------------------------------------------

constexpr D3DXMACRO kRegisterNames[] = {
    {"vertXYZ", "v0"},
    {"vertNORM", "v1"},
    {"vertARGB", "v2"},
    {"vertUV", "v3"},
    {"vertWEIGHT1", "v4"},
    {"vertINDEX", "v5"},
    {"matrixMCPr0", "c0"},
    {"matrixMCPr1", "c1"},
    {"matrixMCPr2", "c2"},
    {"matrixMCPr3", "c3"},
    {"value0", "c4.x"},
    {"value1", "c4.y"},
    {"valuem96", "c4.z"},
    {"value256", "c4.w"},
    {"light_D0_DIR", "c6"},
    {"light_D1_DIR", "c7"},
    {"light_D2_DIR", "c8"},
    {"light_D0_RGBA", "c9"},
    {"light_D1_RGBA", "c10"},
    {"light_D2_RGBA", "c11"},
    {"GlobalAmbient", "c12"},
    {"Water1", "c13"},
    {"Water2", "c14"},
    {"Water3", "c15"},
    {"Water6", "c18"},
    {"Water7", "c19"},
    {"Water8", "c20"},
    {"Water9", "c21"},
    {"Water10", "c22"},
    {"Water11", "c23"},
    {"Water12", "c24"},
    {"Water14", "c26"},
    {"ProMat1", "c27"},
    {"ProMat2", "c28"},
    {"ProMat3", "c29"},
    {"ProMat4", "c30"},
    {"RGBAMult", "c5"},
    {nullptr, nullptr},
};
static_assert(sizeof(kRegisterNames) / sizeof(kRegisterNames[0]) == 38,
              "37 register names and the terminator");

// The register a name of the table stands for, so that the table and the registers the code
// loads cannot drift apart.
constexpr uint32_t NamedRegister(const char* name) {
  for (const D3DXMACRO& m : kRegisterNames) {
    if (!m.Name) break;
    const char* a = m.Name;
    const char* b = name;
    while (*a && *a == *b) ++a, ++b;
    if (*a != *b) continue;
    uint32_t reg = 0;
    for (const char* p = m.Definition + 1; *p >= '0' && *p <= '9'; ++p) reg = reg * 10 + (*p - '0');
    return reg;
  }
  return ~0u;
}
static_assert(NamedRegister("matrixMCPr0") == ShaderSet::kRegDrawMatrix);
static_assert(NamedRegister("matrixMCPr3") ==
              ShaderSet::kRegDrawMatrix + ShaderSet::kDrawMatrixRegisters - 1);
static_assert(NamedRegister("value0") == ShaderSet::kRegValues);
static_assert(NamedRegister("RGBAMult") == ShaderSet::kRegColourMultiplier);
static_assert(NamedRegister("light_D0_DIR") == ShaderSet::kRegLightDirection);
static_assert(NamedRegister("light_D2_DIR") == ShaderSet::kRegLightDirection + 2);
static_assert(NamedRegister("light_D0_RGBA") == ShaderSet::kRegLightColour);
static_assert(NamedRegister("light_D2_RGBA") == ShaderSet::kRegLightColour + 2);
static_assert(NamedRegister("GlobalAmbient") == ShaderSet::kRegAmbient);
static_assert(NamedRegister("Water1") == ShaderSet::kRegWater1);
static_assert(NamedRegister("Water2") == ShaderSet::kRegWater2);
static_assert(NamedRegister("Water3") == ShaderSet::kRegWater3);
static_assert(NamedRegister("Water6") == ShaderSet::kRegWater6);
static_assert(NamedRegister("Water7") == ShaderSet::kRegWater7);
static_assert(NamedRegister("Water8") == ShaderSet::kRegWater8);
static_assert(NamedRegister("Water9") == ShaderSet::kRegWater9);
static_assert(NamedRegister("Water10") == ShaderSet::kRegWater10);
static_assert(NamedRegister("Water11") == ShaderSet::kRegWater11);
static_assert(NamedRegister("Water12") == ShaderSet::kRegWater12);
static_assert(NamedRegister("Water14") == ShaderSet::kRegWater14);
static_assert(NamedRegister("ProMat1") == ShaderSet::kRegProjection);
static_assert(NamedRegister("ProMat4") == ShaderSet::kRegProjection + 3);


// ---- Shader texts --------------------------------------------------------------------------

#define MESH_INPUTS           \
  "vs.1.1\n"                  \
  "dcl_position\tv0\n"        \
  "dcl_normal\t\tv1\n"        \
  "dcl_color\t\tv2\n"         \
  "dcl_texcoord\tv3\n"

#define SKIN_INPUTS            \
  "dcl_blendweight\tv4\n"      \
  "dcl_blendindices\tv5\n"

// Row vectors: a point is x·c0 + y·c1 + z·c2 + w·c3.
#define TRANSFORM(src)                              \
  "mul\tr11," src ".x,matrixMCPr0\n"                \
  "mad\tr11," src ".y,matrixMCPr1,r11\n"            \
  "mad\tr11," src ".z,matrixMCPr2,r11\n"            \
  "mad\tr11," src ".w,matrixMCPr3,r11\n"            \
  "mov\toPos,r11\n"

#define UNLIT_COLOUR                  \
  "mul\tr10,RGBAMult,vertARGB\n"      \
  "mov\tr10.w,RGBAMult.w\n"           \
  "mov\toD0,r10\n"                    \
  "mov\toT0,v3\n"

// Ambient plus the three lights' colours by max(0, n · l), times RGBAMult; alpha RGBAMult.w.
// `n` holds the normal, `d` and `s` are scratch temporaries.
#define LIT_COLOUR(n, d, s)                          \
  "dp3\t" d ".x," n ",light_D0_DIR\n"                \
  "dp3\t" d ".y," n ",light_D1_DIR\n"                \
  "dp3\t" d ".z," n ",light_D2_DIR\n"                \
  "max\t" d ".xyz," d ",value0\n"                    \
  "mov\t" s ",GlobalAmbient\n"                       \
  "mad\t" s "," d ".x,light_D0_RGBA," s "\n"         \
  "mad\t" s "," d ".y,light_D1_RGBA," s "\n"         \
  "mad\t" s "," d ".z,light_D2_RGBA," s "\n"         \
  "mul\tr10," s ",RGBAMult\n"                        \
  "mov\tr10.w,RGBAMult.w\n"                          \
  "mov\toD0,r10\n"                                   \
  "mov\toT0,v3\n"

// Bone register of each of the four indices: the D3DCOLOR arrives as (b2, b1, b0, b3) / 255,
// so .zyxw restores the stored byte order; the bytes hold 3 × bone, and the first bone
// register is 13.
#define BONE_INDICES "mad\tr0,vertINDEX.zyxw,value256,valuem96\n"

// Shader 1: unlit mesh.
const char kMeshShader[] =
    MESH_INPUTS
    TRANSFORM("vertXYZ")
    UNLIT_COLOUR;

// Shader 2: lit mesh.
const char kLitMeshShader[] =
    MESH_INPUTS
    TRANSFORM("vertXYZ")
    LIT_COLOUR("vertNORM", "r0", "r1");

// Shader 3: unlit skinned mesh, four bones blended by the four weights.
const char kSkinnedMeshShader[] =
    MESH_INPUTS
    SKIN_INPUTS
    BONE_INDICES
    "mov\ta0.x,r0.x\n"
    "m4x3\tr1.xyz,vertXYZ,c[a0.x]\n"
    "mul\tr2.xyz,r1,vertWEIGHT1.x\n"
    "mov\ta0.x,r0.y\n"
    "m4x3\tr1.xyz,vertXYZ,c[a0.x]\n"
    "mad\tr2.xyz,r1,vertWEIGHT1.y,r2\n"
    "mov\ta0.x,r0.z\n"
    "m4x3\tr1.xyz,vertXYZ,c[a0.x]\n"
    "mad\tr2.xyz,r1,vertWEIGHT1.z,r2\n"
    "mov\ta0.x,r0.w\n"
    "m4x3\tr1.xyz,vertXYZ,c[a0.x]\n"
    "mad\tr2.xyz,r1,vertWEIGHT1.w,r2\n"
    "mov\tr2.w,value1\n"
    TRANSFORM("r2")
    UNLIT_COLOUR;

// Shader 4: lit skinned mesh; the normal is blended through the bones' 3 by 3 parts.
const char kLitSkinnedMeshShader[] =
    MESH_INPUTS
    SKIN_INPUTS
    BONE_INDICES
    "mov\ta0.x,r0.x\n"
    "m4x3\tr1.xyz,vertXYZ,c[a0.x]\n"
    "m3x3\tr3.xyz,vertNORM,c[a0.x]\n"
    "mul\tr2.xyz,r1,vertWEIGHT1.x\n"
    "mul\tr4.xyz,r3,vertWEIGHT1.x\n"
    "mov\ta0.x,r0.y\n"
    "m4x3\tr1.xyz,vertXYZ,c[a0.x]\n"
    "m3x3\tr3.xyz,vertNORM,c[a0.x]\n"
    "mad\tr2.xyz,r1,vertWEIGHT1.y,r2\n"
    "mad\tr4.xyz,r3,vertWEIGHT1.y,r4\n"
    "mov\ta0.x,r0.z\n"
    "m4x3\tr1.xyz,vertXYZ,c[a0.x]\n"
    "m3x3\tr3.xyz,vertNORM,c[a0.x]\n"
    "mad\tr2.xyz,r1,vertWEIGHT1.z,r2\n"
    "mad\tr4.xyz,r3,vertWEIGHT1.z,r4\n"
    "mov\ta0.x,r0.w\n"
    "m4x3\tr1.xyz,vertXYZ,c[a0.x]\n"
    "m3x3\tr3.xyz,vertNORM,c[a0.x]\n"
    "mad\tr2.xyz,r1,vertWEIGHT1.w,r2\n"
    "mad\tr4.xyz,r3,vertWEIGHT1.w,r4\n"
    "mov\tr2.w,value1\n"
    TRANSFORM("r2")
    LIT_COLOUR("r4", "r5", "r6");

// Shader 5: screen (2D). POSITIONT vertices bypass vertex processing, so this text only matters
// to a device that runs it anyway; the colour is read from v1, where its dcl puts it (the
// vertARGB name means v2, which is the texture coordinate here).
const char kScreenShader[] =
    "vs.1.1\n"
    "dcl_position\tv0\n"
    "dcl_color\t\tv1\n"
    "dcl_texcoord\tv2\n"
    "mov\toPos,vertXYZ\n"
    "mov\toPos.w,vertXYZ.z\n"
    "mul\tr10,RGBAMult,v1\n"
    "mov\tr10.w,RGBAMult.w\n"
    "mov\toD0,r10\n"
    "mov\toT0,v2\n";

// Shader 6: the dynamic stream (particles); alpha from RGBAMult times the vertex's.
const char kStreamShader[] =
    "vs.1.1\n"
    "dcl_position\tv0\n"
    "dcl_color\t\tv2\n"
    "dcl_texcoord\tv3\n"
    TRANSFORM("vertXYZ")
    "mul\toD0,RGBAMult,vertARGB\n"
    "mov\toT0,vertUV\n";

// Shader 7: water. Four travelling waves over (u, v), each a sine by its odd series, faded by
// the third texture coordinate, summed with Water7's weights into a height along the normal.
const char kWaterShader[] =
    "vs.1.1\n"
    "dcl_position\tv0\n"
    "dcl_normal\t\tv1\n"
    "dcl_texcoord0\tv3\n"
    "dcl_texcoord1\tv4\n"
    // phases = Water10 u + Water11 v + time Water9 + Water8
    "mov\tr1,Water12\n"
    "mul\tr0,Water10,vertUV.x\n"
    "mad\tr0,Water11,vertUV.y,r0\n"
    "mad\tr0,r1.x,Water9,r0\n"
    "add\tr0,r0,Water8\n"
    // their fractions (vs.1.1's frc writes two components at a time)
    "frc\tr0.xy,r0\n"
    "frc\tr2.xy,r0.zwzw\n"
    "mov\tr0.zw,r2.xxxy\n"
    // to about -pi..pi
    "mul\tr0,r0,Water6.x\n"
    "sub\tr0,r0,Water1.y\n"
    "mul\tr0,r0,Water2.w\n"
    // sin x = x + x^3 Water3.y + x^5 Water3.z + x^7 Water3.w
    "mul\tr5,r0,r0\n"
    "mul\tr1,r5,r0\n"
    "mul\tr2,r1,r5\n"
    "mul\tr3,r2,r5\n"
    "mad\tr0,r1,Water3.y,r0\n"
    "mad\tr0,r2,Water3.z,r0\n"
    "mad\tr0,r3,Water3.w,r0\n"
    // faded by (1 - w), weighted into one height
    "sub\tr1.x,Water1.z,vertUV.z\n"
    "mul\tr0,r0,r1.x\n"
    "dp4\tr0.x,r0,Water7\n"
    // the vertex moved along its normal, raised by 40
    "mul\tr4.xyz,vertNORM,r0.x\n"
    "add\tr4.xyz,r4,vertXYZ\n"
    "mov\tr4.w,Water1.z\n"
    "sub\tr4.z,r4.z,Water12.w\n"
    TRANSFORM("r4")
    "mov\toD0,Water14\n"
    // the second coordinate ripples with the height
    "mul\tr6.x,r0.x,Water3.z\n"
    "add\tr6.y,r6.x,r6.x\n"
    "mov\tr6.zw,value0\n"
    "add\toT1,v4,r6\n"
    // the first is the undisplaced position projected into the reflection texture
    "mov\tr7,vertXYZ\n"
    "mov\tr7.w,Water1.z\n"
    "mul\tr8,r7.x,ProMat1\n"
    "mad\tr8,r7.y,ProMat2,r8\n"
    "mad\tr8,r7.z,ProMat3,r8\n"
    "mad\tr8,r7.w,ProMat4,r8\n"
    "mov\toT0.xzw,r8\n"
    "mov\toT0.y,-r8.y\n";

#undef MESH_INPUTS
#undef SKIN_INPUTS
#undef TRANSFORM
#undef UNLIT_COLOUR
#undef LIT_COLOUR
#undef BONE_INDICES

const char* const kShaderTexts[ShaderSet::kShaderCount] = {
    kMeshShader,   kLitMeshShader, kSkinnedMeshShader, kLitSkinnedMeshShader,
    kScreenShader, kStreamShader,  kWaterShader,
};

D3DDevice* Device() { return GetApp().GetDisplay()->GetDevice(); }

// Used when no window is being drawn.
constexpr LightSetup kNoWindowLights = DefaultLightSetup();

}  // namespace

const char* ShaderSet::GetShaderText(uint32_t which) {
  return which < kShaderCount ? kShaderTexts[which] : nullptr;
}

const D3DXMACRO* ShaderSet::GetRegisterNames() { return kRegisterNames; }

void ShaderSet::CreateDeclarations() {
  D3DDevice* device = Device();
  if (!device) return;
  for (uint32_t i = 0; i < kDeclarationCount; ++i) {
    if (m_declarations[i]) continue;
    ReportD3DError(device->CreateVertexDeclaration(kDeclarationTables[i], &m_declarations[i]));
  }
}

int32_t ShaderSet::CreateShader(const char* text, D3DVertexShader** shader) {
  *shader = nullptr;
  D3DXBuffer* code = nullptr;
  D3DXBuffer* errors = nullptr;
  HRESULT hr = D3DXAssembleShader(text, static_cast<uint32_t>(std::strlen(text)), kRegisterNames,
                                  nullptr, 0, &code, &errors);
  // The message buffer need not end in a zero, so it is printed by its size.
  auto messages = [&errors]() { return static_cast<int>(errors->GetBufferSize()); };
  if (FAILED(hr)) {
    ReportD3DError(hr);
    if (errors) {
      DebugLog().Write("Unable to create shader %.*s\n", messages(),
                       static_cast<const char*>(errors->GetBufferPointer()));
      errors->Release();
    }
    if (code) code->Release();
    return 0;
  }
  if (errors) {
    DebugLog().Write("Warning in shader %.*s\n", messages(),
                     static_cast<const char*>(errors->GetBufferPointer()));
    errors->Release();
  }
  if (!code) return 0;
  D3DDevice* device = Device();
  hr = device ? device->CreateVertexShader(static_cast<const uint32_t*>(code->GetBufferPointer()),
                                           shader)
              : D3DERR_INVALIDCALL;
  // The token stream is copied by the device; it goes whether or not the shader was made.
  code->Release();
  if (FAILED(hr)) {
    ReportD3DError(hr);
    *shader = nullptr;
    return 0;
  }
  return 1;
}

void ShaderSet::CreateShaders() {
  for (uint32_t i = 0; i < kShaderCount; ++i) {
    if (m_shaders[i]) continue;
    CreateShader(kShaderTexts[i], &m_shaders[i]);
  }
  LoadConstant(kRegValues, 0.0f, 1.0f, static_cast<float>(kRegFirstBone), 256.0f);
  m_spare.SetZero();
}

void ShaderSet::Release() {
  for (D3DVertexDeclaration*& d : m_declarations) {
    if (d) d->Release();
    d = nullptr;
  }
  for (D3DVertexShader*& s : m_shaders) {
    if (s) s->Release();
    s = nullptr;
  }
}

int32_t ShaderSet::Restore() {
  CreateDeclarations();
  CreateShaders();
  m_maxConstants = GetApp().GetDisplay()->GetCaps().MaxVertexShaderConst;
  return 1;
}

void ShaderSet::Select(uint32_t declaration, uint32_t shader) {
  m_selectedDeclaration = declaration;
  m_selectedShader = shader;
  D3DDevice* device = Device();
  if (!device) return;
  ReportD3DError(device->SetVertexDeclaration(m_declarations[declaration]));
  ReportD3DError(device->SetVertexShader(m_shaders[shader]));
}

void ShaderSet::SelectMeshShader() {
  const bool lit = (m_flags & kLit) != 0;
  if (m_flags & kSkinned) {
    Select(kDeclSkinnedMesh, lit ? kShaderLitSkinnedMesh : kShaderSkinnedMesh);
  } else {
    Select(kDeclMesh, lit ? kShaderLitMesh : kShaderMesh);
  }
  m_flags = 0;
}

void ShaderSet::SelectScreenShader() {
  m_flags = 0;
  Select(kDeclScreen, kShaderScreen);
}

void ShaderSet::SetDeclAndShader() {
  m_flags = 0;
  Select(kDeclStream, kShaderStream);
}

void ShaderSet::LoadConstant(uint32_t reg, const Vector4& value) {
  if (reg < kRecordedConstants) {
    m_loaded[reg][0] = value.x;
    m_loaded[reg][1] = value.y;
    m_loaded[reg][2] = value.z;
    m_loaded[reg][3] = value.w;
  }
  if (D3DDevice* device = Device()) ReportD3DError(device->SetVertexShaderConstantF(reg, &value.x, 1));
}

void ShaderSet::SetLights(const Matrix* world) {
  RenderWindow* window = GetApp().GetCurrentWindow();
  const LightSetup* lights = window ? window->GetLightSetup() : &kNoWindowLights;
  LoadConstant(kRegAmbient, lights->ambient[0], lights->ambient[1], lights->ambient[2], 1.0f);
  m_flags |= kLit;
  // The count comes straight from a light file; anything outside 0..3 would index past the
  // record's three lights.
  int32_t count = static_cast<int32_t>(lights->count);
  if (count < 0) count = 0;
  if (count > 3) count = 3;
  const Vector4 zero(0.0f, 0.0f, 0.0f, 0.0f);
  for (int32_t i = 0; i < 3; ++i) {
    if (i < count) {
      const LightSetup::Directional& l = lights->lights[i];
      SetDirectionalLight(i, Vector4(l.colour[0] * 0.5f, l.colour[1] * 0.5f, l.colour[2] * 0.5f, 1.0f),
                          Vector4(l.direction[0], l.direction[1], l.direction[2], 0.0f), world);
    } else {
      SetDirectionalLight(i, zero, zero, world);
    }
  }
}

void ShaderSet::SetDirectionalLight(int32_t index, const Vector4& colour, const Vector4& direction,
                                   const Matrix* world) {
  if (index < 0 || index > 2) return;
  // The transpose of a rotation is its inverse: this takes the world-space direction into the
  // mesh's own space, where the shader's normals are.
  Matrix transposed;
  MatrixTranspose(*world, transposed);
  const float* m = transposed.m;
  const float x = direction.x * m[0] + direction.y * m[4] + direction.z * m[8];
  const float y = direction.x * m[1] + direction.y * m[5] + direction.z * m[9];
  const float z = direction.x * m[2] + direction.y * m[6] + direction.z * m[10];
  // Negated: the shader dots the normal with the direction towards the light.
  LoadConstant(kRegLightDirection + static_cast<uint32_t>(index), -x, -y, -z, 1.0f);
  LoadConstant(kRegLightColour + static_cast<uint32_t>(index), colour);
}

void ShaderSet::SetWaterConstants(const Matrix* world, float time) {
  Select(kDeclWater, kShaderWater);

  Display* display = GetApp().GetDisplay();
  Matrix placed = *world;
  placed.m[14] += 45.0f;
  Matrix bias;
  bias.Identity();
  bias.m[0] = 0.5f;
  bias.m[5] = 0.5f;
  bias.m[10] = 0.5f;
  bias.m[12] = 0.5f;
  bias.m[13] = 0.5f;
  bias.m[14] = 0.5f;
  Matrix projective;
  Multiply(placed, *display->GetViewMatrix(), projective);
  Multiply(projective, *display->GetDeviceProjectionMatrix(), projective);
  Multiply(projective, bias, projective);
  for (uint32_t row = 0; row < 4; ++row) {
    const float* r = projective.RowAddress(static_cast<int>(row));
    LoadConstant(kRegProjection + row, r[0], r[1], r[2], r[3]);
  }

  LoadConstant(kRegWater1, 0.0f, 0.5f, 1.0f, 2.0f);
  LoadConstant(kRegWater2, 4.0f, kHalfPi, kPi, 2.0f * kPi);
  LoadConstant(kRegWater3, 1.0f, -0.16666667f, 0.0083333338f, -0.0001984127f);
  LoadConstant(kRegWater6, 1.02f, 0.1f, 0.0f, 0.0f);
  LoadConstant(kRegWater7, 0.4f, 0.5f, 0.025f, 0.025f);
  LoadConstant(kRegWater8, 0.0f, 0.2f, 0.0f, 0.0f);
  LoadConstant(kRegWater9, 0.2f, 0.15f, 0.4f, 0.4f);
  LoadConstant(kRegWater10, 2.5f, 0.0f, -7.0f, -8.0f);
  LoadConstant(kRegWater11, 0.0f, 1.5f, -7.0f, 1.0f);
  LoadConstant(kRegWater12, time, Sin(time), 0.0f, -40.0f);

  RenderWindow* window = GetApp().GetCurrentWindow();
  static const float kNoFactors[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  const float* f = window ? window->GetColourFactors() : kNoFactors;
  LoadConstant(kRegWater14, f[0] * (96.0f / 255.0f), f[1] * (128.0f / 255.0f), f[2] * 1.0f,
               f[3] * 0.5f);
}

void ShaderSet::SetColourMultiplier(const Vector4& colour) {
  LoadConstant(kRegColourMultiplier, colour);
}

void ShaderSet::SetAmbient(const Vector4& colour) { LoadConstant(kRegAmbient, colour); }
