// Draws through the engine's vertex shaders on the real device: declarations feeding shader
// inputs from several streams, constants (and their updates between draws), the particle
// stream's indexed quads, skinning through a0-relative constants, and screen declarations,
// whose pre-transformed vertices never run the shader. Also what vertex processing makes of
// inputs a draw does not give, of positions with a w, of fog a shader does not write and of
// texture transform flags, with and without a shader.
#include <cstring>

#include "Platform/Gfx/D3DX.h"
#include "tests/gfx/PipelineTestSupport.h"
#include "tests/gfx/VsShaderTexts.h"

namespace pipetest {
namespace {

struct MeshVertex {
  float x, y, z;
  float nx, ny, nz;
  uint32_t color;
  float u, v;
};
static_assert(sizeof(MeshVertex) == 36);

struct SkinWeight {
  uint8_t index[4];
  float weight[4];
};
static_assert(sizeof(SkinWeight) == 20);

class PipelineShaderTest : public PipelineTest {
 protected:
  void TearDown() override {
    if (device_) {
      device_->SetVertexShader(nullptr);
      device_->SetVertexDeclaration(nullptr);
    }
    for (D3DResource* r : owned_) r->Release();
    PipelineTest::TearDown();
  }

  D3DVertexShader* Shader(const char* text) {
    D3DXBuffer* code = nullptr;
    D3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXAssembleShader(text, static_cast<uint32_t>(std::strlen(text)),
                                          vstext::kMacros, nullptr, 0, &code, &errors);
    if (errors) {
      ADD_FAILURE() << static_cast<const char*>(errors->GetBufferPointer());
      errors->Release();
    }
    EXPECT_EQ(hr, D3D_OK);
    if (!code) return nullptr;
    D3DVertexShader* shader = nullptr;
    EXPECT_EQ(device_->CreateVertexShader(static_cast<const uint32_t*>(code->GetBufferPointer()),
                                          &shader),
              D3D_OK);
    code->Release();
    if (shader) owned_.push_back(shader);
    return shader;
  }

  D3DVertexDeclaration* Declaration(const D3DVERTEXELEMENT9* elements) {
    D3DVertexDeclaration* declaration = nullptr;
    EXPECT_EQ(device_->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    if (declaration) owned_.push_back(declaration);
    return declaration;
  }

  template <typename T>
  D3DVertexBuffer* Buffer(const T* vertices, uint32_t count) {
    D3DVertexBuffer* buffer = nullptr;
    EXPECT_EQ(device_->CreateVertexBuffer(count * sizeof(T), D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED,
                                          &buffer),
              D3D_OK);
    void* data = nullptr;
    EXPECT_EQ(buffer->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, vertices, count * sizeof(T));
    EXPECT_EQ(buffer->Unlock(), D3D_OK);
    owned_.push_back(buffer);
    return buffer;
  }

  // c0..c3: the rows of the object-to-clip matrix: scale by `size`, move to (x, y) in pixels.
  void PlaceInPixels(float size, float x, float y) {
    const float rows[16] = {size * 2.0f / kWidth, 0, 0, 0, 0, -size * 2.0f / kHeight, 0, 0,
                            0, 0, 1, 0, x * 2.0f / kWidth - 1.0f, 1.0f - y * 2.0f / kHeight,
                            0.5f, 1};
    ASSERT_EQ(device_->SetVertexShaderConstantF(0, rows, 4), D3D_OK);
  }

  void SetRgbaMult(float r, float g, float b, float a) {
    const float mult[4] = {r, g, b, a};
    ASSERT_EQ(device_->SetVertexShaderConstantF(5, mult, 1), D3D_OK);
  }

  // A managed 2 x 2 A8R8G8B8 texture, rows top first, bound to stage 0 and sampled as it is.
  void BindTexture(const uint32_t texels[4]) {
    D3DTexture* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture),
              D3D_OK);
    owned_.push_back(texture);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 2; ++y) {
      std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, texels + 2 * y, 8);
    }
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
    device_->SetTexture(0, texture);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  }

  // The fixed-function transforms that put the unit square on [x, x + size) x [y, y + size).
  void TransformToPixels(float size, float x, float y) {
    const D3DMATRIX pixelsToClip{
        {2.0f / kWidth, 0, 0, 0, 0, -2.0f / kHeight, 0, 0, 0, 0, 1, 0, -1, 1, 0, 1}};
    const D3DMATRIX world{{size, 0, 0, 0, 0, size, 0, 0, 0, 0, 1, 0, x, y, 0.5f, 1}};
    const D3DMATRIX identity{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
    device_->SetRenderState(D3DRS_LIGHTING, 0);
    device_->SetTransform(D3DTS_WORLD, &world);
    device_->SetTransform(D3DTS_VIEW, &identity);
    device_->SetTransform(D3DTS_PROJECTION, &pixelsToClip);
  }

  std::vector<D3DResource*> owned_;
};

