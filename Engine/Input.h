#pragma once
// The platform-neutral half of the game-pad service: for eight pads, the raw button masks that a
// platform's pad reader fills, the game's own bits made from them through per-pad mapping pairs,
// sixteen analog values, and two rumble motors with frame timers. The platform half (GamePad on
// the PC) supplies the devices through the virtual operations.
//
// Per frame the application calls the platform's Update (which reads the devices into the raw
// masks), then BaseGamePad::Update on the same object (which maps them):
//     g_gamePad->Update();
//     g_gamePad->BaseGamePad::Update();

#include <cstdint>

// The first pad's state word as the raw mask holds it: the directions (hat, direction controls
// or stick), the stick's own four bits, and the four action buttons.
enum PadStateBits : uint32_t {
  kPadBitUp = 0x1,
  kPadBitDown = 0x2,
  kPadBitLeft = 0x4,
  kPadBitRight = 0x8,
  kPadBitStickUp = 0x10,
  kPadBitStickDown = 0x20,
  kPadBitStickLeft = 0x40,
  kPadBitStickRight = 0x80,
  kPadBitButton0 = 0x1000,
  kPadBitButton1 = 0x2000,
  kPadBitButton2 = 0x4000,
  kPadBitButton3 = 0x8000,
};

// One mapping pair: any raw bit of `rawMask` held turns on every bit of `gameBits`.
struct GamePadMappingPair {
  uint32_t rawMask = 0;
  uint32_t gameBits = 0;
};

class BaseGamePad {
 public:
  static constexpr int kMaxPads = 8;
  static constexpr int kAnalogValues = 16;
  static constexpr int kMaxMappingPairs = 32;

  BaseGamePad();
  virtual ~BaseGamePad();
  BaseGamePad(const BaseGamePad&) = delete;
  BaseGamePad& operator=(const BaseGamePad&) = delete;

  // Finds and sets up the attached pads: 1, or 0 when the devices cannot be listed.
  virtual int32_t EnumeratePads() = 0;
  // The platform's per-frame read into the raw masks. BaseGamePad::Update (defined, though the
  // platform must override it) is the mapping step that runs after it.
  virtual void Update() = 0;
  virtual int32_t IsConnected(int32_t pad) = 0;
  // Constant answers kept for the callers that ask; none of them varies on the PC.
  virtual const char* GetPadLabel(int32_t pad) = 0;
  virtual int32_t NeedsCalibration(int32_t pad) = 0;
  virtual int32_t HasDigitalPad(int32_t pad) = 0;
  virtual int32_t HasActionButtons(int32_t pad) = 0;
  virtual int32_t HasAnalogSticks(int32_t pad) = 0;
  virtual int32_t IsWireless(int32_t pad) = 0;
  virtual int32_t IsBatteryLow(int32_t pad) = 0;
  // Sends the pad's two motor strengths to the device.
  virtual void SetRumble(int32_t pad) = 0;

  // Copies up to 32 pairs for a pad (more are cut off; a null list or a count of 0 clears).
  void SetMapping(int32_t pad, int32_t pairCount, const GamePadMappingPair* pairs);
  // Presses held now will not count as new: every pressed and released mask of every pad is 0.
  void ClearEdges();

  // Rumble: strength 0-255, duration in frames. A motor's timer only ever grows through a Set;
  // the platform's Update counts it down and silences the motor at 0.
  void SetMotor1(int32_t pad, int32_t strength, int32_t frames);
  void SetMotor2(int32_t pad, int32_t strength, int32_t frames);
  void SetBothMotors(int32_t pad, int32_t strength, int32_t frames);
  void StopMotor1(int32_t pad);
  void StopMotor2(int32_t pad);
  void StopPad(int32_t pad);
  void StopAll();
  void EnableRumble(int32_t flag);

  // Destroys the global pad object and clears the global pointer (the pointer is cleared first,
  // so nothing reached from the destructor can see a half-destroyed pad).
  static void Shutdown();

