#pragma once
// ".geo" geometry file images for tests and for the demo data: the header with the file's box,
// the node table, one node record per node with its texture-name table, the mesh record that
// GeoObject::Create reads with its vertices, 16-bit indices, solid and alpha strips and skin
// weights, and the skeleton block (written by skelwriter). Every field is packed at its byte
// offset here rather than through the reader's record types, so that a layout mistake on
// either side shows as a failed round trip.
//
// Meshes are single-buffer meshes. Tests that need a broken file take the offsets of what was
// written from GeoLayout and change the bytes there.

#include <cstdint>
#include <string>
#include <vector>

#include "Engine/PC/PCGeoObject.h"
#include "tests/support/ByteWriter.h"
#include "tests/support/SkeletonWriter.h"

namespace geowriter {

struct Mesh {
  uint16_t flags = 0;
  // Empty: a mesh without buffers (box and matrix only).
  std::vector<GeoVertex> vertices;
  std::vector<uint16_t> indices;
  std::vector<GeoStrip> solidStrips;
  std::vector<GeoStrip> alphaStrips;
  // Empty: not skinned; otherwise one per vertex (bone indices three times the bone's number).
  std::vector<GeoSkinWeight> skinWeights;
  // The box around the vertices unless `hasBox` is set.
  bool hasBox = false;
  float boxMin[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  float boxMax[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  // The mesh's local matrix: row-major, row vectors.
  float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

struct Node {
  Mesh mesh;
  // Texture file names, loaded through the texture registry; strips name them by index.
  std::vector<std::string> textures;
};

struct GeoDesc {
  std::vector<Node> nodes;
  // The file's box; unless `hasBox` is set, the box around every mesh's box placed by its
  // matrix.
  bool hasBox = false;
  float boxMin[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  float boxMax[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  bool hasSkeleton = false;
  skelwriter::SkeletonTables skeleton;

  void SetSkeleton(const skelwriter::SkeletonDesc& desc) {
    hasSkeleton = true;
    skeleton = skelwriter::Tables(desc);
  }
};

// Where the parts of a written file lie (byte offsets from the start of the image).
struct NodeLayout {
  uint32_t record = 0;
  uint32_t mesh = 0;
  uint32_t textureTable = 0;
  std::vector<uint32_t> names;
  uint32_t vertices = 0;
  uint32_t indices = 0;
  uint32_t solidStrips = 0;
  uint32_t alphaStrips = 0;
  uint32_t skinWeights = 0;
};

struct GeoLayout {
  uint32_t nodeTable = 0;
  uint32_t skeleton = 0;
  std::vector<NodeLayout> nodes;
};

// Byte offsets of header and record fields, for tests that break them.
constexpr uint32_t kHeaderNodeCount = 8;
constexpr uint32_t kHeaderNodeTable = 12;
constexpr uint32_t kHeaderSkeleton = 16;
constexpr uint32_t kHeaderBoxMin = 24;
constexpr uint32_t kHeaderBoxMax = 40;
constexpr uint32_t kHeaderBytes = 56;
constexpr uint32_t kNodeTextureCount = 4;
constexpr uint32_t kNodeMesh = 8;
constexpr uint32_t kNodeTextureTable = 12;
constexpr uint32_t kMeshFlags = 4;
constexpr uint32_t kMeshVertices = 8;
constexpr uint32_t kMeshIndices = 12;
constexpr uint32_t kMeshSolidStripCount = 28;
constexpr uint32_t kMeshVertexCount = 44;
constexpr uint32_t kMeshSolidStrips = 52;
constexpr uint32_t kMeshSkinWeights = 60;
constexpr uint32_t kMeshAlphaStripCount = 68;
constexpr uint32_t kMeshAlphaStrips = 76;
constexpr uint32_t kMeshIndexCount = 84;
constexpr uint32_t kMeshBoxMin = 92;
constexpr uint32_t kMeshBoxMax = 108;
constexpr uint32_t kMeshMatrix = 124;
constexpr uint32_t kMeshRecordBytes = 188;
constexpr uint32_t kStripBytes = 16;

std::vector<uint8_t> WriteGeo(const GeoDesc& desc, GeoLayout* layout = nullptr);
// WriteGeo into a file (folders are created); false when it cannot be written.
bool SaveGeo(const std::string& path, const GeoDesc& desc);

// An axis-aligned box from `min` to `max` (x, y, z): four vertices per face with the face's
// outward normal and texture coordinates 0 to 1 across it, two triangles per face wound
// clockwise seen from outside (the device culls counter-clockwise ones), and one strip of all
// 36 indices naming `material`, solid or (with `alpha`) blended.
Mesh BoxMesh(const float min[3], const float max[3], uint32_t colour, uint32_t material = 0,
             bool alpha = false);

// Appends a mesh record (4-byte aligned) and its vertices, indices, strips and weights behind
// it; the record's offset. `parts` receives where each part went (record and texture table
// stay 0).
uint32_t AppendMesh(std::vector<uint8_t>& image, const Mesh& mesh, NodeLayout* parts = nullptr);

// Little-endian words in an image, for tests that change a written file.
using bytewriter::GetU32;
using bytewriter::PutU16;
using bytewriter::PutU32;

}  // namespace geowriter
