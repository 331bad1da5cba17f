#pragma once
// A Direct3D surface: one of four things a render target or depth-stencil slot can hold, or a
// plain surface in system memory.
//   BackBuffer        stands for the device's back buffer (whatever size it has now);
//   TextureLevel      a level of a texture, which the surface keeps alive;
//   DepthStencil      a depth-stencil buffer of its own (CreateDepthStencilSurface), in the
//                     DEFAULT pool;
//   AutoDepthStencil  stands for the depth-stencil buffer that comes with the back buffer;
//   OffscreenPlain    pixels in the surface's own format on the CPU (CreateOffscreenPlainSurface
//                     in the SYSTEMMEM or SCRATCH pool), rows top first: always lockable, and
//                     what GetRenderTargetData copies into.
// Every GL-held surface (back buffer, texture levels, depth buffers) is stored top row first:
// everything is drawn with the y flip, and only Present turns the back buffer over.

#include <epoxy/gl.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "Platform/Gfx/D3D.h"

namespace gfx {

class D3DDeviceGl;
class TextureGl;
struct DeviceShared;

class SurfaceGl final : public D3DSurface {
 public:
  enum class Kind { BackBuffer, TextureLevel, DepthStencil, AutoDepthStencil, OffscreenPlain };

  // Each gives one reference.
  static SurfaceGl* ForBackBuffer(D3DDeviceGl& device, D3DFORMAT format);
  static SurfaceGl* ForAutoDepthStencil(D3DDeviceGl& device, D3DFORMAT format);
  static SurfaceGl* ForTextureLevel(TextureGl* texture, uint32_t level);
  // D3DERR_INVALIDCALL for a size of 0 or beyond the driver's renderbuffers or a format that is
  // not a depth format, D3DERR_NOTAVAILABLE for multisampling, D3DERR_OUTOFVIDEOMEMORY when GL
  // refuses it.
  static HRESULT CreateDepthStencil(D3DDeviceGl& device, uint32_t width, uint32_t height,
                                    D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                    SurfaceGl** surface);
  // D3DERR_INVALIDCALL for a size of 0 or past 16384, a compressed or unknown format, or a pool
  // other than SYSTEMMEM and SCRATCH.
  static HRESULT CreateOffscreenPlain(D3DDeviceGl& device, uint32_t width, uint32_t height,
                                      D3DFORMAT format, D3DPOOL pool, SurfaceGl** surface);
  ~SurfaceGl() override;
  SurfaceGl(const SurfaceGl&) = delete;
  SurfaceGl& operator=(const SurfaceGl&) = delete;

  // ---- D3DSurface.
  HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
  // Texture levels lock as their texture does, offscreen plain surfaces lock their memory (once
  // at a time, a rectangle inside the surface); the back buffer and depth buffers cannot be
  // locked here (D3DERR_INVALIDCALL).
  HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, uint32_t flags) override;
  bool IsLocked() const;
  HRESULT UnlockRect() override;

  // ---- For the device's parts.
  Kind GetKind() const { return kind_; }
  D3DDeviceGl* Device() const;  // null once the device is gone
  TextureGl* Texture() const { return texture_; }
  uint32_t Level() const { return level_; }
  D3DFORMAT Format() const { return format_; }
  bool IsDepth() const { return kind_ == Kind::DepthStencil || kind_ == Kind::AutoDepthStencil; }
  // Something SetRenderTarget and StretchRect accept: the back buffer or a level of a render
  // target texture.
  bool IsRenderTarget() const;
  bool HasStencil() const;
  int Width() const;
  int Height() const;
  // The GL texture of a colour surface (the back buffer's or the level's texture).
  GLuint ColourTexture() const;
  // The renderbuffer of a depth-stencil surface of its own (0 for the others).
  GLuint Renderbuffer() const { return renderbuffer_; }
  // Two surfaces standing for the same pixels.
  bool SameAs(const SurfaceGl& other) const;

 private:
  friend HRESULT CopyRenderTargetData(D3DDeviceGl& device, SurfaceGl* source, SurfaceGl* dest);

  SurfaceGl(Kind kind, D3DDeviceGl* device, std::shared_ptr<DeviceShared> shared,
            D3DFORMAT format);

  Kind kind_;
  D3DDeviceGl* device_;
  std::shared_ptr<DeviceShared> shared_;
  D3DFORMAT format_;
  TextureGl* texture_ = nullptr;
  uint32_t level_ = 0;
  GLuint renderbuffer_ = 0;
  int width_ = 0;   // depth-stencil and offscreen plain surfaces
  int height_ = 0;
  D3DPOOL pool_ = D3DPOOL_DEFAULT;
  std::vector<uint8_t> memory_;  // offscreen plain surfaces
  bool locked_ = false;
  bool countedInDefaultPool_ = false;
};

// GetRenderTargetData: `source` must be the back buffer or a level of a render-target texture
// of `device`, `dest` an offscreen plain surface or a texture level of the SYSTEMMEM pool of the
// same size and format (D3DERR_INVALIDCALL otherwise).
HRESULT CopyRenderTargetData(D3DDeviceGl& device, SurfaceGl* source, SurfaceGl* dest);

// Whether a format is one of Direct3D's depth formats, and whether it has stencil bits.
bool IsDepthStencilFormat(D3DFORMAT format, bool* hasStencil);

}  // namespace gfx
