#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "Engine/DataFolder.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCFontFactory.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/Profile.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ContentTestSupport.h"
#include "tests/support/WftWriter.h"

namespace {

std::string Narrow(const char16_t* text) {
  std::string out;
  for (; text && *text; ++text) out += static_cast<char>(*text);
  return out;
}

class ProfileTest : public AppTest {
 protected:
  // The panel's font where the panel looks for it, with one page of white glyph cells.
  void Start() {
    wftwriter::FontDesc desc;
    desc.pageBaseName = "TYPEWRITERBOLD_10.wft";
    for (char16_t c = 32; c < 127; ++c)
      desc.Add(c, static_cast<uint32_t>((c - 32) % 16) * 8,
               static_cast<uint16_t>((c - 32) / 16 * 10), 8, 10, 0, 1);
    ASSERT_TRUE(wftwriter::SaveWft("data/Frontend/TYPEWRITERBOLD_10.wft", desc));
    ASSERT_TRUE(content::SaveSolidDds("data\\Frontend\\TYPEWRITERBOLD_10.dds", 0xFFFFFFFFu, 128));
    ASSERT_TRUE(m_harness.Start());
  }
  App& app() { return m_harness.app(); }
};

TEST_F(ProfileTest, ThePanelQueuesItsTenLinesOnlyWhileItExists) {
  Start();
  EngineProfile profile;
  const int32_t windowsBefore = app().GetWindowCount();
  profile.Draw();  // before Init: no window, no font, nothing to do
  EXPECT_EQ(app().GetWindowCount(), windowsBefore);

  profile.Init();
  ASSERT_NE(profile.GetWindowId(), -1);
  ASSERT_NE(profile.GetFontId(), -1);
  RenderWindow* panel = app().FindWindow(profile.GetWindowId());
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->GetSortKey(), 16384.0f);
  EXPECT_EQ(panel->GetWidth(), 300);
  EXPECT_EQ(panel->GetHeight(), 256);
  EXPECT_EQ(panel->GetCamera()->GetEye().y, 500.0f);
  EXPECT_EQ(panel->GetCamera()->GetUp().z, 1.0f);

  profile.m_meshesRendered = 42;
  profile.m_alphaMeshesRendered = 7;
  profile.m_sceneNodesChecked = -3;
  profile.Draw();
  ASSERT_EQ(panel->GetTextItemCount(), 10);
  const int ys[10] = {1, 20, 40, 60, 80, 100, 120, 140, 160, 180};
  Font* font = app().GetFontFactory()->GetFont(profile.GetFontId());
  for (int i = 0; i < 10; ++i) {
    const TextItem* item = panel->GetTextItem(i);
    EXPECT_EQ((std::array{item->x, item->y}), (std::array{1, ys[i]})) << i;
    EXPECT_EQ(item->colour, 0xFFFFFFFFu);
    EXPECT_EQ(item->font, font);
  }
  EXPECT_EQ(Narrow(panel->GetTextItem(0)->text),
            "FrameRate " + std::to_string(profile.m_frameRate) + "\n");
  EXPECT_EQ(Narrow(panel->GetTextItem(1)->text), "Num Scene Nodes Checked -3\n");
  EXPECT_EQ(Narrow(panel->GetTextItem(8)->text), "Num Meshes Rendered 42\n");
  EXPECT_EQ(Narrow(panel->GetTextItem(9)->text), "Num Alpha Meshs Rendered 7\n");
  m_harness.RunFrames(1);
  EXPECT_EQ(panel->GetTextItemCount(), 0) << "drawn and forgotten with the frame";

  profile.ResetCounters();
  EXPECT_EQ(profile.m_meshesRendered, 0);
  EXPECT_EQ(profile.m_sceneNodesChecked, 0);

  profile.CleanUp();
  EXPECT_EQ(app().GetWindowCount(), windowsBefore);
  profile.Draw();  // after CleanUp: nothing
  EXPECT_EQ(app().GetWindowCount(), windowsBefore);
}

