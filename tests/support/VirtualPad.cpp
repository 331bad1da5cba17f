#include "tests/support/VirtualPad.h"

#include <SDL.h>

#include <cstdio>

namespace {
constexpr int kAxes = 4;
constexpr int kButtons = 12;
}  // namespace

VirtualPad::VirtualPad() {
  // Its own reference on SDL's joysticks: the pad outlives the application's input, which
  // closes the program's references at shut-down.
  if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
    std::fprintf(stderr, "VirtualPad: %s\n", SDL_GetError());
    return;
  }
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.naxes = kAxes;
  desc.nbuttons = kButtons;
  desc.nhats = 1;
  desc.name = kName;
  m_index = SDL_JoystickAttachVirtualEx(&desc);
  if (m_index < 0) {
    std::fprintf(stderr, "VirtualPad: %s\n", SDL_GetError());
    return;
  }
  // Values are set through an open joystick; the program opens the same object again.
  m_joystick = SDL_JoystickOpen(m_index);
  if (!m_joystick) std::fprintf(stderr, "VirtualPad: %s\n", SDL_GetError());
}

VirtualPad::~VirtualPad() {
  Unplug();
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

void VirtualPad::SetHat(uint8_t direction) {
  if (m_joystick) SDL_JoystickSetVirtualHat(m_joystick, 0, direction);
}

void VirtualPad::SetButton(int button, bool down) {
  if (m_joystick) SDL_JoystickSetVirtualButton(m_joystick, button, down ? 1 : 0);
}

void VirtualPad::SetAxis(int axis, int16_t value) {
  if (m_joystick) SDL_JoystickSetVirtualAxis(m_joystick, axis, value);
}

void VirtualPad::LetGo() {
  SetHat(kHatCentred);
  for (int b = 0; b < kButtons; ++b) SetButton(b, false);
  for (int a = 0; a < kAxes; ++a) SetAxis(a, 0);
}

void VirtualPad::Unplug() {
  if (!m_joystick) return;
  const SDL_JoystickID id = SDL_JoystickInstanceID(m_joystick);
  SDL_JoystickClose(m_joystick);
  m_joystick = nullptr;
  // Detached by its instance, since the device indices shift as devices come and go.
  for (int i = 0; i < SDL_NumJoysticks(); ++i) {
    if (SDL_JoystickGetDeviceInstanceID(i) == id) {
      SDL_JoystickDetachVirtual(i);
      break;
    }
  }
}
