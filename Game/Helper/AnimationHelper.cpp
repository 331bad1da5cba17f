#include "Game/Helper/AnimationHelper.h"

#include <cmath>

#include "Engine/AnimationSequencer.h"
#include "Engine/Assert.h"
#include "Engine/BaseAnimation.h"
#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCSkeleton.h"

namespace {

constexpr const char* kOwnerCreate = "AnimationHelper::CreateSkeleton";
constexpr const char* kOwnerLoadModel = "AnimationHelper::LoadModel";
constexpr const char* kOwnerDestroy = "AnimationHelper::~AnimationHelper";
// The application's rate before InitApp has set it.
constexpr float kDefaultTicksPerSecond = 60.0f;

using Track = AnimationSequencer::Track;

// NaN gives 0.
float Clamp01(float v) { return v >= 0.0f ? (v <= 1.0f ? v : 1.0f) : 0.0f; }

// A delete of null might not reach the tracker's operator, and the owner named for it would
// then be taken by whatever allocates next.
template <class T>
void DeleteOwned(const char* owner, T*& object) {
  if (object) TrackedDelete(owner, object);
  object = nullptr;
}

}  // namespace

AnimationHelper::~AnimationHelper() {
  if (m_alive) *m_alive = false;
  FreeSkeleton(kOwnerDestroy);
  ReleaseModel();
  AnimFactory* anims = GetApp().GetAnimFactory();
  for (int32_t i = 0; i < m_anims.GetCount(); ++i)
    if (m_anims[i] != -1) anims->DeleteAnim(m_anims[i]);
}

// ---------------------------------------------------------------------------------------------
// Set-up

int32_t AnimationHelper::LoadModel(const char* name) {
  // A skeleton reads its own model's block: it cannot stay with another model.
  FreeSkeleton(kOwnerLoadModel);
  ReleaseModel();
  if (!name) return -1;
  m_model = GetApp().GetNodeFactory()->Add(name);
  return m_model;
}

void AnimationHelper::ReleaseModel() {
  if (m_model != -1) GetApp().GetNodeFactory()->DeleteNode(m_model);
  m_model = -1;
}

int32_t AnimationHelper::AddAnimation(const char* name) {
  return AdoptAnimation(name ? GetApp().GetAnimFactory()->AddAnim(name) : -1);
}

int32_t AnimationHelper::AdoptAnimation(int32_t animId) {
  if (m_anims.Add(animId) < 0) {
    // No room to remember it: give the reference back now rather than never.
    if (animId != -1) GetApp().GetAnimFactory()->DeleteAnim(animId);
    return -1;
  }
  return animId;
}

int32_t AnimationHelper::GetAnimation(int32_t index) const {
  return (index >= 0 && index < m_anims.GetCount()) ? m_anims[index] : -1;
}

void AnimationHelper::SetEndCallback(AnimationEndCallback callback, void* userData) {
  m_endCallback = callback;
  m_endUserData = userData;
}

int32_t AnimationHelper::CreateSkeleton() {
  FreeSkeleton(kOwnerCreate);
  if (m_model != -1) m_skeleton = GetApp().GetNodeFactory()->MakeSkeleton(m_model);
  if (!BuildSequence()) {
    FreeSkeleton(kOwnerCreate);
    return 0;
  }
  m_activeTrack = kTrackA;
  m_hold = 0;
  m_finished = 0;
  m_manual = false;
  ShowOnly(kTrackA);
  if (!m_skeleton) return 0;
  const uint32_t bones = m_skeleton->GetBoneCount();
  m_pose = TrackedNew<AnimationPose>(kOwnerCreate, bones);
  if (!m_pose || (bones > 0 && !m_pose->GetRotations())) {
    FreeSkeleton(kOwnerCreate);
    return 0;
  }
  // Bone queries (hit volumes) are meaningful before the first frame is drawn.
  PoseSkeleton();
  return 1;
}

