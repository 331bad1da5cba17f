// Vertex shaders on the OpenGL device: the input table and ids, the emitted GLSL compiling on the
// real driver, and what it computes, captured by transform feedback and held against values
// worked out by hand and against the CPU evaluator.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "Platform/Gfx/D3D.h"
#include "Platform/Gfx/D3DX.h"
#include "Platform/Gfx/VertexShaderGl.h"
#include "Platform/Gfx/VsAssembler.h"
#include "tests/gfx/VsInterpreter.h"
#include "tests/gfx/VsShaderTexts.h"
#include "tests/gfx/VsTestHooks.h"

using namespace gfx;

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

// One vertex's input registers v0..v15.
using Vertex = std::array<std::array<float, 4>, kVsInputCount>;

const float (*Registers(const Vertex& vertex))[4] {
  static_assert(sizeof(Vertex) == sizeof(float) * 4 * kVsInputCount);
  return reinterpret_cast<const float(*)[4]>(vertex.data());
}

struct Constants {
  float c[kVsConstCount][4] = {};
};

void Set(float* out, float x, float y, float z, float w) {
  out[0] = x;
  out[1] = y;
  out[2] = z;
  out[3] = w;
}

// Small deterministic generator, so a failure repeats.
class Numbers {
 public:
  float Next(float low, float high) {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return low + (high - low) * static_cast<float>(state_ % 100000u) / 100000.0f;
  }

 private:
  uint32_t state_ = 2463534242u;
};

bool Close(float actual, float expected, float tolerance) {
  if (std::isinf(expected)) return actual == expected;
  return std::fabs(actual - expected) <= tolerance * (1.0f + std::fabs(expected));
}

void ExpectVec(const float* actual, const float* expected, float tolerance, const std::string& what) {
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(Close(actual[i], expected[i], tolerance))
        << what << "[" << i << "]: " << actual[i] << " expected " << expected[i];
  }
}

D3DPRESENT_PARAMETERS Params(void* window) {
  D3DPRESENT_PARAMETERS params{};
  params.BackBufferWidth = 64;
  params.BackBufferHeight = 64;
  params.BackBufferCount = 1;
  params.SwapEffect = D3DSWAPEFFECT_COPY;
  params.hDeviceWindow = window;
  params.Windowed = 1;
  params.EnableAutoDepthStencil = 1;
  params.AutoDepthStencilFormat = D3DFMT_D24X8;
  return params;
}

class VsGlslTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = TestHooks::CreateTestWindow(64, 64);
    ASSERT_NE(window_, nullptr);
    d3d_ = Direct3DCreate9(32);
    ASSERT_NE(d3d_, nullptr);
    D3DPRESENT_PARAMETERS params = Params(window_);
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                 &params, &device_),
              D3D_OK);
  }

  void TearDown() override {
    for (D3DVertexShader* shader : shaders_) shader->Release();
    if (device_) device_->Release();
    if (d3d_) d3d_->Release();
    TestHooks::DestroyTestWindow(window_);
  }

  std::vector<uint32_t> Tokens(const std::string& text) {
    D3DXBuffer* code = nullptr;
    D3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXAssembleShader(text.c_str(), static_cast<uint32_t>(text.size()),
                                          vstext::kMacros, nullptr, 0, &code, &errors);
    std::string messages;
    if (errors) {
      messages = static_cast<const char*>(errors->GetBufferPointer());
      errors->Release();
    }
    EXPECT_EQ(hr, D3D_OK) << text << messages;
    std::vector<uint32_t> tokens;
    if (code) {
      const uint32_t* words = static_cast<const uint32_t*>(code->GetBufferPointer());
      tokens.assign(words, words + code->GetBufferSize() / 4);
      code->Release();
    }
    return tokens;
  }

  // A shader the fixture releases; null on failure.
  VertexShaderGl* Make(const std::string& text) {
    const std::vector<uint32_t> tokens = Tokens(text);
    if (tokens.empty()) return nullptr;
    D3DVertexShader* shader = nullptr;
    EXPECT_EQ(device_->CreateVertexShader(tokens.data(), &shader), D3D_OK);
    if (shader) shaders_.push_back(shader);
    return static_cast<VertexShaderGl*>(shader);
  }

  std::vector<TestHooks::VsCapture> RunGpu(VertexShaderGl* shader, const Constants& constants,
                                           const std::vector<Vertex>& vertices,
                                           const float fixup[4]) {
    std::vector<TestHooks::VsCapture> out(vertices.size());
    std::string log;
    const auto* inputs = reinterpret_cast<const float(*)[kVsInputCount][4]>(vertices.data());
    EXPECT_TRUE(TestHooks::RunVertexShaderOnGpu(device_, shader, constants.c, inputs,
                                                static_cast<uint32_t>(vertices.size()), fixup,
                                                out.data(), &log))
        << log << "\n" << shader->GlslSource();
    return out;
  }

  void* window_ = nullptr;
  D3DObject* d3d_ = nullptr;
  D3DDevice* device_ = nullptr;
  std::vector<D3DVertexShader*> shaders_;
};

