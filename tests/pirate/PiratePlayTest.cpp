// The pirate game's pinned play on the real App and demo data, driven tick by tick through the
// game's own operations: the picks and who leaps home, the points, the hash, the camera move at
// any frame rate, and a load refused without its scene.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "Engine/PC/PCPolygonPools.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/Random.h"
#include "Game/Frontend/PDFE.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Sound/CSoundWrapper.h"
#include "tests/pirate/PirateTestSupport.h"
#include "tests/support/BankWriter.h"
#include "tests/support/LogCapture.h"
#include "tests/support/WavWriter.h"

namespace {

using piratetest::CurrentPirateGame;
using piratetest::GameBlocks;

constexpr int32_t kSampleTicking = 0;
constexpr int32_t kSampleEmptyHole = 13;
constexpr int32_t kSamplePick = 16;
constexpr int32_t kSampleTally = 17;

bool Effect(const cpirategame* g, int32_t sample) {
  return GetSoundWrapper()->IsSamplePlaying(g->m_effectsBank, sample) != 0;
}
bool Speech(const cpirategame* g, int32_t sample) {
  return GetSoundWrapper()->IsSamplePlaying(g->m_speechBank, sample) != 0;
}
bool Near(const Vector4& a, const Vector4& b, float tolerance) {
  return std::fabs(a.x - b.x) < tolerance && std::fabs(a.y - b.y) < tolerance &&
         std::fabs(a.z - b.z) < tolerance;
}

class PiratePlayTest : public piratetest::PirateAppTest {
 protected:
  cpirategame* Playing() {
    cpirategame* g = StartFromMenu(kModeNormal, 2);
    return g && RunToPlay() ? g : nullptr;
  }
  // Runs ticks until `done` or the limit; the ticks run.
  template <class Done>
  int Tick(cpirategame* g, Done done, int limit = 2000) {
    int ticks = 0;
    while (!done() && ticks < limit) {
      g->Update();
      ++ticks;
    }
    return ticks;
  }
  static int32_t HoleOf(const cpirategame* g, int32_t kind, int32_t skip = -1) {
    for (int32_t i = 0; i < kHoles; ++i)
      if (i != skip && g->m_holes[i].occupied && g->m_holes[i].kind == kind) return i;
    return -1;
  }
  static int32_t EmptyHole(const cpirategame* g) {
    for (int32_t i = 0; i < kHoles; ++i)
      if (!g->m_holes[i].occupied && !g->m_holes[i].outOfPlay) return i;
    return -1;
  }
  void Pick(cpirategame* g, int32_t hole) {
    g->SelectHole(hole);
    g->PickHole();
  }
  // A first pick that has landed.
  void PickAndLand(cpirategame* g, int32_t hole) {
    Pick(g, hole);
    Tick(g, [&] { return g->m_playPhase == cpirategame::kPhaseInput; });
  }
  // Two pirates of different kinds picked and shown until they stand revealed.
  void RevealMismatch(cpirategame* g, int32_t a, int32_t b) {
    PickAndLand(g, a);
    Pick(g, b);
    Tick(g, [&] { return g->m_playPhase == cpirategame::kPhaseInput && !g->m_pairPending; });
  }
  // Which reactions the two picked pirates played once both were out.
  struct Reactions {
    bool firstCelebrated = false, firstDefeated = false;
    bool secondCelebrated = false, secondDefeated = false;
  };
  // The leap a pirate makes from `from` to `to`: the right-hand one when it goes right.
  static int32_t Leap(const PirateAnimSet& set, const Vector4& from, const Vector4& to) {
    return to.x >= from.x ? set.leapRight : set.leapLeft;
  }
  Reactions PickPair(cpirategame* g, int32_t first, int32_t second) {
    const PirateAnimSet& one = g->m_firstSet[g->m_holes[first].kind];
    const PirateAnimSet& two = g->m_secondSet[g->m_holes[second].kind];
    Pick(g, first);
    const PirateHole& h1 = g->m_holes[first];
    EXPECT_TRUE(one.helper->IsAnimationActive(Leap(one, h1.piratePos, h1.targetPos)));
    Tick(g, [&] { return g->m_playPhase == cpirategame::kPhaseInput; });
    EXPECT_TRUE(one.helper->IsAnimationActive(one.stand)) << "landed, it stands";
    Pick(g, second);
    const PirateHole& h2 = g->m_holes[second];
    EXPECT_TRUE(two.helper->IsAnimationActive(Leap(two, h2.piratePos, h2.targetPos)));
    Reactions seen;
    Tick(g, [&] {
      seen.firstCelebrated |= one.helper->IsAnimationActive(one.celebrate) != 0;
      seen.firstDefeated |= one.helper->IsAnimationActive(one.defeat) != 0;
      seen.secondCelebrated |= two.helper->IsAnimationActive(two.celebrate) != 0;
      seen.secondDefeated |= two.helper->IsAnimationActive(two.defeat) != 0;
      return g->m_playPhase != cpirategame::kPhaseLeapOut && !g->m_pairPending;
    });
    return seen;
  }
};

TEST_F(PiratePlayTest, PicksSendTheRightPiratesOutAndHome) {
  cpirategame* g = Playing();
  ASSERT_NE(g, nullptr);
  const int32_t a = HoleOf(g, 0), a2 = HoleOf(g, 0, a), b = HoleOf(g, 1), c = HoleOf(g, 2);
  const int32_t empty = EmptyHole(g);

  // A first pick leaps out for 20 ticks, the pick's own the first of them.
  Pick(g, a);
  EXPECT_EQ(g->m_playPhase, cpirategame::kPhaseLeapOut);
  EXPECT_EQ(Tick(g, [&] { return g->m_playPhase == cpirategame::kPhaseInput; }), 19);
  // Its own hole again starts nothing and is no miss.
  Pick(g, a);
  EXPECT_EQ(g->m_playPhase, cpirategame::kPhaseInput);
  EXPECT_EQ(g->m_misses, 0);
  // An empty second pick sends the first home alone (variant 1), sounds empty and counts a miss.
  GetSoundWrapper()->StopAll();
  Pick(g, empty);
  EXPECT_TRUE(Effect(g, kSampleEmptyHole));
  EXPECT_FALSE(Effect(g, kSamplePick));
  EXPECT_EQ(g->m_playPhase, cpirategame::kPhaseLeapBack);
  EXPECT_EQ(g->m_returnVariant, cpirategame::kReturnFirstAlone);
  EXPECT_EQ(g->m_returnHole, a);
  EXPECT_EQ(g->m_firstPicked, 0);
  EXPECT_EQ(g->m_misses, 1);
  {
    const PirateAnimSet& firstA = g->m_firstSet[0];
    const PirateHole& ha = g->m_holes[a];
    EXPECT_TRUE(firstA.helper->IsAnimationActive(Leap(firstA, ha.targetPos, ha.piratePos)))
        << "the first leaps home";
    // From where it stood, in the very frame of the pick.
    EXPECT_TRUE(Near(g->m_returnPos1, ha.targetPos, 60.0f));
    EXPECT_NEAR(g->m_returnScale.z, 1.95f, 0.01f);
  }
  Tick(g, [&] { return g->m_playPhase == cpirategame::kPhaseInput; });

  // A mismatch stays out revealed for five seconds, a miss more; the second's line answers the
  // first's kind.
  GetSoundWrapper()->StopAll();
  RevealMismatch(g, a, b);
  EXPECT_EQ(g->m_revealSeconds, 5);
  EXPECT_TRUE(Speech(g, 11 * 1 + 1 + 0)) << "kind 1 answers kind 0";
  EXPECT_FALSE(Speech(g, 11 * 0 + 1 + 1));
  EXPECT_EQ(g->m_misses, 2);
  // A third hole sends the pair home (variant 2, the old first on its spare set).
  Pick(g, c);
  EXPECT_EQ(g->m_returnVariant, cpirategame::kReturnPairForNew);
  EXPECT_EQ(g->m_returnHole, a);
  EXPECT_EQ(g->m_firstHole, c);
  EXPECT_EQ(g->m_revealSeconds, 0);
  const PirateHole &ha = g->m_holes[a], &hb = g->m_holes[b], &hc = g->m_holes[c];
  {
    const PirateAnimSet &spareA = g->m_spareSet[0], &secondB = g->m_secondSet[1];
    const PirateAnimSet& firstC = g->m_firstSet[2];
    EXPECT_TRUE(spareA.helper->IsAnimationActive(Leap(spareA, ha.targetPos, ha.piratePos)));
    EXPECT_TRUE(secondB.helper->IsAnimationActive(Leap(secondB, hb.targetPos, hb.piratePos)));
    EXPECT_TRUE(firstC.helper->IsAnimationActive(Leap(firstC, hc.piratePos, hc.targetPos)));
  }
  Tick(g, [&] { return g->m_playPhase == cpirategame::kPhaseInput; });
  EXPECT_LT(std::fabs(g->m_leapPos.x - hc.targetPos.x), 60.0f) << "the new pick has landed";
  EXPECT_LT(std::fabs(g->m_leapPos.y - hc.targetPos.y), 60.0f);

  // Picking the old second of a revealed pair keeps it out as the new first (variant 3).
  const int32_t cPartner = HoleOf(g, 2, c);
  GetSoundWrapper()->StopAll();
  Pick(g, b);
  Tick(g, [&] { return g->m_playPhase == cpirategame::kPhaseInput && !g->m_pairPending; });
  ASSERT_EQ(g->m_revealSeconds, 5);
  EXPECT_TRUE(Speech(g, 11 * 1 + 1 + 2)) << "kind 1 answers kind 2";
  EXPECT_FALSE(Speech(g, 11 * 2 + 1 + 1));
  Pick(g, b);
  EXPECT_EQ(g->m_returnVariant, cpirategame::kReturnOtherOfPair);
  EXPECT_EQ(g->m_firstHole, b);
  EXPECT_EQ(g->m_secondHole, c);
  EXPECT_EQ(g->m_firstPicked, 1);
  {
    const PirateAnimSet &secondC = g->m_secondSet[2], &firstB = g->m_firstSet[1];
    EXPECT_TRUE(secondC.helper->IsAnimationActive(Leap(secondC, hc.targetPos, hc.piratePos)))
        << "the other goes home";
    EXPECT_TRUE(firstB.helper->IsAnimationActive(firstB.stand)) << "the kept one stands";
    EXPECT_NEAR(g->m_leapPos.x, hb.targetPos.x, 0.5f) << "beside its hole";
    EXPECT_NEAR(g->m_leapPos.y, hb.targetPos.y, 0.5f);
    EXPECT_FLOAT_EQ(g->m_leapScale.z, 2.0f);
  }
  Tick(g, [&] { return g->m_playPhase == cpirategame::kPhaseInput; });
  // An empty pick while a pair is revealed sends both home (variant 0).
  Pick(g, cPartner);
  Tick(g, [&] { return g->m_playPhase == cpirategame::kPhaseInput && !g->m_pairPending; });
  const int32_t missesBefore = g->m_misses;
  GetSoundWrapper()->StopAll();
  Pick(g, empty);
  EXPECT_TRUE(Effect(g, kSampleEmptyHole));
  EXPECT_EQ(g->m_returnVariant, cpirategame::kReturnBoth);
  EXPECT_EQ(g->m_misses, missesBefore + 1);
  {
    const PirateHole& hp = g->m_holes[cPartner];
    const PirateAnimSet &firstB = g->m_firstSet[1], &secondC = g->m_secondSet[2];
    EXPECT_TRUE(firstB.helper->IsAnimationActive(Leap(firstB, hb.targetPos, hb.piratePos)));
    EXPECT_TRUE(secondC.helper->IsAnimationActive(Leap(secondC, hp.targetPos, hp.piratePos)));
  }
  Tick(g, [&] { return g->m_playPhase == cpirategame::kPhaseInput; });

  // The pair then scores 10000 less a thousand a miss, and joins the tally.
  const int32_t misses = g->m_misses, score = g->m_score[0];
  PickAndLand(g, a);
  Pick(g, a2);
  Tick(g, [&] { return g->m_playPhase == cpirategame::kPhasePairFound; });
  EXPECT_EQ(g->m_lastPoints, PairPoints(misses));
  EXPECT_EQ(g->m_score[0], score + PairPoints(misses));
  EXPECT_EQ(g->m_pairsLeft, 9);
  EXPECT_EQ(g->m_misses, 0);
  EXPECT_EQ(g->m_holes[a].outOfPlay + g->m_holes[a2].outOfPlay, 2);
  EXPECT_EQ(g->m_revealSeconds, 10) << "a pair stays out longer";
}

TEST_F(PiratePlayTest, TheHashFollowsSelectionPicksAndPairsButNotARunningMove) {
  cpirategame* g = Playing();
  ASSERT_NE(g, nullptr);
  const uint32_t idle = g->GetStateHash();
  g->Update();
  EXPECT_EQ(g->GetStateHash(), idle);
  const int32_t a = HoleOf(g, 3);
  g->SelectHole(a);
  EXPECT_EQ(g->m_cameraMoveStart, 1);
  EXPECT_EQ(g->m_holes[a].selected, 1);
  g->Update();
  const uint32_t moving = g->GetStateHash();
  EXPECT_NE(moving, idle) << "a selection move";
  for (int i = 0; i < 10; ++i) g->Update();
  EXPECT_EQ(g->GetStateHash(), moving) << "the move runs on";
  Tick(g, [&] { return !g->m_cameraMoving; });
  const uint32_t settled = g->GetStateHash();
  g->PickHole();
  EXPECT_NE(g->GetStateHash(), settled) << "a pick";
  Tick(g, [&] { return g->m_playPhase == cpirategame::kPhaseInput; });
  const uint32_t picked = g->GetStateHash();
  g->SelectHole(HoleOf(g, 3, a));
  g->PickHole();
  Tick(g, [&] { return g->m_pairsLeft == 9; });
  EXPECT_NE(g->GetStateHash(), picked) << "a pair";
}

// The game's helpers answer none out of range, and its drawers draw nothing without a window,
// a kind or a texture.
TEST_F(PiratePlayTest, HelpersAnswerNoneOutOfRange) {
  cpirategame* g = Playing();
  ASSERT_NE(g, nullptr);
  struct SetCase {
    int32_t set, kind;
    bool found;
  };
  for (const SetCase c : {SetCase{0, 0, true}, SetCase{2, 9, true}, SetCase{3, 0, false},
                          SetCase{-1, 0, false}, SetCase{0, 10, false}, SetCase{0, -1, false}})
    EXPECT_EQ(g->SetFor(c.set, c.kind) != nullptr, c.found) << c.set << "," << c.kind;
  for (const int32_t hole : {-1, kHoles, kHoles + 5}) EXPECT_EQ(g->KindOf(hole), -1) << hole;
  EXPECT_EQ(g->KindOf(kHoles - 1), g->m_holes[kHoles - 1].kind);
  EXPECT_EQ(cpirategame::NodeAt(g->GetScene(), -1), nullptr);
  EXPECT_EQ(cpirategame::NodeAt(nullptr, 0), nullptr);
  EXPECT_NE(cpirategame::NodeAt(g->GetScene(), 0), nullptr);

  AssertCounter reports;
  RenderWindow* overlay = g->OverlayWindow();
  const int32_t nodes = overlay->GetRenderNodeCount();
  const int32_t quads = overlay->GetPolygonPools().GetPolygonCount(PolygonPools::kAlpha2D);
  g->DrawPirate(nullptr, g->m_firstSet[0], 0);
  g->DrawPirate(overlay, g->m_firstSet[0], -1);
  g->DrawLivesIcons(nullptr);
  const int32_t icon = g->m_iconTexture;
  g->m_iconTexture = -1;
  g->DrawLivesIcons(overlay);
  g->m_iconTexture = icon;
  EXPECT_EQ(overlay->GetRenderNodeCount(), nodes);
  EXPECT_EQ(overlay->GetPolygonPools().GetPolygonCount(PolygonPools::kAlpha2D), quads);
  // No effect without its template.
  const int32_t effects = g->MainWindow()->GetParticleSystemCount();
  g->m_finaleEffect = 7;
  g->StartEffect(-1, Vector4(0.0f, 0.0f, 0.0f, 1.0f));
  EXPECT_EQ(g->MainWindow()->GetParticleSystemCount(), effects);
  EXPECT_EQ(g->m_finaleEffect, 7);
  g->m_finaleEffect = -1;
  // No line for a pirate of no kind.
  GetSoundWrapper()->StopAll();
  g->PlayPairLine(-1, 0);
  g->PlayPairLine(0, -1);
  for (int32_t sample = 0; sample < GetSoundWrapper()->GetSampleCount(g->m_speechBank); ++sample)
    EXPECT_FALSE(Speech(g, sample)) << sample;
  EXPECT_EQ(reports.Count(), 0u);
}

// Each word the two machines compare counts, each hole's as much as the first's, and two words
// changing together never cancel out.
TEST_F(PiratePlayTest, EveryWordOfTheStateChangesTheHash) {
  cpirategame* g = Playing();
  ASSERT_NE(g, nullptr);
  const uint32_t base = g->GetStateHash();
  int32_t* const words[] = {&g->m_firstPicked,     &g->m_firstHole, &g->m_lives,
                            &g->m_pointerX,        &g->m_pointerY,  &g->m_cameraMoving,
                            &g->m_cameraMoveStart, &g->m_pairsLeft};
  for (size_t i = 0; i < std::size(words); ++i) {
    *words[i] += 1;
    EXPECT_NE(g->GetStateHash(), base) << "word " << i;
    *words[i] -= 1;
  }
  for (const int32_t hole : {0, 1, 17, kHoles - 1}) {
    PirateHole& h = g->m_holes[hole];
    for (int32_t* word : {&h.selected, &h.occupied, &h.kind, &h.outOfPlay}) {
      *word ^= 1;
      EXPECT_NE(g->GetStateHash(), base) << "hole " << hole;
      // With the camera's word too, as a first selection changes both.
      g->m_cameraMoving ^= 1;
      EXPECT_NE(g->GetStateHash(), base) << "hole " << hole << " and the camera";
      g->m_cameraMoving ^= 1;
      *word ^= 1;
    }
  }
  EXPECT_EQ(g->GetStateHash(), base);
}

TEST_F(PiratePlayTest, ACameraMoveEndsAtAnyFrameRate) {
  cpirategame* g = Playing();
  ASSERT_NE(g, nullptr);
  struct Case {
    float fps;
    int maxTicks;
  };
  for (const Case c : {Case{60.0f, 63}, Case{10.0f, 30}, Case{30.0f, 70}, Case{144.0f, 300},
                       Case{1000.0f, 2010}, Case{7.0f, 24}}) {
    g->m_fps = c.fps;
    const Vector4 to(2500.0f, 1900.0f, 20.0f, 1.0f);
    g->RequestCameraMove(to);
    int ticks = 0;
    while (g->m_cameraMoving && ticks < 100000) {
      g->UpdateCameraMove();
      ++ticks;
    }
    EXPECT_FALSE(g->m_cameraMoving) << c.fps;
    EXPECT_LE(ticks, c.maxTicks) << c.fps;
    const Vector4 look = g->LookAt();
    EXPECT_NEAR(look.x, to.x, 150.0f) << c.fps;
    EXPECT_NEAR(look.y, to.y, 150.0f) << c.fps;
  }
}

TEST_F(PiratePlayTest, FewerThanTenSecondsTickAndTheChallengeEndsAtFivePairs) {
  cpirategame* g = Playing();
  ASSERT_NE(g, nullptr);
  // A second of the clock is sixty ticks.
  Tick(g, [&] { return g->m_secondsLeft < 300; });
  const int32_t seconds = g->m_secondsLeft;
  EXPECT_EQ(Tick(g, [&] { return g->m_secondsLeft < seconds; }), 60);
  EXPECT_EQ(Tick(g, [&] { return g->m_secondsLeft < seconds - 1; }), 60);

  g->m_secondsLeft = 10;
  g->m_secondFrames = 0;
  GetSoundWrapper()->StopAll();
  g->Update();
  EXPECT_FALSE(Effect(g, kSampleTicking)) << "ten seconds left";
  g->m_secondsLeft = 9;
  g->Update();
  EXPECT_TRUE(Effect(g, kSampleTicking));
  GetSoundWrapper()->StopSample(g->m_effectsBank, kSampleTicking);
  g->Update();
  EXPECT_TRUE(Effect(g, kSampleTicking)) << "ticking again";
  g->m_mode = kModeChallenge1;
  g->m_pairsLeft = 6;
  EXPECT_EQ(g->Update(), 0) << "four pairs found";
  g->m_pairsLeft = 5;
  EXPECT_EQ(g->Update(), 1);
  EXPECT_EQ(g->m_result, 1);
  g->m_mode = kModeNormal;
  g->m_pairsLeft = kPirateKinds;
  g->m_result = -1;

  // The time-up message comes with the last second, not before, and the ticking stops for it;
  // three seconds of message and one of fade later the game is lost.
  g->m_secondsLeft = 2;
  Tick(g, [&] { return g->m_secondsLeft == 1; });
  EXPECT_FALSE(g->m_ingameText.shown) << "a second left";
  Tick(g, [&] { return g->m_secondsLeft == 0; });
  EXPECT_TRUE(g->m_ingameText.shown);
  EXPECT_EQ(g->m_ingameText.y, 200);
  EXPECT_NEAR(g->m_ingameText.remaining, 180.0f, 1.0f);
  EXPECT_FALSE(Effect(g, kSampleTicking));
  g->Update();
  EXPECT_FALSE(Effect(g, kSampleTicking)) << "not while the message shows";
  int ticks = 1;
  while (!g->m_timeUpFade && ticks < 1000) ticks += g->Update() == 0 ? 1 : 1000;
  for (int i = 0; i < 15; ++i, ++ticks) g->Update();
  // A quarter of the way through the fade both windows, the island's and the HUD's, darken.
  g->Render();
  for (RenderWindow* window : {g->MainWindow(), g->OverlayWindow()}) {
    const float* factors = window->GetColourFactors();
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(factors[c], 0.75f, 0.02f) << c;
    EXPECT_FLOAT_EQ(factors[3], 1.0f);
  }
  while (g->Update() == 0 && ticks < 1000) ++ticks;
  EXPECT_GE(ticks, 238);
  EXPECT_LE(ticks, 242);
  EXPECT_EQ(g->m_result, 0);
}

// A revealed mismatch goes home by itself when its five seconds are up; a found pair goes home
// once the camera has shown it joining the tally.
TEST_F(PiratePlayTest, RevealedPiratesGoHomeWhenTheirTimeIsUp) {
  cpirategame* g = Playing();
  ASSERT_NE(g, nullptr);
  const int32_t a = HoleOf(g, 0), a2 = HoleOf(g, 0, a), b = HoleOf(g, 1);
  const Reactions mismatch = PickPair(g, a, b);
  EXPECT_TRUE(mismatch.firstDefeated && mismatch.secondDefeated);
  EXPECT_FALSE(mismatch.firstCelebrated || mismatch.secondCelebrated);
  ASSERT_EQ(g->m_playPhase, cpirategame::kPhaseInput);
  ASSERT_EQ(g->m_revealSeconds, 5);
  const int32_t seconds = g->m_secondsLeft;
  const int ticks = Tick(
      g, [&] { return g->m_playPhase != cpirategame::kPhaseInput; }, 600);
  EXPECT_EQ(g->m_playPhase, cpirategame::kPhaseLeapBack);
  EXPECT_EQ(g->m_returnVariant, cpirategame::kReturnBoth);
  EXPECT_EQ(seconds - g->m_secondsLeft, 5);
  {
    const PirateAnimSet& one = g->m_firstSet[0];
    const PirateAnimSet& two = g->m_secondSet[1];
    const PirateHole &ha = g->m_holes[a], &hb = g->m_holes[b];
    EXPECT_TRUE(one.helper->IsAnimationActive(Leap(one, ha.targetPos, ha.piratePos)));
    EXPECT_TRUE(two.helper->IsAnimationActive(Leap(two, hb.targetPos, hb.piratePos)));
  }
  EXPECT_GT(ticks, 240);
  EXPECT_LE(ticks, 300);
  // Both leap from beside their holes back into them, shrinking to their size in the hole.
  EXPECT_TRUE(Near(g->m_returnPos1, g->m_holes[a].targetPos, 60.0f));
  EXPECT_TRUE(Near(g->m_returnPos2, g->m_holes[b].targetPos, 60.0f));
  EXPECT_NEAR(g->m_returnScale.z, 2.0f, 0.15f);
  Tick(g, [&] { return g->m_playPhase == cpirategame::kPhaseInput; });
  EXPECT_TRUE(Near(g->m_returnPos1, g->m_holes[a].piratePos, 40.0f));
  EXPECT_TRUE(Near(g->m_returnPos2, g->m_holes[b].piratePos, 40.0f));
  EXPECT_NEAR(g->m_returnScale.z, 1.0f, 0.1f);
  EXPECT_EQ(g->m_revealSeconds, 0);
  EXPECT_EQ(g->m_firstPicked, 0);

  // The pair: the camera goes to the tally's first place, the new line sounds and fades in
  // over a second and two thirds, then both go home.
  GetSoundWrapper()->StopAll();
  const Reactions pair = PickPair(g, a, a2);
  EXPECT_TRUE(Speech(g, 1)) << "kind 0 answers its own kind";
  EXPECT_TRUE(pair.firstCelebrated && pair.secondCelebrated);
  EXPECT_FALSE(pair.firstDefeated || pair.secondDefeated);
  ASSERT_EQ(g->m_playPhase, cpirategame::kPhasePairFound);
  ASSERT_EQ(g->m_pairsLeft, 9);
  EXPECT_EQ(g->m_matchShown, 1);
  EXPECT_TRUE(Near(g->m_cameraTo, g->m_linePos[0], 1.0f));
  GetSoundWrapper()->StopAll();
  Tick(g, [&] { return g->m_tallyFading == 1; });
  EXPECT_TRUE(Effect(g, kSampleTally));
  EXPECT_EQ(g->m_cameraMoving, 0);
  EXPECT_TRUE(Near(g->LookAt(), g->m_linePos[0], 100.0f));
  EXPECT_NEAR(g->LookAt().z, g->m_linePos[0].z, 5.0f) << "down to the tally's level";
  const int fade = Tick(g, [&] { return g->m_playPhase != cpirategame::kPhasePairFound; });
  EXPECT_GE(fade, 100);
  EXPECT_LE(fade, 102);
  EXPECT_EQ(g->m_playPhase, cpirategame::kPhaseLeapBack);
  EXPECT_EQ(g->m_returnVariant, cpirategame::kReturnBoth);
  EXPECT_EQ(g->m_matchShown, 0);
  {
    const PirateAnimSet &one = g->m_firstSet[0], &two = g->m_secondSet[0];
    const PirateHole &h1 = g->m_holes[a], &h2 = g->m_holes[a2];
    EXPECT_TRUE(one.helper->IsAnimationActive(Leap(one, h1.targetPos, h1.piratePos)));
    EXPECT_TRUE(two.helper->IsAnimationActive(Leap(two, h2.targetPos, h2.piratePos)));
  }
  EXPECT_EQ(g->m_selectedHole, -1);
  Tick(g, [&] { return g->m_playPhase == cpirategame::kPhaseInput; });
  EXPECT_TRUE(Near(g->m_returnPos1, g->m_holes[a].piratePos, 40.0f));
  EXPECT_TRUE(Near(g->m_returnPos2, g->m_holes[a2].piratePos, 40.0f));
  EXPECT_EQ(g->m_revealSeconds, 0);
  // The second pair's camera goes to the tally's next place.
  const int32_t c = HoleOf(g, 2), c2 = HoleOf(g, 2, c);
  PickAndLand(g, c);
  Pick(g, c2);
  Tick(g, [&] { return g->m_playPhase == cpirategame::kPhasePairFound; });
  EXPECT_TRUE(Near(g->m_cameraTo, g->m_linePos[1], 1.0f));
}

TEST_F(PiratePlayTest, ATwoPlayerFinaleShowsItsEffectsOnAGeneratorOfTheirOwn) {
  cpirategame* g = StartFromMenu(kModeTwoPlayer, 0);
  ASSERT_NE(g, nullptr);
  ASSERT_TRUE(RunToPlay());
  // The camera's drop to the chest ends in dirt, the chest's opening in coins and sparkle.
  for (int i = 0; i < 200 && g->m_finaleState == 0; ++i) g->DropToChest();
  ASSERT_EQ(g->m_finaleState, 1);
  RenderWindow* main = GetApp().FindWindow(g->m_mainWindowId);
  ASSERT_NE(main, nullptr);
  EXPECT_NE(main->GetParticleSystem(g->m_finaleEffect), nullptr) << "the dirt";
  for (int i = 0; i < 400 && g->m_finaleState == 1; ++i) g->OpenChest();
  ASSERT_EQ(g->m_finaleState, 2);
  EXPECT_EQ(main->GetParticleSystemCount(), 3) << "dirt, coins and sparkle";
  // They run on the main window's own generator; play's does not move for them.
  ASSERT_NE(main->GetParticleRandom(), nullptr);
  const uint32_t own = main->GetParticleRandom()->GetRandCount();
  const uint32_t plays = GetRandCount();
  m_harness.RunFrames(2);
  EXPECT_GT(main->GetParticleRandom()->GetRandCount(), own);
  EXPECT_EQ(GetRandCount(), plays);
}

// The finale, tick by tick: the camera sinks towards the chest, the chest bursts out of the sand
// and opens with its chime and coins, six seconds over the open chest, the fade, and the win.
TEST_F(PiratePlayTest, TheFinaleSinksToTheChestOpensItAndWinsAfterSixSeconds) {
  cpirategame* g = Playing();
  ASSERT_NE(g, nullptr);
  RenderWindow* main = g->MainWindow();
  ASSERT_NE(main, nullptr);
  g->m_pairsLeft = 0;
  g->m_playPhase = cpirategame::kPhaseFinale;
  g->m_finaleState = cpirategame::kFinaleCameraDrop;
  const Vector4 chest = g->m_linePos[kLinePositions - 1];
  const float eyeZ = g->m_camera.GetPosition().z;
  GetSoundWrapper()->StopAll();
  int ticks[cpirategame::kFinaleDone + 1] = {};
  bool chimeBeforeCoins = false, won = false;
  int32_t dirt = -1;
  for (int tick = 0; tick < 2000 && !won; ++tick) {
    const int32_t state = g->m_finaleState;
    won = g->Update() == 1;
    ++ticks[state];
    if (state == cpirategame::kFinaleCameraDrop && g->m_finaleState != state) {
      dirt = g->m_finaleEffect;
      EXPECT_NEAR(g->m_camera.GetPosition().z, eyeZ - 1660.5f, 0.5f) << "sunk by 0.5 more a tick";
      EXPECT_TRUE(Effect(g, 11)) << "the chest bursts out";
    }
    if (state == cpirategame::kFinaleFadeOut && ticks[state] == 15) {
      g->Render();
      EXPECT_NEAR(main->GetColourFactors()[0], 0.75f, 0.02f) << "the island fades out";
    }
    if (g->m_finaleState == cpirategame::kFinaleTreasure && state != g->m_finaleState)
      chimeBeforeCoins = g->m_finaleChimed && Effect(g, 18) && Effect(g, 7);
    if (state == cpirategame::kFinaleChestOpening && g->m_finaleState == state) {
      EXPECT_FALSE(Effect(g, 7)) << "no coins before the chest is open";
      if (g->m_chestAnim->GetRemainingFraction(g->m_chestOpenAnim) <= 0.4f) {
        EXPECT_FALSE(Effect(g, 18)) << "no chime before two fifths";
      }
    }
  }
  EXPECT_TRUE(won);
  EXPECT_EQ(g->m_result, 1);
  EXPECT_EQ(ticks[cpirategame::kFinaleCameraDrop], 81);
  EXPECT_EQ(ticks[cpirategame::kFinaleChestOpening], 43) << "three fifths of the demo's 1.2 s";
  EXPECT_EQ(ticks[cpirategame::kFinaleTreasure], 360) << "six seconds";
  EXPECT_EQ(ticks[cpirategame::kFinaleFadeOut], 60) << "a second's fade";
  EXPECT_EQ(ticks[cpirategame::kFinaleDone], 1);
  EXPECT_TRUE(chimeBeforeCoins);
  // The dirt bursts at the chest; the sparkle rises above it.
  const BaseParticleSystem* burst = main->GetParticleSystem(dirt);
  const BaseParticleSystem* sparkle = main->GetParticleSystem(g->m_finaleEffect);
  ASSERT_NE(burst, nullptr);
  ASSERT_NE(sparkle, nullptr);
  EXPECT_NE(burst, sparkle);
  const float* at = burst->GetEmitterMatrix().m;
  EXPECT_TRUE(Near(Vector4(at[12], at[13], at[14], 1.0f), chest, 0.5f));
  at = sparkle->GetEmitterMatrix().m;
  EXPECT_TRUE(Near(Vector4(at[12], at[13], at[14], 1.0f),
                   Vector4(chest.x, chest.y, chest.z + 80.0f, 1.0f), 0.5f));
  EXPECT_EQ(main->GetParticleSystemCount(), 3) << "dirt, coins and sparkle";
}

class PirateLoadTest : public AppTest {
 protected:
  // The demo data, but for one file of the pirate game's folder; `bytes` of its own in its place
  // unless null.
  static void LinkDemoDataBut(const std::string& left, const std::string* bytes = nullptr) {
    LinkDemoDataFileByFile("PirateGame", {left});
    if (bytes) std::ofstream("data/PirateGame/" + left, std::ios::binary) << *bytes;
  }
  void StartApp() {
    GetSaveProfile() = SaveProfile();
    KavelApp::Register();
    ASSERT_TRUE(m_harness.Start());
    m_harness.SkipPixelWork();
    piratetest::UseFastClock(m_harness);
    m_harness.RunFrames(2);
  }
  // Frames (200 at most) until the started game waits for the player's first pick; the game then,
  // null while none is running.
  cpirategame* RunToInput() {
    cpirategame* g = nullptr;
    for (int i = 0; i < 200 && !(g && g->m_playPhase == cpirategame::kPhaseInput); ++i) {
      m_harness.RunFrames(1);
      g = GetKavelApp()->IsLoading() ? nullptr : CurrentPirateGame();
    }
    return g;
  }
};

// The island's light file too short for a light record: refused with a line and let go, the
// windows keep their own lights and the game plays.
TEST_F(PirateLoadTest, ALightFileTooShortIsRefusedAndTheWindowsKeepTheirOwnLights) {
  const std::string shortFile(40, '\x01');
  LinkDemoDataBut("skull_island.lgt", &shortFile);
  StartApp();
  const uint32_t files = MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile");
  PDFE_StartGameMrGorst();
  cpirategame* g = RunToInput();
  ASSERT_NE(g, nullptr);
  EXPECT_TRUE(DebugLogContains(
      "cpirategame: \"skull_island.lgt\" is 40 bytes, too short for a light record"));
  EXPECT_EQ(g->m_lightFile, nullptr);
  EXPECT_EQ(g->m_lightRecord, nullptr);
  const LightSetup* lights = g->MainWindow()->GetLightSetup();
  ASSERT_NE(lights, nullptr);
  EXPECT_NE(lights->count, 2u) << "not the island's";
  GetKavelApp()->StartGame(nullptr);
  m_harness.RunFrames(2);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile"), files)
      << "the short file let go";
  m_harness.Stop();
}

// With a speech bank long enough for it, the host speaks as the board opens.
TEST_F(PirateLoadTest, TheHostSpeaksAsTheBoardOpens) {
  std::vector<std::vector<uint8_t>> waves;
  for (int n = 0; n < 120; ++n)
    waves.push_back(wavwriter::WriteWav16(std::vector<int16_t>(4410, int16_t(1000 + n)), 1, 22050));
  const std::vector<uint8_t> bank = WriteSoundBank(waves);
  const std::string bytes(bank.begin(), bank.end());
  LinkDemoDataBut("MrGorstSpeech.bnk", &bytes);
  StartApp();
  PDFE_StartGameMrGorst();
  bool spoke = false, opened = false;
  for (int i = 0; i < 300 && !opened; ++i) {
    m_harness.RunFrames(1);
    cpirategame* g = GetKavelApp()->IsLoading() ? nullptr : CurrentPirateGame();
    if (!g || g->m_introState != cpirategame::kIntroBoardOpening) continue;
    opened = true;
    ASSERT_EQ(GetSoundWrapper()->GetSampleCount(g->m_speechBank), 120);
    spoke = GetSoundWrapper()->IsSamplePlaying(g->m_speechBank, 116) != 0;
  }
  EXPECT_TRUE(opened);
  EXPECT_TRUE(spoke);
  m_harness.Stop();
}

// A scene whose first hole has no cover: that hole stays out of play, the others play.
TEST_F(PirateLoadTest, AHoleWithoutItsCoverStaysOutOfPlay) {
  std::ifstream in(DemoDataFolder() + "/PirateGame/skull_island.scn", std::ios::binary);
  std::string scene((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t at = scene.find("object00");
  ASSERT_NE(at, std::string::npos);
  scene[at + 5] = 'x';  // "objecx00": no hole's cover
  LinkDemoDataBut("skull_island.scn", &scene);
  StartApp();
  AssertCounter reports;
  GetKavelApp()->GetFrontEnd()->SetDifficulty(2);
  PDFE_StartGameMrGorst();
  cpirategame* g = RunToInput();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->m_holes[0].objectNode, -1);
  EXPECT_EQ(g->m_holes[0].outOfPlay, 1);
  EXPECT_EQ(g->m_holes[0].selected, 0);
  EXPECT_EQ(CountInPlay(g->m_holes), kHoles - 1);
  for (int32_t i = 1; i < kHoles; ++i) EXPECT_GE(g->m_holes[i].objectNode, 0) << i;
  m_harness.RunFrames(2);
  EXPECT_EQ(reports.Count(), 0u) << "a missing cover is no fault: " << reports.LastFile() << ":"
                                 << reports.LastLine();
  m_harness.Stop();
}

TEST_F(PirateLoadTest, WithoutItsSceneTheGameIsRefusedAndLeavesNothing) {
  LinkDemoDataBut("skull_island.scn");
  StartApp();
  PDFE_StartGameMrGorst();
  ASSERT_NE(CurrentPirateGame(), nullptr);
  for (int i = 0; i < 10 && CurrentPirateGame(); ++i) m_harness.RunFrames(1);
  EXPECT_EQ(CurrentPirateGame(), nullptr);
  EXPECT_TRUE(DebugLogContains("cpirategame: cannot play without the scene \"skull_island.scn\""));
  EXPECT_EQ(GetKavelApp()->GetFrontEnd()->GetScreen(), CFrontEnd::Screen::Message);
  EXPECT_EQ(GameBlocks(), 0u);
  EXPECT_EQ(m_harness.app().GetWindowCount(), 1);
  m_harness.Stop();
}

}  // namespace
