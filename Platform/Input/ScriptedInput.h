#pragma once
// A DirectInput for tests: keys, mouse, pads and failures come from a script the test writes,
// and rumble and axis-range calls are recorded. Install() makes DirectInput8Create hand out
// objects that read this script; the engine under test never knows.
//
//   plat::ScriptedInput input;
//   input.Install();
//   input.SetKey(0x1C, true);                                   // DIK_RETURN held
//   int pad = input.AddPad("Test Pad", plat::DeviceType::Gamepad, true);
//   input.GetPad(pad).state.lX = 600;
//   ... run the engine ...
//   EXPECT_EQ(input.RumbleCalls().size(), 1u);
//
// Pads are enumerated in the order added; pad i has instance id kFirstPadInstanceId + i.
// Devices made from a script that has since been destroyed answer kDIERR_GENERIC.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "Platform/Input/Input.h"

namespace plat {

class ScriptedKeyboardDevice;
class ScriptedMouseDevice;
class ScriptedJoystickDevice;
class ScriptedDirectInputObject;

class ScriptedInput {
 public:
  static constexpr int32_t kFirstPadInstanceId = 1000;

  struct Pad {
    std::string name;
    DeviceType type = DeviceType::Gamepad;
    bool forceFeedback = false;
    // What GetDeviceState gives (axes as the engine expects them after SetAxisRange).
    JoyState state;
    // What Poll answers while the device is acquired (kDI_OK, kDIERR_INPUTLOST, ...).
    int32_t pollResult = kDI_OK;
    // CreateJoystick for this pad answers kDIERR_GENERIC.
    bool createFails = false;
    // GetDeviceState answers kDIERR_GENERIC (the device is acquired but cannot be read).
    bool stateFails = false;
    // Recorded: CreateConstantForceEffect calls that succeeded.
    int effectsCreated = 0;
  };

  struct RumbleCall {
    int pad = -1;
    int32_t directionX = 0;
    int32_t directionY = 0;
    int32_t magnitude = 0;
  };

  struct AxisRangeCall {
    int pad = -1;
    int32_t min = 0;
    int32_t max = 0;
  };

  ScriptedInput();
  ~ScriptedInput();
  ScriptedInput(const ScriptedInput&) = delete;
  ScriptedInput& operator=(const ScriptedInput&) = delete;

  // Makes DirectInput8Create use this script; Uninstall (or destruction) gives SDL's back.
  void Install();
  void Uninstall();
  // The script DirectInput8Create uses now, or null.
  static ScriptedInput* Installed();

  // DirectInput8Create fails (kDIERR_GENERIC).
  void SetCreateFails(bool fails) { m_createFails = fails; }

  // --- Keyboard: keys by DirectInput scan code.
  void SetKey(int dik, bool down);
  bool IsKeyDown(int dik) const;
  // One Pause press, seen by the next PauseKeyPressedSinceLastQuery.
  void PressPause() { ++m_pausePresses; }
  void SetKeyboardCreateFails(bool fails) { m_keyboardCreateFails = fails; }
  // The next read of every keyboard made so far answers kDIERR_INPUTLOST and drops its
  // acquisition (as when the window loses focus).
  void LoseKeyboard();
  // Acquire answers kDIERR_OTHERAPPHASPRIO while set.
  void SetKeyboardAcquireFails(bool fails) { m_keyboardAcquireFails = fails; }

  // --- Mouse.
  // Motion is added up until the next successful read, which takes it.
  void MoveMouse(int32_t dx, int32_t dy, int32_t wheel = 0);
  // Buttons 0 (left) to 7.
  void SetMouseButton(int button, bool down);
  void SetMouseCreateFails(bool fails) { m_mouseCreateFails = fails; }
  void LoseMouse();
  void SetMouseAcquireFails(bool fails) { m_mouseAcquireFails = fails; }

  // --- Pads, in enumeration order. References stay valid while the script lives.
  int AddPad(const char* name, DeviceType type, bool forceFeedback);
  Pad& GetPad(int index) { return m_pads.at(static_cast<size_t>(index)); }
  int PadCount() const { return static_cast<int>(m_pads.size()); }
  // EnumDevices answers kDIERR_GENERIC without listing anything.
  void SetEnumFails(bool fails) { m_enumFails = fails; }
  // Pads are SDL's virtual joysticks, found and read through SDL as a player's pads are, while
  // the keyboard and mouse stay scripted; neither the scripted pads nor the machine's own are
  // listed.
  void UseSystemPads(bool use) { m_systemPads = use; }

  // --- Records.
  // Every SetEffectParameters call, whether or not the pad has an effect.
  const std::vector<RumbleCall>& RumbleCalls() const { return m_rumbleCalls; }
  // Every SetAxisRange call.
  const std::vector<AxisRangeCall>& AxisRangeCalls() const { return m_axisRangeCalls; }
  int KeyboardAcquireCalls() const { return m_keyboardAcquires; }
  int MouseAcquireCalls() const { return m_mouseAcquires; }
  // DirectInput objects and devices made and not yet released.
  int LiveObjects() const { return static_cast<int>(m_live.size()); }
  void ClearRecords();

 private:
  friend class ScriptedKeyboardDevice;
  friend class ScriptedMouseDevice;
  friend class ScriptedJoystickDevice;
  friend class ScriptedDirectInputObject;

  // What the scripted objects have in common: a link back to the script, cut when it goes.
  struct Link {
    ScriptedInput* script = nullptr;
    bool lost = false;  // LoseKeyboard / LoseMouse
    int kind = 0;       // 0 other, 1 keyboard, 2 mouse
  };
  void Register(Link* link);
  void Unregister(Link* link);
  static int32_t CreateInstalled(DirectInput** out);

  bool m_createFails = false;
  uint8_t m_keys[256] = {};
  int m_pausePresses = 0;
  bool m_keyboardCreateFails = false;
  bool m_keyboardAcquireFails = false;
  int32_t m_mouseX = 0;
  int32_t m_mouseY = 0;
  int32_t m_mouseWheel = 0;
  uint8_t m_mouseButtons[8] = {};
  bool m_mouseCreateFails = false;
  bool m_mouseAcquireFails = false;
  std::deque<Pad> m_pads;
  bool m_enumFails = false;
  bool m_systemPads = false;
  std::vector<RumbleCall> m_rumbleCalls;
  std::vector<AxisRangeCall> m_axisRangeCalls;
  int m_keyboardAcquires = 0;
  int m_mouseAcquires = 0;
  std::vector<Link*> m_live;
};

}  // namespace plat
