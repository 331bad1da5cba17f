// Draws through the engine's vertex shaders on the real device: declarations feeding shader
// inputs from several streams, constants (and their updates between draws), the particle
// stream's indexed quads, skinning through a0-relative constants, and screen declarations,
// whose pre-transformed vertices never run the shader. Also what vertex processing makes of
// inputs a draw does not give, of positions with a w, of fog a shader does not write and of
// texture transform flags, with and without a shader.
#include <cstring>
#include <string>

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

  // A managed A8R8G8B8 texture, rows top first, bound to stage 0 and sampled as it is.
  void BindTexture(uint32_t width, uint32_t height, const std::vector<uint32_t>& texels) {
    D3DTexture* texture = nullptr;
    ASSERT_EQ(
        device_->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture),
        D3D_OK);
    owned_.push_back(texture);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (uint32_t y = 0; y < height; ++y) {
      std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, &texels[y * width],
                  width * 4);
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

// Vertex fog reads oFog; a shader that never writes it has its specular alpha (oD1.a) taken
// for the factor, which an unwritten oD1 leaves at 1: no fog. Table fog reads the depth alone.
TEST_F(PipelineShaderTest, FogAShaderDoesNotWriteComesFromItsSpecularAlpha) {
  DiffuseOnly();
  const std::string specular = std::string(vstext::kUnlitMesh) + "mov\toD1,c7\n";
  const std::string fog = specular + "mov\toFog,c8.x\n";
  D3DVertexShader* shaders[3] = {Shader(vstext::kUnlitMesh), Shader(specular.c_str()),
                                 Shader(fog.c_str())};
  ASSERT_TRUE(shaders[0] && shaders[1] && shaders[2]);
  device_->SetVertexDeclaration(Declaration(kMeshElements));
  device_->SetStreamSource(0, Buffer(kUnitSquare, 4), 0, sizeof(MeshVertex));
  PlaceInPixels(10, 20, 30);  // depth 0.5
  SetRgbaMult(1.0f, 1.0f, 1.0f, 1.0f);
  const float specularAlpha[4] = {0.0f, 0.0f, 0.0f, 0.25f};
  const float fogFactor[4] = {0.75f, 0.0f, 0.0f, 0.0f};
  ASSERT_EQ(device_->SetVertexShaderConstantF(7, specularAlpha, 1), D3D_OK);
  ASSERT_EQ(device_->SetVertexShaderConstantF(8, fogFactor, 1), D3D_OK);
  SetFloatState(D3DRS_FOGSTART, 0.0f);
  SetFloatState(D3DRS_FOGEND, 1.0f);
  device_->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FFu);
  device_->SetRenderState(D3DRS_FOGENABLE, 1);
  device_->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
  struct Case {
    const char* what;
    int shader;
    uint32_t tableMode;
    double share;  // of the vertex colour 0x80FF40 against the fog colour
  };
  const Case cases[] = {
      {"neither oFog nor oD1", 0, D3DFOG_NONE, 1.0},
      {"oD1 alone", 1, D3DFOG_NONE, 0.25},
      {"oFog and oD1", 2, D3DFOG_NONE, 0.75},
      {"table fog, half way from start to end", 1, D3DFOG_LINEAR, 0.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    device_->SetVertexShader(shaders[c.shader]);
    device_->SetRenderState(D3DRS_FOGTABLEMODE, c.tableMode);
    Clear(0xFF000000u);
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    const std::vector<uint32_t> pixels = Read();
    const uint32_t expected = Argb(255, std::lround(0x80 * c.share), std::lround(0xFF * c.share),
                                   std::lround(0x40 * c.share + 0xFF * (1 - c.share)));
    EXPECT_EQ(CountOff(pixels, 21, 31, 29, 39, expected, 2), 0) << std::hex << At(pixels, 25, 35);
  }
  device_->SetRenderState(D3DRS_FOGENABLE, 0);
}

