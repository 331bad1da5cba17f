#pragma once
// The drawable form of one ".geo" file: one `GeoMesh` per node of the file (its geometry object
// and the textures its strips name), the file's bounding box and, for characters, where its
// skeleton block lies. `NodeFactory` builds a container when it loads a file and frees it with
// the file; the render windows and scenes walk its meshes every frame.
//
// Everything is read through the file image, checked against the file's size: a node record,
// texture-name table, name, mesh record, strip, index range, material or skin weight that does
// not fit refuses the mesh (one log line, nothing kept), and the factory refuses the file.

#include <cstdint>

#include "Engine/BaseNodeContainer.h"
#include "Engine/FastMathBounds.h"
#include "Engine/FileImage.h"
#include "Engine/PC/PCMeshRecord.h"

struct HeaderInfo;

// The ".geo" header, at the start of the file.
struct GeoFileHeader {
  uint32_t word0;
  uint32_t word1;
  uint32_t nodeCount;
  // Offset of nodeCount words, each the offset of one node record.
  uint32_t nodeTableOffset;
  // 0 when the file has no skeleton.
  uint32_t skeletonOffset;
  uint32_t word5;
  float boxMin[4];
  float boxMax[4];
};
static_assert(sizeof(GeoFileHeader) == 56, ".geo header layout");

// One node of a ".geo" file (a ".scn" object record has the same layout).
struct GeoNodeFileRecord {
  uint32_t word0;
  uint32_t textureCount;
  // Offset of the mesh record that GeoObject::Create reads.
  uint32_t meshOffset;
  // Offset of textureCount words, each the offset of a NUL-terminated texture file name.
  uint32_t textureTableOffset;
};
static_assert(sizeof(GeoNodeFileRecord) == 16, ".geo node record layout");

// A drawable node: the render-list entries point at it (as their SceneNode).
struct GeoMesh : SceneNode {
  // Either of the geometry object's solid strip counts (single-buffer, multi-buffer) is non-zero.
  bool HasSolidStrips() const;
  bool HasAlphaStrips() const;

  // Builds the mesh of the node record at `recordOffset`: its geometry object (skinned in the
  // vertex shader when skinningMode is 1) and its textures, loaded by name through the
  // application's texture registry (-1 where one is missing). `boneCount` is the number of
  // bones of the file's skeleton that the skin weights may name; 0 leaves them unchecked (a file
  // without a skeleton). Allocations are recorded under `owner`. Null, with a log line, when
  // anything of the node does not fit the image, a strip names a material past the node's
  // texture table, or a skin weight of non-zero weight names a bone the skeleton does not have.
  static GeoMesh* Create(const FileImage& image, uint64_t recordOffset, uint32_t skinningMode,
                         uint32_t boneCount, const char* owner);
  // Gives the textures back to the registry and frees the geometry object; both become null.
  void CleanUp();
};

class NodeContainer : public BaseNodeContainer {
 public:
  NodeContainer() = default;
  ~NodeContainer() override { CleanUp(); }
  NodeContainer(const NodeContainer&) = delete;
  NodeContainer& operator=(const NodeContainer&) = delete;

  const Vector4* GetBoundsMin() const override;
  const Vector4* GetBoundsMax() const override;
  // Both corners as the box the frustum test takes.
  const BoundingBox* GetBox() const;

  // The file's node count; GetMesh answers for every index below it.
  uint32_t GetNodeCount() const { return m_nodeCount; }
  // Mesh i, or null past the end (or where a node has no mesh).
  GeoMesh* GetMesh(uint32_t i) const { return (m_nodes && i < m_nodeCount) ? m_nodes[i] : nullptr; }

  // The skeleton block, as a view of its own from its first byte to the end of the file (its
  // offsets count from its start); an empty view when the file has none.
  bool HasSkeleton() const { return m_skeletonOffset != 0; }
  FileImage GetSkeletonBlock() const;
  // 1 when the meshes are skinned in the vertex shader (a skeleton of 35 bones or fewer).
  uint32_t GetSkinningMode() const { return m_skinningMode; }

  HeaderInfo* GetOwner() const { return m_owner; }
  const FileImage& GetImage() const { return m_image; }

  // Builds the meshes of every node of `image` (a whole ".geo" file, mutable: a skeleton built
  // on it relocates its block in place). False, with a log line and nothing kept, when the file
  // is refused.
  bool Load(const FileImage& image, HeaderInfo* owner, const char* allocOwner);
  // Frees every mesh and the node array.
  void CleanUp();

 private:
  GeoMesh** m_nodes = nullptr;
  uint32_t m_skeletonOffset = 0;
  HeaderInfo* m_owner = nullptr;
  FileImage m_image;
  uint32_t m_nodeCount = 0;
  uint32_t m_skinningMode = 0;
};
