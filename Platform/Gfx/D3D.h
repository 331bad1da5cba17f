#pragma once
// The Direct3D 9 object and device, rendered with OpenGL 3.3 core. The back buffer is a
// framebuffer object of the presentation size, stretched into the window at Present. The device
// is never lost by itself; tests install DeviceFaults that lose it so that the engine's recovery
// path runs.

#include "Platform/Gfx/D3DTypes.h"

namespace gfx {

// Reference-counted device objects (buffers, textures, surfaces, declarations, shaders and the
// assembler's buffers). Create gives one reference; Get* of a surface adds one; Release drops one
// and destroys the object at zero. The device also holds references to what is bound to it.
class D3DResource {
 public:
  virtual ~D3DResource() = default;
  uint32_t AddRef() { return ++m_refs; }
  uint32_t Release() {
    uint32_t left = --m_refs;
    if (left == 0) delete this;
    return left;
  }

 private:
  uint32_t m_refs = 1;
};

class D3DVertexBuffer : public D3DResource {
 public:
  // offset and size in bytes; size 0 locks to the end.
  virtual HRESULT Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual uint32_t GetLength() const = 0;
};

class D3DIndexBuffer : public D3DResource {
 public:
  virtual HRESULT Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual uint32_t GetLength() const = 0;
  virtual D3DFORMAT GetFormat() const = 0;
};

class D3DSurface : public D3DResource {
 public:
  virtual HRESULT GetDesc(D3DSURFACE_DESC* desc) = 0;
  virtual HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, uint32_t flags) = 0;
  virtual HRESULT UnlockRect() = 0;
};

class D3DTexture : public D3DResource {
 public:
  virtual uint32_t GetLevelCount() = 0;
  virtual HRESULT GetLevelDesc(uint32_t level, D3DSURFACE_DESC* desc) = 0;
  // Pixels in the texture's own format, rows top first, `Pitch` bytes apart.
  virtual HRESULT LockRect(uint32_t level, D3DLOCKED_RECT* locked, const RECT* rect,
                           uint32_t flags) = 0;
  virtual HRESULT UnlockRect(uint32_t level) = 0;
  virtual HRESULT GetSurfaceLevel(uint32_t level, D3DSurface** surface) = 0;
};

class D3DVertexDeclaration : public D3DResource {};
class D3DVertexShader : public D3DResource {};

// The assembler's output and message buffers.
class D3DXBuffer : public D3DResource {
 public:
  virtual void* GetBufferPointer() = 0;
  virtual uint32_t GetBufferSize() = 0;
};

// Device operations whose calls are counted, so that tests can see what reached the device.
enum class DeviceCall : uint32_t {
  SetRenderState,
  SetTextureStageState,
  SetSamplerState,
  SetTexture,
  SetTransform,
  SetVertexShader,
  SetVertexDeclaration,
  SetFVF,
  SetVertexShaderConstantF,
  SetStreamSource,
  SetIndices,
  DrawPrimitive,
  DrawPrimitiveUP,
  DrawIndexedPrimitive,
  Clear,
  Present,
  SetRenderTarget,
  StretchRect,
  UpdateTexture,
  Count,
};
class D3DDevice {
 public:
  virtual ~D3DDevice() = default;
  // Release() destroys the device (the engine holds exactly one reference).
  void Release() { delete this; }

