// Every game in every mode, run from its start on the demo data until its HUD has been up for a
// while: no two HUD pieces of one frame may cover the same pixels.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Game/Frontend/GameMakers.h"
#include "Game/Frontend/SaveProfile.h"
#include "Game/KavelApp.h"
#include "Game/TesselGame/cTesselGame.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DemoData.h"

namespace {

GameBaseClass* MakeGardenGame(int32_t mode, int32_t level) {
  return TrackedNew<cTesselGame>("HudLayoutTest::MakeGardenGame", mode, level);
}

struct GameCase {
  const char* name;
  GameBaseClass* (*make)(int32_t mode, int32_t level);
  int32_t mode;
};

void PrintTo(const GameCase& c, std::ostream* out) { *out << c.name << " mode " << c.mode; }

std::string Describe(const GameBaseClass::HudPiece& piece) {
  const HudRect& r = piece.rect;
  return std::string(piece.name) + " [" + std::to_string(static_cast<int>(r.x0)) + ", " +
         std::to_string(static_cast<int>(r.x1)) + ") x [" + std::to_string(static_cast<int>(r.y0)) +
         ", " + std::to_string(static_cast<int>(r.y1)) + ")";
}

class HudLayoutTest : public AppTest, public ::testing::WithParamInterface<GameCase> {
 protected:
  void SetUp() override {
    LinkDemoData();
    GetSaveProfile() = SaveProfile();
    KavelApp::Register();
    ASSERT_TRUE(m_harness.Start());
    m_harness.SkipPixelWork();  // what the pieces cover is noted as they are drawn
    // Four ticks a frame, the most the framework runs in one: the intros pass in a quarter of
    // their frames.
    plat::ScriptedSystem& system = m_harness.system();
    system.UseManualClock(true);
    system.SetFrequency(60000);
    system.SetCounterStepPerRead(2000);
    GetApp().GetTimer()->Create(60);
    m_harness.RunFrames(1);
  }
  void TearDown() override { m_harness.Stop(); }
};

TEST_P(HudLayoutTest, NoTwoPiecesOfAFrameOverlap) {
  const GameCase& c = GetParam();
  GameBaseClass* game = c.make(c.mode, 1);
  ASSERT_NE(game, nullptr);
  GetKavelApp()->StartGame(game);
  // From the first frame the game draws, through its intro, until its HUD has been up for a
  // second of frames.
  constexpr int kFrameLimit = 400, kHudFrames = 15;
  int hudFrames = 0, pieces = 0;
  for (int frame = 0; frame < kFrameLimit && hudFrames < kHudFrames; ++frame) {
    m_harness.RunFrames(1);
    ASSERT_EQ(GetKavelApp()->GetCurrentGame(), game) << "the game ended at frame " << frame;
    if (GetKavelApp()->IsLoading()) continue;
    const int32_t count = game->GetHudPieceCount();
    if (count > 0) ++hudFrames;
    pieces = count > pieces ? count : pieces;
    for (int32_t i = 0; i < count; ++i)
      for (int32_t j = i + 1; j < count; ++j) {
        const GameBaseClass::HudPiece& a = *game->GetHudPiece(i);
        const GameBaseClass::HudPiece& b = *game->GetHudPiece(j);
        ASSERT_FALSE(a.rect.Overlaps(b.rect)) << c.name << " mode " << c.mode << ", frame " << frame
                                              << ": " << Describe(a) << " and " << Describe(b);
      }
  }
  EXPECT_EQ(hudFrames, kHudFrames) << c.name << " mode " << c.mode << ": the HUD never came up";
  // Every game shows a clock or a score at least.
  EXPECT_GE(pieces, 1) << c.name << " mode " << c.mode;
  GetKavelApp()->StartGame(nullptr);
  m_harness.RunFrames(2);
}

const GameCase kGames[] = {
    {"diving", MakeDivingGame, kModeNormal},        {"diving", MakeDivingGame, kModeTwoPlayer},
    {"diving", MakeDivingGame, kModeChallenge1},    {"diving", MakeDivingGame, kModeChallenge2},
    {"penalty", MakeFootballGame, kModeNormal},     {"penalty", MakeFootballGame, kModeTwoPlayer},
    {"penalty", MakeFootballGame, kModeChallenge1}, {"penalty", MakeFootballGame, kModeChallenge2},
    {"pirate", MakePirateGame, kModeNormal},        {"pirate", MakePirateGame, kModeTwoPlayer},
    {"pirate", MakePirateGame, kModeChallenge1},    {"pirate", MakePirateGame, kModeChallenge2},
    {"garden", MakeGardenGame, kModeNormal},        {"garden", MakeGardenGame, kModeTwoPlayer},
    {"garden", MakeGardenGame, kModeChallenge1},    {"garden", MakeGardenGame, kModeChallenge2},
};

INSTANTIATE_TEST_SUITE_P(EveryGameAndMode, HudLayoutTest, ::testing::ValuesIn(kGames),
                         [](const ::testing::TestParamInfo<GameCase>& param) {
                           return std::string(param.param.name) + "_mode" +
                                  std::to_string(param.param.mode);
                         });

}  // namespace
