#include "Game/TesselGame/TesselPathMap.h"

#include <cstring>

#include "Engine/LogFile.h"
#include "Engine/Random.h"

namespace {

constexpr float kNearJunctionSq = 1000.0f;

TesselMapRecord ReadRecord(const void* image, uint32_t index) {
  TesselMapRecord record;
  const uint8_t* bytes = static_cast<const uint8_t*>(image);
  std::memcpy(&record, bytes + kTesselMapHeaderBytes + size_t(index) * sizeof(record),
              sizeof(record));
  return record;
}

bool Usable(const TesselNavNode* junction, int32_t direction, int32_t excluded) {
  return junction->links[direction] != nullptr && direction != excluded;
}

}  // namespace

int32_t TesselPathMapCount(const void* image, int32_t size, const char* name) {
  if (!image) return 0;
  if (size < kTesselMapHeaderBytes) {
    DebugLog().Write("cTesselGame: path map %s is too short for its count (%d bytes)\n", name,
                     size);
    return -1;
  }
  uint32_t count;
  std::memcpy(&count, image, sizeof(count));
  // Compared in 64 bits: a count near 2^32 must not wrap into a small size.
  const uint64_t needed = kTesselMapHeaderBytes + uint64_t(count) * sizeof(TesselMapRecord);
  if (needed > uint64_t(size) || count > 0x7FFFFFFFu) {
    DebugLog().Write("cTesselGame: path map %s holds %d bytes, too few for %u records\n", name,
                     size, count);
    return -1;
  }
  return static_cast<int32_t>(count);
}

void TesselBuildNavNodes(const void* image, uint32_t count, TesselNavNode* nodes,
                         const char* name) {
  for (uint32_t k = 0; k < count; ++k) {
    const TesselMapRecord record = ReadRecord(image, k);
    TesselNavNode& node = nodes[k];
    node.flags = record.flags;
    node.position = Vector4(record.a, record.c, record.b, record.w);
    node.spare = 0;
    for (int32_t d = 0; d < kTesselLinkCount; ++d) {
      const int32_t link = record.links[d];
      node.links[d] = nullptr;
      if (link >= 0 && uint32_t(link) < count) {
        node.links[d] = &nodes[link];
      } else if (link != -1) {
        DebugLog().Write("cTesselGame: path map %s record %u links to %d of %u records\n", name, k,
                         link, count);
      }
    }
  }
}

int32_t TesselDirectionCode(const TesselNavNode* from, const TesselNavNode* to) {
  if (!from || !to) return kTesselNoDirection;
  const Vector4& a = from->position;
  const Vector4& b = to->position;
  if (b.x < a.x) return kTesselPlusX;
  if (b.x > a.x) return kTesselMinusX;
  if (b.y < a.y) return kTesselPlusY;
  if (b.y > a.y) return kTesselMinusY;
  return kTesselNoDirection;
}

float TesselGroundDistanceSq(const Vector4& a, const Vector4& b) {
  const float dx = a.x - b.x;
  const float dy = a.y - b.y;
  return dx * dx + dy * dy;
}

bool IsNearJunction(const TesselNavNode* junctions, uint32_t count, const Vector4& p) {
  for (uint32_t i = 0; junctions && i < count; ++i)
    if (TesselGroundDistanceSq(p, junctions[i].position) < kNearJunctionSq) return true;
  return false;
}

TesselNavNode* FindNearestJunction(TesselNavNode* junctions, uint32_t count, const Vector4& p) {
  float legLength = 0.0f;
  return FindNearestIntermediateNode(junctions, count, p, &legLength);
}

TesselNavNode* FindNearestIntermediateNode(TesselNavNode* nodes, uint32_t count, const Vector4& p,
                                           float* legLength) {
  *legLength = 0.0f;
  if (!nodes || count == 0) return nullptr;
  uint32_t best = 0;
  float bestSq = TesselGroundDistanceSq(p, nodes[0].position);
  for (uint32_t i = 1; i < count; ++i) {
    const float dSq = TesselGroundDistanceSq(p, nodes[i].position);
    // Strictly nearer only: a tie keeps the node earlier in the file.
    if (dSq < bestSq) {
      bestSq = dSq;
      best = i;
    }
  }
  *legLength = bestSq > 0.0f ? Sqrt(bestSq) : 0.0f;
  return &nodes[best];
}

void ContinueStraight(TesselNavNode** current, TesselNavNode** target) {
  TesselNavNode* b = *target;
  if (!b) return;
  const TesselNavNode* a = *current ? *current : b;
  const float dx = b->position.x - a->position.x;
  const float dy = b->position.y - a->position.y;
  int32_t direction;
  if (Fabs(dy) >= Fabs(dx))
    direction = b->position.y >= a->position.y ? kTesselPlusY : kTesselMinusY;
  else
    direction = b->position.x >= a->position.x ? kTesselPlusX : kTesselMinusX;
  *current = b;
  *target = b->links[direction];
}

TesselNavNode* ChooseExitTowards(TesselNavNode* junction, const Vector4& p, const Vector4& t,
                                 int32_t excluded) {
  if (!junction) return nullptr;
  const float dx = Fabs(t.x - p.x);
  const float dy = Fabs(t.y - p.y);
  const int32_t wantY = p.y < t.y ? kTesselPlusY : kTesselMinusY;
  const int32_t wantX = p.x < t.x ? kTesselPlusX : kTesselMinusX;
  const int32_t first = dy >= dx ? wantY : wantX;
  const int32_t second = dy >= dx ? wantX : wantY;
  if (Usable(junction, first, excluded)) return junction->links[first];
  if (Usable(junction, second, excluded)) return junction->links[second];
  return ChooseRandomExit(junction, excluded);
}

TesselNavNode* ChooseRandomExit(TesselNavNode* junction, int32_t excluded) {
  if (!junction) return nullptr;
  int32_t candidates[kTesselLinkCount];
  uint32_t count = 0;
  for (int32_t d = 0; d < kTesselLinkCount; ++d)
    if (Usable(junction, d, excluded)) candidates[count++] = d;
  int32_t direction = excluded;
  if (count > 0) direction = candidates[RandMod(count)];
  if (direction < 0 || direction >= kTesselLinkCount) return nullptr;
  return junction->links[direction];
}
