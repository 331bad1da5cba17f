#pragma once
// Plays up to two animations of one character on two tracks and turns them into one pose per
// frame: the one running track, a cross-fade or a fixed-weight blend of both while they overlap,
// a blend across the gap between an ended track and a waiting one, the last frame of an ended
// track, or the rest animation when nothing plays.
//
// Time on a track is two marks, the seconds from now to the animation's start point and to its
// end point; Update counts both down. A track either loops, plays once and keeps its last frame,
// or plays once and drops out, and can call a function when it runs past its end.
//
// Animations are reached only by id, through the application's animation factory, so a track
// never holds on to an animation that the factory may free.

#include <cstdint>

class AnimationPose;
class AnimationSequencer;

// Called once when a track that does not loop runs past its end: the sequencer, the track index,
// how far past the end the update went (seconds, >= 0), and the two user words of the track. The
// user words are pointer-sized so that a handler can find the object that installed it. The
// handler runs inside the ended track's step, before the next track moves; it may Play either
// track, and it may delete the sequencer (or the character that owns it).
using SequencerEndCallback = void (*)(AnimationSequencer* sequencer, int32_t track,
                                      float overshoot, uintptr_t userWord1, uintptr_t userWord2);

class AnimationSequencer {
 public:
  static constexpr int32_t kTrackCount = 2;

  // Play modes: 1 loops; 0 plays once and keeps its last frame afterwards; any other value plays
  // once and stops contributing after its end.
  static constexpr uint32_t kPlayHold = 0;
  static constexpr uint32_t kPlayLoop = 1;
  static constexpr uint32_t kPlayOnce = 2;

  // Track flags.
  static constexpr uint32_t kTrackWrapped = 1;
  static constexpr uint32_t kTrackFinished = 2;

  struct Track {
    int32_t animId;         // -1: empty
    float startMark;        // seconds from now to the animation's start point (< 0 once passed)
    float endMark;          // seconds from now to the animation's end point
    float startTime;        // the animation's start and end times, taken at Play
    float endTime;
    uint32_t playMode;
    uint32_t flags;
    AnimationPose* pose;    // owned
    SequencerEndCallback callback;
    uintptr_t userWord1;
    uintptr_t userWord2;
  };

  // `animId` sizes the two track poses (its track count).
  explicit AnimationSequencer(int32_t animId);
  ~AnimationSequencer();
  AnimationSequencer(const AnimationSequencer&) = delete;
  AnimationSequencer& operator=(const AnimationSequencer&) = delete;

  // Starts `animId` on a track. A positive offset delays the start, a negative one starts part
  // way in. The play mode and the end callback stay as they were.
  void Play(int32_t track, int32_t animId, float timeOffset);
  // Advances track 0, then track 1, by `dt` seconds, calling each end callback as its track
  // finishes.
  void Update(float dt);
  // Fills `out`: 1 when it came from the tracks (or an ended track's last frame), 0 when the
  // rest animation was used.
  int32_t GetPose(AnimationPose* out);

  void ClearTrack(int32_t track);
  // 1 once the track has wrapped or finished (until the next Play), else 0.
  int32_t HasTrackEnded(int32_t track) const;
  // How far through its window the track is: 0 at the start, 1 at the end.
  float GetTrackProgress(int32_t track) const;
  // The end mark as a fraction of the animation's end time.
  float GetRemainingFraction(int32_t track) const;

  // Installs `handler` as the track's end callback with `userWord` as its first user word (the
  // second becomes 0). Returns the track record, null for a track index out of range.
  Track* SetEndCallback(int32_t track, SequencerEndCallback handler, uintptr_t userWord);
  void SetPlayMode(int32_t track, uint32_t mode);

  // Blend words.
  void EnableFixedBlend() { m_fixedBlend = 1; }
  void DisableFixedBlend() { m_fixedBlend = 0; }
  void SetFixedBlendFrom(int32_t track);
  void SetFixedBlendTo(int32_t track);
  void SetFixedBlendWeight(float weight);
  void EnableGapMode() { m_gapMode = 1; }
  void ClearGapMode() { m_gapMode = 0; }

  // The animation shown when no track contributes, and the time at which it is sampled.
  void SetRestAnim(int32_t animId) { m_restAnim = animId; }
  void SetRestTime(float time);
  int32_t GetRestAnim() const { return m_restAnim; }
  float GetRestTime() const { return m_restTime; }

  // The track record, null for an index out of range.
  const Track* GetTrack(int32_t track) const;
  uint32_t IsFixedBlendEnabled() const { return m_fixedBlend; }
  uint32_t GetGapMode() const { return m_gapMode; }
  float GetFixedBlendWeight() const { return m_fixedWeight; }

  // Queries of animations by id through the factory; 0.0 (or nothing) for an id it lacks.
  static float GetAnimStart(int32_t animId);
  static float GetAnimEnd(int32_t animId);
  void GetAnimTimes(int32_t track, float* start, float* end) const;
  static void SampleAnim(int32_t animId, float time, AnimationPose* pose);
  // out := blend of `from` and `to` (weight 0 gives `from`). Poses of different sizes blend the
  // bones they share; out's other bones keep their rotations.
  static void BlendPoses(AnimationPose* out, float weight, const AnimationPose* from,
                         const AnimationPose* to);

  // A pose sized for the animation's track count; null when the factory lacks the id or the
  // allocation fails.
  static AnimationPose* CreatePose(int32_t animId);
  static AnimationPose* CreatePoseForBones(uint32_t boneCount);
  static void DestroyPose(AnimationPose* pose);

 private:
  bool IsValidTrack(int32_t track, const char* operation) const;
  bool Contributes(const Track& t) const;
  void SampleTrack(int32_t track, AnimationPose* out);
  void EnsurePoseFor(Track& t, uint32_t boneCount);

  Track m_tracks[kTrackCount];
  uint32_t m_fixedBlend = 1;
  uint32_t m_gapMode = 0;
  uint32_t m_fixedFrom = 0;
  uint32_t m_fixedTo = 0;
  float m_fixedWeight = 0.0f;
  int32_t m_restAnim = -1;
  float m_restTime = 0.0f;
  // While Update runs, its flag that says the sequencer still exists; null otherwise.
  bool* m_alive = nullptr;
};
