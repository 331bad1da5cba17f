#include <SDL.h>

#include "Platform/Gfx/D3D.h"
#include "Platform/Gfx/D3DDeviceGl.h"

namespace gfx {

namespace {
DeviceFaults s_noFaults;
DeviceFaults* s_faults = &s_noFaults;
bool s_skipPixelWork = false;
}  // namespace

DeviceFaults& GetDeviceFaults() { return *s_faults; }
void SetDeviceFaults(DeviceFaults* faults) { s_faults = faults ? faults : &s_noFaults; }

namespace TestHooks {

void SkipPixelWork(bool skip) { s_skipPixelWork = skip; }
bool PixelWorkSkipped() { return s_skipPixelWork; }

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
