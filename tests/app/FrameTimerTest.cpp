#include <gtest/gtest.h>

#include "Engine/PC/PCFrameTimer.h"
#include "Platform/System/ScriptedSystem.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

// 60,000 counts a second: one frame period at 60 Hz is exactly 1,000 counts (16.7 ms).
constexpr int64_t kFrequency = 60000;
constexpr int64_t kPeriod = 1000;

class FrameTimerTest : public TempDirTest {
 protected:
  void SetUp() override {
    m_system.Install();
    m_system.UseManualClock(true);
    m_system.SetFrequency(kFrequency);
    m_system.SetCounter(0);
    m_system.SetTickCount(5000);
  }
  // Moves both clocks on, so that they agree.
  void Advance(int64_t counts) {
    m_system.AdvanceCounter(counts);
    m_elapsed += counts;
    m_system.SetTickCount(5000 + static_cast<uint32_t>(m_elapsed * 1000 / kFrequency));
  }

  plat::ScriptedSystem m_system;
  FrameTimer m_timer;
  int64_t m_elapsed = 0;
};

TEST_F(FrameTimerTest, FirstTickIsNeverDueAndTheNextFrameComesOnePeriodLater) {
  ASSERT_EQ(m_timer.Create(60), 1);
  EXPECT_EQ(m_timer.GetFramesElapsed(), 1);
  EXPECT_EQ(m_timer.GetTimeStep(), 1.0f);
  EXPECT_EQ(m_timer.GetFrameRate(), 60);
  EXPECT_EQ(m_timer.Tick(), 0);
  Advance(kPeriod - 1);
  EXPECT_EQ(m_timer.Tick(), 0);
  Advance(1);
  EXPECT_EQ(m_timer.Tick(), 1);
  m_timer.EndFrame();  // ends exactly when due
  EXPECT_EQ(m_timer.GetFramesElapsed(), 1);
  EXPECT_EQ(m_timer.GetNextDue(), 2 * kPeriod);
}

TEST_F(FrameTimerTest, RatesBelowOneRunAtOneFrameASecond) {
  for (int32_t rate : {0, -5}) {
    ASSERT_EQ(m_timer.Create(rate), 1);
    EXPECT_EQ(m_timer.GetFrameRate(), 1) << rate;
    m_timer.Tick();
    EXPECT_EQ(m_timer.GetNextDue(), m_elapsed + kFrequency) << rate;
  }
}

TEST_F(FrameTimerTest, ALateFrameReportsWholePeriodsAndTheNextIsDueAtOnce) {
  m_timer.Create(60);
  m_timer.Tick();
  Advance(kPeriod);
  ASSERT_EQ(m_timer.Tick(), 1);
  Advance(kPeriod * 5 / 2);  // the frame took 2.5 periods past its due time
  m_timer.EndFrame();
  EXPECT_EQ(m_timer.GetFramesElapsed(), 2);
  EXPECT_EQ(m_timer.GetTimeStep(), 2.0f);
  EXPECT_EQ(m_timer.GetFrameRate(), 30);
  EXPECT_EQ(m_timer.GetNextDue(), 3 * kPeriod);
  EXPECT_EQ(m_timer.Tick(), 1) << "half a period is already past the new due time";
}

TEST_F(FrameTimerTest, PeriodIsTruncatedToWholeCounts) {
  m_system.SetFrequency(1000);  // 1000 / 60 = 16.67: due times move by 16
  m_timer.Create(60);
  m_timer.Tick();
  EXPECT_EQ(m_timer.GetNextDue(), 16);
  m_system.AdvanceCounter(16);
  ASSERT_EQ(m_timer.Tick(), 1);
  m_timer.EndFrame();
  EXPECT_EQ(m_timer.GetNextDue(), 32);
  m_system.SetFrequency(0);  // a later reading of no rate keeps the one the timer has
  for (int i = 0; i < 200; ++i) EXPECT_EQ(m_timer.Tick(), 0);
}

TEST_F(FrameTimerTest, ClocksThatDisagreeMakeEveryTickDue) {
  m_timer.Create(60);
  m_timer.Tick();
  m_system.AdvanceTickCount(101);  // the tick clock ran on, the counter did not
  EXPECT_EQ(m_timer.Tick(), 1);
  m_system.SetTickCount(5000 - 101);
  EXPECT_EQ(m_timer.Tick(), 1);
  m_system.SetTickCount(5000 + 100);
  EXPECT_EQ(m_timer.Tick(), 0) << "100 ms is still agreement";
}

TEST_F(FrameTimerTest, RestartDuringAFrameReportsNoBacklog) {
  m_timer.Create(60);
  m_timer.Tick();
  Advance(kPeriod);
  ASSERT_EQ(m_timer.Tick(), 1);
  Advance(kFrequency * 3 / 40);  // a load of 75 ms inside the frame...
  m_timer.Create(60);               // ...after which the game restarts the pacing
  m_timer.EndFrame();
  EXPECT_EQ(m_timer.GetFramesElapsed(), 1);
  EXPECT_EQ(m_timer.GetTimeStep(), 1.0f);
  EXPECT_EQ(m_timer.Tick(), 0);
  Advance(kPeriod);
  EXPECT_EQ(m_timer.Tick(), 1);
}

TEST_F(FrameTimerTest, NoCounterMeansNoTimer) {
  m_system.SetFrequencyFails(true);
  EXPECT_EQ(m_timer.Create(60), 0);
  EXPECT_TRUE(DebugLogContains("Unable to create high resolution timer"));
  EXPECT_EQ(m_timer.Tick(), 0);
  m_timer.EndFrame();  // harmless
}

}  // namespace