Vertex EmptyVertex() {
  Vertex v{};
  for (auto& reg : v) reg = {0.0f, 0.0f, 0.0f, 1.0f};
  return v;
}

const float kNoFixup[4] = {0.0f, 0.0f, 1.0f, 0.0f};

TEST_F(VsGlslTest, ShadersCarryTheirInputTableAndAUniqueId) {
  VertexShaderGl* water = Make(vstext::kWater);
  ASSERT_NE(water, nullptr);
  for (uint32_t r = 0; r < kVsInputCount; ++r) {
    EXPECT_EQ(water->InputUsed(r), r == 0 || r == 1 || r == 3 || r == 7) << r;
  }
  EXPECT_FALSE(water->InputUsed(16));
  EXPECT_EQ(water->InputUsage(0), D3DDECLUSAGE_POSITION);
  EXPECT_EQ(water->InputUsage(1), D3DDECLUSAGE_NORMAL);
  EXPECT_EQ(water->InputUsage(7), D3DDECLUSAGE_TEXCOORD);
  EXPECT_EQ(water->InputUsageIndex(7), 1);
  EXPECT_EQ(water->InputUsageIndex(3), 0);
  EXPECT_EQ(water->FindInput(D3DDECLUSAGE_TEXCOORD, 1), 7);
  EXPECT_EQ(water->FindInput(D3DDECLUSAGE_TEXCOORD, 0), 3);
  EXPECT_EQ(water->FindInput(D3DDECLUSAGE_COLOR, 0), -1);
  // The draw code binds attributes by these locations.
  const std::string& glsl = water->GlslSource();
  EXPECT_NE(glsl.find("layout(location = 7) in vec4 v7;"), std::string::npos);
  EXPECT_NE(glsl.find("layout(location = 0) in vec4 v0;"), std::string::npos);
  EXPECT_EQ(glsl.find("in vec4 v2;"), std::string::npos);
  EXPECT_EQ(glsl.rfind("#version 330", 0), 0u);

  // Two shaders from the same tokens are still two programs to the caches.
  VertexShaderGl* a = Make(vstext::kUnlitMesh);
  VertexShaderGl* b = Make(vstext::kUnlitMesh);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a->Id(), 0u);
  EXPECT_NE(a->Id(), b->Id());
  EXPECT_NE(water->Id(), a->Id());
  EXPECT_EQ(a->GlslSource(), b->GlslSource());

  // Broken streams and missing pointers are refused, the out pointer cleared.
  std::vector<uint32_t> tokens = Tokens(vstext::kUnlitMesh);
  D3DVertexShader* shader = reinterpret_cast<D3DVertexShader*>(this);
  EXPECT_EQ(device_->CreateVertexShader(nullptr, &shader), D3DERR_INVALIDCALL);
  EXPECT_EQ(shader, nullptr);
  EXPECT_EQ(device_->CreateVertexShader(tokens.data(), nullptr), D3DERR_INVALIDCALL);
  tokens[0] = 0xFFFE0300u;
  shader = reinterpret_cast<D3DVertexShader*>(this);
  EXPECT_EQ(device_->CreateVertexShader(tokens.data(), &shader), D3DERR_INVALIDCALL);
  EXPECT_EQ(shader, nullptr);
}

