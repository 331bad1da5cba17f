#pragma once
// Paces the program at a fixed frame rate on the high-resolution counter. The frame driver asks
// Tick on every idle turn whether a frame is due and closes each frame with EndFrame, which
// publishes how many whole periods the frame took (the games' time step).

#include <cstdint>

class FrameTimer {
 public:
  // Starts (or restarts) pacing at `rate` frames per second. 0 when there is no counter.
  int32_t Create(int32_t rate);
  // 1 when a frame is due.
  int32_t Tick();
  // Closes the frame that Tick reported due.
  void EndFrame();

  float GetTimeStep() const { return m_timeStep; }
  int32_t GetFramesElapsed() const { return m_framesElapsed; }
  int32_t GetFrameRate() const { return m_effectiveRate; }
  int32_t GetTargetRate() const { return m_targetRate; }
  int64_t GetFrequency() const { return m_frequency; }
  int64_t GetNextDue() const { return m_nextDue; }

 private:
  int64_t m_frequency = 0;
  int64_t m_nextDue = 0;
  int64_t m_startCounter = 0;
  uint32_t m_startMilliseconds = 0;
  int32_t m_effectiveRate = 0;
  int32_t m_targetRate = 0;
  float m_timeStep = 1.0f;
  int32_t m_framesElapsed = 1;
  int32_t m_resync = 0;
  uint32_t m_callsSinceFrequency = 0;
};
