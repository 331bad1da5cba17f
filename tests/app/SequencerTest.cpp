#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "Engine/AnimationSequencer.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCAnimFactory.h"
#include "Engine/PC/PCAnimation.h"
#include "Engine/PC/PCApp.h"
#include "tests/support/AnmWriter.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ContentTestSupport.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

constexpr float kHalfPi = 1.5707963f;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The test animations carry their own clock in the root path: the root's x is a known linear
// function of the sample time, so a pose's root x says which time (or which blend of two
// times) it was sampled at. Bone 0 turns about z, so its angle tells the same for rotations.
struct TestClip {
  const char* name;
  uint32_t bones;
  float length;
  float rootBase;     // root x = rootBase + t
  float angleBase;    // bone angle = angleBase + angleRate x t
  float angleRate;
};

const TestClip kRun = {"data\\run.anm", 1, 1.0f, 0.0f, 0.0f, kHalfPi};
const TestClip kWalk = {"data\\walk.anm", 1, 2.0f, 10.0f, 1.0f, 0.0f};
const TestClip kIdle = {"data\\idle.anm", 1, 1.0f, 100.0f, 0.0f, 0.0f};
const TestClip kBig = {"data\\big.anm", 3, 1.0f, 20.0f, 0.5f, 0.0f};

void WriteClip(const TestClip& clip) {
  anmwriter::AnimDesc desc = anmwriter::MakeSampled(
      clip.bones, clip.length, 4,
      [&](uint32_t, float t, float* q) {
        anmwriter::AxisAngle(0.0f, 0.0f, 1.0f, clip.angleBase + clip.angleRate * t, q);
      },
      [&](float t, float* p) {
        p[0] = clip.rootBase + t;
        p[1] = 0.0f;
        p[2] = 0.0f;
      });
  std::vector<uint8_t> bytes = anmwriter::Write(desc);
  WriteFileBytes(content::HostPath(clip.name), bytes.data(), bytes.size());
}

// A single frame: start and end time 0, bone 0 turned 0.3 about z, the root at x = 50.
void WriteStill(const char* name) {
  anmwriter::AnimDesc desc;
  desc.trackCount = 1;
  float q[4];
  anmwriter::AxisAngle(0.0f, 0.0f, 1.0f, 0.3f, q);
  anmwriter::Segment segment;
  segment.endTime = 0.0f;
  segment.lists.push_back(anmwriter::KeyList{{anmwriter::MakeKey(0, q, q, 0, 1)}});
  desc.segments.push_back(segment);
  desc.rootKeys = {{50.0f, 0.0f, 0.0f, 0.0f}, {50.0f, 0.0f, 0.0f, 0.0f}};
  std::vector<uint8_t> bytes = anmwriter::Write(desc);
  WriteFileBytes(name, bytes.data(), bytes.size());
}

float RootX(AnimationPose& pose) { return pose.GetRootKey()->x; }

float BoneAngle(AnimationPose& pose) {
  const Quaternion& q = pose.GetRotations()[0];
  return 2.0f * std::atan2(q.z, q.w);
}

// What the game side's animation helper does with the end callback: it cares only for the
// track it is playing on, marks itself finished and hands the overshoot on.
struct HelperLike {
  int32_t activeTrack = 0;
  int32_t finished = 0;
  int32_t calls = 0;
  std::vector<float> forwarded;

  static void OnSequencerEnd(AnimationSequencer*, int32_t track, float overshoot, uintptr_t word1,
                             uintptr_t) {
    HelperLike* self = reinterpret_cast<HelperLike*>(word1);
    ++self->calls;
    if (track != self->activeTrack) return;
    self->finished = 1;
    self->forwarded.push_back(overshoot);
  }
};

struct EndCall {
  AnimationSequencer* sequencer;
  int32_t track;
  float overshoot;
  uintptr_t word1;
  uintptr_t word2;
};
std::vector<EndCall> g_endCalls;

