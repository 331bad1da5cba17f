#pragma once
// The game-level buttons: 19 rebindable keys and the first pad merged into one word of input
// bits, with the bits held this tick and those pressed this tick. While the two-player link runs
// it answers from the exchanged input records instead, so both machines see the same input.

#include <cstdint>

// Input bits the games and the menu read.
enum InputBits : uint32_t {
  kInputUp = 0x1,
  kInputDown = 0x2,
  kInputLeft = 0x4,
  kInputRight = 0x8,
  kInputButtonE = 0x1000,
  kInputAction = 0x2000,
  kInputButtonQ = 0x4000,
  kInputButtonW = 0x8000,
  kInputSelect = 0x10000,   // menu accept
  kInputBack = 0x20000,     // menu back; pauses a game
  kInputPause = 0x40000,
  kInputExtra1 = 0x100000,
  kInputExtra2 = 0x400000,
};

// One rebindable key: the input bits it sets and its DirectInput key code.
struct InputBinding {
  uint32_t mask;
  uint32_t key;
};

class InputDevice {
 public:
  static constexpr int32_t kNumKeys = 19;
  // The pad buttons whose input bits the remap words give, in the remap's order.
  static constexpr uint32_t kRemappedPadButtons[4] = {0x1000, 0x4000, 0x8000, 0x2000};

  InputDevice();

  // Reads the keyboard through the bindings and the first pad through the remap: the held word
  // and the bits that went down since the last Update. Call once per game tick (or per frame in
  // the menus).
  void Update();

  // 1 when a bit of `mask` went down this tick for the local player. While the link runs it is
  // player 0's press on both machines, or the two machines would part at the first press.
  int32_t IsButtonPressed(uint32_t mask) const;
  // 1 while a bit of `mask` is held by player 0 or 1 (the local player's merged input, or the
  // exchanged records of that player while the link runs).
  int32_t IsPlayerButtonHeld(int32_t player, uint32_t mask) const;

  uint32_t LocalHeld() const { return m_held; }
  uint32_t LocalPressed() const { return m_pressed; }

  // The two-player link hands in both players' words for this tick; player 0 is the host.
  void SetLinkInput(const uint32_t held[2], const uint32_t pressed[2]);
  void ClearLinkInput() { m_linkActive = 0; }
  int32_t IsLinkActive() const { return m_linkActive; }

  // The 19 bindings (restored from the save profile) and their defaults.
  InputBinding* Bindings() { return m_bindings; }
  const InputBinding* Bindings() const { return m_bindings; }
  static const InputBinding* DefaultBindings();
  void ResetBindings();

  // Input bits that pad buttons 0x1000, 0x4000, 0x8000 and 0x2000 read as; games may rewrite
  // them each tick.
  uint32_t m_padRemap[4];
  // Each remapped button reads as its own bit again.
  void ResetPadRemap();

 private:
  uint32_t ReadKeyboard() const;
  uint32_t ReadPad() const;

  InputBinding m_bindings[kNumKeys];
  uint32_t m_held = 0;
  uint32_t m_pressed = 0;
  int32_t m_linkActive = 0;
  uint32_t m_linkHeld[2] = {};
  uint32_t m_linkPressed[2] = {};
};

// Until a player's own mapping is given (SetMapping), the first pad reads as its state word: each
// direction and button bit stands for itself. Without it the pad maps nothing at all, since
// BaseGamePad turns raw bits into game bits only through pairs. The program and each tool call
// this where they start; a mapping already set is kept.
void MapFirstPadToItsStateWord();

// The game's one input device while it exists.
InputDevice* GetInputDevice();
void SetInputDevice(InputDevice* device);
