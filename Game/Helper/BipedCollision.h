#pragma once
// Hit volumes on a character's skeleton: capsules between two bones and spheres round one bone,
// each tagged with the game's part id. The volumes follow the skeleton as its animation player
// last posed it, placed in the world by the character's matrix at the time of the test.

#include <cstdint>
#include <span>

#include "Engine/FastMath.h"

class AnimationHelper;
class BaseDebugLines;

// The kinds of a table row.
enum BipedPartKind : int32_t {
  kBipedTwoBones = 0,  // a capsule from the first bone to the second
  kBipedOneBone = 1,   // a sphere round the first bone
  kBipedEnd = 2,       // ends the table
};

// One row of a hit-volume table.
struct BipedPartDesc {
  int32_t part;
  int32_t kind;
  const char* firstBone;
  const char* secondBone;  // kBipedTwoBones only
  float radius;
};

class BipedCollision {
 public:
  // The part id of "nothing hit".
  static constexpr int32_t kNoHit = 26;

  BipedCollision() = default;
  ~BipedCollision();
  BipedCollision(const BipedCollision&) = delete;
  BipedCollision& operator=(const BipedCollision&) = delete;

  // Builds the volumes of `table` (up to its end row or its last row, whichever comes first) on
  // the player's skeleton, replacing any built before. Rows naming a bone the skeleton lacks are
  // left out, with a log line. The number of volumes built.
  int32_t InitBiped(const AnimationHelper* player, std::span<const BipedPartDesc> table);

  // The part id of the first volume that the sphere (`centre`, `radius`) meets, touching
  // included, with the character placed by `pose`; kNoHit when none.
  int32_t HitTestSphere(float radius, const Matrix& pose, const Vector4& centre) const;

  // Every volume as placed by `pose` into `lines`.
  void DebugDraw(BaseDebugLines* lines, const Matrix& pose, uint32_t colour = 0xFFFFFFFFu) const;

  int32_t GetVolumeCount() const { return m_count; }

 private:
  struct Volume {
    int32_t part;
    int32_t kind;
    int32_t firstBone;
    int32_t secondBone;
    float radius;
  };

  void Free(const char* owner);
  // The volume's bone positions in the world; false when the player has no skeleton now.
  bool Place(const Volume& volume, const Matrix& pose, Vector4& first, Vector4& second) const;

  // The player, not the skeleton: CreateSkeleton may replace the skeleton after InitBiped.
  const AnimationHelper* m_player = nullptr;
  Volume* m_volumes = nullptr;
  int32_t m_count = 0;
};