TEST_F(VsGlslTest, EmittedSourceCompilesAndLinksOnTheDriver) {
  for (const vstext::Named& text : vstext::kAll) {
    VertexShaderGl* shader = Make(text.text);
    ASSERT_NE(shader, nullptr) << text.name;
    std::string log;
    EXPECT_TRUE(TestHooks::CompileVertexGlsl(device_, shader->GlslSource(), &log))
        << text.name << "\n" << log << "\n" << shader->GlslSource();
  }
  // The hook itself tells a broken source.
  std::string log;
  EXPECT_FALSE(TestHooks::CompileVertexGlsl(device_, "#version 330 core\nvoid main() { x; }\n", &log));
  EXPECT_FALSE(log.empty());
}

// Inputs and constants with results worked out by hand.
struct Known {
  const char* name;
  const char* body;
  float t0[4];
  float t1[4];
  float fog;
};

const Known kKnown[] = {
    {"dot products", "dp4 oT0.x, v0, c0\ndp3 oT0.y, v0, c0\nmov oT0.zw, -c1\ndp4 oT1, v0, c1\n",
     {1.5f, -2.5f, -0.5f, -0.5f}, {0.25f, 0.25f, 0.25f, 0.25f}, 1.0f},
    // 2.7 gives 2 and -2.7 gives -3 (rounding towards zero would give -2 and read c12).
    {"a0 floors", "mov a0.x, v1.w\nmov oT0, c[a0.x + 10]\nmov a0.x, -v1.w\nmov oT1, c[a0.x + 14]\n",
     {0.0f, 1.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f, 0.0f}, 1.0f},
    {"a0 below c0", "mov a0.x, -v1.w\nmov oT0, c[a0.x + 2]\nmov oT1, c[a0.x + 3]\n",
     {0.0f, 0.0f, 0.0f, 0.0f}, {1.0f, 2.0f, 3.0f, 4.0f}, 1.0f},
    {"a0 at the top", "mov a0.x, c15.x\nmov oT0, c[a0.x + 5]\nmov oT1, c[a0.x + 6]\n",
     {9.0f, 8.0f, 7.0f, 6.0f}, {0.0f, 0.0f, 0.0f, 0.0f}, 1.0f},
    {"frc", "frc oT0, -v1\nfrc oT1, v1\n", {0.75f, 0.0f, 0.25f, 0.3f}, {0.25f, 0.0f, 0.75f, 0.7f},
     1.0f},
    {"m4x3 m3x3", "mov r3, c14\nm4x3 r3, v0, c10\nmov oT0, r3\nm3x3 r4, v0, c10\nmov r4.w, c1.w\nmov oT1, r4\n",
     {15.0f, 2.0f, -3.0f, 8.0f}, {-25.0f, 2.0f, -3.0f, 0.5f}, 1.0f},
    {"m4x4 swizzles masks", "m4x4 oT0, v0, c10\nmov oT1, v0.wzyx\nmov oT1.yw, v1.xy\n",
     {15.0f, 2.0f, -3.0f, 0.5f}, {1.0f, 4.0f, -3.0f, 4.0f}, 1.0f},
    {"rcp rsq", "rcp oT0.x, c1.x\nrcp oT0.y, c2.x\nrsq oT0.z, c2.y\nrsq oT0.w, c2.w\n"
                "rcp oT1.x, c2.z\nrsq oT1.y, c2.x\nmov oT1.zw, c2\n",
     {2.0f, kInf, 0.5f, 2.0f}, {1.0f, kInf, 1.0f, 0.25f}, 1.0f},
    {"slt sge", "mov r1, v1\nslt oT0, v0, r1\nsge oT1, v0, r1\n", {0.0f, 1.0f, 0.0f, 1.0f},
     {1.0f, 0.0f, 1.0f, 0.0f}, 1.0f},
    {"min max", "mov r0, v1\nmin oT0, v0, r0\nmax oT1, v0, r0\n", {0.25f, -3.0f, -1.25f, 1.0f},
     {2.0f, 4.0f, 0.5f, 2.7f}, 1.0f},
    {"exp log expp", "exp oT0.x, c3.x\nlog oT0.y, c3.y\nlog oT0.z, c3.w\nexp oT0.w, c3.w\nexpp oT1, c3.z\n",
     {8.0f, -3.0f, -FLT_MAX, 1.0f}, {0.125f, 0.5f, 0.17677669f, 1.0f}, 1.0f},
    {"logp", "logp oT0, c3.x\nlogp oT1, c3.w\n", {1.0f, 1.5f, 1.5849625f, 1.0f},
     {-FLT_MAX, -FLT_MAX, -FLT_MAX, 1.0f}, 1.0f},
    {"lit", "lit oT0, c4\nlit oT1, -c4\n", {1.0f, 0.5f, 0.015625f, 1.0f}, {1.0f, 0.0f, 0.0f, 1.0f},
     1.0f},
    {"dst fog", "mov r0, c5\ndst oT0, c4, r0\nmov oFog, v0.y\n", {1.0f, 0.75f, 2.0f, 11.0f},
     {0.0f, 0.0f, 0.0f, 1.0f}, -3.0f},
    // Without oFog the fog factor is oD1's alpha, saturated like the colour.
    {"fog from oD1", "mov oD1, c1\n", {0.0f, 0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 0.0f, 1.0f}, 0.5f},
    {"fog from oD1 saturated", "mov oD1, c2.y\n", {0.0f, 0.0f, 0.0f, 1.0f},
     {0.0f, 0.0f, 0.0f, 1.0f}, 0.0f},
};

