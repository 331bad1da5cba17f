#include "Engine/PC/PCKeyboard.h"

#include <cstring>

#include "Engine/LogFile.h"

namespace {

// The platform's scan codes are the US layout's key positions; the layout fields say so.
constexpr uint32_t kUsEnglishLayout = 0x04090409u;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Keyboard

Keyboard::Keyboard() {
  ClearArrays();
  std::memset(m_raw, 0, sizeof(m_raw));
}

Keyboard::~Keyboard() { Release(); }

void Keyboard::ClearArrays() {
  std::memset(m_current, 0, sizeof(m_current));
  std::memset(m_previous, 0, sizeof(m_previous));
  std::memset(m_pressed, 0, sizeof(m_pressed));
  std::memset(m_released, 0, sizeof(m_released));
}

int32_t Keyboard::Create(plat::DirectInput* directInput) {
  m_layout = kUsEnglishLayout;
  m_language = static_cast<uint16_t>(kUsEnglishLayout & 0xFFFFu);
  Release();  // a second Create must not leak the first device
  m_directInput = directInput;

  plat::KeyboardDevice* device = nullptr;
  if (!directInput || !plat::Succeeded(directInput->CreateKeyboard(&device)) || !device) {
    DebugLog().Write("Failed to create device interface for the keyboard\n");
    m_device = nullptr;
    return 0;
  }
  m_device = device;
  if (!plat::Succeeded(m_device->Acquire())) {
    DebugLog().Write("Failed to Acquire the keyboard\n");
    return 0;
  }
  return 1;
}

void Keyboard::Release() {
  if (!m_device) return;
  m_device->Release();
  m_device = nullptr;
}

void Keyboard::Poll() {
  if (!m_device) {
    ClearArrays();
    return;
  }
  int32_t hr = m_device->GetDeviceState(m_raw);
  if (hr == plat::kDIERR_INPUTLOST || hr == plat::kDIERR_NOTACQUIRED) {
    if (!plat::Succeeded(m_device->Acquire())) {
      ClearArrays();
      return;
    }
    hr = m_device->GetDeviceState(m_raw);
  }
  if (plat::Succeeded(hr)) {
    UpdateKeys();
  } else {
    ClearArrays();
  }
}

void Keyboard::UpdateKeys() {
  std::memcpy(m_previous, m_current, sizeof(m_current));
  for (int k = 0; k < kKeyCount; ++k) m_current[k] = (m_raw[k] & 0x80) ? 1 : 0;
  // The key state does not report Pause reliably; the system's "pressed since last asked" bit
  // makes each press show for one frame.
  if (m_directInput && m_directInput->PauseKeyPressedSinceLastQuery()) {
    m_current[plat::kDIK_PAUSE] = 1;
  }
  for (int k = 0; k < kKeyCount; ++k) {
    int32_t changed = m_current[k] ^ m_previous[k];
    m_pressed[k] = changed & m_current[k];
    m_released[k] = changed & m_previous[k];
  }
}

void Keyboard::ClearEdges() {
  std::memset(m_pressed, 0, sizeof(m_pressed));
  std::memset(m_released, 0, sizeof(m_released));
}

// ---------------------------------------------------------------------------------------------
// Mouse

Mouse::~Mouse() { Release(); }

int32_t Mouse::Create(plat::DirectInput* directInput) {
  Release();  // a second Create must not leak the first device
  plat::MouseDevice* device = nullptr;
  if (!directInput || !plat::Succeeded(directInput->CreateMouse(&device)) || !device) {
    DebugLog().Write("Failed to create the mouse device\n");
    return 0;
  }
  m_device = device;
  if (m_device->Acquire() != plat::kDI_OK) {
    DebugLog().Write("Failed Acquire mouse device\n");
    return 0;
  }
  return 1;
}

void Mouse::Release() {
  if (!m_device) return;
  m_device->Unacquire();
  m_device->Release();
  m_device = nullptr;
}

void Mouse::Poll() {
  if (!m_device) return;
  plat::MouseState state;
  if (plat::Succeeded(m_device->GetDeviceState(&state))) {
    m_xMotion = state.lX;
    m_yMotion = state.lY;
    m_leftButton = (state.rgbButtons[0] & 0x80) ? 1 : 0;
    m_rightButton = (state.rgbButtons[1] & 0x80) ? 1 : 0;
    return;
  }
  // The device went with the focus: ask for it back, but a device that stays lost must not hold
  // up the frame; the next Poll tries again.
  for (int attempt = 0; attempt < kMaxAcquireRetries; ++attempt) {
    if (m_device->Acquire() != plat::kDIERR_INPUTLOST) break;
  }
}
