#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Engine/Input.h"
#include "Engine/DataFolder.h"
#include "tests/support/AppHarness.h"
#include "tests/support/LogCapture.h"

namespace {

// A game side that counts its calls and can end the program from its Update.
struct GameCounts {
  int inits = 0;
  int updates = 0;
  int cleanUps = 0;
  int destroyed = 0;
  int exitAtUpdate = -1;
  int skipAnswer = 1;
};
GameCounts g_counts;

class CountingGame : public BaseGameApp {
 public:
  ~CountingGame() override {
    CleanUp();
    ++g_counts.destroyed;
  }
  int32_t Init() override {
    ++g_counts.inits;
    return 1;
  }
  void Update() override {
    if (++g_counts.updates == g_counts.exitAtUpdate) GetApp().SetExitFlag(1);
  }
  void CleanUp() override { ++g_counts.cleanUps; }
  int32_t MovieSkipCheck(int32_t, int32_t) override { return g_counts.skipAnswer; }
};

BaseGameApp* MakeCountingGame() { return TrackedNew<CountingGame>("MakeCountingGame"); }

// A window that records the order in which the frame driver runs it.
std::vector<std::string> g_calls;
int g_windowsDestroyed = 0;
int g_windowCleanUps = 0;

class RecordingWindow : public RenderWindow {
 public:
  RecordingWindow(const char* name, float key) : m_name(name) { SetSortKey(key); }
  ~RecordingWindow() override { ++g_windowsDestroyed; }
  void Clear() override { g_calls.push_back(m_name + ".Clear"); }
  void Update() override { g_calls.push_back(m_name + ".Update"); }
  void Render() override { g_calls.push_back(m_name + ".Render"); }
  void CleanUp() override { ++g_windowCleanUps; }

 private:
  std::string m_name;
};

class AppRunTest : public AppTest {
 protected:
  void SetUp() override {
    g_counts = GameCounts();
    g_calls.clear();
    g_windowsDestroyed = 0;
    g_windowCleanUps = 0;
    m_harness.app().SetGameFactory(&MakeCountingGame);
  }
};

TEST_F(AppRunTest, StartsRunsFramesAndShutsDownCleanly) {
  ASSERT_TRUE(m_harness.Start());
  App& app = m_harness.app();
  EXPECT_NE(app.GetWindowHandle(), nullptr);
  EXPECT_NE(app.GetDisplay()->GetDevice(), nullptr);
  EXPECT_EQ(app.GetTargetFrameRate(), 60);
  EXPECT_EQ(app.IsActive(), 1);
  EXPECT_FALSE(m_harness.system().CursorVisible());
  EXPECT_NE(g_gamePad, nullptr);
  m_harness.RunFrames(5);
  EXPECT_EQ(app.GetFramesRun(), 5);
  EXPECT_EQ(g_counts.inits, 1);
  EXPECT_EQ(g_counts.updates, 5);

  m_harness.Stop();
  EXPECT_EQ(g_counts.destroyed, 1);
  EXPECT_EQ(app.GetWindowHandle(), nullptr);
  EXPECT_EQ(app.GetDisplay()->GetDevice(), nullptr);
  EXPECT_EQ(g_gamePad, nullptr);
  EXPECT_EQ(m_harness.input().LiveObjects(), 0);
  EXPECT_EQ(gfx::TestHooks::LiveDeviceCount(), 0);

  // The run's log starts afresh: the header, then the display's first lines.
  std::vector<std::string> lines = ReadCrLfLines("Debug.log");
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[0], std::string(80, '-'));
  EXPECT_EQ(lines[4], "Creating a DirectX9 Device.......................\n");
  EXPECT_TRUE(DebugLogContains("Successfull"));
  EXPECT_TRUE(DebugLogContains("Found 0 Pads"));
}