void KnownInputs(Vertex* v, Constants* k) {
  *v = EmptyVertex();
  (*v)[0] = {2.0f, -3.0f, 0.5f, 1.0f};
  (*v)[1] = {0.25f, 4.0f, -1.25f, 2.7f};
  float(*c)[4] = k->c;
  Set(c[0], 1, 2, 3, 4);
  Set(c[1], 0.5f, 0.5f, 0.5f, 0.5f);
  Set(c[2], 0, -4, 1, 0.25f);
  Set(c[3], 3, 0.125f, -2.5f, 0);
  Set(c[4], 0.5f, 0.25f, 2, 3);
  Set(c[5], 7, 3, 9, 11);
  Set(c[6], -0.5f, 0.25f, 1.5f, 1);
  Set(c[10], 10, 20, 30, 40);
  Set(c[11], 1, 0, 0, 0);
  Set(c[12], 0, 1, 0, 0);
  Set(c[13], 0, 0, 1, 0);
  Set(c[14], 5, 6, 7, 8);
  Set(c[15], 250.5f, 0, 0, 0);
  Set(c[255], 9, 8, 7, 6);
}

TEST_F(VsGlslTest, InstructionsGiveTheValuesWorkedOutByHandOnCpuAndGpu) {
  Vertex vertex;
  Constants constants;
  KnownInputs(&vertex, &constants);
  for (const Known& known : kKnown) {
    SCOPED_TRACE(known.name);
    VertexShaderGl* shader =
        Make(std::string("vs.1.1\ndcl_position v0\ndcl_texcoord v1\nmov oPos, v0\n") + known.body);
    ASSERT_NE(shader, nullptr);

    VsOutputs cpu{};
    RunVsProgram(shader->Program(), Registers(vertex), constants.c, &cpu);
    ExpectVec(cpu.texCoord[0], known.t0, 1e-6f, "cpu oT0");
    ExpectVec(cpu.texCoord[1], known.t1, 1e-6f, "cpu oT1");
    EXPECT_EQ(cpu.fog, known.fog);

    const std::vector<TestHooks::VsCapture> gpu = RunGpu(shader, constants, {vertex}, kNoFixup);
    ASSERT_EQ(gpu.size(), 1u);
    ExpectVec(gpu[0].texCoord0, known.t0, 2e-5f, "gpu oT0");
    ExpectVec(gpu[0].texCoord1, known.t1, 2e-5f, "gpu oT1");
    EXPECT_EQ(gpu[0].fog, known.fog);
  }

  // Colours are saturated; an unwritten colour is (0,0,0,1).
  VertexShaderGl* colour = Make("vs.1.1\ndcl_position v0\nmov oPos, v0\nmov oD0, c6\n");
  ASSERT_NE(colour, nullptr);
  const float saturated[4] = {0.0f, 0.25f, 1.0f, 1.0f};
  const float unwritten[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  VsOutputs cpu{};
  RunVsProgram(colour->Program(), Registers(vertex), constants.c, &cpu);
  ExpectVec(cpu.color[0], saturated, 0.0f, "cpu oD0");
  ExpectVec(cpu.color[1], unwritten, 0.0f, "cpu oD1");
  ExpectVec(cpu.texCoord[0], unwritten, 0.0f, "cpu oT0");
  const std::vector<TestHooks::VsCapture> gpu = RunGpu(colour, constants, {vertex}, kNoFixup);
  ASSERT_EQ(gpu.size(), 1u);
  ExpectVec(gpu[0].color0, saturated, 0.0f, "gpu oD0");
  ExpectVec(gpu[0].color1, unwritten, 0.0f, "gpu oD1");
  ExpectVec(gpu[0].texCoord0, unwritten, 0.0f, "gpu oT0");
  ExpectVec(gpu[0].texCoord1, unwritten, 0.0f, "gpu oT1");
  EXPECT_EQ(cpu.fog, 1.0f);  // unwritten fog leaves the vertex unfogged
  EXPECT_EQ(gpu[0].fog, 1.0f);
}

TEST_F(VsGlslTest, PositionMovesToGlClipSpaceWithThePixelShiftAndFlip) {
  VertexShaderGl* shader = Make("vs.1.1\ndcl_position v0\nmov oPos, v0\n");
  ASSERT_NE(shader, nullptr);
  Vertex a = EmptyVertex();
  Vertex b = EmptyVertex();
  a[0] = {2.0f, -3.0f, 0.5f, 1.0f};
  b[0] = {1.0f, 2.0f, 3.0f, 4.0f};
  Constants constants;
  // A 640 x 480 texture target: x moves left and y up by half a pixel (in clip units, scaled by
  // w), y flips, and Direct3D's depth 0..w becomes GL's -w..w.
  const float texture[4] = {-1.0f / 640.0f, 1.0f / 480.0f, -1.0f, 0.0f};
  std::vector<TestHooks::VsCapture> gpu = RunGpu(shader, constants, {a, b}, texture);
  ASSERT_EQ(gpu.size(), 2u);
  const float expectA[4] = {2.0f - 1.0f / 640.0f, 3.0f - 1.0f / 480.0f, 0.0f, 1.0f};
  const float expectB[4] = {1.0f - 4.0f / 640.0f, -(2.0f + 4.0f / 480.0f), 2.0f, 4.0f};
  ExpectVec(gpu[0].position, expectA, 1e-6f, "texture target a");
  ExpectVec(gpu[1].position, expectB, 1e-6f, "texture target b");

  // The back buffer: no flip.
  const float backBuffer[4] = {-1.0f / 640.0f, 1.0f / 480.0f, 1.0f, 0.0f};
  gpu = RunGpu(shader, constants, {a, b}, backBuffer);
  ASSERT_EQ(gpu.size(), 2u);
  const float backA[4] = {2.0f - 1.0f / 640.0f, -3.0f + 1.0f / 480.0f, 0.0f, 1.0f};
  const float backB[4] = {1.0f - 4.0f / 640.0f, 2.0f + 4.0f / 480.0f, 2.0f, 4.0f};
  ExpectVec(gpu[0].position, backA, 1e-6f, "back buffer a");
  ExpectVec(gpu[1].position, backB, 1e-6f, "back buffer b");
}

// The engine's constants: the values the shader set loads, the rest random.
void EngineConstants(Numbers* numbers, Constants* k) {
  for (auto& reg : k->c) {
    for (float& x : reg) x = numbers->Next(-1.0f, 1.0f);
  }
  float(*c)[4] = k->c;
  Set(c[4], 0.0f, 1.0f, 13.0f, 256.0f);
  Set(c[13], 0.0f, 0.5f, 1.0f, 2.0f);
  Set(c[14], 4.0f, 1.5707964f, 3.1415927f, 6.2831855f);
  Set(c[15], 1.0f, -0.16666667f, 0.0083333338f, -0.0001984127f);
  Set(c[18], 1.02f, 0.1f, 0.0f, 0.0f);
  Set(c[19], 0.4f, 0.5f, 0.025f, 0.025f);
  Set(c[20], 0.0f, 0.2f, 0.0f, 0.0f);
  Set(c[21], 0.2f, 0.15f, 0.4f, 0.4f);
  Set(c[22], 2.5f, 0.0f, -7.0f, -8.0f);
  Set(c[23], 0.0f, 1.5f, -7.0f, 1.0f);
  Set(c[24], 3.25f, std::sin(3.25f), 0.0f, -40.0f);
}

TEST_F(VsGlslTest, GpuAgreesWithTheCpuEvaluatorOnTheEngineShaders) {
  Numbers numbers;
  Constants constants;
  EngineConstants(&numbers, &constants);
  std::vector<Vertex> vertices;
  for (int k = 0; k < 24; ++k) {
    Vertex v = EmptyVertex();
    for (uint32_t r = 0; r < 8; ++r) {
      for (float& x : v[r]) x = numbers.Next(-1.0f, 1.0f);
    }
    v[0][3] = 1.0f;
    // Bone indices as D3DCOLOR bytes (three registers per bone) seen as 0..1.
    for (float& x : v[5]) x = static_cast<float>(3 * static_cast<int>(numbers.Next(0.0f, 20.0f))) / 255.0f;
    for (float& x : v[4]) x = numbers.Next(0.0f, 1.0f);
    vertices.push_back(v);
  }
  const float fixup[4] = {-1.0f / 320.0f, 1.0f / 240.0f, -1.0f, 0.0f};

  for (const vstext::Named& text : vstext::kAll) {
    SCOPED_TRACE(text.name);
    VertexShaderGl* shader = Make(text.text);
    ASSERT_NE(shader, nullptr);
    const std::vector<TestHooks::VsCapture> gpu = RunGpu(shader, constants, vertices, fixup);
    ASSERT_EQ(gpu.size(), vertices.size());
    for (size_t k = 0; k < vertices.size(); ++k) {
      VsOutputs cpu{};
      RunVsProgram(shader->Program(), Registers(vertices[k]), constants.c, &cpu);
      const float* p = cpu.position;
      const float expected[4] = {p[0] + fixup[0] * p[3], (p[1] + fixup[1] * p[3]) * fixup[2],
                                 2.0f * p[2] - p[3], p[3]};
      const std::string at = " vertex " + std::to_string(k);
      ExpectVec(gpu[k].position, expected, 1e-4f, "position" + at);
      ExpectVec(gpu[k].color0, cpu.color[0], 1e-4f, "oD0" + at);
      ExpectVec(gpu[k].color1, cpu.color[1], 1e-4f, "oD1" + at);
      ExpectVec(gpu[k].texCoord0, cpu.texCoord[0], 1e-4f, "oT0" + at);
      ExpectVec(gpu[k].texCoord1, cpu.texCoord[1], 1e-4f, "oT1" + at);
      EXPECT_TRUE(Close(gpu[k].fog, cpu.fog, 1e-4f)) << at;
    }
  }
}

// What the engine's shaders compute, held against the sums written out directly.
TEST(VsInterpreter, EngineShadersComputeWhatTheyAreFor) {
  Numbers numbers;
  Constants constants;
  EngineConstants(&numbers, &constants);
  const float(*c)[4] = constants.c;
  Vertex v = EmptyVertex();
  v[0] = {0.3f, -0.7f, 0.2f, 1.0f};
  v[1] = {0.0f, 0.6f, 0.8f, 1.0f};
  v[2] = {0.2f, 0.4f, 0.6f, 0.8f};
  v[3] = {0.1f, 0.9f, 0.25f, 1.0f};
  v[4] = {0.5f, 0.25f, 0.125f, 0.125f};
  v[5] = {3.0f / 255.0f, 6.0f / 255.0f, 0.0f, 9.0f / 255.0f};
  v[7] = {0.4f, 0.6f, 0.0f, 1.0f};

  auto run = [&](const char* text) {
    VsProgram program;
    std::string messages;
    EXPECT_TRUE(AssembleVs(text, std::strlen(text), vstext::kMacros, &program, &messages))
        << messages;
    VsOutputs out{};
    RunVsProgram(program, Registers(v), c, &out);
    return out;
  };
  // Row vector times the four rows c[first..first+3].
  auto transform = [&](const float* p, int first, float* out) {
    for (int j = 0; j < 4; ++j) {
      out[j] = p[0] * c[first][j] + p[1] * c[first + 1][j] + p[2] * c[first + 2][j] +
               p[3] * c[first + 3][j];
    }
  };
  auto saturate = [](float x) { return std::min(1.0f, std::max(0.0f, x)); };

  {
    SCOPED_TRACE("unlit mesh");
    const VsOutputs out = run(vstext::kUnlitMesh);
    float position[4];
    transform(v[0].data(), 0, position);
    ExpectVec(out.position, position, 1e-5f, "oPos");
    const float colour[4] = {saturate(c[5][0] * v[2][0]), saturate(c[5][1] * v[2][1]),
                             saturate(c[5][2] * v[2][2]), saturate(c[5][3])};
    ExpectVec(out.color[0], colour, 1e-5f, "oD0");
    ExpectVec(out.texCoord[0], v[3].data(), 0.0f, "oT0");
  }
  {
    SCOPED_TRACE("lit skinned");
    const VsOutputs out = run(vstext::kLitSkinned);
    // Index bytes z, y, x, w are 0, 6, 3, 9: bone registers 13, 19, 16, 22, weights x..w.
    const int bones[4] = {13, 19, 16, 22};
    float blended[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float normal[3] = {0.0f, 0.0f, 0.0f};
    for (int k = 0; k < 4; ++k) {
      for (int j = 0; j < 3; ++j) {
        const float* row = c[bones[k] + j];
        blended[j] += v[4][k] * (v[0][0] * row[0] + v[0][1] * row[1] + v[0][2] * row[2] +
                                 v[0][3] * row[3]);
        normal[j] += v[4][k] * (v[1][0] * row[0] + v[1][1] * row[1] + v[1][2] * row[2]);
      }
    }
    float position[4];
    transform(blended, 0, position);
    ExpectVec(out.position, position, 1e-4f, "oPos");
    float light[4] = {c[12][0], c[12][1], c[12][2], c[12][3]};
    for (int i = 0; i < 3; ++i) {
      const float* direction = c[6 + i];
      const float amount = std::max(
          0.0f, normal[0] * direction[0] + normal[1] * direction[1] + normal[2] * direction[2]);
      for (int j = 0; j < 4; ++j) light[j] += amount * c[9 + i][j];
    }
    const float colour[4] = {saturate(light[0] * c[5][0]), saturate(light[1] * c[5][1]),
                             saturate(light[2] * c[5][2]), saturate(c[5][3])};
    ExpectVec(out.color[0], colour, 1e-4f, "oD0");
  }
  {
    SCOPED_TRACE("water");
    const VsOutputs out = run(vstext::kWater);
    const float u = v[3][0], w = v[3][2];
    float height = 0.0f;
    for (int i = 0; i < 4; ++i) {
      const float phase = c[22][i] * u + c[23][i] * v[3][1] + c[24][0] * c[21][i] + c[20][i];
      const float x = ((phase - std::floor(phase)) * c[18][0] - 0.5f) * 6.2831855f;
      // The sine's series to x^7, as the shader has it.
      const float sine = x - x * x * x / 6.0f + x * x * x * x * x / 120.0f -
                         x * x * x * x * x * x * x / 5040.0f;
      height += (sine * (1.0f - w)) * c[19][i];
    }
    const float moved[4] = {v[0][0] + v[1][0] * height, v[0][1] + v[1][1] * height,
                            v[0][2] + v[1][2] * height + 40.0f, 1.0f};
    float position[4];
    transform(moved, 0, position);
    ExpectVec(out.position, position, 1e-4f, "oPos");
    float water14[4];
    for (int j = 0; j < 4; ++j) water14[j] = saturate(c[26][j]);
    ExpectVec(out.color[0], water14, 0.0f, "oD0");
    const float t1[4] = {v[7][0] + height * c[15][2], v[7][1] + 2.0f * height * c[15][2], 0.0f,
                         1.0f};
    ExpectVec(out.texCoord[1], t1, 1e-4f, "oT1");
    float t0[4];
    const float origin[4] = {v[0][0], v[0][1], v[0][2], 1.0f};
    transform(origin, 27, t0);
    t0[1] = -t0[1];
    ExpectVec(out.texCoord[0], t0, 1e-5f, "oT0");
  }
}

}  // namespace
