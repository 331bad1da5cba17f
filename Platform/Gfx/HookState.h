#pragma once
// What the test hooks of D3D.h have set, read by the object and the devices. Private to Gfx.

#include <vector>

#include "Platform/Gfx/D3DTypes.h"

namespace gfx::hooks {

struct State {
  bool failDirect3DCreate = false;
  int failCreateDeviceCount = 0;
  uint32_t failCreateDeviceFlags = 0;  // 0: any flags
  uint32_t reportedVertexShaderVersion = 0;  // 0: the real one
  bool displayModesReplaced = false;
  std::vector<D3DDISPLAYMODE> displayModes;
  // A forced loss holds for every device until a Reset succeeds or a device is created.
  bool deviceLost = false;
  bool resetFails = false;
  int liveDevices = 0;
  int peakLiveDevices = 0;  // since the last ResetAll
};

State& Get();

// True when this CreateDevice call is one of those a test asked to fail (uses it up).
bool TakeCreateDeviceFailure(uint32_t behaviorFlags);

}  // namespace gfx::hooks