void RecordEnd(AnimationSequencer* s, int32_t track, float overshoot, uintptr_t w1,
               uintptr_t w2) {
  g_endCalls.push_back({s, track, overshoot, w1, w2});
}

// Chains: when the first clip ends, the handler starts the clip named by its user word.
void PlayNextOnEnd(AnimationSequencer* s, int32_t track, float overshoot, uintptr_t next,
                   uintptr_t) {
  g_endCalls.push_back({s, track, overshoot, next, 0});
  s->Play(track, static_cast<int32_t>(next), -overshoot);
}

struct Character {
  explicit Character(int32_t animId) : sequencer(animId) {}
  AnimationSequencer sequencer;
};

// An end handler that starts a clip on the other track, or deletes the sequencer or the
// character holding it (once), and counts its calls.
struct EndAction {
  int32_t playOther = -1;
  AnimationSequencer* sequencer = nullptr;
  Character* character = nullptr;
  int32_t calls = 0;

  static void OnEnd(AnimationSequencer* s, int32_t track, float, uintptr_t word, uintptr_t) {
    EndAction* self = reinterpret_cast<EndAction*>(word);
    ++self->calls;
    if (self->playOther != -1) s->Play(1 - track, self->playOther, 0.0f);
    delete self->sequencer;
    delete self->character;
    self->sequencer = nullptr;
    self->character = nullptr;
  }
};

class SequencerTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_harness.Start());
    g_endCalls.clear();
    const std::pair<const TestClip*, int32_t*> clips[] = {
        {&kRun, &m_run}, {&kWalk, &m_walk}, {&kIdle, &m_idle}, {&kBig, &m_big}};
    for (auto [clip, id] : clips) {
      WriteClip(*clip);
      ASSERT_GE(*id = Anims()->AddAnim(clip->name), 0) << clip->name;
    }
  }
  void TearDown() override {
    for (int32_t id : {m_run, m_walk, m_idle, m_big}) Anims()->DeleteAnim(id);
  }
  static AnimFactory* Anims() { return GetApp().GetAnimFactory(); }

  int32_t m_run = -1;
  int32_t m_walk = -1;
  int32_t m_idle = -1;
  int32_t m_big = -1;
};

TEST_F(SequencerTest, PlaysOneTrackAtItsOwnTimeWithOffsets) {
  AnimationSequencer seq(m_run);
  AnimationPose out(1);
  seq.SetRestAnim(m_idle);
  seq.SetRestTime(0.5f);

  // Nothing plays: the rest animation at the rest time.
  EXPECT_EQ(seq.GetPose(&out), 0);
  EXPECT_FLOAT_EQ(RootX(out), 100.5f);

  seq.Play(0, m_run, 0.0f);
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 0.0f);
  seq.Update(0.25f);
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 0.25f);
  EXPECT_NEAR(BoneAngle(out), 0.25f * kHalfPi, 1e-3f);
  EXPECT_FLOAT_EQ(seq.GetTrackProgress(0), 0.25f);
  EXPECT_FLOAT_EQ(seq.GetRemainingFraction(0), 0.75f);
  EXPECT_EQ(seq.HasTrackEnded(0), 0);

  // Played on track 1 instead, the same clip shows the same way.
  seq.ClearTrack(0);
  seq.Play(1, m_run, 0.0f);
  seq.Update(0.5f);
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 0.5f);

  // A positive offset delays the start: until then the rest animation shows.
  seq.ClearTrack(1);
  seq.Play(0, m_run, 0.5f);
  seq.Update(0.25f);
  EXPECT_EQ(seq.GetPose(&out), 0);
  EXPECT_FLOAT_EQ(RootX(out), 100.5f);
  seq.Update(0.5f);
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 0.25f);

  // A negative one starts part way in.
  seq.Play(0, m_run, -0.5f);
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 0.5f);
  EXPECT_FLOAT_EQ(seq.GetTrackProgress(0), 0.5f);

  // Times by id and by track come from the factory.
  EXPECT_FLOAT_EQ(AnimationSequencer::GetAnimStart(m_walk), 0.0f);
  EXPECT_FLOAT_EQ(AnimationSequencer::GetAnimEnd(m_walk), 2.0f);
  float start = -1.0f;
  float end = -1.0f;
  seq.GetAnimTimes(0, &start, &end);
  EXPECT_FLOAT_EQ(start, 0.0f);
  EXPECT_FLOAT_EQ(end, 1.0f);
}

