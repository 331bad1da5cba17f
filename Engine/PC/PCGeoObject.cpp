#include "Engine/PC/PCGeoObject.h"

#include <cmath>
#include <cstring>

#include "Engine/Assert.h"
#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCMeshRecord.h"
#include "Engine/PC/PCRenderStates.h"
#include "Engine/PC/PCShaderSet.h"
#include "Engine/PC/PCSkeleton.h"

using namespace gfx;

namespace {

constexpr uint32_t kVertexStride = sizeof(GeoVertex);
constexpr uint32_t kWaterStride = sizeof(WaterVertex);
constexpr uint32_t kSkinStride = sizeof(GeoSkinWeight);
// 16-bit indices can name no more vertices than this.
constexpr uint32_t kMaxVertices = 0x10000;

D3DDevice* Device() { return GetApp().GetDisplay()->GetDevice(); }
uint32_t DeviceGeneration() { return GetApp().GetDisplay()->GetDeviceGeneration(); }
ShaderSet* Shaders() { return GetApp().GetDisplay()->GetShaderSet(); }

template <class T>
void ReleaseObject(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

// Locks a whole buffer; null (with the assertion) when the device gives no memory.
template <class Buffer>
void* LockWhole(Buffer* buffer) {
  void* data = nullptr;
  HRESULT hr = buffer ? buffer->Lock(0, 0, &data, 0) : D3DERR_INVALIDCALL;
  ReportD3DError(hr);
  if (FAILED(hr)) data = nullptr;
  if (!data) AssertReport("pDstVerts!=NULL", __FILE__, __LINE__);
  return data;
}

}  // namespace

GeoObject::GeoObject() { m_localMatrix.Identity(); }

GeoObject::~GeoObject() { CleanUp(); }

D3DVertexBuffer* GeoObject::MakeVertexBuffer(const void* data, uint32_t bytes) const {
  D3DDevice* device = Device();
  D3DVertexBuffer* buffer = nullptr;
  HRESULT hr =
      device ? device->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &buffer)
             : D3DERR_INVALIDCALL;
  ReportD3DError(hr);
  if (FAILED(hr) || !buffer) return nullptr;
  if (void* dest = LockWhole(buffer)) {
    std::memcpy(dest, data, bytes);
    ReportD3DError(buffer->Unlock());
  }
  return buffer;
}

D3DIndexBuffer* GeoObject::MakeIndexBuffer(const void* data, uint32_t bytes) const {
  D3DDevice* device = Device();
  D3DIndexBuffer* buffer = nullptr;
  HRESULT hr = device ? device->CreateIndexBuffer(bytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                                  D3DPOOL_MANAGED, &buffer)
                      : D3DERR_INVALIDCALL;
  ReportD3DError(hr);
  if (FAILED(hr) || !buffer) return nullptr;
  if (void* dest = LockWhole(buffer)) {
    std::memcpy(dest, data, bytes);
    ReportD3DError(buffer->Unlock());
  }
  return buffer;
}

bool GeoObject::ValidateStrips(const FileImage& image, uint32_t offset, uint32_t count,
                               uint32_t indexCount, const char* what) const {
  if (count == 0 || offset == 0) return true;
  const GeoStrip* strips = image.GetArray<GeoStrip>(offset, count, what);
  if (!strips) return false;
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t end = uint64_t(strips[i].firstIndex) + strips[i].NumVert;
    if (end > indexCount) {
      image.LogOutOfRange(what, strips[i].firstIndex, strips[i].NumVert);
      return false;
    }
  }
  return true;
}

bool GeoObject::ValidateIndices(const FileImage& image, uint32_t offset, uint32_t count,
                                uint32_t vertexCount) const {
  const uint16_t* indices = image.GetArray<uint16_t>(offset, count, "mesh indices");
  if (!indices) return false;
  for (uint32_t i = 0; i < count; ++i) {
    if (indices[i] >= vertexCount) {
      image.LogOutOfRange("mesh index", indices[i], vertexCount);
      return false;
    }
  }
  return true;
}

