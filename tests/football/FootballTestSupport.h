#pragma once
// The penalty-kick game's tests start the real application headless on the demo data, with a
// manual clock stepped one frame period per frame (so one game tick runs per frame and a
// scripted press is seen by exactly one tick), and start the game from the menu.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "Engine/PC/PCApp.h"
#include "Game/FootballGame/FootballGame.h"
#include "Game/Frontend/FrontEnd.h"
#include "Game/Frontend/SaveProfile.h"
#include "Game/KavelApp.h"
#include "Game/Localisation/LocalisedText.h"
#include "Game/Sound/CSoundWrapper.h"
#include "Platform/Input/Input.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DemoData.h"

namespace footballtest {

// Counts of the manual clock: a frame period is 1000 counts.
constexpr int64_t kCountsPerSecond = 60000;

// One frame period per frame: the frame timer finds exactly one frame due each turn.
inline void UseOneTickPerFrame(AppHarness& harness) {
  plat::ScriptedSystem& system = harness.system();
  system.UseManualClock(true);
  system.SetFrequency(kCountsPerSecond);
  system.SetCounter(0);
  system.SetTickCount(0);
  system.SetCounterStepPerRead(kCountsPerSecond / 60 / 2);
  GetApp().GetTimer()->Create(GetApp().GetTargetFrameRate());
}

inline cfootballgame* CurrentGame() {
  KavelApp* app = GetKavelApp();
  return app ? dynamic_cast<cfootballgame*>(app->GetCurrentGame()) : nullptr;
}

// Runs frames until `done` holds or `limit` frames have run; whether it held.
inline bool RunUntil(AppHarness& harness, const std::function<bool()>& done, int limit) {
  for (int i = 0; i < limit; ++i) {
    if (done()) return true;
    harness.RunFrames(1);
  }
  return done();
}

// A key down for one frame, then up for one.
inline void Tap(AppHarness& harness, int key) {
  harness.input().SetKey(key, true);
  harness.RunFrames(1);
  harness.input().SetKey(key, false);
  harness.RunFrames(1);
}

// A key held for `frames` frames.
inline void Hold(AppHarness& harness, int key, int frames) {
  harness.input().SetKey(key, true);
  harness.RunFrames(frames);
  harness.input().SetKey(key, false);
}

class FootballTest : public AppTest {
 protected:
  // The data folder the test runs on; the demo data unless a test breaks some of it.
  virtual void LinkData() { LinkDemoData(); }
  // Devices the test adds before the application starts (a pad is found only at the start).
  virtual void BeforeStart() {}

  void SetUp() override {
    LinkData();
    GetSaveProfile() = SaveProfile();
    KavelApp::Register();
    BeforeStart();
    ASSERT_TRUE(m_harness.Start());
    m_harness.SkipPixelWork();
    UseOneTickPerFrame(m_harness);
    m_harness.RunFrames(2);
  }
  void TearDown() override { m_harness.Stop(); }

  CFrontEnd* FrontEnd() { return GetKavelApp()->GetFrontEnd(); }

  // From the menu: down to the penalty kicks, Return, then the loading frames.
  cfootballgame* StartFromMenu(int32_t mode, int32_t level) {
    FrontEnd()->SetMode(mode);
    FrontEnd()->SetDifficulty(level);
    while (FrontEnd()->GetSelection() != CFrontEnd::kItemFootball) Tap(m_harness, plat::kDIK_DOWN);
    Tap(m_harness, plat::kDIK_RETURN);
    RunUntil(
        m_harness, [] { return CurrentGame() && !GetKavelApp()->IsLoading(); }, 20);
    return CurrentGame();
  }

  // Through the intro to aiming.
  bool PlayIntro(cfootballgame* game) {
    return RunUntil(
        m_harness,
        [&] { return game->phase == cfootballgame::kPhaseAim && !game->m_fadeTimer.IsRunning(); },
        1200);
  }

  // Started from the menu and played through the intro, ready to aim.
  cfootballgame* Loaded(int32_t mode = kModeNormal, int32_t level = 0) {
    cfootballgame* game = StartFromMenu(mode, level);
    EXPECT_NE(game, nullptr);
    if (game) {
      EXPECT_TRUE(PlayIntro(game));
    }
    return game;
  }

  // Runs until the game is gone (its Update reported the end); whether it ended.
  bool RunToEnd(int limit) {
    return RunUntil(
        m_harness, [] { return GetKavelApp()->GetCurrentGame() == nullptr; }, limit);
  }
};

// The message the game shows now, empty when none.
inline std::u16string Shown(const cfootballgame* game) {
  return game->m_ingameText.shown && game->m_ingameText.text ? game->m_ingameText.text : u"";
}

// The localised text `id`, empty when the table lacks it.
inline std::u16string Text(int32_t id) {
  const char16_t* text = GetLocalisedText(id);
  return text ? text : u"";
}

// Whether the game's effects or speech bank is playing `sample` now.
inline bool Effect(const cfootballgame* game, int32_t sample) {
  CSoundWrapper* sound = GetSoundWrapper();
  return sound && sound->IsSamplePlaying(game->m_effectsBank, sample);
}
inline bool Speech(const cfootballgame* game, int32_t sample) {
  CSoundWrapper* sound = GetSoundWrapper();
  return sound && sound->IsSamplePlaying(game->m_speechBank, sample);
}
inline void Hush() {
  if (CSoundWrapper* sound = GetSoundWrapper()) sound->StopAll();
}

}  // namespace footballtest
