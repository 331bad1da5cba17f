// The game framework end to end, through the real application object on the demo data: the menu,
// a start callback, the loading sequence, the fixed-tick game run, the end of a game with its
// result recorded in the save profile, and the menu again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Game/Frontend/FrontEnd.h"
#include "Game/Frontend/PDFE.h"
#include "Game/Frontend/SaveProfile.h"
#include "Game/Frontend/VideoModes.h"
#include "Game/GameBaseClass.h"
#include "Game/Helper/InputDevice.h"
#include "Game/KavelApp.h"
#include "Game/Localisation/LocalisedText.h"
#include "Game/Sound/CSoundWrapper.h"
#include "Game/TesselGame/cTesselGame.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DemoData.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

constexpr int kDIK_RETURN = 0x1C;
constexpr int kDIK_ESCAPE = 0x01;
constexpr int kDIK_DOWN = 0xD0;
constexpr int kDIK_LEFT = 0xCB;
constexpr int kDIK_RIGHT = 0xCD;
constexpr int32_t kTestGameId = 9;

// What the test game was asked to do, in order.
std::vector<std::string> g_calls;
int g_ticksToPlay = 30;
int g_failPhase = 0;  // a load phase that reports failure (0 none)

class TestGame : public GameBaseClass {
 public:
  TestGame(int32_t mode, int32_t level) : GameBaseClass(mode, level) {
    m_gameId = kTestGameId;
    g_calls.push_back("construct");
  }
  ~TestGame() override { g_calls.push_back("destroy"); }

  int32_t LoadPhase1() override { return Phase(1); }
  int32_t LoadPhase2() override { return Phase(2); }
  int32_t LoadPhase3() override { return Phase(3); }
  int32_t LoadPhase4() override { return Phase(4); }
  void StartMusic() override { g_calls.push_back("StartMusic"); }

  int32_t Update() override {
    UpdateIngameText(1.0f);
    ++m_ticks;
    if (GetInputDevice()->IsButtonPressed(kInputButtonE)) ++m_presses;
    AddScore(0, 10);
    if (m_ticks < g_ticksToPlay) return 0;
    m_result = 1;
    g_calls.push_back("over");
    return 1;
  }
  void Render() override {
    ++m_renders;
    DrawScore(GetApp().FindWindow(m_windowId), 0);
  }
  void CleanUp() override {
    g_calls.push_back("CleanUp");
    if (m_block) TrackedFree("TestGame::LoadPhase1", m_block);
    m_block = nullptr;
    if (m_windowId >= 0) GetApp().DeleteWindow(m_windowId);
    m_windowId = -1;
  }

  int m_ticks = 0;
  int m_renders = 0;
  int m_presses = 0;

 private:
  int32_t Phase(int n) {
    g_calls.push_back("LoadPhase" + std::to_string(n));
    // The loading screen shows while each phase runs.
    EXPECT_EQ(GetFrontEnd()->GetScreen(), CFrontEnd::Screen::Loading);
    if (n == 1) {
      m_block = TrackedAlloc<char>("TestGame::LoadPhase1", 256);
      RenderWindow* window = TrackedNew<RenderWindow>("TestGame::LoadPhase1");
      window->Init(Vector2(0.0f, 0.0f), Vector2(640.0f, 480.0f), Vector4(0, 128, 128, 0), 6, 0.0f);
      m_windowId = GetApp().AddWindow(window);
    }
    return n == g_failPhase ? 0 : 1;
  }

  char* m_block = nullptr;
  int32_t m_windowId = -1;
};

TestGame* g_game = nullptr;
GameBaseClass* MakeTestGame(int32_t mode, int32_t level) {
  g_game = TrackedNew<TestGame>("TestGame::Make", mode, level);
  return g_game;
}

class FrameworkTest : public AppTest {
 protected:
  void SetUp() override {
    LinkDemoData();
    g_calls.clear();
    g_ticksToPlay = 30;
    g_failPhase = 0;
    g_game = nullptr;
    GetSaveProfile() = SaveProfile();
    m_previousMaker = SetGameMaker(kGameDiving, &MakeTestGame);
    KavelApp::Register();
    ASSERT_TRUE(m_harness.Start());
  }
  void TearDown() override {
    m_harness.Stop();
    SetGameMaker(kGameDiving, m_previousMaker);
  }

