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
#include <ostream>
#include <string>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCPolygonPools.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCTexture.h"
#include "Game/Frontend/FrontEnd.h"
#include "Game/Frontend/PDFE.h"
#include "Game/Frontend/SaveProfile.h"
#include "Game/Frontend/VideoModes.h"
#include "Game/GameBaseClass.h"
#include "Game/Helper/InputDevice.h"
#include "Game/KavelApp.h"
#include "Game/Localisation/LocalisedText.h"
#include "Game/Multiplayer/PC/TwoPlayerLink.h"
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
int g_failPhase = 0;            // a load phase that reports failure (0 none)
int32_t g_result = 1;           // what the game reports at its end
int64_t g_firstTickFrame = -1;  // the frame that ran the game's first tick

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
    if (++m_ticks == 1) g_firstTickFrame = GetApp().GetFramesRun();
    if (GetInputDevice()->IsButtonPressed(kInputButtonE)) ++m_presses;
    AddScore(0, 10);
    if (m_ticks < g_ticksToPlay) return 0;
    m_result = g_result;
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

// The program's menu as a player works it: a key pressed for one frame and let go for the next.
class MenuTest : public AppTest {
 protected:
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

class FrameworkTest : public MenuTest {
 protected:
  void SetUp() override {
    LinkDemoData();
    g_calls.clear();
    g_ticksToPlay = 30;
    g_failPhase = 0;
    g_result = 1;
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

  static std::u16string Text(int32_t id) { return id < 0 ? u"" : GetLocalisedText(id); }
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

  const int64_t pressedAt = m_harness.app().GetFramesRun() + 1;
  Press(kDIK_RETURN);
  ASSERT_NE(g_game, nullptr);
  EXPECT_EQ(g_game->GetMode(), kModeNormal);
  EXPECT_EQ(g_game->GetLevel(), FrontEnd()->GetDifficulty());
  m_harness.RunFrames(10);
  EXPECT_EQ(GetSoundWrapper()->IsMusicPlaying(), 0) << "a game starts in silence";
  RunUntilGameEnds(400);
  ASSERT_EQ(GetKavelApp()->GetCurrentGame(), nullptr) << "the game ended";
  m_harness.RunFrames(5);
  EXPECT_EQ(GetSoundWrapper()->IsMusicPlaying(), 1) << "the menu's music again";
  const std::vector<std::string> log = ReadCrLfLines("Debug.log");
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& line) {
                            return line.find("Music\\Frontend.ogg") != std::string::npos;
                          }),
            2)
      << "started at the start and once after the game, not every frame";
  // Four load phases and the music, one a frame after the press, then the first tick (the
  // frame count is read while its frame runs).
  EXPECT_EQ(g_firstTickFrame - pressedAt, 5) << "frames counted from 0";

  const std::vector<std::string> expected = {"construct",  "LoadPhase1", "LoadPhase2",
                                             "LoadPhase3", "LoadPhase4", "StartMusic",
                                             "over",       "CleanUp",    "destroy"};
  EXPECT_EQ(g_calls, expected);
  EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message) << "the result is shown";
  EXPECT_EQ(Line(0), Text(1014)) << "won";
  EXPECT_EQ(Line(1), Text(1016)) << "a new high score";
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
  EXPECT_EQ(screen[10 * 640 + 10] & 0x00FFFFFFu, 0x182038u) << "the menu's own clear colour";
  // The selection bar, left of the first item's text, lightens the screen in every channel
  // towards its own colour (its texture is white, tinted by the bar's colour).
  const uint32_t bar = screen[118 * 640 + 190], background = screen[10 * 640 + 10];
  for (int shift : {16, 8, 0})
    EXPECT_GT(static_cast<int>((bar >> shift) & 0xFF),
              static_cast<int>((background >> shift) & 0xFF) + 16)
        << std::hex << bar;
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("TestGame::LoadPhase1"), 0u);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("TestGame::Make"), 0u);
  EXPECT_EQ(m_harness.app().GetWindowCount(), 1) << "only the front end's window is left";
}