  // Readers; an index outside 0..7 reads 0.
  uint32_t RawCurrent(int32_t pad) const { return Valid(pad) ? m_rawCurrent[pad] : 0; }
  uint32_t RawPrevious(int32_t pad) const { return Valid(pad) ? m_rawPrevious[pad] : 0; }
  uint32_t RawPressed(int32_t pad) const { return Valid(pad) ? m_rawPressed[pad] : 0; }
  uint32_t RawReleased(int32_t pad) const { return Valid(pad) ? m_rawReleased[pad] : 0; }
  uint32_t MappedCurrent(int32_t pad) const { return Valid(pad) ? m_mappedCurrent[pad] : 0; }
  uint32_t MappedPrevious(int32_t pad) const { return Valid(pad) ? m_mappedPrevious[pad] : 0; }
  uint32_t MappedPressed(int32_t pad) const { return Valid(pad) ? m_mappedPressed[pad] : 0; }
  uint32_t MappedReleased(int32_t pad) const { return Valid(pad) ? m_mappedReleased[pad] : 0; }
  float Analog(int32_t pad, int32_t index) const {
    return Valid(pad) && index >= 0 && index < kAnalogValues ? m_analog[pad][index] : 0.0f;
  }
  // stick 0 is the left stick (X, Y), 1 the right one (Z, Rz).
  uint8_t AnalogMode(int32_t pad, int32_t stick) const {
    return Valid(pad) && (stick == 0 || stick == 1) ? m_analogMode[pad][stick] : 0;
  }
  void SetAnalogMode(int32_t pad, int32_t stick, uint8_t mode) {
    if (Valid(pad) && (stick == 0 || stick == 1)) m_analogMode[pad][stick] = mode;
  }
  int32_t PairCount(int32_t pad) const { return Valid(pad) ? m_pairCount[pad] : 0; }
  int32_t Motor1Timer(int32_t pad) const { return Valid(pad) ? m_motor1Timer[pad] : 0; }
  int32_t Motor2Timer(int32_t pad) const { return Valid(pad) ? m_motor2Timer[pad] : 0; }
  uint8_t Motor1Strength(int32_t pad) const { return Valid(pad) ? m_motor1Strength[pad] : 0; }
  uint8_t Motor2Strength(int32_t pad) const { return Valid(pad) ? m_motor2Strength[pad] : 0; }
  int32_t RumbleEnabled(int32_t pad) const { return Valid(pad) ? m_rumbleEnabled[pad] : 0; }

 protected:
  static bool Valid(int32_t pad) { return pad >= 0 && pad < kMaxPads; }
  // The platform's frame step for the timers: counts both motors down and reports whether one
  // of them stopped in this frame (the caller then sends the new strengths).
  bool TickRumbleTimers(int32_t pad);

  uint32_t m_rawCurrent[kMaxPads];
  uint32_t m_rawPrevious[kMaxPads];
  uint32_t m_rawPressed[kMaxPads];
  uint32_t m_rawReleased[kMaxPads];
  float m_analog[kMaxPads][kAnalogValues];
  uint8_t m_analogMode[kMaxPads][2];
  uint32_t m_mappedCurrent[kMaxPads];
  uint32_t m_mappedPrevious[kMaxPads];
  uint32_t m_mappedPressed[kMaxPads];
  uint32_t m_mappedReleased[kMaxPads];
  GamePadMappingPair m_pairs[kMaxPads][kMaxMappingPairs];
  uint8_t m_pairCount[kMaxPads];
  int32_t m_motor1Timer[kMaxPads];
  int32_t m_motor2Timer[kMaxPads];
  uint8_t m_motor1Strength[kMaxPads];
  uint8_t m_motor2Strength[kMaxPads];
  int32_t m_rumbleEnabled[kMaxPads];
  int32_t m_spare[kMaxPads];  // kept for the callers that may store in it; nothing reads it
};

// The program's one pad object (made by the application's hardware start-up, destroyed through
// BaseGamePad::Shutdown); null while there is none.
extern BaseGamePad* g_gamePad;