  void Press(int key) {
    m_harness.input().SetKey(key, true);
    m_harness.RunFrames(1);
    m_harness.input().SetKey(key, false);
    m_harness.RunFrames(1);
  }
  CFrontEnd* FrontEnd() { return GetKavelApp()->GetFrontEnd(); }
  // Runs frames until the game is gone or `limit` frames have passed.
  void RunUntilGameEnds(int limit) {
    for (int i = 0; i < limit && GetKavelApp()->GetCurrentGame(); ++i) m_harness.RunFrames(1);
  }

  GameMaker m_previousMaker = nullptr;
};

TEST_F(FrameworkTest, AGameRunsFromTheMenuThroughLoadingToItsResultAndBack) {
  m_harness.RunFrames(2);
  ASSERT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Menu);
  EXPECT_EQ(FrontEnd()->GetSelection(), CFrontEnd::kItemDiving);
  EXPECT_EQ(GetSoundWrapper()->IsMusicPlaying(), 1) << "the front end's music plays";

  Press(kDIK_RETURN);
  ASSERT_NE(g_game, nullptr);
  EXPECT_EQ(g_game->GetMode(), kModeNormal);
  EXPECT_EQ(g_game->GetLevel(), FrontEnd()->GetDifficulty());
  RunUntilGameEnds(400);
  ASSERT_EQ(GetKavelApp()->GetCurrentGame(), nullptr) << "the game ended";

  const std::vector<std::string> expected = {"construct",  "LoadPhase1", "LoadPhase2",
                                             "LoadPhase3", "LoadPhase4", "StartMusic",
                                             "over",       "CleanUp",    "destroy"};
  EXPECT_EQ(g_calls, expected);
  EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message) << "the result is shown";
  const HighScoreEntry* best = GetSaveProfile().GetHighScore(kTestGameId, 0);
  ASSERT_NE(best, nullptr);
  EXPECT_EQ(best->score, 300) << "30 ticks of 10 points";
  EXPECT_TRUE(std::filesystem::exists("PDSG.raw")) << "the profile is saved after the game";

  Press(kDIK_RETURN);
  EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Menu);
  // The game shared the menu's font: the menu still has it to draw its items with.
  std::vector<uint32_t> screen(640 * 480);
  ASSERT_EQ(m_harness.app().GetDisplay()->GetDevice()->ReadBackBuffer(screen.data(), 640, 480),
            gfx::D3D_OK);
  int inked = 0;
  for (int y = 150; y < 160; ++y)
    for (int x = 200; x < 300; ++x) inked += screen[y * 640 + x] != screen[10 * 640 + 10];
  EXPECT_GT(inked, 20) << "the second item's text is drawn";
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("TestGame::LoadPhase1"), 0u);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("TestGame::Make"), 0u);
  EXPECT_EQ(m_harness.app().GetWindowCount(), 1) << "only the front end's window is left";
}

TEST_F(FrameworkTest, TheResultIsRecordedByMode) {
  struct Case {
    int32_t mode;
    int32_t score;
    int32_t unlocks;
  };
  const Case cases[] = {
      {kModeChallenge1, -1, 1}, {kModeChallenge2, -1, 2}, {kModeTwoPlayer, -1, 2}};
  m_harness.RunFrames(1);
  for (const Case& c : cases) {
    FrontEnd()->SetMode(c.mode);
    // Without a connected peer the two-player start refuses with a message; the game is then
    // started as the link's start would.
    g_game = nullptr;
    if (c.mode == kModeTwoPlayer) {
      const GameMaker football = SetGameMaker(kGameFootball, &MakeTestGame);
      PDFE_StartDulcieClemencyMP();
      SetGameMaker(kGameFootball, football);
      EXPECT_EQ(g_game, nullptr);
      EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message);
      Press(kDIK_RETURN);
      GetKavelApp()->StartGame(MakeTestGame(kModeTwoPlayer, 0));
    } else {
      PDFE_StartGameCobbAndJory();
    }
    ASSERT_NE(g_game, nullptr);
    EXPECT_EQ(g_game->GetMode(), c.mode);
    EXPECT_EQ(g_game->GetPlayerCount(), c.mode == kModeTwoPlayer ? 2 : 1);
    RunUntilGameEnds(400);
    EXPECT_EQ(GetSaveProfile().UnlockCount(), c.unlocks) << "mode " << c.mode;
    EXPECT_EQ(GetSaveProfile().GetHighScore(kTestGameId, 0)->score, 0) << "no high score";
    Press(kDIK_RETURN);
  }
}

