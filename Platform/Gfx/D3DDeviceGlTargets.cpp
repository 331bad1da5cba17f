// The device's textures, surfaces and render targets, and the D3DX loader of DDS images.
#include <vector>

#include "Platform/Gfx/D3DDeviceGl.h"
#include "Platform/Gfx/D3DX.h"
#include "Platform/Gfx/Dds.h"
#include "Platform/Gfx/GfxLog.h"
#include "Platform/Gfx/PixelFormats.h"
#include "Platform/Gfx/SurfaceGl.h"
#include "Platform/Gfx/TargetState.h"
#include "Platform/Gfx/TextureGl.h"

namespace gfx {

namespace {

// A rectangle of a surface: the whole surface for null, else it must lie inside and not be
// empty.
bool ResolveRect(const RECT* rect, const SurfaceGl& surface, RECT* out) {
  if (!rect) {
    *out = RECT{0, 0, surface.Width(), surface.Height()};
    return true;
  }
  *out = *rect;
  return rect->left >= 0 && rect->top >= 0 && rect->left < rect->right &&
         rect->top < rect->bottom && rect->right <= surface.Width() &&
         rect->bottom <= surface.Height();
}

}  // namespace

int D3DDeviceGl::TargetWidth() const { return targets_->Width(); }
int D3DDeviceGl::TargetHeight() const { return targets_->Height(); }

HRESULT D3DDeviceGl::CreateTexture(uint32_t width, uint32_t height, uint32_t levels,
                                   uint32_t usage, D3DFORMAT format, D3DPOOL pool,
                                   D3DTexture** texture) {
  if (!texture) return D3DERR_INVALIDCALL;
  TextureGl* made = nullptr;
  const HRESULT result = TextureGl::Create(*this, width, height, levels, usage, format, pool, &made);
  *texture = made;
  return result;
}

HRESULT D3DDeviceGl::CreateDepthStencilSurface(uint32_t width, uint32_t height, D3DFORMAT format,
                                               D3DMULTISAMPLE_TYPE multiSample, uint32_t quality,
                                               int32_t discard, D3DSurface** surface) {
  // Without multisampling there is no quality level to pick, and discarding the contents at
  // Present is what every depth buffer here does anyway.
  (void)quality;
  (void)discard;
  if (!surface) return D3DERR_INVALIDCALL;
  SurfaceGl* made = nullptr;
  const HRESULT result =
      SurfaceGl::CreateDepthStencil(*this, width, height, format, multiSample, &made);
  *surface = made;
  return result;
}

HRESULT D3DDeviceGl::GetBackBuffer(uint32_t swapChain, uint32_t index, D3DBACKBUFFER_TYPE type,
                                   D3DSurface** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  // One swap chain; the back buffers behind the first are never drawn into, so only index 0
  // has a surface.
  if (swapChain != 0 || index != 0 || type != D3DBACKBUFFER_TYPE_MONO) return D3DERR_INVALIDCALL;
  SurfaceGl* back = targets_->BackBufferSurface();
  if (!back) return D3DERR_INVALIDCALL;
  back->AddRef();
  *surface = back;
  return D3D_OK;
}

HRESULT D3DDeviceGl::SetRenderTarget(uint32_t index, D3DSurface* surface) {
  CountCall(DeviceCall::SetRenderTarget);
  if (index != 0 || !surface) return D3DERR_INVALIDCALL;
  SurfaceGl* target = static_cast<SurfaceGl*>(surface);
  if (!target->IsRenderTarget() || target->Device() != this) return D3DERR_INVALIDCALL;
  if (!MakeCurrent()) return D3DERR_INVALIDCALL;
  targets_->SetRenderTarget(target);
  // Direct3D makes the viewport cover the new target.
  viewport_ = D3DVIEWPORT9{0,   0,   static_cast<uint32_t>(target->Width()),
                           static_cast<uint32_t>(target->Height()), 0.0f, 1.0f};
  BindRenderTarget();
  ApplyViewport();
  return D3D_OK;
}

HRESULT D3DDeviceGl::GetRenderTarget(uint32_t index, D3DSurface** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  if (index != 0) return D3DERR_NOTFOUND;
  SurfaceGl* target = targets_->RenderTarget();
  if (!target) return D3DERR_NOTFOUND;
  target->AddRef();
  *surface = target;
  return D3D_OK;
}

HRESULT D3DDeviceGl::SetDepthStencilSurface(D3DSurface* surface) {
  SurfaceGl* depth = static_cast<SurfaceGl*>(surface);
  if (depth && (!depth->IsDepth() || depth->Device() != this)) return D3DERR_INVALIDCALL;
  if (!MakeCurrent()) return D3DERR_INVALIDCALL;
  targets_->SetDepthStencil(depth);
  BindRenderTarget();
  return D3D_OK;
}

HRESULT D3DDeviceGl::GetDepthStencilSurface(D3DSurface** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  SurfaceGl* depth = targets_->DepthStencil();
  if (!depth) return D3DERR_NOTFOUND;
  depth->AddRef();
  *surface = depth;
  return D3D_OK;
}

HRESULT D3DDeviceGl::StretchRect(D3DSurface* source, const RECT* sourceRect, D3DSurface* dest,
                                 const RECT* destRect, D3DTEXTUREFILTERTYPE filter) {
  CountCall(DeviceCall::StretchRect);
  if (!source || !dest || filter > D3DTEXF_LINEAR) return D3DERR_INVALIDCALL;
  SurfaceGl* from = static_cast<SurfaceGl*>(source);
  SurfaceGl* to = static_cast<SurfaceGl*>(dest);
  if (!from->IsRenderTarget() || !to->IsRenderTarget() || from->Device() != this ||
      to->Device() != this || from->SameAs(*to)) {
    return D3DERR_INVALIDCALL;
  }
  RECT fromRect{};
  RECT toRect{};
  if (!ResolveRect(sourceRect, *from, &fromRect) || !ResolveRect(destRect, *to, &toRect)) {
    return D3DERR_INVALIDCALL;
  }
  if (!MakeCurrent()) return D3DERR_INVALIDCALL;
  targets_->Blit(from, fromRect, to, toRect, filter == D3DTEXF_LINEAR);
  return D3D_OK;
}

HRESULT D3DDeviceGl::UpdateTexture(D3DTexture* source, D3DTexture* dest) {
  CountCall(DeviceCall::UpdateTexture);
  if (!source || !dest) return D3DERR_INVALIDCALL;
  TextureGl* from = static_cast<TextureGl*>(source);
  TextureGl* to = static_cast<TextureGl*>(dest);
  if (from->Pool() != D3DPOOL_SYSTEMMEM || to->Pool() != D3DPOOL_DEFAULT ||
      from->Format() != to->Format() || from->Width() != to->Width() ||
      from->Height() != to->Height() || from->LevelCount() < to->LevelCount() ||
      to->Device() != this) {
    return D3DERR_INVALIDCALL;
  }
  for (uint32_t level = 0; level < to->LevelCount(); ++level) {
    to->WriteLevel(level, from->LevelBytes(level));
  }
  return D3D_OK;
}

HRESULT D3DDeviceGl::CreateOffscreenPlainSurface(uint32_t width, uint32_t height,
                                                 D3DFORMAT format, D3DPOOL pool,
                                                 D3DSurface** surface, void* sharedHandle) {
  // Nothing is shared between processes here.
  if (!surface || sharedHandle) return D3DERR_INVALIDCALL;
  SurfaceGl* made = nullptr;
  const HRESULT result = SurfaceGl::CreateOffscreenPlain(*this, width, height, format, pool, &made);
  *surface = made;
  return result;
}

HRESULT D3DDeviceGl::GetRenderTargetData(D3DSurface* renderTarget, D3DSurface* destSurface) {
  return CopyRenderTargetData(*this, static_cast<SurfaceGl*>(renderTarget),
                              static_cast<SurfaceGl*>(destSurface));
}

HRESULT D3DXCreateTextureFromFileInMemory(D3DDevice* device, const void* data, uint32_t size,
                                          D3DTexture** texture) {
  if (!texture) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  if (!device || !data) return D3DERR_INVALIDCALL;
  DdsImage image;
  HRESULT result = ReadDds(data, size, &image);
  if (FAILED(result)) return result;

  // A file without a chain gets a full one, as D3DX's default mip count asks.
  const uint32_t levels =
      image.levelCount > 1 ? image.levelCount : FullMipCount(image.width, image.height);
  TextureGl* made = nullptr;
  result = TextureGl::Create(*static_cast<D3DDeviceGl*>(device), image.width, image.height, levels,
                             0, image.format, D3DPOOL_MANAGED, &made);
  if (FAILED(result)) {
    GfxLog("gfx: D3DXCreateTextureFromFileInMemory: no texture for the %u x %u image\n",
           image.width, image.height);
    return result;
  }
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  for (uint32_t level = 0; level < image.levelCount; ++level) {
    made->WriteLevel(level, bytes + image.levels[level].offset);
  }
  if (image.levelCount < levels) {
    // Each level is filtered from the one above as A8R8G8B8, not from its re-encoded form, so
    // DXT and 16-bit formats do not lose a little more at every step.
    uint32_t width = image.width;
    uint32_t height = image.height;
    std::vector<uint32_t> above(static_cast<size_t>(width) * height);
    LevelToArgb(image.format, bytes + image.levels[0].offset, width, height, above.data());
    std::vector<uint32_t> below;
    std::vector<uint8_t> encoded;
    for (uint32_t level = 1; level < levels; ++level) {
      const uint32_t nextWidth = MipSize(image.width, level);
      const uint32_t nextHeight = MipSize(image.height, level);
      below.assign(static_cast<size_t>(nextWidth) * nextHeight, 0);
      BoxFilterArgb(above.data(), width, height, below.data());
      encoded.assign(made->LevelSize(level), 0);
      LevelFromArgb(image.format, below.data(), nextWidth, nextHeight, encoded.data());
      made->WriteLevel(level, encoded.data());
      above.swap(below);
      width = nextWidth;
      height = nextHeight;
    }
  }
  *texture = made;
  return D3D_OK;
}

namespace TestHooks {

HRESULT ReadTexture(D3DDevice* device, D3DTexture* texture, uint32_t* pixels) {
  if (!device || !texture || !pixels) return D3DERR_INVALIDCALL;
  TextureGl* read = static_cast<TextureGl*>(texture);
  if (read->Device() != static_cast<D3DDeviceGl*>(device)) return D3DERR_INVALIDCALL;
  return read->ReadLevel0(pixels) ? D3D_OK : D3DERR_INVALIDCALL;
}

void DisableCompressedTextures(bool disable) { TextureGl::SetCompressedUploadDisabled(disable); }

}  // namespace TestHooks

}  // namespace gfx
