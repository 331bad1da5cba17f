// What a game leaves behind for the menu: the real penalty-kick game remaps the pad's buttons
// every tick, and the menu must read them as its own again once the game is over.
#include <gtest/gtest.h>

#include <functional>

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
#include "tests/support/VirtualPad.h"

namespace {

class BetweenGamesTest : public AppTest {
 protected:
  void SetUp() override {
    LinkDemoData();
    GetSaveProfile() = SaveProfile();
    // The pad is found as on a player's machine, and nothing maps it but the program itself.
    m_harness.input().UseSystemPads(true);
    ASSERT_TRUE(m_pad.Attached());
    KavelApp::Register();
    ASSERT_TRUE(m_harness.Start());
    m_harness.SkipPixelWork();
    // One frame period a frame on the scripted clock, so each frame runs one tick.
    plat::ScriptedSystem& system = m_harness.system();
    system.UseManualClock(true);
    system.SetFrequency(60000);
    system.SetCounterStepPerRead(500);
    GetApp().GetTimer()->Create(60);
    m_harness.RunFrames(2);
  }
  void TearDown() override { m_harness.Stop(); }

  CFrontEnd* FrontEnd() { return GetKavelApp()->GetFrontEnd(); }
  // The pad's first button: the menu's accept.
  void PressPadAccept() { PadTap(m_pad.Button(0)); }
  void PadTap(const std::function<void(bool)>& set) {
    set(true);
    m_harness.RunFrames(1);
    set(false);
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

  VirtualPad m_pad;
};

TEST_F(BetweenGamesTest, ThePadAcceptIsTheMenusAgainAfterThePenaltyGame) {
  for (int i = 0;
       i < CFrontEnd::kItemCount && FrontEnd()->GetSelection() != CFrontEnd::kItemFootball; ++i)
    PadTap(m_pad.Hat(VirtualPad::kHatDown));
  ASSERT_EQ(FrontEnd()->GetSelection(), CFrontEnd::kItemFootball) << "the hat walks the menu";
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

// A pad pulled out while its stick and buttons are held lets go of all of them at once, and the
// game runs on from the keyboard.
TEST_F(BetweenGamesTest, APadPulledOutMidGameHoldsNothing) {
  while (FrontEnd()->GetSelection() != CFrontEnd::kItemFootball) Tap(plat::kDIK_DOWN);
  PressPadAccept();
  m_harness.RunFrames(30);
  ASSERT_NE(Football(), nullptr);
  m_pad.SetAxis(0, -32767);
  m_pad.SetButton(1, true);
  m_harness.RunFrames(2);
  const InputDevice& input = *GetKavelApp()->GetInput();
  ASSERT_NE(input.LocalHeld() & kInputLeft, 0u);
  ASSERT_LT(g_gamePad->Analog(0, 0), -0.5f);
  m_pad.Unplug();
  m_harness.RunFrames(2);
  EXPECT_EQ(input.LocalHeld(), 0u);
  EXPECT_EQ(g_gamePad->Analog(0, 0), 0.0f) << "the stick steers no more";
  EXPECT_NE(Football(), nullptr);
  m_harness.input().SetKey(plat::kDIK_LEFT, true);
  m_harness.RunFrames(1);
  EXPECT_EQ(input.LocalHeld(), uint32_t{kInputLeft});
  m_harness.input().SetKey(plat::kDIK_LEFT, false);
}

// While a movie plays, Return, Space, Escape or the pad's first action button skips it, each on
// the frame it goes down; other keys and buttons do not.
TEST_F(BetweenGamesTest, AMovieIsSkippedByItsKeysAndThePadsFirstButtonOnly) {
  plat::ScriptedInput& input = m_harness.input();
  const struct {
    const char* what;
    int key;     // -1 none
    int button;  // -1 none
    uint8_t hat;
    int32_t goOn;  // the answer while the key or button is down
  } cases[] = {
      {"nothing", -1, -1, VirtualPad::kHatCentred, 1},
      {"Return", plat::kDIK_RETURN, -1, VirtualPad::kHatCentred, 0},
      {"Space", plat::kDIK_SPACE, -1, VirtualPad::kHatCentred, 0},
      {"Escape", plat::kDIK_ESCAPE, -1, VirtualPad::kHatCentred, 0},
      {"Down", plat::kDIK_DOWN, -1, VirtualPad::kHatCentred, 1},
      {"button 0", -1, 0, VirtualPad::kHatCentred, 0},
      {"button 1", -1, 1, VirtualPad::kHatCentred, 1},
      {"button 3", -1, 3, VirtualPad::kHatCentred, 1},
      {"pad up", -1, -1, VirtualPad::kHatUp, 1},
  };
  BaseGameApp* app = m_harness.app().GetGameApp();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // A message box takes the keys the menu would otherwise act on.
    FrontEnd()->ShowMessage(u"", nullptr);
    if (c.key >= 0) input.SetKey(c.key, true);
    if (c.button >= 0) m_pad.SetButton(c.button, true);
    m_pad.SetHat(c.hat);
    m_harness.RunFrames(1);
    EXPECT_EQ(app->MovieSkipCheck(0, 0), c.goOn);
    m_harness.RunFrames(1);
    EXPECT_EQ(app->MovieSkipCheck(0, 0), 1) << "held from the frame before";
    if (c.key >= 0) input.SetKey(c.key, false);
    m_pad.LetGo();
    m_harness.RunFrames(1);
  }
}

}  // namespace