bool GeoObject::Validate(const FileImage& image, const GeoMeshFileRecord& r) const {
  if (r.flags & kWater) return true;  // the grid is generated; only the box is read
  if (r.bufferTableOffset != 0) {
    if (r.multiVertexCount >= kMaxVertices) {
      image.LogOutOfRange("mesh vertex count", r.multiVertexCount, kVertexStride);
      return false;
    }
    const uint32_t* table =
        image.GetArray<uint32_t>(r.bufferTableOffset, r.bufferCount, "mesh vertex buffer table");
    if (!table) return false;
    for (uint32_t i = 0; i < r.bufferCount; ++i)
      if (!image.GetStrided(table[i], r.multiVertexCount, kVertexStride, "mesh vertices"))
        return false;
    const bool strips = (r.multiSolidStripCount && r.multiSolidStripOffset) ||
                        (r.multiAlphaStripCount && r.multiAlphaStripOffset);
    // Strips draw through the indices; strips without indices would draw through whatever
    // index buffer the device last had.
    const uint32_t indexCount = r.multiIndexOffset ? r.multiIndexCount : 0;
    if (strips && (r.bufferCount == 0 || indexCount == 0)) {
      image.LogOutOfRange("mesh strips without vertices or indices", r.multiIndexOffset,
                          r.multiIndexCount);
      return false;
    }
    if (r.multiIndexOffset &&
        !ValidateIndices(image, r.multiIndexOffset, r.multiIndexCount, r.multiVertexCount))
      return false;
    return ValidateStrips(image, r.multiSolidStripOffset, r.multiSolidStripCount, indexCount,
                          "mesh solid strips") &&
           ValidateStrips(image, r.multiAlphaStripOffset, r.multiAlphaStripCount, indexCount,
                          "mesh alpha strips");
  }
  if (r.vertexOffset == 0) return true;  // no buffers; box and matrix only
  if (r.vertexCount >= kMaxVertices) {
    image.LogOutOfRange("mesh vertex count", r.vertexCount, kVertexStride);
    return false;
  }
  if (!image.GetStrided(r.vertexOffset, r.vertexCount, kVertexStride, "mesh vertices"))
    return false;
  if (r.skinOffset && !image.GetArray<GeoSkinWeight>(r.skinOffset, r.vertexCount, "skin weights"))
    return false;
  const bool strips =
      (r.solidStripCount && r.solidStripOffset) || (r.alphaStripCount && r.alphaStripOffset);
  const uint32_t indexCount = r.indexOffset ? r.indexCount : 0;
  if (strips && indexCount == 0) {
    image.LogOutOfRange("mesh strips without indices", r.indexOffset, r.indexCount);
    return false;
  }
  if (r.indexOffset && !ValidateIndices(image, r.indexOffset, r.indexCount, r.vertexCount))
    return false;
  return ValidateStrips(image, r.solidStripOffset, r.solidStripCount, indexCount,
                        "mesh solid strips") &&
         ValidateStrips(image, r.alphaStripOffset, r.alphaStripCount, indexCount,
                        "mesh alpha strips");
}

