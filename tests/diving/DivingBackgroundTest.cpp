// The player clicks another window while Jory sits in his chair and comes back ten seconds
// later: the dive clock has run on, the log has not filled with reports of full lists, and the
// first frame back shows the scene of that frame alone.
#include <gtest/gtest.h>

#include "Engine/Random.h"
#include "tests/diving/DivingTestSupport.h"
#include "tests/support/BackgroundRun.h"

namespace divingtest {
namespace {

struct TenSeconds {
  BackgroundRun run;
  int32_t secondsGone = 0;
  int phase = -1;
};

class DivingBackgroundTest : public DivingTest {
 protected:
  // A game from the menu and through its intro to the chair, then ten seconds with no key.
  TenSeconds Play(bool away) {
    // The same draws of the program's generator in each game, so that both show the same scene.
    GlobalRandom().Reset();
    TenSeconds result;
    if (!StartFromMenu(kModeNormal, 0) ||
        !RunUntil([&] { return Phase() == cDivingGame::kDivePhaseInChair; }, 200))
      return result;
    const int32_t clock = Game()->GetTimeLeft();
    result.run = RunTenSeconds(
        m_harness, away, [&](int n) { Frames(n); },
        [&] {
          result.secondsGone = clock - Game()->GetTimeLeft();
          result.phase = Phase();
        });
    GetKavelApp()->StartGame(nullptr);
    Frames(2);
    return result;
  }
};

TEST_F(DivingBackgroundTest, TenSecondsAwayPlayOnAndTheFrameBackDrawsOnlyItsOwnScene) {
  const TenSeconds watched = Play(false);
  const TenSeconds away = Play(true);
  EXPECT_TRUE(LeftNothingBehind(away.run, watched.run));
  EXPECT_EQ(away.secondsGone, 10) << "600 ticks ran while away";
  EXPECT_EQ(away.phase, watched.phase);
}

}  // namespace
}  // namespace divingtest
