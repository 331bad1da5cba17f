#include "tests/support/ScriptedDeviceFaults.h"

ScriptedDeviceFaults::ScriptedDeviceFaults() {
  gfx::SetDeviceFaults(this);
  gfx::TestHooks::ResetPeakLiveDeviceCount();
}

ScriptedDeviceFaults::~ScriptedDeviceFaults() { gfx::SetDeviceFaults(nullptr); }

void ScriptedDeviceFaults::SetDisplayModes(const gfx::D3DDISPLAYMODE* modes, uint32_t count) {
  m_displayModes.clear();
  if (modes) m_displayModes.assign(modes, modes + count);
}

bool ScriptedDeviceFaults::TakeCreateDeviceFailure(uint32_t behaviorFlags) {
  if (m_failCreateDeviceCount <= 0) return false;
  if (m_failCreateDeviceFlags != 0 && m_failCreateDeviceFlags != behaviorFlags) return false;
  --m_failCreateDeviceCount;
  return true;
}

bool ScriptedDeviceFaults::ReplacedDisplayModes(const gfx::D3DDISPLAYMODE** modes,
                                                uint32_t* count) {
  if (m_displayModes.empty()) return false;
  *modes = m_displayModes.data();
  *count = static_cast<uint32_t>(m_displayModes.size());
  return true;
}
