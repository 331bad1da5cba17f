// The penalty-kick game end to end through the real application on the demo data: started from
// the menu, played with scripted aim and power, its goals, saves, clock and result, and what it
// leaves behind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCNodeFactory.h"
#include "Engine/PC/PCParticleFactory.h"
#include "Engine/PC/PCSceneFactory.h"
#include "Engine/PC/PCTexture.h"
#include "Engine/Random.h"
#include "Game/Frontend/PDFE.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Localisation/LocalisedText.h"
#include "Game/Sound/CSoundWrapper.h"
#include "tests/football/FootballTestSupport.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PixelProbe.h"

namespace {

using namespace footballtest;
using G = cfootballgame;

struct KickScript {
  int elevation;  // frames Up is held, from level
  int heading;    // the aim, in hundredths of a radian either side of straight at the goal
  int presses;    // kick-button presses during the run-up
};

struct KickResult {
  bool goal = false;
  bool save = false;
  int32_t finalState = 0;
  bool goalText = false;   // "goal" was shown
  bool goalSound = false;  // and the net's sound heard
};

class FootballGameTest : public FootballTest {
 protected:
  // One kick from aiming to the next aim (or the end); what came of it.
  KickResult Kick(G* game, const KickScript& k) {
    KickResult result;
    const uint32_t goalsBefore = game->goals;
    // Level first (the aim is kept from the last kick), then up, then round to the heading.
    Hold(m_harness, plat::kDIK_DOWN, 101);
    if (k.elevation > 0) Hold(m_harness, plat::kDIK_UP, k.elevation);
    int steps = static_cast<int>(std::lround(game->heading * 100.0f));
    if (steps > 314) steps -= 628;
    const int turn = k.heading - steps;
    if (turn != 0)
      Hold(m_harness, turn > 0 ? plat::kDIK_LEFT : plat::kDIK_RIGHT, turn > 0 ? turn : -turn);
    Tap(m_harness, plat::kDIK_SPACE);
    EXPECT_EQ(game->phase, G::kPhaseRunUp);
    for (int i = 0; i < k.presses && game->phase == G::kPhaseRunUp; ++i)
      Tap(m_harness, plat::kDIK_SPACE);
    RunUntil(
        m_harness,
        [&] {
          if (!GetKavelApp()->GetCurrentGame()) return true;
          result.save |= game->phase == G::kPhaseKeeperHolds;
          result.goalText |= game->m_ingameText.shown && game->m_ingameText.text &&
                             std::u16string(game->m_ingameText.text) == GetLocalisedText(144);
          result.goalSound |= GetSoundWrapper()->IsSamplePlaying(game->m_effectsBank, 26) != 0;
          result.finalState = game->ballState;
          return game->phase == G::kPhaseAim && !game->m_fadeTimer.IsRunning();
        },
        3000);
    result.goal = GetKavelApp()->GetCurrentGame() && game->goals > goalsBefore;
    return result;
  }
};

TEST_F(FootballGameTest, TheMenuStartsTheGameWithItsClockByMode) {
  struct Case {
    int32_t mode;
    uint32_t seconds;
  };
  for (const Case c :
       {Case{kModeNormal, 240}, Case{kModeChallenge1, 120}, Case{kModeChallenge2, 300}}) {
    G* game = StartFromMenu(c.mode, 1);
    ASSERT_NE(game, nullptr) << "mode " << c.mode;
    EXPECT_EQ(game->GetGameId(), 3);
    EXPECT_EQ(game->timeLeft, c.seconds);
    EXPECT_EQ(game->phase, G::kPhaseIntro);
    ASSERT_TRUE(PlayIntro(game));
    // A second of play is 60 ticks off the clock.
    m_harness.RunFrames(60);
    EXPECT_EQ(game->timeLeft, c.seconds - 1);
    GetKavelApp()->StartGame(nullptr);
    m_harness.RunFrames(2);
  }
}

TEST_F(FootballGameTest, ScriptedKicksScoreAndGetSavedUntilTheClockEndsTheGame) {
  SeedRand(0x1234u);
  G* game = StartFromMenu(kModeNormal, 0);
  ASSERT_NE(game, nullptr);
  ASSERT_TRUE(PlayIntro(game));
  const KickScript kicks[] = {{30, 0, 12},   {25, 25, 20}, {40, 0, 10},
                              {25, -25, 20}, {35, 22, 14}, {20, 0, 25}};
  int goals = 0, saves = 0;
  for (const KickScript& k : kicks) {
    const KickResult r = Kick(game, k);
    std::printf("kick %d %d %d: goal %d save %d state %d\n", k.elevation, k.heading, k.presses,
                r.goal, r.save, r.finalState);
    goals += r.goal;
    saves += r.save;
    EXPECT_EQ(r.goalText, r.goal);
    EXPECT_EQ(r.goalSound, r.goal);
  }
  EXPECT_GE(goals, 1);
  EXPECT_GE(saves, 1);
  const int32_t score = game->GetScore(0);
  EXPECT_GE(score, goals * 17000);
  // The rest of the clock, short: time up, the closing line and the fade, then the result.
  game->timeLeft = 2;
  ASSERT_TRUE(RunUntil(
      m_harness, [&] { return game->phase == G::kPhaseTimeUp; }, 600));
  ASSERT_TRUE(game->m_ingameText.shown);
  EXPECT_EQ(std::u16string(game->m_ingameText.text), GetLocalisedText(106)) << "time up";
  EXPECT_TRUE(GetSoundWrapper()->IsSamplePlaying(game->m_effectsBank, 32)) << "the whistle";
  ASSERT_TRUE(RunToEnd(2000));
  const HighScoreEntry* best = GetSaveProfile().GetHighScore(G::kGameId, 0);
  ASSERT_NE(best, nullptr);
  EXPECT_EQ(best->score, score);
  EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message);
}