TEST_F(FrameworkTest, ThreeGamesInARowLeaveOnlyTheFrontEndWindow) {
  m_harness.RunFrames(1);
  const int32_t frontEndWindow = FrontEnd()->GetWindowId();
  for (int run = 0; run < 3; ++run) {
    Press(kDIK_RETURN);
    RunUntilGameEnds(400);
    ASSERT_EQ(GetKavelApp()->GetCurrentGame(), nullptr) << "run " << run;
    Press(kDIK_RETURN);
  }
  EXPECT_EQ(m_harness.app().GetWindowCount(), 1);
  EXPECT_NE(m_harness.app().FindWindow(frontEndWindow), nullptr);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("TestGame::LoadPhase1"), 0u);
  EXPECT_EQ(GetSaveProfile().GetHighScore(kTestGameId, 2)->score, 300) << "three entries";
}

TEST_F(FrameworkTest, AFailedLoadPhaseEndsTheGameWithAMessage) {
  g_failPhase = 2;
  m_harness.RunFrames(1);
  Press(kDIK_RETURN);
  m_harness.RunFrames(5);
  EXPECT_EQ(GetKavelApp()->GetCurrentGame(), nullptr);
  const std::vector<std::string> expected = {"construct", "LoadPhase1", "LoadPhase2", "CleanUp",
                                             "destroy"};
  EXPECT_EQ(g_calls, expected);
  EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message);
  EXPECT_TRUE(DebugLogContains("failed to load"));
  EXPECT_EQ(m_harness.app().GetWindowCount(), 1);
}

TEST_F(FrameworkTest, EscapePausesTheGameAndItsTicks) {
  g_ticksToPlay = 100000;
  m_harness.RunFrames(1);
  Press(kDIK_RETURN);
  m_harness.RunFrames(10);
  ASSERT_NE(g_game, nullptr);
  Press(kDIK_ESCAPE);
  EXPECT_EQ(g_game->IsPaused(), 1);
  EXPECT_EQ(m_harness.app().GetPause(), 1) << "particles and scene time stop too";
  const int ticks = g_game->m_ticks;
  const int renders = g_game->m_renders;
  m_harness.RunFrames(5);
  EXPECT_EQ(g_game->m_ticks, ticks);
  EXPECT_GT(g_game->m_renders, renders) << "a paused game is still drawn";
  Press(kDIK_ESCAPE);
  m_harness.RunFrames(3);
  EXPECT_GT(g_game->m_ticks, ticks);
  EXPECT_EQ(m_harness.app().GetPause(), 0);
  // Select while paused leaves the game without a result.
  Press(kDIK_ESCAPE);
  Press(kDIK_RETURN);
  EXPECT_EQ(GetKavelApp()->GetCurrentGame(), nullptr);
  EXPECT_EQ(GetSaveProfile().GetHighScore(kTestGameId, 0)->score, 0);
  EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Menu);
}

// A slow frame runs several ticks to catch up; a key pressed in it counts once, in the first.
TEST_F(FrameworkTest, APressBelongsToTheFirstTickOfAFrameOnly) {
  g_ticksToPlay = 100000;
  m_harness.RunFrames(1);
  Press(kDIK_RETURN);
  m_harness.RunFrames(10);
  ASSERT_NE(g_game, nullptr);
  plat::ScriptedSystem& system = m_harness.system();
  system.UseManualClock(true);
  system.SetFrequency(1000);
  // The timer's first turn after Create only sets its due time; the clock must move for it.
  system.SetCounterStepPerRead(1);
  m_harness.app().GetTimer()->Create(60);
  m_harness.RunFrames(1);
  system.SetCounterStepPerRead(0);
  system.AdvanceMilliseconds(17);
  m_harness.RunFrames(1);
  // A slow frame: the next one owes the ticks of the time it took.
  system.AdvanceMilliseconds(50);
  m_harness.RunFrames(1);
  constexpr int kDIK_E = 0x12;
  m_harness.input().SetKey(kDIK_E, true);
  const int ticks = g_game->m_ticks;
  system.AdvanceMilliseconds(17);
  m_harness.RunFrames(1);
  EXPECT_GE(g_game->m_ticks - ticks, 2) << "the frame caught up with several ticks";
  EXPECT_EQ(g_game->m_presses, 1);
  m_harness.input().SetKey(kDIK_E, false);
  system.UseManualClock(false);
}

