#include "Engine/PC/PCFrameTimer.h"

#include "Engine/LogFile.h"
#include "Platform/System/System.h"

// The monotonic clock reads the same on every processor, so the thread is not pinned to the
// first processor around the read.

int32_t FrameTimer::Create(int32_t rate) {
  m_timeStep = 1.0f;
  m_targetRate = rate > 0 ? rate : 1;
  m_framesElapsed = 1;
  m_effectiveRate = m_targetRate;
  m_resync = 1;
  plat::System& system = plat::GetSystem();
  if (!system.QueryPerformanceFrequency(&m_frequency) || m_frequency <= 0) {
    m_frequency = 0;
    DebugLog().Write("Unable to create high resolution timer\n");
    return 0;
  }
  m_startMilliseconds = system.GetTickCount();
  system.QueryPerformanceCounter(&m_startCounter);
  m_callsSinceFrequency = 0;
  return 1;
}

int32_t FrameTimer::Tick() {
  if (m_frequency <= 0) return 0;
  plat::System& system = plat::GetSystem();
  int64_t now = 0;
  system.QueryPerformanceCounter(&now);
  if (++m_callsSinceFrequency >= 200) {
    int64_t frequency = 0;
    if (system.QueryPerformanceFrequency(&frequency) && frequency > 0) m_frequency = frequency;
    m_callsSinceFrequency = 0;
  }
  if (m_resync) {
    m_nextDue = now + m_frequency / m_targetRate;
    m_resync = 0;
  }
  // A counter that jumps against the tick clock would stall or race the game; while the two
  // disagree, every turn runs a frame.
  // Split so that a nanosecond counter does not overflow after months of running.
  const int64_t sinceStart = now - m_startCounter;
  int64_t counterMs = (sinceStart / m_frequency) * 1000 + (sinceStart % m_frequency) * 1000 / m_frequency;
  int32_t drift = static_cast<int32_t>(m_startMilliseconds + static_cast<uint32_t>(counterMs) -
                                       system.GetTickCount());
  if (drift < -100 || drift > 100) return 1;
  return now >= m_nextDue ? 1 : 0;
}

void FrameTimer::EndFrame() {
  if (m_frequency <= 0) return;
  // Created again during this frame (a restart after a load): the time the load took is not a
  // backlog of frames. The next Tick sets the next due time afresh.
  if (m_resync) {
    m_framesElapsed = 1;
    m_timeStep = 1.0f;
    m_effectiveRate = m_targetRate;
    return;
  }
  int64_t now = 0;
  plat::GetSystem().QueryPerformanceCounter(&now);
  int64_t period = m_frequency / m_targetRate;
  if (period <= 0) period = 1;
  int64_t frames = (now - m_nextDue) / period;
  if (frames < 1) frames = 1;
  // Beyond a second of backlog the count is only a report; keep it in range of the fields.
  if (frames > 0x7FFFFFFF) frames = 0x7FFFFFFF;
  m_timeStep = static_cast<float>(frames);
  m_framesElapsed = static_cast<int32_t>(frames);
  m_effectiveRate = m_targetRate / m_framesElapsed;
  m_nextDue += frames * period;
}
