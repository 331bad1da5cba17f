#include "Platform/Gfx/D3DDeviceGl.h"

#include <algorithm>
#include <cstdint>

#include "Platform/Gfx/DrawState.h"
#include "Platform/Gfx/GfxLog.h"
#include "Platform/Gfx/TargetState.h"

namespace gfx {

namespace {

constexpr uint32_t kMaxBackBuffers = 3;
// Textures larger than a Direct3D 9 part of the vs.1.1 era offered would only invite content
// that the original never had to handle.
constexpr int kMaxReportedTextureSize = 4096;
constexpr uint32_t kMaxVertexShaderConstants = 256;

bool IsBackBufferFormat(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A2R10G10B10:
      return true;
    default:
      return false;
  }
}

// Every depth format is backed by a 24/8 renderbuffer; only the stencil bits Direct3D would
// give decide whether stencil may be cleared.
bool IsDepthFormat(D3DFORMAT format, bool* hasStencil) {
  switch (format) {
    case D3DFMT_D15S1:
    case D3DFMT_D24S8:
    case D3DFMT_D24X4S4:
      *hasStencil = true;
      return true;
    case D3DFMT_D16_LOCKABLE:
    case D3DFMT_D32:
    case D3DFMT_D24X8:
    case D3DFMT_D16:
      *hasStencil = false;
      return true;
    default:
      *hasStencil = false;
      return false;
  }
}

int SwapIntervalFor(uint32_t presentationInterval) {
  if (presentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE) return 0;
  if (presentationInterval == D3DPRESENT_INTERVAL_DEFAULT) return 1;
  return static_cast<int>(std::min<uint32_t>(presentationInterval, 4));
}

// Devices alive now and at most, for tests that check the engine never holds two.
int s_liveDevices = 0;
int s_peakLiveDevices = 0;

float ColorChannel(D3DCOLOR color, int shift) {
  return static_cast<float>((color >> shift) & 0xFFu) / 255.0f;
}

}  // namespace

D3DDeviceGl::D3DDeviceGl(SDL_Window* focusWindow, uint32_t behaviorFlags)
    : focusWindow_(focusWindow), behaviorFlags_(behaviorFlags) {
  s_peakLiveDevices = std::max(s_peakLiveDevices, ++s_liveDevices);
  draw_ = std::make_unique<DrawState>(*this);
  targets_ = std::make_unique<TargetState>(*this);
}

