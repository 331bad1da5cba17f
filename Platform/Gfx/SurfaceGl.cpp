#include "Platform/Gfx/SurfaceGl.h"

#include <utility>

#include "Platform/Gfx/D3DDeviceGl.h"
#include "Platform/Gfx/GfxLog.h"
#include "Platform/Gfx/PixelFormats.h"
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

HRESULT SurfaceGl::CreateOffscreenPlain(D3DDeviceGl& device, uint32_t width, uint32_t height,
                                        D3DFORMAT format, D3DPOOL pool, SurfaceGl** surface) {
  // Far beyond any target the device makes, and small enough that width x height x 4 bytes is
  // an allocation rather than an overflow.
  constexpr uint32_t kLargest = 16384;
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  if (width == 0 || height == 0 || width > kLargest || height > kLargest ||
      !IsTextureFormat(format) || IsCompressedFormat(format) ||
      (pool != D3DPOOL_SYSTEMMEM && pool != D3DPOOL_SCRATCH)) {
    GfxLog("gfx: CreateOffscreenPlainSurface(%u x %u, format %u, pool %u) refused\n", width,
           height, static_cast<unsigned>(format), static_cast<unsigned>(pool));
    return D3DERR_INVALIDCALL;
  }
  SurfaceGl* made = new SurfaceGl(Kind::OffscreenPlain, &device, device.Shared(), format);
  made->width_ = static_cast<int>(width);
  made->height_ = static_cast<int>(height);
  made->pool_ = pool;
  made->memory_.assign(FormatLevelSize(format, width, height), 0);
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
    case Kind::OffscreenPlain:
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
    case Kind::OffscreenPlain:
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
  desc->Usage = kind_ == Kind::BackBuffer     ? D3DUSAGE_RENDERTARGET
                : kind_ == Kind::OffscreenPlain ? 0
                                                : D3DUSAGE_DEPTHSTENCIL;
  desc->Pool = kind_ == Kind::OffscreenPlain ? pool_ : D3DPOOL_DEFAULT;
  desc->MultiSampleType = D3DMULTISAMPLE_NONE;
  desc->Width = static_cast<uint32_t>(Width());
  desc->Height = static_cast<uint32_t>(Height());
  return D3D_OK;
}

HRESULT SurfaceGl::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, uint32_t flags) {
  if (kind_ == Kind::TextureLevel) return texture_->LockRect(level_, locked, rect, flags);
  if (kind_ != Kind::OffscreenPlain || !locked || locked_) return D3DERR_INVALIDCALL;
  const uint64_t pitch = FormatPitch(format_, static_cast<uint32_t>(width_));
  uint64_t offset = 0;
  if (rect) {
    if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right ||
        rect->top >= rect->bottom || rect->right > width_ || rect->bottom > height_) {
      return D3DERR_INVALIDCALL;
    }
    offset = static_cast<uint64_t>(rect->top) * pitch +
             static_cast<uint64_t>(rect->left) * BytesPerPixel(format_);
  }
  locked->Pitch = static_cast<int32_t>(pitch);
  locked->pBits = memory_.data() + offset;
  locked_ = true;
  return D3D_OK;
}

bool SurfaceGl::IsLocked() const {
  return kind_ == Kind::TextureLevel ? texture_->IsLevelLocked(level_) : locked_;
}

HRESULT SurfaceGl::UnlockRect() {
  if (kind_ == Kind::TextureLevel) return texture_->UnlockRect(level_);
  if (kind_ != Kind::OffscreenPlain || !locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  return D3D_OK;
}

HRESULT CopyRenderTargetData(D3DDeviceGl& device, SurfaceGl* source, SurfaceGl* dest) {
  if (!source || !dest || !source->IsRenderTarget() || source->Device() != &device ||
      dest->Device() != &device || dest->IsLocked()) {
    return D3DERR_INVALIDCALL;
  }
  const bool plain = dest->GetKind() == SurfaceGl::Kind::OffscreenPlain;
  const bool memoryLevel = dest->GetKind() == SurfaceGl::Kind::TextureLevel &&
                           dest->Texture()->Pool() == D3DPOOL_SYSTEMMEM;
  D3DSURFACE_DESC desc{};
  if (!(plain || memoryLevel) || FAILED(dest->GetDesc(&desc)) ||
      desc.Pool != D3DPOOL_SYSTEMMEM || dest->Format() != source->Format() ||
      dest->Width() != source->Width() || dest->Height() != source->Height()) {
    return D3DERR_INVALIDCALL;
  }
  const uint32_t width = static_cast<uint32_t>(source->Width());
  const uint32_t height = static_cast<uint32_t>(source->Height());
  std::vector<uint32_t> argb(static_cast<size_t>(width) * height);
  if (source->GetKind() == SurfaceGl::Kind::BackBuffer) {
    if (FAILED(device.ReadBackBuffer(argb.data(), width, height))) return D3DERR_INVALIDCALL;
  } else {
    // Texture targets are stored top row first, the order of the surface's rows.
    const GLuint texture = source->ColourTexture();
    if (texture == 0 || !device.MakeCurrent()) return D3DERR_INVALIDCALL;
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glGetTexImage(GL_TEXTURE_2D, static_cast<GLint>(source->Level()), GL_BGRA,
                  GL_UNSIGNED_INT_8_8_8_8_REV, argb.data());
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
  }

  if (plain) {
    LevelFromArgb(dest->Format(), argb.data(), width, height, dest->memory_.data());
  } else {
    std::vector<uint8_t> bytes(FormatLevelSize(dest->Format(), width, height));
    LevelFromArgb(dest->Format(), argb.data(), width, height, bytes.data());
    dest->Texture()->WriteLevel(dest->Level(), bytes.data());
  }
  return D3D_OK;
}

}  // namespace gfx