TEST_F(SequencerTest, LoopingTrackWrapsOncePerUpdateAndStaysEnded) {
  AnimationSequencer seq(m_run);
  AnimationPose out(1);
  seq.Play(0, m_run, 0.0f);
  seq.Update(0.75f);
  seq.GetPose(&out);
  EXPECT_FLOAT_EQ(RootX(out), 0.75f);
  EXPECT_EQ(seq.HasTrackEnded(0), 0);

  // 0.25 s past the end: the loop carries on 0.25 s into the clip.
  seq.Update(0.5f);
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 0.25f);
  EXPECT_EQ(seq.HasTrackEnded(0), 1);
  EXPECT_EQ(seq.GetTrack(0)->flags & AnimationSequencer::kTrackFinished, 0u);
  seq.Update(0.25f);
  EXPECT_EQ(seq.HasTrackEnded(0), 1);
  seq.GetPose(&out);
  EXPECT_FLOAT_EQ(RootX(out), 0.5f);

  // A step of 2.5 lengths wraps once only; the next update (even of 0) wraps again.
  seq.Play(0, m_run, 0.0f);
  EXPECT_EQ(seq.HasTrackEnded(0), 0);
  seq.Update(2.5f);
  EXPECT_FLOAT_EQ(seq.GetTrack(0)->endMark, -0.5f);
  seq.Update(0.0f);
  EXPECT_FLOAT_EQ(seq.GetTrack(0)->endMark, 0.5f);
  seq.GetPose(&out);
  EXPECT_FLOAT_EQ(RootX(out), 0.5f);

  // A loop never calls its end callback.
  seq.SetEndCallback(0, RecordEnd, 7);
  for (int i = 0; i < 10; ++i) seq.Update(0.375f);
  EXPECT_TRUE(g_endCalls.empty());
}

TEST_F(SequencerTest, OnceOnlyTrackCallsItsEndCallbackOnceWithTheOvershoot) {
  AnimationSequencer seq(m_run);
  AnimationPose out(1);
  int marker = 0;
  AnimationSequencer::Track* record = seq.SetEndCallback(1, RecordEnd, 42);
  ASSERT_EQ(record, seq.GetTrack(1));
  EXPECT_EQ(record->userWord1, 42u);
  EXPECT_EQ(record->userWord2, 0u);
  record->userWord2 = reinterpret_cast<uintptr_t>(&marker);

  seq.Play(1, m_run, 0.0f);
  seq.SetPlayMode(1, AnimationSequencer::kPlayOnce);
  seq.Update(0.5f);
  EXPECT_TRUE(g_endCalls.empty());
  seq.Update(0.75f);  // 1.25 s into a 1.0 s clip
  ASSERT_EQ(g_endCalls.size(), 1u);
  EXPECT_EQ(g_endCalls[0].sequencer, &seq);
  EXPECT_EQ(g_endCalls[0].track, 1);
  EXPECT_FLOAT_EQ(g_endCalls[0].overshoot, 0.25f);
  EXPECT_EQ(g_endCalls[0].word1, 42u);
  EXPECT_EQ(g_endCalls[0].word2, reinterpret_cast<uintptr_t>(&marker));
  EXPECT_EQ(seq.HasTrackEnded(1), 1);

  // Frozen afterwards: no second call, the marks stay.
  float endMark = seq.GetTrack(1)->endMark;
  seq.Update(1.0f);
  seq.Update(1.0f);
  EXPECT_EQ(g_endCalls.size(), 1u);
  EXPECT_FLOAT_EQ(seq.GetTrack(1)->endMark, endMark);
  // Dropped out, but with nothing else playing its last frame shows.
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 1.0f);

  // Playing again re-arms it; the mode and the callback are kept.
  seq.Play(1, m_run, 0.0f);
  EXPECT_EQ(seq.HasTrackEnded(1), 0);
  seq.Update(1.5f);
  ASSERT_EQ(g_endCalls.size(), 2u);
  EXPECT_FLOAT_EQ(g_endCalls[1].overshoot, 0.5f);

  // A handler that plays the next clip is not undone by the update that called it.
  g_endCalls.clear();
  seq.SetEndCallback(0, PlayNextOnEnd, static_cast<uintptr_t>(m_walk));
  seq.SetPlayMode(0, AnimationSequencer::kPlayOnce);
  seq.ClearTrack(1);
  seq.Play(0, m_run, 0.0f);
  seq.Update(1.125f);
  ASSERT_EQ(g_endCalls.size(), 1u);
  EXPECT_EQ(g_endCalls[0].track, 0);
  EXPECT_EQ(seq.GetTrack(0)->animId, m_walk);
  EXPECT_EQ(seq.HasTrackEnded(0), 0);
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 10.125f);  // the overshoot carried into the next clip
}