// Every flag word against coordinates of one to four components without a shader, and of four
// through a shader (which copies v3 to oT0). The same coordinate at every vertex picks one texel
// of an 8 x 8 texture, point sampled and clamped, for the whole square.
//
// Without a shader, COUNT2 to COUNT4 widen the coordinate with a 1 in its first missing component
// (zeros after it), multiply it by the matrix and keep that many components; PROJECTED divides by
// the last of them (COUNT2 leaves v at 0). Any other count (DISABLE, COUNT1, a junk word) takes
// the coordinate as given, PROJECTED or not. A shader's coordinate never meets the matrix, and
// PROJECTED divides it by w whatever the count. The matrix and coordinate are chosen so that
// each of these rules, misread, lands on another texel.
TEST_F(PipelineShaderTest, TextureTransformFlagsInEveryCombination) {
  constexpr uint32_t kProjected = D3DTTFF_PROJECTED;
  constexpr uint32_t kJunk = 0xFFFFFEFFu;           // no count Direct3D knows
  constexpr uint32_t kJunkProjected = 0xFFFFFFFFu;  // the same with PROJECTED
  constexpr int kShader = 4;                        // the last column of a row
  struct Row {
    uint32_t flags;
    int texel[5][2];  // column and row with 1, 2, 3 and 4 components, and through the shader
  };
  const Row rows[] = {
      {D3DTTFF_DISABLE, {{3, 0}, {3, 2}, {3, 2}, {3, 2}, {3, 2}}},
      {D3DTTFF_COUNT1, {{3, 0}, {3, 2}, {3, 2}, {3, 2}, {3, 2}}},
      {D3DTTFF_COUNT2, {{2, 7}, {2, 3}, {2, 5}, {2, 7}, {3, 2}}},
      {D3DTTFF_COUNT3, {{2, 7}, {2, 3}, {2, 5}, {2, 7}, {3, 2}}},
      {D3DTTFF_COUNT4, {{2, 7}, {2, 3}, {2, 5}, {2, 7}, {3, 2}}},
      {D3DTTFF_DISABLE | kProjected, {{3, 0}, {3, 2}, {3, 2}, {3, 2}, {0, 0}}},
      {D3DTTFF_COUNT1 | kProjected, {{3, 0}, {3, 2}, {3, 2}, {3, 2}, {0, 0}}},
      {D3DTTFF_COUNT2 | kProjected, {{1, 0}, {5, 0}, {3, 0}, {1, 0}, {0, 0}}},
      {D3DTTFF_COUNT3 | kProjected, {{3, 7}, {0, 0}, {0, 0}, {0, 1}, {0, 0}}},
      {D3DTTFF_COUNT4 | kProjected, {{5, 7}, {2, 3}, {1, 2}, {0, 3}, {0, 0}}},
      {kJunk, {{3, 0}, {3, 2}, {3, 2}, {3, 2}, {3, 2}}},
      {kJunkProjected, {{3, 0}, {3, 2}, {3, 2}, {3, 2}, {0, 0}}},
  };
  const D3DMATRIX matrix{{0.75f, 0, 0, 0, 0, 1.5f, 0.75f, 0.5f, 0, 0, 6, 1, 0, 0.25f, 0.5f, 0.5f}};
  const float coord[4] = {0.4375f, 0.3125f, 1.5f, 6.0f};

  auto texelColour = [](int column, int row) {
    return Argb(255, 32 * column + 16, 32 * row + 16, 0x80);
  };
  std::vector<uint32_t> texels;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) texels.push_back(texelColour(x, y));
  }
  BindTexture(8, 8, texels);
  device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  device_->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
  device_->SetTransform(D3DTS_TEXTURE0, &matrix);

  D3DVertexDeclaration* declarations[4];
  for (uint8_t n = 0; n < 4; ++n) {
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
        {0, 12, static_cast<uint8_t>(D3DDECLTYPE_FLOAT1 + n), 0, D3DDECLUSAGE_TEXCOORD, 0},
        D3DDECL_END()};
    declarations[n] = Declaration(elements);
  }
  D3DVertexShader* shader = Shader(vstext::kUnlitMesh);
  ASSERT_NE(shader, nullptr);
  TransformToPixels(20, 40, 20);
  PlaceInPixels(20, 40, 20);
  struct Vertex {
    float x, y, z;
    float coord[4];
  };
  Vertex square[4];
  const float corners[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  for (int i = 0; i < 4; ++i) {
    square[i] = {corners[i][0], corners[i][1], 0, {coord[0], coord[1], coord[2], coord[3]}};
  }
  for (const Row& row : rows) {
    for (int source = 0; source < 5; ++source) {
      device_->SetVertexDeclaration(declarations[source == kShader ? 3 : source]);
      device_->SetVertexShader(source == kShader ? shader : nullptr);
      device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, row.flags);
      Clear(0xFF000000u);
      ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, square, sizeof(Vertex)), D3D_OK);
      const std::vector<uint32_t> pixels = Read();
      const uint32_t expected = texelColour(row.texel[source][0], row.texel[source][1]);
      EXPECT_EQ(CountOff(pixels, 43, 23, 57, 37, expected, 1), 0)
          << "flags " << std::hex << row.flags << ", column " << source << ": got "
          << At(pixels, 50, 30) << " expected " << expected;
    }
  }
  device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  device_->SetTexture(0, nullptr);
}

}  // namespace
}  // namespace pipetest
