// The animation player on the demo character and animations written here: played fractions,
// the queue and its hold word, cross-fades, end callbacks, posing and what the player owns.
//
// Each clip carries its clock in its root path (x = base + seconds), so the posed skeleton's root
// says which time, or which blend of two times, it shows. At 60 ticks a second, steps of 7.5,
// 11.25, 15 and 30 ticks are exact in seconds, which keeps end times exact.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "Engine/AnimationSequencer.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCSkeleton.h"
#include "Game/Helper/AnimationHelper.h"
#include "tests/support/AnmWriter.h"
#include "tests/support/AppHarness.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScnWriter.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int32_t kA = AnimationHelper::kTrackA;
constexpr int32_t kB = AnimationHelper::kTrackB;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

struct Clip {
  const char* name;
  float seconds;
  float rootBase;
  float start = 0.0f;  // the animation's own start time
};
const Clip kLoop = {"loop.anm", 1.0f, 10.0f};         // 60 ticks
const Clip kOnce = {"once.anm", 0.5f, 100.0f};        // 30 ticks
const Clip kLong = {"long.anm", 2.0f, 200.0f};        // 120 ticks
const Clip kLate = {"late.anm", 1.0f, 300.0f, 0.5f};  // 60 ticks, from 0.5 s to 1.5 s

void WriteClip(const Clip& clip) {
  const uint32_t bones = static_cast<uint32_t>(skelwriter::MakeBiped().bones.size());
  anmwriter::AnimDesc desc = anmwriter::MakeSampled(
      bones, clip.seconds, 4,
      [](uint32_t, float, float* q) {
        const float identity[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        std::copy(identity, identity + 4, q);
      },
      [&](float t, float* p) {
        p[0] = clip.rootBase + t;
        p[1] = 0.0f;
        p[2] = 1.0f;
      });
  desc.startTime += clip.start;
  desc.endTime += clip.start;
  for (anmwriter::Segment& segment : desc.segments) segment.endTime += clip.start;
  for (anmwriter::RootKey& key : desc.rootKeys) key.time += clip.start;
  const std::vector<uint8_t> bytes = anmwriter::Write(desc);
  WriteFileBytes(std::string("data/") + clip.name, bytes.data(), bytes.size());
}

// The root x of a clip `ticks` into it.
float RootAt(const Clip& clip, float ticks) { return clip.rootBase + ticks / 60.0f; }

struct EndRecord {
  std::vector<float> overshoots;
  AnimationHelper* chain = nullptr;  // plays `next` on, carrying the overshoot
  int32_t next = -1;
  AnimationHelper* doomed = nullptr;  // deleted by the callback
};

void OnEnd(void* user, float overshoot) {
  EndRecord* record = static_cast<EndRecord*>(user);
  record->overshoots.push_back(overshoot);
  if (record->chain) record->chain->PlayReversed(record->next, 1, overshoot);
  if (record->doomed) TrackedDelete("test", record->doomed);
  record->doomed = nullptr;
}

class AnimationHelperTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_harness.Start());
    ASSERT_TRUE(scnwriter::SaveDemoCharacter("data"));
    for (const Clip* clip : {&kLoop, &kOnce, &kLong, &kLate}) WriteClip(*clip);
    GetApp().SetDataDir("data\\");
  }

  // The demo character with the three clips, its skeleton built.
  void Build(AnimationHelper& h) {
    m_model = h.LoadModel("character.geo");
    m_loop = h.AddAnimation(kLoop.name);
    m_once = h.AddAnimation(kOnce.name);
    m_long = h.AddAnimation(kLong.name);
    m_late = h.AddAnimation(kLate.name);
    h.SetCurrentAnimation(m_loop);
    ASSERT_EQ(h.CreateSkeleton(), 1);
  }
  int32_t IdOf(const Clip* clip) const {
    return clip == &kOnce ? m_once : clip == &kLong ? m_long : clip == &kLate ? m_late : m_loop;
  }
  static float RootX(AnimationHelper& h) { return h.PoseGeo()->GetRootPosition().x; }
  static void Run(AnimationHelper& h, int updates, float step = 1.0f) {
    for (int i = 0; i < updates; ++i) h.Update(step);
  }

  int32_t m_model = -1, m_loop = -1, m_once = -1, m_long = -1, m_late = -1;
};