TEST_F(SequencerTest, EndCallbacksRunInTheirTracksStepAndMayDeleteTheSequencer) {
  // Track 0 ends 0.25 s into the update; the walk its handler starts on track 1 moves with it.
  AnimationSequencer seq(m_run);
  EndAction play;
  play.playOther = m_walk;
  seq.SetPlayMode(0, AnimationSequencer::kPlayOnce);
  seq.SetEndCallback(0, EndAction::OnEnd, reinterpret_cast<uintptr_t>(&play));
  seq.Play(0, m_run, 0.0f);
  seq.Update(1.25f);
  EXPECT_EQ(play.calls, 1);
  EXPECT_FLOAT_EQ(seq.GetTrack(1)->startMark, -1.25f);

  // Both tracks end in one update; the first handler deletes the sequencer, alone or with its
  // character, and the update goes no further.
  for (bool character : {false, true}) {
    SCOPED_TRACE(character ? "character" : "sequencer");
    EndAction erase;
    AnimationSequencer* s;
    if (character) {
      erase.character = new Character(m_run);
      s = &erase.character->sequencer;
    } else {
      s = erase.sequencer = new AnimationSequencer(m_run);
    }
    for (int32_t t = 0; t < 2; ++t) {
      s->SetPlayMode(t, AnimationSequencer::kPlayOnce);
      s->SetEndCallback(t, EndAction::OnEnd, reinterpret_cast<uintptr_t>(&erase));
      s->Play(t, m_run, 0.0f);
    }
    s->Update(1.5f);
    EXPECT_EQ(erase.calls, 1);
  }
}

TEST_F(SequencerTest, HeldTrackKeepsItsLastFrameWhereAOnceOnlyTrackDropsOut) {
  AnimationSequencer seq(m_run);
  AnimationPose out(1);
  seq.SetFixedBlendFrom(0);
  seq.SetFixedBlendTo(1);
  seq.SetFixedBlendWeight(0.5f);

  // Held: after its end it still contributes, sampled at its end time, and blends with track 1.
  seq.Play(0, m_run, 0.0f);
  seq.SetPlayMode(0, AnimationSequencer::kPlayHold);
  seq.SetEndCallback(0, RecordEnd, 0);
  seq.Update(1.5f);
  EXPECT_EQ(g_endCalls.size(), 1u);
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 1.0f);
  EXPECT_NEAR(BoneAngle(out), kHalfPi, 1e-3f);
  seq.Play(1, m_walk, 0.0f);
  seq.Update(0.5f);  // track 1 at 0.5 s: root 10.5
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 1.0f + 0.5f * (10.5f - 1.0f));

  // Once only: after its end only track 1 shows.
  seq.SetPlayMode(0, AnimationSequencer::kPlayOnce);
  seq.Play(0, m_run, 0.0f);
  seq.Update(1.5f);  // track 1 at 2.0 s: its end
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 12.0f);
}