TEST_F(FrameworkTest, TheResultIsRecordedByMode) {
  struct Case {
    int32_t mode;
    int32_t result;
    int32_t unlocks;
    int32_t first, second;  // the message's text ids (-1 none)
    int32_t best;           // the high score after the game
  };
  const Case cases[] = {
      {kModeChallenge2, 0, 0, 1015, -1, 0},   {kModeChallenge1, 1, 1, 1014, 1017, 0},
      {kModeChallenge2, 1, 2, 1014, 1017, 0}, {kModeTwoPlayer, 1, 2, 1014, -1, 0},
      {kModeNormal, 0, 2, 1015, 1016, 300},
  };
  m_harness.RunFrames(1);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " result " << c.result);
    FrontEnd()->SetMode(c.mode);
    g_result = c.result;
    // Without a connected peer the two-player start refuses with a message; the game is then
    // started as the link's start would.
    g_game = nullptr;
    if (c.mode == kModeTwoPlayer) {
      const GameMaker football = SetGameMaker(kGameFootball, &MakeTestGame);
      PDFE_StartDulcieClemencyMP();
      SetGameMaker(kGameFootball, football);
      EXPECT_EQ(g_game, nullptr);
      EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message);
      EXPECT_EQ(Line(0), Text(1020)) << "no connection";
      EXPECT_TRUE(DebugLogContains("Front end: no two-player game without a connected peer"));
      Press(kDIK_RETURN);
      GetKavelApp()->StartGame(MakeTestGame(kModeTwoPlayer, 0));
    } else {
      PDFE_StartGameCobbAndJory();
    }
    ASSERT_NE(g_game, nullptr);
    EXPECT_EQ(g_game->GetMode(), c.mode);
    EXPECT_EQ(g_game->GetPlayerCount(), c.mode == kModeTwoPlayer ? 2 : 1);
    RunUntilGameEnds(400);
    EXPECT_EQ(GetSaveProfile().UnlockCount(), c.unlocks);
    EXPECT_EQ(GetSaveProfile().IsUnlocked(kTestGameId, kModeChallenge2), c.unlocks == 2);
    EXPECT_EQ(GetSaveProfile().GetHighScore(kTestGameId, 0)->score, c.best);
    EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message);
    EXPECT_EQ(Line(0), Text(c.first));
    EXPECT_EQ(Line(1), Text(c.second));
    Press(kDIK_RETURN);
  }
}

// The second, fourth and sixth unlock each play a movie once the result is recorded.
TEST_F(FrameworkTest, AnUnlockMoviePlaysAtTheSecondFourthAndSixthUnlock) {
  const struct {
    int32_t before;     // unlocks won before the game
    const char* movie;  // null: none
  } cases[] = {{0, nullptr}, {1, "unlock1.bik"}, {2, nullptr}, {3, "unlock2.bik"},
               {4, nullptr}, {5, "unlock3.bik"}, {6, nullptr}};
  g_ticksToPlay = 1;
  m_harness.RunFrames(1);
  FrontEnd()->SetMode(kModeChallenge1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    SaveProfile& profile = GetSaveProfile();
    profile.Data() = SaveProfileData{};
    for (int32_t i = 0; i < c.before; ++i)
      profile.RecordUnlock(i / 2, i % 2 ? kModeChallenge2 : kModeChallenge1);
    std::remove("Debug.log");
    PDFE_StartGameCobbAndJory();
    RunUntilGameEnds(100);
    m_harness.RunFrames(1);
    EXPECT_EQ(profile.UnlockCount(), c.before + 1);
    for (const char* movie : {"unlock1.bik", "unlock2.bik", "unlock3.bik"})
      EXPECT_EQ(DebugLogContains(std::string("data\\Movies\\") + movie),
                c.movie && std::strcmp(movie, c.movie) == 0)
          << movie;
    Press(kDIK_RETURN);
  }
}

