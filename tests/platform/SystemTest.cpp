// The SDL system back end, run headless, and the scripted one the engine's tests drive.

#include <SDL2/SDL.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "Platform/System/ScriptedSystem.h"
#include "Platform/System/SdlSystem.h"
#include "tests/support/TempDir.h"

namespace {

bool Locks(plat::System& system, const char* name) {
  return system.TakeInstanceLock(name) == plat::InstanceLock::Acquired;
}

using plat::WindowEvent;
using plat::WindowEventType;

plat::SdlSystem& Sdl() { return static_cast<plat::SdlSystem&>(plat::GetSdlSystem()); }

std::vector<WindowEvent> DrainEvents(plat::System& system) {
  std::vector<WindowEvent> events;
  WindowEvent event;
  while (system.PeekEvent(&event)) events.push_back(event);
  return events;
}

int CountOf(const std::vector<WindowEvent>& events, WindowEventType type) {
  int count = 0;
  for (const WindowEvent& event : events) count += event.type == type ? 1 : 0;
  return count;
}

// The SDL back end is one per process: every test starts and ends without a window or events.
class SdlSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    Sdl().DestroyAppWindow();
    DrainEvents(Sdl());
  }
};

TEST_F(SdlSystemTest, WindowHasTheExactClientSizeCentredOnTheDesktop) {
  plat::DesktopMode desktop = Sdl().GetDesktopMode();
  ASSERT_GT(desktop.width, 0);
  ASSERT_GT(desktop.height, 0);
  // The offscreen desktop is 24-bit RGB, which the program counts as its 32-bit mode.
  EXPECT_EQ(desktop.bitsPerPixel, 32);

  // The screen saver is held off only while the window exists.
  EXPECT_TRUE(Sdl().ScreenSaverAllowed());
  int32_t x = -1;
  int32_t y = -1;
  plat::WindowHandle window = Sdl().CreateAppWindow(640, 480, &x, &y);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(Sdl().GetAppWindow(), window);
  int32_t width = 0;
  int32_t height = 0;
  Sdl().GetClientSize(&width, &height);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  EXPECT_EQ(x, (desktop.width - 640) / 2);
  EXPECT_EQ(y, (desktop.height - 480) / 2);
  EXPECT_FALSE(Sdl().ScreenSaverAllowed());
  // One application window at a time.
  EXPECT_EQ(Sdl().CreateAppWindow(320, 240, nullptr, nullptr), nullptr);

  Sdl().DestroyAppWindow();
  EXPECT_TRUE(Sdl().ScreenSaverAllowed());
  plat::WindowHandle other = Sdl().CreateAppWindow(800, 600, nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  Sdl().GetClientSize(&width, &height);
  EXPECT_EQ(width, 800);
  EXPECT_EQ(height, 600);
}

TEST_F(SdlSystemTest, DestroyingTheWindowDeliversOneDestroy) {
  ASSERT_NE(Sdl().CreateAppWindow(640, 480, nullptr, nullptr), nullptr);
  DrainEvents(Sdl());
  Sdl().DestroyAppWindow();
  Sdl().DestroyAppWindow();
  EXPECT_EQ(Sdl().GetAppWindow(), nullptr);
  std::vector<WindowEvent> events = DrainEvents(Sdl());
  EXPECT_EQ(CountOf(events, WindowEventType::Destroy), 1);
  // Without any window there is nothing to destroy.
  Sdl().DestroyAppWindow();
  EXPECT_TRUE(DrainEvents(Sdl()).empty());
  // A system that ends takes its window with it.
  uint32_t id = 0;
  {
    plat::SdlSystem other;
    id = SDL_GetWindowID(static_cast<SDL_Window*>(other.CreateAppWindow(64, 48, nullptr, nullptr)));
  }
  ASSERT_NE(id, 0u);
  EXPECT_EQ(SDL_GetWindowFromID(id), nullptr);
}

TEST_F(SdlSystemTest, QuitComesBehindPendingEventsAndDestroyGoesAhead) {
  Sdl().PostQuit();
  WindowEvent event;
  ASSERT_TRUE(Sdl().PeekEvent(&event));
  EXPECT_EQ(event.type, WindowEventType::Quit);
  EXPECT_FALSE(Sdl().PeekEvent(&event));

  // Destroying reaches the window procedure at once, ahead of a quit posted earlier; a quit
  // posted afterwards comes behind it.
  ASSERT_NE(Sdl().CreateAppWindow(640, 480, nullptr, nullptr), nullptr);
  DrainEvents(Sdl());
  Sdl().PostQuit();
  Sdl().DestroyAppWindow();
  Sdl().PostQuit();
  std::vector<WindowEvent> events = DrainEvents(Sdl());
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].type, WindowEventType::Destroy);
  EXPECT_EQ(events[1].type, WindowEventType::Quit);
  EXPECT_EQ(events[2].type, WindowEventType::Quit);
}

