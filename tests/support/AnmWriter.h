#pragma once
// ".anm" animation file images for tests and for the demo data. The writer packs every field at
// its byte offset itself (it does not borrow the reader's record types), so that a layout
// mistake on either side shows as a failed round trip.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/SkeletonWriter.h"

namespace anmwriter {

// One bone's rotation over one key: quaternions quantised to 16 bits (component x 32767).
struct Key {
  int16_t start[4] = {0, 0, 0, 32767};
  int16_t end[4] = {0, 0, 0, 32767};
  int16_t tickOffset = 0;  // the negated start tick
  int16_t duration = 0;    // ticks
  int16_t unused = 0;
  int16_t bone = 0;
  // False when MakeKey was given a rotation that is not a finite number: Write refuses the key.
  bool finite = true;
};

struct KeyList {
  std::vector<Key> keys;
};

struct Segment {
  float endTime = 0.0f;
  std::vector<KeyList> lists;
};

struct RootKey {
  float x = 0.0f, y = 0.0f, z = 0.0f, time = 0.0f;
};

struct AnimDesc {
  uint32_t trackCount = 0;
  float startTime = 0.0f;
  float endTime = 0.0f;
  std::vector<Segment> segments;
  std::vector<RootKey> rootKeys;
};

// round(v x 32767), clamped to the 16-bit range; 0 for a value that is not finite.
int16_t Quantise(float v);
// A key of `bone` from rotation `from` to `to` (x, y, z, w) over ticks [startTick,
// startTick + durationTicks).
Key MakeKey(int16_t bone, const float from[4], const float to[4], int32_t startTick,
            int32_t durationTicks);

// Byte offsets of the parts of a written file, for tests that corrupt one.
struct Layout {
  uint32_t trackBlock = 0;
  uint32_t rootKeys = 0;
  uint32_t segmentEndTimes = 0;  // from the file's start
  uint32_t segmentTable = 0;     // from the file's start
  std::vector<uint32_t> segments;  // from the file's start
  std::vector<std::vector<uint32_t>> keyLists;  // per segment, from the file's start
};

// The file's bytes (every record 16-byte aligned); `layout` receives where each part went.
// Empty (refused) when a time, a root key or a key's rotation is not a finite number.
std::vector<uint8_t> Write(const AnimDesc& desc, Layout* layout = nullptr);
// Write into a file (folders are created); false when Write refuses or the file cannot be
// written.
bool Save(const std::string& path, const AnimDesc& desc);

// A rotation about a unit axis by an angle (radians), as x, y, z, w.
void AxisAngle(float ax, float ay, float az, float angle, float out[4]);

// An animation of `trackCount` bones: `segmentCount` equal segments over [0, length], one key
// list per bone per segment, each key from the rotation at the segment's start to the one at its
// end as `rotationAt` (bone, time, out x y z w) gives them; the root moves along `rootAt` (time,
// out x y z), with a root key at every segment boundary.
AnimDesc MakeSampled(uint32_t trackCount, float length, uint32_t segmentCount,
                     const std::function<void(uint32_t, float, float*)>& rotationAt,
                     const std::function<void(float, float*)>& rootAt);

// A looping walk of one second for `biped` (skelwriter::MakeBiped): legs and arms swing in
// opposite phase, the spine sways, and the root moves `stride` units along -y.
AnimDesc MakeWalk(const skelwriter::SkeletonDesc& biped, float stride = 1.2f);

}  // namespace anmwriter
