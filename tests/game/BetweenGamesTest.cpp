// What a game leaves behind for the menu: the real penalty-kick game remaps the pad's buttons
// every tick, and the menu must read them as its own again once the game is over.
#include <gtest/gtest.h>

#include "Engine/Input.h"
#include "Engine/PC/PCApp.h"
#include "Game/FootballGame/FootballGame.h"
#include "Game/Frontend/FrontEnd.h"
#include "Game/Frontend/SaveProfile.h"
#include "Game/Helper/InputDevice.h"
#include "Game/KavelApp.h"
#include "Platform/Input/Input.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DemoData.h"

namespace {

class BetweenGamesTest : public AppTest {
 protected:
  void SetUp() override {
    LinkDemoData();
    GetSaveProfile() = SaveProfile();
    m_harness.input().AddPad("Test Pad", plat::DeviceType::Gamepad, false);
    KavelApp::Register();
    ASSERT_TRUE(m_harness.Start());
    m_harness.SkipPixelWork();
    // One frame period a frame on the scripted clock, so each frame runs one tick.
    plat::ScriptedSystem& system = m_harness.system();
    system.UseManualClock(true);
    system.SetFrequency(60000);
    system.SetCounterStepPerRead(500);
    GetApp().GetTimer()->Create(60);
    // The pad's four action buttons reach the game as their own bits.
    const GamePadMappingPair pairs[] = {
        {0x1000, 0x1000}, {0x2000, 0x2000}, {0x4000, 0x4000}, {0x8000, 0x8000}};
    g_gamePad->SetMapping(0, 4, pairs);
    m_harness.RunFrames(2);
  }
  void TearDown() override { m_harness.Stop(); }

  CFrontEnd* FrontEnd() { return GetKavelApp()->GetFrontEnd(); }
  // The pad's first action button: the menu's accept.
  void PressPadAccept() {
    m_harness.input().GetPad(0).state.rgbButtons[0] = 0x80;
    m_harness.RunFrames(1);
    m_harness.input().GetPad(0).state.rgbButtons[0] = 0;
    m_harness.RunFrames(1);
  }
  void Tap(int key) {
    m_harness.input().SetKey(key, true);
    m_harness.RunFrames(1);
    m_harness.input().SetKey(key, false);
    m_harness.RunFrames(1);
  }
  cfootballgame* Football() {
    return dynamic_cast<cfootballgame*>(GetKavelApp()->GetCurrentGame());
  }
};

TEST_F(BetweenGamesTest, ThePadAcceptIsTheMenusAgainAfterThePenaltyGame) {
  while (FrontEnd()->GetSelection() != CFrontEnd::kItemFootball) Tap(plat::kDIK_DOWN);
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    PressPadAccept();
    ASSERT_NE(Football(), nullptr) << "the pad's accept starts the chosen game";
    m_harness.RunFrames(30);
    ASSERT_FALSE(GetKavelApp()->IsLoading());
    const InputDevice& input = *GetKavelApp()->GetInput();
    EXPECT_EQ(input.m_padRemap[0], uint32_t{kInputAction}) << "the game's own remap";
    Tap(plat::kDIK_ESCAPE);
    Tap(plat::kDIK_RETURN);
    ASSERT_EQ(GetKavelApp()->GetCurrentGame(), nullptr);
    ASSERT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Menu);
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(input.m_padRemap[i], InputDevice::kRemappedPadButtons[i]) << i;
  }
}

// While a movie plays, Return, Space, Escape or the pad's first action button skips it, each on
// the frame it goes down; other keys and buttons do not.
TEST_F(BetweenGamesTest, AMovieIsSkippedByItsKeysAndThePadsFirstButtonOnly) {
  plat::ScriptedInput& input = m_harness.input();
  const struct {
    const char* what;
    int key;     // -1 none
    int button;  // -1 none
    uint32_t pov;
    int32_t goOn;  // the answer while the key or button is down
  } cases[] = {
      {"nothing", -1, -1, 0xFFFFFFFFu, 1},
      {"Return", plat::kDIK_RETURN, -1, 0xFFFFFFFFu, 0},
      {"Space", plat::kDIK_SPACE, -1, 0xFFFFFFFFu, 0},
      {"Escape", plat::kDIK_ESCAPE, -1, 0xFFFFFFFFu, 0},
      {"Down", plat::kDIK_DOWN, -1, 0xFFFFFFFFu, 1},
      {"button 0", -1, 0, 0xFFFFFFFFu, 0},
      {"button 1", -1, 1, 0xFFFFFFFFu, 1},
      {"button 3", -1, 3, 0xFFFFFFFFu, 1},
      {"pad up", -1, -1, 0u, 1},
  };
  BaseGameApp* app = m_harness.app().GetGameApp();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // A message box takes the keys the menu would otherwise act on.
    FrontEnd()->ShowMessage(u"", nullptr);
    if (c.key >= 0) input.SetKey(c.key, true);
    if (c.button >= 0) input.GetPad(0).state.rgbButtons[c.button] = 0x80;
    input.GetPad(0).state.rgdwPOV[0] = c.pov;
    m_harness.RunFrames(1);
    EXPECT_EQ(app->MovieSkipCheck(0, 0), c.goOn);
    m_harness.RunFrames(1);
    EXPECT_EQ(app->MovieSkipCheck(0, 0), 1) << "held from the frame before";
    if (c.key >= 0) input.SetKey(c.key, false);
    if (c.button >= 0) input.GetPad(0).state.rgbButtons[c.button] = 0;
    input.GetPad(0).state.rgdwPOV[0] = 0xFFFFFFFFu;
    m_harness.RunFrames(1);
  }
}

}  // namespace
