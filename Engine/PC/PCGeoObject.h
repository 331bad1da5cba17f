#pragma once
// The device-side form of one mesh of a ".geo" file: its vertices, skin weights and 16-bit
// indices copied into device buffers, its strip tables read in place from the file image, and
// the two draws (solid strips, alpha strips) of one render-list entry, skinning the mesh first
// when the entry carries a skeleton. A mesh flagged as water is replaced by a generated grid.
//
// Create checks the whole mesh record against the image before it makes anything: every offset
// and count must lie inside the image, every strip inside the indices and every index below the
// vertex count. A record that fails is refused (one log line, no buffers, result 0), so callers
// must test the result. The image must outlive the object: strip tables, skin weights and the
// source vertices of software skinning are read from it at draw time, and a draw on a device
// made anew after a loss builds the buffers again from the record it still holds.

#include <cstdint>

#include "Engine/FastMath.h"
#include "Engine/FileImage.h"
#include "Platform/Gfx/D3D.h"

struct MeshRecord;

// The mesh record as it lies in the ".geo" image.
struct GeoMeshFileRecord {
  uint32_t word0;
  uint16_t flags;
  uint16_t pad6;
  uint32_t vertexOffset;
  uint32_t indexOffset;
  uint32_t bufferTableOffset;
  uint32_t multiIndexOffset;
  uint32_t ownerOffset;
  uint16_t solidStripCount;
  uint16_t pad30;
  uint16_t multiSolidStripCount;
  uint16_t pad34;
  uint32_t word36;
  uint16_t bufferCount;
  uint16_t pad42;
  uint32_t vertexCount;
  uint32_t multiVertexCount;
  uint32_t solidStripOffset;
  uint32_t multiSolidStripOffset;
  uint32_t skinOffset;
  uint32_t secondOwnerOffset;
  uint16_t alphaStripCount;
  uint16_t pad70;
  uint16_t multiAlphaStripCount;
  uint16_t pad74;
  uint32_t alphaStripOffset;
  uint32_t multiAlphaStripOffset;
  uint32_t indexCount;
  uint32_t multiIndexCount;
  float boxMin[4];
  float boxMax[4];
  float matrix[16];
};
static_assert(sizeof(GeoMeshFileRecord) == 188, "mesh record layout");

struct GeoStrip {
  static constexpr uint32_t kWrapU = 0x2;
  static constexpr uint32_t kWrapV = 0x4;
  static constexpr uint32_t kAdditive = 0x8;
  static constexpr uint32_t kSubtractive = 0x10;

  // Index into the node's texture table; -1 (all ones) for none.
  uint32_t material;
  uint32_t flags;
  uint32_t firstIndex;
  uint32_t NumVert;
};
static_assert(sizeof(GeoStrip) == 16, "strip record layout");

struct GeoVertex {
  float position[3];
  float normal[3];
  uint32_t colour;
  float u, v;
};
static_assert(sizeof(GeoVertex) == 36, "mesh vertex layout");

// Bone indices are three times the bone's number (its first constant register).
struct GeoSkinWeight {
  uint8_t index[4];
  float weight[4];
};
static_assert(sizeof(GeoSkinWeight) == 20, "skin weight layout");

struct WaterVertex {
  float position[3];
  float normal[3];
  float uv[2];
  float edge;
  float uv2[2];
};
static_assert(sizeof(WaterVertex) == 44, "water vertex layout");

// What the draws take from the render window being drawn and its scene.
struct GeoDrawContext {
  // The window's tint, multiplied into every entry's tint.
  Vector4 windowTint{1.0f, 1.0f, 1.0f, 1.0f};
  // The scene's water parameter (the wave time).
  float waterTime = 0.0f;
  // The scene's reflection texture; -1 uses the fallback texture.
  int32_t reflectionTexture = -1;
};

class GeoObject {
 public:
  static constexpr uint16_t kEffect = 0x2;
  static constexpr uint16_t kWater = 0x4;
  // Water grid: 11 columns by 21 rows, 200 quads.
  static constexpr uint32_t kWaterColumns = 11;
  static constexpr uint32_t kWaterRows = 21;
  static constexpr uint32_t kWaterVertexCount = kWaterColumns * kWaterRows;
  static constexpr uint32_t kWaterIndexCount = 1200;

  GeoObject();
  ~GeoObject();
  GeoObject(const GeoObject&) = delete;
  GeoObject& operator=(const GeoObject&) = delete;

  // Builds the buffers from the mesh record at `recordOffset` of the image; skinningMode 1
  // skins in the vertex shader, anything else on the processor. 1, or 0 for a refused record.
  int32_t Create(const FileImage& image, uint64_t recordOffset, uint32_t skinningMode);
  void CreateWaterPlane(const GeoMeshFileRecord& record);
  void CleanUp();

  // blended is 1 when the entry is drawn in an alpha pass.
  void DrawSolid(const MeshRecord& entry, int32_t blended,
                 const GeoDrawContext& context = GeoDrawContext());
  void DrawAlpha(const MeshRecord& entry, const GeoDrawContext& context = GeoDrawContext());
  void SkinHardware(const MeshRecord& entry);
  void SkinSoftware(const MeshRecord& entry);