TEST_F(AnimationHelperTest, PlayedFractionRisesFromZeroToOneOverTheLength) {
  struct Case {
    const Clip* clip;
    int32_t loop;
    int ticks;
    float played;
  };
  const Case cases[] = {{&kOnce, 0, 30, 1.0f},  {&kOnce, 0, 45, 1.0f},  {&kLong, 1, 30, 0.25f},
                        {&kLoop, 1, 45, 0.75f}, {&kLoop, 1, 75, 0.25f}, {&kOnce, 0, 0, 0.0f},
                        {&kLate, 0, 60, 1.0f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.clip->name << " " << c.ticks);
    AnimationHelper h;
    Build(h);
    const int32_t id = IdOf(c.clip);
    h.Play(id, c.loop, 0.0f);
    const int length = static_cast<int>(c.clip->seconds * 60.0f);
    for (int tick = 0; tick <= c.ticks; ++tick) {
      if (tick < length) {
        EXPECT_NEAR(h.GetRemainingFraction(id), float(tick) / length, 1e-4f);
      }
      if (tick < c.ticks) h.Update(1.0f);
    }
    EXPECT_NEAR(h.GetRemainingFraction(id), c.played, 1e-4f);
    EXPECT_NEAR(h.GetDominantRemainingFraction(), c.played, 1e-4f);
    EXPECT_EQ(h.GetRemainingFraction(id == m_long ? m_once : m_long), 0.0f) << "on no track";
  }
}

TEST_F(AnimationHelperTest, QueuedItemWaitsWhileTheAnimationThatLastStartedHolds) {
  struct Case {
    int32_t hold;
    int32_t heldLoops;
    int updates;  // of 7.5 ticks, until the queued item starts
    int32_t heldFinished;
  };
  for (const Case& c : {Case{0, 0, 1, 0}, Case{1, 0, 5, 1}, Case{1, 1, 5, 0}}) {
    SCOPED_TRACE(testing::Message() << "hold " << c.hold << " loops " << c.heldLoops);
    AnimationHelper h;
    Build(h);
    h.Play(m_loop, 1, 0.0f);
    h.QueueOnly(m_once, 0.0f, c.hold, c.heldLoops);
    h.Update(7.5f);
    ASSERT_EQ(h.GetCurrentAnimation(), m_once);
    h.QueueOnly(m_long, 10.0f, 0, 1);
    int updates = 0;
    while (h.GetCurrentAnimation() != m_long && updates < 20) {
      EXPECT_EQ(h.IsAnimationActive(m_long), 1) << "queued";
      EXPECT_EQ(h.GetRemainingFraction(m_long), 0.0f) << "not on a track yet";
      h.Update(7.5f);
      ++updates;
    }
    EXPECT_EQ(updates, c.updates);
    EXPECT_EQ(h.IsAnimationFinished(m_once), c.heldFinished);
    EXPECT_NE(h.GetBlend(), 0);
  }
}