TEST_F(FootballGameTest, AChallengeEndsAfterItsGoalsAndTheUnlockIsRecorded) {
  struct Case {
    int32_t mode;
    uint32_t goals;
  };
  for (const Case c : {Case{kModeChallenge1, 3}, Case{kModeChallenge2, 6}}) {
    G* game = StartFromMenu(c.mode, 2);
    ASSERT_NE(game, nullptr);
    ASSERT_TRUE(PlayIntro(game));
    const int32_t unlocks = GetSaveProfile().UnlockCount();
    // The goals before the last are given; the last is scored as a ball over the line.
    game->goals = c.goals - 1;
    game->phase = G::kPhaseFlight;
    game->ballState = G::kBallAtRest;
    game->ballPosition = Vector4(-20.0f, 0.0f, 10.0f, 1.0f);
    game->ballVelocity = Vector4(-100.0f, 0.0f, 0.0f, 0.0f);
    ASSERT_TRUE(RunToEnd(1500)) << "mode " << c.mode;
    EXPECT_EQ(GetSaveProfile().UnlockCount(), unlocks + 1) << "mode " << c.mode;
    Tap(m_harness, plat::kDIK_RETURN);
  }
}

TEST_F(FootballGameTest, EachKickLooksAndSoundsAsHardAsItIsFromTheFirstOn) {
  struct Case {
    int presses;  // during the run-up
    bool soft;
  };
  G* game = StartFromMenu(kModeNormal, 0);
  ASSERT_NE(game, nullptr);
  ASSERT_TRUE(PlayIntro(game));
  // A hard first kick, then a soft one after it: neither takes the kick before's look.
  for (const Case c : {Case{10, false}, Case{0, true}}) {
    SCOPED_TRACE(c.presses);
    Tap(m_harness, plat::kDIK_SPACE);
    ASSERT_EQ(game->phase, G::kPhaseRunUp);
    for (int i = 0; i < c.presses; ++i) Tap(m_harness, plat::kDIK_SPACE);
    bool softSeen = false, hardSeen = false;
    ASSERT_TRUE(RunUntil(
        m_harness,
        [&] {
          softSeen |= game->dulcieAnim->IsAnimationActive(game->dulcieKickSoft) != 0;
          hardSeen |= game->dulcieAnim->IsAnimationActive(game->dulcieKickHard) != 0;
          return game->phase != G::kPhaseRunUp;
        },
        200));
    EXPECT_EQ(game->kickSpeed < 100.0f, c.soft) << "speed " << game->kickSpeed;
    EXPECT_EQ(softSeen, c.soft);
    EXPECT_EQ(hardSeen, !c.soft);
    const CSoundWrapper* sound = GetSoundWrapper();
    EXPECT_EQ(sound->IsSamplePlaying(game->m_effectsBank, 20) != 0, c.soft);
    EXPECT_EQ(sound->IsSamplePlaying(game->m_effectsBank, 21) != 0, !c.soft);
    if (c.soft) break;  // the last kick: nothing more to wait for
    ASSERT_TRUE(RunUntil(
        m_harness, [&] { return game->phase == G::kPhaseAim && !game->m_fadeTimer.IsRunning(); },
        3000));
  }
}

