#include "Game/PirateGame/PirateRules.h"

#include <cstring>

#include "Engine/LogFile.h"
#include "Engine/Random.h"

namespace {

constexpr uint32_t kDealRange = 15;
constexpr int32_t kEachValueTwice = 2;
constexpr float kStraightCone = 1.1f;
constexpr float kDiagonalMin = 0.1f;
constexpr float kDiagonalMax = 2.5f;
constexpr int32_t kMediumOutOfPlay = 5;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

float DistanceSqXY(const PirateHole& hole, const Vector4& origin) {
  const float dx = hole.position.x - origin.x;
  const float dy = hole.position.y - origin.y;
  return dx * dx + dy * dy;
}

// Keeps the nearest candidate, the lower index on a tie (holes are offered in index order).
struct Nearest {
  int32_t hole = -1;
  float distanceSq = 0.0f;
  void Offer(int32_t index, float d) {
    if (hole < 0 || d < distanceSq) {
      hole = index;
      distanceSq = d;
    }
  }
};

bool StraightCandidate(const PirateHole& hole, const Vector4& origin, int32_t direction) {
  const float dx = hole.position.x - origin.x;
  const float dy = hole.position.y - origin.y;
  float along = 0.0f, cross = 0.0f;
  switch (direction) {
    case kPirateUp:
      along = dy, cross = dx;
      break;
    case kPirateDown:
      along = -dy, cross = dx;
      break;
    case kPirateRight:
      along = dx, cross = dy;
      break;
    case kPirateLeft:
      along = -dx, cross = dy;
      break;
    default:
      return false;
  }
  if (!(along > 0.0f)) return false;
  return Fabs(cross / along) < kStraightCone;
}

bool DiagonalCandidate(const PirateHole& hole, const Vector4& origin, int32_t side,
                       int32_t vertical) {
  const float dx = hole.position.x - origin.x;
  const float dy = hole.position.y - origin.y;
  if (!(vertical > 0 ? dy > 0.0f : dy < 0.0f)) return false;
  const float ratio = dx / dy;
  const float magnitude = Fabs(ratio);
  if (magnitude < kDiagonalMin || magnitude > kDiagonalMax) return false;
  // dx / dy has the side's sign going up and the other sign going down.
  const float sideSign = static_cast<float>(side * vertical);
  return ratio * sideSign > 0.0f;
}

}  // namespace

int32_t ReadNodeNumber(const char* name, const char* prefix, int32_t limit) {
  if (!name || !prefix) return -1;
  const size_t length = std::strlen(prefix);
  if (std::strncmp(name, prefix, length) != 0) return -1;
  const char* digits = name + length;
  // A third digit would make another number: "pirate123" is not hole 12.
  if (!IsDigit(digits[0]) || !IsDigit(digits[1]) || IsDigit(digits[2])) {
    DebugLog().Write("cpirategame: node \"%.64s\" has no two-digit number\n", name);
    return -1;
  }
  const int32_t number = (digits[0] - '0') * 10 + (digits[1] - '0');
  if (number >= limit) {
    DebugLog().Write("cpirategame: node \"%.64s\" is numbered beyond %d\n", name, limit - 1);
    return -1;
  }
  return number;
}

void DealBoard(PirateHole* holes) {
  int32_t used[kDealRange] = {};
  for (int32_t i = 0; i < kHoles; ++i) {
    uint32_t r = RandMod(kDealRange);
    while (used[r] >= kEachValueTwice) r = RandMod(kDealRange);
    ++used[r];
    if (r < static_cast<uint32_t>(kPirateKinds)) {
      holes[i].occupied = 1;
      holes[i].kind = static_cast<int32_t>(r);
    }
  }
}

void ApplyDifficulty(PirateHole* holes, int32_t difficulty) {
  if (difficulty == 0) {
    for (int32_t i = 0; i < kHoles; ++i)
      if (!holes[i].occupied) holes[i].outOfPlay = 1;
    return;
  }
  if (difficulty != 1) return;
  int32_t empty[kHoles];
  int32_t count = 0, markable = 0;
  for (int32_t i = 0; i < kHoles; ++i) {
    if (holes[i].occupied) continue;
    empty[count++] = i;
    markable += holes[i].outOfPlay ? 0 : 1;
  }
  if (count == 0) return;
  // Holes already out (no cover in the scene) could leave fewer than five to choose from, and
  // the redraw would never end.
  const int32_t toMark = markable < kMediumOutOfPlay ? markable : kMediumOutOfPlay;
  for (int32_t n = 0; n < toMark; ++n) {
    uint32_t pick = RandMod(static_cast<uint32_t>(count));
    while (holes[empty[pick]].outOfPlay) pick = RandMod(static_cast<uint32_t>(count));
    holes[empty[pick]].outOfPlay = 1;
  }
}

int32_t CountInPlay(const PirateHole* holes) {
  int32_t count = 0;
  for (int32_t i = 0; i < kHoles; ++i) count += holes[i].outOfPlay ? 0 : 1;
  return count;
}

int32_t FindStraightMove(const PirateHole* holes, const Vector4& origin, int32_t direction) {
  Nearest best;
  for (int32_t i = 0; i < kHoles; ++i) {
    const PirateHole& hole = holes[i];
    if (hole.outOfPlay || hole.selected || !StraightCandidate(hole, origin, direction)) continue;
    best.Offer(i, DistanceSqXY(hole, origin));
  }
  return best.hole;
}

int32_t FindDiagonalMove(const PirateHole* holes, const Vector4& origin, int32_t selected,
                         int32_t side, int32_t vertical) {
  Nearest best;
  for (int32_t i = 0; i < kHoles; ++i) {
    const PirateHole& hole = holes[i];
    if (hole.outOfPlay || i == selected || !DiagonalCandidate(hole, origin, side, vertical))
      continue;
    best.Offer(i, DistanceSqXY(hole, origin));
  }
  return best.hole;
}