bool AnimationHelper::BuildSequence() {
  m_sequencer = TrackedNew<AnimationSequencer>(kOwnerCreate, m_currentAnim);
  if (!m_sequencer) return false;
  // The helper does its own fading: the output is always track A blended towards track B by
  // the helper's weight.
  m_sequencer->EnableFixedBlend();
  m_sequencer->SetFixedBlendFrom(kTrackA);
  m_sequencer->SetFixedBlendTo(kTrackB);
  m_sequencer->SetRestAnim(m_currentAnim);
  m_sequencer->SetRestTime(AnimationSequencer::GetAnimStart(m_currentAnim));
  const uintptr_t self = reinterpret_cast<uintptr_t>(this);
  m_sequencer->SetEndCallback(kTrackA, OnSequencerEnd, self);
  m_sequencer->SetEndCallback(kTrackB, OnSequencerEnd, self);
  return true;
}

void AnimationHelper::FreeSkeleton(const char* owner) {
  DeleteOwned(owner, m_sequencer);
  DeleteOwned(owner, m_pose);
  DeleteOwned(owner, m_skeleton);
}

bool AnimationHelper::HasSequence(const char* operation) const {
  if (m_sequencer) return true;
  DebugLog().Write("AnimationHelper::%s: no sequence before CreateSkeleton\n", operation);
  return false;
}

float AnimationHelper::TicksPerSecond() {
  const int32_t rate = GetApp().GetTargetFrameRate();
  return rate > 0 ? static_cast<float>(rate) : kDefaultTicksPerSecond;
}

// ---------------------------------------------------------------------------------------------
// Playing

void AnimationHelper::StartOnTrack(int32_t track, int32_t animId, int32_t loop, float intoTicks) {
  // A once-only animation holds its last frame: a character stays in the pose it ended in
  // until something else starts.
  m_sequencer->SetPlayMode(track,
                           loop ? AnimationSequencer::kPlayLoop : AnimationSequencer::kPlayHold);
  // The sequencer's clock starts at 0, so an animation whose own times start later would wait
  // that long before it showed: it starts at once here, wherever its times begin.
  const float start = AnimationSequencer::GetAnimStart(animId);
  m_sequencer->Play(track, animId, -start - intoTicks / TicksPerSecond());
}

void AnimationHelper::Started(int32_t track, int32_t animId, int32_t hold) {
  m_activeTrack = track;
  m_currentAnim = animId;
  m_hold = hold;
  m_finished = 0;
  m_manual = false;
}

void AnimationHelper::ShowOnly(int32_t track) {
  m_blend = 0;
  SetWeight(track == kTrackB ? 1.0f : 0.0f);
}

void AnimationHelper::SetWeight(float weight) {
  m_weight = weight;
  if (m_sequencer) m_sequencer->SetFixedBlendWeight(weight);
}

void AnimationHelper::Play(int32_t animId, int32_t loop, float startTicks) {
  m_hasQueued = false;
  if (!HasSequence("Play")) return;
  StartOnTrack(kTrackA, animId, loop, startTicks);
  Started(kTrackA, animId, 0);
  ShowOnly(kTrackA);
}

void AnimationHelper::PlayReversed(int32_t animId, int32_t loop, float ticks) {
  m_hasQueued = false;
  if (!HasSequence("PlayReversed")) return;
  StartOnTrack(kTrackA, animId, loop, ticks);
  m_sequencer->ClearTrack(kTrackB);
  Started(kTrackA, animId, 0);
  ShowOnly(kTrackA);
}

void AnimationHelper::QueueOnly(int32_t animId, float blendTicks, int32_t hold, int32_t loop) {
  // A blend that never ends would keep the old animation showing for good.
  if (!std::isfinite(blendTicks) || blendTicks < 0.0f) blendTicks = 0.0f;
  m_queued = {animId, blendTicks, hold, loop};
  m_hasQueued = true;
}

