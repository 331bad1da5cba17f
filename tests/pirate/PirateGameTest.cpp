// The pirate game end to end through the real App and menu on the demo data: scripted play finds
// the pairs and opens the chest, or lets the clock run out, in normal mode and both challenges;
// the game leaves one front-end window and none of its blocks behind.
#include <gtest/gtest.h>

#include "Engine/Random.h"
#include "Game/Frontend/GameMakers.h"
#include "Game/Frontend/PDFE.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Sound/CSoundWrapper.h"
#include "tests/pirate/PirateTestSupport.h"
#include "tests/support/LogCapture.h"

namespace {

using piratetest::Autopilot;
using piratetest::CurrentPirateGame;
using piratetest::GameBlocks;

// What a run showed before the game was deleted.
struct Seen {
  int32_t pairsFound = 0;
  int32_t secondsLeft = 0;
  int32_t finaleState = -1;
  bool timeUpMessage = false;
  bool chestOpened = false;
  // The chest's sounds in order of the finale: it opens, chimes, and the coins pour.
  bool chestSounds[3] = {false, false, false};
  bool effectsStarted = false;
  bool cameraSank = false;  // towards the chest as the finale starts
  int frames = 0;
  bool ended = false;
};

// A game made as the menu makes it, with its first `phases` load phases run.
GameBaseClass* MakePirateGameForTest(int phases) {
  GameBaseClass* game = MakePirateGame(kModeNormal, 0);
  if (!game) return nullptr;
  int32_t loaded = 1;
  if (phases >= 1) loaded &= game->LoadPhase1();
  if (phases >= 2) loaded &= game->LoadPhase2();
  if (phases >= 3) loaded &= game->LoadPhase3();
  EXPECT_EQ(loaded, 1);
  return game;
}

class PirateGameTest : public piratetest::PirateAppTest {
 protected:
  Seen Play(Autopilot& pilot, int frameLimit) {
    Seen seen;
    for (; seen.frames < frameLimit; ++seen.frames) {
      const cpirategame* g = CurrentPirateGame();
      if (!g) {
        seen.ended = true;
        break;
      }
      seen.pairsFound = kPirateKinds - g->m_pairsLeft;
      seen.secondsLeft = g->m_secondsLeft;
      if (g->m_playPhase == cpirategame::kPhaseFinale) seen.finaleState = g->m_finaleState;
      seen.timeUpMessage |= g->m_secondsLeft == 0 && g->m_ingameText.shown == 1;
      if (g->m_playPhase == cpirategame::kPhaseFinale) {
        CSoundWrapper* sound = GetSoundWrapper();
        const int32_t samples[3] = {11, 18, 7};
        for (int i = 0; i < 3; ++i)
          seen.chestSounds[i] |= sound && sound->IsSamplePlaying(g->m_effectsBank, samples[i]);
        seen.effectsStarted |= g->m_finaleEffect != -1;
        seen.cameraSank |= g->m_camera.GetPosition().z < g->m_playCameraPos.z - 1000.0f;
      }
      if (g->m_chestAnim && g->m_finaleState >= cpirategame::kFinaleTreasure)
        seen.chestOpened |= g->m_chestAnim->GetRemainingFraction(g->m_chestOpenAnim) > 0.6f;
      Drive(pilot);
    }
    return seen;
  }
};

// The board every scripted run is dealt from.
constexpr uint32_t kRunSeed = 7919u;

struct RunCase {
  const char* name;
  int32_t mode;
  int32_t level;
  int pairsToFind;
  int32_t startSeconds;
  // Expected.
  int32_t pairsFound;
  bool won;
  bool finale;
};

TEST_F(PirateGameTest, ScriptedRunsEndAsTheirModeSays) {
  const RunCase cases[] = {
      {"normal, all ten pairs open the chest", kModeNormal, 2, 10, 300, 10, true, true},
      {"challenge 1: five pairs in 60 s win at once", kModeChallenge1, 0, 10, 60, 5, true, false},
      {"challenge 1: the clock runs out", kModeChallenge1, 1, 1, 60, 1, false, false},
      {"challenge 2: ten pairs in 180 s", kModeChallenge2, 0, 10, 180, 10, true, true},
  };
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.name);
    // Every run is dealt from the same seed, whatever the runs before it drew.
    SeedRand(kRunSeed);
    GetSaveProfile() = SaveProfile();
    cpirategame* game = StartFromMenu(c.mode, c.level);
    ASSERT_NE(game, nullptr);
    EXPECT_EQ(game->GetGameId(), 6);
    EXPECT_EQ(game->m_secondsLeft, c.startSeconds);
    ASSERT_TRUE(RunToPlay());
    EXPECT_EQ(CountInPlay(game->m_holes), c.level == 0 ? 20 : (c.level == 1 ? 25 : 30));
    Autopilot pilot(c.pairsToFind);
    const Seen seen = Play(pilot, 6000);
    ASSERT_TRUE(seen.ended) << "after " << seen.frames << " frames, " << seen.pairsFound
                            << " pairs, " << seen.secondsLeft << " s left";
    EXPECT_EQ(seen.pairsFound, c.pairsFound);
    EXPECT_EQ(seen.finaleState >= cpirategame::kFinaleFadeOut, c.finale);
    EXPECT_EQ(seen.chestOpened, c.finale);
    for (bool heard : seen.chestSounds) EXPECT_EQ(heard, c.finale);
    EXPECT_EQ(seen.effectsStarted, c.finale) << "the dirt, coins and sparkles";
    EXPECT_EQ(seen.cameraSank, c.finale);
    EXPECT_EQ(seen.timeUpMessage, !c.won);
    if (c.mode == kModeNormal) {
      const HighScoreEntry* best = GetSaveProfile().GetHighScore(cpirategame::kGameId, 0);
      ASSERT_NE(best, nullptr);
      EXPECT_EQ(best->score, 100000) << "ten pairs without a miss";
    } else {
      EXPECT_EQ(GetSaveProfile().UnlockCount(), c.won ? 1 : 0);
    }
    EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message);
    EXPECT_EQ(GameBlocks(), 0u);
    Press(plat::kDIK_RETURN);
  }
}

