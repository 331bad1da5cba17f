// The game framework end to end, through the real application object on the demo data: the menu,
// a start callback, the loading sequence, the fixed-tick game run, the end of a game with its
// result recorded in the save profile, and the menu again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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