TEST_F(FrameworkTest, AGameThatIsNotBuiltShowsAMessage) {
  m_harness.RunFrames(1);
  Press(kDIK_DOWN);
  Press(kDIK_DOWN);
  ASSERT_EQ(FrontEnd()->GetSelection(), CFrontEnd::kItemPirate);
  const GameMaker pirate = SetGameMaker(kGamePirate, nullptr);
  Press(kDIK_RETURN);
  EXPECT_EQ(GetKavelApp()->GetCurrentGame(), nullptr);
  EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message);
  EXPECT_TRUE(DebugLogContains("is not built into this program"));
  Press(kDIK_RETURN);
  EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Menu);
  SetGameMaker(kGamePirate, pirate);
}

// A mode chosen in the video menu is kept for the next start.
TEST_F(FrameworkTest, TheChosenDisplayModeIsSavedInTheProfile) {
  m_harness.RunFrames(1);
  const DisplayModeTable& table = GetDisplayModeTable();
  int32_t row = -1;
  for (int32_t i = 0; i < table.count && row < 0; ++i)
    if (table.rows[i].width != 640) row = i;
  ASSERT_GE(row, 0) << "the display offers a mode other than 640 x 480";
  ASSERT_EQ(SelectDisplayModeRow(row), 1);
  SaveProfile reread;
  ASSERT_EQ(reread.Load(), SaveProfile::LoadResult::kLoaded);
  EXPECT_EQ(reread.Data().settings.displayWidth, table.rows[row].width);
  EXPECT_EQ(reread.Data().settings.displayHeight, table.rows[row].height);
  EXPECT_EQ(reread.Data().settings.displayBits, table.rows[row].bits);
}

// The texts the front end queues on its window for one frame, read before the frame draws them.
template <class Draw>
std::vector<TextItem> FrontEndTexts(CFrontEnd* frontEnd, Draw draw) {
  std::vector<TextItem> texts;
  RenderWindow* window = GetApp().FindWindow(frontEnd->GetWindowId());
  if (!window) return texts;
  window->DropText();
  draw();
  for (int32_t i = 0; i < window->GetTextItemCount(); ++i) texts.push_back(*window->GetTextItem(i));
  window->DropText();
  return texts;
}
std::vector<TextItem> FrontEndTexts(CFrontEnd* frontEnd) {
  return FrontEndTexts(frontEnd, [&] { frontEnd->Update(*GetInputDevice()); });
}

// Centred on the 640-wide menu screen.
bool Centred(const TextItem* item) {
  return item && item->font && item->x == (640 - item->font->GetStringWidth(item->text)) / 2;
}

const TextItem* FindText(const std::vector<TextItem>& texts, const char16_t* text) {
  for (const TextItem& item : texts)
    if (text && std::u16string(item.text) == text) return &item;
  return nullptr;
}