TEST_F(PirateGameTest, PlayedTwiceFromTheMenuItLeavesOneWindowAndNoBlock) {
  const int32_t frontEndWindow = FrontEnd()->GetWindowId();
  uint32_t blocksAfter[2] = {};
  for (int run = 0; run < 2; ++run) {
    const uint32_t files = MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile");
    cpirategame* game = StartFromMenu(kModeNormal, 0);
    ASSERT_NE(game, nullptr);
    ASSERT_TRUE(RunToPlay());
    EXPECT_EQ(m_harness.app().GetWindowCount(), 3);
    EXPECT_NE(m_harness.app().FindWindow(game->m_mainWindowId), nullptr);
    EXPECT_NE(m_harness.app().FindWindow(game->m_overlayWindowId), nullptr);
    EXPECT_NE(game->m_mainWindowId, game->m_overlayWindowId);
    // What the game holds of the shared factories, each let go when it ends.
    App& app = GetApp();
    const int32_t textures[] = {game->m_hookTexture, game->m_iconTexture};
    const int32_t effects[] = {game->m_dirtEffect, game->m_coinEffect, game->m_sparkleEffect};
    const int32_t banks[] = {game->m_effectsBank, game->m_speechBank};
    const int32_t scene = game->m_sceneId;
    const int32_t scenes = app.GetSceneFactory()->GetCount();
    int32_t models[2 * cpirategame::kKinds];
    for (int32_t kind = 0; kind < cpirategame::kKinds; ++kind) {
      models[2 * kind] = game->m_pirateGeos[kind];
      models[2 * kind + 1] = game->m_tallyGeos[kind];
    }
    for (int32_t texture : textures) EXPECT_NE(texture, -1);
    for (int32_t effect : effects) EXPECT_NE(app.GetParticleFactory()->Find(effect), nullptr);
    for (int32_t bank : banks) EXPECT_GT(GetSoundWrapper()->GetSampleCount(bank), 0);
    for (int32_t model : models) EXPECT_NE(app.GetNodeFactory()->Find(model), nullptr);
    ASSERT_NE(app.GetSceneFactory()->FindScene(scene), nullptr);
    EXPECT_FALSE(DebugLogContains("too short for a light record")) << "the demo's is whole";
    // The island is lit by its own light file and its sounds carry across it.
    for (const int32_t id : {game->m_mainWindowId, game->m_overlayWindowId}) {
      const LightSetup* lights = app.FindWindow(id)->GetLightSetup();
      ASSERT_EQ(lights, game->m_lightRecord);
      EXPECT_EQ(lights->count, 2u);
      EXPECT_FLOAT_EQ(lights->ambient[0], 0.45f);
    }
    EXPECT_EQ(app.FindWindow(game->m_mainWindowId)->GetScene(), game->GetScene());
    // The island's window clears to its sea colour; the overlay only clears depth, the island
    // showing beneath it.
    EXPECT_EQ(app.FindWindow(game->m_mainWindowId)->GetFlags(),
              BaseRenderWindow::kClearColour | BaseRenderWindow::kClearDepth);
    EXPECT_EQ(app.FindWindow(game->m_overlayWindowId)->GetFlags(), BaseRenderWindow::kClearDepth);
    EXPECT_FLOAT_EQ(GetSoundWrapper()->Get3DMaxDistance(), 40000.0f);
    // Escape pauses, Return leaves the paused game.
    Press(plat::kDIK_ESCAPE);
    Press(plat::kDIK_RETURN);
    ASSERT_EQ(CurrentPirateGame(), nullptr) << "run " << run;
    for (int32_t texture : textures) EXPECT_EQ(app.GetTexture()->Find(texture), nullptr);
    for (int32_t effect : effects) EXPECT_EQ(app.GetParticleFactory()->Find(effect), nullptr);
    for (int32_t bank : banks) EXPECT_EQ(GetSoundWrapper()->GetSampleCount(bank), 0);
    for (int32_t model : models) EXPECT_EQ(app.GetNodeFactory()->Find(model), nullptr);
    EXPECT_EQ(app.GetSceneFactory()->FindScene(scene), nullptr);
    EXPECT_EQ(app.GetSceneFactory()->GetCount(), scenes - 1);
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile"), files) << "the light file";
    EXPECT_EQ(GameBlocks(), 0u);
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("AnimationHelper::CreateSkeleton"), 0u);
    blocksAfter[run] = MemoryTracker::GetStatistics().totalAllocUnitCount;
  }
  EXPECT_EQ(blocksAfter[1], blocksAfter[0]) << "the second game left no more blocks than the first";
  EXPECT_EQ(m_harness.app().GetWindowCount(), 1);
  EXPECT_NE(m_harness.app().FindWindow(frontEndWindow), nullptr);
}

