#pragma once
// What the benchmarks measure with: the main thread's CPU clock (the frame pacing's sleeps do not
// count), the tracked allocations so far, and the demo data for those that run the game side.

#include <ctime>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Engine/MemoryTracker.h"

inline double ThreadCpuMs() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) * 1e-6;
}

inline uint32_t AllocationsSoFar() {
  return MemoryTracker::GetStatistics().accumulatedAllocUnitCount;
}

#if defined(PENDRAKE_DATAGEN)
// Writes the demo data into the working folder with the generator.
inline bool WriteDemoData() {
  const std::string command = std::string(PENDRAKE_DATAGEN) + " . > /dev/null";
  return std::system(command.c_str()) == 0;
}
#endif