TEST_F(AppRunTest, RefusesToStartOnAShallowDesktopOrASecondInstance) {
  m_harness.system().ForceDesktopBits(8);
  EXPECT_FALSE(m_harness.Start());
  ASSERT_EQ(m_harness.system().MessageBoxes().size(), 1u);
  EXPECT_EQ(m_harness.system().MessageBoxes()[0].text,
            "Pendrake requires the desktop to be in either 16 or 32 bit colour mode");
  m_harness.Stop();

  m_harness.system().ForceDesktopBits(32);
  m_harness.system().SetInstanceLockFails(true);
  EXPECT_FALSE(m_harness.Start());
  EXPECT_EQ(m_harness.system().MessageBoxes().size(), 1u) << "a second copy ends quietly";
  EXPECT_EQ(m_harness.app().GetWindowHandle(), nullptr);
}

TEST_F(AppRunTest, DisplayAndInputFailuresAreReported) {
  m_harness.faults().FailDirect3DCreate(true);
  EXPECT_FALSE(m_harness.Start());
  ASSERT_FALSE(m_harness.system().MessageBoxes().empty());
  EXPECT_EQ(m_harness.system().MessageBoxes().back().text, "Pendrake requires Directx 9.0c installed.");
  m_harness.Stop();
  m_harness.faults().FailDirect3DCreate(false);

  m_harness.faults().FailCreateDevice(2, 0);  // hardware and software vertex processing both fail
  EXPECT_FALSE(m_harness.Start());
  EXPECT_EQ(m_harness.system().MessageBoxes().back().text,
            "Unable to create a Direct3D device, please make sure you have a D3D8 compatible "
            "graphics accelerator installed.");
  m_harness.Stop();

  m_harness.input().SetCreateFails(true);
  EXPECT_FALSE(m_harness.Start());
  EXPECT_TRUE(DebugLogContains("Error creating input handler"));
  m_harness.Stop();
  m_harness.input().SetCreateFails(false);

  m_harness.input().SetMouseCreateFails(true);  // without a mouse the program runs
  ASSERT_TRUE(m_harness.Start());
  EXPECT_TRUE(DebugLogContains("Could not get the mouse"));
  m_harness.RunFrames(2);
  EXPECT_EQ(m_harness.app().GetMouse()->m_xMotion, 0);
}

TEST_F(AppRunTest, WindowsRunInSortKeyOrderAndIdsNeverRepeat) {
  ASSERT_TRUE(m_harness.Start());
  App& app = m_harness.app();
  EXPECT_EQ(app.FindWindow(0), nullptr);
  EXPECT_EQ(app.AddWindow(TrackedNew<RecordingWindow>("test", "late", 5.0f)), 0);
  EXPECT_EQ(app.AddWindow(TrackedNew<RecordingWindow>("test", "early", 1.0f)), 1);
  EXPECT_EQ(app.AddWindow(TrackedNew<RecordingWindow>("test", "tie", 5.0f)), 2);
  m_harness.RunFrames(1);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"early.Clear", "early.Update", "early.Render",
                                               "late.Clear", "late.Update", "late.Render",
                                               "tie.Clear", "tie.Update", "tie.Render"}));

  app.DeleteWindow(0);
  EXPECT_EQ(app.GetWindowCount(), 2);
  app.DeleteWindow(42);  // nobody's id
  EXPECT_EQ(app.GetWindowCount(), 2);
  // A deleted window's id is not handed out again, so its stale holder cannot delete a stranger.
  int32_t id = app.AddWindow(TrackedNew<RecordingWindow>("test", "new", 0.0f));
  EXPECT_EQ(id, 3);
  app.DeleteWindow(0);
  EXPECT_EQ(app.GetWindowCount(), 3);
  EXPECT_NE(app.FindWindow(3), nullptr);
  EXPECT_EQ(g_windowsDestroyed, 1);

  m_harness.Stop();
  EXPECT_EQ(g_windowsDestroyed, 4);
  EXPECT_EQ(g_windowCleanUps, 3);
}

