#include "Engine/Input.h"

#include <cstring>

#include "Engine/MemoryTracker.h"

BaseGamePad* g_gamePad = nullptr;

namespace {

uint8_t ClampStrength(int32_t strength) {
  if (strength < 0) return 0;
  if (strength > 255) return 255;
  return static_cast<uint8_t>(strength);
}

}  // namespace

BaseGamePad::BaseGamePad() {
  std::memset(m_rawCurrent, 0, sizeof(m_rawCurrent));
  std::memset(m_rawPrevious, 0, sizeof(m_rawPrevious));
  std::memset(m_rawPressed, 0, sizeof(m_rawPressed));
  std::memset(m_rawReleased, 0, sizeof(m_rawReleased));
  std::memset(m_analog, 0, sizeof(m_analog));
  std::memset(m_analogMode, 0, sizeof(m_analogMode));
  std::memset(m_mappedCurrent, 0, sizeof(m_mappedCurrent));
  std::memset(m_mappedPrevious, 0, sizeof(m_mappedPrevious));
  std::memset(m_mappedPressed, 0, sizeof(m_mappedPressed));
  std::memset(m_mappedReleased, 0, sizeof(m_mappedReleased));
  std::memset(m_pairCount, 0, sizeof(m_pairCount));
  std::memset(m_motor1Timer, 0, sizeof(m_motor1Timer));
  std::memset(m_motor2Timer, 0, sizeof(m_motor2Timer));
  std::memset(m_motor1Strength, 0, sizeof(m_motor1Strength));
  std::memset(m_motor2Strength, 0, sizeof(m_motor2Strength));
  std::memset(m_spare, 0, sizeof(m_spare));
  // Rumble is on until the game's settings say otherwise: a game that never touches the option
  // still gets its effects.
  for (int pad = 0; pad < kMaxPads; ++pad) m_rumbleEnabled[pad] = 1;
}

BaseGamePad::~BaseGamePad() {
  // Someone deleting the global object directly (not through Shutdown) must not leave the
  // pointer dangling for the next frame's caller.
  if (g_gamePad == this) g_gamePad = nullptr;
}

void BaseGamePad::Shutdown() {
  BaseGamePad* pad = g_gamePad;
  g_gamePad = nullptr;
  if (!pad) return;
  TrackedDelete("BaseGamePad::Shutdown", pad);
}

// The mapping step of a frame: runs after the platform has read its devices into the raw masks.
void BaseGamePad::Update() {
  for (int32_t pad = 0; pad < kMaxPads; ++pad) {
    if (!IsConnected(pad)) continue;
    if (m_pairCount[pad] == 0) {
      m_mappedCurrent[pad] = 0;
      m_mappedPrevious[pad] = 0;
      m_mappedPressed[pad] = 0;
      m_mappedReleased[pad] = 0;
      continue;
    }
    uint32_t raw = m_rawCurrent[pad];
    uint32_t mapped = 0;
    for (int i = 0; i < m_pairCount[pad]; ++i) {
      if (m_pairs[pad][i].rawMask & raw) mapped |= m_pairs[pad][i].gameBits;
    }
    uint32_t previous = m_mappedCurrent[pad];
    m_mappedPrevious[pad] = previous;
    m_mappedCurrent[pad] = mapped;
    m_mappedPressed[pad] = (mapped ^ previous) & mapped;
    m_mappedReleased[pad] = (mapped ^ previous) & previous;
  }
}

void BaseGamePad::SetMapping(int32_t pad, int32_t pairCount, const GamePadMappingPair* pairs) {
  if (!Valid(pad)) return;
  if (!pairs || pairCount < 0) pairCount = 0;
  if (pairCount > kMaxMappingPairs) pairCount = kMaxMappingPairs;
  for (int32_t i = 0; i < pairCount; ++i) m_pairs[pad][i] = pairs[i];
  m_pairCount[pad] = static_cast<uint8_t>(pairCount);
}