int32_t GeoObject::Create(const FileImage& image, uint64_t recordOffset, uint32_t skinningMode) {
  // A second Create replaces the first mesh, and a refused one leaves nothing behind.
  CleanUp();
  GeoMeshFileRecord r;
  if (!image.Read(recordOffset, &r, "mesh record") || !Validate(image, r)) {
    DebugLog().Write("Refused mesh record at %llu of %s\n",
                     static_cast<unsigned long long>(recordOffset), image.Name());
    return 0;
  }
  if (r.flags & kWater) {
    CreateWaterPlane(r);
    m_image = image;
    m_recordOffset = recordOffset;
    m_deviceGeneration = DeviceGeneration();
    return 1;
  }
  m_image = image;
  m_recordOffset = recordOffset;
  m_deviceGeneration = DeviceGeneration();
  m_skinningMode = skinningMode;
  m_flags = r.flags;

  if (r.bufferTableOffset != 0) {
    m_bufferCount = r.bufferCount;
    if (m_bufferCount) {
      m_buffers = static_cast<D3DVertexBuffer**>(
          TrackedAlloc("GeoObject::Create", sizeof(D3DVertexBuffer*) * m_bufferCount));
      if (!m_buffers) {
        DebugLog().Write("Refused mesh record at %llu of %s\n",
                         static_cast<unsigned long long>(recordOffset), image.Name());
        CleanUp();
        return 0;
      }
      const uint32_t* table = image.GetArray<uint32_t>(r.bufferTableOffset, m_bufferCount);
      for (uint32_t i = 0; i < m_bufferCount; ++i) {
        m_buffers[i] =
            MakeVertexBuffer(image.GetStrided(table[i], r.multiVertexCount, kVertexStride),
                             r.multiVertexCount * kVertexStride);
      }
    }
    if (r.multiSolidStripOffset) m_multiSolidStripOffset = r.multiSolidStripOffset;
    if (r.multiAlphaStripOffset) m_multiAlphaStripOffset = r.multiAlphaStripOffset;
    m_multiSolidStripCount = m_multiSolidStripOffset ? r.multiSolidStripCount : 0;
    m_multiAlphaStripCount = m_multiAlphaStripOffset ? r.multiAlphaStripCount : 0;
    m_ownerOffset = r.ownerOffset;
    m_secondOwnerOffset = r.secondOwnerOffset;
    m_multiVertexCount = static_cast<uint16_t>(r.multiVertexCount);
    if (r.multiIndexOffset && r.multiIndexCount)
      m_multiIndexBuffer = MakeIndexBuffer(
          image.GetArray<uint16_t>(r.multiIndexOffset, r.multiIndexCount), r.multiIndexCount * 2);
  } else if (r.vertexOffset != 0) {
    m_vertexDataOffset = r.vertexOffset;
    m_vertexBuffer =
        MakeVertexBuffer(image.GetStrided(r.vertexOffset, r.vertexCount, kVertexStride),
                         r.vertexCount * kVertexStride);
    if (r.solidStripOffset) m_solidStripOffset = r.solidStripOffset;
    if (r.alphaStripOffset) m_alphaStripOffset = r.alphaStripOffset;
    m_solidStripCount = m_solidStripOffset ? r.solidStripCount : 0;
    m_alphaStripCount = m_alphaStripOffset ? r.alphaStripCount : 0;
    if (r.skinOffset) {
      m_skinOffset = r.skinOffset;
      m_skinBuffer = MakeVertexBuffer(image.GetArray<GeoSkinWeight>(r.skinOffset, r.vertexCount),
                                      r.vertexCount * kSkinStride);
    }
    m_vertexCount = static_cast<uint16_t>(r.vertexCount);
    if (r.indexOffset && r.indexCount)
      m_indexBuffer =
          MakeIndexBuffer(image.GetArray<uint16_t>(r.indexOffset, r.indexCount), r.indexCount * 2);
  }
  std::memcpy(m_localMatrix.m, r.matrix, sizeof(r.matrix));
  m_boxMin.Set(r.boxMin[0], r.boxMin[1], r.boxMin[2], r.boxMin[3]);
  m_boxMax.Set(r.boxMax[0], r.boxMax[1], r.boxMax[2], r.boxMax[3]);
  return 1;
}

