#pragma once
// The display on the Direct3D-shaped device: adapters and display modes, device creation
// (hardware vertex processing first, software second), the frame's BeginScene, EndScene and
// Present, and deferred mode changes and lost-device recovery inside Present.

#include <cstdint>

#include "Engine/BaseDisplay.h"
#include "Engine/DataArray.h"
#include "Platform/Gfx/D3D.h"

class ShaderSet;
class VertexStream;

struct _PCResolution {
  int32_t width;
  int32_t height;
  int32_t bits;
};

struct D3DAdapterInfo {
  uint32_t ordinal = 0;
  gfx::D3DADAPTER_IDENTIFIER9 identifier = {};
  DataArray<gfx::D3DDISPLAYMODE> displayModes{16};
  DataArray<_PCResolution> resolutions{16};
  uint32_t usable = 0;
};

// The front end's video-menu table of display modes, which ListResolutions fills.
struct DisplayModeRow {
  int32_t width;
  int32_t height;
  int32_t bits;
  char label[64];
};
constexpr int32_t kMaxDisplayModeRows = 32;
struct DisplayModeTable {
  DisplayModeRow rows[kMaxDisplayModeRows];
  int32_t count;
};
// Hides the video menu's rows from `firstRow` on (the front end's HideDisplayModeItems).
using HideDisplayModeItemsFn = void (*)(int32_t firstRow, void* renderer);

// Sends a device result to the debugger output with its explanation; never changes the flow.
void ReportD3DError(gfx::HRESULT result);

class Display : public BaseDisplay {
 public:
  Display();
  ~Display() override;
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;

  void CleanUp() override;
  int32_t Init() override;
  int32_t BeginScene() override;
  int32_t EndScene() override;
  int32_t Present() override;

  int32_t BuildD3DAdapterInfo();
  void DeleteD3DAdapterInfo();
  // Makes the device; `interactive` (start-up) tells the user with a message box when it
  // fails, recovery only logs.
  int32_t CreateDevice(bool interactive = true);

  void SetResolution(int32_t width, int32_t height, int32_t bits);
  void SetFullScreen(int32_t fullScreen);
  int32_t IsResolutionSupported(int32_t width, int32_t height) const;
  const _PCResolution* GetResolution(uint32_t adapter, int32_t index) const;
  int32_t GetNumResolutions(uint32_t adapter) const;
  void ListResolutions(DisplayModeTable* table, HideDisplayModeItemsFn hide, void* renderer) const;
  void SetViewport(const gfx::D3DVIEWPORT9* viewport);

  // Rebuilds the products of the matrices that changed since the last call and hands the device
  // its projection when that changed. The camera calls it after setting its matrices.
  void UpdateMatrices();
  Vector4* ProjectToScreen(Vector4* out, const Vector4* point) override;

  ShaderSet* GetShaderSet() const { return m_shaderSet; }
  VertexStream* GetVertexStream() const { return m_vertexStream; }

  int32_t IsWindowed() const { return static_cast<int32_t>(m_windowed); }
  int32_t GetModeChanged() const { return static_cast<int32_t>(m_modeChanged); }
  void SetModeChanged(int32_t value) { m_modeChanged = value ? 1u : 0u; }
  gfx::D3DDevice* GetDevice() const { return m_device; }
  // Counts the devices made so far. Buffers made on an earlier device went with it; owners of
  // managed buffers compare this to know when to build theirs again.
  uint32_t GetDeviceGeneration() const { return m_deviceGeneration; }
  int32_t GetVertexShaderLevel() const { return static_cast<int32_t>(m_vertexShaderLevel); }
  const gfx::D3DCAPS9& GetCaps() const { return m_caps; }
  uint32_t GetAdapterCount() const { return m_adapterCount; }
  // The back buffer's size and format (the current mode).
  int32_t GetModeWidth() const { return m_modeRight - m_modeLeft; }
  int32_t GetModeHeight() const { return m_modeBottom - m_modeTop; }
  gfx::D3DFORMAT GetModeFormat() const { return m_modeFormat; }

  static int32_t StencilBits(gfx::D3DFORMAT format);
  static int32_t DepthBits(gfx::D3DFORMAT format);
  static int32_t AlphaBits(gfx::D3DFORMAT format);

 private:
  void FillPresentParameters(gfx::D3DPRESENT_PARAMETERS* params);
  int32_t CreateDeviceWithFlags(uint32_t flags, gfx::D3DPRESENT_PARAMETERS* params, bool report);
  void DeviceCreationFailed(bool interactive);
  void RememberGoodMode();
  void ReadCaps();
  void ReleaseDevice();
  // What lives on the device and must be let go before a reset and made again after it.
  void ReleaseDeviceResources();
  void RestoreDeviceResources();

  gfx::D3DDevice* m_device = nullptr;
  gfx::D3DObject* m_direct3D = nullptr;
  int32_t m_windowRect[4] = {};
  uint32_t m_adapterCount = 0;
  uint32_t m_adapterIndex = 0;
  gfx::D3DCAPS9 m_caps = {};
  uint32_t m_vertexShaderLevel = 0;
  uint32_t m_windowed = 1;
  uint32_t m_modeChanged = 0;
  ShaderSet* m_shaderSet = nullptr;
  D3DAdapterInfo* m_adapters = nullptr;
  VertexStream* m_vertexStream = nullptr;
  int32_t m_modeLeft = 0;
  int32_t m_modeTop = 0;
  int32_t m_modeRight = 0;
  int32_t m_modeBottom = 0;
  gfx::D3DFORMAT m_modeFormat = gfx::D3DFMT_UNKNOWN;
  // The last mode a device was made or reset in (width, height, format, windowed).
  int32_t m_goodMode[4] = {640, 480, gfx::D3DFMT_R5G6B5, 1};
  int32_t m_recoveryFailing = 0;
  uint32_t m_deviceGeneration = 0;
};