void AnimationHelper::Update(float step) {
  if (!m_sequencer) return;
  if (!std::isfinite(step) || step < 0.0f) {
    DebugLog().Write("AnimationHelper::Update: time step %f ignored\n", step);
    return;
  }
  // An end callback may delete this helper (its character); the destructor clears `alive`.
  bool alive = true;
  bool* const outer = m_alive;
  m_alive = &alive;
  m_sequencer->Update(step / TicksPerSecond());
  if (!alive) {
    if (outer) *outer = false;
    return;
  }
  m_alive = outer;
  // ... or give the model back, taking the sequence with it.
  if (!m_sequencer) return;
  RunCrossFade(step);
  StartQueuedItem();
  PoseSkeleton();
}

void AnimationHelper::RunCrossFade(float step) {
  if (!m_blend) return;
  m_fadeElapsed += step;
  if (m_fadeElapsed >= m_fadeTicks) {
    m_sequencer->ClearTrack(1 - m_activeTrack);
    ShowOnly(m_activeTrack);
    return;
  }
  SetWeight(m_fadeFrom + (m_fadeTo - m_fadeFrom) * (m_fadeElapsed / m_fadeTicks));
}

bool AnimationHelper::QueueIsHeld() const {
  if (m_hold == 0) return false;
  if (m_sequencer->GetTrack(m_activeTrack)->animId == -1) return false;
  return m_sequencer->HasTrackEnded(m_activeTrack) == 0;
}

void AnimationHelper::StartQueuedItem() {
  if (!m_hasQueued || QueueIsHeld()) return;
  const BlendItem item = m_queued;
  m_hasQueued = false;
  const int32_t from = GetDominantTrack();
  const int32_t to = 1 - from;
  StartOnTrack(to, item.animId, item.loop, 0.0f);
  Started(to, item.animId, item.hold);
  if (item.blendTicks <= 0.0f) {
    m_sequencer->ClearTrack(from);
    ShowOnly(to);
    return;
  }
  // From wherever the weight stands, so that a fade cut short by the next one does not jump.
  m_blend = 1;
  m_fadeFrom = m_weight;
  m_fadeTo = to == kTrackB ? 1.0f : 0.0f;
  m_fadeTicks = item.blendTicks;
  m_fadeElapsed = 0.0f;
}

int32_t AnimationHelper::CrossFadeTo(int32_t animId, int32_t direction) {
  if (!HasSequence("CrossFadeTo")) return -1;
  const int32_t shown = m_weight >= 0.5f ? kTrackB : kTrackA;
  ShowOnly(shown);
  const int32_t to = 1 - shown;
  StartOnTrack(to, animId, 1, 0.0f);
  Started(to, animId, 0);
  m_manual = true;
  m_fadeDirection = direction;
  return to;
}

void AnimationHelper::PositionTrack(int32_t track, float phase) {
  const Track* t = m_sequencer->GetTrack(track);
  if (t->animId == -1) return;
  const float length = t->endTime - t->startTime;
  m_sequencer->Play(track, t->animId, -t->startTime - phase * length);
}

void AnimationHelper::PoseWeighted(float phase, float blend) {
  if (!HasSequence("PoseWeighted")) return;
  phase = Clamp01(phase);
  blend = Clamp01(blend);
  // Both tracks at the same point of their cycles, so that a walk and a run keep step.
  PositionTrack(kTrackA, phase);
  PositionTrack(kTrackB, phase);
  const float activeWeight = m_fadeDirection ? blend : 1.0f - blend;
  m_blend = 0;
  m_manual = true;
  SetWeight(m_activeTrack == kTrackB ? activeWeight : 1.0f - activeWeight);
  PoseSkeleton();
}

Skeleton* AnimationHelper::PoseGeo() {
  if (!m_skeleton) {
    DebugLog().Write("Trying to pose a Geo with no Skeleton\n");
    KASSERT(m_skeleton != nullptr);
    return nullptr;
  }
  PoseSkeleton();
  return m_skeleton;
}