TEST_F(FrameworkTest, TheMenuAndTheVideoScreenShowTheirTexts) {
  m_harness.RunFrames(1);
  // The menu: the items one under the other, the selected one in its own colour.
  std::vector<TextItem> texts = FrontEndTexts(FrontEnd());
  const TextItem* diving = FindText(texts, GetLocalisedText(1000));
  const TextItem* video = FindText(texts, GetLocalisedText(1011));
  ASSERT_NE(diving, nullptr);
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(diving->x, 200);
  EXPECT_EQ(diving->y, 120);
  EXPECT_EQ(video->x, 200);
  EXPECT_GT(video->y, diving->y);
  EXPECT_NE(diving->colour, video->colour) << "the first item is selected";
  const TextItem* mode = FindText(texts, GetLocalisedText(1003));
  const TextItem* normal = FindText(texts, GetLocalisedText(1004));
  const TextItem* difficulty = FindText(texts, GetLocalisedText(1007));
  const TextItem* medium = FindText(texts, GetLocalisedText(1009));
  ASSERT_TRUE(mode && normal && difficulty && medium);
  EXPECT_EQ(normal->x, 400);
  EXPECT_EQ(normal->y, mode->y) << "each value on its item's line";
  EXPECT_EQ(medium->x, 400);
  EXPECT_EQ(medium->y, difficulty->y);
  EXPECT_EQ(difficulty->y - mode->y, 26);
  // Sideways on the mode and difficulty lines cycles their values, both ways round.
  const struct {
    int32_t item;
    int key;
    int32_t mode, difficulty;
  } steps[] = {
      {CFrontEnd::kItemMode, kDIK_RIGHT, 2, 1},
      {CFrontEnd::kItemMode, kDIK_LEFT, 3, 1},
      {CFrontEnd::kItemMode, kDIK_RIGHT, 0, 1},
      {CFrontEnd::kItemDifficulty, kDIK_RIGHT, 0, 2},
      {CFrontEnd::kItemDifficulty, kDIK_RIGHT, 0, 0},
      {CFrontEnd::kItemDifficulty, kDIK_LEFT, 0, 2},
      {CFrontEnd::kItemDifficulty, kDIK_LEFT, 0, 1},
  };
  for (const auto& step : steps) {
    while (FrontEnd()->GetSelection() != step.item) Press(kDIK_DOWN);
    Press(step.key);
    EXPECT_EQ(FrontEnd()->GetMode(), step.mode);
    EXPECT_EQ(FrontEnd()->GetDifficulty(), step.difficulty);
    // The line shows the value: NORMAL, CHALLENGE 1, CHALLENGE 2; EASY, MEDIUM, HARD.
    const std::vector<TextItem> shown = FrontEndTexts(FrontEnd());
    const TextItem* value =
        FindText(shown, GetLocalisedText(step.item == CFrontEnd::kItemMode
                                             ? 1004 + (step.mode == 0 ? 0 : step.mode - 1)
                                             : 1008 + step.difficulty));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->x, 400);
  }
  texts = FrontEndTexts(FrontEnd());
  EXPECT_NE(FindText(texts, GetLocalisedText(1009)), nullptr) << "medium again";
  // The screens that show one or two lines, and the pause overlay over a game.
  const struct {
    const char* what;
    std::function<void()> show;
    int32_t first, firstY, second, secondY;  // text ids, -1 for none
  } screens[] = {
      {"loading", [&] { FrontEnd()->ShowLoadingScreen(); }, 1013, 230, -1, 0},
      {"message", [&] { FrontEnd()->ShowMessage(GetLocalisedText(1018), GetLocalisedText(1020)); },
       1018, 210, 1020, 250},
      {"paused", [&] { FrontEnd()->Hide(); }, 1022, 225, 1029, 312},
  };
  for (const auto& screen : screens) {
    SCOPED_TRACE(screen.what);
    screen.show();
    const bool overlay = FrontEnd()->GetScreen() == CFrontEnd::Screen::Hidden;
    texts = FrontEndTexts(FrontEnd(), [&] {
      if (overlay)
        FrontEnd()->DrawPauseOverlay(1, 1);
      else
        FrontEnd()->Update(*GetInputDevice());
    });
    EXPECT_EQ(texts.size(), screen.second == -1 ? 1u : 2u);
    const TextItem* first = FindText(texts, GetLocalisedText(screen.first));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->y, screen.firstY);
    EXPECT_TRUE(Centred(first));
    if (screen.second != -1) {
      const TextItem* second = FindText(texts, GetLocalisedText(screen.second));
      ASSERT_NE(second, nullptr);
      EXPECT_EQ(second->y, screen.secondY);
      EXPECT_TRUE(Centred(second));
    }
  }
  if (FrontEnd()->GetScreen() == CFrontEnd::Screen::Hidden) FrontEnd()->DrawPauseOverlay(0, 0);
  FrontEnd()->Resume();
  // The video screen: its title centred near the top, the modes, a marker at the current one.
  while (FrontEnd()->GetSelection() != CFrontEnd::kItemVideo) Press(kDIK_DOWN);
  Press(kDIK_RETURN);
  ASSERT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Video);
  texts = FrontEndTexts(FrontEnd());
  const TextItem* title = FindText(texts, GetLocalisedText(1011));
  ASSERT_NE(title, nullptr) << "the screen's title";
  EXPECT_EQ(title->y, 60);
  EXPECT_TRUE(Centred(title));
  const DisplayModeTable& table = GetDisplayModeTable();
  const int32_t current = GetVideoMenu().current;
  ASSERT_GE(current, 0);
  ASSERT_LT(current, table.count);
  const std::string label = table.rows[current].label;
  const TextItem* row = FindText(texts, std::u16string(label.begin(), label.end()).c_str());
  const TextItem* marker = FindText(texts, u">");
  ASSERT_NE(row, nullptr);
  ASSERT_NE(marker, nullptr);
  EXPECT_EQ(row->x, 200);
  EXPECT_EQ(marker->y, row->y) << "the marker beside the current mode";
  EXPECT_EQ(marker->x, 180);
  EXPECT_NE(FindText(texts, GetLocalisedText(1024)), nullptr) << "Back";
  // A long list shows twelve rows round the selection, the last ones at its end.
  {
    const DisplayModeTable kept = table;
    const VideoMenu keptMenu = GetVideoMenu();
    for (VideoMenuItem& item : GetVideoMenu().items) item = VideoMenuItem{};
    DisplayModeTable& rows = GetDisplayModeTable();
    rows.count = 20;
    for (int32_t i = 0; i < rows.count; ++i) std::snprintf(rows.rows[i].label, 64, "mode %d", i);
    for (int i = 0; i < 40; ++i) {
      texts = FrontEndTexts(FrontEnd());
      if (FindText(texts, u"mode 19")) break;
      Press(kDIK_DOWN);
    }
    int shown = 0, first = -1;
    for (int32_t i = 0; i < rows.count; ++i) {
      const std::string name = "mode " + std::to_string(i);
      if (FindText(texts, std::u16string(name.begin(), name.end()).c_str())) {
        ++shown;
        if (first < 0) first = i;
      }
    }
    EXPECT_EQ(shown, 12);
    EXPECT_EQ(first, 8);
    GetDisplayModeTable() = kept;
    GetVideoMenu() = keptMenu;
  }
  Press(kDIK_ESCAPE);
  EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Menu);
}

