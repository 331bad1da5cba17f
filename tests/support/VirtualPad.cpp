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
  m_subsystem = true;
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.naxes = kAxes;
  desc.nbuttons = kButtons;
  desc.nhats = 1;
  desc.name = kName;
  const int index = SDL_JoystickAttachVirtualEx(&desc);
  if (index < 0) {
    std::fprintf(stderr, "VirtualPad: %s\n", SDL_GetError());
    return;
  }
  // Kept by instance, since device indices shift as devices come and go.
  m_instance = SDL_JoystickGetDeviceInstanceID(index);
  // Values are set through an open joystick; the program opens the same object again.
  m_joystick = SDL_JoystickOpen(index);
  if (!m_joystick) std::fprintf(stderr, "VirtualPad: %s\n", SDL_GetError());
}

VirtualPad::~VirtualPad() {
  Unplug();
  if (m_subsystem) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

std::function<void(bool)> VirtualPad::Hat(uint8_t direction) {
  return [this, direction](bool on) { SetHat(on ? direction : kHatCentred); };
}

std::function<void(bool)> VirtualPad::Button(int button) {
  return [this, button](bool on) { SetButton(button, on); };
}

std::function<void(bool)> VirtualPad::Stick(int axis, int16_t value) {
  return [this, axis, value](bool on) { SetAxis(axis, on ? value : 0); };
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
  if (m_joystick) SDL_JoystickClose(m_joystick);
  m_joystick = nullptr;
  if (m_instance < 0) return;
  // Detached even when it could not be opened: a pad left behind would be the first pad of every
  // later test in the process.
  for (int i = 0; i < SDL_NumJoysticks(); ++i) {
    if (SDL_JoystickGetDeviceInstanceID(i) == m_instance) {
      SDL_JoystickDetachVirtual(i);
      break;
    }
  }
  m_instance = -1;
}
