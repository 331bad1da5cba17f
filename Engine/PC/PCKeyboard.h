#pragma once
// Keyboard and mouse on the PC, read once per due frame through the DirectInput-shaped platform
// devices. Keys are indexed by DirectInput scan code (0..255). The game side reads the arrays
// and fields directly, through the application's keyboard and mouse addresses.

#include <cstdint>

#include "Platform/Input/Input.h"

class Keyboard {
 public:
  static constexpr int kKeyCount = 256;

  Keyboard();
  ~Keyboard();
  Keyboard(const Keyboard&) = delete;
  Keyboard& operator=(const Keyboard&) = delete;

  // 1 when the device exists and is acquired. A device that exists but cannot be acquired yet is
  // kept (0 is returned): Poll acquires it later.
  int32_t Create(plat::DirectInput* directInput);
  // One frame: reads the device and updates the four arrays; a read that fails (or no device at
  // all) leaves every key up with no edges.
  void Poll();
  // The array step of a successful read, from the raw state of the last read.
  void UpdateKeys();
  // A frame without a read: held keys stay held, but nothing went down or came up.
  void ClearEdges();
  // Gives the device back (safe to repeat).
  void Release();

  int32_t IsKeyDown(int key) const { return Valid(key) ? m_current[key] : 0; }
  int32_t WasKeyPressed(int key) const { return Valid(key) ? m_pressed[key] : 0; }
  int32_t WasKeyReleased(int key) const { return Valid(key) ? m_released[key] : 0; }
  int32_t WasKeyDown(int key) const { return Valid(key) ? m_previous[key] : 0; }

  plat::KeyboardDevice* m_device = nullptr;
  uint32_t m_layout = 0;     // keyboard layout handle of the thread
  uint16_t m_language = 0;   // its low 16 bits
  int32_t m_current[kKeyCount];
  int32_t m_previous[kKeyCount];
  int32_t m_pressed[kKeyCount];
  int32_t m_released[kKeyCount];

 private:
  static bool Valid(int key) { return key >= 0 && key < kKeyCount; }
  void ClearArrays();

  plat::DirectInput* m_directInput = nullptr;  // asked for the Pause key
  uint8_t m_raw[kKeyCount];
};

class Mouse {
 public:
  // Re-acquisitions tried in one Poll while the device keeps answering "input lost".
  static constexpr int kMaxAcquireRetries = 8;

  Mouse() = default;
  ~Mouse();
  Mouse(const Mouse&) = delete;
  Mouse& operator=(const Mouse&) = delete;

  // 1 on success; on 0 the device pointer stays as created (null only when creation failed).
  int32_t Create(plat::DirectInput* directInput);
  // One frame: motion and buttons, or the last frame's values when the read fails.
  void Poll();
  // Unacquires and gives the device back, clearing the pointer (safe to repeat).
  void Release();

  plat::MouseDevice* m_device = nullptr;
  int32_t m_xMotion = 0;  // mouse counts since the last read, not screen positions
  int32_t m_yMotion = 0;
  int32_t m_leftButton = 0;
  int32_t m_rightButton = 0;
};