// The games keep the id AddWindow hands them and find and delete their window by it, one after
// another, while the front end's window stays.
TEST_F(AppRunTest, GamesFindAndDeleteTheirOwnWindowByTheKeptId) {
  ASSERT_TRUE(m_harness.Start());
  App& app = m_harness.app();
  RenderWindow* frontEnd = TrackedNew<RecordingWindow>("test", "front end", 5.0f);
  const int32_t frontEndId = app.AddWindow(frontEnd);
  const char* const games[] = {"FirstGame::Init", "SecondGame::Init", "ThirdGame::Init"};
  for (const char* game : games) {
    // Drawn before the front end, so the list position and the id differ.
    RenderWindow* window = TrackedNew<RecordingWindow>(game, game, 1.0f);
    const int32_t id = app.AddWindow(window);
    m_harness.RunFrames(1);
    EXPECT_EQ(app.FindWindow(id), window) << game;
    app.DeleteWindow(id);
  }
  EXPECT_EQ(app.GetWindowCount(), 1);
  EXPECT_EQ(app.FindWindow(frontEndId), frontEnd);
  for (const char* game : games) EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy(game), 0u) << game;
}

// A window that deletes itself in its Update and adds a newcomer with a smaller sort key.
class SelfDeletingWindow : public RecordingWindow {
 public:
  SelfDeletingWindow() : RecordingWindow("self", 2.0f) {}
  void Update() override {
    RecordingWindow::Update();
    GetApp().AddWindow(TrackedNew<RecordingWindow>("test", "newcomer", 0.0f));
    GetApp().DeleteWindow(GetId());
  }
};

TEST_F(AppRunTest, WindowsDeletedOrAddedDuringThePassAreHandledAfterIt) {
  ASSERT_TRUE(m_harness.Start());
  App& app = m_harness.app();
  app.AddWindow(TrackedNew<RecordingWindow>("test", "first", 1.0f));
  app.AddWindow(TrackedNew<SelfDeletingWindow>("test"));
  app.AddWindow(TrackedNew<RecordingWindow>("test", "last", 3.0f));
  m_harness.RunFrames(1);
  // The window that deleted itself does not render afterwards, and nobody is run twice.
  EXPECT_EQ(g_calls, (std::vector<std::string>{"first.Clear", "first.Update", "first.Render",
                                               "self.Clear", "self.Update", "last.Clear",
                                               "last.Update", "last.Render"}));
  EXPECT_EQ(app.GetWindowCount(), 3);
  EXPECT_EQ(g_windowsDestroyed, 1);
  g_calls.clear();
  m_harness.RunFrames(1);
  ASSERT_FALSE(g_calls.empty());
  EXPECT_EQ(g_calls.front(), "newcomer.Clear") << "the newcomer was sorted in after the pass";
}

TEST_F(AppRunTest, FramesAreClosedWhileInactive) {
  ASSERT_TRUE(m_harness.Start());
  plat::ScriptedSystem& system = m_harness.system();
  system.UseManualClock(true);
  system.SetFrequency(60000);  // one frame period = 1,000 counts
  system.SetCounterStepPerRead(400);
  m_harness.app().GetTimer()->Create(60);
  m_harness.RunFrames(1);
  const int64_t due = m_harness.app().GetTimer()->GetNextDue();
  system.QueueEvent(plat::WindowEventType::ActivateApp, 0);
  m_harness.RunFrames(3);
  // Each frame moved the due time on by whole periods, active or not.
  EXPECT_GE(m_harness.app().GetTimer()->GetNextDue() - due, 3 * 1000);
  EXPECT_EQ((m_harness.app().GetTimer()->GetNextDue() - due) % 1000, 0);
}