// The program's end in the middle of a game cleans the game up first.
TEST_F(FrameworkTest, TheProgramsEndDuringAGameCleansItUp) {
  g_ticksToPlay = 100000;
  m_harness.RunFrames(1);
  Press(kDIK_RETURN);
  m_harness.RunFrames(10);
  ASSERT_NE(GetKavelApp()->GetCurrentGame(), nullptr);
  m_harness.Stop();
  ASSERT_GE(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[g_calls.size() - 2], "CleanUp");
  EXPECT_EQ(g_calls.back(), "destroy");
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("TestGame::LoadPhase1"), 0u);
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
  // The front end's window sleeps under a running game and wakes for the overlay.
  RenderWindow* menu = m_harness.app().FindWindow(FrontEnd()->GetWindowId());
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->GetFlags(), BaseRenderWindow::kSuspended);
  Press(kDIK_ESCAPE);
  EXPECT_EQ(menu->GetFlags(), 0);
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
  EXPECT_EQ(menu->GetFlags(), BaseRenderWindow::kDefaultFlags) << "the menu draws again";
  m_harness.RunFrames(1);
  EXPECT_EQ(m_harness.app().GetPause(), 0) << "the menu's scene time runs";
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
  // Each frame runs the ticks the time before it owes (the frame's own time is owed by the
  // next), at least one and at most four.
  const struct {
    int ms;
    int ticks;
  } frames[] = {{17, 1}, {50, 1}, {17, 2}, {0, 1}, {500, 1}, {17, 4}};
  for (const auto& frame : frames) {
    SCOPED_TRACE(&frame - frames);
    const int before = g_game->m_ticks;
    system.AdvanceMilliseconds(frame.ms);
    m_harness.RunFrames(1);
    EXPECT_EQ(g_game->m_ticks - before, frame.ticks);
  }
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