TEST_F(SequencerTest, CrossFadeWeightFollowsTheOverlap) {
  AnimationSequencer seq(m_run);
  AnimationPose out(1);
  seq.DisableFixedBlend();
  // Run plays 0 to 1 s; walk starts at 0.5 s and runs 2 s: the fade runs from 0.5 to 1.0 s.
  seq.Play(0, m_run, 0.0f);
  seq.Play(1, m_walk, 0.5f);
  struct Step {
    float dt;
    float weight;
  };
  const Step steps[] = {{0.625f, 0.25f}, {0.125f, 0.5f}, {0.125f, 0.75f}};
  float now = 0.0f;
  for (const Step& step : steps) {
    seq.Update(step.dt);
    now += step.dt;
    float run = now;               // root x of run at its time
    float walk = 10.0f + (now - 0.5f);
    ASSERT_EQ(seq.GetPose(&out), 1) << now;
    EXPECT_FLOAT_EQ(RootX(out), run + step.weight * (walk - run)) << now;
    float runAngle = kHalfPi * now;
    float walkAngle = 1.0f;
    EXPECT_NEAR(BoneAngle(out), runAngle + step.weight * (walkAngle - runAngle), 2e-3f) << now;
  }
  // The same with the tracks swapped: which is older decides, not the track number.
  seq.Play(1, m_run, 0.0f);
  seq.SetPlayMode(1, AnimationSequencer::kPlayOnce);
  seq.Play(0, m_walk, 0.5f);
  seq.Update(0.75f);
  ASSERT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 0.75f + 0.5f * (10.25f - 0.75f));

  // After the old track has ended only the new one is sampled.
  seq.Update(0.5f);
  seq.GetPose(&out);
  EXPECT_FLOAT_EQ(RootX(out), 10.75f);

  // A held track takes part after its end; its frozen marks would carry the weight past 1
  // (an extrapolated fade) or divide by zero. The fade is over then: the new track alone.
  seq.SetPlayMode(0, AnimationSequencer::kPlayHold);
  seq.SetPlayMode(1, AnimationSequencer::kPlayLoop);
  seq.Play(0, m_run, 0.0f);
  seq.Play(1, m_walk, 0.5f);
  seq.Update(1.25f);  // run frozen 0.25 s past its end, walk 0.75 s in
  ASSERT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 10.75f);
  seq.Play(0, m_run, 0.0f);
  seq.Update(1.5f);  // run frozen 0.5 s past its end
  seq.Play(1, m_walk, 0.0f);
  seq.Update(0.25f);  // walk's start mark (-0.25) lies after run's frozen end mark (-0.5)
  ASSERT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 10.25f);
  // One track ending exactly as the other starts: no span at all, and no NaN.
  seq.SetPlayMode(0, AnimationSequencer::kPlayLoop);
  seq.Play(0, m_run, 0.0f);
  seq.Play(1, m_walk, 1.0f);
  seq.Update(1.0f);
  ASSERT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 10.0f);

  // With the fixed blend switched on, overlapping tracks take the fixed weight, never the fade.
  seq.EnableFixedBlend();
  seq.SetFixedBlendFrom(1);
  seq.SetFixedBlendTo(0);
  seq.SetFixedBlendWeight(0.25f);
  seq.Play(1, m_run, 0.0f);
  seq.Play(0, m_walk, 0.5f);
  seq.Update(0.75f);
  ASSERT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 0.75f + 0.25f * (10.25f - 0.75f));
}

