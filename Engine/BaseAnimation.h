#pragma once
// Animations and poses as the rest of the engine sees them. A pose is one rotation per bone plus
// a root key: plain data, the same on every platform, so portable code (the sequencer) makes and
// blends poses itself; an animation is sampled into one. The PC animation is `Animation`
// (Engine/PC/PCAnimation.h), which also defines the pose's operations.

#include <cstdint>

#include "Engine/FastMath.h"

class AnimationPose;

// ---- Poses.

class BaseAnimationPose {
 public:
  virtual ~BaseAnimationPose() = default;
  virtual void Blend(float weight, const AnimationPose* from, const AnimationPose* to) = 0;
  virtual Vector4* GetRootKey() = 0;
  virtual void SetRootKey(const Vector4& key) = 0;
};

// One rotation per bone plus a root key. The rotations start all zero.
class AnimationPose : public BaseAnimationPose {
 public:
  // A pose of `boneCount` rotations. 0 (or an allocation that fails) gives an empty pose that
  // every operation accepts and that writes no rotation.
  explicit AnimationPose(uint32_t boneCount);
  ~AnimationPose() override;
  AnimationPose(const AnimationPose&) = delete;
  AnimationPose& operator=(const AnimationPose&) = delete;

  // Rotation i := slerp(from's i, to's i, weight) for every bone the three poses all have;
  // root x, y, z := from + weight x (to - from), w := 1.
  void Blend(float weight, const AnimationPose* from, const AnimationPose* to) override;
  Vector4* GetRootKey() override { return &m_rootKey; }
  const Vector4* GetRootKey() const { return &m_rootKey; }
  // Copies all four components as given.
  void SetRootKey(const Vector4& key) override { m_rootKey = key; }

  uint32_t GetBoneCount() const { return m_boneCount; }
  Quaternion* GetRotations() { return m_rotations; }
  const Quaternion* GetRotations() const { return m_rotations; }
  // The bone's rotation, or null for a bone the pose does not have.
  Quaternion* GetRotation(int32_t bone) {
    return (bone >= 0 && uint32_t(bone) < m_boneCount) ? &m_rotations[bone] : nullptr;
  }

 private:
  uint32_t m_boneCount = 0;
  Quaternion* m_rotations = nullptr;
  Vector4 m_rootKey{0.0f, 0.0f, 0.0f, 0.0f};
};

// ---- Animations.

class BaseAnimation {
 public:
  virtual ~BaseAnimation() = default;
  virtual float GetLength() const = 0;
  virtual float GetStartTime() const = 0;
  virtual float GetEndTime() const = 0;
  virtual uint32_t GetNumTracks() const = 0;
  // Root key 0 / the last root key as {x, y, z, time}.
  virtual void GetFirstRootKey(Vector4& out) const = 0;
  virtual void GetLastRootKey(Vector4& out) const = 0;
  virtual void Sample(float time, AnimationPose* pose) = 0;
};