D3DDeviceGl::~D3DDeviceGl() {
  targets_->ReleaseGl();
  // Programs, samplers and buffers go while the context is current; bound resources are let go.
  if (context_.IsValid() && context_.MakeCurrent()) draw_->ReleaseGl();
  // Resources that outlive the device must not reach back into it.
  shared_->deviceAlive = false;
  // The GL objects die with the context anyway; deleting them first keeps a driver that shares
  // names (or a debugger's leak report) tidy when the window is still there.
  if (context_.IsValid() && context_.MakeCurrent()) backBuffer_.Destroy(state_);
  context_.Destroy();
  if (videoStarted_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  --s_liveDevices;
}

HRESULT D3DDeviceGl::Create(SDL_Window* focusWindow, uint32_t behaviorFlags,
                            D3DPRESENT_PARAMETERS* params, D3DDevice** device) {
  *device = nullptr;
  D3DDeviceGl* created = new D3DDeviceGl(focusWindow, behaviorFlags);
  const HRESULT result = created->Init(params);
  if (FAILED(result)) {
    delete created;
    return result;
  }
  // A new device starts whole, whatever a test did to the previous one.
  GetDeviceFaults().DeviceRestored();
  *device = created;
  return D3D_OK;
}

HRESULT D3DDeviceGl::Init(D3DPRESENT_PARAMETERS* params) {
  // The window's owner started SDL's video already; this keeps it up while the context lives.
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    GfxLog("gfx: SDL video cannot start: %s\n", SDL_GetError());
    return D3DERR_NOTAVAILABLE;
  }
  videoStarted_ = true;

  SDL_Window* window =
      params->hDeviceWindow ? static_cast<SDL_Window*>(params->hDeviceWindow) : focusWindow_;
  if (!window) return D3DERR_INVALIDCALL;
  if (!context_.Create(window)) return D3DERR_NOTAVAILABLE;
  state_.Invalidate();

  D3DPRESENT_PARAMETERS resolved = *params;
  const HRESULT checked = ResolvePresentation(&resolved, &window);
  if (FAILED(checked)) return checked;
  if (!backBuffer_.Create(state_, static_cast<int>(resolved.BackBufferWidth),
                          static_cast<int>(resolved.BackBufferHeight),
                          resolved.EnableAutoDepthStencil != 0)) {
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  FillCaps();
  ApplyPresentation(resolved);
  *params = resolved;
  return D3D_OK;
}

HRESULT D3DDeviceGl::ResolvePresentation(D3DPRESENT_PARAMETERS* params, SDL_Window** window) const {
  SDL_Window* target =
      params->hDeviceWindow ? static_cast<SDL_Window*>(params->hDeviceWindow) : focusWindow_;
  if (!target || !(SDL_GetWindowFlags(target) & SDL_WINDOW_OPENGL)) return D3DERR_INVALIDCALL;

  if (params->Windowed) {
    if (params->BackBufferWidth == 0 || params->BackBufferHeight == 0) {
      int width = 0;
      int height = 0;
      SDL_GetWindowSize(target, &width, &height);
      if (params->BackBufferWidth == 0)
        params->BackBufferWidth = static_cast<uint32_t>(std::max(width, 1));
      if (params->BackBufferHeight == 0)
        params->BackBufferHeight = static_cast<uint32_t>(std::max(height, 1));
    }
    if (params->BackBufferFormat == D3DFMT_UNKNOWN) params->BackBufferFormat = D3DFMT_X8R8G8B8;
  } else if (params->BackBufferWidth == 0 || params->BackBufferHeight == 0 ||
             params->BackBufferFormat == D3DFMT_UNKNOWN) {
    return D3DERR_INVALIDCALL;
  }
  if (!IsBackBufferFormat(params->BackBufferFormat)) return D3DERR_INVALIDCALL;

  const GlLimits& limits = context_.Info().limits;
  const uint32_t largest =
      static_cast<uint32_t>(std::min(limits.maxTextureSize, limits.maxRenderbufferSize));
  if (params->BackBufferWidth > largest || params->BackBufferHeight > largest) {
    return D3DERR_INVALIDCALL;
  }
  if (params->BackBufferCount == 0) params->BackBufferCount = 1;
  if (params->BackBufferCount > kMaxBackBuffers) return D3DERR_INVALIDCALL;
  if (params->MultiSampleType != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;
  if (params->SwapEffect < D3DSWAPEFFECT_DISCARD || params->SwapEffect > D3DSWAPEFFECT_COPY) {
    return D3DERR_INVALIDCALL;
  }
  bool hasStencil = false;
  if (params->EnableAutoDepthStencil &&
      !IsDepthFormat(params->AutoDepthStencilFormat, &hasStencil)) {
    return D3DERR_INVALIDCALL;
  }
  *window = target;
  return D3D_OK;
}

void D3DDeviceGl::ApplyPresentation(const D3DPRESENT_PARAMETERS& params) {
  params_ = params;
  depthHasStencil_ = false;
  if (params.EnableAutoDepthStencil)
    IsDepthFormat(params.AutoDepthStencilFormat, &depthHasStencil_);
  context_.SetSwapInterval(SwapIntervalFor(params.PresentationInterval));

  // Full screen keeps the desktop's own mode and stretches the back buffer over it; no mode
  // switch ever leaves the desktop changed after a crash.
  SDL_Window* window = context_.Window();
  const bool fullScreenNow = (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0;
  if (params.Windowed && fullScreenNow) {
    SDL_SetWindowFullscreen(window, 0);
  } else if (!params.Windowed && !fullScreenNow) {
    SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
  }

  viewport_ = D3DVIEWPORT9{0, 0, params.BackBufferWidth, params.BackBufferHeight, 0.0f, 1.0f};
  targets_->ResetToBackBuffer(params);
  draw_->ResetState(params.EnableAutoDepthStencil != 0);
  BindRenderTarget();
  ApplyViewport();
}

void D3DDeviceGl::FillCaps() {
  const GlLimits& limits = context_.Info().limits;
  caps_ = D3DCAPS9{};
  caps_.DeviceType = D3DDEVTYPE_HAL;
  caps_.AdapterOrdinal = 0;
  const int textureSize = std::min(limits.maxTextureSize, kMaxReportedTextureSize);
  caps_.MaxTextureWidth = static_cast<uint32_t>(textureSize);
  caps_.MaxTextureHeight = static_cast<uint32_t>(textureSize);
  // Eight is the most fixed-function stages Direct3D 9 has.
  caps_.MaxSimultaneousTextures =
      static_cast<uint32_t>(std::clamp(limits.maxTextureImageUnits, 2, 8));
  caps_.MaxStreams = static_cast<uint32_t>(std::clamp(limits.maxVertexAttribs, 1, 16));
  caps_.VertexShaderVersion = D3DVS_VERSION(1, 1);
  caps_.MaxVertexShaderConst = kMaxVertexShaderConstants;
  caps_.PixelShaderVersion = D3DPS_VERSION(0, 0);  // no pixel shaders
  caps_.MaxPrimitiveCount = 0xFFFFF;
  caps_.MaxVertexIndex = 0xFFFFFF;
}

bool D3DDeviceGl::MakeCurrent() { return context_.MakeCurrent(); }

void D3DDeviceGl::BindRenderTarget() { targets_->Bind(); }

GlRect D3DDeviceGl::ToGlRect(int x, int y, int width, int height) const {
  return targets_->ToGlRect(x, y, width, height);
}

void D3DDeviceGl::ApplyViewport() {
  // A corner past the target draws nothing wherever it lies, so it is held just past the target:
  // drivers clamp large viewport corners, and a clamped corner could land back on the target.
  const int x = static_cast<int>(std::min<uint64_t>(viewport_.X, uint64_t(TargetWidth())));
  const int y = static_cast<int>(std::min<uint64_t>(viewport_.Y, uint64_t(TargetHeight())));
  state_.SetViewport(ToGlRect(x, y, static_cast<int>(viewport_.Width),
                              static_cast<int>(viewport_.Height)));
  state_.SetDepthRange(viewport_.MinZ, ViewportFarZ(viewport_));
}

HRESULT D3DDeviceGl::GetDeviceCaps(D3DCAPS9* caps) {
  if (!caps) return D3DERR_INVALIDCALL;
  *caps = caps_;
  const uint32_t reported = GetDeviceFaults().ReportedVertexShaderVersion();
  if (reported != 0) caps->VertexShaderVersion = reported;
  return D3D_OK;
}

HRESULT D3DDeviceGl::TestCooperativeLevel() {
  DeviceFaults& faults = GetDeviceFaults();
  if (!faults.IsDeviceLost()) return D3D_OK;
  return faults.ResetFails() ? D3DERR_DEVICELOST : D3DERR_DEVICENOTRESET;
}

HRESULT D3DDeviceGl::Reset(D3DPRESENT_PARAMETERS* params) {
  if (!params) return D3DERR_INVALIDCALL;
  DeviceFaults& faults = GetDeviceFaults();
  if (faults.IsDeviceLost() && faults.ResetFails()) return D3DERR_DEVICELOST;
  // Reset unbinds everything, so the device's own references never hold a resource alive:
  // a texture target or depth surface left set would otherwise refuse every reset.
  draw_->ReleaseBindings();
  targets_->DropTargets();
  // DEFAULT-pool resources do not survive a Direct3D reset; their owners release them first.
  if (shared_->liveDefaultPool > 0) {
    GfxLog("gfx: Reset refused, %d DEFAULT-pool resources are still alive\n",
           shared_->liveDefaultPool);
    return D3DERR_INVALIDCALL;
  }
  if (!MakeCurrent()) return D3DERR_INVALIDCALL;

  D3DPRESENT_PARAMETERS resolved = *params;
  SDL_Window* window = nullptr;
  const HRESULT checked = ResolvePresentation(&resolved, &window);
  if (FAILED(checked)) return checked;

  // The new buffer is made before the old one goes, so a refused size leaves the device as it
  // was rather than without a back buffer.
  BackBuffer fresh;
  if (!fresh.Create(state_, static_cast<int>(resolved.BackBufferWidth),
                    static_cast<int>(resolved.BackBufferHeight),
                    resolved.EnableAutoDepthStencil != 0)) {
    BindRenderTarget();
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  backBuffer_.Swap(fresh);
  fresh.Destroy(state_);

  if (window != context_.Window()) {
    context_.SetWindow(window);
    if (!MakeCurrent()) return D3DERR_INVALIDCALL;
  }
  ApplyPresentation(resolved);
  *params = resolved;
  faults.DeviceRestored();
  return D3D_OK;
}

HRESULT D3DDeviceGl::Present(const void* sourceRect, const void* destRect, void* destWindow,
                             const void* dirtyRegion) {
  // The engine presents the whole back buffer into its own window; rectangles, another
  // window and dirty regions are not asked for and are ignored.
  (void)sourceRect;
  (void)destRect;
  (void)destWindow;
  (void)dirtyRegion;
  if (GetDeviceFaults().IsDeviceLost()) return D3DERR_DEVICELOST;
  if (!MakeCurrent()) return D3DERR_INVALIDCALL;

  int drawableWidth = 0;
  int drawableHeight = 0;
  context_.DrawableSize(&drawableWidth, &drawableHeight);
  if (drawableWidth <= 0 || drawableHeight <= 0) return D3D_OK;  // minimised: nothing to show
  if (TestHooks::PixelWorkSkipped()) return D3D_OK;

  const int width = backBuffer_.Width();
  const int height = backBuffer_.Height();
  // A blit is scissored like any drawing.
  state_.EnableScissor(false);
  state_.BindReadFramebuffer(backBuffer_.Framebuffer());
  state_.BindDrawFramebuffer(0);
  const GLenum filter =
      (width == drawableWidth && height == drawableHeight) ? GL_NEAREST : GL_LINEAR;
  // The back buffer is stored top row first, the window bottom row first: the blit turns it over.
  glBlitFramebuffer(0, 0, width, height, 0, drawableHeight, drawableWidth, 0, GL_COLOR_BUFFER_BIT,
                    filter);
  context_.Swap();
  return D3D_OK;
}

HRESULT D3DDeviceGl::BeginScene() {
  if (inScene_) return D3DERR_INVALIDCALL;
  inScene_ = true;
  return D3D_OK;
}

HRESULT D3DDeviceGl::EndScene() {
  if (!inScene_) return D3DERR_INVALIDCALL;
  inScene_ = false;
  return D3D_OK;
}

HRESULT D3DDeviceGl::Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, D3DCOLOR color,
                           float z, uint32_t stencil) {
  // No rectangles means the whole viewport, whatever the count says: Direct3D 9 clears all of
  // it for (1, null) as for (0, null). Rectangles without a count are refused.
  if (rects == nullptr) count = 0;
  if (count == 0 && rects != nullptr) return D3DERR_INVALIDCALL;
  if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !targets_->HasDepthStencil()) {
    return D3DERR_INVALIDCALL;
  }
  if ((flags & D3DCLEAR_STENCIL) && !targets_->DepthHasStencil()) return D3DERR_INVALIDCALL;
  if (!MakeCurrent()) return D3DERR_INVALIDCALL;

  // Clear writes whatever the write-mask render states say; the masks are borrowed through the
  // state cache, so the next draw sets its own again.
  GLbitfield mask = 0;
  if (flags & D3DCLEAR_TARGET) {
    state_.SetColorWriteMask(0xF);
    state_.SetClearColor(ColorChannel(color, 16), ColorChannel(color, 8), ColorChannel(color, 0),
                         ColorChannel(color, 24));
    mask |= GL_COLOR_BUFFER_BIT;
  }
  if (flags & D3DCLEAR_ZBUFFER) {
    state_.SetDepthWriteMask(true);
    state_.SetClearDepth(std::clamp(z, 0.0f, 1.0f));
    mask |= GL_DEPTH_BUFFER_BIT;
  }
  if (flags & D3DCLEAR_STENCIL) {
    state_.SetStencilWriteMask(0xFF);
    state_.SetClearStencil(static_cast<int32_t>(stencil & 0xFF));
    mask |= GL_STENCIL_BUFFER_BIT;
  }
  if (mask == 0 || TestHooks::PixelWorkSkipped()) return D3D_OK;

  BindRenderTarget();
  state_.EnableScissor(true);
  // The viewport may reach past the target (or lie wholly beyond it); only the part on the
  // target is cleared.
  const int left = static_cast<int>(std::min<uint64_t>(viewport_.X, uint64_t(TargetWidth())));
  const int top = static_cast<int>(std::min<uint64_t>(viewport_.Y, uint64_t(TargetHeight())));
  const int right = static_cast<int>(
      std::min<uint64_t>(uint64_t{viewport_.X} + viewport_.Width, uint64_t(TargetWidth())));
  const int bottom = static_cast<int>(
      std::min<uint64_t>(uint64_t{viewport_.Y} + viewport_.Height, uint64_t(TargetHeight())));
  // Rectangles are clipped to the viewport; no rectangles clears all of it.
  if (count == 0) {
    if (left < right && top < bottom) {
      state_.SetScissor(ToGlRect(left, top, right - left, bottom - top));
      glClear(mask);
    }
    return D3D_OK;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const int x1 = std::max(rects[i].x1, left);
    const int y1 = std::max(rects[i].y1, top);
    const int x2 = std::min(rects[i].x2, right);
    const int y2 = std::min(rects[i].y2, bottom);
    if (x1 >= x2 || y1 >= y2) continue;
    state_.SetScissor(ToGlRect(x1, y1, x2 - x1, y2 - y1));
    glClear(mask);
  }
  return D3D_OK;
}

HRESULT D3DDeviceGl::SetViewport(const D3DVIEWPORT9* viewport) {
  if (!viewport) return D3DERR_INVALIDCALL;
  if (!MakeCurrent()) return D3DERR_INVALIDCALL;
  // Direct3D 9 takes a viewport that reaches past the target, or lies beyond it, and clips what
  // is drawn through it (windows sized for a 640 by 480 frame drawn into smaller targets rely on
  // it). Refused is only what cannot be represented: a corner whose coordinates wrap, or a size
  // that the driver would shrink, which would change where everything lands.
  GLint maxDims[2] = {0, 0};
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxDims);
  const uint64_t right = uint64_t{viewport->X} + viewport->Width;
  const uint64_t bottom = uint64_t{viewport->Y} + viewport->Height;
  if (right > uint64_t{UINT32_MAX} || bottom > uint64_t{UINT32_MAX} ||
      viewport->Width > static_cast<uint32_t>(std::max(maxDims[0], 0)) ||
      viewport->Height > static_cast<uint32_t>(std::max(maxDims[1], 0))) {
    return D3DERR_INVALIDCALL;
  }
  viewport_ = *viewport;
  ApplyViewport();
  return D3D_OK;
}

HRESULT D3DDeviceGl::GetViewport(D3DVIEWPORT9* viewport) {
  if (!viewport) return D3DERR_INVALIDCALL;
  *viewport = viewport_;
  return D3D_OK;
}

HRESULT D3DDeviceGl::EvictManagedResources() { return D3D_OK; }

HRESULT D3DDeviceGl::ReadBackBuffer(uint32_t* pixels, uint32_t width, uint32_t height) {
  if (!pixels || width != static_cast<uint32_t>(backBuffer_.Width()) ||
      height != static_cast<uint32_t>(backBuffer_.Height())) {
    return D3DERR_INVALIDCALL;
  }
  if (!MakeCurrent()) return D3DERR_INVALIDCALL;
  backBuffer_.Read(state_, pixels);
  return D3D_OK;
}

HRESULT D3DDeviceGl::ReadWindow(uint32_t* pixels, uint32_t width, uint32_t height) {
  if (!pixels || !MakeCurrent()) return D3DERR_INVALIDCALL;
  int drawableWidth = 0;
  int drawableHeight = 0;
  context_.DrawableSize(&drawableWidth, &drawableHeight);
  if (width != static_cast<uint32_t>(drawableWidth) ||
      height != static_cast<uint32_t>(drawableHeight)) {
    return D3DERR_INVALIDCALL;
  }
  ReadFramebufferTopDown(state_, 0, drawableWidth, drawableHeight, pixels);
  return D3D_OK;
}

namespace TestHooks {
int LiveDeviceCount() { return s_liveDevices; }
int PeakLiveDeviceCount() { return s_peakLiveDevices; }
void ResetPeakLiveDeviceCount() { s_peakLiveDevices = s_liveDevices; }
}  // namespace TestHooks

}  // namespace gfx
