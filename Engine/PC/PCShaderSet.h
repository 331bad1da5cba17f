#pragma once
// Every vertex declaration and vertex shader the engine draws with: six declarations and seven
// vs.1.1 shaders assembled at start-up from texts in which symbolic names stand for registers.
// It picks the declaration and shader for each kind of draw and loads the light and water
// constants. Pixel processing stays fixed-function (the render-state defaults). The display
// owns the one instance and rebuilds it around a device reset.
//
// Constant registers the draws fill: c0-c3 the object-to-clip matrix rows, c4 (0, 1, 13, 256),
// c5 the colour multiplier, c6-c8 light directions, c9-c11 light colours, c12 the ambient,
// c13 upward the skinning bones (three registers each) or the water constants, c27-c30 the
// water's projective texture matrix.

#include <cstdint>

#include "Engine/FastMath.h"
#include "Platform/Gfx/D3DX.h"

class ShaderSet {
 public:
  // Per-draw flags.
  static constexpr uint32_t kLit = 0x1;
  static constexpr uint32_t kSkinned = 0x2;

  enum Declaration : uint32_t {
    kDeclMesh,
    kDeclTwoMeshes,
    kDeclSkinnedMesh,
    kDeclScreen,
    kDeclStream,
    kDeclWater,
    kDeclarationCount,
  };
  enum Shader : uint32_t {
    kShaderMesh,
    kShaderLitMesh,
    kShaderSkinnedMesh,
    kShaderLitSkinnedMesh,
    kShaderScreen,
    kShaderStream,
    kShaderWater,
    kShaderCount,
  };

  // Vertex-shader constant registers; the assembler's name table maps its names onto these.
  enum ConstantRegister : uint32_t {
    kRegDrawMatrix = 0,        // c0-c3, the rows of the object-to-clip matrix
    kRegValues = 4,            // (0, 1, kRegFirstBone, 256)
    kRegColourMultiplier = 5,  // RGBAMult
    kRegLightDirection = 6,    // c6-c8, one per directional light
    kRegLightColour = 9,       // c9-c11
    kRegAmbient = 12,
    kRegFirstBone = 13,        // skinning: three registers a bone from here upward
    kRegWater1 = 13,           // the water shader's constants share the bones' registers
    kRegWater2 = 14,
    kRegWater3 = 15,
    kRegWater6 = 18,
    kRegWater7 = 19,
    kRegWater8 = 20,
    kRegWater9 = 21,
    kRegWater10 = 22,
    kRegWater11 = 23,
    kRegWater12 = 24,
    kRegWater14 = 26,
    kRegProjection = 27,       // c27-c30, the water's projective texture matrix
  };
  static constexpr uint32_t kDrawMatrixRegisters = 4;
  static constexpr uint32_t kBoneRegisters = 3;
  // Vertex streams of the declarations: a mesh, the second mesh of a blend, the skinning data.
  enum VertexStream : uint32_t { kStreamMesh = 0, kStreamSecondMesh = 1, kStreamSkin = 2 };

  // Registers whose loaded values the set remembers (everything it writes itself lies below).
  static constexpr uint32_t kRecordedConstants = 32;

  ShaderSet() = default;
  ~ShaderSet() { Release(); }
  ShaderSet(const ShaderSet&) = delete;
  ShaderSet& operator=(const ShaderSet&) = delete;

  void CreateDeclarations();
  void CreateShaders();
  // Assembles `text` with the register names and creates the shader; 1, or 0 with *shader null.
  int32_t CreateShader(const char* text, gfx::D3DVertexShader** shader);
  void Release();
  int32_t Restore();

  void SelectMeshShader();
  void SelectScreenShader();
  void SetDeclAndShader();

  // Loads the lights of the window being drawn, for a mesh placed by `world`, and marks the next
  // mesh selection lit.
  void SetLights(const Matrix* world);
  void SetDirectionalLight(int32_t index, const Vector4& colour, const Vector4& direction,
                           const Matrix* world);
  void SetWaterConstants(const Matrix* world, float time);
  void SetColourMultiplier(const Vector4& colour);
  void SetAmbient(const Vector4& colour);

  uint32_t GetFlags() const { return m_flags; }
  void ClearFlags() { m_flags = 0; }
  void SetSkinned() { m_flags |= kSkinned; }
  uint32_t GetMaxConstants() const { return m_maxConstants; }
  void SetMaxConstants(uint32_t count) { m_maxConstants = count; }
  gfx::D3DVertexDeclaration* GetDeclaration(uint32_t which) const {
    return which < kDeclarationCount ? m_declarations[which] : nullptr;
  }
  gfx::D3DVertexShader* GetShader(uint32_t which) const {
    return which < kShaderCount ? m_shaders[which] : nullptr;
  }
  // The declaration and shader of the last selection (kDeclarationCount / kShaderCount before
  // any).
  uint32_t GetSelectedDeclaration() const { return m_selectedDeclaration; }
  uint32_t GetSelectedShader() const { return m_selectedShader; }
  // The four floats this set last loaded into register `reg`; null beyond kRecordedConstants.
  const float* GetLoadedConstant(uint32_t reg) const {
    return reg < kRecordedConstants ? m_loaded[reg] : nullptr;
  }

  // The assembly text of a shader and the name table handed to the assembler (ends with a null
  // name). For inspection and tests.
  static const char* GetShaderText(uint32_t which);
  static const gfx::D3DXMACRO* GetRegisterNames();

 private:
  void Select(uint32_t declaration, uint32_t shader);
  void LoadConstant(uint32_t reg, const Vector4& value);
  void LoadConstant(uint32_t reg, float x, float y, float z, float w) {
    LoadConstant(reg, Vector4(x, y, z, w));
  }

  uint32_t m_reserved[2] = {};
  Vector4 m_spare;
  uint32_t m_flags = 0;
  uint32_t m_maxConstants = 0;
  gfx::D3DVertexDeclaration* m_declarations[kDeclarationCount] = {};
  gfx::D3DVertexShader* m_shaders[kShaderCount] = {};
  float m_loaded[kRecordedConstants][4] = {};
  uint32_t m_selectedDeclaration = kDeclarationCount;
  uint32_t m_selectedShader = kShaderCount;
};
