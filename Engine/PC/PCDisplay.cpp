#include "Engine/PC/PCDisplay.h"

#include <cstdio>
#include <cstring>

#include "Engine/Assert.h"
#include "Engine/LogFile.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderStates.h"
#include "Engine/PC/PCShaderSet.h"
#include "Engine/PC/PCVertexStream.h"
#include "Platform/System/DebugOutput.h"

using namespace gfx;

namespace {

const char kDeviceFailedText[] =
    "Unable to create a Direct3D device, please make sure you have a D3D8 compatible graphics "
    "accelerator installed.";

struct ErrorText {
  HRESULT code;
  const char* text;
};

const ErrorText kErrorTexts[] = {
    {D3DERR_OUTOFVIDEOMEMORY, "D3DERR_OUTOFVIDEOMEMORY: Direct3D does not have enough display memory to perform the operation.\n"},
    {D3DERR_WRONGTEXTUREFORMAT, "D3DERR_WRONGTEXTUREFORMAT: The pixel format of the texture surface is not valid.\n"},
    {D3DERR_UNSUPPORTEDCOLOROPERATION, "D3DERR_UNSUPPORTEDCOLOROPERATION: The device does not support a specified texture-blending operation for color values.\n"},
    {D3DERR_UNSUPPORTEDCOLORARG, "D3DERR_UNSUPPORTEDCOLORARG: The device does not support a specified texture-blending argument for color values.\n"},
    {D3DERR_UNSUPPORTEDALPHAOPERATION, "D3DERR_UNSUPPORTEDALPHAOPERATION: The device does not support a specified texture-blending operation for the alpha channel.\n"},
    {D3DERR_UNSUPPORTEDALPHAARG, "D3DERR_UNSUPPORTEDALPHAARG: The device does not support a specified texture-blending argument for the alpha channel.\n"},
    {D3DERR_TOOMANYOPERATIONS, "D3DERR_TOOMANYOPERATIONS: The application is requesting more texture-filtering operations than the device supports.\n"},
    {D3DERR_CONFLICTINGTEXTUREFILTER, "D3DERR_CONFLICTINGTEXTUREFILTER: The current texture filters cannot be used together.\n"},
    {D3DERR_UNSUPPORTEDFACTORVALUE, "D3DERR_UNSUPPORTEDFACTORVALUE: The device does not support the specified texture factor value.\n"},
    {D3DERR_CONFLICTINGRENDERSTATE, "D3DERR_CONFLICTINGRENDERSTATE: The currently set render states cannot be used together.\n"},
    {D3DERR_UNSUPPORTEDTEXTUREFILTER, "D3DERR_UNSUPPORTEDTEXTUREFILTER: The device does not support the specified texture filter.\n"},
    {D3DERR_CONFLICTINGTEXTUREPALETTE, "D3DERR_CONFLICTINGTEXTUREPALETTE: The current textures cannot be used simultaneously.\n"},
    {D3DERR_DRIVERINTERNALERROR, "D3DERR_DRIVERINTERNALERROR: Internal driver error. Applications should generally shut down when receiving this error. For more information, see Driver Internal Errors.\n"},
    {D3DERR_NOTFOUND, "D3DERR_NOTFOUND: The requested item was not found.\n"},
    {D3DERR_MOREDATA, "D3DERR_MOREDATA: There is more data available than the specified buffer size can hold.\n"},
    {D3DERR_DEVICELOST, "D3DERR_DEVICELOST: The device has been lost but cannot be reset at this time. Therefore, rendering is not possible.\n"},
    {D3DERR_DEVICENOTRESET, "D3DERR_DEVICENOTRESET: The device has been lost but can be reset at this time.\n"},
    {D3DERR_NOTAVAILABLE, "D3DERR_NOTAVAILABLE: This device does not support the queried technique.\n"},
    {D3DERR_INVALIDDEVICE, "D3DERR_INVALIDDEVICE: The requested device type is not valid.\n"},
    {D3DERR_INVALIDCALL, "D3DERR_INVALIDCALL: The method call is invalid. For example, a method's parameter may not be a valid pointer.\n"},
    {E_FAIL, "E_FAIL: An undetermined error occurred inside the Direct3D subsystem.\n"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY: Direct3D could not allocate sufficient memory to complete the call.\n"},
    {E_INVALIDARG, "E_INVALIDARG: An invalid parameter was passed to the returning function.\n"},
    {D3DOK_NOAUTOGEN, "D3DOK_NOAUTOGEN: This is a success code. However, the autogeneration of mipmaps is not supported for this format. This means that resource creation will succeed but the mipmap levels will not be automatically generated.\n"},
};

const D3DFORMAT kAdapterFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_X1R5G5B5, D3DFMT_R5G6B5,
                                     D3DFMT_A2R10G10B10};

uint32_t VertexShaderLevel(uint32_t version) {
  if (version == D3DVS_VERSION(1, 1)) return 1;
  if (version == D3DVS_VERSION(2, 0)) return 2;
  if (version >= D3DVS_VERSION(3, 0)) return 3;
  return 0;
}

}  // namespace

