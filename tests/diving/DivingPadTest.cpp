// The diving game played with a pad alone, as a player's machine presents one: the program maps
// it, the game remaps its buttons (the first is the ladder's while the window is open).
#include <gtest/gtest.h>

#include "Game/Helper/InputDevice.h"
#include "tests/diving/DivingTestSupport.h"
#include "tests/support/VirtualPad.h"

namespace divingtest {
namespace {

// Pad buttons as the game reads them.
constexpr int kPadTurn = 0;   // E, or the ladder's own bit while its window is open
constexpr int kPadBurst = 1;  // the action
constexpr int kPadQ = 2;
constexpr int kPadW = 3;

class DivingPadTest : public DivingTest {
 protected:
  void SetUp() override {
    LinkDemoData();
    m_harness.input().UseSystemPads(true);
    ASSERT_TRUE(m_pad.Attached());
    StartApp();
  }
  void Press(int button) {
    m_pad.SetButton(button, true);
    Frame();
    m_pad.SetButton(button, false);
    Frame();
  }
  bool BurstUntil(const std::function<bool()>& done, int limit) {
    for (int i = 0; i < limit && !done(); ++i) Press(kPadBurst);
    return done();
  }
  VirtualPad m_pad;
};

TEST_F(DivingPadTest, ThePadRunsClimbsTheLadderAndDivesAnAeroplane) {
  ASSERT_TRUE(StartFromMenu(kModeNormal, 0));
  ASSERT_TRUE(RunUntil([&] { return Phase() == cDivingGame::kDivePhaseInChair; }, 200));
  ASSERT_TRUE(BurstUntil([&] { return Phase() == cDivingGame::kDivePhasePath; }, 200))
      << "the burst button gets him out of the chair";
  ASSERT_TRUE(BurstUntil([&] { return Game()->GetLadderWindow() == 1; }, 50));
  m_pad.SetButton(kPadTurn, true);
  Frame();
  EXPECT_EQ(GetKavelApp()->GetInput()->LocalHeld() & (kInputExtra2 | kInputButtonE),
            uint32_t{kInputExtra2})
      << "the ladder's bit while the window is open";
  m_pad.SetButton(kPadTurn, false);
  Frame();
  EXPECT_EQ(Game()->GetLadderWindow(), 0);
  EXPECT_EQ(Game()->GetChosenBoard(), 0);
  ASSERT_TRUE(BurstUntil([&] { return Phase() == cDivingGame::kDivePhaseOnBoard; }, 400))
      << "phase " << Phase();
  Frames(10);
  Press(kPadTurn);
  ASSERT_EQ(Phase(), cDivingGame::kDivePhaseDive) << "the take-off";
  Press(kPadW);
  Press(kPadQ);
  Press(kPadBurst);
  ASSERT_TRUE(RunUntil([&] { return Phase() == cDivingGame::kDivePhaseSwim; }, 400));
  EXPECT_EQ(Game()->GetNamedDives(), 1);
  EXPECT_EQ(Game()->GetNamedKind(), 2) << "the aeroplane's kind";
}

}  // namespace
}  // namespace divingtest