TEST_F(AppRunTest, WinMainShutsDownOnceEach) {
  g_counts.exitAtUpdate = 3;
  GetApp().SetGameFactory(&MakeCountingGame);
  EXPECT_EQ(WinMain(), 0);
  EXPECT_EQ(g_counts.updates, 3);
  EXPECT_EQ(g_counts.destroyed, 1);
  EXPECT_EQ(gfx::TestHooks::LiveDeviceCount(), 0);
  EXPECT_EQ(g_gamePad, nullptr);
  EXPECT_EQ(GetApp().GetWindowHandle(), nullptr);
  EXPECT_EQ(GetApp().GetDirectInput(), nullptr);
  // The lock was given back: a second start in this folder succeeds.
  EXPECT_EQ(m_harness.system().TakeInstanceLock("Pendrake mutex"), plat::InstanceLock::Acquired);
  m_harness.system().ReleaseInstanceLock();
}

TEST_F(AppRunTest, WinMainWithoutATimerStillShutsDown) {
  m_harness.system().SetFrequencyFails(true);
  EXPECT_EQ(WinMain(), 0);
  EXPECT_EQ(g_counts.updates, 0);
  EXPECT_EQ(gfx::TestHooks::LiveDeviceCount(), 0);
  EXPECT_EQ(GetApp().GetWindowHandle(), nullptr);
}

TEST_F(AppRunTest, ExitFromGameCodeEndsAfterTheFrameWithEveryWindowDeletedOnce) {
  g_counts.exitAtUpdate = 3;
  ASSERT_TRUE(m_harness.Start());
  m_harness.app().AddWindow(TrackedNew<RecordingWindow>("test", "w", 1.0f));
  m_harness.RunFrames(100);
  EXPECT_EQ(g_counts.updates, 3);
  EXPECT_EQ(m_harness.app().GetFramesRun(), 3) << "the frame that asked to end still finishes";
  m_harness.Stop();
  EXPECT_EQ(g_windowCleanUps, 1);
  EXPECT_EQ(g_windowsDestroyed, 1);
  EXPECT_EQ(g_counts.destroyed, 1);
  EXPECT_EQ(gfx::TestHooks::LiveDeviceCount(), 0);
}

TEST_F(AppRunTest, ClosingTheWindowEndsTheLoop) {
  ASSERT_TRUE(m_harness.Start());
  m_harness.RunFrames(2);
  m_harness.system().QueueEvent(plat::WindowEventType::Destroy);
  m_harness.RunFrames(100);
  EXPECT_EQ(m_harness.app().GetFramesRun(), 2);
  EXPECT_EQ(m_harness.app().GetExitFlag(), 1);
}

// Restores the window after a few turns of sleeping, as a user would.
class RestoringSystem : public plat::ScriptedSystem {
 public:
  void Sleep(uint32_t ms) override {
    plat::ScriptedSystem::Sleep(ms);
    if (ms == 50 && ++m_minimisedSleeps == 3) QueueEvent(plat::WindowEventType::Restored);
  }
  int m_minimisedSleeps = 0;
};

TEST_F(AppRunTest, MinimisedSleepsAndStillSeesTheRestore) {
  ASSERT_TRUE(m_harness.Start());
  RestoringSystem restoring;
  restoring.SetMessageBoxPassThrough(false);
  restoring.Install();
  restoring.QueueEvent(plat::WindowEventType::Minimised);
  m_harness.RunFrames(1);
  EXPECT_EQ(restoring.m_minimisedSleeps, 3);
  EXPECT_EQ(g_counts.updates, 1) << "no update ran while minimised";
  EXPECT_EQ(m_harness.app().IsMinimised(), 0);
  // The restore asks for a device reset, which the frame's Present carried out.
  EXPECT_EQ(m_harness.app().GetDisplay()->GetModeChanged(), 0);
  EXPECT_TRUE(DebugLogContains("Resetting"));
  m_harness.system().Install();
}

