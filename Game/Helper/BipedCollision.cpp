#include "Game/Helper/BipedCollision.h"

#include <cmath>

#include "Engine/BaseDebugLines.h"
#include "Engine/FastMathBounds.h"
#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCSkeleton.h"
#include "Game/Helper/AnimationHelper.h"

namespace {

constexpr const char* kOwnerInit = "BipedCollision::InitBiped";
constexpr const char* kOwnerDestroy = "BipedCollision::~BipedCollision";
constexpr int32_t kCapsuleSegments = 12;
constexpr int32_t kSphereSegments = 16;

const char* Printable(const char* name) { return name ? name : "(null)"; }

// The bone's index, or -1 with a log line: a volume on a missing bone would sit at the
// character's origin and take hits meant for nothing.
int32_t FindPartBone(const Skeleton& skeleton, const BipedPartDesc& row, const char* name) {
  const int32_t bone = skeleton.FindBone(name);
  if (bone < 0)
    DebugLog().Write("BipedCollision::InitBiped: part %d: no bone \"%s\"\n", row.part,
                     Printable(name));
  return bone;
}

}  // namespace

BipedCollision::~BipedCollision() { Free(kOwnerDestroy); }

void BipedCollision::Free(const char* owner) {
  TrackedFree(owner, m_volumes);
  m_volumes = nullptr;
  m_count = 0;
}

int32_t BipedCollision::InitBiped(const AnimationHelper* player,
                                  std::span<const BipedPartDesc> table) {
  Free(kOwnerInit);
  m_player = player;
  const Skeleton* skeleton = player ? player->GetSkeleton() : nullptr;
  if (!skeleton) {
    DebugLog().Write("BipedCollision::InitBiped: the player has no skeleton\n");
    return 0;
  }
  size_t rows = 0;
  while (rows < table.size() && table[rows].kind != kBipedEnd) ++rows;
  if (rows == 0) return 0;
  m_volumes = TrackedAlloc<Volume>(kOwnerInit, rows);
  if (!m_volumes) return 0;
  for (const BipedPartDesc& row : table.first(rows)) {
    if (row.kind != kBipedTwoBones && row.kind != kBipedOneBone) {
      DebugLog().Write("BipedCollision::InitBiped: part %d: kind %d\n", row.part, row.kind);
      continue;
    }
    if (!std::isfinite(row.radius) || row.radius < 0.0f) {
      DebugLog().Write("BipedCollision::InitBiped: part %d: radius %f\n", row.part, row.radius);
      continue;
    }
    const int32_t first = FindPartBone(*skeleton, row, row.firstBone);
    const int32_t second =
        row.kind == kBipedTwoBones ? FindPartBone(*skeleton, row, row.secondBone) : first;
    if (first < 0 || second < 0) continue;
    m_volumes[m_count++] = {row.part, row.kind, first, second, row.radius};
  }
  return m_count;
}

bool BipedCollision::Place(const Volume& volume, const Matrix& pose, Vector4& first,
                           Vector4& second) const {
  const Skeleton* skeleton = m_player ? m_player->GetSkeleton() : nullptr;
  if (!skeleton) return false;
  Matrix m;
  if (!skeleton->GetBoneWorldMatrix(volume.firstBone, pose, m)) return false;
  first = m.GetRow(3);
  if (!skeleton->GetBoneWorldMatrix(volume.secondBone, pose, m)) return false;
  second = m.GetRow(3);
  return true;
}

int32_t BipedCollision::HitTestSphere(float radius, const Matrix& pose,
                                      const Vector4& centre) const {
  const BoundingSphere ball(centre, radius);
  for (int32_t i = 0; i < m_count; ++i) {
    const Volume& v = m_volumes[i];
    Vector4 first, second;
    if (!Place(v, pose, first, second)) continue;
    int hit;
    if (v.kind == kBipedOneBone) {
      hit = SpheresOverlap(ball, BoundingSphere(first, v.radius));
    } else {
      Vector4 axis;
      Subtract(second, first, axis);
      hit = SphereCapsuleOverlap(ball, Capsule(first, axis, v.radius));
    }
    if (hit) return v.part;
  }
  return kNoHit;
}

void BipedCollision::DebugDraw(BaseDebugLines* lines, const Matrix& pose, uint32_t colour) const {
  if (!lines) return;
  for (int32_t i = 0; i < m_count; ++i) {
    const Volume& v = m_volumes[i];
    Vector4 first, second;
    if (!Place(v, pose, first, second)) continue;
    if (v.kind == kBipedOneBone) {
      lines->AddSphere(&first, v.radius, kSphereSegments, colour);
      continue;
    }
    CapsuleShape shape;
    shape.point = first;
    Subtract(second, first, shape.axis);
    shape.radius = v.radius;
    lines->AddCapsule(&shape, kCapsuleSegments, colour);
  }
}
