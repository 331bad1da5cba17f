// The SDL input back end's conversions and its behaviour headless, and the scripted DirectInput
// the engine's tests drive.

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "Platform/Input/ScriptedInput.h"
#include "Platform/Input/SdlInput.h"
#include "Platform/System/System.h"

namespace {

// SDL scancodes are USB HID usage ids; the expected values are DirectInput's published codes.
TEST(SdlKeyTable, MapsUsbUsagesToDirectInputScanCodes) {
  // A..Z are usages 4..29; DirectInput numbers them along the keyboard's rows.
  const int letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                           0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                           0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
  for (int i = 0; i < 26; ++i) {
    EXPECT_EQ(plat::DikFromSdlScancode(4 + i), letters[i]) << static_cast<char>('A' + i);
  }
  // 1..9 are usages 30..38 and DirectInput 0x02..0x0A; 0 is 39 and 0x0B.
  for (int i = 0; i < 9; ++i) EXPECT_EQ(plat::DikFromSdlScancode(30 + i), 0x02 + i);
  EXPECT_EQ(plat::DikFromSdlScancode(39), 0x0B);
  // F1..F10 are usages 58..67 and 0x3B..0x44; F11 and F12 jump to 0x57, 0x58.
  for (int i = 0; i < 10; ++i) EXPECT_EQ(plat::DikFromSdlScancode(58 + i), 0x3B + i);
  EXPECT_EQ(plat::DikFromSdlScancode(68), 0x57);
  EXPECT_EQ(plat::DikFromSdlScancode(69), 0x58);

  struct Key {
    int usage;
    int dik;
    const char* name;
  };
  const Key keys[] = {
      {82, 0xC8, "up"},          {81, 0xD0, "down"},         {80, 0xCB, "left"},
      {79, 0xCD, "right"},       {224, 0x1D, "left ctrl"},   {228, 0x9D, "right ctrl"},
      {225, 0x2A, "left shift"}, {229, 0x36, "right shift"}, {226, 0x38, "left alt"},
      {230, 0xB8, "right alt"},  {40, 0x1C, "return"},       {41, 0x01, "escape"},
      {44, 0x39, "space"},       {72, 0xC5, "pause"},        {88, 0x9C, "keypad enter"},
      {98, 0x52, "keypad 0"},    {84, 0xB5, "keypad /"},     {43, 0x0F, "tab"},
      {42, 0x0E, "backspace"},   {74, 0xC7, "home"},         {78, 0xD1, "page down"},
      {76, 0xD3, "delete"},      {103, 0x8D, "keypad ="},    {261, 0xA2, "play"},
  };
  for (const Key& key : keys) EXPECT_EQ(plat::DikFromSdlScancode(key.usage), key.dik) << key.name;

  // Nothing for no key and for values out of the table.
  EXPECT_EQ(plat::DikFromSdlScancode(0), 0);
  EXPECT_EQ(plat::DikFromSdlScancode(-1), 0);
  EXPECT_EQ(plat::DikFromSdlScancode(512), 0);
}

TEST(SdlKeyTable, DistinctKeysGetDistinctCodes) {
  // Only keys that are one key on a PC keyboard may share a code: backslash and the ISO '#'
  // (49, 50), print screen and SysRq (70, 154), the two mute usages (127, 262).
  const std::set<int> aliases = {50, 154, 262};
  std::set<int> seen;
  int mapped = 0;
  for (int usage = 0; usage < 512; ++usage) {
    int dik = plat::DikFromSdlScancode(usage);
    if (dik == 0) continue;
    ++mapped;
    EXPECT_LT(dik, 256);
    if (aliases.count(usage)) continue;
    EXPECT_TRUE(seen.insert(dik).second) << "usage " << usage << " reuses 0x" << std::hex << dik;
  }
  EXPECT_GE(mapped, 104);  // at least a full PC keyboard
}

TEST(SdlJoystickConversion, AxisEndsMapExactlyOntoTheRange) {
  // {reading, low, high, expected}
  const int32_t ends[][4] = {{-32768, -1000, 1000, -1000}, {32767, -1000, 1000, 1000},
                             {0, -1000, 1000, 0},         {-1, -1000, 1000, 0},
                             {16384, -1000, 1000, 500},   {-32768, 0, 65535, 0},
                             {32767, 0, 65535, 65535},    {32767, -100, 100, 100}};
  for (const auto& e : ends) EXPECT_EQ(plat::ScaleJoystickAxis(e[0], e[1], e[2]), e[3]) << e[0];
  // Every reading: in range, never falling, and a mirror image about the centre.
  int32_t previous = -1000;
  for (int32_t v = -32768; v <= 32767; ++v) {
    int32_t scaled = plat::ScaleJoystickAxis(v, -1000, 1000);
    ASSERT_GE(scaled, previous) << v;
    ASSERT_LE(scaled, 1000) << v;
    ASSERT_EQ(plat::ScaleJoystickAxis(-v - 1, -1000, 1000), -scaled) << v;
    previous = scaled;
  }
}

TEST(SdlJoystickConversion, HatInHundredthsOfADegree) {
  // SDL's hat bits: up 1, right 2, down 4, left 8.
  // {bits, hundredths}; none and the impossible up-and-down give no direction.
  const uint32_t hats[][2] = {{0, 0xFFFFFFFFu}, {1, 0},         {1 | 2, 4500},  {2, 9000},
                              {4 | 2, 13500},   {4, 18000},     {4 | 8, 22500}, {8, 27000},
                              {1 | 8, 31500},   {1 | 4, 0xFFFFFFFFu}};
  for (const auto& h : hats) EXPECT_EQ(plat::PovFromSdlHat(uint8_t(h[0])), h[1]) << h[0];
}

TEST(SdlJoystickConversion, DeviceKinds) {
  // SDL_JoystickType: unknown 0, game controller 1, wheel 2, arcade stick 3, flight stick 4.
  using T = plat::DeviceType;
  const T kinds[] = {T::Joystick, T::Gamepad, T::Other, T::Joystick, T::Other};
  for (int sdl = 0; sdl < 5; ++sdl) EXPECT_EQ(plat::DeviceTypeFromSdl(sdl), kinds[sdl]) << sdl;
}

TEST(DeviceAcquisition, FollowsReachability) {
  plat::DeviceAcquisition device;
  EXPECT_EQ(device.Check(true), plat::kDIERR_NOTACQUIRED);
  EXPECT_EQ(device.Acquire(false, plat::kDIERR_OTHERAPPHASPRIO), plat::kDIERR_OTHERAPPHASPRIO);
  EXPECT_EQ(device.Check(true), plat::kDIERR_NOTACQUIRED);
  EXPECT_EQ(device.Acquire(true, plat::kDIERR_OTHERAPPHASPRIO), plat::kDI_OK);
  EXPECT_EQ(device.Acquire(true, plat::kDIERR_OTHERAPPHASPRIO), plat::kDI_NOEFFECT);
  EXPECT_EQ(device.Check(true), plat::kDI_OK);
  // Focus goes: lost once, then simply not acquired until Acquire succeeds again.
  EXPECT_EQ(device.Check(false), plat::kDIERR_INPUTLOST);
  EXPECT_EQ(device.Check(false), plat::kDIERR_NOTACQUIRED);
  EXPECT_EQ(device.Check(true), plat::kDIERR_NOTACQUIRED);
  EXPECT_EQ(device.Acquire(true, plat::kDIERR_OTHERAPPHASPRIO), plat::kDI_OK);
  EXPECT_EQ(device.Check(true), plat::kDI_OK);
  EXPECT_EQ(device.Unacquire(), plat::kDI_OK);
  EXPECT_EQ(device.Unacquire(), plat::kDI_NOEFFECT);
  EXPECT_EQ(device.Check(true), plat::kDIERR_NOTACQUIRED);
}

bool Count(const plat::DeviceInstance& device, void* context) {
  EXPECT_GE(device.instanceId, 0);
  ++*static_cast<int*>(context);
  return true;
}

TEST(SdlDirectInput, HeadlessWindowNeverHasFocus) {
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (!driver || std::strcmp(driver, "offscreen") != 0) GTEST_SKIP() << "needs the offscreen driver";
  plat::System& system = plat::GetSdlSystem();
  ASSERT_NE(system.CreateAppWindow(640, 480, nullptr, nullptr), nullptr);

  plat::DirectInput* input = nullptr;
  ASSERT_EQ(plat::DirectInput8Create(&input), plat::kDI_OK);
  ASSERT_NE(input, nullptr);
  EXPECT_EQ(plat::ScriptedInput::Installed(), nullptr);

  plat::KeyboardDevice* keyboard = nullptr;
  ASSERT_EQ(input->CreateKeyboard(&keyboard), plat::kDI_OK);
  uint8_t keys[256];
  EXPECT_EQ(keyboard->Acquire(), plat::kDIERR_OTHERAPPHASPRIO);
  EXPECT_EQ(keyboard->GetDeviceState(keys), plat::kDIERR_NOTACQUIRED);
  keyboard->Release();

  plat::MouseDevice* mouse = nullptr;
  ASSERT_EQ(input->CreateMouse(&mouse), plat::kDI_OK);
  plat::MouseState state;
  EXPECT_EQ(mouse->Acquire(), plat::kDIERR_OTHERAPPHASPRIO);
  EXPECT_EQ(mouse->GetDeviceState(&state), plat::kDIERR_NOTACQUIRED);
  mouse->Release();

  int devices = 0;
  EXPECT_EQ(input->EnumDevices(&Count, &devices), plat::kDI_OK);
  plat::JoystickDevice* joystick = nullptr;
  EXPECT_EQ(input->CreateJoystick(-12345, &joystick), plat::kDIERR_DEVICENOTREG);
  EXPECT_EQ(joystick, nullptr);
  EXPECT_FALSE(input->PauseKeyPressedSinceLastQuery());
  input->Release();

  system.DestroyAppWindow();
  plat::WindowEvent event;
  while (system.PeekEvent(&event)) {
  }
}

// A virtual pad stands in for hardware: reads follow Poll, a running motor is stopped and the
// device closed on release.
TEST(SdlDirectInput, VirtualPadPollsRumblesAndCloses) {
  plat::DirectInput* input = nullptr;
  ASSERT_EQ(plat::DirectInput8Create(&input), plat::kDI_OK);
  int devices = 0;
  ASSERT_EQ(input->EnumDevices(&Count, &devices), plat::kDI_OK);
  static std::vector<std::pair<Uint16, Uint16>> rumbles;
  rumbles.clear();
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.naxes = 6;
  desc.nbuttons = 4;
  desc.Rumble = [](void*, Uint16 low, Uint16 high) { return rumbles.push_back({low, high}), 0; };
  const int index = SDL_JoystickAttachVirtualEx(&desc);
  ASSERT_GE(index, 0) << SDL_GetError();
  const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(index);
  plat::JoystickDevice* pad = nullptr;
  ASSERT_EQ(input->CreateJoystick(id, &pad), plat::kDI_OK);
  ASSERT_EQ(pad->Acquire(), plat::kDI_OK);
  SDL_JoystickSetVirtualAxis(SDL_JoystickFromInstanceID(id), 0, 32767);
  plat::JoyState state;
  ASSERT_EQ(pad->Poll(), plat::kDI_OK);
  ASSERT_EQ(pad->GetDeviceState(&state), plat::kDI_OK);
  EXPECT_EQ(state.lX, 1000);
  ASSERT_EQ(pad->CreateConstantForceEffect(), plat::kDI_OK);
  ASSERT_EQ(pad->SetEffectParameters(9000, 0, 1), plat::kDI_OK);
  pad->Release();
  const std::vector<std::pair<Uint16, Uint16>> expected = {{9000, 0}, {0, 0}};
  EXPECT_EQ(rumbles, expected);
  EXPECT_EQ(SDL_JoystickFromInstanceID(id), nullptr);
  SDL_JoystickDetachVirtual(index);
  input->Release();
}

// --- The scripted back end.

TEST(ScriptedInput, KeyboardStateLossAndReacquire) {
  plat::ScriptedInput script;
  script.Install();
  plat::DirectInput* input = nullptr;
  ASSERT_EQ(plat::DirectInput8Create(&input), plat::kDI_OK);
  EXPECT_EQ(plat::ScriptedInput::Installed(), &script);
  plat::KeyboardDevice* keyboard = nullptr;
  ASSERT_EQ(input->CreateKeyboard(&keyboard), plat::kDI_OK);

  uint8_t keys[256];
  EXPECT_EQ(keyboard->GetDeviceState(keys), plat::kDIERR_NOTACQUIRED);
  ASSERT_EQ(keyboard->Acquire(), plat::kDI_OK);
  script.SetKey(0x1C, true);
  script.SetKey(0xC8, true);
  ASSERT_EQ(keyboard->GetDeviceState(keys), plat::kDI_OK);
  for (int k = 0; k < 256; ++k) {
    EXPECT_EQ(keys[k], (k == 0x1C || k == 0xC8) ? 0x80 : 0) << k;
  }
  script.SetKey(0x1C, false);
  ASSERT_EQ(keyboard->GetDeviceState(keys), plat::kDI_OK);
  EXPECT_EQ(keys[0x1C], 0);
  EXPECT_EQ(keys[0xC8], 0x80);

  script.LoseKeyboard();
  script.SetKeyboardAcquireFails(true);
  EXPECT_EQ(keyboard->GetDeviceState(keys), plat::kDIERR_INPUTLOST);
  EXPECT_EQ(keyboard->GetDeviceState(keys), plat::kDIERR_NOTACQUIRED);
  EXPECT_LT(keyboard->Acquire(), 0);
  script.SetKeyboardAcquireFails(false);
  EXPECT_EQ(keyboard->Acquire(), plat::kDI_OK);
  EXPECT_EQ(keyboard->GetDeviceState(keys), plat::kDI_OK);
  EXPECT_EQ(script.KeyboardAcquireCalls(), 3);

  // Pause: once per press since the last query, however many presses.
  EXPECT_FALSE(input->PauseKeyPressedSinceLastQuery());
  script.PressPause();
  script.PressPause();
  EXPECT_TRUE(input->PauseKeyPressedSinceLastQuery());
  EXPECT_FALSE(input->PauseKeyPressedSinceLastQuery());

  script.SetKeyboardCreateFails(true);
  plat::KeyboardDevice* second = nullptr;
  EXPECT_LT(input->CreateKeyboard(&second), 0);
  EXPECT_EQ(second, nullptr);

  EXPECT_EQ(script.LiveObjects(), 2);
  keyboard->Release();
  input->Release();
  EXPECT_EQ(script.LiveObjects(), 0);
}

TEST(ScriptedInput, MouseMotionIsTakenByEachRead) {
  plat::ScriptedInput script;
  script.Install();
  plat::DirectInput* input = nullptr;
  ASSERT_EQ(plat::DirectInput8Create(&input), plat::kDI_OK);
  script.SetMouseCreateFails(true);
  plat::MouseDevice* mouse = nullptr;
  EXPECT_LT(input->CreateMouse(&mouse), 0);
  EXPECT_EQ(mouse, nullptr);
  script.SetMouseCreateFails(false);
  for (int outOfRange : {-1, 8}) script.SetMouseButton(outOfRange, true);  // ignored
  ASSERT_EQ(input->CreateMouse(&mouse), plat::kDI_OK);
  ASSERT_EQ(mouse->Acquire(), plat::kDI_OK);

  script.MoveMouse(3, -2);
  script.MoveMouse(4, -1, 120);
  script.SetMouseButton(1, true);
  plat::MouseState state;
  ASSERT_EQ(mouse->GetDeviceState(&state), plat::kDI_OK);
  EXPECT_EQ(state.lX, 7);
  EXPECT_EQ(state.lY, -3);
  EXPECT_EQ(state.lZ, 120);
  EXPECT_EQ(state.rgbButtons[0], 0);
  EXPECT_EQ(state.rgbButtons[1], 0x80);
  ASSERT_EQ(mouse->GetDeviceState(&state), plat::kDI_OK);
  EXPECT_EQ(state.lX, 0);
  EXPECT_EQ(state.lY, 0);
  EXPECT_EQ(state.rgbButtons[1], 0x80);  // held until released

  script.LoseMouse();
  EXPECT_EQ(mouse->GetDeviceState(&state), plat::kDIERR_INPUTLOST);
  script.SetMouseAcquireFails(true);
  // Never kDIERR_INPUTLOST from Acquire: a caller retrying on that answer would spin forever.
  EXPECT_EQ(mouse->Acquire(), plat::kDIERR_OTHERAPPHASPRIO);
  mouse->Release();
  input->Release();
}

struct Seen {
  std::vector<plat::DeviceInstance> devices;
  bool stopAfterFirst = false;
};

bool Collect(const plat::DeviceInstance& device, void* context) {
  Seen* seen = static_cast<Seen*>(context);
  seen->devices.push_back(device);
  return !seen->stopAfterFirst;
}

TEST(ScriptedInput, PadsEnumerateReadAndRecordRumble) {
  plat::ScriptedInput script;
  script.Install();
  int first = script.AddPad("Rumble Pad", plat::DeviceType::Gamepad, true);
  int second = script.AddPad("Old Stick", plat::DeviceType::Joystick, false);
  script.AddPad("Wheel", plat::DeviceType::Other, false);
  plat::DirectInput* input = nullptr;
  ASSERT_EQ(plat::DirectInput8Create(&input), plat::kDI_OK);

  Seen seen;
  ASSERT_EQ(input->EnumDevices(&Collect, &seen), plat::kDI_OK);
  ASSERT_EQ(seen.devices.size(), 3u);
  EXPECT_STREQ(seen.devices[0].productName, "Rumble Pad");
  EXPECT_EQ(seen.devices[1].type, plat::DeviceType::Joystick);
  EXPECT_EQ(seen.devices[2].type, plat::DeviceType::Other);
  Seen once;
  once.stopAfterFirst = true;
  input->EnumDevices(&Collect, &once);
  EXPECT_EQ(once.devices.size(), 1u);

  plat::JoystickDevice* pad = nullptr;
  ASSERT_EQ(input->CreateJoystick(seen.devices[first].instanceId, &pad), plat::kDI_OK);
  EXPECT_EQ(pad->SetAxisRange(-1000, 1000), plat::kDI_OK);
  plat::JoyState state;
  EXPECT_EQ(pad->Poll(), plat::kDIERR_NOTACQUIRED);
  ASSERT_EQ(pad->Acquire(), plat::kDI_OK);
  script.GetPad(first).state.lX = 600;
  script.GetPad(first).state.rgdwPOV[0] = 4500;
  script.GetPad(first).state.rgbButtons[3] = 0x80;
  EXPECT_EQ(pad->Poll(), plat::kDI_OK);
  ASSERT_EQ(pad->GetDeviceState(&state), plat::kDI_OK);
  EXPECT_EQ(state.lX, 600);
  EXPECT_EQ(state.rgdwPOV[0], 4500u);
  EXPECT_EQ(state.rgbButtons[3], 0x80);
  script.GetPad(first).pollResult = plat::kDIERR_INPUTLOST;
  EXPECT_EQ(pad->Poll(), plat::kDIERR_INPUTLOST);
  script.GetPad(first).stateFails = true;
  EXPECT_LT(pad->GetDeviceState(&state), 0);

  ASSERT_TRUE(pad->HasForceFeedback());
  ASSERT_EQ(pad->CreateConstantForceEffect(), plat::kDI_OK);
  EXPECT_EQ(pad->SetEffectParameters(65280, 0, 65280), plat::kDI_OK);
  EXPECT_EQ(script.GetPad(first).effectsCreated, 1);

  plat::JoystickDevice* stick = nullptr;
  ASSERT_EQ(input->CreateJoystick(seen.devices[second].instanceId, &stick), plat::kDI_OK);
  EXPECT_FALSE(stick->HasForceFeedback());
  EXPECT_EQ(stick->CreateConstantForceEffect(), plat::kDIERR_UNSUPPORTED);
  EXPECT_EQ(stick->SetAxisRange(5, 5), plat::kDIERR_INVALIDPARAM);

  ASSERT_EQ(script.RumbleCalls().size(), 1u);
  EXPECT_EQ(script.RumbleCalls()[0].pad, first);
  EXPECT_EQ(script.RumbleCalls()[0].directionX, 65280);
  EXPECT_EQ(script.RumbleCalls()[0].magnitude, 65280);
  ASSERT_EQ(script.AxisRangeCalls().size(), 2u);
  EXPECT_EQ(script.AxisRangeCalls()[0].pad, first);
  EXPECT_EQ(script.AxisRangeCalls()[0].min, -1000);
  EXPECT_EQ(script.AxisRangeCalls()[1].pad, second);

  script.GetPad(second).createFails = true;
  plat::JoystickDevice* failed = nullptr;
  EXPECT_LT(input->CreateJoystick(seen.devices[second].instanceId, &failed), 0);
  EXPECT_EQ(failed, nullptr);
  EXPECT_EQ(input->CreateJoystick(12345, &failed), plat::kDIERR_DEVICENOTREG);

  script.SetEnumFails(true);
  Seen none;
  EXPECT_LT(input->EnumDevices(&Collect, &none), 0);
  EXPECT_TRUE(none.devices.empty());

  pad->Release();
  stick->Release();
  input->Release();
}

TEST(ScriptedInput, InstallationAndDevicesOutlivingTheScript) {
  plat::KeyboardDevice* orphan = nullptr;
  plat::DirectInput* input = nullptr;
  {
    plat::ScriptedInput script;
    script.Install();
    script.SetCreateFails(true);
    EXPECT_LT(plat::DirectInput8Create(&input), 0);
    EXPECT_EQ(input, nullptr);
    script.SetCreateFails(false);
    ASSERT_EQ(plat::DirectInput8Create(&input), plat::kDI_OK);
    ASSERT_EQ(input->CreateKeyboard(&orphan), plat::kDI_OK);
  }
  EXPECT_EQ(plat::ScriptedInput::Installed(), nullptr);
  // The application may release its devices after the test's script is gone.
  uint8_t keys[256];
  EXPECT_LT(orphan->Acquire(), 0);
  EXPECT_LT(orphan->GetDeviceState(keys), 0);
  orphan->Release();
  plat::KeyboardDevice* late = nullptr;
  EXPECT_LT(input->CreateKeyboard(&late), 0);
  input->Release();
}

}  // namespace