void AnimationHelper::PoseSkeleton() {
  if (!m_skeleton || !m_pose || !m_sequencer) return;
  // Bones that no animation drives keep their bind rotation rather than whatever an earlier
  // animation left there.
  m_skeleton->CopyBindRotations(m_pose->GetRotations(), m_pose->GetBoneCount());
  m_sequencer->GetPose(m_pose);
  m_skeleton->ApplyPose(m_pose);
  m_skeleton->UpdateHierarchy();
}

void AnimationHelper::OnSequencerEnd(AnimationSequencer*, int32_t track, float overshoot,
                                     uintptr_t self, uintptr_t) {
  AnimationHelper* helper = reinterpret_cast<AnimationHelper*>(self);
  // A track fading out (or left out of sight by Play) ends unnoticed.
  if (!helper || track != helper->m_activeTrack) return;
  helper->m_finished = 1;
  if (helper->m_endCallback)
    helper->m_endCallback(helper->m_endUserData, overshoot * TicksPerSecond());
}

// ---------------------------------------------------------------------------------------------
// Questions

int32_t AnimationHelper::GetDominantTrack() const {
  if (m_manual) return m_weight >= 0.5f ? kTrackB : kTrackA;
  return m_activeTrack;
}

int32_t AnimationHelper::FindTrack(int32_t animId) const {
  if (!m_sequencer || animId == -1) return -1;
  for (int32_t track : {m_activeTrack, 1 - m_activeTrack})
    if (m_sequencer->GetTrack(track)->animId == animId) return track;
  return -1;
}

int32_t AnimationHelper::IsAnimationActive(int32_t animId) const {
  if (animId == -1) return 0;
  if (m_hasQueued && m_queued.animId == animId) return 1;
  if (!m_sequencer) return 0;
  return m_sequencer->GetTrack(GetDominantTrack())->animId == animId ? 1 : 0;
}

int32_t AnimationHelper::IsAnimationFinished(int32_t animId) const {
  if (m_hasQueued && m_queued.animId == animId) return 0;
  const int32_t track = FindTrack(animId);
  if (track < 0) return 1;
  return (m_sequencer->GetTrack(track)->flags & AnimationSequencer::kTrackFinished) ? 1 : 0;
}

float AnimationHelper::PlayedFraction(int32_t track) const {
  const Track* t = m_sequencer->GetTrack(track);
  if (t->animId == -1) return 0.0f;
  const float length = t->endTime - t->startTime;
  // A one-frame animation is at its start until its end has passed.
  if (length <= 0.0f) return t->endMark < 0.0f ? 1.0f : 0.0f;
  // The end mark counts down to the end, and runs past it once a held animation has ended.
  return Clamp01(1.0f - t->endMark / length);
}

float AnimationHelper::GetRemainingFraction(int32_t animId) const {
  const int32_t track = FindTrack(animId);
  return track < 0 ? 0.0f : PlayedFraction(track);
}

float AnimationHelper::GetDominantRemainingFraction() const {
  return m_sequencer ? PlayedFraction(GetDominantTrack()) : 0.0f;
}

float AnimationHelper::TrackTime(int32_t track) const {
  const Track* t = m_sequencer->GetTrack(track);
  const float window = t->endMark - t->startMark;
  const float progress = window != 0.0f ? -t->startMark / window : 0.0f;
  const float time = t->startTime + (t->endTime - t->startTime) * progress;
  return time < t->startTime ? t->startTime : (time > t->endTime ? t->endTime : time);
}

Vector4 AnimationHelper::GetTrackVector() const {
  Vector4 out(0.0f, 0.0f, 0.0f, 0.0f);
  if (!m_sequencer) return out;
  const int32_t track = GetDominantTrack();
  const int32_t animId = m_sequencer->GetTrack(track)->animId;
  if (animId == -1) return out;
  const Animation* anim = GetApp().GetAnimFactory()->FindAnim(animId);
  if (anim) anim->GetRootKeyAt(TrackTime(track), out);
  return out;
}
