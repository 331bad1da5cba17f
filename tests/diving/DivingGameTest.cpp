// The diving game end to end: started from the menu on the demo data, played with scripted keys
// to its end, with the result in the save profile and nothing of the game's left behind.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Game/Frontend/SaveProfile.h"
#include "tests/diving/DivingTestSupport.h"

namespace divingtest {
namespace {

const char* const kOwners[] = {"cDivingGame::Make",       "cDivingGame::Init",
                               "cDivingGame::LoadPhase1", "cDivingGame::LoadPhase2",
                               "cDivingGame::LoadPhase3", "cDivingGame::CalculateNodeDistances",
                               "cDivingGame::CleanUp"};

void ExpectNoBlocksLeft() {
  for (const char* owner : kOwners)
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy(owner), 0u) << owner;
}

TEST_F(DivingTest, WalksToTheLowBoardDivesAnAeroplaneAndPlaysUntilTheClockEnds) {
  ASSERT_TRUE(StartFromMenu(kModeNormal, 0));
  ASSERT_TRUE(RunUntil([&] { return Phase() == cDivingGame::kDivePhaseInChair; }, 200))
      << "the intro ends in play";
  // Out of the chair and along the path; E in board 0's window takes the low board.
  ASSERT_TRUE(WalkUntil([&] { return Phase() == cDivingGame::kDivePhasePath; }, 200))
      << "phase " << Phase();
  ASSERT_TRUE(WalkUntil([&] { return Game()->GetLadderWindow() == 1; }, 50));
  Tap(kKeyE);
  EXPECT_EQ(Game()->GetChosenBoard(), 0);
  ASSERT_TRUE(WalkUntil([&] { return Phase() == cDivingGame::kDivePhaseOnBoard; }, 400))
      << "phase " << Phase();
  Frames(10);
  Tap(kKeyE);
  ASSERT_EQ(Phase(), cDivingGame::kDivePhaseDive) << "the take-off";
  // The aeroplane: W, Q, Space in the air.
  Tap(kKeyW);
  Tap(kKeyQ);
  Tap(kKeySpace);
  ASSERT_TRUE(RunUntil([&] { return Phase() == cDivingGame::kDivePhaseSwim; }, 400))
      << "phase " << Phase();
  EXPECT_EQ(Game()->GetNamedDives(), 1);
  EXPECT_EQ(Game()->GetNamedKind(), 2) << "the aeroplane's kind";
  EXPECT_EQ(Game()->GetDivesDone(), 1u);
  const int32_t score = Game()->GetScore(0);
  EXPECT_GE(score, 2000 + 1000) << "the named dive and the entry";
  Game()->SetTimeLeft(3);
  ASSERT_TRUE(RunToEnd(3000)) << "phase " << Phase();
  EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message);
  const HighScoreEntry* best = GetSaveProfile().GetHighScore(cDivingGame::kGameId, 0);
  ASSERT_NE(best, nullptr);
  EXPECT_EQ(best->score, score);
  ExpectNoBlocksLeft();
  EXPECT_EQ(m_harness.app().GetWindowCount(), 1) << "only the front end's window";
}