TEST_F(SequencerTest, FixedBlendIsTheConstructedDefault) {
  AnimationSequencer seq(m_run);
  AnimationPose out(1);
  for (int32_t t = 0; t < AnimationSequencer::kTrackCount; ++t) {
    ASSERT_NE(seq.GetTrack(t)->pose, nullptr);
    EXPECT_EQ(seq.GetTrack(t)->pose->GetBoneCount(), 1u);
  }
  // Weight 0 from track 0 to track 0: the overlap shows track 0 alone.
  seq.Play(0, m_run, 0.0f);
  seq.Play(1, m_walk, 0.0f);
  seq.Update(0.5f);
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 0.5f);
}

TEST_F(SequencerTest, GapModeBlendsFromTheEndedTrackToTheWaitingOne) {
  AnimationSequencer seq(m_run);
  AnimationPose out(1);
  seq.SetRestAnim(m_idle);
  // Run ends at 1.0 s, walk starts at 1.5 s.
  seq.Play(0, m_run, 0.0f);
  seq.SetPlayMode(0, AnimationSequencer::kPlayOnce);
  seq.Play(1, m_walk, 1.5f);

  seq.Update(1.25f);  // halfway through the gap
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 1.0f);  // gap mode off: the ended track's last frame

  seq.EnableGapMode();
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 1.0f + 0.5f * (10.0f - 1.0f));
  // The ended track is frozen where its end left it (0.25 s past), so the weight is that
  // overshoot over the distance from it to the next start: 0.25 / (0.25 + 0.125).
  seq.Update(0.125f);
  seq.GetPose(&out);
  EXPECT_FLOAT_EQ(RootX(out), 1.0f + (0.25f / 0.375f) * (10.0f - 1.0f));

  // With only one track holding an animation there is nothing to bridge: the rest pose.
  seq.ClearTrack(1);
  EXPECT_EQ(seq.GetPose(&out), 0);
  EXPECT_FLOAT_EQ(RootX(out), 100.0f);
  seq.ClearGapMode();
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 1.0f);

  // Both ended (gap mode off): the one that ended last shows its last frame.
  seq.Play(0, m_run, -0.5f);     // ends in 0.5 s
  seq.Play(1, m_walk, -1.25f);   // ends in 0.75 s
  seq.SetPlayMode(1, AnimationSequencer::kPlayOnce);
  seq.Update(1.0f);  // run ended 0.5 s ago, walk 0.25 s ago
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 12.0f);
}

TEST_F(SequencerTest, HelperLikeHandlerActsOnlyForItsActiveTrack) {
  AnimationSequencer seq(m_run);
  HelperLike helper;
  helper.activeTrack = 0;
  for (int32_t t = 0; t < 2; ++t) {
    seq.SetEndCallback(t, HelperLike::OnSequencerEnd, reinterpret_cast<uintptr_t>(&helper));
    seq.SetPlayMode(t, AnimationSequencer::kPlayOnce);
  }
  seq.Play(1, m_run, -0.5f);  // ends in 0.5 s
  seq.Play(0, m_walk, 0.0f);  // ends in 2.0 s

  seq.Update(0.625f);
  EXPECT_EQ(helper.calls, 1);
  EXPECT_EQ(helper.finished, 0);
  EXPECT_TRUE(helper.forwarded.empty());

  seq.Update(1.5f);  // 2.125 s: track 0 ends 0.125 s ago
  EXPECT_EQ(helper.calls, 2);
  EXPECT_EQ(helper.finished, 1);
  ASSERT_EQ(helper.forwarded.size(), 1u);
  EXPECT_FLOAT_EQ(helper.forwarded[0], 0.125f);
}

