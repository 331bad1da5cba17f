#include <gtest/gtest.h>

#include <vector>

#include "Engine/Input.h"
#include "Game/Frontend/VideoModes.h"
#include "Game/KavelApp.h"
#include "tests/support/AppHarness.h"
#include "tests/support/LogCapture.h"

namespace {

class KavelAppTest : public AppTest {
 protected:
  void SetUp() override {
    GetDisplayModeTable() = DisplayModeTable{};
    GetVideoMenu() = VideoMenu{};
    KavelApp::Register();
  }
};

TEST_F(KavelAppTest, TheMenuClearsTheScreenAndEscapeDoesNotQuit) {
  ASSERT_TRUE(m_harness.Start());
  App& app = m_harness.app();
  EXPECT_GT(GetDisplayModeTable().count, 0) << "Init lists the display modes";
  m_harness.RunFrames(3);
  EXPECT_EQ(app.GetPause(), 0);

  std::vector<uint32_t> pixels(640 * 480);
  ASSERT_EQ(app.GetDisplay()->GetDevice()->ReadBackBuffer(pixels.data(), 640, 480), gfx::D3D_OK);
  // Without data the menu has no font, but its window still clears to its colour.
  EXPECT_EQ(pixels[10 * 640 + 10] & 0x00FFFFFFu, 0x182038u) << std::hex << pixels[10 * 640 + 10];
  EXPECT_EQ(pixels[470 * 640 + 630], pixels[10 * 640 + 10]) << "the whole frame is cleared";

  // Escape backs out of menus and pauses games; only the menu's quit item ends the program.
  m_harness.input().SetKey(plat::kDIK_ESCAPE, true);
  m_harness.RunFrames(10);
  EXPECT_EQ(app.GetExitFlag(), 0);
  EXPECT_EQ(app.GetFramesRun(), 13);
}

TEST_F(KavelAppTest, MovieSkipAnswersZeroOnTheSkipKeysOrPadButton) {
  ASSERT_TRUE(m_harness.Start());
  BaseGameApp* game = m_harness.app().GetGameApp();
  ASSERT_NE(game, nullptr);
  m_harness.RunFrames(1);
  EXPECT_EQ(game->MovieSkipCheck(0, 0), 1);
  m_harness.input().SetKey(plat::kDIK_RETURN, true);
  m_harness.RunFrames(1);
  EXPECT_EQ(game->MovieSkipCheck(0, 0), 0);
  m_harness.input().SetKey(plat::kDIK_RETURN, false);
  m_harness.RunFrames(1);
  EXPECT_EQ(game->MovieSkipCheck(0, 0), 1);
}

TEST(HideDisplayModeItems, HidesFromTheFirstRowAndMovesTheSelection) {
  VideoMenu& menu = GetVideoMenu();
  menu = VideoMenu{};
  menu.current = 3;
  HideDisplayModeItems(3, nullptr);
  EXPECT_EQ(menu.items[2].hidden, 0);
  EXPECT_EQ(menu.items[3].hidden, 1);
  EXPECT_EQ(menu.items[3].skip, 1);
  EXPECT_EQ(menu.current, 2);
  menu = VideoMenu{};
  HideDisplayModeItems(32, nullptr);
  for (const VideoMenuItem& item : menu.items) EXPECT_EQ(item.hidden, 0);
  HideDisplayModeItems(0, nullptr);
  EXPECT_EQ(menu.current, 0);
  EXPECT_EQ(menu.items[0].hidden, 1);
}

}  // namespace
