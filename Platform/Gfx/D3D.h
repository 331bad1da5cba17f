#pragma once
// The Direct3D 9 object and device, rendered with OpenGL 3.3 core. The back buffer is a
// framebuffer object of the presentation size, stretched into the window at Present. The device
// is never lost by itself; TestHooks force a loss so that the engine's recovery path runs.

#include "Platform/Gfx/D3DTypes.h"

namespace gfx {

class D3DDevice {
 public:
  virtual ~D3DDevice() = default;
  // Release() destroys the device (the engine holds exactly one reference).
  void Release() { delete this; }

  virtual HRESULT GetDeviceCaps(D3DCAPS9* caps) = 0;
  virtual HRESULT TestCooperativeLevel() = 0;
  virtual HRESULT Reset(D3DPRESENT_PARAMETERS* params) = 0;
  virtual HRESULT Present(const void* sourceRect, const void* destRect, void* destWindow,
                          const void* dirtyRegion) = 0;
  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  virtual HRESULT Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, D3DCOLOR color,
                        float z, uint32_t stencil) = 0;
  virtual HRESULT SetViewport(const D3DVIEWPORT9* viewport) = 0;
  virtual HRESULT GetViewport(D3DVIEWPORT9* viewport) = 0;
  virtual HRESULT EvictManagedResources() = 0;

  // Reads the back buffer (bottom-up rows as stored are turned top-down): width × height
  // A8R8G8B8 pixels. For tests and screenshots.
  virtual HRESULT ReadBackBuffer(uint32_t* pixels, uint32_t width, uint32_t height) = 0;
};

class D3DObject {
 public:
  virtual ~D3DObject() = default;
  void Release() { delete this; }

  virtual uint32_t GetAdapterCount() = 0;
  virtual HRESULT GetAdapterIdentifier(uint32_t adapter, uint32_t flags,
                                       D3DADAPTER_IDENTIFIER9* identifier) = 0;
  virtual uint32_t GetAdapterModeCount(uint32_t adapter, D3DFORMAT format) = 0;
  virtual HRESULT EnumAdapterModes(uint32_t adapter, D3DFORMAT format, uint32_t mode,
                                   D3DDISPLAYMODE* out) = 0;
  virtual HRESULT CreateDevice(uint32_t adapter, D3DDEVTYPE type, void* focusWindow,
                               uint32_t behaviorFlags, D3DPRESENT_PARAMETERS* params,
                               D3DDevice** device) = 0;
};

// Direct3DCreate9: null when no OpenGL 3.3 core context can be had (or a test says so).
D3DObject* Direct3DCreate9(uint32_t sdkVersion);

// What a window needs so that CreateDevice can draw into it: call this before creating the
// window and add the result to the SDL window flags (it is SDL_WINDOW_OPENGL; the call also sets
// SDL's OpenGL context attributes, which some drivers read when the window is made).
uint32_t DeviceWindowFlags();

// Failure injection and inspection for tests.
namespace TestHooks {
// The next device(s) report D3DERR_DEVICELOST from Present and TestCooperativeLevel until reset;
// `resetFails` makes Reset answer D3DERR_DEVICELOST as well (so the engine creates a new device).
// While a Reset would succeed TestCooperativeLevel answers D3DERR_DEVICENOTRESET; with
// `resetFails` it answers D3DERR_DEVICELOST. A successful Reset or a new device ends the loss.
void ForceDeviceLost(bool resetFails);
// Direct3DCreate9 returns null while set.
void FailDirect3DCreate(bool fail);
// The next `count` CreateDevice calls with these behaviour flags fail (0 = any flags).
void FailCreateDevice(int count, uint32_t behaviorFlags);
// Devices report this vertex-shader version (0 = the real one, vs 1.1).
void SetReportedVertexShaderVersion(uint32_t version);
// Extra display modes listed by EnumAdapterModes in place of the real ones (for mode-list tests);
// count 0 restores the real list.
void SetDisplayModes(const D3DDISPLAYMODE* modes, uint32_t count);
// Number of live devices.
int LiveDeviceCount();
void ResetAll();
// A window a device can be created on (the SDL window, as a focus window), for tests that have
// no application window; null on failure. Destroy it after the devices on it.
void* CreateTestWindow(int32_t width, int32_t height);
void DestroyTestWindow(void* window);
// What the last Present put into the device's window, top row first, A8R8G8B8, at the window's
// size in pixels. Meaningful on drivers that keep the window's pixels after a swap (the
// offscreen one that headless runs use).
HRESULT ReadPresentedPixels(D3DDevice* device, uint32_t* pixels, uint32_t width, uint32_t height);
}  // namespace TestHooks

}  // namespace gfx
