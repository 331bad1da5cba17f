#include "tests/support/GeoWriter.h"

#include <algorithm>

namespace geowriter {

namespace {

using bytewriter::Align;
using bytewriter::PutF32;
using bytewriter::PutF32s;

uint32_t AppendVertices(std::vector<uint8_t>& image, const std::vector<GeoVertex>& vertices) {
  const uint32_t offset = static_cast<uint32_t>(Align(image, 4));
  for (const GeoVertex& v : vertices) {
    const size_t at = image.size();
    PutF32s(image, at, v.position, 3);
    PutF32s(image, at + 12, v.normal, 3);
    PutU32(image, at + 24, v.colour);
    PutF32(image, at + 28, v.u);
    PutF32(image, at + 32, v.v);
  }
  return offset;
}

uint32_t AppendStrips(std::vector<uint8_t>& image, const std::vector<GeoStrip>& strips) {
  if (strips.empty()) return 0;
  const uint32_t offset = static_cast<uint32_t>(Align(image, 4));
  for (const GeoStrip& s : strips) {
    const size_t at = image.size();
    PutU32(image, at, s.material);
    PutU32(image, at + 4, s.flags);
    PutU32(image, at + 8, s.firstIndex);
    PutU32(image, at + 12, s.NumVert);
  }
  return offset;
}

uint32_t AppendSkinWeights(std::vector<uint8_t>& image, const std::vector<GeoSkinWeight>& weights) {
  if (weights.empty()) return 0;
  const uint32_t offset = static_cast<uint32_t>(Align(image, 4));
  for (const GeoSkinWeight& w : weights) {
    const size_t at = image.size();
    image.insert(image.end(), w.index, w.index + 4);
    PutF32s(image, at + 4, w.weight, 4);
  }
  return offset;
}

// The box around the vertices (an empty mesh keeps the given box).
void MeshBox(const Mesh& mesh, float min[4], float max[4]) {
  std::copy(mesh.boxMin, mesh.boxMin + 4, min);
  std::copy(mesh.boxMax, mesh.boxMax + 4, max);
  if (mesh.hasBox || mesh.vertices.empty()) return;
  for (int i = 0; i < 3; ++i) {
    min[i] = max[i] = mesh.vertices[0].position[i];
    for (const GeoVertex& v : mesh.vertices) {
      min[i] = std::min(min[i], v.position[i]);
      max[i] = std::max(max[i], v.position[i]);
    }
  }
  min[3] = max[3] = 1.0f;
}

// Grows the file's box by the eight corners of a mesh's box placed by its matrix.
void GrowByPlacedBox(const float min[4], const float max[4], const float m[16], bool* first,
                     float fileMin[4], float fileMax[4]) {
  for (int corner = 0; corner < 8; ++corner) {
    const float p[3] = {(corner & 1) ? max[0] : min[0], (corner & 2) ? max[1] : min[1],
                        (corner & 4) ? max[2] : min[2]};
    for (int c = 0; c < 3; ++c) {
      const float q = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c];
      if (*first) {
        fileMin[c] = fileMax[c] = q;
      } else {
        fileMin[c] = std::min(fileMin[c], q);
        fileMax[c] = std::max(fileMax[c], q);
      }
    }
    *first = false;
  }
  fileMin[3] = fileMax[3] = 1.0f;
}

void WriteMeshRecord(std::vector<uint8_t>& image, uint32_t at, const Mesh& mesh,
                     const NodeLayout& parts) {
  PutU16(image, at + kMeshFlags, mesh.flags);
  PutU32(image, at + kMeshVertices, parts.vertices);
  PutU32(image, at + kMeshIndices, parts.indices);
  PutU16(image, at + kMeshSolidStripCount, static_cast<uint16_t>(mesh.solidStrips.size()));
  PutU32(image, at + kMeshVertexCount, static_cast<uint32_t>(mesh.vertices.size()));
  PutU32(image, at + kMeshSolidStrips, parts.solidStrips);
  PutU32(image, at + kMeshSkinWeights, parts.skinWeights);
  PutU16(image, at + kMeshAlphaStripCount, static_cast<uint16_t>(mesh.alphaStrips.size()));
  PutU32(image, at + kMeshAlphaStrips, parts.alphaStrips);
  PutU32(image, at + kMeshIndexCount, static_cast<uint32_t>(mesh.indices.size()));
  float min[4], max[4];
  MeshBox(mesh, min, max);
  PutF32s(image, at + kMeshBoxMin, min, 4);
  PutF32s(image, at + kMeshBoxMax, max, 4);
  PutF32s(image, at + kMeshMatrix, mesh.matrix, 16);
}

}  // namespace

uint32_t AppendMesh(std::vector<uint8_t>& image, const Mesh& mesh, NodeLayout* partsOut) {
  NodeLayout parts;
  parts.mesh = static_cast<uint32_t>(Align(image, 4));
  image.resize(image.size() + kMeshRecordBytes, 0);
  // Each part is written when it has items, and its offset stays 0 otherwise.
  if (!mesh.vertices.empty()) parts.vertices = AppendVertices(image, mesh.vertices);
  if (!mesh.indices.empty()) {
    parts.indices = static_cast<uint32_t>(Align(image, 4));
    for (uint16_t index : mesh.indices) PutU16(image, image.size(), index);
  }
  parts.solidStrips = AppendStrips(image, mesh.solidStrips);
  parts.alphaStrips = AppendStrips(image, mesh.alphaStrips);
  parts.skinWeights = AppendSkinWeights(image, mesh.skinWeights);
  WriteMeshRecord(image, parts.mesh, mesh, parts);
  if (partsOut) *partsOut = parts;
  return parts.mesh;
}

