#include "Platform/Gfx/TextureGl.h"

#include <cstring>

#include "Platform/Gfx/D3DDeviceGl.h"
#include "Platform/Gfx/GfxLog.h"
#include "Platform/Gfx/PixelFormats.h"
#include "Platform/Gfx/SurfaceGl.h"
#include "Platform/Gfx/TargetState.h"

namespace gfx {

namespace {

constexpr uint32_t kNotLocked = 0xFFFFFFFFu;

bool g_compressedUploadDisabled = false;

// How a format lives in GL: the storage, the layout of the data handed to GL, and the swizzle
// that makes sampling return what Direct3D would (luminance spread over red, green and blue,
// alpha-only formats black, formats without alpha opaque).
struct GlFormat {
  GLenum internalFormat;
  GLenum format;  // 0 for a compressed upload
  GLenum type;
  GLint swizzle[4];
};

constexpr GLint kRgba[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};

GlFormat MakeFormat(GLenum internalFormat, GLenum format, GLenum type, GLint r, GLint g, GLint b,
                    GLint a) {
  return GlFormat{internalFormat, format, type, {r, g, b, a}};
}

GlFormat GlFormatFor(D3DFORMAT format, bool renderTarget, bool compressedOnGpu) {
  if (renderTarget) {
    // Render targets draw into RGBA8; the formats without alpha read it as 1.
    const GLint alpha = format == D3DFMT_A8R8G8B8 ? GL_ALPHA : GL_ONE;
    return MakeFormat(GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, GL_RED, GL_GREEN, GL_BLUE, alpha);
  }
  switch (format) {
    case D3DFMT_A8R8G8B8:
      return MakeFormat(GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA);
    case D3DFMT_X8R8G8B8:
      return MakeFormat(GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, GL_RED, GL_GREEN, GL_BLUE, GL_ONE);
    case D3DFMT_R8G8B8:
      return MakeFormat(GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, GL_RED, GL_GREEN, GL_BLUE, GL_ONE);
    case D3DFMT_R5G6B5:
      return MakeFormat(GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, GL_RED, GL_GREEN, GL_BLUE,
                        GL_ONE);
    case D3DFMT_X1R5G5B5:
      return MakeFormat(GL_RGBA8, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, GL_RED, GL_GREEN,
                        GL_BLUE, GL_ONE);
    case D3DFMT_A1R5G5B5:
      return MakeFormat(GL_RGBA8, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, GL_RED, GL_GREEN,
                        GL_BLUE, GL_ALPHA);
    case D3DFMT_A4R4G4B4:
      return MakeFormat(GL_RGBA8, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, GL_RED, GL_GREEN,
                        GL_BLUE, GL_ALPHA);
    case D3DFMT_L8:
      return MakeFormat(GL_R8, GL_RED, GL_UNSIGNED_BYTE, GL_RED, GL_RED, GL_RED, GL_ONE);
    case D3DFMT_A8:
      return MakeFormat(GL_R8, GL_RED, GL_UNSIGNED_BYTE, GL_ZERO, GL_ZERO, GL_ZERO, GL_RED);
    case D3DFMT_A8L8:
      return MakeFormat(GL_RG8, GL_RG, GL_UNSIGNED_BYTE, GL_RED, GL_RED, GL_RED, GL_GREEN);
    case D3DFMT_DXT1:
    case D3DFMT_DXT3:
    case D3DFMT_DXT5:
      if (compressedOnGpu) {
        const GLenum internalFormat = format == D3DFMT_DXT1   ? GL_COMPRESSED_RGBA_S3TC_DXT1_EXT
                                      : format == D3DFMT_DXT3 ? GL_COMPRESSED_RGBA_S3TC_DXT3_EXT
                                                              : GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
        return MakeFormat(internalFormat, 0, 0, GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA);
      }
      // Decoded on the CPU into A8R8G8B8 words.
      return MakeFormat(GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, GL_RED, GL_GREEN,
                        GL_BLUE, GL_ALPHA);
    default:
      return MakeFormat(GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA);
  }
}

bool DriverHasS3tc() {
  static int known = -1;
  if (known < 0) known = epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc") ? 1 : 0;
  return known == 1;
}

// A texel read back as RGBA (what GL stores) turned into what sampling gives.
uint32_t Swizzled(uint32_t argb, const GLint swizzle[4]) {
  const uint32_t stored[4] = {(argb >> 16) & 0xFFu, (argb >> 8) & 0xFFu, argb & 0xFFu,
                              argb >> 24};
  uint32_t out[4];
  for (int i = 0; i < 4; ++i) {
    switch (swizzle[i]) {
      case GL_RED: out[i] = stored[0]; break;
      case GL_GREEN: out[i] = stored[1]; break;
      case GL_BLUE: out[i] = stored[2]; break;
      case GL_ALPHA: out[i] = stored[3]; break;
      case GL_ZERO: out[i] = 0; break;
      default: out[i] = 255; break;
    }
  }
  return (out[3] << 24) | (out[0] << 16) | (out[1] << 8) | out[2];
}

// Binds a texture on the active unit for the length of a scope and puts the previous one back,
// so that whatever the draw code believes is bound stays true.
class ScopedTextureBinding {
 public:
  explicit ScopedTextureBinding(GLuint texture) {
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous_);
    glBindTexture(GL_TEXTURE_2D, texture);
  }
  ~ScopedTextureBinding() { glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous_)); }
  ScopedTextureBinding(const ScopedTextureBinding&) = delete;
  ScopedTextureBinding& operator=(const ScopedTextureBinding&) = delete;

 private:
  GLint previous_ = 0;
};