void ReportD3DError(HRESULT result) {
  if (result == D3D_OK) return;
  PlatformDebugOutput("\n D3D Error :");
  for (const ErrorText& e : kErrorTexts) {
    if (e.code == result) {
      PlatformDebugOutput(e.text);
      return;
    }
  }
  PlatformDebugOutput("Unknown Error\n");
}

// ---- The matrices and box tests of BaseDisplay ----------------------------------------------

Matrix g_IdentityMatrix = {{1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f,
                            0.0f, 0.0f, 0.0f, 0.0f, 1.0f}};

BaseDisplay::BaseDisplay() {
  for (Matrix* m : {&m_projection, &m_deviceProjection, &m_view, &m_world, &m_viewToScreen, &m_spare,
                    &m_worldViewProjection, &m_worldToScreen, &m_screenProjection, &m_camera})
    m->Identity();
  g_IdentityMatrix.Identity();
}

int32_t BaseDisplay::FrustumTestBox(const Matrix* clip, const BoundingBox* box) {
  // Corner i of each z face sits in byte i of that face's word: bit 0 of i picks max x, bit 1
  // max y. A plane that every corner lies beyond shows as the same bit in all eight bytes.
  uint32_t faces[2] = {0, 0};
  for (uint32_t face = 0; face < 2; ++face) {
    const float z = face ? box->max.z : box->min.z;
    for (uint32_t i = 0; i < 4; ++i) {
      Vector4 corner((i & 1) ? box->max.x : box->min.x, (i & 2) ? box->max.y : box->min.y, z, 1.0f);
      TransformVector4(corner, *clip);
      corner.w = Fabs(corner.w);
      faces[face] |= static_cast<uint32_t>(ClipOutcode(corner)) << (8 * i);
    }
  }
  if (faces[0] == 0 && faces[1] == 0) return kBoxInside;
  for (uint32_t shift = 0; shift < 6; ++shift) {
    const uint32_t mask = 0x20202020u >> shift;
    if ((faces[0] & mask) == mask && (faces[1] & mask) == mask) return kBoxOutside;
  }
  return kBoxStraddling;
}

int32_t BaseDisplay::IsBoxInView(const Matrix* world, const BoundingBox* box) {
  Matrix clip;
  Multiply(*world, m_view, clip);
  Multiply(clip, m_projection, clip);
  return FrustumTestBox(&clip, box);
}

// ---- Display ---------------------------------------------------------------------------------

Display::Display() = default;

Display::~Display() { CleanUp(); }

void Display::CleanUp() {
  if (m_shaderSet) {
    m_shaderSet->Release();
    TrackedDelete("Display::CleanUp", m_shaderSet);
    m_shaderSet = nullptr;
  }
  if (m_vertexStream) {
    m_vertexStream->Release();
    TrackedDelete("Display::CleanUp", m_vertexStream);
    m_vertexStream = nullptr;
  }
  if (m_device) {
    m_device->EvictManagedResources();
    ReleaseDevice();
  }
  if (m_direct3D) {
    m_direct3D->Release();
    m_direct3D = nullptr;
  }
  DeleteD3DAdapterInfo();
}