TEST_F(AnimationHelperTest, CrossFadeRunsItsBlendTimeAndMovesThePoseWeights) {
  for (int blend : {0, 1, 10, 25}) {
    SCOPED_TRACE(blend);
    AnimationHelper h;
    Build(h);
    h.Play(m_loop, 1, 0.0f);
    h.QueueOnly(m_long, float(blend), 0, 1);
    h.Update(1.0f);
    EXPECT_EQ(h.GetActiveTrack(), kB);
    EXPECT_EQ(h.IsAnimationActive(m_long), 1);
    for (int j = 0; j < blend; ++j) {
      ASSERT_NE(h.GetBlend(), 0) << "tick " << j;
      const float w = float(j) / blend;
      EXPECT_NEAR(h.GetBlendWeight(), w, 1e-5f);
      const float x = (1 - w) * RootAt(kLoop, 1.0f + j) + w * RootAt(kLong, float(j));
      EXPECT_NEAR(RootX(h), x, 1e-3f) << "tick " << j;
      h.Update(1.0f);
    }
    EXPECT_EQ(h.GetBlend(), 0);
    EXPECT_EQ(h.GetBlendWeight(), 1.0f);
    EXPECT_NEAR(RootX(h), RootAt(kLong, float(blend)), 1e-3f);
    // The animation faded out has left its track.
    EXPECT_EQ(h.GetRemainingFraction(m_loop), 0.0f);
    EXPECT_EQ(h.IsAnimationFinished(m_loop), 1);
  }
}