const D3DVERTEXELEMENT9 kMeshElements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                           {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
                                           {0, 24, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                           {0, 28, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                           D3DDECL_END()};

const MeshVertex kUnitSquare[4] = {{0, 0, 0, 0, 0, 1, 0xFF80FF40u, 0, 0},
                                   {1, 0, 0, 0, 0, 1, 0xFF80FF40u, 1, 0},
                                   {0, 1, 0, 0, 0, 1, 0xFF80FF40u, 0, 1},
                                   {1, 1, 0, 0, 0, 1, 0xFF80FF40u, 1, 1}};

TEST_F(PipelineShaderTest, UnlitMeshShaderPlacesAndColoursFromItsConstants) {
  DiffuseOnly();
  D3DVertexShader* shader = Shader(vstext::kUnlitMesh);
  ASSERT_NE(shader, nullptr);
  device_->SetVertexDeclaration(Declaration(kMeshElements));
  device_->SetVertexShader(shader);
  device_->SetStreamSource(0, Buffer(kUnitSquare, 4), 0, sizeof(MeshVertex));

  PlaceInPixels(10, 20, 30);
  SetRgbaMult(0.5f, 1.0f, 0.25f, 1.0f);
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  std::vector<uint32_t> pixels = Read();
  // RGBAMult times the vertex colour (0x80, 0xFF, 0x40).
  const uint32_t expected = Argb(255, 0x40, 0xFF, 0x10);
  EXPECT_EQ(CountOff(pixels, 20, 30, 30, 40, expected, 1), 0) << std::hex << At(pixels, 25, 35);
  EXPECT_EQ(CountColour(pixels, expected), 100);

  // New constants between draws reach the program: another colour, another place.
  SetRgbaMult(1.0f, 0.0f, 1.0f, 1.0f);
  PlaceInPixels(10, 60, 50);
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  pixels = Read();
  EXPECT_EQ(CountOff(pixels, 60, 50, 70, 60, Argb(255, 0x80, 0, 0x40), 1), 0);
  EXPECT_EQ(CountColour(pixels, Argb(255, 0x80, 0, 0x40)), 100);

  // Fixed function again (no shader): the same vertices go through the transforms instead.
  device_->SetVertexShader(nullptr);
  device_->SetRenderState(D3DRS_LIGHTING, 0);
  const D3DMATRIX pixelsToClip{
      {2.0f / kWidth, 0, 0, 0, 0, -2.0f / kHeight, 0, 0, 0, 0, 1, 0, -1, 1, 0, 1}};
  const D3DMATRIX world{{10, 0, 0, 0, 0, 10, 0, 0, 0, 0, 1, 0, 5, 5, 0.5f, 1}};
  device_->SetTransform(D3DTS_WORLD, &world);
  device_->SetTransform(D3DTS_PROJECTION, &pixelsToClip);
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  pixels = Read();
  EXPECT_EQ(CountOff(pixels, 5, 5, 15, 15, 0xFF80FF40u, 0), 0);
  EXPECT_EQ(CountColour(pixels, 0xFF80FF40u), 100);
}

TEST_F(PipelineShaderTest, ParticleStreamDrawsIndexedQuadsFromAStreamOffset) {
  DiffuseOnly();
  const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                        {0, 12, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                        {0, 16, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                        D3DDECL_END()};
  D3DVertexShader* shader = Shader(vstext::kStream);
  ASSERT_NE(shader, nullptr);
  device_->SetVertexDeclaration(Declaration(elements));
  device_->SetVertexShader(shader);

  // The stream's buffers: a dynamic vertex ring and the static quad indices.
  D3DVertexBuffer* ring = nullptr;
  ASSERT_EQ(
      device_->CreateVertexBuffer(64 * sizeof(WorldVertex), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                  kFvfWorld, D3DPOOL_DEFAULT, &ring),
      D3D_OK);
  owned_.push_back(ring);
  D3DIndexBuffer* quads = nullptr;
  ASSERT_EQ(device_->CreateIndexBuffer(8 * 6 * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                       D3DPOOL_DEFAULT, &quads),
            D3D_OK);
  owned_.push_back(quads);
  void* data = nullptr;
  ASSERT_EQ(quads->Lock(0, 0, &data, 0), D3D_OK);
  for (uint16_t q = 0; q < 8; ++q) {
    const uint16_t v = static_cast<uint16_t>(4 * q);
    const uint16_t six[6] = {v, uint16_t(v + 1), uint16_t(v + 2), uint16_t(v + 2),
                             uint16_t(v + 1), uint16_t(v + 3)};
    std::memcpy(static_cast<uint16_t*>(data) + 6 * q, six, sizeof six);
  }
  ASSERT_EQ(quads->Unlock(), D3D_OK);
  device_->SetIndices(quads);

  // A first lock of 8 vertices (ignored here), then two particles at vertex 8.
  ASSERT_EQ(ring->Lock(0, 8 * sizeof(WorldVertex), &data, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK),
            D3D_OK);
  std::memset(data, 0, 8 * sizeof(WorldVertex));
  ASSERT_EQ(ring->Unlock(), D3D_OK);
  ASSERT_EQ(ring->Lock(8 * sizeof(WorldVertex), 8 * sizeof(WorldVertex), &data,
                       D3DLOCK_NOOVERWRITE | D3DLOCK_NOSYSLOCK),
            D3D_OK);
  WorldVertex* v = static_cast<WorldVertex*>(data);
  const float corners[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  for (int i = 0; i < 4; ++i) {
    v[i] = {corners[i][0], corners[i][1], 0, 0x80FF8000u, corners[i][0], corners[i][1]};
    v[4 + i] = {corners[i][0] + 4, corners[i][1], 0, 0xFF0080FFu, corners[i][0], corners[i][1]};
  }
  ASSERT_EQ(ring->Unlock(), D3D_OK);
  device_->SetStreamSource(0, ring, 8 * sizeof(WorldVertex), sizeof(WorldVertex));

  PlaceInPixels(10, 20, 30);
  SetRgbaMult(1.0f, 1.0f, 1.0f, 1.0f);
  // Alpha blending as the particles do: the first particle is half transparent.
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, 0, 4), D3D_OK);
  const std::vector<uint32_t> pixels = Read();
  const float a = 128.0f / 255.0f;
  const uint32_t half = Argb(255, std::lround(255 * a), std::lround(128 * a), 0);
  EXPECT_EQ(CountOff(pixels, 20, 30, 30, 40, half, 2), 0) << std::hex << At(pixels, 25, 35);
  EXPECT_EQ(CountOff(pixels, 60, 30, 70, 40, 0xFF0080FFu, 1), 0);
  EXPECT_EQ(CountOff(pixels, 32, 30, 58, 40, 0xFF000000u, 0), 0);
}

TEST_F(PipelineShaderTest, SkinningReadsBoneMatricesThroughTheAddressRegister) {
  DiffuseOnly();
  const D3DVERTEXELEMENT9 elements[] = {
      {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
      {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
      {0, 24, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
      {0, 28, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
      {2, 0, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_BLENDINDICES, 0},
      {2, 4, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_BLENDWEIGHT, 0},
      D3DDECL_END()};
  D3DVertexShader* shader = Shader(vstext::kUnlitSkinned);
  ASSERT_NE(shader, nullptr);
  device_->SetVertexDeclaration(Declaration(elements));
  device_->SetVertexShader(shader);
  device_->SetStreamSource(0, Buffer(kUnitSquare, 4), 0, sizeof(MeshVertex));
  // Every vertex follows bone 1 alone (index byte 3 = three registers per bone).
  const SkinWeight bone1 = {{3, 0, 0, 0}, {1, 0, 0, 0}};
  const SkinWeight weights[4] = {bone1, bone1, bone1, bone1};
  device_->SetStreamSource(2, Buffer(weights, 4), 0, sizeof(SkinWeight));

  const float c4[4] = {0.0f, 1.0f, 13.0f, 256.0f};
  device_->SetVertexShaderConstantF(4, c4, 1);
  // Bone 0 stays put, bone 1 moves by (3, 2): transposed rows of the skin matrices.
  const float bones[24] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 3, 0, 1, 0, 2, 0, 0, 1, 0};
  device_->SetVertexShaderConstantF(13, bones, 6);
  PlaceInPixels(10, 20, 30);
  SetRgbaMult(1.0f, 1.0f, 1.0f, 1.0f);
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  const std::vector<uint32_t> pixels = Read();
  // Moved by 3 and 2 units of 10 pixels.
  EXPECT_EQ(CountOff(pixels, 50, 50, 60, 60, 0xFF80FF40u, 1), 0) << std::hex << At(pixels, 55, 55);
  EXPECT_EQ(CountColour(pixels, 0xFF80FF40u), 100);

  // Without stream 2 its weights read zeros: every vertex blends to the origin, nothing shows.
  device_->SetStreamSource(2, nullptr, 0, 0);
  Clear(0xFF000000u);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  EXPECT_EQ(CountColour(Read(), 0xFF80FF40u), 0);
}

TEST_F(PipelineShaderTest, ScreenDeclarationSkipsTheShader) {
  DiffuseOnly();
  const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0},
                                        {0, 16, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                        {0, 20, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                        D3DDECL_END()};
  D3DVertexShader* shader = Shader(vstext::kScreen);
  ASSERT_NE(shader, nullptr);
  device_->SetVertexDeclaration(Declaration(elements));
  device_->SetVertexShader(shader);
  SetRgbaMult(0.0f, 0.0f, 0.0f, 0.0f);  // would blacken everything if the shader ran
  const ScreenVertex quad[4] = {{20, 30, 0, 1, 0xFF7F7F7Fu, 0, 0},
                                {30, 30, 0, 1, 0xFF7F7F7Fu, 1, 0},
                                {20, 40, 0, 1, 0xFF7F7F7Fu, 0, 1},
                                {30, 40, 0, 1, 0xFF7F7F7Fu, 1, 1}};
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex)), D3D_OK);
  const std::vector<uint32_t> pixels = Read();
  EXPECT_EQ(CountOff(pixels, 20, 30, 30, 40, 0xFF7F7F7Fu, 0), 0);
  EXPECT_EQ(CountColour(pixels, 0xFF7F7F7Fu), 100);
}

TEST_F(PipelineShaderTest, InputsADrawDoesNotGiveReadDirect3DsDefaults) {
  DiffuseOnly();
  // Positions in stream 0; the colour, when declared, in stream 1, which is never set.
  const D3DVERTEXELEMENT9 noColour[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                        D3DDECL_END()};
  const D3DVERTEXELEMENT9 unsetColour[] = {
      {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
      {1, 0, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
      D3DDECL_END()};
  const float square[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
  struct Case {
    const char* name;
    const D3DVERTEXELEMENT9* elements;
    bool shader;
    uint32_t expected;
  };
  const Case cases[] = {
      {"no colour element: white diffuse", noColour, false, 0xFFFFFFFFu},
      {"colour from an unset stream: zeros", unsetColour, false, 0xFF000000u},
      {"shader reading an unset stream: zeros", unsetColour, true, 0xFF000000u},
  };
  D3DVertexShader* shader = Shader(vstext::kUnlitMesh);
  ASSERT_NE(shader, nullptr);
  device_->SetStreamSource(0, Buffer(square, 4), 0, sizeof square[0]);
  TransformToPixels(10, 20, 30);
  PlaceInPixels(10, 20, 30);
  SetRgbaMult(1.0f, 1.0f, 1.0f, 1.0f);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    device_->SetVertexDeclaration(Declaration(c.elements));
    device_->SetVertexShader(c.shader ? shader : nullptr);
    Clear(0xFF406080u);
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    const std::vector<uint32_t> pixels = Read();
    EXPECT_EQ(CountOff(pixels, 20, 30, 30, 40, c.expected, 1), 0) << std::hex << At(pixels, 25, 35);
  }
}

TEST_F(PipelineShaderTest, FixedFunctionTransformsPositionsWithoutTheirW) {
  DiffuseOnly();
  TransformToPixels(10, 20, 30);
  struct Vertex {
    float x, y, z, w;
    uint32_t color;
  };
  // A w of 2 used in the transform would halve the square and its place.
  const Vertex square[4] = {{0, 0, 0, 2, 0xFF00FF00u},
                            {1, 0, 0, 2, 0xFF00FF00u},
                            {0, 1, 0, 2, 0xFF00FF00u},
                            {1, 1, 0, 2, 0xFF00FF00u}};
  const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0},
                                        {0, 16, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                        D3DDECL_END()};
  for (const bool fvf : {false, true}) {
    SCOPED_TRACE(fvf ? "D3DFVF_XYZW" : "FLOAT4 position");
    if (fvf) {
      ASSERT_EQ(device_->SetFVF(D3DFVF_XYZW | D3DFVF_DIFFUSE), D3D_OK);
    } else {
      device_->SetVertexDeclaration(Declaration(elements));
    }
    Clear(0xFF000000u);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, square, sizeof(Vertex)), D3D_OK);
    const std::vector<uint32_t> pixels = Read();
    EXPECT_EQ(CountOff(pixels, 20, 30, 30, 40, 0xFF00FF00u, 0), 0);
    EXPECT_EQ(CountColour(pixels, 0xFF00FF00u), 100);
  }
}

TEST_F(PipelineShaderTest, FogAShaderDoesNotWriteFollowsTheFogMode) {
  DiffuseOnly();
  D3DVertexShader* shader = Shader(vstext::kUnlitMesh);  // writes no oFog
  ASSERT_NE(shader, nullptr);
  device_->SetVertexDeclaration(Declaration(kMeshElements));
  device_->SetVertexShader(shader);
  device_->SetStreamSource(0, Buffer(kUnitSquare, 4), 0, sizeof(MeshVertex));
  PlaceInPixels(10, 20, 30);  // depth 0.5
  SetRgbaMult(1.0f, 1.0f, 1.0f, 1.0f);
  SetFloatState(D3DRS_FOGSTART, 0.0f);
  SetFloatState(D3DRS_FOGEND, 1.0f);
  device_->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FFu);
  device_->SetRenderState(D3DRS_FOGENABLE, 1);
  device_->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
  struct Case {
    uint32_t tableMode;
    uint32_t expected;
  };
  const Case cases[] = {
      // Vertex fog reads oFog: nothing written leaves the colour unfogged.
      {D3DFOG_NONE, 0xFF80FF40u},
      // Table fog reads the depth: half way from start to end, half fog colour.
      {D3DFOG_LINEAR, Argb(255, 0x40, 0x80, (0x40 + 0xFF) / 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tableMode);
    device_->SetRenderState(D3DRS_FOGTABLEMODE, c.tableMode);
    Clear(0xFF000000u);
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    const std::vector<uint32_t> pixels = Read();
    EXPECT_EQ(CountOff(pixels, 21, 31, 29, 39, c.expected, 2), 0) << std::hex << At(pixels, 25, 35);
  }
  device_->SetRenderState(D3DRS_FOGENABLE, 0);
}

TEST_F(PipelineShaderTest, TextureTransformFlagsCountAndProjectAsDirect3DDoes) {
  constexpr uint32_t kRed = 0xFFFF0000u;
  constexpr uint32_t kGreen = 0xFF00FF00u;
  constexpr uint32_t kBlue = 0xFF0000FFu;
  constexpr uint32_t kWhite = 0xFFFFFFFFu;
  const uint32_t texels[4] = {kRed, kGreen, kBlue, kWhite};
  BindTexture(texels);
  const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                        {0, 12, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                        D3DDECL_END()};
  device_->SetVertexDeclaration(Declaration(elements));
  struct Vertex {
    float x, y, z;
    float s, t, r, q;
  };
  struct Case {
    const char* name;
    bool shader;
    uint32_t flags;
    D3DMATRIX texture;
    float coords[4][4];  // per corner: top-left, top-right, bottom-left, bottom-right
    uint32_t quadrants[4];
  };
  const D3DMATRIX identity{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
  const Case cases[] = {
      // Two components widened with a 1: the third row moves u by 0.5, the right half shows.
      {"COUNT2 translates", false, D3DTTFF_COUNT2,
       {{1, 0, 0, 0, 0, 1, 0, 0, 0.5f, 0, 1, 0, 0, 0, 0, 1}},
       {{0, 0, 1, 0}, {0.5f, 0, 1, 0}, {0, 1, 1, 0}, {0.5f, 1, 1, 0}},
       {kGreen, kGreen, kWhite, kWhite}},
      // COUNT1 is a transform too: u becomes 1 - u and the picture turns left to right.
      {"COUNT1 transforms", false, D3DTTFF_COUNT1,
       {{-1, 0, 0, 0, 0, 1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1}},
       {{0, 0, 1, 0}, {1, 0, 1, 0}, {0, 1, 1, 0}, {1, 1, 1, 0}},
       {kGreen, kRed, kWhite, kBlue}},
      // With a shader the count does not apply: the divide is by the fourth component, which
      // brings every corner to (0.75, 0.25), the green texel; the third would not.
      {"shader divides by w", true, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED, identity,
       {{0.75f, 0.25f, 5, 1}, {1.5f, 0.5f, 5, 2}, {2.25f, 0.75f, 5, 3}, {3, 1, 5, 4}},
       {kGreen, kGreen, kGreen, kGreen}},
  };
  D3DVertexShader* shader = Shader(vstext::kUnlitMesh);  // copies v3 to oT0
  ASSERT_NE(shader, nullptr);
  TransformToPixels(40, 20, 20);
  PlaceInPixels(40, 20, 20);
  const float corners[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Vertex quad[4];
    for (int i = 0; i < 4; ++i) {
      quad[i] = {corners[i][0], corners[i][1], 0,
                 c.coords[i][0], c.coords[i][1], c.coords[i][2], c.coords[i][3]};
    }
    device_->SetVertexShader(c.shader ? shader : nullptr);
    device_->SetTransform(D3DTS_TEXTURE0, &c.texture);
    device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, c.flags);
    Clear(0xFF000000u);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
    const std::vector<uint32_t> pixels = Read();
    const int x0[4] = {22, 42, 22, 42};
    const int y0[4] = {22, 22, 42, 42};
    for (int q = 0; q < 4; ++q) {
      EXPECT_EQ(CountOff(pixels, x0[q], y0[q], x0[q] + 16, y0[q] + 16, c.quadrants[q], 0), 0)
          << "quadrant " << q << ": " << std::hex << At(pixels, x0[q] + 8, y0[q] + 8);
    }
  }
  device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  device_->SetTexture(0, nullptr);
}

}  // namespace
}  // namespace pipetest