int32_t Display::Init() {
  m_direct3D = Direct3DCreate9(32);
  if (!m_direct3D) {
    plat::GetSystem().MessageBox("Pendrake requires Directx 9.0c installed.", "Error!",
                                 plat::kMessageBoxIconError);
    return 0;
  }
  m_adapterCount = m_direct3D->GetAdapterCount();
  if (!BuildD3DAdapterInfo()) return 0;

  App& app = GetApp();
  m_windowRect[0] = 0;
  m_windowRect[1] = 0;
  m_windowRect[2] = app.GetWidth();
  m_windowRect[3] = app.GetHeight();
  m_modeLeft = 0;
  m_modeTop = 0;
  m_modeRight = app.GetWidth();
  m_modeBottom = app.GetHeight();
  m_modeFormat = D3DFMT_R5G6B5;

  if (!CreateDevice()) return 0;

  m_shaderSet = TrackedNew<ShaderSet>("Display::Init");
  if (m_shaderSet) {
    m_shaderSet->CreateDeclarations();
    m_shaderSet->CreateShaders();
    m_shaderSet->SetMaxConstants(m_caps.MaxVertexShaderConst);
  }
  m_vertexStream = TrackedNew<VertexStream>("Display::Init");
  if (m_vertexStream) m_vertexStream->Create(m_device);
  return 1;
}

int32_t Display::BuildD3DAdapterInfo() {
  DeleteD3DAdapterInfo();
  if (m_adapterCount == 0) return 1;
  m_adapters = TrackedNewArray<D3DAdapterInfo>("Display::BuildD3DAdapterInfo", m_adapterCount);
  if (!m_adapters) return 0;
  for (uint32_t a = 0; a < m_adapterCount; ++a) {
    D3DAdapterInfo& info = m_adapters[a];
    info.ordinal = a;
    info.resolutions.Empty();
    ReportD3DError(m_direct3D->GetAdapterIdentifier(a, 0, &info.identifier));
    info.usable = 1;
    if (info.identifier.VendorId == 0 && info.identifier.DeviceId == 0 &&
        std::memcmp(info.identifier.Description, "NVIDIA Dualview", 16) != 0) {
      info.usable = 0;
      continue;
    }
    for (D3DFORMAT format : kAdapterFormats) {
      uint32_t modes = m_direct3D->GetAdapterModeCount(a, format);
      for (uint32_t m = 0; m < modes; ++m) {
        D3DDISPLAYMODE mode = {};
        if (FAILED(m_direct3D->EnumAdapterModes(a, format, m, &mode))) continue;
        if (mode.Width < 640 || mode.Height < 480) continue;
        if (mode.Format != D3DFMT_R5G6B5 && mode.Format != D3DFMT_X8R8G8B8) continue;
        info.displayModes.Add(mode);
        _PCResolution r = {static_cast<int32_t>(mode.Width), static_cast<int32_t>(mode.Height),
                           mode.Format == D3DFMT_R5G6B5 ? 16 : 32};
        bool known = false;
        for (int32_t i = 0; i < info.resolutions.GetCount() && !known; ++i)
          known = info.resolutions[i].width == r.width && info.resolutions[i].height == r.height &&
                  info.resolutions[i].bits == r.bits;
        if (!known) info.resolutions.Add(r);
      }
    }
  }
  return 1;
}

void Display::DeleteD3DAdapterInfo() {
  if (!m_adapters) return;
  for (uint32_t a = 0; a < m_adapterCount; ++a) {
    m_adapters[a].resolutions.Empty();
    m_adapters[a].displayModes.Empty();
  }
  TrackedDeleteArray("Display::DeleteD3DAdapterInfo", m_adapters);
  m_adapters = nullptr;
}

void Display::FillPresentParameters(D3DPRESENT_PARAMETERS* p) {
  std::memset(p, 0, sizeof(*p));
  p->BackBufferWidth = static_cast<uint32_t>(m_modeRight - m_modeLeft);
  p->BackBufferHeight = static_cast<uint32_t>(m_modeBottom - m_modeTop);
  p->BackBufferCount = 1;
  p->MultiSampleType = D3DMULTISAMPLE_NONE;
  p->hDeviceWindow = GetApp().GetWindowHandle();
  p->EnableAutoDepthStencil = 1;
  p->Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER | D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
  if (m_windowed) {
    p->BackBufferFormat = D3DFMT_UNKNOWN;
    p->SwapEffect = D3DSWAPEFFECT_COPY;
    p->Windowed = 1;
    p->AutoDepthStencilFormat = D3DFMT_D24X8;
    p->PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  } else {
    p->BackBufferFormat = m_modeFormat;
    p->SwapEffect = D3DSWAPEFFECT_FLIP;
    p->Windowed = 0;
    p->AutoDepthStencilFormat = D3DFMT_D16;
    p->PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
  }
  GetApp().SetClientSize(static_cast<int32_t>(p->BackBufferWidth),
                         static_cast<int32_t>(p->BackBufferHeight));
}

