#include "Engine/AnimationSequencer.h"

#include <cmath>
#include <new>

#include "Engine/BaseAnimFactory.h"
#include "Engine/BaseAnimation.h"
#include "Engine/BaseApp.h"
#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"

namespace {

BaseAnimation* FindAnimation(int32_t animId) {
  BaseAnimFactory* factory = GetBaseApp().GetAnimFactory();
  return factory ? factory->FindAnim(animId) : nullptr;
}

}  // namespace

AnimationSequencer::AnimationSequencer(int32_t animId) {
  for (Track& t : m_tracks) {
    t.callback = nullptr;
    t.userWord1 = 0;
    t.userWord2 = 0;
    t.pose = CreatePose(animId);
    t.playMode = kPlayLoop;
    t.flags = 0;
    t.animId = -1;
    // An empty track is never read for its times, but a record with no garbage in it is easier
    // to look at and to hash.
    t.startMark = 0.0f;
    t.endMark = 0.0f;
    t.startTime = 0.0f;
    t.endTime = 0.0f;
  }
}

AnimationSequencer::~AnimationSequencer() {
  if (m_alive) *m_alive = false;
  for (Track& t : m_tracks) {
    DestroyPose(t.pose);
    t.pose = nullptr;
  }
}

bool AnimationSequencer::IsValidTrack(int32_t track, const char* operation) const {
  if (track >= 0 && track < kTrackCount) return true;
  DebugLog().Write("AnimationSequencer::%s: no track %i\n", operation, track);
  return false;
}