std::vector<uint8_t> WriteGeo(const GeoDesc& desc, GeoLayout* layoutOut) {
  GeoLayout layout;
  std::vector<uint8_t> image(kHeaderBytes, 0);
  const uint32_t nodeCount = static_cast<uint32_t>(desc.nodes.size());
  PutU32(image, kHeaderNodeCount, nodeCount);
  layout.nodeTable = static_cast<uint32_t>(image.size());
  PutU32(image, kHeaderNodeTable, layout.nodeTable);
  image.resize(image.size() + 4 * nodeCount, 0);

  bool firstBox = true;
  float fileMin[4] = {0, 0, 0, 1}, fileMax[4] = {0, 0, 0, 1};
  for (uint32_t n = 0; n < nodeCount; ++n) {
    const Node& node = desc.nodes[n];
    const Mesh& mesh = node.mesh;
    const uint32_t record = static_cast<uint32_t>(Align(image, 4));
    PutU32(image, layout.nodeTable + 4 * n, record);
    image.resize(image.size() + 16, 0);
    NodeLayout parts;
    AppendMesh(image, mesh, &parts);
    parts.record = record;

    parts.textureTable = static_cast<uint32_t>(Align(image, 4));
    image.resize(image.size() + 4 * node.textures.size(), 0);
    for (size_t t = 0; t < node.textures.size(); ++t) {
      const uint32_t name = static_cast<uint32_t>(bytewriter::AppendString(image, node.textures[t]));
      PutU32(image, parts.textureTable + 4 * t, name);
      parts.names.push_back(name);
    }
    PutU32(image, parts.record + kNodeTextureCount, static_cast<uint32_t>(node.textures.size()));
    PutU32(image, parts.record + kNodeMesh, parts.mesh);
    PutU32(image, parts.record + kNodeTextureTable, parts.textureTable);

    float min[4], max[4];
    MeshBox(mesh, min, max);
    GrowByPlacedBox(min, max, mesh.matrix, &firstBox, fileMin, fileMax);
    layout.nodes.push_back(parts);
  }

  if (desc.hasBox) {
    std::copy(desc.boxMin, desc.boxMin + 4, fileMin);
    std::copy(desc.boxMax, desc.boxMax + 4, fileMax);
  }
  PutF32s(image, kHeaderBoxMin, fileMin, 4);
  PutF32s(image, kHeaderBoxMax, fileMax, 4);
  if (desc.hasSkeleton) {
    layout.skeleton = skelwriter::AppendSkeletonBlock(image, desc.skeleton);
    PutU32(image, kHeaderSkeleton, layout.skeleton);
  }
  Align(image, 4);
  if (layoutOut) *layoutOut = layout;
  return image;
}

bool SaveGeo(const std::string& path, const GeoDesc& desc) {
  return bytewriter::SaveBytes(path, WriteGeo(desc));
}

Mesh BoxMesh(const float min[3], const float max[3], uint32_t colour, uint32_t material,
             bool alpha) {
  const float d[3] = {max[0] - min[0], max[1] - min[1], max[2] - min[2]};
  // Each face: a corner, two edges whose cross product points out of the box, and the normal.
  struct Face {
    float corner[3];
    float e1[3];
    float e2[3];
    float normal[3];
  };
  const Face faces[6] = {
      {{min[0], min[1], min[2]}, {0, d[1], 0}, {d[0], 0, 0}, {0, 0, -1}},
      {{min[0], min[1], max[2]}, {d[0], 0, 0}, {0, d[1], 0}, {0, 0, 1}},
      {{min[0], min[1], min[2]}, {0, 0, d[2]}, {0, d[1], 0}, {-1, 0, 0}},
      {{max[0], min[1], min[2]}, {0, d[1], 0}, {0, 0, d[2]}, {1, 0, 0}},
      {{min[0], min[1], min[2]}, {d[0], 0, 0}, {0, 0, d[2]}, {0, -1, 0}},
      {{min[0], max[1], min[2]}, {0, 0, d[2]}, {d[0], 0, 0}, {0, 1, 0}},
  };
  Mesh mesh;
  for (const Face& f : faces) {
    const uint16_t base = static_cast<uint16_t>(mesh.vertices.size());
    for (int k = 0; k < 4; ++k) {
      const float a = (k & 1) ? 1.0f : 0.0f;
      const float b = (k & 2) ? 1.0f : 0.0f;
      GeoVertex v{};
      for (int i = 0; i < 3; ++i) {
        v.position[i] = f.corner[i] + a * f.e1[i] + b * f.e2[i];
        v.normal[i] = f.normal[i];
      }
      v.colour = colour;
      v.u = a;
      v.v = b;
      mesh.vertices.push_back(v);
    }
    // (0, 2, 1) and (1, 2, 3) turn against e1 x e2: clockwise seen from outside, the way the
    // camera shows the world (unmirrored), so culling drops the faces turned away.
    const uint16_t order[6] = {0, 2, 1, 1, 2, 3};
    for (uint16_t i : order) mesh.indices.push_back(static_cast<uint16_t>(base + i));
  }
  const GeoStrip strip = {material, 0, 0, static_cast<uint32_t>(mesh.indices.size())};
  (alpha ? mesh.alphaStrips : mesh.solidStrips).push_back(strip);
  return mesh;
}

}  // namespace geowriter