  virtual HRESULT GetDeviceCaps(D3DCAPS9* caps) = 0;
  virtual HRESULT TestCooperativeLevel() = 0;
  virtual HRESULT Reset(D3DPRESENT_PARAMETERS* params) = 0;
  virtual HRESULT Present(const void* sourceRect, const void* destRect, void* destWindow,
                          const void* dirtyRegion) = 0;
  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  virtual HRESULT Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, D3DCOLOR color,
                        float z, uint32_t stencil) = 0;
  virtual HRESULT SetViewport(const D3DVIEWPORT9* viewport) = 0;
  virtual HRESULT GetViewport(D3DVIEWPORT9* viewport) = 0;
  virtual HRESULT EvictManagedResources() = 0;

  // Reads the back buffer, top row first: width × height A8R8G8B8 pixels. For tests and
  // screenshots.
  virtual HRESULT ReadBackBuffer(uint32_t* pixels, uint32_t width, uint32_t height) = 0;

  // ---- Resources.
  virtual HRESULT CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, D3DPOOL pool,
                                     D3DVertexBuffer** buffer) = 0;
  virtual HRESULT CreateIndexBuffer(uint32_t length, uint32_t usage, D3DFORMAT format,
                                    D3DPOOL pool, D3DIndexBuffer** buffer) = 0;
  virtual HRESULT CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                                D3DFORMAT format, D3DPOOL pool, D3DTexture** texture) = 0;
  virtual HRESULT CreateDepthStencilSurface(uint32_t width, uint32_t height, D3DFORMAT format,
                                            D3DMULTISAMPLE_TYPE multiSample, uint32_t quality,
                                            int32_t discard, D3DSurface** surface) = 0;
  // A lockable surface in system memory (D3DPOOL_SYSTEMMEM or D3DPOOL_SCRATCH) of an
  // uncompressed texture format: what GetRenderTargetData copies into.
  virtual HRESULT CreateOffscreenPlainSurface(uint32_t width, uint32_t height, D3DFORMAT format,
                                              D3DPOOL pool, D3DSurface** surface,
                                              void* sharedHandle) = 0;
  virtual HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                          D3DVertexDeclaration** declaration) = 0;
  // `function` is the token stream that D3DXAssembleShader produced.
  virtual HRESULT CreateVertexShader(const uint32_t* function, D3DVertexShader** shader) = 0;

  // ---- Pipeline state (stored raw; turned into GL when a draw needs it).
  virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) = 0;
  virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, uint32_t* value) = 0;
  virtual HRESULT SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type,
                                       uint32_t value) = 0;
  virtual HRESULT GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type,
                                       uint32_t* value) = 0;
  virtual HRESULT SetSamplerState(uint32_t sampler, D3DSAMPLERSTATETYPE type, uint32_t value) = 0;
  virtual HRESULT GetSamplerState(uint32_t sampler, D3DSAMPLERSTATETYPE type,
                                  uint32_t* value) = 0;
  virtual HRESULT SetTexture(uint32_t stage, D3DTexture* texture) = 0;
  virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
  virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) = 0;
  virtual HRESULT SetVertexDeclaration(D3DVertexDeclaration* declaration) = 0;
  virtual HRESULT SetFVF(uint32_t fvf) = 0;
  virtual HRESULT SetVertexShader(D3DVertexShader* shader) = 0;
  virtual HRESULT SetVertexShaderConstantF(uint32_t startRegister, const float* data,
                                           uint32_t vector4fCount) = 0;
  virtual HRESULT SetStreamSource(uint32_t stream, D3DVertexBuffer* buffer, uint32_t offsetBytes,
                                  uint32_t stride) = 0;
  virtual HRESULT SetIndices(D3DIndexBuffer* indices) = 0;

  // ---- Drawing.
  virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t startVertex,
                                uint32_t primitiveCount) = 0;
  virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, uint32_t primitiveCount,
                                  const void* vertexData, uint32_t stride) = 0;
  virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int32_t baseVertexIndex,
                                       uint32_t minIndex, uint32_t numVertices,
                                       uint32_t startIndex, uint32_t primitiveCount) = 0;

  // ---- Targets.
  virtual HRESULT GetBackBuffer(uint32_t swapChain, uint32_t index, D3DBACKBUFFER_TYPE type,
                                D3DSurface** surface) = 0;
  virtual HRESULT SetRenderTarget(uint32_t index, D3DSurface* surface) = 0;
  virtual HRESULT GetRenderTarget(uint32_t index, D3DSurface** surface) = 0;
  virtual HRESULT SetDepthStencilSurface(D3DSurface* surface) = 0;
  virtual HRESULT GetDepthStencilSurface(D3DSurface** surface) = 0;
  virtual HRESULT StretchRect(D3DSurface* source, const RECT* sourceRect, D3DSurface* dest,
                              const RECT* destRect, D3DTEXTUREFILTERTYPE filter) = 0;
  virtual HRESULT UpdateTexture(D3DTexture* source, D3DTexture* dest) = 0;
  // Copies the back buffer or a level of a render-target texture into an offscreen plain surface
  // or a texture level of the SYSTEMMEM pool of the same size and format.
  virtual HRESULT GetRenderTargetData(D3DSurface* renderTarget, D3DSurface* destSurface) = 0;

  // ---- Inspection for tests.
  uint32_t GetCallCount(DeviceCall call) const { return m_calls[static_cast<uint32_t>(call)]; }
  void ResetCallCounts() {
    for (uint32_t& c : m_calls) c = 0;
  }
  // Live resources in D3DPOOL_DEFAULT (render targets, dynamic buffers, ...). Reset is refused
  // with D3DERR_INVALIDCALL while any is alive, as Direct3D does.
  virtual int32_t LiveDefaultPoolResources() = 0;

 protected:
  void CountCall(DeviceCall call) { ++m_calls[static_cast<uint32_t>(call)]; }

 private:
  uint32_t m_calls[static_cast<uint32_t>(DeviceCall::Count)] = {};
};