TEST_F(AnimationHelperTest, EndCallbackCarriesTheOvershootForTheActiveTrackOnly) {
  const auto once = [&](AnimationHelper& h) { h.Play(m_once, 0, 0.0f); };
  const auto fadingIn = [&](AnimationHelper& h) {
    h.Play(m_loop, 1, 0.0f);
    h.QueueOnly(m_once, 90.0f, 0, 0);
  };
  const auto fadingOut = [&](AnimationHelper& h) {
    h.Play(m_once, 0, 0.0f);
    h.QueueOnly(m_loop, 90.0f, 0, 1);
  };
  const auto leftOnB = [&](AnimationHelper& h) {
    h.QueueOnly(m_once, 2.0f, 0, 0);
    Run(h, 4);
    h.Play(m_loop, 1, 0.0f);
  };
  struct Case {
    const char* what;
    std::function<void(AnimationHelper&)> setUp;
    float step;
    float overshoot;  // NaN: no call
  };
  const Case cases[] = {
      {"7.5-tick steps", once, 7.5f, 7.5f},
      {"11.25-tick steps", once, 11.25f, 3.75f},
      {"a step ending exactly at the end", once, 30.0f, 30.0f},
      {"fading in on the active track", fadingIn, 7.5f, 7.5f},
      {"fading out under a new loop", fadingOut, 7.5f, kNaN},
      {"left out of sight on track B by Play", leftOnB, 7.5f, kNaN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AnimationHelper h;
    Build(h);
    EndRecord record;
    h.SetEndCallback(OnEnd, &record);
    c.setUp(h);
    Run(h, 12, c.step);
    const size_t calls = std::isnan(c.overshoot) ? 0 : 1;
    ASSERT_EQ(record.overshoots.size(), calls);
    for (float overshoot : record.overshoots) EXPECT_NEAR(overshoot, c.overshoot, 1e-3f);
    EXPECT_EQ(h.IsFinished(), int32_t(calls));
  }
}

TEST_F(AnimationHelperTest, EndCallbackMayChainAnotherAnimationOrDeleteThePlayer) {
  AnimationHelper h;
  Build(h);
  EndRecord chain;
  chain.chain = &h;
  chain.next = m_loop;
  h.SetEndCallback(OnEnd, &chain);
  h.Play(m_once, 0, 0.0f);
  Run(h, 3, 11.25f);
  // The loop starts 3.75 ticks in, seamlessly.
  EXPECT_EQ(h.GetCurrentAnimation(), m_loop);
  EXPECT_NEAR(h.GetRemainingFraction(m_loop), 3.75f / 60.0f, 1e-5f);
  EXPECT_NEAR(h.GetTrackVector().x, RootAt(kLoop, 3.75f), 1e-4f);

  AnimationHelper* doomed = TrackedNew<AnimationHelper>("test");
  Build(*doomed);
  EndRecord deleter;
  deleter.doomed = doomed;
  doomed->SetEndCallback(OnEnd, &deleter);
  doomed->Play(m_once, 0, 0.0f);
  for (int i = 0; i < 3; ++i) {
    if (!deleter.doomed) break;
    doomed->Update(11.25f);
  }
  EXPECT_EQ(deleter.doomed, nullptr);
  EXPECT_EQ(deleter.overshoots.size(), 1u);
}

TEST_F(AnimationHelperTest, PoseGeoWithoutASkeletonLogsAndReports) {
  AssertCounter asserts;
  AnimationHelper never;
  EXPECT_EQ(never.PoseGeo(), nullptr);
  AnimationHelper noModel;
  EXPECT_EQ(noModel.CreateSkeleton(), 0);
  noModel.Update(1.0f);
  EXPECT_EQ(noModel.PoseGeo(), nullptr);
  EXPECT_EQ(asserts.Count(), 2u);
  EXPECT_TRUE(DebugLogContains("Trying to pose a Geo with no Skeleton"));

  AnimationHelper full;
  Build(full);
  EXPECT_EQ(full.IsFinished(), 0) << "nothing has played to its end";
  EXPECT_NEAR(RootX(full), RootAt(kLoop, 0.0f), 1e-4f)
      << "before anything plays, the current animation's first frame";
  EXPECT_EQ(full.PoseGeo(), full.GetSkeleton());
  EXPECT_NE(full.GetSkeleton(), nullptr);
  EXPECT_EQ(asserts.Count(), 2u);
}

TEST_F(AnimationHelperTest, ActiveAndFinishedForPlayingQueuedAndOtherAnimations) {
  AnimationHelper h;
  Build(h);
  h.Play(m_loop, 1, 0.0f);
  struct Step {
    const char* what;
    std::function<void()> act;
    int32_t loop[2], once[2], other[2];  // {active, finished}
  };
  const Step steps[] = {
      {"loop plays, once queued", [&] { h.QueueOnly(m_once, 5, 0, 0); }, {1, 0}, {1, 0}, {0, 1}},
      {"once fades in", [&] { h.Update(1.0f); }, {0, 0}, {1, 0}, {0, 1}},
      {"the fade is over", [&] { Run(h, 5); }, {0, 1}, {1, 0}, {0, 1}},
      {"once has ended, holding", [&] { Run(h, 30); }, {0, 1}, {1, 1}, {0, 1}},
      {"queued again", [&] { h.QueueOnly(m_once, 5, 0, 0); }, {0, 1}, {1, 0}, {0, 1}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act();
    for (auto [id, want] :
         {std::pair{m_loop, s.loop}, {m_once, s.once}, {m_long, s.other}, {-1, s.other}}) {
      EXPECT_EQ(h.IsAnimationActive(id), want[0]) << id;
      EXPECT_EQ(h.IsAnimationFinished(id), want[1]) << id;
    }
  }
}

TEST_F(AnimationHelperTest, PlayReversedStartsPartWayAndClearsTrackB) {
  for (bool reversed : {false, true}) {
    SCOPED_TRACE(reversed);
    AnimationHelper h;
    Build(h);
    h.Play(m_loop, 1, 0.0f);
    h.QueueOnly(m_long, 10.0f, 0, 1);
    Run(h, 2);  // long fades in on track B
    h.QueueOnly(m_loop, 1.0f, 0, 1);
    if (reversed)
      h.PlayReversed(m_once, 0, 15.0f);
    else
      h.Play(m_once, 0, 15.0f);
    EXPECT_NEAR(h.GetRemainingFraction(m_once), 0.5f, 1e-5f);
    EXPECT_EQ(h.GetActiveTrack(), kA);
    EXPECT_EQ(h.GetBlend(), 0);
    EXPECT_EQ(h.GetBlendWeight(), 0.0f);
    EXPECT_EQ(h.IsAnimationActive(m_loop), 0) << "the queue was emptied";
    EXPECT_EQ(h.IsAnimationActive(m_long), 0);
    EXPECT_EQ(h.GetRemainingFraction(m_long) > 0.0f, !reversed) << "Play leaves track B";
    EXPECT_NEAR(RootX(h), RootAt(kOnce, 15.0f), 1e-4f) << "track B out of sight";
  }
}

TEST_F(AnimationHelperTest, TrackVectorIsTheDominantRootNow) {
  AnimationHelper h;
  Build(h);
  EXPECT_EQ(h.GetTrackVector().w, 0.0f) << "nothing plays";
  struct Case {
    const Clip* clip;
    int32_t loop;
    int quarters;  // updates of 15 ticks
    float x;
  };
  const Case cases[] = {{&kLoop, 1, 1, 10.25f},
                        {&kLoop, 1, 5, 10.25f},  // wrapped once
                        {&kOnce, 0, 3, 100.5f},  // held at its end
                        {&kLong, 1, 2, 200.5f},
                        {&kLate, 1, 1, 300.25f}};  // starts at once
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.clip->name << " " << c.quarters);
    h.PlayReversed(IdOf(c.clip), c.loop, 0.0f);
    Run(h, c.quarters, 15.0f);
    EXPECT_NEAR(h.GetSkeleton()->GetRootPosition().x, c.x, 1e-4f) << "posed by the update";
    const Vector4 v = h.GetTrackVector();
    EXPECT_NEAR(v.x, c.x, 1e-4f);
    EXPECT_EQ(v.z, 1.0f);
    EXPECT_EQ(v.w, 1.0f);
  }
}