int32_t Display::CreateDeviceWithFlags(uint32_t flags, D3DPRESENT_PARAMETERS* params,
                                       bool report) {
  D3DDevice* device = nullptr;
  HRESULT hr = m_direct3D->CreateDevice(m_adapterIndex, D3DDEVTYPE_HAL, GetApp().GetWindowHandle(),
                                        flags, params, &device);
  if (FAILED(hr) || !device) {
    if (report) ReportD3DError(FAILED(hr) ? hr : E_FAIL);
    return 0;
  }
  m_device = device;
  ++m_deviceGeneration;
  return 1;
}

void Display::ReadCaps() {
  std::memset(&m_caps, 0, sizeof(m_caps));
  ReportD3DError(m_device->GetDeviceCaps(&m_caps));
  m_vertexShaderLevel = VertexShaderLevel(m_caps.VertexShaderVersion);
}

void Display::ReleaseDevice() {
  if (m_device) {
    m_device->Release();
    m_device = nullptr;
  }
}

void Display::DeviceCreationFailed(bool interactive) {
  if (interactive) {
    plat::GetSystem().MessageBox(kDeviceFailedText, "Error!", plat::kMessageBoxIconError);
    return;
  }
  // Recovery tries again at every Present; a message box each time would bury the desktop in
  // dialogs, so it is one log line per run of failures.
  if (!m_recoveryFailing) DebugLog().Write("Unable to create the device again; will keep trying\n");
  m_recoveryFailing = 1;
}

void Display::RememberGoodMode() {
  m_goodMode[0] = m_modeRight;
  m_goodMode[1] = m_modeBottom;
  m_goodMode[2] = static_cast<int32_t>(m_modeFormat);
  m_goodMode[3] = static_cast<int32_t>(m_windowed);
}

int32_t Display::CreateDevice(bool interactive) {
  DebugLog().Write("Creating a DirectX9 Device.......................\n");
  if (m_adapterCount == 0 || !m_direct3D) return 0;
  m_adapterIndex = 0;
  // A device made over the field must not leave the old one alive beside it.
  ReleaseDevice();
  D3DPRESENT_PARAMETERS params;
  FillPresentParameters(&params);
  const uint32_t hardware = D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE;
  const uint32_t software = D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE;
  int32_t hardwareVertexProcessing = 1;
  // Only the last attempt's failure is reported; the first is expected on devices without
  // hardware vertex processing.
  if (!CreateDeviceWithFlags(hardware, &params, false)) {
    hardwareVertexProcessing = 0;
    if (!CreateDeviceWithFlags(software, &params, true)) {
      DeviceCreationFailed(interactive);
      return 0;
    }
  }
  ReadCaps();
  if (hardwareVertexProcessing && m_vertexShaderLevel == 0) {
    ReleaseDevice();
    if (!CreateDeviceWithFlags(software, &params, true)) {
      DeviceCreationFailed(interactive);
      return 0;
    }
    ReadCaps();
  }
  DebugLog().Write("Successfull\n");
  m_recoveryFailing = 0;
  RememberGoodMode();
  RenderStateCache::Reset();
  return 1;
}

int32_t Display::BeginScene() {
  if (!m_device) return 0;
  HRESULT hr = m_device->BeginScene();
  ReportD3DError(hr);
  return SUCCEEDED(hr) ? 1 : 0;
}

int32_t Display::EndScene() {
  if (m_device) ReportD3DError(m_device->EndScene());
  return 1;
}

void Display::ReleaseDeviceResources() {
  if (m_shaderSet) m_shaderSet->Release();
  GetApp().GetTexture()->ReleaseAll();
  if (m_vertexStream) m_vertexStream->Release();
}

void Display::RestoreDeviceResources() {
  if (m_vertexStream) m_vertexStream->Create(m_device);
  GetApp().GetTexture()->RestoreAll();
  RenderStateCache::Reset();
  if (m_shaderSet) m_shaderSet->Restore();
}

