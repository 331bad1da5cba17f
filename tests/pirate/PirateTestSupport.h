#pragma once
// What the pirate game's tests share: the App started headless on the demo data with a clock
// that runs several game ticks a frame, the menu start, and a scripted player that finds the
// pairs through the real keys.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Game/Frontend/FrontEnd.h"
#include "Game/Frontend/SaveProfile.h"
#include "Game/KavelApp.h"
#include "Game/PirateGame/cpirategame.h"
#include "Platform/Input/Input.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DemoData.h"

namespace piratetest {

// The owners of every block the game makes; none may outlive it.
inline constexpr const char* kGameOwners[] = {"cpirategame::Make", "cpirategame::Init",
                                              "cpirategame::LoadPhase1", "cpirategame::LoadPhase2"};

inline uint32_t GameBlocks() {
  uint32_t blocks = 0;
  for (const char* owner : kGameOwners) blocks += MemoryTracker::CountBlocksOwnedBy(owner);
  return blocks;
}

// The manual clock moves on four frame periods at every read, so that the framework runs its
// most ticks (four) in a frame and a five-minute game takes a few thousand frames.
inline void UseFastClock(AppHarness& harness) {
  harness.system().UseManualClock(true);
  harness.system().SetFrequency(60000);
  harness.system().SetCounterStepPerRead(4000);
  GetApp().GetTimer()->Create(60);
}

inline cpirategame* CurrentPirateGame() {
  KavelApp* app = GetKavelApp();
  return app ? dynamic_cast<cpirategame*>(app->GetCurrentGame()) : nullptr;
}

// A player that knows the board: it goes for the nearest pair still in play, moves the selection
// with the arrow keys towards it, and picks with Space. One key a frame, released the next.
class Autopilot {
 public:
  // Pairs it may find (it stands still afterwards).
  explicit Autopilot(int pairs = 10) : m_pairsToFind(pairs) {}

  // The key to hold this frame, 0 for none.
  int Next(const cpirategame& g) {
    if (m_lastKey) return m_lastKey = 0;
    if (g.m_playPhase != cpirategame::kPhaseInput || g.m_cameraMoving || !g.m_holes) return 0;
    const int32_t found = kPirateKinds - g.m_pairsLeft;
    if (!g.m_firstPicked && found >= m_pairsToFind) return 0;
    const int32_t target = Target(g);
    if (target < 0) return 0;
    if (g.LastSelectedHole(true) == target) return m_lastKey = plat::kDIK_SPACE;
    return m_lastKey = Direction(g, target);
  }

 private:
  int32_t Target(const cpirategame& g) const {
    if (g.m_firstPicked) {
      const int32_t kind = g.m_holes[g.m_firstHole].kind;
      for (int32_t i = 0; i < kHoles; ++i)
        if (i != g.m_firstHole && Playable(g, i) && g.m_holes[i].kind == kind) return i;
      return -1;
    }
    int32_t best = -1;
    float bestDistance = 0.0f;
    for (int32_t i = 0; i < kHoles; ++i) {
      if (!Playable(g, i) || PartnerOf(g, i) < 0) continue;
      const float d = Distance(g, i);
      if (best < 0 || d < bestDistance) best = i, bestDistance = d;
    }
    return best;
  }
  static bool Playable(const cpirategame& g, int32_t i) {
    return g.m_holes[i].occupied && !g.m_holes[i].outOfPlay;
  }
  static int32_t PartnerOf(const cpirategame& g, int32_t i) {
    for (int32_t j = 0; j < kHoles; ++j)
      if (j != i && Playable(g, j) && g.m_holes[j].kind == g.m_holes[i].kind) return j;
    return -1;
  }
  static float Distance(const cpirategame& g, int32_t i) {
    const Vector4 look = g.LookAt();
    return std::fabs(g.m_holes[i].position.x - look.x) +
           std::fabs(g.m_holes[i].position.y - look.y);
  }
  // Along the axis with more columns or rows to go; the other axis when that got nowhere.
  int Direction(const cpirategame& g, int32_t target) {
    const Vector4 look = g.LookAt();
    const float dx = g.m_holes[target].position.x - look.x;
    const float dy = g.m_holes[target].position.y - look.y;
    bool horizontal = std::fabs(dx) / 1000.0f >= std::fabs(dy) / 900.0f;
    const int32_t selected = g.LastSelectedHole(false);
    if (selected == m_lastSelected && selected >= 0 && ++m_stuck > 2) horizontal = !horizontal;
    if (selected != m_lastSelected) m_stuck = 0;
    m_lastSelected = selected;
    if (horizontal && std::fabs(dx) > 1.0f) return dx > 0.0f ? plat::kDIK_RIGHT : plat::kDIK_LEFT;
    return dy > 0.0f ? plat::kDIK_UP : plat::kDIK_DOWN;
  }

  int m_pairsToFind;
  int m_lastKey = 0;
  int32_t m_lastSelected = -2;
  int m_stuck = 0;
};

// The App on the demo data, started as the program starts.
class PirateAppTest : public AppTest {
 protected:
  void SetUp() override {
    LinkDemoData();
    GetSaveProfile() = SaveProfile();
    KavelApp::Register();
    ASSERT_TRUE(m_harness.Start());
    m_harness.SkipPixelWork();
    UseFastClock(m_harness);
    m_harness.RunFrames(2);
  }
  void TearDown() override { m_harness.Stop(); }

  CFrontEnd* FrontEnd() { return GetKavelApp()->GetFrontEnd(); }
  void Press(int key) {
    m_harness.input().SetKey(key, true);
    m_harness.RunFrames(1);
    m_harness.input().SetKey(key, false);
    m_harness.RunFrames(1);
  }
  // Chooses the pirate game in the menu and starts it with Return.
  cpirategame* StartFromMenu(int32_t mode, int32_t level) {
    FrontEnd()->SetMode(mode);
    FrontEnd()->SetDifficulty(level);
    for (int i = 0;
         i < CFrontEnd::kItemCount && FrontEnd()->GetSelection() != CFrontEnd::kItemPirate; ++i)
      Press(plat::kDIK_DOWN);
    EXPECT_EQ(FrontEnd()->GetSelection(), CFrontEnd::kItemPirate);
    Press(plat::kDIK_RETURN);
    return CurrentPirateGame();
  }
  // Frames until play has started (the intro is over), false when it does not within the limit.
  bool RunToPlay(int limit = 400) {
    for (int i = 0; i < limit; ++i) {
      cpirategame* g = CurrentPirateGame();
      if (g && !GetKavelApp()->IsLoading() && g->m_playPhase == cpirategame::kPhaseInput)
        return true;
      m_harness.RunFrames(1);
    }
    return false;
  }
  // One frame with the autopilot's key held.
  void Drive(Autopilot& pilot) {
    const cpirategame* g = CurrentPirateGame();
    const int key = g && !GetKavelApp()->IsLoading() ? pilot.Next(*g) : 0;
    if (key) m_harness.input().SetKey(key, true);
    m_harness.RunFrames(1);
    if (key) m_harness.input().SetKey(key, false);
  }
};

}  // namespace piratetest
