#include "Engine/PC/PCNodeContainer.h"

#include <cstring>
#include <new>
#include <utility>

#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCGeoObject.h"
#include "Engine/PC/PCSkeleton.h"

namespace {

// The largest skeleton whose bones all fit the vertex shader's constants; a larger one is
// skinned on the processor.
constexpr uint32_t kMaxShaderBones = 35;
constexpr uint32_t kNoMaterial = 0xFFFFFFFFu;
constexpr uint32_t kHeaderBoxOffset = 24;


// Every strip of one table names a texture of the node's table, or none.
bool MaterialsFit(const FileImage& image, uint32_t offset, uint32_t count, uint32_t textureCount) {
  if (offset == 0 || count == 0) return true;
  const GeoStrip* strips = image.GetArray<GeoStrip>(offset, count, "mesh strips");
  if (!strips) return false;
  for (uint32_t i = 0; i < count; ++i) {
    if (strips[i].material != kNoMaterial && strips[i].material >= textureCount) {
      DebugLog().Write("%s: strip %u names material %u of %u\n", image.Name(), i,
                       strips[i].material, textureCount);
      return false;
    }
  }
  return true;
}

// The strip tables the geometry object draws (those GeoObject::Create keeps) name only
// materials the node has: the draw would otherwise bind a texture by an index past the table.
bool MeshMaterialsFit(const FileImage& image, const GeoMeshFileRecord& r, uint32_t textureCount) {
  if (r.flags & GeoObject::kWater) return true;  // the generated strip names no material
  if (r.bufferTableOffset != 0)
    return MaterialsFit(image, r.multiSolidStripOffset, r.multiSolidStripCount, textureCount) &&
           MaterialsFit(image, r.multiAlphaStripOffset, r.multiAlphaStripCount, textureCount);
  if (r.vertexOffset == 0) return true;
  return MaterialsFit(image, r.solidStripOffset, r.solidStripCount, textureCount) &&
         MaterialsFit(image, r.alphaStripOffset, r.alphaStripCount, textureCount);
}

// Every weighted bone index of the skin weights (three times the bone's number) names a bone of
// the skeleton, so no draw reads past the palette. A slot of weight 0 adds nothing on either
// skinning path whatever bone it names, so its index is not held against the file.
bool SkinWeightsFit(const FileImage& image, const GeoMeshFileRecord& r, uint32_t boneCount) {
  if (boneCount == 0 || (r.flags & GeoObject::kWater) || r.bufferTableOffset != 0 ||
      r.vertexOffset == 0 || r.skinOffset == 0)
    return true;
  const unsigned char* weights =
      image.GetStrided(r.skinOffset, r.vertexCount, sizeof(GeoSkinWeight), "skin weights");
  if (!weights) return false;
  for (uint32_t v = 0; v < r.vertexCount; ++v) {
    GeoSkinWeight w;
    std::memcpy(&w, weights + size_t(v) * sizeof(GeoSkinWeight), sizeof(w));
    for (uint32_t k = 0; k < 4; ++k) {
      if (w.weight[k] == 0.0f || w.index[k] / 3u < boneCount) continue;
      DebugLog().Write("%s: skin weight of vertex %u names bone %u of %u\n", image.Name(), v,
                       w.index[k] / 3u, boneCount);
      return false;
    }
  }
  return true;
}

}  // namespace

// ---- GeoMesh

bool GeoMesh::HasSolidStrips() const { return geoObject && geoObject->HasSolidStrips(); }

bool GeoMesh::HasAlphaStrips() const { return geoObject && geoObject->HasAlphaStrips(); }

GeoMesh* GeoMesh::Create(const FileImage& image, uint64_t recordOffset, uint32_t skinningMode,
                         uint32_t boneCount, const char* owner) {
  // Everything is checked before anything is built, so a refusal has nothing to give back
  // except the geometry object, whose own checks come with building it.
  const GeoNodeFileRecord* node = image.Get<GeoNodeFileRecord>(recordOffset, "node record");
  const uint32_t* names = node ? image.GetArray<uint32_t>(node->textureTableOffset,
                                                          node->textureCount, "texture-name table")
                               : nullptr;
  bool fits = names != nullptr;
  for (uint32_t i = 0; fits && i < node->textureCount; ++i)
    fits = image.GetString(names[i], "texture name") != nullptr;
  GeoMeshFileRecord mesh;
  fits = fits && image.Read(node->meshOffset, &mesh, "mesh record") &&
         MeshMaterialsFit(image, mesh, node->textureCount) &&
         SkinWeightsFit(image, mesh, boneCount);
  GeoObject* geo = fits ? TrackedNew<GeoObject>(owner) : nullptr;
  if (geo && geo->Create(image, node->meshOffset, skinningMode) != 1) {
    TrackedDelete(owner, geo);
    geo = nullptr;
    fits = false;
  }
  int32_t* handles = nullptr;
  if (geo && node->textureCount) {
    handles = static_cast<int32_t*>(TrackedAlloc(owner, sizeof(int32_t) * node->textureCount));
  }
  GeoMesh* result = nullptr;
  if (geo && (handles || node->textureCount == 0)) result = TrackedNew<GeoMesh>(owner);
  if (!result) {
    if (geo) geo->CleanUp();
    TrackedDelete(owner, geo);
    TrackedFree(owner, handles);
    DebugLog().Write("Refused node record at %llu of %s\n",
                     static_cast<unsigned long long>(recordOffset), image.Name());
    return nullptr;
  }
  Texture* textures = GetApp().GetTexture();
  for (uint32_t i = 0; i < node->textureCount; ++i)
    handles[i] = textures->Load(image.GetString(names[i]));
  result->geoObject = geo;
  result->textureCount = static_cast<int32_t>(node->textureCount);
  result->textures = handles;
  return result;
}

