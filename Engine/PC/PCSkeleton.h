#pragma once
// What the geometry draws need of a skeleton: its bone count, whether a pose is bound, the two
// steps that turn the pose into a skinning palette, and the palette itself (one matrix per bone,
// row vectors: a bind-pose vertex times its bone's matrix gives the posed vertex).
//
// The full skeleton (bone tree, poses, overrides) builds on this record; until it does, the
// palette is whatever its owner stores, and the two steps leave it as it is.

#include <cstdint>

#include "Engine/FastMath.h"

class Skeleton {
 public:
  uint32_t GetBoneCount() const { return m_boneCount; }
  // True when a rotation source is bound, so that UpdateHierarchy has something to build from.
  bool HasPose() const { return m_hasPose != 0; }
  void UpdateHierarchy() {}
  void BuildSkinMatrices() {}
  const Matrix* GetSkinMatrices() const { return m_boneMatrices; }

  // The palette is the caller's array of `count` matrices (it must outlive the skeleton's use).
  void SetSkinMatrices(Matrix* matrices, uint32_t count) {
    m_boneMatrices = matrices;
    m_boneCount = matrices ? count : 0;
  }
  void SetHasPose(bool hasPose) { m_hasPose = hasPose ? 1 : 0; }

 private:
  uint32_t m_boneCount = 0;
  int32_t m_hasPose = 0;
  Matrix* m_boneMatrices = nullptr;
};
