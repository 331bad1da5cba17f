#pragma once
// Starts the application object headless, as WinMain does, with the scripted system (queued
// events, recorded message boxes, the real SDL window underneath) and scripted input, in a fresh
// temporary working folder. Each test that starts the App uses one of these.

#include <gtest/gtest.h>

#include "Engine/PC/PCApp.h"
#include "Platform/Gfx/D3D.h"
#include "Platform/Input/ScriptedInput.h"
#include "Platform/System/ScriptedSystem.h"
#include "tests/support/ScriptedDeviceFaults.h"
#include "tests/support/TempDir.h"

class AppHarness {
 public:
  AppHarness();
  ~AppHarness();

  App& app() { return GetApp(); }
  plat::ScriptedSystem& system() { return m_system; }
  plat::ScriptedInput& input() { return m_input; }
  ScriptedDeviceFaults& faults() { return m_faults; }

  // InitHardware and InitApp; false when either fails.
  bool Start();
  // ShutdownApp then ShutdownHardware, as WinMain ends.
  void Stop();
  // Runs the message loop until `frames` frames have been run (or the program is told to end).
  void RunFrames(int frames) { GetApp().RunLoop(frames); }
  // For runs that look at no pixels: every frame runs whole, but the device rasterises nothing
  // (until the harness goes, or `skip` is false). The games' fixtures start this way, since on
  // the software renderer drawing costs most of a frame; a test that reads pixels turns it off.
  void SkipPixelWork(bool skip = true) { gfx::TestHooks::SkipPixelWork(skip); }

 private:
  // Mixes the sound the program's clock has moved past since it last read it.
  static void PlaySoundTo(void* harness, int64_t counter, int64_t frequency);

  ScopedTempDir m_dir;
  plat::ScriptedSystem m_system;
  plat::ScriptedInput m_input;
  ScriptedDeviceFaults m_faults;
  bool m_started = false;
  int64_t m_soundCounter = 0;
  int64_t m_soundFrequency = 0;  // 0: no reading yet
  int64_t m_soundRemainder = 0;  // mix frames times the frequency not yet played
};

class AppTest : public ::testing::Test {
 protected:
  AppHarness m_harness;
};