TEST_F(SequencerTest, FaultyInputsAreRefusedSafely) {
  AnimationPose out(1);
  AnimationSequencer seq(m_run);
  AssertCounter asserts;

  // Tracks out of range do nothing and answer 0 or null.
  seq.Play(2, m_run, 0.0f);
  seq.Play(-1, m_run, 0.0f);
  EXPECT_EQ(seq.HasTrackEnded(5), 0);
  EXPECT_EQ(seq.GetTrackProgress(-3), 0.0f);
  EXPECT_EQ(seq.SetEndCallback(2, RecordEnd, 0), nullptr);
  EXPECT_EQ(seq.GetTrack(2), nullptr);
  seq.SetFixedBlendFrom(7);
  seq.SetFixedBlendTo(-1);
  seq.ClearTrack(9);
  seq.SetPlayMode(3, 0);
  EXPECT_EQ(seq.GetTrack(0)->animId, -1);
  EXPECT_EQ(seq.GetTrack(1)->animId, -1);
  EXPECT_TRUE(DebugLogContains("AnimationSequencer::Play: no track 2"));
  EXPECT_EQ(seq.GetPose(nullptr), 0);

  // Negative and NaN steps leave the marks alone.
  seq.Play(0, m_run, 0.0f);
  seq.Update(0.25f);
  seq.Update(-0.5f);
  seq.Update(kNaN);
  seq.Update(std::numeric_limits<float>::infinity());
  EXPECT_FLOAT_EQ(seq.GetTrack(0)->startMark, -0.25f);
  EXPECT_FLOAT_EQ(seq.GetTrack(0)->endMark, 0.75f);
  EXPECT_TRUE(DebugLogContains("AnimationSequencer::Update: time step"));

  // A NaN offset plays from the start; a NaN weight or rest time is not taken.
  seq.Play(0, m_run, kNaN);
  EXPECT_FLOAT_EQ(seq.GetTrack(0)->startMark, 0.0f);
  EXPECT_FLOAT_EQ(seq.GetTrack(0)->endMark, 1.0f);
  seq.SetFixedBlendWeight(0.25f);
  seq.SetFixedBlendWeight(kNaN);
  seq.SetRestTime(0.5f);
  seq.SetRestTime(kNaN);
  EXPECT_FLOAT_EQ(seq.GetRestTime(), 0.5f);
  EXPECT_FLOAT_EQ(seq.GetFixedBlendWeight(), 0.25f);

  // An id the factory lacks plays as a clip of no length: its one frame is never sampled at
  // NaN, its progress stays finite, and played once it ends at the first update.
  const int32_t unknown = 999;
  EXPECT_EQ(AnimationSequencer::GetAnimStart(unknown), 0.0f);
  EXPECT_EQ(AnimationSequencer::GetAnimEnd(unknown), 0.0f);
  seq.ClearTrack(0);
  seq.Play(1, unknown, 0.0f);
  EXPECT_EQ(seq.GetTrack(1)->animId, unknown);
  EXPECT_EQ(seq.GetTrack(1)->startTime, 0.0f);
  EXPECT_EQ(seq.GetTrack(1)->endTime, 0.0f);
  out.SetRootKey(Vector4(3.0f, 4.0f, 5.0f, 1.0f));
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 3.0f);  // nothing to sample: the pose is left alone
  EXPECT_EQ(seq.GetTrackProgress(1), 0.0f);
  EXPECT_EQ(seq.GetRemainingFraction(1), 0.0f);
  seq.Update(0.25f);  // looping: wraps every update without a NaN
  EXPECT_TRUE(std::isfinite(seq.GetTrackProgress(1)));
  seq.SetPlayMode(1, AnimationSequencer::kPlayOnce);
  seq.SetEndCallback(1, RecordEnd, 0);
  seq.Play(1, unknown, 0.0f);
  seq.Update(0.125f);
  ASSERT_EQ(g_endCalls.size(), 1u);
  EXPECT_FLOAT_EQ(g_endCalls[0].overshoot, 0.125f);
  EXPECT_EQ(seq.GetTrackProgress(1), 1.0f);

  // A clip of no length shows its one frame, looping or not, and never at a NaN time.
  WriteStill("data/still.anm");
  const int32_t still = Anims()->AddAnim("data\\still.anm");
  ASSERT_GE(still, 0);
  EXPECT_EQ(AnimationSequencer::GetAnimEnd(still), 0.0f);
  seq.ClearTrack(1);
  seq.SetPlayMode(0, AnimationSequencer::kPlayLoop);
  seq.Play(0, still, 0.0f);
  out.SetRootKey(Vector4(3.0f, 4.0f, 5.0f, 1.0f));
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 50.0f);
  EXPECT_NEAR(BoneAngle(out), 0.3f, 1e-3f);
  seq.Update(0.25f);
  seq.Update(0.25f);
  EXPECT_EQ(seq.HasTrackEnded(0), 1);
  EXPECT_TRUE(std::isfinite(seq.GetTrackProgress(0)));
  seq.GetPose(&out);
  EXPECT_FLOAT_EQ(RootX(out), 50.0f);
  seq.SetPlayMode(0, AnimationSequencer::kPlayHold);
  seq.Play(0, still, 0.0f);
  out.SetRootKey(Vector4(3.0f, 4.0f, 5.0f, 1.0f));
  EXPECT_EQ(seq.GetPose(&out), 1);
  EXPECT_FLOAT_EQ(RootX(out), 50.0f);
  EXPECT_NEAR(BoneAngle(out), 0.3f, 1e-3f);
  Anims()->DeleteAnim(still);

  // Null poses are passed over.
  AnimationSequencer::SampleAnim(m_run, 0.5f, nullptr);
  AnimationSequencer::BlendPoses(nullptr, 0.5f, &out, &out);
  AnimationSequencer::BlendPoses(&out, 0.5f, nullptr, &out);
  EXPECT_EQ(asserts.Count(), 0u);
}

