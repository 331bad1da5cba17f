#pragma once
// Keyframe animation of skinned characters, used in place on a loaded ".anm" image.
//
// The file holds a path of root keys (where the character is over time) and, per time segment,
// key lists of 24-byte keys: the start and end rotation of one bone as quaternions quantised to
// 16 bits, with the key's tick timing (480 ticks a second). Sampling at a time picks the first
// segment that has not ended yet and slerps every key of it into the pose.
//
// Every offset, count and bone index of the image is checked once, when the animation is built
// (IsValid); a file that does not check out is refused with a log line and its animation is never
// registered. The image keeps its offsets: they are resolved through the bounds-checked view on
// use. Times are seconds.

#include <cstddef>
#include <cstdint>

#include "Engine/BaseAnimation.h"
#include "Engine/FastMath.h"
#include "Engine/FileImage.h"

// ---- The ".anm" records (little-endian).

struct AnmFileHeader {
  uint32_t relocated;          // 0 on disk; 1 once the image has been accepted
  uint32_t unused;
  uint32_t trackBlockOffset;   // from the file's start
  uint32_t rootKeyOffset;      // from the file's start
};
static_assert(sizeof(AnmFileHeader) == 16, "anm header layout");

// Offsets inside it count from the track block's first byte.
struct AnmTrackBlock {
  uint32_t unused;
  uint32_t relocated;
  uint32_t trackCount;          // bones the animation drives: the pose size it needs
  float startTime;
  float endTime;
  uint32_t segmentCount;
  uint32_t segmentEndTimesOffset;  // float per segment, ascending
  uint32_t segmentTableOffset;     // u32 per segment: offset of the segment
};
static_assert(sizeof(AnmTrackBlock) == 32, "anm track block layout");

// A segment is a u32 count m followed by m key-list offsets; a key list is this header
// followed by keyCount keys.
struct AnmKeyListHeader {
  uint32_t keyCount;
  uint32_t unused[3];
};
static_assert(sizeof(AnmKeyListHeader) == 16, "anm key list header layout");

struct AnmKey {
  int16_t startRotation[4];  // x, y, z, w times 32767
  int16_t endRotation[4];
  int16_t tickOffset;        // the negated start tick of the key
  int16_t duration;          // ticks
  int16_t unused;
  int16_t bone;              // the pose entry the key writes
};
static_assert(sizeof(AnmKey) == 24, "anm key layout");

struct AnmRootKeyTableHeader {
  uint32_t unused;
  uint32_t keyCount;
  uint32_t unused2[2];
};
static_assert(sizeof(AnmRootKeyTableHeader) == 16, "anm root key table layout");

struct AnmRootKey {
  float x, y, z, time;
};
static_assert(sizeof(AnmRootKey) == 16, "anm root key layout");

constexpr float kAnimTicksPerSecond = 480.0f;
// 1/32767 in single precision.
constexpr float kAnimRotationScale = 3.0518509447574615e-05f;

class Animation : public BaseAnimation {
 public:
  // Checks and marks `image` (`size` bytes, named `name` in log lines). The animation does not
  // own the image, which must outlive it. A refused image gives IsValid false, with a log line.
  Animation(void* image, size_t size, const char* name);
  ~Animation() override;
  Animation(const Animation&) = delete;
  Animation& operator=(const Animation&) = delete;

  bool IsValid() const { return m_valid; }
  void* GetImage() const { return m_imageBase; }

  // end - start.
  float GetLength() const override { return m_endTime - m_startTime; }
  float GetStartTime() const override { return m_startTime; }
  float GetEndTime() const override { return m_endTime; }
  uint32_t GetNumTracks() const override;
  // Without root keys: zeros.
  void GetFirstRootKey(Vector4& out) const override;
  void GetLastRootKey(Vector4& out) const override;
  // The root key at `time` becomes the current root key and the pose's root key; the first
  // segment whose end time is not before `time` writes its keys into the pose. Keys for bones
  // the pose does not have are passed over; past the last segment the rotations stay as they
  // are.
  void Sample(float time, AnimationPose* pose) override;

  // The root path at `time` (clamped to the first and last key, interpolated between), w 1.
  void GetRootKeyAt(float time, Vector4& out) const;
  // Where the root is at the first and at the last root key (w 1): a game moves a character by
  // their difference after each loop of an animation that travels.
  void GetStartRootPosition(Vector4& out) const;
  void GetEndRootPosition(Vector4& out) const;
  // The root key of the last Sample.
  const Vector4& GetCurrentRootKey() const { return m_currentRootKey; }

  // What the file's header says, before the range is widened to cover the root path.
  float GetTrackStartTime() const;
  float GetTrackEndTime() const;
  uint32_t GetSegmentCount() const;
  uint32_t GetRootKeyCount() const;
  float GetFirstRootKeyTime() const;
  float GetLastRootKeyTime() const;

 private:
  bool Check();
  const AnmTrackBlock* TrackBlock() const;
  const AnmRootKey* RootKeys(uint32_t* count) const;

  void* m_imageBase = nullptr;
  FileImage m_image;
  // A view from the track block's first byte to the end of the image.
  FileImage m_tracks;
  uint32_t m_rootKeyOffset = 0;
  float m_startTime = 0.0f;
  float m_endTime = 0.0f;
  Vector4 m_currentRootKey{0.0f, 0.0f, 0.0f, 1.0f};
  bool m_valid = false;
};