TEST_F(DivingTest, TheLoadedPoolKeepsItsClimbLengthsAndPositiveHeadings) {
  ASSERT_TRUE(StartFromMenu(kModeNormal, 1));
  const DivingLayout& layout = Game()->GetLayout();
  const DivingRoute& path = layout.routes[kRoutePath];
  ASSERT_GE(path.count, 17u);
  EXPECT_FLOAT_EQ(path.lengths[11], 300.0f);
  EXPECT_FLOAT_EQ(path.lengths[15], 450.0f);
  EXPECT_GE(layout.chairHeading, 0.0f);
  EXPECT_LT(layout.chairHeading, 6.2831855f);
  for (int32_t r : {kRoutePath, kRouteBoard0, kRouteBoard1, kRouteBoard2})
    for (uint32_t i = 0; i < layout.routes[r].count; ++i) {
      EXPECT_GE(layout.routes[r].headings[i], 0.0f) << r << " " << i;
      EXPECT_LT(layout.routes[r].headings[i], 6.2831855f) << r << " " << i;
    }
  // Every camera point of the scene is read, each from its own node.
  std::vector<Vector4> cameras = {layout.cameraA, layout.cameraTargets[1]};
  cameras.insert(cameras.end(), std::begin(layout.cameraPoints), std::end(layout.cameraPoints));
  cameras.insert(cameras.end(), std::begin(layout.lateCameras), std::end(layout.lateCameras));
  cameras.insert(cameras.end(), std::begin(layout.lateTargets), std::end(layout.lateTargets));
  for (size_t i = 0; i < cameras.size(); ++i)
    for (size_t j = 0; j < i; ++j)
      EXPECT_GT(std::hypot(cameras[i].x - cameras[j].x, cameras[i].y - cameras[j].y,
                           cameras[i].z - cameras[j].z),
                1.0f)
          << i << " and " << j;
  // Jory starts in his chair, facing out of it, while the intro runs.
  EXPECT_EQ(Phase(), cDivingGame::kDivePhaseIntro);
  EXPECT_FLOAT_EQ(Game()->GetJoryPosition().x, layout.chair.x);
  EXPECT_FLOAT_EQ(Game()->GetJoryRotation()[2], layout.chairHeading);
  EXPECT_EQ(Game()->GetStateHash(), 0u);
}

TEST_F(DivingTest, TheTakeOffLaunchesByPowerAndGravityPullsPerTick) {
  ASSERT_TRUE(StartFromMenu(kModeNormal, 0));
  ASSERT_TRUE(RunUntil([&] { return Phase() == cDivingGame::kDivePhaseInChair; }, 200));
  ASSERT_TRUE(WalkUntil([&] { return Game()->GetLadderWindow() == 1; }, 200));
  Tap(kKeyE);
  ASSERT_TRUE(WalkUntil([&] { return Phase() == cDivingGame::kDivePhaseOnBoard; }, 400));
  // The bar runs between 100 and 300 at 360 a second on the easy level.
  const float p0 = Game()->GetPower();
  Frame();
  const float p1 = Game()->GetPower();
  EXPECT_NEAR(std::fabs(p1 - p0), 6.0f, 1e-3f) << "360 / 60 a tick";
  m_harness.input().SetKey(kKeyE, true);
  Frame();
  m_harness.input().SetKey(kKeyE, false);
  ASSERT_EQ(Phase(), cDivingGame::kDivePhaseDive);
  int32_t overshoot = 0;
  const float launch = LaunchFromPower(Game()->GetPower(), 0, &overshoot);
  // The take-off tick has moved him once already: one rise step off the launch speed.
  EXPECT_NEAR(Game()->GetVerticalSpeed(), launch / 7.0f - 60.0f * 0.02638889f, 1e-3f);
  const float v0 = Game()->GetVerticalSpeed();
  Frame();
  if (v0 > 0.0f) {
    EXPECT_NEAR(Game()->GetVerticalSpeed(), v0 - 1.5833334f, 1e-3f) << "rising";
  }
  // Left and Down spin him backwards: the heading and the pitch fall.
  const float heading = Game()->GetJoryRotation()[2];
  const float pitch = Game()->GetJoryRotation()[0];
  m_harness.input().SetKey(kKeyLeft, true);
  m_harness.input().SetKey(kKeyDown, true);
  Frames(4);
  m_harness.input().SetKey(kKeyLeft, false);
  m_harness.input().SetKey(kKeyDown, false);
  EXPECT_LT(Game()->GetJoryRotation()[2], heading);
  EXPECT_LT(Game()->GetJoryRotation()[0], pitch);
  {
    // Let go, the spin dies down.
    float turn[2][2] = {};  // pitch and heading turned in a tick, then ten ticks on
    for (auto& t : turn) {
      const float p = Game()->GetJoryRotation()[0], h = Game()->GetJoryRotation()[2];
      Frame();
      t[0] = Game()->GetJoryRotation()[0] - p;
      t[1] = Game()->GetJoryRotation()[2] - h;
      Frames(9);
    }
    ASSERT_GT(Game()->GetJoryPosition().z, 0.0f) << "still in the air";
    EXPECT_LT(turn[0][0], 0.0f);
    EXPECT_LT(turn[0][1], 0.0f);
    EXPECT_GT(turn[1][0], turn[0][0]) << "the somersault slows";
    EXPECT_GT(turn[1][1], turn[0][1]) << "the twist slows";
  }
  ASSERT_TRUE(RunUntil([&] { return Game()->GetVerticalSpeed() < 0.0f; }, 100));
  const float v1 = Game()->GetVerticalSpeed();
  Frame();
  if (Game()->GetJoryPosition().z > 0.0f) {
    EXPECT_NEAR(Game()->GetVerticalSpeed(), v1 - 9.0f / 60.0f, 1e-3f) << "falling";
  }
  ASSERT_TRUE(RunUntil([&] { return Phase() == cDivingGame::kDivePhaseSwim; }, 400));
  EXPECT_GE(Game()->GetLastEntryScore(), 1000);
}

