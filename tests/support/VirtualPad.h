#pragma once
// A pad as a player's machine presents one, without hardware: an SDL virtual joystick that the
// program's own pad code finds, opens and polls. Attach it before the application starts (pads
// are listed once, at start-up) and let the harness's input leave pads to the system:
//
//   m_harness.input().UseSystemPads(true);
//   VirtualPad pad;                       // attached
//   ASSERT_TRUE(m_harness.Start());
//   pad.SetHat(VirtualPad::kHatDown);     // read at the next polled frame
//
// Its stick is the first two axes; the values go in as SDL's -32768..32767.

#include <cstdint>
#include <functional>

struct _SDL_Joystick;

class VirtualPad {
 public:
  static constexpr uint8_t kHatCentred = 0x0, kHatUp = 0x1, kHatRight = 0x2, kHatDown = 0x4,
                           kHatLeft = 0x8;
  static constexpr const char* kName = "Pendrake Test Pad";

  VirtualPad();
  ~VirtualPad();
  VirtualPad(const VirtualPad&) = delete;
  VirtualPad& operator=(const VirtualPad&) = delete;

  bool Attached() const { return m_joystick != nullptr; }
  void SetHat(uint8_t direction);
  void SetButton(int button, bool down);
  // axis 0 is the stick's x (right positive), 1 its y (down positive).
  void SetAxis(int axis, int16_t value);
  // Setters for tables of inputs: true holds the input, false lets it go.
  std::function<void(bool)> Hat(uint8_t direction);
  std::function<void(bool)> Button(int button);
  std::function<void(bool)> Stick(int axis, int16_t value);
  // Everything let go: hat centred, no button down, the stick in the middle.
  void LetGo();
  // The pad is pulled out; it stays out.
  void Unplug();

 private:
  bool m_subsystem = false;
  int32_t m_instance = -1;
  _SDL_Joystick* m_joystick = nullptr;
};