TEST_F(ProfileTest, CleanUpTwiceDeletesOnce) {
  Start();
  EngineProfile profile;
  profile.Init();
  const int32_t fontId = profile.GetFontId();
  const int32_t fontsLoaded = app().GetFontFactory()->GetCount();
  ASSERT_EQ(fontsLoaded, 1);
  profile.CleanUp();
  EXPECT_EQ(profile.GetWindowId(), -1);
  EXPECT_EQ(profile.GetFontId(), -1);
  EXPECT_EQ(app().GetFontFactory()->GetFont(fontId), nullptr);
  EXPECT_EQ(app().GetFontFactory()->GetCount(), 0);
  EXPECT_EQ(app().GetWindowCount(), 0);

  // Someone else's window and font, made after the first CleanUp, survive the second.
  auto* other = TrackedNew<RenderWindow>("test", 0);
  other->Init(Vector2(0, 0), Vector2(640, 480), Vector4(0, 0, 0, 255), 6, 0.0f);
  const int32_t otherId = app().AddWindow(other);
  SetDataFolder("data\\Frontend\\");
  const int32_t otherFont = app().GetFontFactory()->AddFont("TYPEWRITERBOLD_10.wft");
  ASSERT_NE(otherFont, -1);
  profile.CleanUp();
  EXPECT_EQ(app().FindWindow(otherId), other);
  EXPECT_NE(app().GetFontFactory()->GetFont(otherFont), nullptr);

  // Init on a live panel replaces it rather than leaving the first one on screen.
  profile.Init();
  profile.Init();
  EXPECT_EQ(app().GetWindowCount(), 2);
}

TEST_F(ProfileTest, APanelWhoseWindowIsRefusedHasNone) {
  Start();
  EngineProfile profile;
  MemoryTracker::InduceFailures(0, 1);
  profile.Init();
  MemoryTracker::InduceFailures(-1, 0);
  EXPECT_EQ(profile.GetWindowId(), -1);
  EXPECT_EQ(app().GetWindowCount(), 0);
  profile.CleanUp();
}

TEST_F(ProfileTest, InitPutsTheDataFolderBack) {
  Start();
  for (const char* prefix : {"data\\DivingGame\\", static_cast<const char*>(nullptr)}) {
    SCOPED_TRACE(prefix ? prefix : "none");
    app().SetDataDir(prefix);
    EngineProfile profile;
    profile.Init();
    EXPECT_NE(profile.GetFontId(), -1) << "the font is found in the front end's folder";
    if (prefix) {
      ASSERT_NE(GetDataFolder(), nullptr);
      EXPECT_STREQ(GetDataFolder(), prefix);
    } else {
      EXPECT_EQ(GetDataFolder(), nullptr);
    }
    profile.CleanUp();
  }
}

TEST_F(ProfileTest, ThePanelLeavesTheWindowsBelowItOnScreen) {
  Start();
  auto* game = TrackedNew<RenderWindow>("test", 0);
  game->Init(Vector2(0, 0), Vector2(640, 480), Vector4(0x20, 0x60, 0xA0, 255), 6, 0.0f);
  app().AddWindow(game);
  EngineProfile profile;
  profile.Init();
  profile.Draw();
  m_harness.RunFrames(1);
  const std::vector<uint32_t> pixels = content::ReadBack();
  // Inside the panel below its text, and beside it: the game window's colour.
  for (const auto& a : {std::array<int, 4>{4, 200, 296, 252}, std::array<int, 4>{304, 4, 636, 476},
                        std::array<int, 4>{4, 260, 300, 476}})
    EXPECT_TRUE(content::AreaIs(pixels, a[0], a[1], a[2], a[3], {0x20, 0x60, 0xA0}));
  profile.CleanUp();
}

}  // namespace
