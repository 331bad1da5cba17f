#pragma once
// Keyboard, mouse and joysticks, shaped like the DirectInput 8 devices the engine was written
// against: keys by DirectInput scan code, result codes with DirectInput's values, joystick state
// in DIJOYSTATE2's field order, acquisition that is lost when the window loses focus. The real
// back end runs on SDL2; tests install a scripted one (ScriptedInput.h) to inject key states,
// pads and failures.

#include <cstdint>

namespace plat {

// Result codes (HRESULT values).
constexpr int32_t kDI_OK = 0;
constexpr int32_t kDI_NOEFFECT = 1;
constexpr int32_t kDIERR_INPUTLOST = static_cast<int32_t>(0x8007001E);
constexpr int32_t kDIERR_NOTACQUIRED = static_cast<int32_t>(0x8007000C);
constexpr int32_t kDIERR_GENERIC = static_cast<int32_t>(0x80004005);
constexpr int32_t kE_NOTIMPL = static_cast<int32_t>(0x80004001);
// Acquire of a foreground device while the window lacks focus.
constexpr int32_t kDIERR_OTHERAPPHASPRIO = static_cast<int32_t>(0x80070005);
// Acquire of a joystick that has been unplugged.
constexpr int32_t kDIERR_UNPLUGGED = static_cast<int32_t>(0x80040209);
// CreateJoystick with an instance that is not (or no longer) attached.
constexpr int32_t kDIERR_DEVICENOTREG = static_cast<int32_t>(0x80040154);
constexpr int32_t kDIERR_INVALIDPARAM = static_cast<int32_t>(0x80070057);
// An effect operation on a device without force feedback (DIERR_UNSUPPORTED).
constexpr int32_t kDIERR_UNSUPPORTED = kE_NOTIMPL;

inline bool Succeeded(int32_t hr) { return hr >= 0; }

// A few DirectInput scan codes the engine names.
constexpr int kDIK_ESCAPE = 0x01;
constexpr int kDIK_RETURN = 0x1C;
constexpr int kDIK_SPACE = 0x39;
constexpr int kDIK_PAUSE = 0xC5;
constexpr int kDIK_UP = 0xC8;
constexpr int kDIK_LEFT = 0xCB;
constexpr int kDIK_RIGHT = 0xCD;
constexpr int kDIK_DOWN = 0xD0;

// DIMOUSESTATE2: relative motion and eight buttons (bit 7 set while held).
struct MouseState {
  int32_t lX = 0, lY = 0, lZ = 0;
  uint8_t rgbButtons[8] = {};
};

// DIJOYSTATE2's leading fields: axes in the range set on the device (-1000..1000), hats in
// hundredths of a degree clockwise from up (0xFFFFFFFF centred), buttons with bit 7 set while
// down.
struct JoyState {
  int32_t lX = 0, lY = 0, lZ = 0;
  int32_t lRx = 0, lRy = 0, lRz = 0;
  int32_t rglSlider[2] = {};
  uint32_t rgdwPOV[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
  uint8_t rgbButtons[128] = {};
};

enum class DeviceType { Joystick, Gamepad, Other };

// What enumeration tells of one attached device.
struct DeviceInstance {
  int32_t instanceId = -1;     // stands for the instance GUID
  DeviceType type = DeviceType::Other;
  char productName[260] = {};  // terminated
};

class KeyboardDevice {
 public:
  virtual ~KeyboardDevice() = default;
  virtual int32_t Acquire() = 0;
  virtual int32_t Unacquire() = 0;
  // 256 bytes by scan code, bit 7 set while the key is down.
  virtual int32_t GetDeviceState(uint8_t keys[256]) = 0;
  void Release() { delete this; }
};

class MouseDevice {
 public:
  virtual ~MouseDevice() = default;
  virtual int32_t Acquire() = 0;
  virtual int32_t Unacquire() = 0;
  virtual int32_t GetDeviceState(MouseState* state) = 0;
  void Release() { delete this; }
};

class JoystickDevice {
 public:
  virtual ~JoystickDevice() = default;
  virtual int32_t Acquire() = 0;
  virtual int32_t Unacquire() = 0;
  virtual int32_t Poll() = 0;
  virtual int32_t GetDeviceState(JoyState* state) = 0;
  // Sets every axis's range (DIPROP_RANGE); the default is -1000..1000.
  virtual int32_t SetAxisRange(int32_t min, int32_t max) = 0;
  // True when the device has at least one force-feedback (rumble) effect.
  virtual bool HasForceFeedback() = 0;
  // The constant-force effect: created once, then driven by SetEffectParameters with the two
  // motor directions (0..65535 each) and the magnitude.
  virtual int32_t CreateConstantForceEffect() = 0;
  virtual int32_t SetEffectParameters(int32_t directionX, int32_t directionY, int32_t magnitude) = 0;
  void Release() { delete this; }
};

// The DirectInput object.
class DirectInput {
 public:
  virtual ~DirectInput() = default;
  virtual int32_t CreateKeyboard(KeyboardDevice** device) = 0;
  virtual int32_t CreateMouse(MouseDevice** device) = 0;
  // Calls back once per attached device (joysticks, pads and others); the callback returns false
  // to stop. The result is a failure code when the devices cannot be listed.
  virtual int32_t EnumDevices(bool (*callback)(const DeviceInstance& device, void* context),
                              void* context) = 0;
  virtual int32_t CreateJoystick(int32_t instanceId, JoystickDevice** device) = 0;
  // GetAsyncKeyState(VK_PAUSE) & 1: the Pause key went down since the last query.
  virtual bool PauseKeyPressedSinceLastQuery() = 0;
  void Release() { delete this; }
};

// DirectInput8Create: a new DirectInput object from the installed back end (SDL unless a test
// installed another). Its devices follow the application window's focus.
int32_t DirectInput8Create(DirectInput** out);

// Installs the factory used by DirectInput8Create (null restores SDL's).
using DirectInputFactory = int32_t (*)(DirectInput** out);
void SetDirectInputFactory(DirectInputFactory factory);

}  // namespace plat
