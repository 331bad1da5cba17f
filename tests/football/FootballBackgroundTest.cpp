// The player clicks another window in the middle of a penalty kick and comes back ten seconds
// later: the game has played on meanwhile, the log has not filled with reports of full lists,
// and the first frame back shows the scene of that frame alone.
#include <gtest/gtest.h>

#include "Engine/Random.h"
#include "tests/football/FootballTestSupport.h"
#include "tests/support/BackgroundRun.h"

namespace {

using namespace footballtest;

struct TenSeconds {
  BackgroundRun run;
  uint32_t secondsGone = 0;
  uint32_t stateHash = 0;
};

class FootballBackgroundTest : public FootballTest {
 protected:
  // A game from the menu and through its intro, then ten seconds with no key touched.
  TenSeconds Play(bool away) {
    // The same draws of the program's generator in each game, so that both show the same scene.
    GlobalRandom().Reset();
    TenSeconds result;
    cfootballgame* game = Loaded();
    if (!game) return result;
    const uint32_t clock = game->timeLeft;
    result.run = RunTenSeconds(
        m_harness, away, [&](int n) { m_harness.RunFrames(n); },
        [&] {
          result.secondsGone = clock - game->timeLeft;
          result.stateHash = game->GetStateHash();
        });
    GetKavelApp()->StartGame(nullptr);
    m_harness.RunFrames(2);
    return result;
  }
};

TEST_F(FootballBackgroundTest, TenSecondsAwayPlayOnAndTheFrameBackDrawsOnlyItsOwnScene) {
  const TenSeconds watched = Play(false);
  const TenSeconds away = Play(true);
  EXPECT_TRUE(LeftNothingBehind(away.run, watched.run));
  EXPECT_EQ(away.secondsGone, 10u) << "600 ticks ran while away";
  EXPECT_EQ(away.stateHash, watched.stateHash) << "the game played on as if watched";
}

}  // namespace