class D3DObject {
 public:
  virtual ~D3DObject() = default;
  void Release() { delete this; }

  virtual uint32_t GetAdapterCount() = 0;
  virtual HRESULT GetAdapterIdentifier(uint32_t adapter, uint32_t flags,
                                       D3DADAPTER_IDENTIFIER9* identifier) = 0;
  virtual uint32_t GetAdapterModeCount(uint32_t adapter, D3DFORMAT format) = 0;
  virtual HRESULT EnumAdapterModes(uint32_t adapter, D3DFORMAT format, uint32_t mode,
                                   D3DDISPLAYMODE* out) = 0;
  virtual HRESULT CreateDevice(uint32_t adapter, D3DDEVTYPE type, void* focusWindow,
                               uint32_t behaviorFlags, D3DPRESENT_PARAMETERS* params,
                               D3DDevice** device) = 0;
};

// Direct3DCreate9: null when no OpenGL 3.3 core context can be had (or a test says so).
D3DObject* Direct3DCreate9(uint32_t sdkVersion);

// What a window needs so that CreateDevice can draw into it: call this before creating the
// window and add the result to the SDL window flags (it is SDL_WINDOW_OPENGL; the call also sets
// SDL's OpenGL context attributes, which some drivers read when the window is made).
uint32_t DeviceWindowFlags();

// What a driver may do that a working one never does by itself: refuse to start or to make a
// device, report another shader version or mode list, lose the device. The base answers "none of
// these" and is what runs unless a test installs a scripted one.
class DeviceFaults {
 public:
  virtual ~DeviceFaults() = default;
  // Direct3DCreate9 returns null.
  virtual bool ShouldFailDirect3DCreate() { return false; }
  // True when this CreateDevice call is to fail; a scripted failure is used up by the asking.
  virtual bool TakeCreateDeviceFailure(uint32_t behaviorFlags) {
    (void)behaviorFlags;
    return false;
  }
  // The vertex-shader version devices report; 0 for the real one (vs 1.1).
  virtual uint32_t ReportedVertexShaderVersion() { return 0; }
  // Modes that EnumAdapterModes lists in place of the real ones; false for the real list.
  virtual bool ReplacedDisplayModes(const D3DDISPLAYMODE** modes, uint32_t* count) {
    (void)modes;
    (void)count;
    return false;
  }
  // While lost, Present and TestCooperativeLevel answer D3DERR_DEVICELOST, or
  // TestCooperativeLevel D3DERR_DEVICENOTRESET when a Reset would succeed.
  virtual bool IsDeviceLost() { return false; }
  // Reset of a lost device answers D3DERR_DEVICELOST (so the engine makes a new device).
  virtual bool ResetFails() { return false; }
  // A successful Reset or a new device ends a loss.
  virtual void DeviceRestored() {}
};

// The faults in force: the base, answering "none", unless a test installed others.
DeviceFaults& GetDeviceFaults();
// Installs `faults` (null restores the base). The caller keeps ownership.
void SetDeviceFaults(DeviceFaults* faults);

// Inspection for tests and benchmarks.
namespace TestHooks {
// Number of live devices.
int LiveDeviceCount();
// The most devices alive at one time since the last ResetPeakLiveDeviceCount.
int PeakLiveDeviceCount();
void ResetPeakLiveDeviceCount();
// A window a device can be created on (the SDL window, as a focus window), for tests that have
// no application window; null on failure. Destroy it after the devices on it.
void* CreateTestWindow(int32_t width, int32_t height);
void DestroyTestWindow(void* window);
// What the last Present put into the device's window, top row first, A8R8G8B8, at the window's
// size in pixels. Meaningful on drivers that keep the window's pixels after a swap (the
// offscreen one that headless runs use).
HRESULT ReadPresentedPixels(D3DDevice* device, uint32_t* pixels, uint32_t width, uint32_t height);
// Level 0 of a texture of `device` as width x height A8R8G8B8 words, top row first, as sampling
// sees it (read from GL when the texture has a GL object, else from its CPU copy).
HRESULT ReadTexture(D3DDevice* device, D3DTexture* texture, uint32_t* pixels);
// Textures made while set keep DXT data off the GPU's S3TC formats and decode it in software.
void DisableCompressedTextures(bool disable);
// Long runs that look at no pixels leave out the rasteriser's work, by far the largest part of a
// frame on a software renderer: while set, draws, clears, blits and presents are checked,
// counted and answered as ever, but put nothing into any target or window.
void SkipPixelWork(bool skip);
bool PixelWorkSkipped();
}  // namespace TestHooks

}  // namespace gfx