void GeoObject::CreateWaterPlane(const GeoMeshFileRecord& r) {
  CleanUp();
  m_flags = r.flags;
  m_skinningMode = 0;
  std::memcpy(m_localMatrix.m, r.matrix, sizeof(r.matrix));
  m_boxMin.Set(r.boxMin[0], r.boxMin[1], r.boxMin[2], r.boxMin[3]);
  m_boxMax.Set(r.boxMax[0], r.boxMax[1], r.boxMax[2], r.boxMax[3]);

  m_waterVertices = static_cast<WaterVertex*>(
      TrackedAlloc("GeoObject::CreateWaterPlane", sizeof(WaterVertex) * kWaterVertexCount));
  m_waterStrip =
      static_cast<GeoStrip*>(TrackedAlloc("GeoObject::CreateWaterPlane", sizeof(GeoStrip)));
  auto* indices = static_cast<uint16_t*>(
      TrackedAlloc("GeoObject::CreateWaterPlane", sizeof(uint16_t) * kWaterIndexCount));
  if (!m_waterVertices || !m_waterStrip || !indices) {
    if (indices) TrackedFree("GeoObject::CreateWaterPlane", indices);
    DebugLog().Write("Unable to create the water plane\n");
    CleanUp();
    return;
  }
  const float width = m_boxMax.x - m_boxMin.x;
  const float depth = m_boxMax.y - m_boxMin.y;
  const float z = m_boxMin.z - 32.0f;
  WaterVertex* out = m_waterVertices;
  // u and v are accumulated in steps, as the grid has always been built.
  float v = 0.0f;
  for (uint32_t row = 0; row < kWaterRows; ++row, v += 0.05f) {
    float u = 0.0f;
    for (uint32_t column = 0; column < kWaterColumns; ++column, u += 0.1f, ++out) {
      out->position[0] = m_boxMin.x + static_cast<float>(column) * width / 10.0f;
      out->position[1] = m_boxMin.y + static_cast<float>(row) * depth / 20.0f;
      out->position[2] = z;
      out->normal[0] = 0.0f;
      out->normal[1] = 0.0f;
      out->normal[2] = 1.0f;
      out->uv[0] = 5.0f * u;
      out->uv[1] = 5.0f * v;
      const float du = std::fabs(u - 0.5f);
      const float dv = std::fabs(v - 0.5f);
      out->edge = 32.0f * (du > dv ? du : dv);
      out->uv2[0] = u;
      out->uv2[1] = v;
    }
  }
  uint16_t* index = indices;
  for (uint32_t row = 0; row + 1 < kWaterRows; ++row) {
    for (uint32_t column = 0; column + 1 < kWaterColumns; ++column) {
      const auto i = static_cast<uint16_t>(kWaterColumns * row + column);
      *index++ = i;
      *index++ = static_cast<uint16_t>(i + 1);
      *index++ = static_cast<uint16_t>(i + kWaterColumns);
      *index++ = static_cast<uint16_t>(i + 1);
      *index++ = static_cast<uint16_t>(i + kWaterColumns + 1);
      *index++ = static_cast<uint16_t>(i + kWaterColumns);
    }
  }
  m_vertexBuffer = MakeVertexBuffer(m_waterVertices, kWaterVertexCount * kWaterStride);
  m_indexBuffer = MakeIndexBuffer(indices, kWaterIndexCount * sizeof(uint16_t));
  TrackedFree("GeoObject::CreateWaterPlane", indices);
  *m_waterStrip = GeoStrip{0xFFFFFFFFu, GeoStrip::kWrapU | GeoStrip::kWrapV | GeoStrip::kAdditive,
                           0, kWaterIndexCount};
  m_alphaStripCount = 1;
  m_vertexCount = static_cast<uint16_t>(kWaterVertexCount);
}

void GeoObject::CleanUp() {
  ReleaseObject(m_vertexBuffer);
  ReleaseObject(m_skinBuffer);
  if (m_buffers) {
    for (uint32_t i = 0; i < m_bufferCount; ++i) ReleaseObject(m_buffers[i]);
    TrackedFree("GeoObject::CleanUp", m_buffers);
    m_buffers = nullptr;
  }
  ReleaseObject(m_indexBuffer);
  ReleaseObject(m_multiIndexBuffer);
  if (m_waterVertices) TrackedFree("GeoObject::CleanUp", m_waterVertices);
  m_waterVertices = nullptr;
  if (m_waterStrip) TrackedFree("GeoObject::CleanUp", m_waterStrip);
  m_waterStrip = nullptr;
  m_image = FileImage();
  m_recordOffset = 0;
  m_bufferCount = 0;
  m_vertexDataOffset = m_skinOffset = 0;
  m_solidStripOffset = m_alphaStripOffset = 0;
  m_multiSolidStripOffset = m_multiAlphaStripOffset = 0;
  m_solidStripCount = m_alphaStripCount = 0;
  m_multiSolidStripCount = m_multiAlphaStripCount = 0;
  m_vertexCount = m_multiVertexCount = 0;
  m_ownerOffset = m_secondOwnerOffset = 0;
}

const GeoStrip* GeoObject::SolidStrips() const {
  return m_image.GetArray<GeoStrip>(m_solidStripOffset, m_solidStripCount);
}
const GeoStrip* GeoObject::MultiSolidStrips() const {
  return m_image.GetArray<GeoStrip>(m_multiSolidStripOffset, m_multiSolidStripCount);
}
const GeoStrip* GeoObject::MultiAlphaStrips() const {
  return m_image.GetArray<GeoStrip>(m_multiAlphaStripOffset, m_multiAlphaStripCount);
}
const GeoStrip* GeoObject::GetAlphaStrips() const {
  if (m_waterStrip) return m_waterStrip;
  return m_image.GetArray<GeoStrip>(m_alphaStripOffset, m_alphaStripCount);
}

