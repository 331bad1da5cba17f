#pragma once
// A character's animation player: its model, the animations it owns, its skeleton and the
// two-track sequencer that poses it. Games speak ticks to it (a time step of 1.0 per tick, blend
// times in ticks); the sequencer below runs in seconds, converted at the application's target
// rate.
//
// Track A (0) is where Play starts things. A queued item starts on the track that is not
// dominant and fades in over its blend time; once the fade is over the track it faded from is
// cleared, so an animation that has faded out reads as neither playing nor finished-and-shown.
// The dominant track is the one last started, except in a hand-driven blend (CrossFadeTo then
// PoseWeighted), where it is the track the weight favours.
//
// The helper owns one reference to its model and one to every animation in its list, and gives
// them back when it is destroyed; the skeleton goes first, since it reads the model's block.

#include <cstdint>

#include "Engine/DataArray.h"
#include "Engine/FastMath.h"

class AnimationPose;
class AnimationSequencer;
class Skeleton;

// Called when a non-looping animation on the playing track runs out: the user data given with
// it and how far past the end the update went, in ticks (PlayReversed takes the same unit, so a
// handler can chain the next animation without a seam).
using AnimationEndCallback = void (*)(void* userData, float overshootTicks);

// One queued request.
struct BlendItem {
  int32_t animId;
  float blendTicks;
  // Non-zero: a later item waits until this animation has ended (a looping one: wrapped once).
  int32_t hold;
  int32_t loop;  // non-zero loops
};
static_assert(sizeof(BlendItem) == 16, "a blend queue item is four words");

class AnimationHelper {
 public:
  static constexpr int32_t kTrackA = 0;
  static constexpr int32_t kTrackB = 1;

  AnimationHelper() = default;
  ~AnimationHelper();
  AnimationHelper(const AnimationHelper&) = delete;
  AnimationHelper& operator=(const AnimationHelper&) = delete;

  // ---- What the games set up before CreateSkeleton.

  // Loads the model through the node factory (the helper keeps that reference); a model loaded
  // before is given back, together with the skeleton and sequence built on it (CreateSkeleton
  // again). The handle, -1 on failure.
  int32_t LoadModel(const char* name);
  int32_t GetModel() const { return m_model; }
  // Registers the animation with the animation factory and appends its id to the owned list
  // (a failed load appends -1, so list positions stay those of the game's table).
  int32_t AddAnimation(const char* name);
  // Appends an id the caller registered; the helper gives that reference back.
  int32_t AdoptAnimation(int32_t animId);
  int32_t GetAnimationCount() const { return m_anims.GetCount(); }
  // -1 for an index out of range.
  int32_t GetAnimation(int32_t index) const;
  // The animation last started (the games also set it before the first one).
  void SetCurrentAnimation(int32_t animId) { m_currentAnim = animId; }
  int32_t GetCurrentAnimation() const { return m_currentAnim; }
  void SetEndCallback(AnimationEndCallback callback, void* userData);

  // Builds the skeleton of the model (none when the model has none) and the two-track sequence
  // sized by the current animation, freeing any built before. 1 when a skeleton exists after.
  int32_t CreateSkeleton();
  Skeleton* GetSkeleton() const { return m_skeleton; }

  // ---- Playing.

  // Starts the animation at once on track A, `startTicks` into it; empties the queue and stops
  // any blend. Track B keeps its animation, out of sight.
  void Play(int32_t animId, int32_t loop, float startTicks);
  // The same, with the clock set back by `ticks` (0 starts from the beginning), and track B
  // cleared.
  void PlayReversed(int32_t animId, int32_t loop, float ticks);
  // Replaces the queue with one item that the next Update starts with a cross-fade over
  // `blendTicks`, unless the animation that last started holds (see BlendItem::hold).
  void QueueOnly(int32_t animId, float blendTicks, int32_t hold, int32_t loop);
  // Advances both tracks by `step` ticks (end callbacks run here), the cross-fade, then starts
  // the queued item when it may, and leaves the skeleton posed.
  void Update(float step);

