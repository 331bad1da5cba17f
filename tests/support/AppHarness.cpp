#include "tests/support/AppHarness.h"

#include <algorithm>

#include "Engine/Input.h"
#include "Platform/Audio/Audio.h"

AppHarness::AppHarness() {
  GetApp().ResetForTests();
  m_system.SetMessageBoxPassThrough(false);
  m_system.Install();
  m_input.Install();
  // Sound plays by the program's clock, as far as it reads it, not by the wall clock: a sound
  // lasts as many frames however fast the machine draws them.
  plat::GetAudioMixer().SetManualOutput(true);
  m_system.SetCounterListener(&AppHarness::PlaySoundTo, this);
}

AppHarness::~AppHarness() {
  Stop();
  gfx::TestHooks::SkipPixelWork(false);
  m_system.SetCounterListener(nullptr, nullptr);
  plat::GetAudioMixer().CloseDevice();
  plat::GetAudioMixer().SetManualOutput(false);
  GetApp().ResetForTests();
  m_input.Uninstall();
  m_system.Uninstall();
}

bool AppHarness::Start() {
  m_started = true;
  if (!GetApp().InitHardware()) return false;
  return GetApp().InitApp() != 0;
}

void AppHarness::Stop() {
  if (!m_started) return;
  m_started = false;
  GetApp().ShutdownApp();
  GetApp().ShutdownHardware();
  // Destroying the window leaves its Destroy (and a Quit) queued; the next start in this
  // process must not read them as its own.
  plat::WindowEvent event;
  while (plat::GetSystem().PeekEvent(&event)) {
  }
}

void AppHarness::PlaySoundTo(void* context, int64_t counter, int64_t frequency) {
  AppHarness& h = *static_cast<AppHarness*>(context);
  const int64_t elapsed = counter - h.m_soundCounter;
  const bool sameClock = h.m_soundFrequency == frequency && elapsed >= 0;
  h.m_soundCounter = counter;
  if (!sameClock) {
    // A clock set back or replaced starts from here.
    h.m_soundFrequency = frequency;
    h.m_soundRemainder = 0;
    return;
  }
  plat::AudioMixer& mixer = plat::GetAudioMixer();
  if (!mixer.IsDeviceOpen() || frequency <= 0) return;
  h.m_soundRemainder += elapsed * plat::kMixRate;
  int64_t frames = h.m_soundRemainder / frequency;
  h.m_soundRemainder %= frequency;
  static int16_t out[1024 * plat::kMixChannels];
  for (; frames > 0; frames -= 1024) mixer.Mix(out, static_cast<int32_t>(std::min<int64_t>(frames, 1024)));
}