TEST_F(FootballGameTest, PlayingTwiceLeavesOneWindowAndNoBlockOfTheGame) {
  const int32_t frontEndWindow = FrontEnd()->GetWindowId();
  uint32_t blocksAfter[2] = {};
  for (int run = 0; run < 2; ++run) {
    G* game = StartFromMenu(kModeNormal, run);
    ASSERT_NE(game, nullptr);
    EXPECT_NE(game->sceneWindowId, -1);
    EXPECT_NE(m_harness.app().FindWindow(game->sceneWindowId), nullptr) << "the id AddWindow gave";
    EXPECT_NE(m_harness.app().FindWindow(game->overlayWindowId), nullptr);
    EXPECT_EQ(defenderCount, kDefenderCount);
    ASSERT_TRUE(PlayIntro(game));
    // Three goals win a game of the normal mode: the first run falls one short.
    game->goals = run == 0 ? 2 : 3;
    game->timeLeft = 1;
    // Time up: the whistle and its text, then the closing line over the fade.
    ASSERT_TRUE(RunUntil(
        m_harness, [&] { return game->phase == G::kPhaseEnd; }, 600));
    EXPECT_TRUE(GetSoundWrapper()->IsSamplePlaying(game->m_speechBank, 18)) << "the closing line";
    EXPECT_FALSE(GetSoundWrapper()->IsMusicPlaying()) << "over the music's silence";
    EXPECT_EQ(game->m_fadeTimer.m_direction, 0);
    // What the game loaded, to be let go of when it ends.
    const std::vector<int32_t> geos = {
        game->ballGeo,       game->arrowGeo,           game->targetGeo,         game->windArrowGeo,
        game->shadowBlobGeo, game->shadowBlobSmallGeo, game->shadowBlobLargeGeo};
    const std::vector<int32_t> textures(game->hudTextures, game->hudTextures + G::kHudTextureCount);
    const std::vector<int32_t> effects = {game->redTargetFx, game->whiteTargetFx,
                                          game->blueTargetFx, game->grassFx};
    const int32_t scene = game->pitchScene;
    const int32_t banks[2] = {game->m_effectsBank, game->m_speechBank};
    ASSERT_TRUE(RunToEnd(1500)) << "run " << run;
    for (const int32_t geo : geos) {
      ASSERT_NE(geo, -1);
      EXPECT_EQ(GetApp().GetNodeFactory()->Find(geo), nullptr) << "model " << geo;
    }
    for (const int32_t texture : textures) {
      ASSERT_NE(texture, -1);
      EXPECT_EQ(GetApp().GetTexture()->Find(texture), nullptr) << "texture " << texture;
    }
    for (const int32_t fx : effects) {
      ASSERT_NE(fx, -1);
      EXPECT_EQ(GetApp().GetParticleFactory()->Find(fx), nullptr) << "effect " << fx;
    }
    EXPECT_EQ(GetApp().GetSceneFactory()->FindScene(scene), nullptr);
    for (const int32_t bank : banks) EXPECT_EQ(GetSoundWrapper()->GetSampleCount(bank), 0);
    EXPECT_EQ(GetSaveProfile().GetHighScore(G::kGameId, 0)->score, 0);
    EXPECT_EQ(std::u16string(FrontEnd()->GetMessageLine(0)),
              GetLocalisedText(run == 0 ? 1015 : 1014))
        << "game over, then won";
    EXPECT_EQ(defenderCount, 0) << "none left once the game has gone";
    Tap(m_harness, plat::kDIK_RETURN);
    blocksAfter[run] = MemoryTracker::GetStatistics().totalAllocUnitCount;
  }
  EXPECT_EQ(blocksAfter[1], blocksAfter[0]) << "the second game left no more blocks than the first";
  EXPECT_EQ(m_harness.app().GetWindowCount(), 1);
  EXPECT_NE(m_harness.app().FindWindow(frontEndWindow), nullptr);
  for (const char* owner :
       {"cfootballgame::Make", "cfootballgame::Init", "cfootballgame::LoadPhase1",
        "cfootballgame::LoadPhase2", "cfootballgame::InitialiseCharacterAnimations",
        "cfootballgame::InitialiseCharacterBipeds", "cDefender::cDefender"})
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy(owner), 0u) << owner;
}

// Broken files in the game's folder: the game loads without them, says so, and plays.
class FootballBrokenDataTest : public FootballTest,
                               public ::testing::WithParamInterface<const char*> {
 protected:
  void LinkData() override {
    namespace fs = std::filesystem;
    const std::string broken = GetParam();
    const std::string name = broken.substr(0, broken.find(':'));
    LinkDemoDataFileByFile("FootballGame", {name});
    const fs::path path = fs::path("data/FootballGame") / name;
    if (broken.find(":short") != std::string::npos) {
      std::ofstream(path, std::ios::binary) << std::string(40, '\x01');
    } else if (broken.find(":empty") != std::string::npos) {
      std::ofstream(path, std::ios::binary);
    } else if (broken.find(":junk") != std::string::npos) {
      std::ofstream(path, std::ios::binary) << std::string(300, '\xFF');
    }
  }
};