// Loading takes long; its time is not owed to the game as ticks to catch up.
TEST_F(FrameworkTest, TheTimeSpentLoadingIsNotCaughtUp) {
  g_ticksToPlay = 100000;
  m_harness.RunFrames(1);
  // The game stops the menu's music as it is made; the clock is scripted from then on.
  m_harness.input().SetKey(kDIK_RETURN, true);
  m_harness.RunFrames(1);
  m_harness.input().SetKey(kDIK_RETURN, false);
  ASSERT_NE(g_game, nullptr);
  plat::ScriptedSystem& system = m_harness.system();
  system.UseManualClock(true);
  system.SetFrequency(1000);
  system.SetCounterStepPerRead(1);
  m_harness.app().GetTimer()->Create(60);
  m_harness.RunFrames(1);
  system.SetCounterStepPerRead(0);
  for (int frame = 0; frame < 10 && GetKavelApp()->IsLoading(); ++frame) {
    system.AdvanceMilliseconds(200);
    m_harness.RunFrames(1);
  }
  ASSERT_NE(g_game, nullptr);
  ASSERT_FALSE(GetKavelApp()->IsLoading());
  EXPECT_EQ(g_game->m_ticks, 0);
  // The timer starts afresh: its first turn waits for its due time, which the clock reaches.
  system.SetCounterStepPerRead(1);
  m_harness.RunFrames(1);
  system.SetCounterStepPerRead(0);
  EXPECT_EQ(g_game->m_ticks, 1);
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
  // Only the front end's own games have makers.
  for (int32_t game : {-1, int32_t{kFrontEndGameCount}}) {
    EXPECT_EQ(SetGameMaker(game, &MakeTestGame), nullptr) << game;
    EXPECT_EQ(GetGameMaker(game), nullptr) << game;
  }
  EXPECT_EQ(GetGameMaker(kGamePirate), pirate);
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

// The rectangles (panels, the selection bar) the front end queues for one frame, as
// {x0, y0, x1, y1} with their colour.
struct Quad {
  float x0, y0, x1, y1;
  uint32_t colour;
  bool operator==(const Quad&) const = default;
};
template <class Draw>
std::vector<Quad> FrontEndQuads(CFrontEnd* frontEnd, Draw draw) {
  std::vector<Quad> quads;
  RenderWindow* window = GetApp().FindWindow(frontEnd->GetWindowId());
  if (!window) return quads;
  PolygonPools& pools = window->GetPolygonPools();
  const PolygonPools::Queue queues[] = {PolygonPools::kOpaque2D, PolygonPools::kAlpha2D};
  int32_t before[2];
  for (int q = 0; q < 2; ++q) before[q] = pools.GetPolygonCount(queues[q]);
  draw();
  for (int q = 0; q < 2; ++q) {
    for (int32_t n = before[q]; n < pools.GetPolygonCount(queues[q]); ++n) {
      const PolygonData2D* poly = pools.Get2D(queues[q], n);
      if (!poly || poly->vertexCount != 4) continue;
      const PolyVertex2D* v = poly->vertices;
      quads.push_back({v[0].x, v[0].y, v[3].x, v[3].y, v[0].colour});
    }
  }
  return quads;
}
void PrintTo(const Quad& q, std::ostream* os) {
  *os << "(" << q.x0 << ", " << q.y0 << ")-(" << q.x1 << ", " << q.y1 << ") " << std::hex
      << q.colour << std::dec;
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
  // Every item a player without a peer can choose, one line apart, in the menu's colours; the
  // selection bar under the selected one.
  const struct {
    int32_t text, y;
    uint32_t colour;
  } items[] = {{1000, 120, 0xFFFFD040u}, {1001, 146, 0xFFE0E0E0u}, {1002, 172, 0xFFE0E0E0u},
               {1003, 198, 0xFFE0E0E0u}, {1007, 224, 0xFFE0E0E0u}, {1011, 250, 0xFFE0E0E0u},
               {1012, 276, 0xFFE0E0E0u}};
  for (const auto& item : items) {
    const TextItem* shown = FindText(texts, GetLocalisedText(item.text));
    ASSERT_NE(shown, nullptr) << item.text;
    EXPECT_EQ(shown->x, 200) << item.text;
    EXPECT_EQ(shown->y, item.y) << item.text;
    EXPECT_EQ(shown->colour, item.colour) << item.text;
  }
  EXPECT_EQ(normal->colour, 0xFFE0E0E0u);
  EXPECT_EQ(texts.size(), 9u) << "seven items and two values";
  EXPECT_EQ(FrontEndQuads(FrontEnd(), [&] { FrontEnd()->Update(*GetInputDevice()); }),
            (std::vector<Quad>{{184.0f, 116.0f, 504.0f, 140.0f, 0x80406090u}}));
  // Sideways on the mode and difficulty lines cycles their values, both ways round.
  const struct {
    int32_t item;
    int key;
    int32_t mode, difficulty;
  } steps[] = {
      {CFrontEnd::kItemMode, kDIK_RIGHT, 2, 1},
      {CFrontEnd::kItemMode, kDIK_RIGHT, 3, 1},
      {CFrontEnd::kItemMode, kDIK_LEFT, 2, 1},
      {CFrontEnd::kItemMode, kDIK_LEFT, 0, 1},
      {CFrontEnd::kItemMode, kDIK_LEFT, 3, 1},
      {CFrontEnd::kItemMode, kDIK_RIGHT, 0, 1},
      {CFrontEnd::kItemDifficulty, kDIK_RIGHT, 0, 2},
      {CFrontEnd::kItemDifficulty, kDIK_RIGHT, 0, 0},
      {CFrontEnd::kItemDifficulty, kDIK_LEFT, 0, 2},
      {CFrontEnd::kItemDifficulty, kDIK_LEFT, 0, 1},
      // Select on them steps forward.
      {CFrontEnd::kItemMode, kDIK_RETURN, 2, 1},
      {CFrontEnd::kItemMode, kDIK_RETURN, 3, 1},
      {CFrontEnd::kItemMode, kDIK_RETURN, 0, 1},
      {CFrontEnd::kItemDifficulty, kDIK_RETURN, 0, 2},
      {CFrontEnd::kItemDifficulty, kDIK_RETURN, 0, 0},
      {CFrontEnd::kItemDifficulty, kDIK_RETURN, 0, 1},
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
  constexpr uint32_t kPanel = 0xC0203048u, kTitle = 0xFFFFFFFFu, kText = 0xFFE0E0E0u;
  const struct {
    const char* what;
    std::function<void()> show;
    int32_t paused, waiting;                 // for the overlay over a game
    int32_t first, firstY, second, secondY;  // text ids, -1 for none
    uint32_t secondColour;
    std::vector<Quad> panels;
  } screens[] = {
      {"loading", [&] { FrontEnd()->ShowLoadingScreen(); }, 0, 0, 1013, 230, -1, 0, 0, {}},
      {"message",
       [&] { FrontEnd()->ShowMessage(GetLocalisedText(1018), GetLocalisedText(1020)); },
       0,
       0,
       1018,
       210,
       1020,
       250,
       kText,
       {{100.0f, 180.0f, 540.0f, 300.0f, kPanel}}},
      {"paused and waiting",
       [&] { FrontEnd()->Hide(); },
       1,
       1,
       1022,
       225,
       1029,
       312,
       kTitle,
       {{220.0f, 200.0f, 420.0f, 270.0f, kPanel}, {120.0f, 300.0f, 520.0f, 344.0f, kPanel}}},
      {"paused",
       [&] { FrontEnd()->Hide(); },
       1,
       0,
       1022,
       225,
       -1,
       0,
       0,
       {{220.0f, 200.0f, 420.0f, 270.0f, kPanel}}},
      {"waiting",
       [&] { FrontEnd()->Hide(); },
       0,
       1,
       1029,
       312,
       -1,
       0,
       0,
       {{120.0f, 300.0f, 520.0f, 344.0f, kPanel}}},
  };
  for (const auto& screen : screens) {
    SCOPED_TRACE(screen.what);
    screen.show();
    const bool overlay = FrontEnd()->GetScreen() == CFrontEnd::Screen::Hidden;
    const auto draw = [&] {
      if (overlay)
        FrontEnd()->DrawPauseOverlay(screen.paused, screen.waiting);
      else
        FrontEnd()->Update(*GetInputDevice());
    };
    texts = FrontEndTexts(FrontEnd(), draw);
    EXPECT_EQ(texts.size(), screen.second == -1 ? 1u : 2u);
    const TextItem* first = FindText(texts, GetLocalisedText(screen.first));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->y, screen.firstY);
    EXPECT_EQ(first->colour, kTitle);
    EXPECT_TRUE(Centred(first));
    if (screen.second != -1) {
      const TextItem* second = FindText(texts, GetLocalisedText(screen.second));
      ASSERT_NE(second, nullptr);
      EXPECT_EQ(second->y, screen.secondY);
      EXPECT_EQ(second->colour, screen.secondColour);
      EXPECT_TRUE(Centred(second));
    }
    EXPECT_EQ(FrontEndQuads(FrontEnd(), draw), screen.panels);
    RenderWindow* window = GetApp().FindWindow(FrontEnd()->GetWindowId());
    EXPECT_EQ(window->GetFlags(), overlay ? 0 : BaseRenderWindow::kDefaultFlags)
        << "the window wakes to draw without clearing";
  }
  // Over a game running on, the window sleeps and draws nothing.
  texts = FrontEndTexts(FrontEnd(), [&] { FrontEnd()->DrawPauseOverlay(0, 0); });
  EXPECT_TRUE(texts.empty());
  EXPECT_EQ(GetApp().FindWindow(FrontEnd()->GetWindowId())->GetFlags(),
            BaseRenderWindow::kSuspended);
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
  int32_t topY = 480;
  for (const TextItem& item : texts) topY = item.y > 60 ? std::min(topY, item.y) : topY;
  EXPECT_EQ(topY, 100) << "the first mode's line";
  EXPECT_EQ(marker->y, row->y) << "the marker beside the current mode";
  EXPECT_EQ(marker->x, 180);
  EXPECT_EQ(row->colour, 0xFFFFD040u) << "the current mode is selected at first";
  const TextItem* back = FindText(texts, GetLocalisedText(1024));
  ASSERT_NE(back, nullptr) << "Back";
  EXPECT_EQ(back->x, 200);
  EXPECT_EQ(back->colour, 0xFFE0E0E0u);
  int32_t lastY = 0;
  for (const TextItem& item : texts) lastY = std::max(lastY, item.text != back->text ? item.y : 0);
  EXPECT_EQ(back->y, lastY + 39) << "half a line below the last row";
  // A long list shows twelve rows round the selection, the last ones at its end; a row the
  // display does not have is neither shown nor stopped at.
  {
    const DisplayModeTable kept = table;
    const VideoMenu keptMenu = GetVideoMenu();
    for (VideoMenuItem& item : GetVideoMenu().items) item = VideoMenuItem{};
    GetVideoMenu().items[10] = VideoMenuItem{1, 1};
    DisplayModeTable& rows = GetDisplayModeTable();
    rows.count = 20;
    for (int32_t i = 0; i < rows.count; ++i) std::snprintf(rows.rows[i].label, 64, "mode %d", i);
    for (int i = 0; i < 40; ++i) {
      texts = FrontEndTexts(FrontEnd());
      const auto selected = std::count_if(texts.begin(), texts.end(), [](const TextItem& item) {
        return item.colour == 0xFFFFD040u && item.y > 60 && std::u16string(item.text) != u">";
      });
      EXPECT_EQ(selected, 1) << "one row selected, and shown, at press " << i;
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
    EXPECT_EQ(shown, 11);
    EXPECT_EQ(first, 8);
    EXPECT_EQ(FindText(texts, u"mode 10"), nullptr);
    GetDisplayModeTable() = kept;
    GetVideoMenu() = keptMenu;
  }
  // Down past the last mode is Back, which Select takes; two more are the second mode, which
  // Select sets.
  Press(kDIK_ESCAPE);
  Press(kDIK_RETURN);
  ASSERT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Video);
  for (int32_t i = current; i < table.count; ++i) Press(kDIK_DOWN);
  texts = FrontEndTexts(FrontEnd());
  back = FindText(texts, GetLocalisedText(1024));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->colour, 0xFFFFD040u) << "Back is selected";
  Press(kDIK_RETURN);
  ASSERT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Menu);
  Press(kDIK_RETURN);
  ASSERT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Video);
  ASSERT_GE(table.count, 2);
  for (int32_t i = current; i <= table.count + 1; ++i) Press(kDIK_DOWN);
  GetChosenDisplayMode() = ChosenDisplayMode{};
  Press(kDIK_RETURN);
  EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Video);
  EXPECT_EQ(GetVideoMenu().current, 1);
  EXPECT_EQ(GetChosenDisplayMode().width, table.rows[1].width);
  EXPECT_EQ(m_harness.app().GetDisplay()->GetModeWidth(), table.rows[1].width);
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
  // The texture of its panels, as the selection bar names it.
  RenderWindow* window = GetApp().FindWindow(id);
  PolygonPools& pools = window->GetPolygonPools();
  const int32_t queued = pools.GetPolygonCount(PolygonPools::kAlpha2D);
  FrontEnd()->Update(*GetInputDevice());
  ASSERT_GT(pools.GetPolygonCount(PolygonPools::kAlpha2D), queued);
  const int32_t panel = pools.Get2D(PolygonPools::kAlpha2D, queued)->texture;
  Texture* textures = static_cast<Texture*>(GetApp().GetTexture());
  ASSERT_NE(textures->Find(panel), nullptr);
  FrontEnd()->CleanUp();
  EXPECT_EQ(textures->Find(panel), nullptr) << "its panel texture given back";
  EXPECT_EQ(GetApp().GetFontFactory()->GetCount(), fonts - 1) << "its font given back";
  EXPECT_EQ(GetApp().FindWindow(id), nullptr);
  EXPECT_EQ(GetApp().GetWindowCount(), windows - 1);
  EXPECT_EQ(FrontEnd()->GetWindowId(), -1);
  EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Hidden);
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
class FrameworkFilesTest : public MenuTest {
 protected:
  void SetUp() override {
    GetSaveProfile() = SaveProfile();
    KavelApp::Register();
  }
  void TearDown() override { m_harness.Stop(); }
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

// Without its data the menu has no font: it still runs, draws nothing, and answers the keys.
TEST_F(FrameworkFilesTest, WithoutItsFontTheMenuStillRuns) {
  ASSERT_TRUE(m_harness.Start());
  m_harness.RunFrames(2);
  ASSERT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Menu);
  RenderWindow* window = GetApp().FindWindow(FrontEnd()->GetWindowId());
  ASSERT_NE(window, nullptr);
  window->DropText();
  FrontEnd()->Update(*GetInputDevice());
  FrontEnd()->ShowMessage(u"a", u"b");
  FrontEnd()->Update(*GetInputDevice());
  EXPECT_EQ(window->GetTextItemCount(), 0);
  Press(plat::kDIK_RETURN);
  Press(plat::kDIK_DOWN);
  EXPECT_EQ(FrontEnd()->GetSelection(), CFrontEnd::kItemFootball);
}

