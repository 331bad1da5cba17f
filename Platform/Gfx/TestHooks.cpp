#include <SDL.h>

#include "Platform/Gfx/D3D.h"
#include "Platform/Gfx/D3DDeviceGl.h"
#include "Platform/Gfx/HookState.h"

namespace gfx {

namespace hooks {

State& Get() {
  static State state;
  return state;
}

bool TakeCreateDeviceFailure(uint32_t behaviorFlags) {
  State& state = Get();
  if (state.failCreateDeviceCount <= 0) return false;
  if (state.failCreateDeviceFlags != 0 && state.failCreateDeviceFlags != behaviorFlags)
    return false;
  --state.failCreateDeviceCount;
  return true;
}

}  // namespace hooks

namespace TestHooks {

void ForceDeviceLost(bool resetFails) {
  hooks::Get().deviceLost = true;
  hooks::Get().resetFails = resetFails;
}

void FailDirect3DCreate(bool fail) { hooks::Get().failDirect3DCreate = fail; }

void FailCreateDevice(int count, uint32_t behaviorFlags) {
  hooks::Get().failCreateDeviceCount = count;
  hooks::Get().failCreateDeviceFlags = behaviorFlags;
}

void SetReportedVertexShaderVersion(uint32_t version) {
  hooks::Get().reportedVertexShaderVersion = version;
}

void SetDisplayModes(const D3DDISPLAYMODE* modes, uint32_t count) {
  hooks::State& state = hooks::Get();
  state.displayModes.clear();
  state.displayModesReplaced = modes != nullptr && count > 0;
  if (state.displayModesReplaced) state.displayModes.assign(modes, modes + count);
}

int LiveDeviceCount() { return hooks::Get().liveDevices; }
int PeakLiveDeviceCount() { return hooks::Get().peakLiveDevices; }

void ResetAll() {
  hooks::State& state = hooks::Get();
  const int live = state.liveDevices;
  state = hooks::State{};
  state.liveDevices = live;
  state.peakLiveDevices = live;
}

void* CreateTestWindow(int32_t width, int32_t height) {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
  const uint32_t flags = DeviceWindowFlags();
  SDL_Window* window = SDL_CreateWindow("gfx test", SDL_WINDOWPOS_UNDEFINED,
                                        SDL_WINDOWPOS_UNDEFINED, width, height, flags);
  if (!window) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return window;
}

void DestroyTestWindow(void* window) {
  if (!window) return;
  SDL_DestroyWindow(static_cast<SDL_Window*>(window));
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

HRESULT ReadPresentedPixels(D3DDevice* device, uint32_t* pixels, uint32_t width, uint32_t height) {
  if (!device) return D3DERR_INVALIDCALL;
  return static_cast<D3DDeviceGl*>(device)->ReadWindow(pixels, width, height);
}

}  // namespace TestHooks

}  // namespace gfx
