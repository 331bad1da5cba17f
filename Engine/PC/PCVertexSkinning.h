#pragma once
// Posed vertex positions on the processor: every vertex follows two bones of a skeleton with two
// weights. The geometry draws skin on their own; this serves code that needs the posed
// positions in memory (ray casts against a character's posed triangles).

#include <cstdint>

#include "Engine/FastMath.h"

class Skeleton;

// Per vertex: the two bones and their weights (used as given, not normalised).
struct SkinBinding {
  uint32_t bone0;
  uint32_t bone1;
  float weight0;
  float weight1;
};
static_assert(sizeof(SkinBinding) == 16, "skin binding layout");

class VertexSkinning2Bone_Base {
 public:
  virtual ~VertexSkinning2Bone_Base() = default;
  virtual void Skin(Vector4* out) = 0;
};

class VertexSkinning2Bone : public VertexSkinning2Bone_Base {
 public:
  // Copies `vertexCount` bindings and the x, y, z of `vertexCount` positions whose entries are
  // 16 bytes apart. The skeleton is not owned. When the copies cannot be allocated the skinner
  // has no vertices.
  VertexSkinning2Bone(uint32_t vertexCount, Skeleton* skeleton, const SkinBinding* bindings,
                      const void* positions);
  ~VertexSkinning2Bone() override;
  VertexSkinning2Bone(const VertexSkinning2Bone&) = delete;
  VertexSkinning2Bone& operator=(const VertexSkinning2Bone&) = delete;

  // Updates the skeleton's hierarchy and palette, then out[i] := the rest position through the
  // two bones, weighted, with w 0 (`out` holds GetVertexCount() entries). A bone the skeleton
  // does not have adds nothing.
  void Skin(Vector4* out) override;

  uint32_t GetVertexCount() const { return m_vertexCount; }
  const Vector4* GetRestPositions() const { return m_restPositions; }

 private:
  Vector4* m_restPositions = nullptr;
  Skeleton* m_skeleton = nullptr;
  uint32_t m_vertexCount = 0;
  SkinBinding* m_bindings = nullptr;
};

// Two axes perpendicular to `direction` and to each other (w 0). Unless `normalised` says the
// direction is unit length already, it is normalised first.
void MakePerpendicularBasis(const Vector4& direction, int32_t normalised, Vector4& u, Vector4& v);