void Display::UpdateMatrices() {
  if (m_worldChanged || m_viewChanged || m_projectionChanged) {
    Matrix viewProjection;
    Multiply(m_view, m_projection, viewProjection);
    Multiply(m_world, viewProjection, m_worldViewProjection);
    m_projectionChanged = 0;
  }
  if (m_viewChanged || m_deviceProjectionChanged || m_worldChanged) {
    m_worldChanged = 0;
    m_viewChanged = 0;
    if (m_deviceProjectionChanged) {
      m_deviceProjectionChanged = 0;
      if (m_device) {
        D3DMATRIX projection;
        std::memcpy(projection.m, m_deviceProjection.m, sizeof(projection.m));
        ReportD3DError(m_device->SetTransform(D3DTS_PROJECTION, &projection));
      }
    }
    Multiply(m_view, m_screenProjection, m_viewToScreen);
    Multiply(m_world, m_viewToScreen, m_worldToScreen);
  }
  m_worldChanged = 0;
  m_viewChanged = 0;
  m_deviceProjectionChanged = 0;
}

Vector4* Display::ProjectToScreen(Vector4* out, const Vector4* point) {
  Vector4 p(point->x, point->y, point->z, 1.0f);
  TransformVector4(p, m_viewToScreen);
  if (p.w == 0.0f) {
    p.Set(0.0f, 0.0f, 0.0f, 0.0f);
  } else {
    p.Set(p.x / p.w, p.y / p.w, p.z / p.w, 1.0f);
  }
  App& app = GetApp();
  RenderWindow* window = app.GetCurrentWindow();
  const uint32_t height = static_cast<uint32_t>(window ? window->GetHeight() : app.GetHeight());
  p.y = static_cast<float>(height) - p.y;
  *out = p;
  return out;
}

int32_t Display::Present() {
  if (m_device) {
    D3DVIEWPORT9 viewport = {0, static_cast<uint32_t>(m_modeTop), static_cast<uint32_t>(m_modeRight),
                             static_cast<uint32_t>(m_modeBottom - m_modeTop), 0.0f, 1.0f};
    ReportD3DError(m_device->SetViewport(&viewport));
  }
  if (m_device && (!m_windowed || !m_modeChanged)) {
    HRESULT hr = m_device->Present(nullptr, nullptr, nullptr, nullptr);
    ReportD3DError(hr);
    // A windowed device can be lost as well (a forced loss, a driver reset); both paths recover
    // through the reset below at the next Present.
    if (hr == D3DERR_DEVICELOST) m_modeChanged = 1;
  }
  if (!m_modeChanged) return 1;

  m_modeChanged = 0;
  D3DPRESENT_PARAMETERS params;
  FillPresentParameters(&params);
  ReleaseDeviceResources();
  DebugLog().Write("Testing co-op level\n");
  HRESULT level = m_device ? m_device->TestCooperativeLevel() : D3DERR_DEVICELOST;
  if (level == D3DERR_DEVICELOST) {
    DebugLog().Write("Lost device in TestCooperativeLevel, recreated\n");
    if (!CreateDevice(false)) {
      m_modeChanged = 1;  // try again at the next Present
      return 1;
    }
  } else {
    DebugLog().Write("Resetting\n");
    HRESULT hr = m_device->Reset(&params);
    ReportD3DError(hr);
    if (hr == D3DERR_DEVICELOST) {
      DebugLog().Write("Lost device in Reset, recreated\n");
      if (!CreateDevice(false)) {
        m_modeChanged = 1;
        return 1;
      }
    } else if (FAILED(hr)) {
      // The device stays unusable until a reset succeeds. A mode the device refuses is given up
      // for the last one that worked; that one is tried at the next Present.
      const bool wasGood = m_modeRight == m_goodMode[0] && m_modeBottom == m_goodMode[1] &&
                           static_cast<int32_t>(m_modeFormat) == m_goodMode[2] &&
                           static_cast<int32_t>(m_windowed) == m_goodMode[3];
      if (!wasGood) {
        DebugLog().Write("Unable to reset the device to %ix%i, going back to %ix%i\n",
                         m_modeRight, m_modeBottom, m_goodMode[0], m_goodMode[1]);
        m_modeLeft = m_modeTop = 0;
        m_modeRight = m_goodMode[0];
        m_modeBottom = m_goodMode[1];
        m_modeFormat = static_cast<D3DFORMAT>(m_goodMode[2]);
        m_windowed = static_cast<uint32_t>(m_goodMode[3]);
        GetApp().SetClientSize(m_modeRight, m_modeBottom);
      }
      m_modeChanged = 1;
      return 1;
    }
    RememberGoodMode();
  }
  RestoreDeviceResources();
  return 1;
}