TEST_F(DivingTest, EachModeRunsFromTheMenuToItsEnd) {
  struct Case {
    int32_t mode;
    int32_t difficulty;
  };
  const Case cases[] = {{kModeNormal, 2}, {kModeChallenge1, 0}, {kModeChallenge2, 1}};
  Frames(2);
  for (const Case& c : cases) {
    ASSERT_TRUE(StartFromMenu(c.mode, c.difficulty)) << c.mode;
    EXPECT_EQ(Game()->GetMode(), c.mode);
    ASSERT_TRUE(RunUntil([&] { return Phase() == cDivingGame::kDivePhaseInChair; }, 200)) << c.mode;
    // Time runs out while Jory is still in his chair: no dives, so no win.
    Game()->SetTimeLeft(1);
    ASSERT_TRUE(RunUntil([&] { return Phase() == cDivingGame::kDivePhaseEnd; }, 200)) << c.mode;
    EXPECT_EQ(Game()->GetSequenceKind(), 3) << c.mode;
    ASSERT_TRUE(RunToEnd(4000)) << c.mode << " end step " << Game()->GetEndStep();
    EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message);
    EXPECT_EQ(GetSaveProfile().UnlockCount(), 0) << "a lost challenge unlocks nothing";
    ExpectNoBlocksLeft();
    Tap(kKeyReturn);
  }
  EXPECT_EQ(m_harness.app().GetWindowCount(), 1) << "the game's windows all went";
}

TEST_F(DivingTest, PlayingTwiceLeavesOneFrontEndWindowAndNoBlocks) {
  Frames(2);
  const int32_t frontEnd = FrontEnd()->GetWindowId();
  int32_t previousWindow = -1;
  uint32_t blocks[2] = {};
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(StartFromMenu(kModeNormal, 0)) << run;
    const int32_t id = Game()->GetWindowId();
    EXPECT_NE(id, -1);
    EXPECT_NE(id, previousWindow) << "the App hands out a new id";
    EXPECT_NE(m_harness.app().FindWindow(id), nullptr) << "the kept id names the game's window";
    previousWindow = id;
    Game()->SetTimeLeft(1);
    ASSERT_TRUE(RunToEnd(4000)) << run;
    EXPECT_EQ(m_harness.app().FindWindow(id), nullptr);
    Tap(kKeyReturn);
    blocks[run] = MemoryTracker::GetStatistics().totalAllocUnitCount;
  }
  EXPECT_EQ(blocks[1], blocks[0]) << "a run gives back its textures, models and splashes";
  EXPECT_EQ(m_harness.app().GetWindowCount(), 1);
  EXPECT_NE(m_harness.app().FindWindow(frontEnd), nullptr);
  ExpectNoBlocksLeft();
}

}  // namespace
}  // namespace divingtest
