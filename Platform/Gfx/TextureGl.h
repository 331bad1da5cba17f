#pragma once
// A Direct3D texture: a GL texture object for the DEFAULT and MANAGED pools, and a copy of every
// level in the texture's own format on the CPU, which LockRect hands out and UnlockRect sends to
// GL. SYSTEMMEM (and SCRATCH) textures live on the CPU only: they are the source of
// UpdateTexture. Render targets have no CPU copy: GL draws into them and nobody locks them.
//
// Rows: level data is uploaded top row first, so GL's row 0 (texture coordinate v = 0) is the
// image's top row, which is where Direct3D samples v = 0. Render targets are drawn with their y
// flipped for the same reason, so every texture, drawn into or loaded, keeps its top row first.
//
// Formats keep their own GL layout where GL has an exact one (BGRA bytes, packed 16-bit types,
// one- and two-channel textures with a swizzle for luminance and alpha); DXT uses the S3TC
// formats when the driver has them and is decoded to RGBA8 on the CPU otherwise.

#include <epoxy/gl.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "Platform/Gfx/D3D.h"

namespace gfx {

class D3DDeviceGl;
struct DeviceShared;

class TextureGl final : public D3DTexture {
 public:
  // Checks the arguments as Direct3D does (D3DERR_INVALIDCALL for a zero or too large size, more
  // levels than the chain has, an unknown format, a render target that is not R5G6B5, X8R8G8B8
  // or A8R8G8B8 in the DEFAULT pool, a dynamic MANAGED texture); levels 0 means the full chain.
  // D3DERR_OUTOFVIDEOMEMORY when GL refuses the storage. *texture is null on failure.
  static HRESULT Create(D3DDeviceGl& device, uint32_t width, uint32_t height, uint32_t levels,
                        uint32_t usage, D3DFORMAT format, D3DPOOL pool, TextureGl** texture);
  ~TextureGl() override;
  TextureGl(const TextureGl&) = delete;
  TextureGl& operator=(const TextureGl&) = delete;

  // ---- D3DTexture.
  uint32_t GetLevelCount() override { return levelCount_; }
  HRESULT GetLevelDesc(uint32_t level, D3DSURFACE_DESC* desc) override;
  // Refused for render targets and for DEFAULT-pool textures that are not DYNAMIC (Direct3D
  // cannot lock those either), for a level already locked, and for a rectangle outside the level
  // (or, for DXT, not on block edges). Pitch is width x bytes per texel, or the bytes of one row
  // of 4 x 4 blocks.
  HRESULT LockRect(uint32_t level, D3DLOCKED_RECT* locked, const RECT* rect,
                   uint32_t flags) override;
  // Sends the level to GL unless it was locked D3DLOCK_READONLY.
  HRESULT UnlockRect(uint32_t level) override;
  // A new surface standing for the level; it holds a reference to this texture.
  HRESULT GetSurfaceLevel(uint32_t level, D3DSurface** surface) override;

  // ---- What the pipeline binds.
  GLuint GlName() const { return name_; }
  uint32_t LevelCount() const { return levelCount_; }
  bool IsRenderTarget() const { return (usage_ & D3DUSAGE_RENDERTARGET) != 0; }

  // ---- For the device's parts.
  D3DDeviceGl* Device() const;  // null once the device is gone
  const std::shared_ptr<DeviceShared>& Shared() const { return shared_; }
  D3DFORMAT Format() const { return format_; }
  D3DPOOL Pool() const { return pool_; }
  bool IsLevelLocked(uint32_t level) const;
  uint32_t Usage() const { return usage_; }
  uint32_t Width(uint32_t level = 0) const;
  uint32_t Height(uint32_t level = 0) const;
  bool HasCpuCopy() const { return !levels_.empty(); }
  // A level's CPU copy (null for render targets or a level out of range), its size and pitch.
  uint8_t* LevelBytes(uint32_t level);
  const uint8_t* LevelBytes(uint32_t level) const;
  uint64_t LevelSize(uint32_t level) const;
  uint32_t LevelPitch(uint32_t level) const;
  // Puts a whole level (LevelSize bytes in the texture's format) into the CPU copy, if any, and
  // into the GL texture, if any. False when the level is out of range.
  bool WriteLevel(uint32_t level, const uint8_t* bytes);
  // Level 0 as width x height A8R8G8B8 words, top row first: what sampling would see (missing
  // channels filled as the format's swizzle says). Read back from GL when there is a GL texture.
  bool ReadLevel0(uint32_t* pixels);

  // Tests turn the S3TC path off to run the software decoder instead (textures made afterwards).
  static void SetCompressedUploadDisabled(bool disabled);

 private:
  TextureGl(D3DDeviceGl& device, uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
            D3DFORMAT format, D3DPOOL pool);
  bool CreateGlTexture();
  // With the context current.
  void Upload(uint32_t level, const uint8_t* bytes);
  bool Lockable() const;

  D3DDeviceGl* device_;
  std::shared_ptr<DeviceShared> shared_;
  uint32_t width_;
  uint32_t height_;
  uint32_t levelCount_;
  uint32_t usage_;
  D3DFORMAT format_;
  D3DPOOL pool_;
  GLuint name_ = 0;
  bool compressedOnGpu_ = false;
  std::vector<std::vector<uint8_t>> levels_;
  std::vector<uint32_t> lockFlags_;  // per level; kNotLocked when not locked
};

}  // namespace gfx