void GeoObject::SkinVertices(const void* source, const GeoSkinWeight* weights, uint32_t count,
                             const Matrix* bones, uint32_t boneCount, GeoVertex* dest) {
  const auto* bytes = static_cast<const unsigned char*>(source);
  for (uint32_t v = 0; v < count; ++v) {
    GeoVertex in;
    std::memcpy(&in, bytes + size_t(v) * kVertexStride, sizeof(in));
    const GeoSkinWeight& w = weights[v];
    const Vector4 position(in.position[0], in.position[1], in.position[2], 1.0f);
    const Vector4 normal(in.normal[0], in.normal[1], in.normal[2], 0.0f);
    Vector4 p(0.0f, 0.0f, 0.0f, 0.0f);
    Vector4 n(0.0f, 0.0f, 0.0f, 0.0f);
    for (int pair = 0; pair < 4; ++pair) {
      const float weight = w.weight[pair];
      if (pair > 0 && weight == 0.0f) continue;
      const uint32_t bone = w.index[pair] / 3u;
      if (bone >= boneCount) continue;
      Vector4 tp, tn;
      TransformVector4(position, bones[bone], tp);
      TransformVector4(normal, bones[bone], tn);
      p.x += weight * tp.x;
      p.y += weight * tp.y;
      p.z += weight * tp.z;
      n.x += weight * tn.x;
      n.y += weight * tn.y;
      n.z += weight * tn.z;
    }
    GeoVertex& out = dest[v];
    out = in;
    out.position[0] = p.x;
    out.position[1] = p.y;
    out.position[2] = p.z;
    out.normal[0] = n.x;
    out.normal[1] = n.y;
    out.normal[2] = n.z;
  }
}

void GeoObject::SkinSoftware(const MeshRecord& entry) {
  Skeleton* pSkeleton = entry.skeleton;
  if (!pSkeleton) {
    AssertReport("pSkeleton!=NULL", __FILE__, __LINE__);
    return;
  }
  pSkeleton->UpdateHierarchy();
  pSkeleton->BuildSkinMatrices();
  // The vertices may lie at any offset of the file (the device takes them byte for byte), so
  // they are read by copy, never through a vertex pointer.
  const unsigned char* source =
      m_image.GetStrided(m_vertexDataOffset, m_vertexCount, kVertexStride);
  const GeoSkinWeight* weights = m_image.GetArray<GeoSkinWeight>(m_skinOffset, m_vertexCount);
  if (!source || !weights || !m_vertexBuffer) return;
  // The source is always the bind pose in the image: the buffer is write-only, and skinning
  // its own output would compound frame after frame.
  auto* dest = static_cast<GeoVertex*>(LockWhole(m_vertexBuffer));
  if (!dest) return;
  SkinVertices(source, weights, m_vertexCount, pSkeleton->GetSkinMatrices(),
               pSkeleton->GetBoneCount(), dest);
  ReportD3DError(m_vertexBuffer->Unlock());
}

void GeoObject::SkinHardware(const MeshRecord& entry) {
  Skeleton* skeleton = entry.skeleton;
  D3DDevice* device = Device();
  if (!skeleton || !device) return;
  if (skeleton->HasPose()) {
    skeleton->UpdateHierarchy();
    skeleton->BuildSkinMatrices();
  }
  if (ShaderSet* shaders = Shaders()) shaders->SetSkinned();
  ReportD3DError(device->SetStreamSource(ShaderSet::kStreamSkin, m_skinBuffer, 0, kSkinStride));
  const Matrix* bones = skeleton->GetSkinMatrices();
  if (!bones) return;
  // Bones whose registers would fall past the constant file are not sent.
  uint32_t registers = GetApp().GetDisplay()->GetCaps().MaxVertexShaderConst;
  if (registers == 0 || registers > 256) registers = 256;
  constexpr uint32_t kFirst = ShaderSet::kRegFirstBone;
  constexpr uint32_t kPerBone = ShaderSet::kBoneRegisters;
  uint32_t bonesThatFit = registers > kFirst ? (registers - kFirst) / kPerBone : 0;
  uint32_t count = skeleton->GetBoneCount();
  if (count > bonesThatFit) count = bonesThatFit;
  for (uint32_t i = 0; i < count; ++i) {
    Matrix transposed;
    MatrixTranspose(bones[i], transposed);
    ReportD3DError(device->SetVertexShaderConstantF(kFirst + kPerBone * i, transposed.m, kPerBone));
  }
}