TEST_F(AnimationHelperTest, CrossFadeToAndPoseWeightedBlendBothTracksAtOnePhase) {
  AnimationHelper h;
  Build(h);
  h.Play(m_loop, 1, 0.0f);
  h.Update(15.0f);
  EXPECT_EQ(h.CrossFadeTo(m_long, 1), kB);
  // Until the weight moves, the walk stays dominant: its phase carries on.
  EXPECT_EQ(h.GetDominantTrack(), kA);
  EXPECT_NEAR(h.GetDominantRemainingFraction(), 0.25f, 1e-5f);
  EXPECT_EQ(h.GetBlend(), 0);

  struct Step {
    float phase, blend;
    float x;
    int32_t dominant;
  };
  const Step steps[] = {{0.5f, 0.25f, 0.75f * 10.5f + 0.25f * 201.0f, kA},
                        {0.5f, 0.5f, 0.5f * 10.5f + 0.5f * 201.0f, kB},
                        {0.5f, 0.75f, 0.25f * 10.5f + 0.75f * 201.0f, kB},
                        {0.25f, 2.0f, 200.5f, kB}};  // held to 0..1
  for (const Step& s : steps) {
    SCOPED_TRACE(s.blend);
    h.PoseWeighted(s.phase, s.blend);
    EXPECT_NEAR(h.GetRemainingFraction(m_loop), s.phase, 1e-5f);
    EXPECT_NEAR(h.GetRemainingFraction(m_long), s.phase, 1e-5f);
    EXPECT_NEAR(h.GetSkeleton()->GetRootPosition().x, s.x, 1e-3f);
    EXPECT_NEAR(RootX(h), s.x, 1e-3f) << "PoseGeo keeps the weighted pose";
    EXPECT_EQ(h.GetDominantTrack(), s.dominant);
  }
  // Snapped to B, which shows at an even weight too; direction 0 weights the old track.
  h.PoseWeighted(0.5f, 0.5f);
  EXPECT_EQ(h.CrossFadeTo(m_late, 0), kA);
  EXPECT_EQ(h.GetBlendWeight(), 1.0f);
  h.PoseWeighted(0.5f, 0.25f);
  EXPECT_NEAR(h.GetRemainingFraction(m_late), 0.5f, 1e-5f);
  EXPECT_NEAR(RootX(h), 0.75f * RootAt(kLate, 30.0f) + 0.25f * RootAt(kLong, 60.0f), 1e-3f);
  EXPECT_EQ(h.IsAnimationActive(m_late), 1);
  // A queued item fades in from the dominant track, from the weight where it stands.
  h.QueueOnly(m_loop, 10.0f, 0, 1);
  h.Update(1.0f);
  EXPECT_EQ(h.GetActiveTrack(), kB);
  EXPECT_NE(h.GetBlend(), 0);
  Run(h, 5);
  EXPECT_NEAR(h.GetBlendWeight(), 0.25f + 0.75f * 0.5f, 1e-5f);
}

