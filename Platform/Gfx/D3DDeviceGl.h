#pragma once
// The Direct3D 9 device over an OpenGL 3.3 core context. It is built in layers that the
// renderer's additions (render states, textures, buffers, shaders, draws) slot into:
//   GlContext   the context on the window, making it current, swapping;
//   GlState     the GL state as really set, so borrowed state never goes stale;
//   BackBuffer  the framebuffer object that stands for Direct3D's back buffer;
//   this class  Direct3D's rules: argument checks, scenes, viewports, loss and reset.
// State that Direct3D keeps (viewport now; render states later) is stored here as Direct3D
// values and turned into GL when it is set or, for draw state, when a draw needs it.
//
// Coordinates: Direct3D rectangles have their origin top-left; the back buffer is stored the
// GL way, bottom row first, so rectangles are turned around with the target's height
// (ToGlRect). Direct3D 9 also puts pixel centres on integer coordinates, half a pixel from
// GL's; Clear does not care, but the drawing code must shift positions by half a pixel so that
// screen-space quads cover exactly the pixels Direct3D would.

#include <SDL.h>

#include "Platform/Gfx/BackBuffer.h"
#include "Platform/Gfx/D3D.h"
#include "Platform/Gfx/GlContext.h"
#include "Platform/Gfx/GlState.h"

namespace gfx {

class D3DDeviceGl final : public D3DDevice {
 public:
  // Makes the context on the presentation window (params->hDeviceWindow, else the focus
  // window) and the back buffer. Writes the sizes and formats it settled on back into params,
  // as Direct3D does. The result of a failure says why; *device is null then.
  static HRESULT Create(SDL_Window* focusWindow, uint32_t behaviorFlags,
                        D3DPRESENT_PARAMETERS* params, D3DDevice** device);
  ~D3DDeviceGl() override;

  HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
  HRESULT TestCooperativeLevel() override;
  HRESULT Reset(D3DPRESENT_PARAMETERS* params) override;
  HRESULT Present(const void* sourceRect, const void* destRect, void* destWindow,
                  const void* dirtyRegion) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, D3DCOLOR color, float z,
                uint32_t stencil) override;
  HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
  HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
  HRESULT EvictManagedResources() override;
  HRESULT ReadBackBuffer(uint32_t* pixels, uint32_t width, uint32_t height) override;

  // What the last Present put into the window (for tests; drivers that keep the window's
  // pixels after a swap, such as the offscreen one, show the presented frame).
  HRESULT ReadWindow(uint32_t* pixels, uint32_t width, uint32_t height);

 private:
  D3DDeviceGl(SDL_Window* focusWindow, uint32_t behaviorFlags);

  HRESULT Init(D3DPRESENT_PARAMETERS* params);
  // Checks presentation parameters and fills in what Direct3D fills in (window-sized back
  // buffer for 0, the desktop format for unknown, one back buffer for 0).
  HRESULT ResolvePresentation(D3DPRESENT_PARAMETERS* params, SDL_Window** window) const;
  // Takes the resolved parameters in: swap interval, window mode, and the state Direct3D
  // resets with the device (the viewport covers the new back buffer).
  void ApplyPresentation(const D3DPRESENT_PARAMETERS& params);
  void FillCaps();

  // Makes this device's context current; false when its window is gone.
  bool Bind();
  // The surface drawing goes to; only the back buffer until render targets arrive.
  void BindRenderTarget();
  int TargetWidth() const { return backBuffer_.Width(); }
  int TargetHeight() const { return backBuffer_.Height(); }
  GlRect ToGlRect(int x, int y, int width, int height) const;
  void ApplyViewport();

  SDL_Window* focusWindow_;
  uint32_t behaviorFlags_;
  bool videoStarted_ = false;
  GlContext context_;
  GlState state_;
  BackBuffer backBuffer_;
  D3DPRESENT_PARAMETERS params_{};
  bool depthHasStencil_ = false;
  D3DCAPS9 caps_{};
  D3DVIEWPORT9 viewport_{};
  bool inScene_ = false;
};

}  // namespace gfx
