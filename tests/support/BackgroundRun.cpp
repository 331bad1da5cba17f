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
