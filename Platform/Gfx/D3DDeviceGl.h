#pragma once
// The Direct3D 9 device over an OpenGL 3.3 core context. It is built in layers that the
// renderer's additions (render states, textures, buffers, shaders, draws) slot into:
//   GlContext   the context on the window, making it current, swapping;
//   GlState     the GL state as really set, so borrowed state never goes stale;
//   BackBuffer  the framebuffer object that stands for Direct3D's back buffer;
//   this class  Direct3D's rules: argument checks, scenes, viewports, loss and reset.
// State that Direct3D keeps (viewport, render states) is stored here as Direct3D values and
// turned into GL when it is set or, for draw state, when a draw needs it.
//
// Coordinates: Direct3D rectangles have their origin top-left; every target, the back buffer
// included, is stored top row first, so they reach GL unturned (ToGlRect) and only Present
// turns the picture over into the window. Direct3D 9 also puts pixel centres on integer
// coordinates, half a pixel from GL's; Clear does not care, but the drawing code must shift
// positions by half a pixel so that screen-space quads cover exactly the pixels Direct3D would.

#include <SDL.h>

#include <memory>

#include "Platform/Gfx/BackBuffer.h"
#include "Platform/Gfx/D3D.h"
#include "Platform/Gfx/GlContext.h"
#include "Platform/Gfx/GlState.h"

namespace gfx {

struct DrawRequest;
class DrawState;    // render states, stages, samplers, buffers, declarations, programs, draws
class TargetState;  // render targets, depth-stencil surfaces, StretchRect

// What the device's resources share with it: the count of live DEFAULT-pool resources (Reset is
// refused while any is alive). Resources keep it alive beyond the device.
struct DeviceShared {
  int32_t liveDefaultPool = 0;
  bool deviceAlive = true;
};

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

  // Resources (buffers and declarations: D3DDeviceGlDraw.cpp; textures and surfaces:
  // D3DDeviceGlTargets.cpp; shaders: D3DDeviceGlShaders.cpp).
  HRESULT CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, D3DPOOL pool,
                             D3DVertexBuffer** buffer) override;
  HRESULT CreateIndexBuffer(uint32_t length, uint32_t usage, D3DFORMAT format, D3DPOOL pool,
                            D3DIndexBuffer** buffer) override;
  HRESULT CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                        D3DFORMAT format, D3DPOOL pool, D3DTexture** texture) override;
  HRESULT CreateDepthStencilSurface(uint32_t width, uint32_t height, D3DFORMAT format,
                                    D3DMULTISAMPLE_TYPE multiSample, uint32_t quality,
                                    int32_t discard, D3DSurface** surface) override;
  HRESULT CreateOffscreenPlainSurface(uint32_t width, uint32_t height, D3DFORMAT format,
                                      D3DPOOL pool, D3DSurface** surface,
                                      void* sharedHandle) override;
  HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                  D3DVertexDeclaration** declaration) override;
  HRESULT CreateVertexShader(const uint32_t* function, D3DVertexShader** shader) override;

  // Pipeline state and drawing (D3DDeviceGlDraw.cpp).
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, uint32_t* value) override;
  HRESULT SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type,
                               uint32_t value) override;
  HRESULT GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type,
                               uint32_t* value) override;
  HRESULT SetSamplerState(uint32_t sampler, D3DSAMPLERSTATETYPE type, uint32_t value) override;
  HRESULT GetSamplerState(uint32_t sampler, D3DSAMPLERSTATETYPE type, uint32_t* value) override;
  HRESULT SetTexture(uint32_t stage, D3DTexture* texture) override;
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
  HRESULT SetVertexDeclaration(D3DVertexDeclaration* declaration) override;
  HRESULT SetFVF(uint32_t fvf) override;
  HRESULT SetVertexShader(D3DVertexShader* shader) override;
  HRESULT SetVertexShaderConstantF(uint32_t startRegister, const float* data,
                                   uint32_t vector4fCount) override;
  HRESULT SetStreamSource(uint32_t stream, D3DVertexBuffer* buffer, uint32_t offsetBytes,
                          uint32_t stride) override;
  HRESULT SetIndices(D3DIndexBuffer* indices) override;
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t startVertex,
                        uint32_t primitiveCount) override;
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, uint32_t primitiveCount, const void* vertexData,
                          uint32_t stride) override;
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int32_t baseVertexIndex, uint32_t minIndex,
                               uint32_t numVertices, uint32_t startIndex,
                               uint32_t primitiveCount) override;

  // Targets (D3DDeviceGlTargets.cpp).
  HRESULT GetBackBuffer(uint32_t swapChain, uint32_t index, D3DBACKBUFFER_TYPE type,
                        D3DSurface** surface) override;
  HRESULT SetRenderTarget(uint32_t index, D3DSurface* surface) override;
  HRESULT GetRenderTarget(uint32_t index, D3DSurface** surface) override;
  HRESULT SetDepthStencilSurface(D3DSurface* surface) override;
  HRESULT GetDepthStencilSurface(D3DSurface** surface) override;
  HRESULT StretchRect(D3DSurface* source, const RECT* sourceRect, D3DSurface* dest,
                      const RECT* destRect, D3DTEXTUREFILTERTYPE filter) override;
  HRESULT UpdateTexture(D3DTexture* source, D3DTexture* dest) override;
  HRESULT GetRenderTargetData(D3DSurface* renderTarget, D3DSurface* destSurface) override;
  int32_t LiveDefaultPoolResources() override { return shared_->liveDefaultPool; }

  // For the device's parts.
  const std::shared_ptr<DeviceShared>& Shared() const { return shared_; }
  GlState& State() { return state_; }
  BackBuffer& GetBackBufferObject() { return backBuffer_; }
  DrawState& Draw() { return *draw_; }
  TargetState& Targets() { return *targets_; }
  // Makes this device's context current (resources call it before touching GL, since another
  // device's context may be current); false when its window is gone.
  bool MakeCurrent();

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

  // Binds the surface drawing goes to: the current render target, the back buffer by default.
  void BindRenderTarget();
  // The current render target's size (D3DDeviceGlTargets.cpp).
  int TargetWidth() const;
  int TargetHeight() const;
  GlRect ToGlRect(int x, int y, int width, int height) const;
  void ApplyViewport();
  // The common part of the three draws: the context, the target and the viewport, then the draw.
  HRESULT SubmitDraw(const DrawRequest& request);

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
  std::shared_ptr<DeviceShared> shared_ = std::make_shared<DeviceShared>();
  std::unique_ptr<DrawState> draw_;
  std::unique_ptr<TargetState> targets_;
};

}  // namespace gfx