TEST_F(AppRunTest, InactiveApplicationKeepsTheGameRunningButDrawsNothing) {
  ASSERT_TRUE(m_harness.Start());
  m_harness.app().AddWindow(TrackedNew<RecordingWindow>("test", "w", 1.0f));
  m_harness.system().QueueEvent(plat::WindowEventType::ActivateApp, 0);
  m_harness.input().SetKey(plat::kDIK_SPACE, true);
  m_harness.RunFrames(3);
  EXPECT_EQ(g_counts.updates, 3);
  EXPECT_TRUE(g_calls.empty());
  EXPECT_EQ(m_harness.app().GetKeyboard()->IsKeyDown(plat::kDIK_SPACE), 0) << "input is not polled";
  m_harness.system().QueueEvent(plat::WindowEventType::ActivateApp, 1);
  m_harness.RunFrames(1);
  EXPECT_EQ(g_calls.size(), 3u);
  EXPECT_EQ(m_harness.app().GetKeyboard()->IsKeyDown(plat::kDIK_SPACE), 1);
}

TEST_F(AppRunTest, SystemKeysAndTheScreenSaverAreSwallowed) {
  App& app = m_harness.app();
  EXPECT_EQ(app.HandleWindowEvent({plat::WindowEventType::SysKeyDown, 0x79}), 0);
  EXPECT_EQ(app.HandleWindowEvent({plat::WindowEventType::ScreenSave, 0}), 0);
  EXPECT_EQ(app.HandleWindowEvent({plat::WindowEventType::EraseBackground, 0}), 1);
  EXPECT_EQ(app.GetExitFlag(), 0);
}

TEST_F(AppRunTest, DataFolderPrefix) {
  App& app = m_harness.app();
  app.SetDataDir("data\\Frontend\\");
  EXPECT_STREQ(app.GetDataDir(), "data\\Frontend\\");
  app.SetDataDir(app.GetDataDir());  // its own current prefix
  EXPECT_STREQ(app.GetDataDir(), "data\\Frontend\\");
  app.SetDataDir(nullptr);
  EXPECT_EQ(app.GetDataDir(), nullptr);
}

TEST_F(AppRunTest, AMovieThatCannotOpenEndsAndRestoresTheMode) {
  ASSERT_TRUE(m_harness.Start());
  App& app = m_harness.app();
  app.GetDisplay()->SetResolution(800, 600, 32);
  m_harness.RunFrames(1);
  app.SetDataDir("data\\Movies\\");
  app.PlayMovie("intro.bik");
  EXPECT_EQ(app.IsMoviePlaying(), 1);
  EXPECT_STREQ(app.GetMoviePlayer()->path, "data\\Movies\\intro.bik");
  EXPECT_EQ(app.GetDisplay()->GetModeWidth(), 640);
  int updatesBefore = g_counts.updates;
  m_harness.RunFrames(1);
  EXPECT_EQ(app.IsMoviePlaying(), 0);
  EXPECT_EQ(app.GetMovieState(), 2);
  EXPECT_EQ(g_counts.updates, updatesBefore) << "the game does not update while a movie plays";
  EXPECT_TRUE(DebugLogContains("Cannot open movie data\\Movies\\intro.bik"));
  EXPECT_EQ(app.GetDisplay()->GetModeWidth(), 800);
  EXPECT_EQ(app.GetDisplay()->GetModeFormat(), gfx::D3DFMT_X8R8G8B8);
  m_harness.RunFrames(1);
  EXPECT_EQ(app.GetWidth(), 800) << "the back buffer was reset to the restored mode";

  // A movie started over another keeps the mode from before the first.
  app.PlayMovie("one.bik");
  app.PlayMovie("two.bik");
  m_harness.RunFrames(2);
  EXPECT_EQ(app.GetDisplay()->GetModeWidth(), 800);
  EXPECT_EQ(app.GetDisplay()->GetModeFormat(), gfx::D3DFMT_X8R8G8B8);
  // Only the height differs from the movie's mode: still a switch.
  app.GetDisplay()->SetResolution(640, 400, 16);
  app.PlayMovie("three.bik");
  EXPECT_EQ(app.GetDisplay()->GetModeHeight(), 480);
}

}  // namespace
