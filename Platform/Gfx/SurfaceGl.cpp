#include "Platform/Gfx/SurfaceGl.h"

#include <utility>

#include "Platform/Gfx/D3DDeviceGl.h"
#include "Platform/Gfx/GfxLog.h"
#include "Platform/Gfx/TargetState.h"
#include "Platform/Gfx/TextureGl.h"

namespace gfx {

bool IsDepthStencilFormat(D3DFORMAT format, bool* hasStencil) {
  bool stencil = false;
  bool depth = true;
  switch (format) {
    case D3DFMT_D15S1:
    case D3DFMT_D24S8:
    case D3DFMT_D24X4S4:
      stencil = true;
      break;
    case D3DFMT_D16_LOCKABLE:
    case D3DFMT_D32:
    case D3DFMT_D24X8:
    case D3DFMT_D16:
      break;
    default:
      depth = false;
      break;
  }
  if (hasStencil) *hasStencil = stencil;
  return depth;
}

SurfaceGl::SurfaceGl(Kind kind, D3DDeviceGl* device, std::shared_ptr<DeviceShared> shared,
                     D3DFORMAT format)
    : kind_(kind), device_(device), shared_(std::move(shared)), format_(format) {}

SurfaceGl* SurfaceGl::ForBackBuffer(D3DDeviceGl& device, D3DFORMAT format) {
  return new SurfaceGl(Kind::BackBuffer, &device, device.Shared(), format);
}

SurfaceGl* SurfaceGl::ForAutoDepthStencil(D3DDeviceGl& device, D3DFORMAT format) {
  return new SurfaceGl(Kind::AutoDepthStencil, &device, device.Shared(), format);
}

SurfaceGl* SurfaceGl::ForTextureLevel(TextureGl* texture, uint32_t level) {
  SurfaceGl* surface =
      new SurfaceGl(Kind::TextureLevel, texture->Device(), texture->Shared(), texture->Format());
  texture->AddRef();
  surface->texture_ = texture;
  surface->level_ = level;
  return surface;
}

HRESULT SurfaceGl::CreateDepthStencil(D3DDeviceGl& device, uint32_t width, uint32_t height,
                                      D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                      SurfaceGl** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  if (multiSample != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;
  if (!IsDepthStencilFormat(format, nullptr) || width == 0 || height == 0) {
    return D3DERR_INVALIDCALL;
  }
  if (!device.MakeCurrent()) return D3DERR_INVALIDCALL;
  GLint largest = 0;
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
  if (width > static_cast<uint32_t>(largest) || height > static_cast<uint32_t>(largest)) {
    return D3DERR_INVALIDCALL;
  }

  SurfaceGl* made = new SurfaceGl(Kind::DepthStencil, &device, device.Shared(), format);
  made->width_ = static_cast<int>(width);
  made->height_ = static_cast<int>(height);
  made->countedInDefaultPool_ = true;
  ++made->shared_->liveDefaultPool;

  while (glGetError() != GL_NO_ERROR) {
  }
  GLint previous = 0;
  glGetIntegerv(GL_RENDERBUFFER_BINDING, &previous);
  glGenRenderbuffers(1, &made->renderbuffer_);
  glBindRenderbuffer(GL_RENDERBUFFER, made->renderbuffer_);
  // Every depth format is backed by 24/8, as the back buffer's is.
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, static_cast<GLsizei>(width),
                        static_cast<GLsizei>(height));
  glBindRenderbuffer(GL_RENDERBUFFER, static_cast<GLuint>(previous));
  const GLenum error = glGetError();
  if (error != GL_NO_ERROR) {
    GfxLog("gfx: GL refused a %u x %u depth-stencil surface (error 0x%X)\n", width, height, error);
    made->Release();
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  *surface = made;
  return D3D_OK;
}

SurfaceGl::~SurfaceGl() {
  D3DDeviceGl* device = Device();
  if (renderbuffer_ != 0 && device && device->MakeCurrent()) {
    device->Targets().ForgetRenderbuffer(renderbuffer_);
    glDeleteRenderbuffers(1, &renderbuffer_);
  }
  if (countedInDefaultPool_) --shared_->liveDefaultPool;
  if (texture_) texture_->Release();
}

D3DDeviceGl* SurfaceGl::Device() const {
  return (device_ && shared_ && shared_->deviceAlive) ? device_ : nullptr;
}

bool SurfaceGl::IsRenderTarget() const {
  if (kind_ == Kind::BackBuffer) return true;
  return kind_ == Kind::TextureLevel && texture_->IsRenderTarget() && texture_->GlName() != 0;
}

bool SurfaceGl::HasStencil() const {
  bool stencil = false;
  return IsDepth() && IsDepthStencilFormat(format_, &stencil) && stencil;
}

int SurfaceGl::Width() const {
  switch (kind_) {
    case Kind::TextureLevel:
      return static_cast<int>(texture_->Width(level_));
    case Kind::DepthStencil:
      return width_;
    default: {
      D3DDeviceGl* device = Device();
      return device ? device->GetBackBufferObject().Width() : 0;
    }
  }
}

int SurfaceGl::Height() const {
  switch (kind_) {
    case Kind::TextureLevel:
      return static_cast<int>(texture_->Height(level_));
    case Kind::DepthStencil:
      return height_;
    default: {
      D3DDeviceGl* device = Device();
      return device ? device->GetBackBufferObject().Height() : 0;
    }
  }
}

GLuint SurfaceGl::ColourTexture() const {
  if (kind_ == Kind::TextureLevel) return texture_->GlName();
  if (kind_ == Kind::BackBuffer) {
    D3DDeviceGl* device = Device();
    return device ? device->GetBackBufferObject().ColorTexture() : 0;
  }
  return 0;
}

bool SurfaceGl::SameAs(const SurfaceGl& other) const {
  if (kind_ != other.kind_) return false;
  switch (kind_) {
    case Kind::TextureLevel:
      return texture_ == other.texture_ && level_ == other.level_;
    case Kind::BackBuffer:
    case Kind::AutoDepthStencil:
      return device_ == other.device_;
    default:
      return this == &other;
  }
}

HRESULT SurfaceGl::GetDesc(D3DSURFACE_DESC* desc) {
  if (!desc) return D3DERR_INVALIDCALL;
  if (kind_ == Kind::TextureLevel) return texture_->GetLevelDesc(level_, desc);
  *desc = D3DSURFACE_DESC{};
  desc->Format = format_;
  desc->Type = D3DRTYPE_SURFACE;
  desc->Usage = kind_ == Kind::BackBuffer ? D3DUSAGE_RENDERTARGET : D3DUSAGE_DEPTHSTENCIL;
  desc->Pool = D3DPOOL_DEFAULT;
  desc->MultiSampleType = D3DMULTISAMPLE_NONE;
  desc->Width = static_cast<uint32_t>(Width());
  desc->Height = static_cast<uint32_t>(Height());
  return D3D_OK;
}

HRESULT SurfaceGl::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, uint32_t flags) {
  if (kind_ != Kind::TextureLevel) return D3DERR_INVALIDCALL;
  return texture_->LockRect(level_, locked, rect, flags);
}

HRESULT SurfaceGl::UnlockRect() {
  if (kind_ != Kind::TextureLevel) return D3DERR_INVALIDCALL;
  return texture_->UnlockRect(level_);
}

}  // namespace gfx