TEST_F(SequencerTest, TrackPosesFitTheAnimationsPlayedAndAreFreed) {
  const uint32_t before = MemoryTracker::CountBlocksOwnedBy("CreatePose");
  {
    // Made for an id the factory lacks: no pose to size, until the first Play.
    AnimationSequencer seq(12345);
    EXPECT_EQ(seq.GetTrack(0)->pose, nullptr);
    EXPECT_EQ(AnimationSequencer::CreatePose(12345), nullptr);
    seq.Play(0, m_big, 0.0f);
    ASSERT_NE(seq.GetTrack(0)->pose, nullptr);
    EXPECT_EQ(seq.GetTrack(0)->pose->GetBoneCount(), kBig.bones);
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("CreatePose"), before + 1);
  }
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("CreatePose"), before);
  {
    // Made for one bone, then playing three: the track pose grows; the blend into a three-bone
    // output takes every bone from the tracks.
    AnimationSequencer seq(m_run);
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("CreatePose"), before + 2);
    seq.Play(0, m_big, 0.0f);
    seq.Play(1, m_big, 0.0f);
    EXPECT_EQ(seq.GetTrack(0)->pose->GetBoneCount(), kBig.bones);
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("CreatePose"), before + 2);
    seq.SetFixedBlendTo(1);
    seq.SetFixedBlendWeight(0.5f);
    AnimationPose out(kBig.bones);
    seq.Update(0.5f);
    EXPECT_EQ(seq.GetPose(&out), 1);
    EXPECT_FLOAT_EQ(RootX(out), 20.5f);
    for (uint32_t b = 0; b < kBig.bones; ++b) {
      const Quaternion& q = out.GetRotations()[b];
      EXPECT_NEAR(2.0f * std::atan2(q.z, q.w), 0.5f, 1e-3f) << b;
    }
    // A smaller pose again keeps the larger one.
    seq.Play(0, m_run, 0.0f);
    EXPECT_EQ(seq.GetTrack(0)->pose->GetBoneCount(), kBig.bones);
  }
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("CreatePose"), before);
}

}  // namespace