// The front end's window is the program's first (id 0): clean-up gives it back all the same.
TEST_F(FrameworkTest, TheFrontEndsCleanUpDeletesItsWindow) {
  m_harness.RunFrames(1);
  const int32_t id = FrontEnd()->GetWindowId();
  const int32_t windows = GetApp().GetWindowCount();
  ASSERT_NE(GetApp().FindWindow(id), nullptr);
  const int32_t fonts = GetApp().GetFontFactory()->GetCount();
  FrontEnd()->CleanUp();
  EXPECT_EQ(GetApp().GetFontFactory()->GetCount(), fonts - 1) << "its font given back";
  EXPECT_EQ(GetApp().FindWindow(id), nullptr);
  EXPECT_EQ(GetApp().GetWindowCount(), windows - 1);
  EXPECT_EQ(FrontEnd()->GetWindowId(), -1);
  EXPECT_EQ(GetFrontEnd(), nullptr);
}

// Rows the display does not have are hidden from the video menu, and a selection on one of them
// moves back to the last row still shown.
TEST(VideoMenuTest, HiddenRowsTakeTheSelectionBackToTheLastShownRow) {
  const struct {
    int32_t current, firstRow;
    int32_t after;  // the selection
    int32_t hiddenFrom;
  } cases[] = {
      {5, 3, 2, 3}, {2, 3, 2, 3}, {3, 3, 2, 3}, {4, 0, 0, 0}, {7, -4, 0, 0}, {7, 32, 7, 32},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.current << " with rows from " << c.firstRow << " hidden");
    VideoMenu& menu = GetVideoMenu();
    menu = VideoMenu{};
    menu.current = c.current;
    HideDisplayModeItems(c.firstRow, nullptr);
    EXPECT_EQ(menu.current, c.after);
    for (int32_t row = 0; row < kMaxDisplayModeRows; ++row) {
      EXPECT_EQ(menu.items[row].hidden, row >= c.hiddenFrom ? 1 : 0) << row;
      EXPECT_EQ(menu.items[row].skip, row >= c.hiddenFrom ? 1 : 0) << row;
    }
  }
  GetVideoMenu() = VideoMenu{};
}