// An animation that drives only some bones leaves the others in their bind rotation, not in
// the one the animation before it gave them.
TEST_F(AnimationHelperTest, BonesNoAnimationDrivesKeepTheirBindRotation) {
  const uint32_t bones = static_cast<uint32_t>(skelwriter::MakeBiped().bones.size());
  const auto write = [](const char* name, uint32_t tracks, float turn) {
    const std::vector<uint8_t> bytes = anmwriter::Write(anmwriter::MakeSampled(
        tracks, 1.0f, 4,
        [turn](uint32_t, float, float* q) {
          q[0] = 0.0f;
          q[1] = 0.0f;
          q[2] = std::sin(turn * 0.5f);
          q[3] = std::cos(turn * 0.5f);
        },
        [](float, float* p) {
          p[0] = p[1] = 0.0f;
          p[2] = 1.0f;
        }));
    WriteFileBytes(std::string("data/") + name, bytes.data(), bytes.size());
  };
  write("bent.anm", bones, 1.5f);
  write("short.anm", bones - 1, 0.0f);
  AnimationHelper h;
  Build(h);
  const int32_t bent = h.AddAnimation("bent.anm");
  const int32_t shorter = h.AddAnimation("short.anm");
  std::vector<Quaternion> bind(bones);
  h.GetSkeleton()->CopyBindRotations(bind.data(), bones);
  const int32_t last = static_cast<int32_t>(bones) - 1;
  h.Play(bent, 1, 0.0f);
  h.Update(1.0f);
  ASSERT_NE(h.GetSkeleton()->GetBoneRotation(last), nullptr);
  EXPECT_NEAR(h.GetSkeleton()->GetBoneRotation(last)->z, std::sin(0.75f), 1e-4f);
  h.Play(shorter, 1, 0.0f);
  h.Update(1.0f);
  const Quaternion* now = h.GetSkeleton()->GetBoneRotation(last);
  ASSERT_NE(now, nullptr);
  EXPECT_NEAR(now->x, bind[last].x, 1e-5f);
  EXPECT_NEAR(now->y, bind[last].y, 1e-5f);
  EXPECT_NEAR(now->z, bind[last].z, 1e-5f);
  EXPECT_NEAR(now->w, bind[last].w, 1e-5f);
  EXPECT_NEAR(h.GetSkeleton()->GetBoneRotation(0)->z, 0.0f, 1e-5f) << "a driven bone follows";
}

TEST_F(AnimationHelperTest, RefusesBadStepsAndBlendTimesAndPlayBeforeCreateSkeleton) {
  AnimationHelper early;
  early.Play(m_loop, 1, 0.0f);
  early.CrossFadeTo(m_loop, 1);
  early.PoseWeighted(0.5f, 0.5f);
  EXPECT_TRUE(DebugLogContains("AnimationHelper::Play: no sequence before CreateSkeleton"));

  AnimationHelper h;
  Build(h);
  h.Play(m_loop, 1, 0.0f);
  h.Update(15.0f);
  for (float step : {-5.0f, kNaN, kInfinity}) h.Update(step);
  EXPECT_NEAR(h.GetRemainingFraction(m_loop), 0.25f, 1e-5f);
  EXPECT_TRUE(DebugLogContains("AnimationHelper::Update: time step"));
  for (float blend : {-3.0f, kNaN, kInfinity}) {
    SCOPED_TRACE(blend);
    h.Play(m_loop, 1, 0.0f);
    h.QueueOnly(m_long, blend, 0, 1);
    h.Update(1.0f);
    EXPECT_EQ(h.GetBlend(), 0) << "starts without a fade";
    EXPECT_EQ(h.GetBlendWeight(), 1.0f);
  }
}

