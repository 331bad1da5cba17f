#include "Platform/Input/SdlInput.h"

#include <SDL.h>

#include <array>
#include <atomic>
#include <cstring>

#include "Platform/System/SdlSystem.h"

namespace plat {

namespace {

struct KeyPair {
  SDL_Scancode sdl;
  uint8_t dik;
};

// SDL scancodes are USB usages, DirectInput's are the PC keyboard's set-1 codes (0xE0-prefixed
// keys with bit 7 set). Keys that only one side knows are left out.
constexpr KeyPair kKeyPairs[] = {
    {SDL_SCANCODE_ESCAPE, 0x01},
    {SDL_SCANCODE_1, 0x02}, {SDL_SCANCODE_2, 0x03}, {SDL_SCANCODE_3, 0x04},
    {SDL_SCANCODE_4, 0x05}, {SDL_SCANCODE_5, 0x06}, {SDL_SCANCODE_6, 0x07},
    {SDL_SCANCODE_7, 0x08}, {SDL_SCANCODE_8, 0x09}, {SDL_SCANCODE_9, 0x0A},
    {SDL_SCANCODE_0, 0x0B},
    {SDL_SCANCODE_MINUS, 0x0C}, {SDL_SCANCODE_EQUALS, 0x0D}, {SDL_SCANCODE_BACKSPACE, 0x0E},
    {SDL_SCANCODE_TAB, 0x0F},
    {SDL_SCANCODE_Q, 0x10}, {SDL_SCANCODE_W, 0x11}, {SDL_SCANCODE_E, 0x12},
    {SDL_SCANCODE_R, 0x13}, {SDL_SCANCODE_T, 0x14}, {SDL_SCANCODE_Y, 0x15},
    {SDL_SCANCODE_U, 0x16}, {SDL_SCANCODE_I, 0x17}, {SDL_SCANCODE_O, 0x18},
    {SDL_SCANCODE_P, 0x19},
    {SDL_SCANCODE_LEFTBRACKET, 0x1A}, {SDL_SCANCODE_RIGHTBRACKET, 0x1B},
    {SDL_SCANCODE_RETURN, 0x1C}, {SDL_SCANCODE_LCTRL, 0x1D},
    {SDL_SCANCODE_A, 0x1E}, {SDL_SCANCODE_S, 0x1F}, {SDL_SCANCODE_D, 0x20},
    {SDL_SCANCODE_F, 0x21}, {SDL_SCANCODE_G, 0x22}, {SDL_SCANCODE_H, 0x23},
    {SDL_SCANCODE_J, 0x24}, {SDL_SCANCODE_K, 0x25}, {SDL_SCANCODE_L, 0x26},
    {SDL_SCANCODE_SEMICOLON, 0x27}, {SDL_SCANCODE_APOSTROPHE, 0x28},
    {SDL_SCANCODE_GRAVE, 0x29}, {SDL_SCANCODE_LSHIFT, 0x2A},
    {SDL_SCANCODE_BACKSLASH, 0x2B}, {SDL_SCANCODE_NONUSHASH, 0x2B},
    {SDL_SCANCODE_Z, 0x2C}, {SDL_SCANCODE_X, 0x2D}, {SDL_SCANCODE_C, 0x2E},
    {SDL_SCANCODE_V, 0x2F}, {SDL_SCANCODE_B, 0x30}, {SDL_SCANCODE_N, 0x31},
    {SDL_SCANCODE_M, 0x32},
    {SDL_SCANCODE_COMMA, 0x33}, {SDL_SCANCODE_PERIOD, 0x34}, {SDL_SCANCODE_SLASH, 0x35},
    {SDL_SCANCODE_RSHIFT, 0x36}, {SDL_SCANCODE_KP_MULTIPLY, 0x37}, {SDL_SCANCODE_LALT, 0x38},
    {SDL_SCANCODE_SPACE, 0x39}, {SDL_SCANCODE_CAPSLOCK, 0x3A},
    {SDL_SCANCODE_F1, 0x3B}, {SDL_SCANCODE_F2, 0x3C}, {SDL_SCANCODE_F3, 0x3D},
    {SDL_SCANCODE_F4, 0x3E}, {SDL_SCANCODE_F5, 0x3F}, {SDL_SCANCODE_F6, 0x40},
    {SDL_SCANCODE_F7, 0x41}, {SDL_SCANCODE_F8, 0x42}, {SDL_SCANCODE_F9, 0x43},
    {SDL_SCANCODE_F10, 0x44},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x45}, {SDL_SCANCODE_SCROLLLOCK, 0x46},
    {SDL_SCANCODE_KP_7, 0x47}, {SDL_SCANCODE_KP_8, 0x48}, {SDL_SCANCODE_KP_9, 0x49},
    {SDL_SCANCODE_KP_MINUS, 0x4A},
    {SDL_SCANCODE_KP_4, 0x4B}, {SDL_SCANCODE_KP_5, 0x4C}, {SDL_SCANCODE_KP_6, 0x4D},
    {SDL_SCANCODE_KP_PLUS, 0x4E},
    {SDL_SCANCODE_KP_1, 0x4F}, {SDL_SCANCODE_KP_2, 0x50}, {SDL_SCANCODE_KP_3, 0x51},
    {SDL_SCANCODE_KP_0, 0x52}, {SDL_SCANCODE_KP_PERIOD, 0x53},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56},
    {SDL_SCANCODE_F11, 0x57}, {SDL_SCANCODE_F12, 0x58},
    {SDL_SCANCODE_F13, 0x64}, {SDL_SCANCODE_F14, 0x65}, {SDL_SCANCODE_F15, 0x66},
    {SDL_SCANCODE_INTERNATIONAL2, 0x70},  // kana
    {SDL_SCANCODE_INTERNATIONAL1, 0x73},  // ABNT C1 / ro
    {SDL_SCANCODE_INTERNATIONAL4, 0x79},  // convert
    {SDL_SCANCODE_INTERNATIONAL5, 0x7B},  // no convert
    {SDL_SCANCODE_INTERNATIONAL3, 0x7D},  // yen
    {SDL_SCANCODE_KP_EQUALS, 0x8D},
    {SDL_SCANCODE_AUDIOPREV, 0x90},
    {SDL_SCANCODE_LANG2, 0x94},  // kanji
    {SDL_SCANCODE_AUDIONEXT, 0x99},
    {SDL_SCANCODE_KP_ENTER, 0x9C}, {SDL_SCANCODE_RCTRL, 0x9D},
    {SDL_SCANCODE_MUTE, 0xA0}, {SDL_SCANCODE_AUDIOMUTE, 0xA0},
    {SDL_SCANCODE_CALCULATOR, 0xA1}, {SDL_SCANCODE_AUDIOPLAY, 0xA2},
    {SDL_SCANCODE_AUDIOSTOP, 0xA4},
    {SDL_SCANCODE_VOLUMEDOWN, 0xAE}, {SDL_SCANCODE_VOLUMEUP, 0xB0},
    {SDL_SCANCODE_AC_HOME, 0xB2}, {SDL_SCANCODE_KP_COMMA, 0xB3},
    {SDL_SCANCODE_KP_DIVIDE, 0xB5}, {SDL_SCANCODE_PRINTSCREEN, 0xB7},
    {SDL_SCANCODE_SYSREQ, 0xB7}, {SDL_SCANCODE_RALT, 0xB8},
    {SDL_SCANCODE_PAUSE, 0xC5},
    {SDL_SCANCODE_HOME, 0xC7}, {SDL_SCANCODE_UP, 0xC8}, {SDL_SCANCODE_PAGEUP, 0xC9},
    {SDL_SCANCODE_LEFT, 0xCB}, {SDL_SCANCODE_RIGHT, 0xCD}, {SDL_SCANCODE_END, 0xCF},
    {SDL_SCANCODE_DOWN, 0xD0}, {SDL_SCANCODE_PAGEDOWN, 0xD1},
    {SDL_SCANCODE_INSERT, 0xD2}, {SDL_SCANCODE_DELETE, 0xD3},
    {SDL_SCANCODE_LGUI, 0xDB}, {SDL_SCANCODE_RGUI, 0xDC}, {SDL_SCANCODE_APPLICATION, 0xDD},
    {SDL_SCANCODE_POWER, 0xDE}, {SDL_SCANCODE_SLEEP, 0xDF},
    {SDL_SCANCODE_AC_SEARCH, 0xE5}, {SDL_SCANCODE_AC_BOOKMARKS, 0xE6},
    {SDL_SCANCODE_AC_REFRESH, 0xE7}, {SDL_SCANCODE_AC_STOP, 0xE8},
    {SDL_SCANCODE_AC_FORWARD, 0xE9}, {SDL_SCANCODE_AC_BACK, 0xEA},
    {SDL_SCANCODE_COMPUTER, 0xEB}, {SDL_SCANCODE_MAIL, 0xEC}, {SDL_SCANCODE_MEDIASELECT, 0xED},
};