bool GeoObject::ShouldSkin(const MeshRecord& entry, bool solid) const {
  if ((m_flags & kWater) || !entry.skeleton || !m_skinOffset) return false;
  return solid ? m_solidStripCount != 0 : m_alphaStripCount != 0;
}

void GeoObject::Skin(const MeshRecord& entry) {
  if (m_skinningMode == 1)
    SkinHardware(entry);
  else
    SkinSoftware(entry);
}

int32_t GeoObject::StripTexture(const MeshRecord& entry, const GeoStrip& strip) {
  if (entry.flags & MeshRecord::kTextureOverride) return entry.overrideTexture;
  const SceneNode* node = entry.node;
  // A material outside the node's table is treated as none.
  if (strip.material == 0xFFFFFFFFu || !node || !node->textures || node->textureCount <= 0 ||
      strip.material >= static_cast<uint32_t>(node->textureCount))
    return -1;
  return node->textures[strip.material];
}

void GeoObject::DrawStrips(const GeoStrip* strips, uint32_t count, uint32_t vertices,
                           const MeshRecord& entry, bool blend) {
  D3DDevice* device = Device();
  if (!strips || !device) return;
  Texture* textures = GetApp().GetTexture();
  for (uint32_t i = 0; i < count; ++i) {
    const GeoStrip& strip = strips[i];
    RenderStateCache::SetTextureWrap(strip.flags);
    if (blend)
      RenderStateCache::SetBlendMode(strip.flags, static_cast<uint8_t>(entry.flags & 0xFF));
    textures->SetStage(StripTexture(entry, strip));
    if (strip.NumVert == 0) AssertReport("pStrip[i].NumVert!=0", __FILE__, __LINE__);
    // Fewer than three indices make no triangle, and the device refuses a draw of none.
    if (strip.NumVert / 3 == 0) continue;
    ReportD3DError(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, vertices,
                                                strip.firstIndex, strip.NumVert / 3));
  }
}

void GeoObject::RestoreStageDefaults() {
  RenderStateCache::SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  RenderStateCache::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
  RenderStateCache::SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  RenderStateCache::SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  RenderStateCache::SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  RenderStateCache::SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  RenderStateCache::SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  RenderStateCache::SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  RenderStateCache::SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
  RenderStateCache::SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_TFACTOR);
  RenderStateCache::SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  RenderStateCache::SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
  RenderStateCache::SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
}

void GeoObject::SetWaterStages(const MeshRecord& entry, const GeoDrawContext& context, bool alpha) {
  D3DDevice* device = Device();
  if (ShaderSet* shaders = Shaders()) shaders->SetWaterConstants(&entry.world, context.waterTime);
  RenderStateCache::SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_PROJECTED);
  if (alpha) {
    RenderStateCache::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    RenderStateCache::SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    RenderStateCache::SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    RenderStateCache::SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    RenderStateCache::SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    RenderStateCache::SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    RenderStateCache::SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADDSMOOTH);
    RenderStateCache::SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    ReportD3DError(device->SetVertexShaderConstantF(ShaderSet::kRegDrawMatrix, entry.drawMatrix.m,
                                                  ShaderSet::kDrawMatrixRegisters));
  } else {
    ReportD3DError(device->SetVertexShaderConstantF(ShaderSet::kRegDrawMatrix, entry.drawMatrix.m,
                                                  ShaderSet::kDrawMatrixRegisters));
    RenderStateCache::SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    RenderStateCache::SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  }
  RenderStateCache::SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  RenderStateCache::SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
  RenderStateCache::SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  RenderStateCache::SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
  GetApp().GetTexture()->SetStage1(context.reflectionTexture);
}

void GeoObject::RebuildOnNewDevice() {
  if (!m_image.Valid() || m_deviceGeneration == DeviceGeneration()) return;
  // Create starts from nothing, so what it reads is copied out first.
  const FileImage image = m_image;
  const uint16_t currentBuffer = m_currentBuffer;
  Create(image, m_recordOffset, m_skinningMode);
  m_currentBuffer = currentBuffer;
}

