// How a diving run ends, through the real game on the demo data: the end sequence always comes
// to its end, and once it has begun nothing Jory's animations do takes the run out of it.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "tests/diving/DivingTestSupport.h"

namespace divingtest {
namespace {

namespace fs = std::filesystem;

class DivingEndingTest : public DivingTest {
 protected:
  void SetUp() override {
    LinkDivingDataFileByFile();
    StartApp();
  }

  // Out of the chair and onto the path, then the clock runs out: Jory sits down where he is.
  void RunOutOfTimeOnThePath() {
    ASSERT_TRUE(StartFromMenu(kModeNormal, 0));
    ASSERT_TRUE(RunUntil([&] { return Phase() == cDivingGame::kDivePhaseInChair; }, 200));
    ASSERT_TRUE(WalkUntil([&] { return Phase() == cDivingGame::kDivePhasePath; }, 200))
        << "phase " << Phase();
    Game()->SetTimeLeft(0);
  }
};

TEST_F(DivingEndingTest, TheEndSequenceEndsWhetherOrNotJorysSitDownCanEnd) {
  struct Case {
    const char* what;
    const char* removed;  // taken from the data before the game loads
    int32_t cobbState;    // his reaction when the sequence ends
  };
  const Case cases[] = {
      {"every animation loaded", nullptr, 2},
      {"no sit-down animation", "jory_sit_on_ground.anm", 0},
  };
  Frames(2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.removed) fs::remove(fs::path("data/DivingGame") / c.removed);
    RunOutOfTimeOnThePath();
    ASSERT_TRUE(RunUntil([&] { return Phase() == cDivingGame::kDivePhaseEnd; }, 10));
    EXPECT_EQ(Game()->GetSequenceKind(), 0) << "stopped where he was";
    int32_t cobbState = -1;
    // Sitting down, Cobb's turn, his lines and the fade take a few seconds.
    ASSERT_TRUE(RunUntil(
        [&] {
          if (Game()) cobbState = Game()->GetCobbState();
          return Game() == nullptr;
        },
        1200))
        << "end step " << Game()->GetEndStep();
    EXPECT_EQ(cobbState, c.cobbState);
    EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message);
    Tap(kKeyReturn);
  }
}

TEST_F(DivingEndingTest, TimeUpWhileGettingOutOfTheChairStaysInTheEndAndCountsTheDives) {
  // 3, 4 or 5 dives by difficulty.
  struct Case {
    int32_t difficulty;
    uint32_t dives;
    int32_t result;
  };
  const Case cases[] = {{0, 2, 0}, {0, 3, 1}, {1, 3, 0}, {1, 4, 1}, {2, 4, 0}, {2, 5, 1}};
  Frames(2);
  for (const Case c : cases) {
    SCOPED_TRACE(testing::Message() << "difficulty " << c.difficulty << ", dives " << c.dives);
    ASSERT_TRUE(StartFromMenu(kModeNormal, c.difficulty));
    ASSERT_TRUE(RunUntil([&] { return Phase() == cDivingGame::kDivePhaseInChair; }, 200));
    Game()->SetDivesDone(c.dives);
    ASSERT_TRUE(WalkUntil([&] { return Game()->GetJoryAction() == 1; }, 20))
        << "he starts getting out";
    Game()->SetTimeLeft(0);
    ASSERT_TRUE(RunUntil([&] { return Phase() == cDivingGame::kDivePhaseEnd; }, 10));
    EXPECT_EQ(Game()->GetSequenceKind(), 3) << "time ran out while he was in the chair";
    // Getting up ends well inside the sequence; the phase stays until the result is set.
    bool left = false;
    bool spoke = false, talkCut = false;
    ASSERT_TRUE(RunUntil(
        [&] {
          left |= Phase() != 15;
          if (!spoke && Game()->GetEndStep() == 1) {
            // Cobb breaks off his talk for the closing line.
            spoke = true;
            const CSoundWrapper* sound = GetSoundWrapper();
            talkCut = sound->IsSamplePlaying(Game()->m_speechBank, 30) != 0;
            for (int32_t line = 31; line <= 36; ++line)
              talkCut &= sound->IsSamplePlaying(Game()->m_speechBank, line) == 0;
          }
          return Phase() == cDivingGame::kDivePhaseEnd && Game()->GetEndStep() == 3;
        },
        1200))
        << "phase " << Phase();
    EXPECT_FALSE(left);
    EXPECT_TRUE(talkCut);
    EXPECT_EQ(Game()->GetCameraShot(), cDivingGame::kShotStoppedGround);
    EXPECT_EQ(Game()->GetSequenceKind(), 3);
    EXPECT_EQ(Game()->GetResult(), c.result);
    ASSERT_TRUE(RunToEnd(10));
    Tap(kKeyReturn);
  }
}

}  // namespace
}  // namespace divingtest
