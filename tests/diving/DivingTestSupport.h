#pragma once
// The diving game's end-to-end fixture: the real App on the demo data, started from the menu,
// driven by scripted keys on a manual clock that runs one frame per step as fast as the machine
// goes.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "Engine/PC/PCApp.h"
#include "Game/DivingGame/cDivingGame.h"
#include "Game/Frontend/FrontEnd.h"
#include "Game/Frontend/SaveProfile.h"
#include "Game/KavelApp.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DemoData.h"

namespace divingtest {

// The demo data with the diving folder's files linked one by one, leaving out those named.
inline void LinkDivingDataFileByFile(const std::set<std::string>& leftOut = {}) {
  LinkDemoDataFileByFile("DivingGame", leftOut);
}

constexpr int kKeyReturn = 0x1C;
constexpr int kKeySpace = 0x39;
constexpr int kKeyE = 0x12;
constexpr int kKeyQ = 0x10;
constexpr int kKeyW = 0x11;
constexpr int kKeyUp = 0xC8;
constexpr int kKeyDown = 0xD0;
constexpr int kKeyLeft = 0xCB;
constexpr int kKeyRight = 0xCD;

class DivingTest : public AppTest {
 protected:
  void SetUp() override {
    LinkDemoData();
    StartApp();
  }
  // Starts the App in the working folder, whose "data" the test has laid out.
  void StartApp() {
    GetSaveProfile() = SaveProfile();
    KavelApp::Register();
    ASSERT_TRUE(m_harness.Start());
    m_harness.SkipPixelWork();
    plat::ScriptedSystem& system = m_harness.system();
    system.UseManualClock(true);
    system.SetFrequency(kCountsPerFrame * 60);
    system.SetCounter(0);
    system.SetTickCount(0);
    // A waiting timer still sees the clock move, so the loop never stalls.
    system.SetCounterStepPerRead(1);
    m_harness.app().GetTimer()->Create(60);
    Frame();
    Frame();
  }
  void TearDown() override { m_harness.Stop(); }

  // One frame: the clock moves on by one period.
  void Frame() {
    m_counter += kCountsPerFrame;
    m_harness.system().SetCounter(m_counter);
    m_harness.system().SetTickCount(
        static_cast<uint32_t>(m_counter * 1000 / (kCountsPerFrame * 60)));
    m_harness.system().ClearRecords();
    m_harness.RunFrames(1);
    if (m_afterFrame) m_afterFrame();
    if (m_watch) m_watch();
  }
  void Frames(int n) {
    for (int i = 0; i < n; ++i) Frame();
  }
  void Tap(int key) {
    m_harness.input().SetKey(key, true);
    Frame();
    m_harness.input().SetKey(key, false);
    Frame();
  }
  // Frames until `done` holds or `limit` frames have run; whether it held.
  bool RunUntil(const std::function<bool()>& done, int limit) {
    for (int i = 0; i < limit; ++i) {
      if (done()) return true;
      Frame();
    }
    return done();
  }
  CFrontEnd* FrontEnd() { return GetKavelApp()->GetFrontEnd(); }
  cDivingGame* Game() { return static_cast<cDivingGame*>(GetKavelApp()->GetCurrentGame()); }
  int Phase() { return Game() ? Game()->GetDivePhase() : -1; }

  // From the menu: the diving game in `mode` at `difficulty`, loaded and in its intro.
  bool StartFromMenu(int32_t mode, int32_t difficulty) {
    FrontEnd()->SetMode(mode);
    FrontEnd()->SetDifficulty(difficulty);
    if (FrontEnd()->GetSelection() != CFrontEnd::kItemDiving) return false;
    Tap(kKeyReturn);
    return RunUntil([&] { return Game() && !GetKavelApp()->IsLoading(); }, 20);
  }
  // Keeps tapping Space (a burst of speed every other frame) until `done` or `limit` taps.
  bool WalkUntil(const std::function<bool()>& done, int limit) {
    for (int i = 0; i < limit; ++i) {
      if (done()) return true;
      Tap(kKeySpace);
    }
    return done();
  }
  // Until the game has ended and the menu shows its result.
  bool RunToEnd(int limit) {
    return RunUntil([&] { return GetKavelApp()->GetCurrentGame() == nullptr; }, limit);
  }

  static constexpr int64_t kCountsPerFrame = 1000;
  int64_t m_counter = 0;
  // Runs after every frame, for a test that watches something all through a run.
  std::function<void()> m_afterFrame;
  // Runs after every frame all through a test, beside m_afterFrame.
  std::function<void()> m_watch;
};

}  // namespace divingtest
