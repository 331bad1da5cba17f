#include "Engine/PC/PCTexture.h"

#include <cstdio>
#include <cstring>

#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCFileIO.h"
#include "Platform/Gfx/D3DX.h"

using namespace gfx;

namespace {

// Render targets are always this size and format.
constexpr uint32_t kTargetSize = 256;

D3DDevice* Device() { return GetApp().GetDisplay()->GetDevice(); }

// Device results go to the report; a missing device is reported as an invalid call, so that a
// texture asked for before the display exists leaves a trace instead of a crash.
HRESULT CreateTexture(uint32_t width, uint32_t height, uint32_t usage, D3DFORMAT format,
                      D3DPOOL pool, D3DTexture** out) {
  D3DDevice* device = Device();
  HRESULT hr = device ? device->CreateTexture(width, height, 1, usage, format, pool, out)
                      : D3DERR_INVALIDCALL;
  ReportD3DError(hr);
  if (FAILED(hr)) *out = nullptr;
  return hr;
}

HRESULT CreateFromImage(const uint8_t* image, uint32_t size, D3DTexture** out) {
  D3DDevice* device = Device();
  HRESULT hr =
      device ? D3DXCreateTextureFromFileInMemory(device, image, size, out) : D3DERR_INVALIDCALL;
  ReportD3DError(hr);
  if (FAILED(hr)) *out = nullptr;
  return hr;
}

void ReleaseTexture(D3DTexture*& texture) {
  if (texture) texture->Release();
  texture = nullptr;
}

uint32_t ReadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

void TextureData::PlatformDelete() {
  ReleaseTexture(texture);
  if (data) TrackedFree("TextureData::PlatformDelete", data);
  data = nullptr;
  ReleaseTexture(staging);
}

Texture::~Texture() { CleanUp(); }

void Texture::Init() {
  // A second Init must not lose the records of the first.
  CleanUp();
  m_registry.Init("Texture::Init");
  m_created = 0;
}

void Texture::CleanUp() {
  m_registry.Clear([this](TextureData* record) { FreeRecord(record); }, "Texture::CleanUp");
}

void Texture::FreeRecord(TextureData* record) {
  if (!record) return;
  record->PlatformDelete();
  TrackedDelete("Texture::FreeRecord", record);
}

TextureData* Texture::Find(int32_t handle) const { return m_registry.Find(handle); }

TextureData* Texture::FindForBinding(int32_t handle) const {
  TextureData* record = handle == -1 ? nullptr : Find(handle);
  if (!record && m_fallback != -1) record = Find(m_fallback);
  return record;
}

int32_t Texture::AddRecord(TextureData* record) {
  if (m_registry.Add(record, "Texture::AddRecord")) return static_cast<int32_t>(record->handle);
  FreeRecord(record);
  return -1;
}

int32_t Texture::Load(const char* name) {
  if (!name || !IsInitialised()) return -1;
  int32_t handle = static_cast<int32_t>(CRC32::CreateHash(name));
  // Names are not compared: two names with one identifier share a texture.
  if (m_registry.Share(handle)) return handle;
  if (FileIO::GetFileSize(name) == 0) return -1;
  TextureData* record = CreateTextureData(name);
  if (!record) return -1;
  record->handle = static_cast<uint32_t>(handle);
  return AddRecord(record);
}

bool Texture::ReadDdsSize(const uint8_t* image, uint32_t size, uint32_t* width, uint32_t* height) {
  if (!image || size < 20) return false;
  *height = ReadU32(image + 12);
  *width = ReadU32(image + 16);
  return *width <= 0xFFFFu && *height <= 0xFFFFu;
}

TextureData* Texture::CreateTextureData(const char* name) {
  int32_t size = 0;
  auto* image = static_cast<uint8_t*>(FileIO::LoadFile(name, &size));
  if (!image) {
    DebugLog().Write("Unable to load texture %s\n", name);
    return nullptr;
  }
  TextureData* record = TrackedNew<TextureData>("Texture::CreateTextureData");
  if (!record) {
    TrackedFree("Texture::CreateTextureData", image);
    DebugLog().Write("Unable to load texture %s\n", name);
    return nullptr;
  }
  record->refCount = 1;
  record->data = image;
  record->dataSize = static_cast<uint32_t>(size);
  if (SUCCEEDED(CreateFromImage(image, record->dataSize, &record->texture))) {
    uint32_t width = 0, height = 0;
    if (ReadDdsSize(image, record->dataSize, &width, &height)) {
      record->width = static_cast<uint16_t>(width);
      record->height = static_cast<uint16_t>(height);
    } else {
      // The record's sizes are 16-bit; a cut-down size would place every texel wrongly for
      // the callers that scale by it. Such a texture is kept like one the device refused.
      DebugLog().Write("Texture %s is too large (%u x %u)\n", name, width, height);
      ReleaseTexture(record->texture);
    }
  }
  return record;
}

void Texture::SetStage(int32_t handle) {
  TextureData* record = FindForBinding(handle);
  D3DDevice* device = Device();
  if (device) ReportD3DError(device->SetTexture(0, record ? record->texture : nullptr));
}

void Texture::SetStage1(int32_t handle) {
  TextureData* record = FindForBinding(handle);
  D3DDevice* device = Device();
  if (device) ReportD3DError(device->SetTexture(1, record ? record->texture : nullptr));
}

void Texture::Delete(int32_t handle) {
  if (handle == -1) return;
  TextureData* record = Find(handle);
  if (!record) return;
  // Records made in memory have no count: their first Delete frees them.
  if (!record->IsMadeInMemory() && !Registry::Release(record)) return;
  record->PlatformDelete();
  RemoveSlot(handle);
}

void Texture::RemoveSlot(int32_t handle) {
  FreeRecord(m_registry.Remove(handle, "Texture::RemoveSlot"));
}

void Texture::CreateMemoryTextures(TextureData* record) {
  if (record->IsRenderTarget()) {
    CreateTexture(record->width, record->height, D3DUSAGE_RENDERTARGET, D3DFMT_R5G6B5,
                  D3DPOOL_DEFAULT, &record->texture);
    return;
  }
  CreateTexture(record->width, record->height, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                &record->texture);
  CreateTexture(record->width, record->height, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                &record->staging);
}

int32_t Texture::CreateRenderTarget() {
  if (!IsInitialised()) return -1;
  char name[64];
  std::snprintf(name, sizeof(name), "RenderTextureTargetN%i", m_created);
  ++m_created;
  int32_t handle = static_cast<int32_t>(CRC32::CreateHash(name));
  TextureData* record = TrackedNew<TextureData>("Texture::CreateRenderTarget");
  if (!record) return -1;
  record->SetMadeInMemory();
  record->SetRenderTarget();
  record->refCount = 1;
  record->width = kTargetSize;
  record->height = kTargetSize;
  record->handle = static_cast<uint32_t>(handle);
  CreateMemoryTextures(record);
  return AddRecord(record);
}

int32_t Texture::CreateSystemTexture(int32_t width, int32_t height, int32_t) {
  if (!IsInitialised()) return -1;
  char name[64];
  std::snprintf(name, sizeof(name), "SystemTextureTargetN%i", m_created);
  ++m_created;
  int32_t handle = static_cast<int32_t>(CRC32::CreateHash(name));
  if (width != height)
    DebugLog().Write(
        "Non square texture page created, could have performance implications on PC\n");
  // The record holds 16-bit sizes; anything else has no buffer that could describe it.
  uint8_t* pixels = nullptr;
  if (width > 0 && height > 0 && width <= 0xFFFF && height <= 0xFFFF)
    pixels = static_cast<uint8_t*>(
        TrackedAlloc("Texture::CreateSystemTexture", static_cast<size_t>(width) * height * 4));
  if (!pixels) {
    DebugLog().Write("Unable to create textures of Dim %i x %i\n", width, height);
    return -1;
  }
  std::memset(pixels, 0, static_cast<size_t>(width) * height * 4);
  TextureData* record = TrackedNew<TextureData>("Texture::CreateSystemTexture");
  if (!record) {
    TrackedFree("Texture::CreateSystemTexture", pixels);
    DebugLog().Write("Unable to create textures of Dim %i x %i\n", width, height);
    return -1;
  }
  record->SetMadeInMemory();
  record->width = static_cast<uint16_t>(width);
  record->height = static_cast<uint16_t>(height);
  record->data = pixels;
  record->dataSize = static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 4;
  record->handle = static_cast<uint32_t>(handle);
  CreateMemoryTextures(record);
  return AddRecord(record);
}

uint8_t* Texture::GetPixels(int32_t handle) {
  TextureData* record = handle == -1 ? nullptr : Find(handle);
  if (!record) return nullptr;
  record->SetHandedOut();
  return record->data;
}

int32_t Texture::GetWidth(int32_t handle) {
  TextureData* record = handle == -1 ? nullptr : Find(handle);
  return record ? record->width : 0;
}

int32_t Texture::GetHeight(int32_t handle) {
  TextureData* record = handle == -1 ? nullptr : Find(handle);
  return record ? record->height : 0;
}

bool Texture::CopyPixelRows(uint8_t* dest, int32_t pitch, const uint8_t* source, int32_t width,
                            int32_t height) {
  if (!dest || !source || width <= 0 || height <= 0) return false;
  const size_t row = static_cast<size_t>(width) * 4;
  if (pitch < 0 || static_cast<size_t>(pitch) < row) return false;
  if (static_cast<size_t>(pitch) == row) {
    std::memcpy(dest, source, row * static_cast<size_t>(height));
    return true;
  }
  for (int32_t y = 0; y < height; ++y) {
    std::memcpy(dest, source, row);
    dest += pitch;
    source += row;
  }
  return true;
}

void Texture::UploadPixels(int32_t handle) {
  TextureData* record = handle == -1 ? nullptr : Find(handle);
  D3DDevice* device = Device();
  // Only system textures have both a pixel buffer and a staging twin.
  if (!record || !record->staging || !record->texture || !record->data || !device) return;
  D3DLOCKED_RECT locked = {};
  HRESULT hr = record->staging->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD);
  ReportD3DError(hr);
  if (FAILED(hr)) return;
  bool copied = locked.pBits && CopyPixelRows(static_cast<uint8_t*>(locked.pBits), locked.Pitch,
                                              record->data, record->width, record->height);
  ReportD3DError(record->staging->UnlockRect(0));
  // A lock without usable memory sends nothing: the texture keeps its last good pixels.
  if (!copied) return;
  ReportD3DError(device->UpdateTexture(record->staging, record->texture));
}