void Display::SetResolution(int32_t width, int32_t height, int32_t bits) {
  D3DFORMAT format = bits == 16 ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8;
  // A request for the mode already current changes nothing: the movie player and the saved
  // settings restore modes that often already stand, and a reset would cost a frame of black.
  if (m_modeLeft == 0 && m_modeTop == 0 && m_modeRight == width && m_modeBottom == height &&
      m_modeFormat == format)
    return;
  m_modeLeft = 0;
  m_modeTop = 0;
  m_modeRight = width;
  m_modeBottom = height;
  m_modeFormat = format;
  m_modeChanged = 1;
}

void Display::SetFullScreen(int32_t fullScreen) {
  m_windowed = fullScreen ? 0 : 1;
  m_modeChanged = 1;
}

int32_t Display::IsResolutionSupported(int32_t width, int32_t height) const {
  if (!m_adapters || m_adapterIndex >= m_adapterCount) return 0;
  const D3DAdapterInfo& info = m_adapters[m_adapterIndex];
  for (int32_t i = 0; i < info.resolutions.GetCount(); ++i)
    if (info.resolutions[i].width == width && info.resolutions[i].height == height) return 1;
  return 0;
}

const _PCResolution* Display::GetResolution(uint32_t adapter, int32_t index) const {
  const D3DAdapterInfo* info = (m_adapters && adapter < m_adapterCount) ? &m_adapters[adapter] : nullptr;
  if (!info) AssertReport("pAdapter!=NULL", __FILE__, __LINE__);
  if (!info || index < 0 || index >= info->resolutions.GetCount()) return nullptr;
  return &info->resolutions[index];
}

int32_t Display::GetNumResolutions(uint32_t adapter) const {
  if (!m_adapters || adapter >= m_adapterCount) return 0;
  return m_adapters[adapter].resolutions.GetCount();
}

void Display::ListResolutions(DisplayModeTable* table, HideDisplayModeItemsFn hide,
                              void* renderer) const {
  const D3DAdapterInfo* info =
      (m_adapters && m_adapterIndex < m_adapterCount) ? &m_adapters[m_adapterIndex] : nullptr;
  if (!info) AssertReport("pAdapter!=NULL", __FILE__, __LINE__);
  if (!info || !table) return;
  for (int32_t i = 0; i < info->resolutions.GetCount(); ++i) {
    if (table->count < 0 || table->count >= kMaxDisplayModeRows) break;
    DisplayModeRow& row = table->rows[table->count++];
    row.width = info->resolutions[i].width;
    row.height = info->resolutions[i].height;
    row.bits = info->resolutions[i].bits;
    std::snprintf(row.label, sizeof(row.label), "%i x %i x %i Bit", row.width, row.height, row.bits);
  }
  if (hide) hide(info->resolutions.GetCount(), renderer);
}

void Display::SetViewport(const D3DVIEWPORT9* viewport) {
  if (m_device && viewport) ReportD3DError(m_device->SetViewport(viewport));
}

int32_t Display::StencilBits(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_D15S1: return 1;
    case D3DFMT_D24S8: return 8;
    case D3DFMT_D24X4S4: return 4;
    default: return 0;
  }
}

int32_t Display::DepthBits(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_D32: return 32;
    case D3DFMT_D15S1: return 15;
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
    case D3DFMT_D24X4S4: return 24;
    case D3DFMT_D16: return 16;
    default: return 0;
  }
}

int32_t Display::AlphaBits(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A8R8G8B8: return 8;
    case D3DFMT_A1R5G5B5: return 1;
    case D3DFMT_A4R4G4B4: return 4;
    case D3DFMT_A8R3G3B2: return 8;
    case D3DFMT_A2B10G10R10:
    case D3DFMT_A2R10G10B10: return 2;
    default: return 0;
  }
}
