// The pirate game's pinned play on the real App and demo data, driven tick by tick through the
// game's own operations: the picks and who leaps home, the points, the hash, the camera move at
// any frame rate, and a load refused without its scene.
#include <gtest/gtest.h>

#include <filesystem>

#include "Engine/Random.h"
#include "Game/Frontend/PDFE.h"
#include "Game/Sound/CSoundWrapper.h"
#include "tests/pirate/PirateTestSupport.h"
#include "tests/support/LogCapture.h"

namespace {

using piratetest::CurrentPirateGame;
using piratetest::GameBlocks;

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
  // An empty second pick sends the first home alone (variant 1) and counts a miss.
  Pick(g, empty);
  EXPECT_EQ(g->m_playPhase, cpirategame::kPhaseLeapBack);
  EXPECT_EQ(g->m_returnVariant, cpirategame::kReturnFirstAlone);
  EXPECT_EQ(g->m_returnHole, a);
  EXPECT_EQ(g->m_firstPicked, 0);
  EXPECT_EQ(g->m_misses, 1);
  Tick(g, [&] { return g->m_playPhase == cpirategame::kPhaseInput; });

  // A mismatch stays out revealed for five seconds, a miss more.
  RevealMismatch(g, a, b);
  EXPECT_EQ(g->m_revealSeconds, 5);
  EXPECT_EQ(g->m_misses, 2);
  // A third hole sends the pair home (variant 2, the old first on its spare set).
  Pick(g, c);
  EXPECT_EQ(g->m_returnVariant, cpirategame::kReturnPairForNew);
  EXPECT_EQ(g->m_returnHole, a);
  EXPECT_EQ(g->m_firstHole, c);
  EXPECT_EQ(g->m_revealSeconds, 0);
  Tick(g, [&] { return g->m_playPhase == cpirategame::kPhaseInput; });

  // Picking the old second of a revealed pair keeps it out as the new first (variant 3).
  const int32_t cPartner = HoleOf(g, 2, c);
  Pick(g, b);
  Tick(g, [&] { return g->m_playPhase == cpirategame::kPhaseInput && !g->m_pairPending; });
  ASSERT_EQ(g->m_revealSeconds, 5);
  Pick(g, b);
  EXPECT_EQ(g->m_returnVariant, cpirategame::kReturnOtherOfPair);
  EXPECT_EQ(g->m_firstHole, b);
  EXPECT_EQ(g->m_secondHole, c);
  EXPECT_EQ(g->m_firstPicked, 1);
  Tick(g, [&] { return g->m_playPhase == cpirategame::kPhaseInput; });
  // An empty pick while a pair is revealed sends both home (variant 0).
  Pick(g, cPartner);
  Tick(g, [&] { return g->m_playPhase == cpirategame::kPhaseInput && !g->m_pairPending; });
  const int32_t missesBefore = g->m_misses;
  Pick(g, empty);
  EXPECT_EQ(g->m_returnVariant, cpirategame::kReturnBoth);
  EXPECT_EQ(g->m_misses, missesBefore + 1);
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
}

TEST_F(PiratePlayTest, TheHashFollowsSelectionPicksAndPairsButNotARunningMove) {
  cpirategame* g = Playing();
  ASSERT_NE(g, nullptr);
  const uint32_t idle = g->GetStateHash();
  g->Update();
  EXPECT_EQ(g->GetStateHash(), idle);
  const int32_t a = HoleOf(g, 3);
  g->SelectHole(a);
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
  g->m_secondsLeft = 9;
  g->Update();
  EXPECT_EQ(GetSoundWrapper()->IsSamplePlaying(g->m_effectsBank, 0), 1);
  GetSoundWrapper()->StopSample(g->m_effectsBank, 0);
  g->Update();
  EXPECT_EQ(GetSoundWrapper()->IsSamplePlaying(g->m_effectsBank, 0), 1) << "ticking again";
  g->m_mode = kModeChallenge1;
  g->m_pairsLeft = 5;
  EXPECT_EQ(g->Update(), 1);
  EXPECT_EQ(g->m_result, 1);
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

class PirateLoadTest : public AppTest {};

TEST_F(PirateLoadTest, WithoutItsSceneTheGameIsRefusedAndLeavesNothing) {
  // The demo data, but for the island scene.
  std::filesystem::create_directory("data");
  for (const auto& entry : std::filesystem::directory_iterator(DemoDataFolder())) {
    const std::string name = entry.path().filename().string();
    if (name != "PirateGame") {
      std::filesystem::create_directory_symlink(entry.path(), "data/" + name);
      continue;
    }
    std::filesystem::create_directory("data/PirateGame");
    for (const auto& file : std::filesystem::directory_iterator(entry.path()))
      if (file.path().filename() != "skull_island.scn")
        std::filesystem::create_symlink(file.path(),
                                        "data/PirateGame/" + file.path().filename().string());
  }
  GetSaveProfile() = SaveProfile();
  KavelApp::Register();
  ASSERT_TRUE(m_harness.Start());
  m_harness.SkipPixelWork();
  piratetest::UseFastClock(m_harness);
  m_harness.RunFrames(2);
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
