// The pirate game with a pad as a player's machine presents one: the hat and the stick move the
// selection as the arrows do, and the pad's action button picks.
#include <gtest/gtest.h>

#include <functional>

#include "Engine/Random.h"
#include "tests/pirate/PirateTestSupport.h"
#include "tests/support/VirtualPad.h"

namespace {

using G = cpirategame;

constexpr int kPadAction = 1;

class PiratePadTest : public piratetest::PirateAppTest {
 protected:
  void SetUp() override {
    m_harness.input().UseSystemPads(true);
    ASSERT_TRUE(m_pad.Attached());
    PirateAppTest::SetUp();
  }
  void Tap(const std::function<void(bool)>& set) {
    set(true);
    m_harness.RunFrames(1);
    set(false);
    m_harness.RunFrames(1);
  }
  VirtualPad m_pad;
};

TEST_F(PiratePadTest, TheHatAndStickMoveTheSelectionAndTheActionButtonPicks) {
  SeedRand(7919u);
  G* g = StartFromMenu(kModeNormal, 2);
  ASSERT_NE(g, nullptr);
  ASSERT_TRUE(RunToPlay());
  g->SelectHole(7);
  for (int i = 0; i < 100 && g->m_cameraMoving; ++i) m_harness.RunFrames(1);
  struct Case {
    const char* what;
    std::function<void(bool)> set;
    int32_t to;
  };
  const Case cases[] = {
      {"hat up", m_pad.Hat(VirtualPad::kHatUp), 13},
      {"stick right", m_pad.Stick(0, 30000), 14},
      {"hat left", m_pad.Hat(VirtualPad::kHatLeft), 13},
      {"stick down", m_pad.Stick(1, 30000), 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Tap(c.set);
    EXPECT_EQ(g->LastSelectedHole(false), c.to);
    for (int i = 0; i < 100 && g->m_cameraMoving; ++i) m_harness.RunFrames(1);
  }
  ASSERT_EQ(g->m_firstPicked, 0);
  Tap(m_pad.Button(kPadAction));
  EXPECT_EQ(g->m_firstPicked, 1);
  EXPECT_EQ(g->m_firstHole, 7);
}

}  // namespace
