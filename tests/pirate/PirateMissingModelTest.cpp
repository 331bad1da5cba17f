// A model file missing from the pirate game's folder: the game plays without it, and the model
// it cannot draw is reported once, not once a frame, with the count said when it ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Game/Frontend/PDFE.h"
#include "tests/pirate/PirateTestSupport.h"
#include "tests/support/LogCapture.h"

namespace {

using namespace piratetest;
namespace fs = std::filesystem;

TEST(PirateMissingModelTest, TheModelItCannotDrawIsReportedOnceAndCountedAtTheEnd) {
  AppHarness harness;
  // The demo data with "board.geo" left out of the game's folder.
  LinkDemoDataFileByFile("PirateGame", {"board.geo"});
  GetSaveProfile() = SaveProfile();
  KavelApp::Register();
  ASSERT_TRUE(harness.Start());
  harness.SkipPixelWork();
  UseFastClock(harness);
  harness.RunFrames(2);

  AssertCounter reports;
  PDFE_StartGameMrGorst();
  harness.RunFrames(120);
  cpirategame* game = CurrentPirateGame();
  ASSERT_NE(game, nullptr) << "it plays without the board's model";
  EXPECT_EQ(reports.Count(), 1u);
  EXPECT_NE(reports.LastFile().find("PirateRender"), std::string::npos);
  const unsigned repeats = game->m_missingModel.Repeats();
  EXPECT_GE(repeats, 100u) << "drawn every frame";
  GetKavelApp()->StartGame(nullptr);
  harness.RunFrames(2);
  EXPECT_TRUE(DebugLogContains("cpirategame: drawing a model that did not load: " +
                               std::to_string(repeats)));
  harness.Stop();
}

}  // namespace