// A row the display cannot show, or one outside the table, is refused and changes nothing.
TEST_F(FrameworkTest, ARowTheDisplayCannotShowIsRefused) {
  m_harness.RunFrames(1);
  DisplayModeTable& table = GetDisplayModeTable();
  ASSERT_GE(table.count, 1);
  const ChosenDisplayMode chosen = GetChosenDisplayMode();
  const int32_t current = GetVideoMenu().current;
  const DisplayModeRow kept = table.rows[0];
  table.rows[0].width = 123;
  table.rows[0].height = 45;
  for (int32_t row : {0, -1, table.count}) {
    EXPECT_EQ(SelectDisplayModeRow(row), 0) << row;
    EXPECT_EQ(GetChosenDisplayMode().width, chosen.width) << row;
    EXPECT_EQ(GetVideoMenu().current, current) << row;
  }
  table.rows[0] = kept;
  // Past the table's count, even on a row a mode could be read from.
  table.rows[table.count] = kept;
  EXPECT_EQ(SelectDisplayModeRow(table.count), 0);
  table.rows[table.count] = DisplayModeRow{};
  SaveProfile reread;
  EXPECT_NE(reread.Load(), SaveProfile::LoadResult::kLoaded) << "nothing was saved";
}

TEST_F(FrameworkTest, QuitEndsTheProgram) {
  m_harness.RunFrames(1);
  // Quit is the last item; the two-player items are passed over without a peer.
  for (int i = 0; i < CFrontEnd::kItemCount && FrontEnd()->GetSelection() != CFrontEnd::kItemQuit;
       ++i)
    Press(kDIK_DOWN);
  ASSERT_EQ(FrontEnd()->GetSelection(), CFrontEnd::kItemQuit);
  Press(kDIK_RETURN);
  EXPECT_EQ(m_harness.app().GetExitFlag(), 1);
}

// The program as a player starts it, with the files of the working folder prepared first.
class FrameworkFilesTest : public AppTest {
 protected:
  void SetUp() override {
    GetSaveProfile() = SaveProfile();
    KavelApp::Register();
  }
  void TearDown() override { m_harness.Stop(); }
  void Press(int key) {
    m_harness.input().SetKey(key, true);
    m_harness.RunFrames(1);
    m_harness.input().SetKey(key, false);
    m_harness.RunFrames(1);
  }
  CFrontEnd* FrontEnd() { return GetKavelApp()->GetFrontEnd(); }
  // The message box's lines, as the player reads them.
  std::u16string Line(int32_t line) {
    const char16_t* text = FrontEnd()->GetMessageLine(line);
    return text ? text : u"";
  }
};

// A profile the program refuses is told to the player once, at the start, and kept aside at the
// first save (a display mode chosen in the video menu here).
void ExpectRefusedProfileToldAndKept(AppHarness& harness, const std::vector<uint8_t>& image,
                                     int32_t title, const char* kept) {
  LinkDemoData();
  WriteFileBytes("PDSG.raw", image.data(), image.size());
  ASSERT_TRUE(harness.Start());
  harness.RunFrames(1);
  CFrontEnd* frontEnd = GetKavelApp()->GetFrontEnd();
  ASSERT_EQ(frontEnd->GetScreen(), CFrontEnd::Screen::Message);
  EXPECT_EQ(std::u16string(frontEnd->GetMessageLine(0)), GetLocalisedText(title));
  EXPECT_EQ(std::u16string(frontEnd->GetMessageLine(1)), GetLocalisedText(1028));
  char utf8[128];
  EXPECT_NE(std::string(GetLocalisedTextUtf8(title, utf8, sizeof(utf8))), "")
      << "a text of its own";
  EXPECT_EQ(ReadFileBytes("PDSG.raw"), std::string(image.begin(), image.end()));

  harness.input().SetKey(kDIK_RETURN, true);
  harness.RunFrames(1);
  harness.input().SetKey(kDIK_RETURN, false);
  harness.RunFrames(1);
  EXPECT_EQ(frontEnd->GetScreen(), CFrontEnd::Screen::Menu) << "told once";
  harness.RunFrames(30);
  EXPECT_EQ(frontEnd->GetScreen(), CFrontEnd::Screen::Menu);

  const DisplayModeTable& table = GetDisplayModeTable();
  ASSERT_GT(table.count, 0);
  ASSERT_EQ(SelectDisplayModeRow(0), 1);
  EXPECT_EQ(ReadFileBytes(kept), std::string(image.begin(), image.end()));
  EXPECT_TRUE(DebugLogContains(std::string("Save profile PDSG.raw kept as ") + kept));
  SaveProfile reread;
  EXPECT_EQ(reread.Load(), SaveProfile::LoadResult::kLoaded);
}