TEST_F(SdlSystemTest, TerminationSignalEndsTheProgramLikeClosingTheWindow) {
  ASSERT_NE(Sdl().CreateAppWindow(640, 480, nullptr, nullptr), nullptr);
  struct sigaction current {};
  sigaction(SIGTERM, nullptr, &current);
  if (current.sa_handler == SIG_DFL) GTEST_SKIP() << "SDL's signal handlers are turned off";
  DrainEvents(Sdl());
  raise(SIGTERM);
  raise(SIGTERM);
  std::vector<WindowEvent> events = DrainEvents(Sdl());
  EXPECT_EQ(CountOf(events, WindowEventType::Destroy), 1);
  // The program then destroys its window: that is the same window's end, not a second one.
  Sdl().DestroyAppWindow();
  events = DrainEvents(Sdl());
  EXPECT_EQ(CountOf(events, WindowEventType::Destroy), 0);
}

TEST_F(SdlSystemTest, SystemKeysOfTheAppWindowOnlyBecomeEvents) {
  auto* window = static_cast<SDL_Window*>(Sdl().CreateAppWindow(640, 480, nullptr, nullptr));
  ASSERT_NE(window, nullptr);
  const uint32_t ours = SDL_GetWindowID(window);
  DrainEvents(Sdl());
  // {scancode, window, virtual key or 0 for no event}: F10, the Alt and Ctrl keys of our window.
  const struct {
    SDL_Scancode key;
    uint32_t window;
    int32_t vk;
  } cases[] = {{SDL_SCANCODE_F10, ours, 0x79},    {SDL_SCANCODE_LALT, ours, 0xA4},
               {SDL_SCANCODE_RALT, ours, 0xA5},   {SDL_SCANCODE_LCTRL, ours, 0xA2},
               {SDL_SCANCODE_RCTRL, ours, 0xA3},  {SDL_SCANCODE_A, ours, 0},
               {SDL_SCANCODE_F10, ours + 1, 0}};
  for (const auto& c : cases) {
    SDL_Event sdl{};
    sdl.type = SDL_KEYDOWN;
    sdl.key.windowID = c.window;
    sdl.key.keysym.scancode = c.key;
    ASSERT_EQ(SDL_PushEvent(&sdl), 1);
    const std::vector<WindowEvent> events = DrainEvents(Sdl());
    EXPECT_EQ(CountOf(events, WindowEventType::SysKeyDown), c.vk ? 1 : 0) << c.key;
    if (c.vk && !events.empty()) {
      EXPECT_EQ(events.back().param, c.vk) << c.key;
    }
  }
}

class InstanceLockTest : public TempDirTest {};