void Texture::ReleaseAll() {
  if (!IsInitialised()) return;
  // The device keeps what is bound to it; stages still holding a default-pool texture would keep
  // it alive through the reset, and the reset refuses while any lives.
  if (D3DDevice* device = Device()) {
    ReportD3DError(device->SetTexture(0, nullptr));
    ReportD3DError(device->SetTexture(1, nullptr));
  }
  m_registry.ForEach([](TextureData* record) {
    if (!record->IsMadeInMemory()) return;
    ReleaseTexture(record->staging);
    ReleaseTexture(record->texture);
  });
}

void Texture::RestoreAll() {
  m_registry.ForEach([this](TextureData* record) {
    if (record->IsMadeInMemory()) {
      // A restore without a release before it must not leak the old objects.
      ReleaseTexture(record->staging);
      ReleaseTexture(record->texture);
      CreateMemoryTextures(record);
      return;
    }
    ReleaseTexture(record->texture);
    if (!record->data) return;
    if (SUCCEEDED(CreateFromImage(record->data, record->dataSize, &record->texture))) {
      // A texture the device refused at load (or that had no device then) gets its sizes now;
      // one whose sizes do not fit stays without a texture, as at load.
      uint32_t width = 0, height = 0;
      if (ReadDdsSize(record->data, record->dataSize, &width, &height)) {
        record->width = static_cast<uint16_t>(width);
        record->height = static_cast<uint16_t>(height);
      } else {
        ReleaseTexture(record->texture);
      }
    }
  });
}