  uint16_t GetFlags() const { return m_flags; }
  uint16_t GetBufferCount() const { return m_bufferCount; }
  const Vector4& GetBoxMin() const { return m_boxMin; }
  const Vector4& GetBoxMax() const { return m_boxMax; }
  const Matrix& GetLocalMatrix() const { return m_localMatrix; }
  uint32_t GetSkinningMode() const { return m_skinningMode; }
  uint16_t GetVertexCount() const { return m_vertexCount; }
  uint16_t GetSolidStripCount() const { return m_solidStripCount; }
  uint16_t GetAlphaStripCount() const { return m_alphaStripCount; }
  bool HasSolidStrips() const { return m_solidStripCount || m_multiSolidStripCount; }
  bool HasAlphaStrips() const { return m_alphaStripCount || m_multiAlphaStripCount; }
  uint16_t GetCurrentBuffer() const { return m_currentBuffer; }
  void SetCurrentBuffer(uint16_t buffer) { m_currentBuffer = buffer; }
  gfx::D3DVertexBuffer* GetVertexBuffer() const { return m_vertexBuffer; }
  gfx::D3DVertexBuffer* GetSkinBuffer() const { return m_skinBuffer; }
  gfx::D3DIndexBuffer* GetIndexBuffer() const { return m_indexBuffer; }
  gfx::D3DIndexBuffer* GetMultiIndexBuffer() const { return m_multiIndexBuffer; }
  gfx::D3DVertexBuffer* GetMultiVertexBuffer(uint16_t i) const {
    return i < m_bufferCount && m_buffers ? m_buffers[i] : nullptr;
  }
  // The generated water grid (null for other meshes).
  const WaterVertex* GetWaterVertices() const { return m_waterVertices; }
  // Alpha strips of the single-buffer mesh (the water's generated strip included), or null.
  const GeoStrip* GetAlphaStrips() const;

  // Skins `count` vertices on the processor: each position (w = 1) and normal (w = 0) is the
  // weighted sum of its bones' transforms. The first pair always counts, the others only with a
  // non-zero weight; a bone number outside the palette contributes nothing. `source` holds
  // `count` vertices of 36 bytes at any alignment.
  static void SkinVertices(const void* source, const GeoSkinWeight* weights, uint32_t count,
                           const Matrix* bones, uint32_t boneCount, GeoVertex* dest);

 private:
  // Checks the record against the image; logs and returns false when any part lies outside.
  bool Validate(const FileImage& image, const GeoMeshFileRecord& record) const;
  bool ValidateStrips(const FileImage& image, uint32_t offset, uint32_t count, uint32_t indexCount,
                      const char* what) const;
  bool ValidateIndices(const FileImage& image, uint32_t offset, uint32_t count,
                       uint32_t vertexCount) const;
  gfx::D3DVertexBuffer* MakeVertexBuffer(const void* data, uint32_t bytes) const;
  gfx::D3DIndexBuffer* MakeIndexBuffer(const void* data, uint32_t bytes) const;
  const GeoStrip* SolidStrips() const;
  const GeoStrip* MultiSolidStrips() const;
  const GeoStrip* MultiAlphaStrips() const;
  // Whether a draw of solid (or alpha) strips should skin first.
  bool ShouldSkin(const MeshRecord& entry, bool solid) const;
  void Skin(const MeshRecord& entry);
  // The texture a strip draws with under this entry.
  static int32_t StripTexture(const MeshRecord& entry, const GeoStrip& strip);
  void SetWaterStages(const MeshRecord& entry, const GeoDrawContext& context, bool alpha);
  // Puts back the stage states a water or wireframe draw changed, so the next mesh does not
  // inherit them.
  static void RestoreStageDefaults();
  void DrawStrips(const GeoStrip* strips, uint32_t count, uint32_t vertices,
                  const MeshRecord& entry, bool blend);
  // Managed buffers survive a reset, but not a device made anew: those of the old one name
  // nothing on the new one. Builds them again from the record when the display's device is not
  // the one they were made on.
  void RebuildOnNewDevice();

  uint16_t m_flags = 0;
  uint16_t m_bufferCount = 0;
  uint32_t m_ownerOffset = 0;
  gfx::D3DVertexBuffer** m_buffers = nullptr;
  gfx::D3DVertexBuffer* m_vertexBuffer = nullptr;
  gfx::D3DVertexBuffer* m_skinBuffer = nullptr;
  gfx::D3DIndexBuffer* m_indexBuffer = nullptr;
  gfx::D3DIndexBuffer* m_multiIndexBuffer = nullptr;
  // The image the offsets below lead into, the record's offset in it, and the display's device
  // generation the buffers were made on.
  FileImage m_image;
  uint64_t m_recordOffset = 0;
  uint32_t m_deviceGeneration = 0;
  uint32_t m_vertexDataOffset = 0;
  WaterVertex* m_waterVertices = nullptr;
  uint32_t m_multiSolidStripOffset = 0;
  uint32_t m_solidStripOffset = 0;
  uint32_t m_multiAlphaStripOffset = 0;
  uint32_t m_alphaStripOffset = 0;
  GeoStrip* m_waterStrip = nullptr;
  uint16_t m_solidStripCount = 0;
  uint16_t m_multiSolidStripCount = 0;
  uint16_t m_alphaStripCount = 0;
  uint16_t m_multiAlphaStripCount = 0;
  uint32_t m_secondOwnerOffset = 0;
  uint32_t m_skinOffset = 0;
  uint16_t m_currentBuffer = 0;
  uint16_t m_vertexCount = 0;
  uint16_t m_multiVertexCount = 0;
  Vector4 m_boxMin{32768.0f, 32768.0f, 32768.0f, 1.0f};
  Vector4 m_boxMax{-32768.0f, -32768.0f, -32768.0f, 1.0f};
  uint32_t m_skinningMode = 0;
  Matrix m_localMatrix;
};