HRESULT Refuse(const char* why, uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
               D3DFORMAT format, D3DPOOL pool) {
  GfxLog("gfx: CreateTexture(%u x %u, %u levels, usage 0x%X, format %u, pool %u) refused: %s\n",
         width, height, levels, usage, static_cast<unsigned>(format), static_cast<unsigned>(pool),
         why);
  return D3DERR_INVALIDCALL;
}

}  // namespace

void TextureGl::SetCompressedUploadDisabled(bool disabled) { g_compressedUploadDisabled = disabled; }

HRESULT TextureGl::Create(D3DDeviceGl& device, uint32_t width, uint32_t height, uint32_t levels,
                          uint32_t usage, D3DFORMAT format, D3DPOOL pool, TextureGl** texture) {
  if (!texture) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  D3DCAPS9 caps{};
  device.GetDeviceCaps(&caps);
  if (width == 0 || height == 0 || width > caps.MaxTextureWidth || height > caps.MaxTextureHeight) {
    return Refuse("size", width, height, levels, usage, format, pool);
  }
  if (!IsTextureFormat(format)) return Refuse("format", width, height, levels, usage, format, pool);
  const uint32_t chain = FullMipCount(width, height);
  if (levels > chain) return Refuse("levels", width, height, levels, usage, format, pool);
  if (pool > D3DPOOL_SCRATCH) return Refuse("pool", width, height, levels, usage, format, pool);
  if (usage & D3DUSAGE_DEPTHSTENCIL) {
    return Refuse("depth-stencil textures are not supported", width, height, levels, usage,
                  format, pool);
  }
  if (usage & D3DUSAGE_RENDERTARGET) {
    const bool targetFormat =
        format == D3DFMT_R5G6B5 || format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8;
    if (pool != D3DPOOL_DEFAULT || !targetFormat) {
      return Refuse("render targets are R5G6B5, X8R8G8B8 or A8R8G8B8 in the DEFAULT pool", width,
                    height, levels, usage, format, pool);
    }
  }
  if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) {
    return Refuse("dynamic textures cannot be managed", width, height, levels, usage, format,
                  pool);
  }

  TextureGl* made =
      new TextureGl(device, width, height, levels == 0 ? chain : levels, usage, format, pool);
  if (pool == D3DPOOL_DEFAULT || pool == D3DPOOL_MANAGED) {
    if (!device.MakeCurrent()) {
      made->Release();
      return D3DERR_INVALIDCALL;
    }
    if (!made->CreateGlTexture()) {
      made->Release();
      return D3DERR_OUTOFVIDEOMEMORY;
    }
  }
  *texture = made;
  return D3D_OK;
}

TextureGl::TextureGl(D3DDeviceGl& device, uint32_t width, uint32_t height, uint32_t levels,
                     uint32_t usage, D3DFORMAT format, D3DPOOL pool)
    : device_(&device),
      shared_(device.Shared()),
      width_(width),
      height_(height),
      levelCount_(levels),
      usage_(usage),
      format_(format),
      pool_(pool),
      lockFlags_(levels, kNotLocked) {
  if (!IsRenderTarget()) {
    levels_.resize(levels);
    for (uint32_t level = 0; level < levels; ++level) {
      levels_[level].assign(FormatLevelSize(format, Width(level), Height(level)), 0);
    }
  }
  if (pool_ == D3DPOOL_DEFAULT) ++shared_->liveDefaultPool;
}

