// A model file missing from the penalty-kick game's folder: the game plays without it, and the
// model it cannot draw is reported once, not once a frame, with the count said when it ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Engine/LogFile.h"
#include "tests/football/FootballTestSupport.h"
#include "tests/support/LogCapture.h"

namespace {

using namespace footballtest;
namespace fs = std::filesystem;

class FootballMissingModelTest : public FootballTest {
 protected:
  // The demo data with "ball.geo" left out of the game's folder.
  void LinkData() override { LinkDemoDataFileByFile("FootballGame", {"ball.geo"}); }
};

TEST_F(FootballMissingModelTest, TheModelItCannotDrawIsReportedOnceAndCountedAtTheEnd) {
  AssertCounter reports;
  cfootballgame* game = StartFromMenu(kModeNormal, 0);
  ASSERT_NE(game, nullptr);
  ASSERT_EQ(game->ballGeo, -1);
  ASSERT_TRUE(PlayIntro(game)) << "it plays without the ball's model";
  m_harness.RunFrames(60);
  ASSERT_EQ(CurrentGame(), game);
  EXPECT_EQ(reports.Count(), 1u);
  EXPECT_NE(reports.LastFile().find("FootballRender"), std::string::npos);
  const unsigned repeats = game->missingModel.Repeats();
  EXPECT_GE(repeats, 60u) << "drawn frame after frame";
  GetKavelApp()->StartGame(nullptr);
  m_harness.RunFrames(2);
  EXPECT_TRUE(DebugLogContains("cfootballgame: drawing a model that did not load: " +
                               std::to_string(repeats)));
}

}  // namespace