TEST_F(PirateGameTest, CleanUpMayRunTwiceAndAfterAPartialLoad) {
  for (int phases = 0; phases <= 3; ++phases) {
    cpirategame* game = static_cast<cpirategame*>(MakePirateGameForTest(phases));
    ASSERT_NE(game, nullptr);
    game->CleanUp();
    game->CleanUp();
    EXPECT_EQ(game->m_mainWindowId, -1);
    EXPECT_EQ(game->m_holes, nullptr);
    EXPECT_EQ(game->m_sceneId, -1);
    EXPECT_EQ(game->m_effectsBank, -1);
    EXPECT_EQ(game->m_dirtEffect, -1);
    EXPECT_EQ(game->m_boardAnim, nullptr);
    // Every handle is back at none, so that a second clean-up lets go of nothing twice.
    for (const int32_t handle :
         {game->m_overlayWindowId, game->m_hookTexture, game->m_iconTexture, game->m_speechBank,
          game->m_coinEffect, game->m_sparkleEffect, game->m_finaleEffect, game->m_boardOpenAnim,
          game->m_chestOpenAnim})
      EXPECT_EQ(handle, -1);
    for (int32_t kind = 0; kind < cpirategame::kKinds; ++kind) {
      EXPECT_EQ(game->m_pirateGeos[kind], -1);
      EXPECT_EQ(game->m_tallyGeos[kind], -1);
      for (int32_t set = 0; set < cpirategame::kSets; ++set) {
        const PirateAnimSet* s = game->SetFor(set, kind);
        EXPECT_EQ(s->helper, nullptr);
        for (const int32_t anim :
             {s->celebrate, s->defeat, s->gesture, s->leapLeft, s->leapRight, s->stand})
          EXPECT_EQ(anim, -1);
      }
    }
    EXPECT_EQ(game->m_chestAnim, nullptr);
    EXPECT_EQ(game->m_lightRecord, nullptr);
    EXPECT_EQ(game->m_lightFile, nullptr);
    EXPECT_EQ(game->m_mainCamera, nullptr);
    TrackedDelete("PirateGameTest", game);
    EXPECT_EQ(GameBlocks(), 0u) << phases << " load phases";
    EXPECT_EQ(m_harness.app().GetWindowCount(), 1) << phases << " load phases";
  }
}

}  // namespace