TextureGl::~TextureGl() {
  if (name_ != 0 && shared_->deviceAlive && device_->MakeCurrent()) {
    device_->Targets().ForgetTexture(name_);
    glDeleteTextures(1, &name_);
  }
  if (pool_ == D3DPOOL_DEFAULT) --shared_->liveDefaultPool;
}

bool TextureGl::CreateGlTexture() {
  compressedOnGpu_ = IsCompressedFormat(format_) && !g_compressedUploadDisabled && DriverHasS3tc();
  const GlFormat gl = GlFormatFor(format_, IsRenderTarget(), compressedOnGpu_);
  while (glGetError() != GL_NO_ERROR) {
  }
  glGenTextures(1, &name_);
  ScopedTextureBinding binding(name_);
  for (uint32_t level = 0; level < levelCount_; ++level) {
    const GLsizei w = static_cast<GLsizei>(Width(level));
    const GLsizei h = static_cast<GLsizei>(Height(level));
    if (gl.format == 0) {
      glCompressedTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), gl.internalFormat, w, h, 0,
                             static_cast<GLsizei>(LevelSize(level)), nullptr);
    } else {
      glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), static_cast<GLint>(gl.internalFormat),
                   w, h, 0, gl.format, gl.type, nullptr);
    }
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levelCount_ - 1));
  // Direct3D's default sampler: point filtering, no mip filter. The draw code's sampler objects
  // override these; they matter only to a draw without one.
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, gl.swizzle);
  const GLenum error = glGetError();
  if (error != GL_NO_ERROR) {
    GfxLog("gfx: GL refused a %u x %u texture of format %u (error 0x%X)\n", width_, height_,
           static_cast<unsigned>(format_), error);
    return false;
  }
  return true;
}

D3DDeviceGl* TextureGl::Device() const { return shared_->deviceAlive ? device_ : nullptr; }

uint32_t TextureGl::Width(uint32_t level) const { return MipSize(width_, level); }
uint32_t TextureGl::Height(uint32_t level) const { return MipSize(height_, level); }

uint8_t* TextureGl::LevelBytes(uint32_t level) {
  return level < levels_.size() ? levels_[level].data() : nullptr;
}

const uint8_t* TextureGl::LevelBytes(uint32_t level) const {
  return level < levels_.size() ? levels_[level].data() : nullptr;
}

uint64_t TextureGl::LevelSize(uint32_t level) const {
  return level < levelCount_ ? FormatLevelSize(format_, Width(level), Height(level)) : 0;
}

uint32_t TextureGl::LevelPitch(uint32_t level) const {
  return level < levelCount_ ? static_cast<uint32_t>(FormatPitch(format_, Width(level))) : 0;
}

bool TextureGl::Lockable() const {
  return HasCpuCopy() && (pool_ != D3DPOOL_DEFAULT || (usage_ & D3DUSAGE_DYNAMIC));
}

HRESULT TextureGl::GetLevelDesc(uint32_t level, D3DSURFACE_DESC* desc) {
  if (!desc || level >= levelCount_) return D3DERR_INVALIDCALL;
  *desc = D3DSURFACE_DESC{};
  desc->Format = format_;
  desc->Type = D3DRTYPE_SURFACE;
  desc->Usage = usage_;
  desc->Pool = pool_;
  desc->MultiSampleType = D3DMULTISAMPLE_NONE;
  desc->MultiSampleQuality = 0;
  desc->Width = Width(level);
  desc->Height = Height(level);
  return D3D_OK;
}

