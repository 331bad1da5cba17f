#pragma once
// Values and records of the Direct3D 9 interface the renderer was written against, with their
// original numbers, so that the engine's code reads as it was designed. Only what the engine
// uses is here.

#include <cstdint>

namespace gfx {

using HRESULT = int32_t;

constexpr HRESULT D3D_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = static_cast<HRESULT>(0x8876017C);
constexpr HRESULT D3DERR_WRONGTEXTUREFORMAT = static_cast<HRESULT>(0x88760818);
constexpr HRESULT D3DERR_UNSUPPORTEDCOLOROPERATION = static_cast<HRESULT>(0x88760819);
constexpr HRESULT D3DERR_UNSUPPORTEDCOLORARG = static_cast<HRESULT>(0x8876081A);
constexpr HRESULT D3DERR_UNSUPPORTEDALPHAOPERATION = static_cast<HRESULT>(0x8876081B);
constexpr HRESULT D3DERR_UNSUPPORTEDALPHAARG = static_cast<HRESULT>(0x8876081C);
constexpr HRESULT D3DERR_TOOMANYOPERATIONS = static_cast<HRESULT>(0x8876081D);
constexpr HRESULT D3DERR_CONFLICTINGTEXTUREFILTER = static_cast<HRESULT>(0x8876081E);
constexpr HRESULT D3DERR_UNSUPPORTEDFACTORVALUE = static_cast<HRESULT>(0x8876081F);
constexpr HRESULT D3DERR_CONFLICTINGRENDERSTATE = static_cast<HRESULT>(0x88760821);
constexpr HRESULT D3DERR_UNSUPPORTEDTEXTUREFILTER = static_cast<HRESULT>(0x88760822);
constexpr HRESULT D3DERR_CONFLICTINGTEXTUREPALETTE = static_cast<HRESULT>(0x88760826);
constexpr HRESULT D3DERR_DRIVERINTERNALERROR = static_cast<HRESULT>(0x88760827);
constexpr HRESULT D3DERR_NOTFOUND = static_cast<HRESULT>(0x88760866);
constexpr HRESULT D3DERR_MOREDATA = static_cast<HRESULT>(0x88760867);
constexpr HRESULT D3DERR_DEVICELOST = static_cast<HRESULT>(0x88760868);
constexpr HRESULT D3DERR_DEVICENOTRESET = static_cast<HRESULT>(0x88760869);
constexpr HRESULT D3DERR_NOTAVAILABLE = static_cast<HRESULT>(0x8876086A);
constexpr HRESULT D3DERR_INVALIDDEVICE = static_cast<HRESULT>(0x8876086B);
constexpr HRESULT D3DERR_INVALIDCALL = static_cast<HRESULT>(0x8876086C);
constexpr HRESULT D3DOK_NOAUTOGEN = static_cast<HRESULT>(0x0876086F);

inline bool FAILED(HRESULT hr) { return hr < 0; }
inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }

enum D3DFORMAT : uint32_t {
  D3DFMT_UNKNOWN = 0,
  D3DFMT_R8G8B8 = 20,
  D3DFMT_A8R8G8B8 = 21,
  D3DFMT_X8R8G8B8 = 22,
  D3DFMT_R5G6B5 = 23,
  D3DFMT_X1R5G5B5 = 24,
  D3DFMT_A1R5G5B5 = 25,
  D3DFMT_A4R4G4B4 = 26,
  D3DFMT_A8R3G3B2 = 29,
  D3DFMT_A2B10G10R10 = 31,
  D3DFMT_A2R10G10B10 = 35,
  D3DFMT_A8 = 28,
  D3DFMT_L8 = 50,
  D3DFMT_A8L8 = 51,
  D3DFMT_D16_LOCKABLE = 70,
  D3DFMT_D32 = 71,
  D3DFMT_D15S1 = 73,
  D3DFMT_D24S8 = 75,
  D3DFMT_D24X8 = 77,
  D3DFMT_D24X4S4 = 79,
  D3DFMT_D16 = 80,
  D3DFMT_DXT1 = 0x31545844,
  D3DFMT_DXT3 = 0x33545844,
  D3DFMT_DXT5 = 0x35545844,
};

enum D3DDEVTYPE : uint32_t { D3DDEVTYPE_HAL = 1, D3DDEVTYPE_REF = 2 };

enum D3DMULTISAMPLE_TYPE : uint32_t { D3DMULTISAMPLE_NONE = 0 };

enum D3DSWAPEFFECT : uint32_t { D3DSWAPEFFECT_DISCARD = 1, D3DSWAPEFFECT_FLIP = 2, D3DSWAPEFFECT_COPY = 3 };

constexpr uint32_t D3DCREATE_FPU_PRESERVE = 0x02;
constexpr uint32_t D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20;
constexpr uint32_t D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x40;

constexpr uint32_t D3DPRESENTFLAG_LOCKABLE_BACKBUFFER = 0x1;
constexpr uint32_t D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL = 0x2;
constexpr uint32_t D3DPRESENT_INTERVAL_DEFAULT = 0;
constexpr uint32_t D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000u;

constexpr uint32_t D3DCLEAR_TARGET = 0x1;
constexpr uint32_t D3DCLEAR_ZBUFFER = 0x2;
constexpr uint32_t D3DCLEAR_STENCIL = 0x4;

constexpr uint32_t D3DVS_VERSION(uint32_t major, uint32_t minor) {
  return 0xFFFE0000u | (major << 8) | minor;
}

struct D3DDISPLAYMODE {
  uint32_t Width;
  uint32_t Height;
  uint32_t RefreshRate;
  D3DFORMAT Format;
};

struct D3DADAPTER_IDENTIFIER9 {
  char Driver[512];
  char Description[512];
  char DeviceName[32];
  uint32_t DriverVersionLowPart;
  uint32_t DriverVersionHighPart;
  uint32_t VendorId;
  uint32_t DeviceId;
  uint32_t SubSysId;
  uint32_t Revision;
  uint8_t DeviceIdentifier[16];
  uint32_t WHQLLevel;
};

struct D3DPRESENT_PARAMETERS {
  uint32_t BackBufferWidth;
  uint32_t BackBufferHeight;
  D3DFORMAT BackBufferFormat;
  uint32_t BackBufferCount;
  D3DMULTISAMPLE_TYPE MultiSampleType;
  uint32_t MultiSampleQuality;
  D3DSWAPEFFECT SwapEffect;
  void* hDeviceWindow;
  int32_t Windowed;
  int32_t EnableAutoDepthStencil;
  D3DFORMAT AutoDepthStencilFormat;
  uint32_t Flags;
  uint32_t FullScreen_RefreshRateInHz;
  uint32_t PresentationInterval;
};

// The capabilities the engine reads; the rest of D3DCAPS9 is not modelled.
struct D3DCAPS9 {
  D3DDEVTYPE DeviceType;
  uint32_t AdapterOrdinal;
  uint32_t MaxTextureWidth;
  uint32_t MaxTextureHeight;
  uint32_t MaxSimultaneousTextures;
  uint32_t MaxStreams;
  uint32_t VertexShaderVersion;
  uint32_t MaxVertexShaderConst;
  uint32_t PixelShaderVersion;
  uint32_t MaxPrimitiveCount;
  uint32_t MaxVertexIndex;
};

struct D3DVIEWPORT9 {
  uint32_t X;
  uint32_t Y;
  uint32_t Width;
  uint32_t Height;
  float MinZ;
  float MaxZ;
};

struct D3DRECT {
  int32_t x1, y1, x2, y2;
};

using D3DCOLOR = uint32_t;

}  // namespace gfx