constexpr std::array<uint8_t, SDL_NUM_SCANCODES> MakeKeyTable() {
  std::array<uint8_t, SDL_NUM_SCANCODES> table{};
  for (const KeyPair& pair : kKeyPairs) table[pair.sdl] = pair.dik;
  return table;
}

constexpr std::array<uint8_t, SDL_NUM_SCANCODES> kKeyTable = MakeKeyTable();

// What the event watch saw since the devices last asked: Pause presses (DirectInput's state
// misses a key that goes down and up between two reads, and Pause always does) and wheel notches.
std::atomic<int> g_pausePresses{0};
std::atomic<int> g_wheel{0};

int InputEventWatch(void*, SDL_Event* event) {
  if (event->type == SDL_KEYDOWN && event->key.keysym.scancode == SDL_SCANCODE_PAUSE &&
      !event->key.repeat) {
    g_pausePresses.fetch_add(1);
  } else if (event->type == SDL_MOUSEWHEEL) {
    int notches = event->wheel.y;
    if (event->wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
    g_wheel.fetch_add(notches * 120);  // WHEEL_DELTA per notch
  }
  return 0;
}

void InstallEventWatch() {
  static bool installed = false;
  if (installed) return;
  SDL_AddEventWatch(InputEventWatch, nullptr);
  installed = true;
}

void PumpSdl() {
  if (SDL_WasInit(SDL_INIT_EVENTS)) SDL_PumpEvents();
}

bool HasFocus() { return SDL_GetKeyboardFocus() != nullptr; }

class SdlKeyboard : public KeyboardDevice {
 public:
  int32_t Acquire() override {
    PumpSdl();
    return m_acquisition.Acquire(HasFocus(), kDIERR_OTHERAPPHASPRIO);
  }
  int32_t Unacquire() override { return m_acquisition.Unacquire(); }
  int32_t GetDeviceState(uint8_t keys[256]) override {
    if (!keys) return kDIERR_INVALIDPARAM;
    PumpSdl();
    int32_t result = m_acquisition.Check(HasFocus());
    if (result != kDI_OK) return result;
    std::memset(keys, 0, 256);
    int count = 0;
    const Uint8* state = SDL_GetKeyboardState(&count);
    for (int scancode = 0; scancode < count && scancode < SDL_NUM_SCANCODES; ++scancode) {
      if (state[scancode] && kKeyTable[scancode]) keys[kKeyTable[scancode]] = 0x80;
    }
    return kDI_OK;
  }

 private:
  DeviceAcquisition m_acquisition;
};

class SdlMouse : public MouseDevice {
 public:
  int32_t Acquire() override {
    PumpSdl();
    int32_t result = m_acquisition.Acquire(HasFocus(), kDIERR_OTHERAPPHASPRIO);
    if (result == kDI_OK) {
      // Motion made while the device was not held belongs to nobody.
      SDL_GetRelativeMouseState(nullptr, nullptr);
      g_wheel.store(0);
    }
    return result;
  }
  int32_t Unacquire() override { return m_acquisition.Unacquire(); }
  int32_t GetDeviceState(MouseState* state) override {
    if (!state) return kDIERR_INVALIDPARAM;
    PumpSdl();
    int32_t result = m_acquisition.Check(HasFocus());
    if (result != kDI_OK) return result;
    int dx = 0;
    int dy = 0;
    Uint32 buttons = SDL_GetRelativeMouseState(&dx, &dy);
    *state = MouseState();
    state->lX = dx;
    state->lY = dy;
    state->lZ = g_wheel.exchange(0);
    const Uint32 masks[5] = {SDL_BUTTON_LMASK, SDL_BUTTON_RMASK, SDL_BUTTON_MMASK,
                             SDL_BUTTON_X1MASK, SDL_BUTTON_X2MASK};
    for (int i = 0; i < 5; ++i) state->rgbButtons[i] = (buttons & masks[i]) ? 0x80 : 0;
    return kDI_OK;
  }

 private:
  DeviceAcquisition m_acquisition;
};

class SdlJoystick : public JoystickDevice {
 public:
  explicit SdlJoystick(SDL_Joystick* joystick) : m_joystick(joystick) {}
  ~SdlJoystick() override {
    if (m_rumbling) SDL_JoystickRumble(m_joystick, 0, 0, 0);
    SDL_JoystickClose(m_joystick);
  }
  SdlJoystick(const SdlJoystick&) = delete;
  SdlJoystick& operator=(const SdlJoystick&) = delete;

  int32_t Acquire() override { return m_acquisition.Acquire(Attached(), kDIERR_UNPLUGGED); }
  int32_t Unacquire() override { return m_acquisition.Unacquire(); }
  int32_t Poll() override {
    int32_t result = m_acquisition.Check(Attached());
    if (result != kDI_OK) return result;
    SDL_JoystickUpdate();
    return kDI_OK;
  }
  int32_t GetDeviceState(JoyState* state) override {
    if (!state) return kDIERR_INVALIDPARAM;
    int32_t result = m_acquisition.Check(Attached());
    if (result != kDI_OK) return result;
    *state = JoyState();
    // Axes in DIJOYSTATE2's order. A four-axis device is a two-stick pad without triggers,
    // which HID reports as X, Y, Z, Rz: the fourth goes where DirectInput put it.
    int32_t* const sixAxes[8] = {&state->lX,  &state->lY,  &state->lZ,
                                 &state->lRx, &state->lRy, &state->lRz,
                                 &state->rglSlider[0], &state->rglSlider[1]};
    int32_t* const fourAxes[4] = {&state->lX, &state->lY, &state->lZ, &state->lRz};
    int axes = SDL_JoystickNumAxes(m_joystick);
    int32_t* const* slots = axes == 4 ? fourAxes : sixAxes;
    if (axes > 8) axes = 8;
    for (int i = 0; i < axes; ++i) {
      *slots[i] = ScaleJoystickAxis(SDL_JoystickGetAxis(m_joystick, i), m_min, m_max);
    }
    int hats = SDL_JoystickNumHats(m_joystick);
    if (hats > 4) hats = 4;
    for (int i = 0; i < hats; ++i) state->rgdwPOV[i] = PovFromSdlHat(SDL_JoystickGetHat(m_joystick, i));
    int buttons = SDL_JoystickNumButtons(m_joystick);
    if (buttons > 128) buttons = 128;
    for (int i = 0; i < buttons; ++i) {
      state->rgbButtons[i] = SDL_JoystickGetButton(m_joystick, i) ? 0x80 : 0;
    }
    return kDI_OK;
  }
  int32_t SetAxisRange(int32_t min, int32_t max) override {
    if (min >= max) return kDIERR_INVALIDPARAM;
    m_min = min;
    m_max = max;
    return kDI_OK;
  }
  bool HasForceFeedback() override { return SDL_JoystickHasRumble(m_joystick) == SDL_TRUE; }
  int32_t CreateConstantForceEffect() override {
    if (!HasForceFeedback()) return kDIERR_UNSUPPORTED;
    m_effect = true;
    return kDI_OK;
  }
  int32_t SetEffectParameters(int32_t directionX, int32_t directionY, int32_t magnitude) override {
    if (!m_effect) return kDIERR_GENERIC;
    Uint16 low = magnitude > 0 ? ClampMotor(directionX) : 0;
    Uint16 high = magnitude > 0 ? ClampMotor(directionY) : 0;
    // The effect runs until told otherwise; SDL caps the duration (at about a minute), far
    // beyond any rumble the games time in frames.
    if (SDL_JoystickRumble(m_joystick, low, high, 0xFFFFFFFFu) != 0) return kDIERR_GENERIC;
    m_rumbling = low != 0 || high != 0;
    return kDI_OK;
  }

 private:
  static Uint16 ClampMotor(int32_t value) {
    if (value < 0) return 0;
    if (value > 65535) return 65535;
    return static_cast<Uint16>(value);
  }
  bool Attached() { return SDL_JoystickGetAttached(m_joystick) == SDL_TRUE; }

  SDL_Joystick* m_joystick;
  DeviceAcquisition m_acquisition;
  int32_t m_min = -1000;
  int32_t m_max = 1000;
  bool m_effect = false;
  bool m_rumbling = false;
};

class SdlDirectInput : public DirectInput {
 public:
  explicit SdlDirectInput(bool virtualPadsOnly) : m_virtualPadsOnly(virtualPadsOnly) {}
  int32_t CreateKeyboard(KeyboardDevice** device) override {
    if (!device) return kDIERR_INVALIDPARAM;
    *device = new SdlKeyboard();
    return kDI_OK;
  }
  int32_t CreateMouse(MouseDevice** device) override {
    if (!device) return kDIERR_INVALIDPARAM;
    *device = new SdlMouse();
    return kDI_OK;
  }
  int32_t EnumDevices(bool (*callback)(const DeviceInstance& device, void* context),
                      void* context) override {
    if (!callback) return kDIERR_INVALIDPARAM;
    if (!EnsureSdlJoysticks()) return kDIERR_GENERIC;
    PumpSdl();  // brings the list of attached devices up to date
    int count = SDL_NumJoysticks();
    if (count < 0) return kDIERR_GENERIC;
    for (int i = 0; i < count; ++i) {
      DeviceInstance device;
      device.instanceId = SDL_JoystickGetDeviceInstanceID(i);
      if (device.instanceId < 0) continue;
      if (m_virtualPadsOnly && !SDL_JoystickIsVirtual(i)) continue;
      device.type = DeviceTypeFromSdl(SDL_JoystickGetDeviceType(i));
      const char* name = SDL_JoystickNameForIndex(i);
      std::strncpy(device.productName, name ? name : "", sizeof(device.productName) - 1);
      if (!callback(device, context)) break;
    }
    return kDI_OK;
  }
  int32_t CreateJoystick(int32_t instanceId, JoystickDevice** device) override {
    if (!device) return kDIERR_INVALIDPARAM;
    *device = nullptr;
    if (!EnsureSdlJoysticks()) return kDIERR_DEVICENOTREG;
    int count = SDL_NumJoysticks();
    for (int i = 0; i < count; ++i) {
      if (SDL_JoystickGetDeviceInstanceID(i) != instanceId) continue;
      SDL_Joystick* joystick = SDL_JoystickOpen(i);
      if (!joystick) return kDIERR_DEVICENOTREG;
      *device = new SdlJoystick(joystick);
      return kDI_OK;
    }
    return kDIERR_DEVICENOTREG;
  }
  bool PauseKeyPressedSinceLastQuery() override {
    PumpSdl();
    return g_pausePresses.exchange(0) > 0;
  }

 private:
  bool m_virtualPadsOnly;
};

DirectInputFactory g_factory = nullptr;

}  // namespace