void BaseGamePad::ClearEdges() {
  std::memset(m_rawPressed, 0, sizeof(m_rawPressed));
  std::memset(m_rawReleased, 0, sizeof(m_rawReleased));
  std::memset(m_mappedPressed, 0, sizeof(m_mappedPressed));
  std::memset(m_mappedReleased, 0, sizeof(m_mappedReleased));
}

bool BaseGamePad::TickRumbleTimers(int32_t pad) {
  if (!Valid(pad)) return false;
  bool stopped = false;
  if (m_motor1Timer[pad] != 0 && --m_motor1Timer[pad] == 0) {
    m_motor1Strength[pad] = 0;
    stopped = true;
  }
  if (m_motor2Timer[pad] != 0 && --m_motor2Timer[pad] == 0) {
    m_motor2Strength[pad] = 0;
    stopped = true;
  }
  return stopped;
}

void BaseGamePad::SetMotor1(int32_t pad, int32_t strength, int32_t frames) {
  if (!Valid(pad)) return;
  if (frames > m_motor1Timer[pad]) m_motor1Timer[pad] = frames;
  m_motor1Strength[pad] = m_motor1Timer[pad] != 0 ? ClampStrength(strength) : 0;
  SetRumble(pad);
}

void BaseGamePad::SetMotor2(int32_t pad, int32_t strength, int32_t frames) {
  if (!Valid(pad)) return;
  if (frames > m_motor2Timer[pad]) m_motor2Timer[pad] = frames;
  m_motor2Strength[pad] = m_motor2Timer[pad] != 0 ? ClampStrength(strength) : 0;
  SetRumble(pad);
}

void BaseGamePad::SetBothMotors(int32_t pad, int32_t strength, int32_t frames) {
  if (!Valid(pad)) return;
  if (frames > m_motor1Timer[pad]) m_motor1Timer[pad] = frames;
  m_motor1Strength[pad] = m_motor1Timer[pad] != 0 ? ClampStrength(strength) : 0;
  if (frames > m_motor2Timer[pad]) m_motor2Timer[pad] = frames;
  m_motor2Strength[pad] = m_motor2Timer[pad] != 0 ? ClampStrength(strength) : 0;
  SetRumble(pad);
}

void BaseGamePad::StopMotor1(int32_t pad) {
  if (!Valid(pad)) return;
  m_motor1Timer[pad] = 0;
  m_motor1Strength[pad] = 0;
  SetRumble(pad);
}

void BaseGamePad::StopMotor2(int32_t pad) {
  if (!Valid(pad)) return;
  m_motor2Timer[pad] = 0;
  m_motor2Strength[pad] = 0;
  SetRumble(pad);
}

void BaseGamePad::StopPad(int32_t pad) {
  if (!Valid(pad)) return;
  m_motor1Timer[pad] = 0;
  m_motor2Timer[pad] = 0;
  m_motor1Strength[pad] = 0;
  m_motor2Strength[pad] = 0;
  SetRumble(pad);
}

void BaseGamePad::StopAll() {
  for (int32_t pad = 0; pad < kMaxPads; ++pad) {
    if (IsConnected(pad)) StopPad(pad);
  }
}

void BaseGamePad::EnableRumble(int32_t flag) {
  if (flag == 0) {
    // The silence goes out while the pads still accept it: once the flag is 0 SetRumble sends
    // nothing, and a motor that was running would go on running until the program ends.
    for (int32_t pad = 0; pad < kMaxPads; ++pad) {
      m_motor1Timer[pad] = 0;
      m_motor2Timer[pad] = 0;
      m_motor1Strength[pad] = 0;
      m_motor2Strength[pad] = 0;
      SetRumble(pad);
    }
  }
  for (int32_t pad = 0; pad < kMaxPads; ++pad) m_rumbleEnabled[pad] = flag;
}
