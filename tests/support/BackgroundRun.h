#pragma once
// Ten seconds of a running game spent with the program in the background (another window has
// the focus), or in front for comparison: what they add to the log, and what the frame after
// them draws.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>

#include "tests/support/AppHarness.h"

struct BackgroundRun {
  unsigned reports = 0;     // assertion reports raised during the ten seconds
  size_t logLines = 0;      // lines they added to Debug.log
  uint32_t drawsAfter = 0;  // draw calls of the first frame after them
};

// `frames(n)` runs n frames of the caller's fixture; `atTheEnd` runs after the 600 frames of the
// ten seconds, before the program is given the focus back.
BackgroundRun RunTenSeconds(AppHarness& harness, bool away, const std::function<void(int)>& frames,
                            const std::function<void()>& atTheEnd);

// Whether the run away raised no report, wrote no log line, and drew in the frame after it what
// the run watched throughout drew in its own.
::testing::AssertionResult LeftNothingBehind(const BackgroundRun& away,
                                             const BackgroundRun& watched);