void GeoMesh::CleanUp() {
  if (textures) {
    Texture* registry = GetApp().GetTexture();
    for (int32_t i = 0; i < textureCount; ++i)
      if (textures[i] != -1) registry->Delete(textures[i]);
    TrackedFree("GeoMesh::CleanUp", textures);
    textures = nullptr;
  }
  if (geoObject) {
    // The buffers go before the object's record is freed, so that nothing the release does
    // takes the owner named for the record.
    geoObject->CleanUp();
    TrackedDelete("GeoMesh::CleanUp", geoObject);
    geoObject = nullptr;
  }
  textureCount = 0;
}

// ---- NodeContainer

const Vector4* NodeContainer::GetBoundsMin() const {
  return m_image.Get<Vector4>(kHeaderBoxOffset);
}

const Vector4* NodeContainer::GetBoundsMax() const {
  return m_image.Get<Vector4>(kHeaderBoxOffset + sizeof(Vector4));
}

const BoundingBox* NodeContainer::GetBox() const {
  return m_image.Get<BoundingBox>(kHeaderBoxOffset);
}

FileImage NodeContainer::GetSkeletonBlock() const {
  if (!m_skeletonOffset) return FileImage();
  return m_image.SubToEnd(m_skeletonOffset);
}

bool NodeContainer::Load(const FileImage& image, HeaderInfo* owner, const char* allocOwner) {
  CleanUp();
  const GeoFileHeader* header = image.Get<GeoFileHeader>(0, "geometry header");
  const uint32_t* table =
      header ? image.GetArray<uint32_t>(header->nodeTableOffset, header->nodeCount, "node table")
             : nullptr;
  bool fits = table != nullptr;
  uint32_t skinningMode = 0;
  uint32_t boneCount = 0;
  if (fits && header->skeletonOffset != 0) {
    const FileImage block = image.SubToEnd(header->skeletonOffset, "skeleton block");
    fits = block.Valid() && Skeleton::CheckBlock(block);
    if (fits) {
      boneCount = block.Get<SkeletonBlockHeader>(0)->boneCount;
      skinningMode = boneCount <= kMaxShaderBones ? 1 : 0;
    }
  }
  if (fits && header->nodeCount) {
    m_nodes =
        static_cast<GeoMesh**>(TrackedAlloc(allocOwner, sizeof(GeoMesh*) * header->nodeCount));
    fits = m_nodes != nullptr;
    if (fits)
      for (uint32_t i = 0; i < header->nodeCount; ++i) m_nodes[i] = nullptr;
  }
  if (fits) {
    m_nodeCount = header->nodeCount;
    for (uint32_t i = 0; fits && i < m_nodeCount; ++i) {
      m_nodes[i] = GeoMesh::Create(image, table[i], skinningMode, boneCount, allocOwner);
      fits = m_nodes[i] != nullptr;
    }
  }
  if (!fits) {
    DebugLog().Write("Refused geometry file %s\n", image.Name());
    CleanUp();
    return false;
  }
  m_image = image;
  m_owner = owner;
  m_skeletonOffset = header->skeletonOffset;
  m_skinningMode = skinningMode;
  return true;
}

void NodeContainer::CleanUp() {
  for (uint32_t i = 0; m_nodes && i < m_nodeCount; ++i) {
    if (!m_nodes[i]) continue;
    m_nodes[i]->CleanUp();
    TrackedDelete("NodeContainer::CleanUp", m_nodes[i]);
  }
  TrackedFree("NodeContainer::CleanUp", m_nodes);
  m_nodes = nullptr;
  m_nodeCount = 0;
  m_skeletonOffset = 0;
  m_skinningMode = 0;
  m_image = FileImage();
}