int DikFromSdlScancode(int sdlScancode) {
  if (sdlScancode < 0 || sdlScancode >= SDL_NUM_SCANCODES) return 0;
  return kKeyTable[static_cast<size_t>(sdlScancode)];
}

int32_t ScaleJoystickAxis(int32_t sdlValue, int32_t min, int32_t max) {
  if (sdlValue < -32768) sdlValue = -32768;
  if (sdlValue > 32767) sdlValue = 32767;
  if (max <= min) return min;
  // One straight line through (-32768, min) and (32767, max); for a symmetric range it is odd
  // about -0.5, so -v-1 reads exactly the negative of v.
  const int64_t span = static_cast<int64_t>(max) - min;
  const int64_t offset = static_cast<int64_t>(sdlValue) + 32768;
  const int64_t scaled = (offset * span * 2 + 65535) / (65535 * 2);
  return static_cast<int32_t>(min + scaled);
}

uint32_t PovFromSdlHat(uint8_t sdlHat) {
  switch (sdlHat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return 0xFFFFFFFFu;
  }
}

DeviceType DeviceTypeFromSdl(int sdlJoystickType) {
  switch (sdlJoystickType) {
    case SDL_JOYSTICK_TYPE_GAMECONTROLLER:
    case SDL_JOYSTICK_TYPE_ARCADE_PAD:
      return DeviceType::Gamepad;
    // SDL reports a plain HID stick or pad it has no mapping for as unknown; it is still a
    // joystick, and the pad mapping file exists for exactly such devices.
    case SDL_JOYSTICK_TYPE_UNKNOWN:
    case SDL_JOYSTICK_TYPE_ARCADE_STICK:
      return DeviceType::Joystick;
    // Wheels, flight sticks, throttles and the music-game devices: DirectInput gives these
    // classes of their own.
    default:
      return DeviceType::Other;
  }
}

