#pragma once
// The texture manager as the rest of the engine sees it: textures by 32-bit handle (-1 = none),
// loaded from files or made in memory, bound to stage 0, painted through a pixel buffer. The
// PC implementation is `Texture` (Engine/PC/PCTexture.h).

#include <cstdint>

#include "Engine/Factory.h"

class BaseTexture : public Factory {
 public:
  // The handle of the loaded file, or -1.
  virtual int32_t Load(const char* name) = 0;
  // Binds the texture to stage 0; -1 binds the fallback texture.
  virtual void SetStage(int32_t handle) = 0;
  // Drops one reference; -1 does nothing.
  virtual void Delete(int32_t handle) = 0;
  // A texture the caller paints into (through GetPixels and UploadPixels); the third argument
  // means nothing on this platform. The handle, or -1.
  virtual int32_t CreateSystemTexture(int32_t width, int32_t height, int32_t unused) = 0;
  virtual int32_t DeleteSystemTexture(int32_t handle) {
    Delete(handle);
    return 0;
  }
  // A system texture's pixel buffer (width × height × 4 bytes, ARGB), or null.
  virtual uint8_t* GetPixels(int32_t handle) = 0;
  // Sends the pixel buffer to the device.
  virtual void UploadPixels(int32_t handle) = 0;
  virtual int32_t GetWidth(int32_t handle) = 0;
  virtual int32_t GetHeight(int32_t handle) = 0;
};
