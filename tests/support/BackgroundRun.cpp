#include "tests/support/BackgroundRun.h"

#include "tests/support/LogCapture.h"

BackgroundRun RunTenSeconds(AppHarness& harness, bool away, const std::function<void(int)>& frames,
                            const std::function<void()>& atTheEnd) {
  BackgroundRun run;
  const size_t linesBefore = ReadCrLfLines("Debug.log").size();
  {
    AssertCounter reports;
    if (away) harness.system().QueueEvent(plat::WindowEventType::ActivateApp, 0);
    frames(600);
    run.reports = reports.Count();
  }
  run.logLines = ReadCrLfLines("Debug.log").size() - linesBefore;
  atTheEnd();
  if (away) harness.system().QueueEvent(plat::WindowEventType::ActivateApp, 1);
  gfx::D3DDevice* device = harness.app().GetDisplay()->GetDevice();
  device->ResetCallCounts();
  frames(1);
  run.drawsAfter = device->GetCallCount(gfx::DeviceCall::DrawPrimitive) +
                   device->GetCallCount(gfx::DeviceCall::DrawPrimitiveUP) +
                   device->GetCallCount(gfx::DeviceCall::DrawIndexedPrimitive);
  return run;
}

::testing::AssertionResult LeftNothingBehind(const BackgroundRun& away,
                                             const BackgroundRun& watched) {
  if (away.reports != 0 || away.logLines != 0)
    return ::testing::AssertionFailure()
           << away.reports << " reports and " << away.logLines << " log lines while away";
  if (watched.drawsAfter == 0) return ::testing::AssertionFailure() << "nothing drawn to compare";
  if (away.drawsAfter != watched.drawsAfter)
    return ::testing::AssertionFailure() << "the frame back made " << away.drawsAfter
                                         << " draws, the same frame watched " << watched.drawsAfter;
  return ::testing::AssertionSuccess();
}