void GeoObject::DrawSolid(const MeshRecord& entry, int32_t blended, const GeoDrawContext& context) {
  D3DDevice* device = Device();
  ShaderSet* shaders = Shaders();
  if (!device) return;
  RebuildOnNewDevice();
  if (shaders) shaders->ClearFlags();
  const bool water = (m_flags & kWater) != 0;
  const bool wireframe = !water && (entry.flags & MeshRecord::kWireframe);
  if (water) {
    SetWaterStages(entry, context, false);
  } else {
    if ((entry.flags & MeshRecord::kLit) && shaders) shaders->SetLights(&entry.world);
    if (ShouldSkin(entry, true)) Skin(entry);
    if (shaders) shaders->SelectMeshShader();
    Vector4 tint;
    Multiply(context.windowTint, entry.tint, tint);
    ReportD3DError(device->SetVertexShaderConstantF(ShaderSet::kRegColourMultiplier, &tint.x, 1));
    ReportD3DError(device->SetVertexShaderConstantF(ShaderSet::kRegDrawMatrix, entry.drawMatrix.m,
                                                  ShaderSet::kDrawMatrixRegisters));
    if (wireframe) {
      RenderStateCache::SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
      RenderStateCache::SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
      RenderStateCache::SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
    }
    if (!blended) {
      RenderStateCache::SetRenderState(D3DRS_ALPHATESTENABLE,
                                       (entry.flags & MeshRecord::kNoAlphaTest) ? 0 : 1);
      RenderStateCache::SetRenderState(
          D3DRS_CULLMODE, (entry.flags & MeshRecord::kNoCulling) ? D3DCULL_NONE : D3DCULL_CCW);
    }
  }
  const uint32_t stride = water ? kWaterStride : kVertexStride;
  if (m_multiSolidStripCount && m_buffers && m_currentBuffer < m_bufferCount) {
    ReportD3DError(device->SetStreamSource(ShaderSet::kStreamMesh, m_buffers[m_currentBuffer], 0,
                                          stride));
    ReportD3DError(device->SetIndices(m_multiIndexBuffer));
    DrawStrips(MultiSolidStrips(), m_multiSolidStripCount, m_multiVertexCount, entry, blended != 0);
  } else if (m_solidStripCount) {
    ReportD3DError(device->SetStreamSource(ShaderSet::kStreamMesh, m_vertexBuffer, 0, stride));
    ReportD3DError(device->SetIndices(m_indexBuffer));
    DrawStrips(SolidStrips(), m_solidStripCount, m_vertexCount, entry, blended != 0);
  }
  if (wireframe) {
    RenderStateCache::SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    RenderStateCache::SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    RenderStateCache::SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  }
  if (water) RestoreStageDefaults();
}

void GeoObject::DrawAlpha(const MeshRecord& entry, const GeoDrawContext& context) {
  D3DDevice* device = Device();
  ShaderSet* shaders = Shaders();
  if (!device) return;
  RebuildOnNewDevice();
  if (shaders) shaders->ClearFlags();
  const bool water = (m_flags & kWater) != 0;
  if (water) {
    SetWaterStages(entry, context, true);
  } else {
    if (ShouldSkin(entry, false)) Skin(entry);
    if (shaders) shaders->SelectMeshShader();
    ReportD3DError(device->SetVertexShaderConstantF(ShaderSet::kRegDrawMatrix, entry.drawMatrix.m,
                                                  ShaderSet::kDrawMatrixRegisters));
    Vector4 tint;
    Multiply(context.windowTint, entry.tint, tint);
    ReportD3DError(device->SetVertexShaderConstantF(ShaderSet::kRegColourMultiplier, &tint.x, 1));
  }
  RenderStateCache::SetRenderState(D3DRS_ALPHATESTENABLE, 0);
  RenderStateCache::SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  RenderStateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  const uint32_t stride = water ? kWaterStride : kVertexStride;
  if (m_multiAlphaStripCount && m_buffers && m_currentBuffer < m_bufferCount) {
    ReportD3DError(device->SetStreamSource(ShaderSet::kStreamMesh, m_buffers[m_currentBuffer], 0,
                                          stride));
    ReportD3DError(device->SetIndices(m_multiIndexBuffer));
    DrawStrips(MultiAlphaStrips(), m_multiAlphaStripCount, m_multiVertexCount, entry, true);
  } else if (m_alphaStripCount) {
    ReportD3DError(device->SetStreamSource(ShaderSet::kStreamMesh, m_vertexBuffer, 0, stride));
    ReportD3DError(device->SetIndices(m_indexBuffer));
    DrawStrips(GetAlphaStrips(), m_alphaStripCount, m_vertexCount, entry, true);
  }
  if (water) RestoreStageDefaults();
}