const AnimationSequencer::Track* AnimationSequencer::GetTrack(int32_t track) const {
  return (track >= 0 && track < kTrackCount) ? &m_tracks[track] : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Poses

AnimationPose* AnimationSequencer::CreatePoseForBones(uint32_t boneCount) {
  AnimationPose* pose = TrackedNew<AnimationPose>("CreatePose", boneCount);
  if (pose && boneCount > 0 && !pose->GetRotations()) {
    // The pose's own rotation array failed to allocate: a pose that cannot hold the bones is
    // worse than none.
    DestroyPose(pose);
    return nullptr;
  }
  return pose;
}

AnimationPose* AnimationSequencer::CreatePose(int32_t animId) {
  // Without the animation there is no track count to size the pose by; the track gets its pose
  // at its first Play instead.
  BaseAnimation* anim = FindAnimation(animId);
  if (!anim) return nullptr;
  return CreatePoseForBones(anim->GetNumTracks());
}

void AnimationSequencer::DestroyPose(AnimationPose* pose) {
  if (!pose) return;
  TrackedDelete("DestroyPose", pose);
}

void AnimationSequencer::EnsurePoseFor(Track& t, uint32_t needed) {
  // The track poses are sized at construction by one animation; a larger one played later would
  // lose the bones its pose lacks.
  if (t.pose && t.pose->GetBoneCount() >= needed) return;
  AnimationPose* pose = CreatePoseForBones(needed);
  if (!pose) return;
  DestroyPose(t.pose);
  t.pose = pose;
}

// ---------------------------------------------------------------------------------------------
// Playing

void AnimationSequencer::Play(int32_t track, int32_t animId, float timeOffset) {
  if (!IsValidTrack(track, "Play")) return;
  if (!std::isfinite(timeOffset)) {
    DebugLog().Write("AnimationSequencer::Play: time offset %f taken as 0\n", timeOffset);
    timeOffset = 0.0f;
  }
  Track& t = m_tracks[track];
  t.animId = animId;
  BaseAnimation* anim = FindAnimation(animId);
  float start = anim ? anim->GetStartTime() : 0.0f;
  float end = anim ? anim->GetEndTime() : 0.0f;
  t.startTime = start;
  t.endTime = end;
  t.flags = 0;
  t.startMark = start + timeOffset;
  t.endMark = end + timeOffset;
  if (anim) EnsurePoseFor(t, anim->GetNumTracks());
}

void AnimationSequencer::Update(float dt) {
  if (!std::isfinite(dt) || dt < 0.0f) {
    // Animation time only runs forwards: a negative step would take a track back before its
    // start, where nothing wraps it, and a NaN or infinite one would spoil every mark for good.
    DebugLog().Write("AnimationSequencer::Update: time step %f ignored\n", dt);
    return;
  }
  // Each track's end callback runs inside that track's step, so a handler that starts the other
  // track sees it move in this same update. A handler may also delete the character that owns
  // this sequencer: the destructor clears `alive`, and the step touches nothing more after that.
  bool alive = true;
  bool* const outer = m_alive;
  m_alive = &alive;
  for (int32_t i = 0; i < kTrackCount; ++i) {
    Track& t = m_tracks[i];
    if ((t.flags & kTrackFinished) != 0 || t.animId == -1) continue;
    t.startMark -= dt;
    t.endMark -= dt;
    if (t.playMode == kPlayLoop) {
      if (t.endMark < 0.0f) {
        // One wrap per update: a step longer than the animation leaves the end mark negative,
        // and later updates catch up.
        t.flags |= kTrackWrapped;
        t.startMark = t.endMark + t.startTime;
        t.endMark = t.startMark + (t.endTime - t.startTime);
      }
    } else if (t.endMark < 0.0f) {
      // Marked before the call, so that a handler that plays the track again is not undone.
      t.flags |= kTrackFinished;
      if (t.callback) {
        t.callback(this, i, -t.endMark, t.userWord1, t.userWord2);
        if (!alive) {
          // An update further out (a handler that updated this sequencer again) must stop too.
          if (outer) *outer = false;
          return;
        }
      }
    } else {
      t.flags &= ~kTrackFinished;
    }
  }
  m_alive = outer;
}

void AnimationSequencer::ClearTrack(int32_t track) {
  if (!IsValidTrack(track, "ClearTrack")) return;
  m_tracks[track].animId = -1;
}

int32_t AnimationSequencer::HasTrackEnded(int32_t track) const {
  if (!IsValidTrack(track, "HasTrackEnded")) return 0;
  return (m_tracks[track].flags & (kTrackWrapped | kTrackFinished)) != 0 ? 1 : 0;
}

float AnimationSequencer::GetTrackProgress(int32_t track) const {
  if (!IsValidTrack(track, "GetTrackProgress")) return 0.0f;
  const Track& t = m_tracks[track];
  if (t.animId == -1) return 0.0f;
  float window = t.endMark - t.startMark;
  // A zero-length animation has no inside: it is at its start until its end has passed.
  if (window == 0.0f) return t.endMark < 0.0f ? 1.0f : 0.0f;
  return -t.startMark / window;
}

float AnimationSequencer::GetRemainingFraction(int32_t track) const {
  if (!IsValidTrack(track, "GetRemainingFraction")) return 0.0f;
  const Track& t = m_tracks[track];
  if (t.animId == -1 || t.endTime == 0.0f) return 0.0f;
  return t.endMark / t.endTime;
}

AnimationSequencer::Track* AnimationSequencer::SetEndCallback(int32_t track,
                                                              SequencerEndCallback handler,
                                                              uintptr_t userWord) {
  if (!IsValidTrack(track, "SetEndCallback")) return nullptr;
  Track& t = m_tracks[track];
  t.callback = handler;
  t.userWord1 = userWord;
  t.userWord2 = 0;
  return &t;
}

void AnimationSequencer::SetPlayMode(int32_t track, uint32_t mode) {
  if (!IsValidTrack(track, "SetPlayMode")) return;
  m_tracks[track].playMode = mode;
}

void AnimationSequencer::SetFixedBlendFrom(int32_t track) {
  if (!IsValidTrack(track, "SetFixedBlendFrom")) return;
  m_fixedFrom = static_cast<uint32_t>(track);
}

void AnimationSequencer::SetFixedBlendTo(int32_t track) {
  if (!IsValidTrack(track, "SetFixedBlendTo")) return;
  m_fixedTo = static_cast<uint32_t>(track);
}

void AnimationSequencer::SetFixedBlendWeight(float weight) {
  if (std::isnan(weight)) {
    DebugLog().Write("AnimationSequencer::SetFixedBlendWeight: NaN ignored\n");
    return;
  }
  m_fixedWeight = weight;
}

void AnimationSequencer::SetRestTime(float time) {
  if (!std::isfinite(time)) {
    DebugLog().Write("AnimationSequencer::SetRestTime: time %f ignored\n", time);
    return;
  }
  m_restTime = time;
}

// ---------------------------------------------------------------------------------------------
// Animation queries

float AnimationSequencer::GetAnimStart(int32_t animId) {
  BaseAnimation* anim = FindAnimation(animId);
  return anim ? anim->GetStartTime() : 0.0f;
}

float AnimationSequencer::GetAnimEnd(int32_t animId) {
  BaseAnimation* anim = FindAnimation(animId);
  return anim ? anim->GetEndTime() : 0.0f;
}

void AnimationSequencer::GetAnimTimes(int32_t track, float* start, float* end) const {
  float s = 0.0f;
  float e = 0.0f;
  if (IsValidTrack(track, "GetAnimTimes")) {
    s = GetAnimStart(m_tracks[track].animId);
    e = GetAnimEnd(m_tracks[track].animId);
  }
  if (start) *start = s;
  if (end) *end = e;
}

void AnimationSequencer::SampleAnim(int32_t animId, float time, AnimationPose* pose) {
  if (!pose) return;
  BaseAnimation* anim = FindAnimation(animId);
  if (!anim) return;
  anim->Sample(time, pose);
}

void AnimationSequencer::BlendPoses(AnimationPose* out, float weight, const AnimationPose* from,
                                    const AnimationPose* to) {
  if (!out || !from || !to) return;
  out->Blend(weight, from, to);
}

// ---------------------------------------------------------------------------------------------
// Output

bool AnimationSequencer::Contributes(const Track& t) const {
  if (t.animId == -1) return false;
  return (t.startMark <= 0.0f && t.endMark >= 0.0f) || t.playMode == kPlayHold;
}

void AnimationSequencer::SampleTrack(int32_t track, AnimationPose* out) {
  const Track& t = m_tracks[track];
  float window = t.endMark - t.startMark;
  // A zero-length animation has one frame; 0/0 would sample it at NaN.
  float progress = window != 0.0f ? -t.startMark / window : 0.0f;
  float time = t.startTime + (t.endTime - t.startTime) * progress;
  if (time > t.endTime) time = t.endTime;
  SampleAnim(t.animId, time, out);
}

int32_t AnimationSequencer::GetPose(AnimationPose* out) {
  if (!out) return 0;
  Track& t0 = m_tracks[0];
  Track& t1 = m_tracks[1];
  bool in0 = Contributes(t0);
  bool in1 = Contributes(t1);

  if (in0 && !in1) {
    SampleTrack(0, out);
    return 1;
  }
  if (in1 && !in0) {
    SampleTrack(1, out);
    return 1;
  }
  if (in0 && in1) {
    if (m_fixedBlend) {
      SampleTrack(0, t0.pose);
      SampleTrack(1, t1.pose);
      BlendPoses(out, m_fixedWeight, m_tracks[m_fixedFrom].pose, m_tracks[m_fixedTo].pose);
      return 1;
    }
    int32_t older = t1.startMark <= t0.startMark ? 1 : 0;
    int32_t laterEnding = t1.endMark >= t0.endMark ? 1 : 0;
    if (older != laterEnding) {
      int32_t newer = laterEnding;
      float span = m_tracks[older].endMark - m_tracks[newer].startMark;
      // Inside an overlap the weight runs from 0 to 1. A held track (play mode 0) can take part
      // from outside its window, and its marks would push the weight past either end, turning
      // the fade into an extrapolation; a span of 0 means the old track ends as the new begins.
      float weight = span > 0.0f ? -m_tracks[newer].startMark / span : 1.0f;
      if (weight < 0.0f) weight = 0.0f;
      if (weight > 1.0f) weight = 1.0f;
      SampleTrack(0, t0.pose);
      SampleTrack(1, t1.pose);
      BlendPoses(out, weight, m_tracks[older].pose, m_tracks[newer].pose);
      return 1;
    }
    SampleAnim(m_restAnim, m_restTime, out);
    return 0;
  }

  if (m_gapMode != 1) {
    bool ended0 = t0.animId != -1 && t0.endMark < 0.0f;
    bool ended1 = t1.animId != -1 && t1.endMark < 0.0f;
    if (!ended0 && !ended1) {
      SampleAnim(m_restAnim, m_restTime, out);
      return 0;
    }
    int32_t shown;
    if (ended0 && ended1) {
      shown = t0.endMark > t1.endMark ? 0 : 1;
    } else {
      shown = ended0 ? 0 : 1;
    }
    SampleAnim(m_tracks[shown].animId, m_tracks[shown].endTime, out);
    return 1;
  }

  if (t0.animId != -1 && t1.animId != -1 && t0.startMark * t1.startMark < 0.0f) {
    int32_t prev = t0.startMark < 0.0f ? 0 : 1;
    int32_t next = 1 - prev;
    Track& p = m_tracks[prev];
    Track& n = m_tracks[next];
    SampleAnim(p.animId, p.endTime, p.pose);
    SampleAnim(n.animId, n.startTime, n.pose);
    float weight = -p.endMark / (n.startMark - p.endMark);
    BlendPoses(out, weight, p.pose, n.pose);
    return 1;
  }
  SampleAnim(m_restAnim, m_restTime, out);
  return 0;
}