// Tries the lock from a separate process started in another folder: its exit status is 0 when
// it got the lock.
bool ChildCanLock(const char* name) {
  pid_t child = fork();
  if (child == 0) {
    if (mkdir("elsewhere", 0700) != 0 && errno != EEXIST) _exit(2);
    if (chdir("elsewhere") != 0) _exit(2);
    plat::SdlSystem system;
    _exit(Locks(system, name) ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(InstanceLockTest, OnlyOneHolderAcrossObjectsAndProcesses) {
  plat::SdlSystem first;
  ASSERT_TRUE(Locks(first, "Pendrake mutex"));
  EXPECT_EQ(access("Pendrake mutex.lock", F_OK), 0);
  EXPECT_FALSE(Locks(first, "Pendrake mutex"));
  plat::SdlSystem second;
  EXPECT_FALSE(Locks(second, "Pendrake mutex"));
  EXPECT_FALSE(ChildCanLock("Pendrake mutex"));
  // Another name is another lock.
  EXPECT_TRUE(Locks(second, "Other mutex"));

  first.ReleaseInstanceLock();
  EXPECT_TRUE(ChildCanLock("Pendrake mutex"));
  EXPECT_TRUE(Locks(first, "Pendrake mutex"));
}

// One lock per user: in the runtime folder when it is the user's own, else in a private folder
// of the user's under /tmp.
TEST_F(InstanceLockTest, LivesInAFolderOnlyTheUserCanReach) {
  const std::string own = m_tempDir.Path() + "/Pendrake mutex.lock";
  const std::string fallback =
      "/tmp/pendrake-" + std::to_string(geteuid()) + "/Pendrake mutex.lock";
  mkdir("shared", 0755);
  const std::string shared = m_tempDir.Path() + "/shared";
  const struct {
    const char* runtime;  // null: unset
    std::string expected;
  } cases[] = {
      {m_tempDir.Path().c_str(), own},
      {nullptr, fallback},
      {"relative", fallback},
      {shared.c_str(), fallback},
  };
  for (const auto& c : cases) {
    if (c.runtime) {
      setenv("XDG_RUNTIME_DIR", c.runtime, 1);
    } else {
      unsetenv("XDG_RUNTIME_DIR");
    }
    EXPECT_EQ(plat::InstanceLockPath("Pendrake mutex"), c.expected) << (c.runtime ? c.runtime : "");
  }
}

TEST_F(InstanceLockTest, EndingTheHolderFreesTheLock) {
  {
    plat::SdlSystem holder;
    ASSERT_TRUE(Locks(holder, "Pendrake mutex"));
  }
  EXPECT_TRUE(ChildCanLock("Pendrake mutex"));
}

TEST(SdlSystemMessageBox, TextGoesToStderr) {
  plat::SdlSystem system;
  testing::internal::CaptureStderr();
  system.MessageBox("There was an error initializing COM.", "Pendrake", plat::kMessageBoxIconError);
  system.MessageBox("No caption here", nullptr, plat::kMessageBoxOk);
  std::string written = testing::internal::GetCapturedStderr();
  EXPECT_EQ(written, "Pendrake: There was an error initializing COM.\nNo caption here\n");
}

TEST(SdlSystemClock, MonotonicCounterInNanosecondsAndTicksInMilliseconds) {
  plat::SdlSystem system;
  int64_t frequency = 0;
  ASSERT_TRUE(system.QueryPerformanceFrequency(&frequency));
  EXPECT_EQ(frequency, 1000000000);
  int64_t before = 0;
  int64_t after = 0;
  // A signal part-way through does not cut the sleep short.
  struct sigaction quiet {}, previous {};
  quiet.sa_handler = [](int) {};
  ASSERT_EQ(sigaction(SIGALRM, &quiet, &previous), 0);
  const itimerval once{{0, 0}, {0, 1000}};
  ASSERT_TRUE(system.QueryPerformanceCounter(&before));
  uint32_t ticksBefore = system.GetTickCount();
  setitimer(ITIMER_REAL, &once, nullptr);
  system.Sleep(3);
  sigaction(SIGALRM, &previous, nullptr);
  ASSERT_TRUE(system.QueryPerformanceCounter(&after));
  uint32_t ticksAfter = system.GetTickCount();
  EXPECT_GE(after - before, 3000000);
  EXPECT_GE(ticksAfter - ticksBefore, 2u);
  // Both read one clock, so they agree to the millisecond.
  int64_t counterMs = after / 1000000;
  EXPECT_LE(std::llabs(static_cast<int64_t>(static_cast<uint32_t>(counterMs) - ticksAfter)), 1);
}

// --- The scripted back end.

class ScriptedSystemTest : public SdlSystemTest {};

TEST_F(ScriptedSystemTest, InstalledItPassesThroughWhatIsNotScripted) {
  {
    plat::ScriptedSystem scripted;
    scripted.Install();
    EXPECT_EQ(&plat::GetSystem(), &scripted);
    plat::DesktopMode real = Sdl().GetDesktopMode();
    scripted.ForceDesktopBits(8);
    plat::DesktopMode forced = plat::GetSystem().GetDesktopMode();
    EXPECT_EQ(forced.bitsPerPixel, 8);
    EXPECT_EQ(forced.width, real.width);

    // The window is the real one; scripted events come first, then real ones.
    plat::WindowHandle window = plat::GetSystem().CreateAppWindow(640, 480, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(Sdl().GetAppWindow(), window);
    DrainEvents(scripted);
    plat::GetSystem().DestroyAppWindow();
    scripted.QueueEvent(WindowEventType::Minimised);
    scripted.QueueEvent(WindowEventType::ActivateApp, 0);
    std::vector<WindowEvent> events = DrainEvents(plat::GetSystem());
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].type, WindowEventType::Minimised);
    EXPECT_EQ(events[1].type, WindowEventType::ActivateApp);
    EXPECT_EQ(events[1].param, 0);
    EXPECT_EQ(events[2].type, WindowEventType::Destroy);

    scripted.SetWindowCreationFails(true);
    EXPECT_EQ(plat::GetSystem().CreateAppWindow(640, 480, nullptr, nullptr), nullptr);
    EXPECT_EQ(Sdl().GetAppWindow(), nullptr);

    plat::GetSystem().ShowCursor(false);
    EXPECT_FALSE(scripted.CursorVisible());
    EXPECT_FALSE(Sdl().CursorShown());
    plat::GetSystem().ShowCursor(true);
    EXPECT_TRUE(Sdl().CursorShown());
  }
  // Gone with its scope: the SDL back end is in use again.
  EXPECT_EQ(&plat::GetSystem(), &plat::GetSdlSystem());
}

TEST_F(ScriptedSystemTest, LockFailureAndMessageBoxRecord) {
  ScopedTempDir folder;
  plat::ScriptedSystem scripted;
  scripted.SetInstanceLockFails(true);
  EXPECT_FALSE(Locks(scripted, "Pendrake mutex"));
  EXPECT_NE(access("Pendrake mutex.lock", F_OK), 0);
  scripted.SetInstanceLockFails(false);
  EXPECT_TRUE(Locks(scripted, "Pendrake mutex"));
  EXPECT_FALSE(ChildCanLock("Pendrake mutex"));
  scripted.ReleaseInstanceLock();

  testing::internal::CaptureStderr();
  scripted.MessageBox("Pendrake requires the desktop to be in either 16 or 32 bit colour mode",
                      nullptr, plat::kMessageBoxOk);
  scripted.SetMessageBoxPassThrough(false);
  scripted.MessageBox("quiet", "Caption", plat::kMessageBoxIconError);
  std::string written = testing::internal::GetCapturedStderr();
  EXPECT_EQ(written, "Pendrake requires the desktop to be in either 16 or 32 bit colour mode\n");
  ASSERT_EQ(scripted.MessageBoxes().size(), 2u);
  EXPECT_EQ(scripted.MessageBoxes()[0].caption, "");
  EXPECT_EQ(scripted.MessageBoxes()[1].text, "quiet");
  EXPECT_EQ(scripted.MessageBoxes()[1].caption, "Caption");
  EXPECT_EQ(scripted.MessageBoxes()[1].flags, plat::kMessageBoxIconError);
}

TEST(ScriptedSystemClock, ManualClockReadsOnlyWhatTheTestSets) {
  plat::ScriptedSystem scripted;
  scripted.UseManualClock(true);
  scripted.SetFrequency(1000);
  scripted.SetCounter(5000);
  scripted.SetTickCount(70);
  int64_t value = 0;
  ASSERT_TRUE(scripted.QueryPerformanceFrequency(&value));
  EXPECT_EQ(value, 1000);
  ASSERT_TRUE(scripted.QueryPerformanceCounter(&value));
  EXPECT_EQ(value, 5000);
  EXPECT_EQ(scripted.GetTickCount(), 70u);

  scripted.AdvanceCounter(250);  // a counter jump the tick clock does not see
  scripted.QueryPerformanceCounter(&value);
  EXPECT_EQ(value, 5250);
  EXPECT_EQ(scripted.GetTickCount(), 70u);
  scripted.AdvanceMilliseconds(20);  // both, in step
  scripted.QueryPerformanceCounter(&value);
  EXPECT_EQ(value, 5270);
  EXPECT_EQ(scripted.GetTickCount(), 90u);

  // Stepping per read: each read sees the previous value plus the step, the ticks follow.
  scripted.SetCounterStepPerRead(3);
  int64_t reads[3] = {};
  for (int64_t& read : reads) scripted.QueryPerformanceCounter(&read);
  EXPECT_EQ(reads[0], 5270);
  EXPECT_EQ(reads[1], 5273);
  EXPECT_EQ(reads[2], 5276);
  EXPECT_EQ(scripted.GetTickCount(), 99u);

  // A manual clock records sleeps and does not sleep: ten minutes pass in no time.
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  scripted.Sleep(600000);
  scripted.Sleep(50);
  timespec end{};
  clock_gettime(CLOCK_MONOTONIC, &end);
  EXPECT_LT(end.tv_sec - start.tv_sec, 60);
  EXPECT_EQ(scripted.SleepCalls(), (std::vector<uint32_t>{600000, 50}));
  EXPECT_EQ(scripted.GetTickCount(), 99u);

  scripted.SetFrequencyFails(true);
  EXPECT_FALSE(scripted.QueryPerformanceFrequency(&value));
  scripted.UseManualClock(false);
  EXPECT_FALSE(scripted.QueryPerformanceFrequency(&value));
  scripted.SetFrequencyFails(false);
  ASSERT_TRUE(scripted.QueryPerformanceFrequency(&value));
  EXPECT_EQ(value, 1000000000);
}

}  // namespace
