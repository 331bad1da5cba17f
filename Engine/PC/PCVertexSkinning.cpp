#include "Engine/PC/PCVertexSkinning.h"

#include <cstring>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCSkeleton.h"

namespace {
constexpr const char* kOwnerConstruct = "VertexSkinning2Bone::VertexSkinning2Bone";
constexpr const char* kOwnerDestruct = "VertexSkinning2Bone::~VertexSkinning2Bone";
}  // namespace

VertexSkinning2Bone::VertexSkinning2Bone(uint32_t vertexCount, Skeleton* skeleton,
                                         const SkinBinding* bindings, const void* positions)
    : m_skeleton(skeleton) {
  if (vertexCount == 0 || !bindings || !positions) return;
  m_bindings = static_cast<SkinBinding*>(
      TrackedAlloc(kOwnerConstruct, size_t(vertexCount) * sizeof(SkinBinding)));
  m_restPositions =
      static_cast<Vector4*>(TrackedAlloc(kOwnerConstruct, size_t(vertexCount) * sizeof(Vector4)));
  if (!m_bindings || !m_restPositions) {
    if (m_bindings) TrackedFree(kOwnerConstruct, m_bindings);
    if (m_restPositions) TrackedFree(kOwnerConstruct, m_restPositions);
    m_bindings = nullptr;
    m_restPositions = nullptr;
    return;
  }
  std::memcpy(m_bindings, bindings, size_t(vertexCount) * sizeof(SkinBinding));
  const auto* source = static_cast<const unsigned char*>(positions);
  for (uint32_t i = 0; i < vertexCount; ++i) {
    float xyz[3];
    std::memcpy(xyz, source + size_t(i) * 16, sizeof(xyz));
    m_restPositions[i] = Vector4(xyz[0], xyz[1], xyz[2], 1.0f);
  }
  m_vertexCount = vertexCount;
}

VertexSkinning2Bone::~VertexSkinning2Bone() {
  if (m_bindings) TrackedFree(kOwnerDestruct, m_bindings);
  if (m_restPositions) TrackedFree(kOwnerDestruct, m_restPositions);
  m_bindings = nullptr;
  m_restPositions = nullptr;
  m_vertexCount = 0;
}

void VertexSkinning2Bone::Skin(Vector4* out) {
  if (!m_skeleton) return;
  m_skeleton->UpdateHierarchy();
  m_skeleton->BuildSkinMatrices();
  const Matrix* bones = m_skeleton->GetSkinMatrices();
  const uint32_t boneCount = m_skeleton->GetBoneCount();
  if (!bones || m_vertexCount == 0 || !out) return;
  for (uint32_t i = 0; i < m_vertexCount; ++i) {
    const SkinBinding& b = m_bindings[i];
    const Vector4& p = m_restPositions[i];
    float x = 0.0f, y = 0.0f, z = 0.0f;
    // A binding naming a bone the skeleton does not have contributes nothing rather than
    // reading past the palette.
    if (b.bone0 < boneCount) {
      Vector4 t;
      TransformVector4(p, bones[b.bone0], t);
      x = t.x * b.weight0;
      y = t.y * b.weight0;
      z = t.z * b.weight0;
    }
    if (b.bone1 < boneCount) {
      Vector4 t;
      TransformVector4(p, bones[b.bone1], t);
      x = x + t.x * b.weight1;
      y = y + t.y * b.weight1;
      z = z + t.z * b.weight1;
    }
    out[i] = Vector4(x, y, z, 0.0f);
  }
}

void MakePerpendicularBasis(const Vector4& direction, int32_t normalised, Vector4& u, Vector4& v) {
  Vector4 d = direction;
  d.w = 0.0f;
  if (!normalised) {
    const float l = Length3(d);
    if (l > 1e-5f) d.Set(d.x / l, d.y / l, d.z / l, 0.0f);
  }
  if (Fabs(d.y) <= Fabs(d.x) && Fabs(d.z) <= Fabs(d.x))
    u.Set(-d.y, d.x, 0.0f, 0.0f);
  else
    u.Set(0.0f, d.z, -d.y, 0.0f);
  const float lu = Length3(u);
  if (lu > 1e-5f) u.Set(u.x / lu, u.y / lu, u.z / lu, 0.0f);
  Cross(d, u, v);
  v.w = 0.0f;
}