HRESULT TextureGl::LockRect(uint32_t level, D3DLOCKED_RECT* locked, const RECT* rect,
                            uint32_t flags) {
  if (!locked || level >= levelCount_ || !Lockable() || lockFlags_[level] != kNotLocked) {
    return D3DERR_INVALIDCALL;
  }
  const uint32_t width = Width(level);
  const uint32_t height = Height(level);
  uint64_t offset = 0;
  if (rect) {
    if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right ||
        rect->top >= rect->bottom || static_cast<uint32_t>(rect->right) > width ||
        static_cast<uint32_t>(rect->bottom) > height) {
      return D3DERR_INVALIDCALL;
    }
    const uint32_t left = static_cast<uint32_t>(rect->left);
    const uint32_t top = static_cast<uint32_t>(rect->top);
    if (IsCompressedFormat(format_)) {
      // Blocks are the unit of a compressed level: a rectangle must start and end on block
      // edges (or at the level's own edge).
      const auto onEdge = [](uint32_t v, uint32_t size) { return v % 4 == 0 || v == size; };
      if (!onEdge(left, width) || !onEdge(top, height) ||
          !onEdge(static_cast<uint32_t>(rect->right), width) ||
          !onEdge(static_cast<uint32_t>(rect->bottom), height)) {
        return D3DERR_INVALIDCALL;
      }
      offset = uint64_t{top / 4} * LevelPitch(level) + uint64_t{left / 4} * BlockBytes(format_);
    } else {
      offset = uint64_t{top} * LevelPitch(level) + uint64_t{left} * BytesPerPixel(format_);
    }
  }
  locked->Pitch = static_cast<int32_t>(LevelPitch(level));
  locked->pBits = levels_[level].data() + offset;
  lockFlags_[level] = flags;
  return D3D_OK;
}

HRESULT TextureGl::UnlockRect(uint32_t level) {
  if (level >= levelCount_ || lockFlags_[level] == kNotLocked) return D3DERR_INVALIDCALL;
  const uint32_t flags = lockFlags_[level];
  lockFlags_[level] = kNotLocked;
  if (!(flags & D3DLOCK_READONLY) && name_ != 0 && shared_->deviceAlive &&
      device_->MakeCurrent()) {
    Upload(level, levels_[level].data());
  }
  return D3D_OK;
}

bool TextureGl::IsLevelLocked(uint32_t level) const {
  return level < levelCount_ && lockFlags_[level] != kNotLocked;
}

HRESULT TextureGl::GetSurfaceLevel(uint32_t level, D3DSurface** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  if (level >= levelCount_) return D3DERR_INVALIDCALL;
  *surface = SurfaceGl::ForTextureLevel(this, level);
  return D3D_OK;
}

bool TextureGl::WriteLevel(uint32_t level, const uint8_t* bytes) {
  if (level >= levelCount_ || !bytes) return false;
  if (HasCpuCopy()) std::memcpy(levels_[level].data(), bytes, levels_[level].size());
  if (name_ != 0 && shared_->deviceAlive && device_->MakeCurrent()) Upload(level, bytes);
  return true;
}

void TextureGl::Upload(uint32_t level, const uint8_t* bytes) {
  const GlFormat gl = GlFormatFor(format_, IsRenderTarget(), compressedOnGpu_);
  const GLsizei w = static_cast<GLsizei>(Width(level));
  const GLsizei h = static_cast<GLsizei>(Height(level));
  ScopedTextureBinding binding(name_);
  while (glGetError() != GL_NO_ERROR) {
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  if (gl.format == 0) {
    glCompressedTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), 0, 0, w, h,
                              gl.internalFormat, static_cast<GLsizei>(LevelSize(level)), bytes);
  } else if (IsCompressedFormat(format_)) {
    std::vector<uint32_t> argb(static_cast<size_t>(w) * static_cast<size_t>(h));
    LevelToArgb(format_, bytes, Width(level), Height(level), argb.data());
    glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), 0, 0, w, h, gl.format, gl.type,
                    argb.data());
  } else {
    glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), 0, 0, w, h, gl.format, gl.type,
                    bytes);
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  const GLenum error = glGetError();
  if (error != GL_NO_ERROR) {
    GfxLog("gfx: GL refused level %u of a %u x %u texture of format %u (error 0x%X)\n", level,
           width_, height_, static_cast<unsigned>(format_), error);
  }
}

bool TextureGl::ReadLevel0(uint32_t* pixels) {
  if (!pixels) return false;
  const size_t count = static_cast<size_t>(width_) * height_;
  if (name_ == 0) {
    return HasCpuCopy() && LevelToArgb(format_, levels_[0].data(), width_, height_, pixels);
  }
  if (!shared_->deviceAlive || !device_->MakeCurrent()) return false;
  {
    ScopedTextureBinding binding(name_);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    // GL fills the channels a format lacks with 0 (colour) and 1 (alpha); the swizzle below
    // then gives what a sampler returns.
    glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
  }
  const GlFormat gl = GlFormatFor(format_, IsRenderTarget(), compressedOnGpu_);
  if (std::memcmp(gl.swizzle, kRgba, sizeof kRgba) != 0) {
    for (size_t i = 0; i < count; ++i) pixels[i] = Swizzled(pixels[i], gl.swizzle);
  }
  return true;
}

}  // namespace gfx
