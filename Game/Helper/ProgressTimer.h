#pragma once
// A tick counter for fades and short waits: the value runs from 0 up to the duration, one step
// per tick. Fades read Fraction(), the way through (0..1), and the direction says which way the
// fade goes.

#include <cstdint>

class ProgressTimer {
 public:
  // Direction 0 counts a fade down, 1 up. A duration not above 0 becomes 1 tick, so that a
  // timer always finishes.
  void Start(int32_t direction, float duration) {
    m_direction = direction;
    m_duration = duration > 0.0f ? duration : 1.0f;
    m_value = 0.0f;
    m_running = 1;
  }
  void Update(float step) {
    if (!m_running) return;
    m_value += step;
    if (m_value >= m_duration) {
      m_value = m_duration;
      m_running = 0;
    }
  }
  int32_t IsFinished() const { return m_value == m_duration ? 1 : 0; }
  int32_t IsRunning() const { return m_running; }
  // How far the timer has run, 0..1.
  float Progress() const { return m_duration > 0.0f ? m_value / m_duration : 1.0f; }
  // The fade level: rises 0..1 when counting up, falls 1..0 when counting down.
  float Fraction() const { return m_direction ? Progress() : 1.0f - Progress(); }

  float m_value = 0.0f;
  float m_duration = 1.0f;
  int32_t m_direction = 1;
  int32_t m_running = 0;
};