  // Snaps the blend to the track shown most, starts the animation (looping) on the other one
  // and hands the blend to PoseWeighted. `direction` 1: PoseWeighted's blend is the new
  // track's weight; 0: the old track's. Returns the track used, -1 without a sequence.
  int32_t CrossFadeTo(int32_t animId, int32_t direction);
  // Puts both tracks `phase` (0..1) through their animations, weights them by `blend` (0..1,
  // as CrossFadeTo's direction says) and poses the skeleton.
  void PoseWeighted(float phase, float blend);
  // Poses the skeleton for drawing and returns it; without one, logs, reports and gives null.
  Skeleton* PoseGeo();

  // ---- Questions.

  // 1 when the animation is the dominant track's or queued.
  int32_t IsAnimationActive(int32_t animId) const;
  // 1 when the animation has finished on its track, or is neither on a track nor queued.
  int32_t IsAnimationFinished(int32_t animId) const;
  // Played fraction of the animation on either track: 0 at its start, 1 at its end; 0 when it
  // is on neither.
  float GetRemainingFraction(int32_t animId) const;
  float GetDominantRemainingFraction() const;
  // The root position of the dominant track's animation at its current time (w 1); zeros when
  // nothing plays.
  Vector4 GetTrackVector() const;
  // Non-zero while a cross-fade runs.
  int32_t GetBlend() const { return m_blend; }
  // 1 once a non-looping animation on the playing track has run out (until the next start).
  int32_t IsFinished() const { return m_finished; }
  int32_t GetActiveTrack() const { return m_activeTrack; }
  int32_t GetDominantTrack() const;
  // The weight of track B in the output (0 shows track A alone).
  float GetBlendWeight() const { return m_weight; }

 private:
  static void OnSequencerEnd(AnimationSequencer* sequencer, int32_t track, float overshoot,
                             uintptr_t self, uintptr_t unused);
  static float TicksPerSecond();

  void FreeSkeleton(const char* owner);
  void ReleaseModel();
  bool BuildSequence();
  bool HasSequence(const char* operation) const;
  void StartOnTrack(int32_t track, int32_t animId, int32_t loop, float offsetTicks);
  void Started(int32_t track, int32_t animId, int32_t hold);
  void ShowOnly(int32_t track);
  void SetWeight(float weight);
  void RunCrossFade(float step);
  bool QueueIsHeld() const;
  void StartQueuedItem();
  void PositionTrack(int32_t track, float phase);
  void PoseSkeleton();
  // The track holding the animation (the active one first), or -1.
  int32_t FindTrack(int32_t animId) const;
  float PlayedFraction(int32_t track) const;
  float TrackTime(int32_t track) const;

  int32_t m_model = -1;
  int32_t m_currentAnim = -1;
  DataArray<int32_t> m_anims;
  AnimationEndCallback m_endCallback = nullptr;
  void* m_endUserData = nullptr;

  Skeleton* m_skeleton = nullptr;             // from NodeFactory::MakeSkeleton, owned
  AnimationSequencer* m_sequencer = nullptr;  // owned
  AnimationPose* m_pose = nullptr;            // the skeleton reads its rotations; owned

  BlendItem m_queued = {-1, 0.0f, 0, 0};
  bool m_hasQueued = false;
  int32_t m_hold = 0;  // hold word of the item that last started
  int32_t m_activeTrack = kTrackA;
  int32_t m_finished = 0;
  // A hand-driven blend (CrossFadeTo, PoseWeighted): the weight decides dominance.
  bool m_manual = false;
  int32_t m_fadeDirection = 1;

  // Cross-fade: the weight runs from m_fadeFrom to m_fadeTo over m_fadeTicks.
  int32_t m_blend = 0;
  float m_weight = 0.0f;
  float m_fadeFrom = 0.0f;
  float m_fadeTo = 0.0f;
  float m_fadeTicks = 0.0f;
  float m_fadeElapsed = 0.0f;

  // While Update runs, its flag that says the helper still exists (an end callback may delete
  // the character); null otherwise.
  bool* m_alive = nullptr;
};