// Counts blocks of the tracker: needs the tracked operators (not the sanitizer build).
class AnimationHelperMemoryTest : public AnimationHelperTest {};

TEST_F(AnimationHelperMemoryTest, EveryBlockAndReferenceIsGivenBack) {
  const char* owners[] = {"AnimationHelper::CreateSkeleton", "NodeFactory::MakeSkeleton",
                          "Skeleton::Skeleton", "CreatePose", "DataArray<int>::GrowArray"};
  auto counts = [&] {
    std::vector<uint32_t> n;
    for (const char* owner : owners) n.push_back(MemoryTracker::CountBlocksOwnedBy(owner));
    return n;
  };
  const std::vector<uint32_t> before = counts();
  {
    AnimationHelper h;
    Build(h);
    h.Play(m_loop, 1, 0.0f);
    h.QueueOnly(m_long, 5.0f, 0, 1);
    Run(h, 3);
    const std::vector<uint32_t> built = counts();
    EXPECT_EQ(built[1], before[1] + 1) << "one skeleton";
    EXPECT_GT(built[0], before[0]);
    EXPECT_EQ(h.CreateSkeleton(), 1);
    EXPECT_EQ(counts(), built) << "a second skeleton replaces the first";
    EXPECT_EQ(h.LoadModel("character.geo"), m_model);
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("NodeFactory::MakeSkeleton"), before[1]);
    EXPECT_EQ(h.CreateSkeleton(), 1);
    EXPECT_EQ(GetApp().GetAnimFactory()->GetRefCount(m_long), 1);
    // A file that does not load keeps its place in the list.
    EXPECT_EQ(h.AddAnimation("missing.anm"), -1);
    EXPECT_EQ(h.GetAnimationCount(), 5);
    for (int32_t i : {-1, 4, 5}) EXPECT_EQ(h.GetAnimation(i), -1) << i;
    EXPECT_EQ(h.GetAnimation(3), m_late);
    EXPECT_EQ(h.GetAnimation(0), m_loop);
    EXPECT_EQ(h.AddAnimation(nullptr), -1);
  }
  EXPECT_EQ(counts(), before);
  for (int32_t id : {m_loop, m_once, m_long, m_late})
    EXPECT_EQ(GetApp().GetAnimFactory()->GetRefCount(id), 0);
  EXPECT_EQ(GetApp().GetNodeFactory()->GetContainer(m_model), nullptr);
}

TEST_F(AnimationHelperMemoryTest, ACreateSkeletonThatRunsOutOfMemoryLeavesNoHalfBuild) {
  AnimationHelper h;
  Build(h);
  const uint32_t whole = MemoryTracker::CountBlocksOwnedBy("AnimationHelper::CreateSkeleton");
  // Every allocation of the build fails once, the later ones included.
  for (int n = 0; n < 40; ++n) {
    SCOPED_TRACE(n);
    MemoryTracker::InduceFailures(n, 1);
    const int32_t built = h.CreateSkeleton();
    MemoryTracker::InduceFailures(-1, 0);
    // Without a whole build there is no skeleton: a half-built one would be drawn unposed.
    EXPECT_TRUE(built || h.GetSkeleton() == nullptr);
    if (built) {
      h.Play(m_once, 0, 0.0f);
      h.Update(15.0f);
      EXPECT_NEAR(h.GetSkeleton()->GetRootPosition().x, RootAt(kOnce, 15.0f), 1e-4f);
    }
  }
  EXPECT_EQ(h.CreateSkeleton(), 1);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("AnimationHelper::CreateSkeleton"), whole);
}

}  // namespace
