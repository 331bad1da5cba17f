#include "tests/support/AppHarness.h"

#include "Engine/Input.h"

AppHarness::AppHarness() {
  GetApp().ResetForTests();
  m_system.SetMessageBoxPassThrough(false);
  m_system.Install();
  m_input.Install();
}

AppHarness::~AppHarness() {
  Stop();
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
