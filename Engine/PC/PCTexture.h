#pragma once
// The texture manager: DDS textures loaded by file name and shared by handle, textures made in
// memory (system textures that the game paints into, render targets), binding to the device's
// stages and the rebuild of every device texture after a lost device.
//
// A handle is the asset identifier of the file name (CRC32::CreateHash), -1 for none; textures
// made in memory are named "SystemTextureTargetN<i>" or "RenderTextureTargetN<i>" from one shared
// counter. Records live in 91 buckets (handle mod 91), each a list with new records at its head.
// A loaded record keeps its whole file image: after a device reset the texture is rebuilt from it.
//
// Every handle that is neither registered nor -1 is treated like a missing texture: binding it
// binds the fallback texture (or nothing when that is missing too), and the other operations do
// nothing and give 0 or null.

#include <cstdint>

#include "Engine/AssetRegistry.h"
#include "Engine/BaseTexture.h"
#include "Engine/CRC32.h"
#include "Platform/Gfx/D3D.h"

struct TextureData {
  static constexpr uint16_t kPixelsHandedOut = 0x2;
  static constexpr uint16_t kMadeInMemory = 0x4;
  static constexpr uint16_t kRenderTarget = 0x8;

  gfx::D3DTexture* texture = nullptr;
  // System textures only: the system-memory twin that pixels travel through.
  gfx::D3DTexture* staging = nullptr;
  // Loaded: the whole DDS image. System texture: width × height × 4 bytes of ARGB. Target: null.
  uint8_t* data = nullptr;
  uint32_t dataSize = 0;
  uint32_t handle = 0xFFFFFFFFu;
  uint16_t refCount = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint16_t flags = 0;

  void SetHandedOut() { flags |= kPixelsHandedOut; }
  bool IsMadeInMemory() const { return (flags & kMadeInMemory) != 0; }
  void SetMadeInMemory() { flags |= kMadeInMemory; }
  bool IsRenderTarget() const { return (flags & kRenderTarget) != 0; }
  void SetRenderTarget() { flags |= kRenderTarget; }

  // Releases the device objects and frees the data; the record itself stays.
  void PlatformDelete();
};

class Texture : public BaseTexture, private CRC32 {
  // A bucket's list goes with its last record.
  using Registry = AssetRegistry<TextureData, true>;

 public:
  static constexpr uint32_t kBucketCount = Registry::kBucketCount;

  Texture() = default;
  ~Texture() override;
  Texture(const Texture&) = delete;
  Texture& operator=(const Texture&) = delete;

  int32_t Load(const char* name) override;
  void SetStage(int32_t handle) override;
  void Delete(int32_t handle) override;
  int32_t CreateSystemTexture(int32_t width, int32_t height, int32_t unused) override;
  uint8_t* GetPixels(int32_t handle) override;
  void UploadPixels(int32_t handle) override;
  int32_t GetWidth(int32_t handle) override;
  int32_t GetHeight(int32_t handle) override;
  virtual void Init();
  virtual void CleanUp();

  // A 256 × 256 render target (R5G6B5, default pool); its handle. Used by the render-target sets.
  int32_t CreateRenderTarget();
  // The record of a handle, or null.
  TextureData* Find(int32_t handle) const;
  // Stage 1 with the same rule as SetStage.
  void SetStage1(int32_t handle);
  // Around a device reset: made-in-memory textures live in the default pool and must go before
  // the reset; every texture is made again after it.
  void ReleaseAll();
  void RestoreAll();
  // Unlinks and frees the record of a handle (its device objects must be gone already).
  void RemoveSlot(int32_t handle);
  // Loads one file into a fresh record; null when the file cannot be read.
  TextureData* CreateTextureData(const char* name);

  int32_t GetFallback() const { return m_fallback; }
  void SetFallback(int32_t handle) { m_fallback = handle; }
  bool IsInitialised() const { return m_registry.IsInitialised(); }
  // Records in one bucket (0 when the bucket has no list); for tests of the registry's shape.
  int32_t GetBucketRecordCount(uint32_t bucket) const {
    return m_registry.GetBucketRecordCount(bucket);
  }
  bool BucketHasList(uint32_t bucket) const { return m_registry.BucketHasList(bucket); }

  // Copies `height` rows of width × 4 bytes from a packed buffer into rows `pitch` bytes apart
  // (one block when the pitch is exactly a row). False, copying nothing, when the pitch is
  // smaller than a row.
  static bool CopyPixelRows(uint8_t* dest, int32_t pitch, const uint8_t* source, int32_t width,
                            int32_t height);
  // The width and height of a DDS image from its header (the 32-bit fields at bytes 16 and 12).
  // False when the image is too short for them or either does not fit the record's 16 bits.
  static bool ReadDdsSize(const uint8_t* image, uint32_t size, uint32_t* width, uint32_t* height);

 private:
  // The record a binding uses: the handle's, else the fallback's, else null.
  TextureData* FindForBinding(int32_t handle) const;
  // Registers a record made by a caller; its handle, or -1 (the record freed) without memory.
  int32_t AddRecord(TextureData* record);
  void FreeRecord(TextureData* record);
  // Creates the default-pool texture (and the staging twin of a system texture) of a record
  // made in memory.
  void CreateMemoryTextures(TextureData* record);

  // Names textures made in memory; shared by system textures and render targets.
  int32_t m_created = 0;
  int32_t m_fallback = -1;
  Registry m_registry;
};