// The keys, volumes and display mode a player chose come back at the next start, and the
// program's end leaves no service of its own behind.
TEST_F(FrameworkFilesTest, TheProfilesSettingsApplyAtTheStartAndTheEndUnsetsEveryService) {
  LinkDemoData();
  SaveProfile chosen;
  ASSERT_TRUE(chosen.SetPath(SaveProfile::kFileName));
  chosen.Defaults();
  ProfileSettings& settings = chosen.Data().settings;
  settings.displayWidth = 800;
  settings.displayHeight = 600;
  settings.displayBits = 32;
  const float volumes[3] = {0.25f, 0.5f, 0.75f};
  std::copy(std::begin(volumes), std::end(volumes), settings.volumes);
  settings.keys[0].key = 0x11;                          // up on W
  settings.keys[InputDevice::kNumKeys - 1].key = 0x22;  // the keypad's right on G
  ASSERT_TRUE(chosen.Save());
  ASSERT_TRUE(m_harness.Start());
  m_harness.RunFrames(1);
  const InputBinding* keys = GetInputDevice()->Bindings();
  EXPECT_EQ(keys[0].key, 0x11u);
  EXPECT_EQ(keys[0].mask, uint32_t{kInputUp});
  EXPECT_EQ(keys[InputDevice::kNumKeys - 1].key, 0x22u);
  for (int32_t i = 1; i < InputDevice::kNumKeys - 1; ++i)
    EXPECT_EQ(keys[i].key, InputDevice::DefaultBindings()[i].key) << i;
  for (int32_t category : {kSoundEffects, kSoundSpeech, kSoundMusic})
    EXPECT_FLOAT_EQ(GetSoundWrapper()->GetCategoryVolume(category), volumes[category]);
  EXPECT_EQ(m_harness.app().GetDisplay()->GetModeWidth(), 800) << "the first frame sets the mode";
  EXPECT_EQ(m_harness.app().GetDisplay()->GetModeHeight(), 600);
  // W moves the menu's selection up, from the first item round to the last.
  Press(0x11);
  EXPECT_EQ(FrontEnd()->GetSelection(), CFrontEnd::kItemQuit);

  m_harness.Stop();
  EXPECT_EQ(GetKavelApp(), nullptr);
  EXPECT_EQ(GetFrontEnd(), nullptr);
  EXPECT_EQ(GetInputDevice(), nullptr);
  EXPECT_EQ(GetTwoPlayerLink(), nullptr);
  EXPECT_FALSE(GetLocalisedTextTable().IsLoaded());
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
  // A file in a folder's place is no folder.
  WriteFileBytes("data/TesselGame", "x", 1);
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