TEST_F(FrameworkFilesTest, ADamagedProfileIsToldAtTheStartAndKeptAtTheFirstSave) {
  std::vector<uint8_t> image(1804, 0x5A);
  std::memcpy(image.data(), "PDSG\x01\0\0\0", 8);
  ExpectRefusedProfileToldAndKept(m_harness, image, 1026, "PDSG.raw.damaged");
  EXPECT_TRUE(DebugLogContains("Save profile PDSG.raw is damaged (bad checksum)"));
}

TEST_F(FrameworkFilesTest, ANewerProfileIsToldAtTheStartAndKeptAtTheFirstSave) {
  std::vector<uint8_t> image(2000, 0x5A);
  std::memcpy(image.data(), "PDSG\x02\0\0\0", 8);
  ExpectRefusedProfileToldAndKept(m_harness, image, 1027, "PDSG.raw.newer");
  EXPECT_FALSE(DebugLogContains("damaged"));
}

// A game whose data folder is not there refuses to load, and the player reads that its data is
// missing; the log names the folder.
TEST_F(FrameworkFilesTest, AGameWithoutItsDataFolderSaysItsDataIsMissing) {
  fs::create_directory("data");
  const std::vector<std::string> gameFolders = {"DivingGame", "FootballGame", "PirateGame",
                                                "TesselGame"};
  for (const fs::directory_entry& entry : fs::directory_iterator(DemoDataFolder())) {
    const std::string name = entry.path().filename().string();
    if (std::find(gameFolders.begin(), gameFolders.end(), name) == gameFolders.end())
      fs::create_symlink(entry.path(), "data/" + name);
  }
  ASSERT_TRUE(m_harness.Start());
  m_harness.RunFrames(1);
  const struct {
    void (*start)();
    const char* folder;
  } kGames[] = {
      {&PDFE_StartGameCobbAndJory, "cDivingGame: the data folder data\\DivingGame\\ is missing"},
      {&PDFE_StartGameDulcieClemency,
       "cfootballgame: the data folder data\\FootballGame\\ is missing"},
      {&PDFE_StartGameMrGorst, "cpirategame: the data folder data\\PirateGame\\ is missing"},
      // The garden game is made by no menu item, but loads the same way.
      {[] { GetKavelApp()->StartGame(TrackedNew<cTesselGame>("FrameworkTest", kModeNormal, 0)); },
       "cTesselGame: the data folder data\\TesselGame\\ is missing"},
  };
  for (const auto& game : kGames) {
    SCOPED_TRACE(game.folder);
    std::remove("Debug.log");
    game.start();
    ASSERT_NE(GetKavelApp()->GetCurrentGame(), nullptr);
    m_harness.RunFrames(3);
    EXPECT_EQ(GetKavelApp()->GetCurrentGame(), nullptr) << "it did not load";
    ASSERT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message);
    EXPECT_EQ(Line(0), u"THIS GAME'S DATA IS MISSING");
    EXPECT_EQ(Line(1), u"");
    EXPECT_TRUE(DebugLogContains(game.folder));
    EXPECT_TRUE(DebugLogContains("failed to load (phase 1)"));
    EXPECT_EQ(m_harness.app().GetWindowCount(), 1) << "only the front end's window is left";
    Press(kDIK_RETURN);
    EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Menu);
  }
}

}  // namespace