int32_t DeviceAcquisition::Acquire(bool reachable, int32_t refusal) {
  if (!reachable) {
    m_acquired = false;
    return refusal;
  }
  if (m_acquired) return kDI_NOEFFECT;
  m_acquired = true;
  return kDI_OK;
}

int32_t DeviceAcquisition::Unacquire() {
  if (!m_acquired) return kDI_NOEFFECT;
  m_acquired = false;
  return kDI_OK;
}

int32_t DeviceAcquisition::Check(bool reachable) {
  if (!m_acquired) return kDIERR_NOTACQUIRED;
  if (!reachable) {
    m_acquired = false;
    return kDIERR_INPUTLOST;
  }
  return kDI_OK;
}

int32_t SdlDirectInput8Create(DirectInput** out, bool virtualPadsOnly) {
  if (!out) return kDIERR_INVALIDPARAM;
  *out = nullptr;
  if (!EnsureSdlVideo()) return kDIERR_GENERIC;
  EnsureSdlJoysticks();  // without joysticks the keyboard and mouse still work
  InstallEventWatch();
  *out = new SdlDirectInput(virtualPadsOnly);
  return kDI_OK;
}

int32_t DirectInput8Create(DirectInput** out) {
  if (!out) return kDIERR_INVALIDPARAM;
  *out = nullptr;
  return g_factory ? g_factory(out) : SdlDirectInput8Create(out);
}

void SetDirectInputFactory(DirectInputFactory factory) { g_factory = factory; }

}  // namespace plat
