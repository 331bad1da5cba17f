#pragma once
// The SDL2 back end of plat::DirectInput, and the conversions it is built from (kept apart so
// they can be checked on their own).
//
// Keyboard and mouse are foreground devices: they can be acquired only while a window of the
// program has SDL's keyboard focus, and a read after the focus has gone answers
// kDIERR_INPUTLOST once, then kDIERR_NOTACQUIRED until Acquire succeeds again. Joysticks are
// background devices: acquirable while attached, kDIERR_INPUTLOST once when unplugged.
// Under SDL's offscreen driver no window ever gets the focus, so there the keyboard and the mouse
// never acquire (every Acquire answers kDIERR_OTHERAPPHASPRIO) while joysticks work as usual.

#include <cstdint>

#include "Platform/Input/Input.h"

namespace plat {

// The DirectInput scan code of an SDL scancode (SDL_Scancode's value), 0 for keys without one.
int DikFromSdlScancode(int sdlScancode);

// An SDL axis reading (-32768..32767) in the range set on the device: the two ends map exactly
// onto min and max, the rest linearly, rounded to nearest.
int32_t ScaleJoystickAxis(int32_t sdlValue, int32_t min, int32_t max);

// An SDL hat position (SDL_HAT_* bits) in hundredths of a degree clockwise from up, 0xFFFFFFFF
// when centred (or when the bits make no direction).
uint32_t PovFromSdlHat(uint8_t sdlHat);

// An SDL_JoystickType value as the kind of device enumeration reports.
DeviceType DeviceTypeFromSdl(int sdlJoystickType);

// Whether a device may be read, following whether it can be reached (focus, or still plugged in).
class DeviceAcquisition {
 public:
  // kDI_OK, kDI_NOEFFECT when held already, `refusal` when the device cannot be reached.
  int32_t Acquire(bool reachable, int32_t refusal);
  // kDI_OK, or kDI_NOEFFECT when it was not held.
  int32_t Unacquire();
  // What a read answers: kDI_OK; kDIERR_INPUTLOST the first time after the device became
  // unreachable (which drops the acquisition); kDIERR_NOTACQUIRED when not held.
  int32_t Check(bool reachable);
  bool Acquired() const { return m_acquired; }

 private:
  bool m_acquired = false;
};

// The default DirectInput8Create: starts SDL when needed; kDIERR_GENERIC when it cannot.
// `virtualPadsOnly` lists SDL's virtual joysticks alone, so that a test's pads are the only ones
// whatever the machine it runs on has plugged in.
int32_t SdlDirectInput8Create(DirectInput** out, bool virtualPadsOnly = false);

}  // namespace plat