TEST_P(FootballBrokenDataTest, TheGameLoadsWithoutTheFileAndPlays) {
  G* game = StartFromMenu(kModeNormal, 0);
  ASSERT_NE(game, nullptr);
  m_harness.RunFrames(700);
  ASSERT_EQ(CurrentGame(), game);
  EXPECT_NE(game->phase, G::kPhaseIntro) << "the intro ran to play";
  const std::string file = GetParam();
  if (file.rfind("pitch.lgt", 0) == 0) {
    EXPECT_TRUE(DebugLogContains("no light record in \"pitch.lgt\""));
    EXPECT_EQ(game->lightRecord, nullptr);
  }
  if (file == "pitch.scn") {
    EXPECT_TRUE(DebugLogContains("no scene \"pitch.scn\""));
  }
  GetKavelApp()->StartGame(nullptr);
  m_harness.RunFrames(2);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("cfootballgame::LoadPhase2"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Files, FootballBrokenDataTest,
                         ::testing::Values("pitch.lgt", "pitch.lgt:short", "pitch.lgt:empty",
                                           "pitch.scn", "pitch.scn:short", "pitch.scn:junk"));

}  // namespace
namespace {

// The strongest blue of the wind arrow, which the overlay draws near the top right.
int WindArrowBlue(const std::vector<uint32_t>& pixels) {
  int strongest = 0;
  for (int y = 40; y < 120; ++y)
    for (int x = 480; x < 620; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * 640 + x];
      const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      if (b > r + 40 && b > g + 20 && b > strongest) strongest = b;
    }
  return strongest;
}

TEST_F(FootballGameTest, TheFadeBetweenKicksDimsTheOverlayAloneAndEndsAtFullColour) {
  m_harness.SkipPixelWork(false);  // the frames of the fade are looked at
  // Four ticks a frame: the intro and the kick are not what is looked at.
  m_harness.system().SetCounterStepPerRead(2 * kCountsPerSecond / 60);
  G* game = StartFromMenu(kModeNormal, 0);
  ASSERT_NE(game, nullptr);
  ASSERT_TRUE(PlayIntro(game));
  Tap(m_harness, plat::kDIK_SPACE);
  for (int i = 0; i < 8 && game->phase == G::kPhaseRunUp; ++i) Tap(m_harness, plat::kDIK_SPACE);
  // Half way down the fade that hides the change to the next kick.
  ASSERT_TRUE(RunUntil(
      m_harness,
      [&] { return game->phase == G::kPhaseNextKick && game->m_fadeTimer.Progress() >= 0.5f; },
      3000));
  gfx::D3DDevice* device = GetApp().GetDisplay()->GetDevice();
  const std::vector<uint32_t> fading = pixelprobe::ReadBack(device, 640, 480);
  ASSERT_TRUE(RunUntil(
      m_harness, [&] { return game->phase == G::kPhaseAim && !game->m_fadeTimer.IsRunning(); },
      3000));
  m_harness.RunFrames(1);
  const std::vector<uint32_t> after = pixelprobe::ReadBack(device, 640, 480);

  // The pitch's sky above the HUD is the pitch window's clear colour in both frames.
  const pixelprobe::Rgb sky = {0, 128, 128};
  EXPECT_TRUE(pixelprobe::AreaIs(fading, 640, 0, 0, 640, 12, sky, 1.0)) << "sky while fading";
  EXPECT_TRUE(pixelprobe::AreaIs(after, 640, 0, 0, 640, 12, sky, 1.0)) << "sky after the fade";
  // The pitch's HUD pieces (score icon, goals background left of its number, the wind bar's
  // left cap) are as bright while the overlay fades as after.
  const struct {
    int x0, y0, x1, y1;
  } hud[] = {{16, 16, 40, 40}, {391, 21, 399, 45}, {467, 21, 477, 37}};
  for (const auto& area : hud)
    for (int y = area.y0; y < area.y1; ++y)
      for (int x = area.x0; x < area.x1; ++x) {
        const size_t at = static_cast<size_t>(y) * 640 + x;
        ASSERT_TRUE(pixelprobe::Near(fading[at], pixelprobe::RgbOf(after[at]), 2.0))
            << "HUD pixel (" << x << ", " << y << ") " << std::hex << fading[at] << " fading, "
            << after[at] << " after";
      }
  // The overlay's wind arrow does fade.
  const int dimmed = WindArrowBlue(fading), full = WindArrowBlue(after);
  EXPECT_GT(full, 100) << "the wind arrow shows after the fade";
  EXPECT_LT(dimmed, full * 3 / 4) << "the wind arrow while fading";
}

}  // namespace
