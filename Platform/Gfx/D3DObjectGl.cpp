#include "Platform/Gfx/D3DObjectGl.h"
#include "Platform/System/SdlSystem.h"

#include <SDL.h>

#include <cstring>
#include <string>

#include "Platform/Gfx/D3DDeviceGl.h"
#include "Platform/Gfx/DisplayModes.h"
#include "Platform/Gfx/GfxLog.h"

namespace gfx {

namespace {

constexpr uint32_t kSdkVersion = 32;
constexpr uint32_t kSdkDebugBit = 0x80000000u;

uint32_t Fnv1a(const std::string& text, uint32_t hash = 2166136261u) {
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 16777619u;
  }
  return hash;
}

// The PCI vendor the driver names, so that code which knows vendors sees a familiar one; other
// drivers (Mesa's software renderers among them) get a number made from their name. Never 0:
// the engine passes over adapters whose vendor and device are both 0.
uint32_t VendorIdFor(const std::string& vendor, const std::string& renderer) {
  struct Known {
    const char* name;
    uint32_t id;
  };
  static const Known kKnown[] = {
      {"NVIDIA", 0x10DE}, {"AMD", 0x1002}, {"ATI", 0x1002}, {"Intel", 0x8086}, {"VMware", 0x15AD},
  };
  for (const Known& known : kKnown) {
    if (vendor.find(known.name) != std::string::npos) return known.id;
  }
  for (const Known& known : kKnown) {
    if (renderer.find(known.name) != std::string::npos) return known.id;
  }
  const uint32_t folded = (Fnv1a(vendor) ^ (Fnv1a(vendor) >> 16)) & 0xFFFFu;
  return folded ? folded : 1;
}

void CopyText(char* out, size_t size, const std::string& text) {
  std::strncpy(out, text.c_str(), size - 1);
  out[size - 1] = '\0';
}

}  // namespace

D3DObject* Direct3DCreate9(uint32_t sdkVersion) {
  if (GetDeviceFaults().ShouldFailDirect3DCreate()) return nullptr;
  if ((sdkVersion & ~kSdkDebugBit) != kSdkVersion) {
    GfxLog("gfx: Direct3DCreate9 asked for SDK version %u, only %u is offered\n", sdkVersion,
           kSdkVersion);
    return nullptr;
  }
  return D3DObjectGl::Create();
}

uint32_t DeviceWindowFlags() {
  GlContext::RequestCoreProfile();
  return SDL_WINDOW_OPENGL;
}

D3DObjectGl* D3DObjectGl::Create() {
  D3DObjectGl* object = new D3DObjectGl();
  if (!object->Init()) {
    delete object;
    return nullptr;
  }
  return object;
}

bool D3DObjectGl::Init() {
  // Through the system's own start-up first, so that SDL starts with the system's settings
  // (the screen saver hint) whoever comes first.
  plat::EnsureSdlVideo();
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    GfxLog("gfx: SDL video cannot start: %s\n", SDL_GetError());
    return false;
  }
  videoStarted_ = true;
  // A throw-away context now rather than a surprise at CreateDevice: the engine tells the user
  // that Direct3D is missing when this fails, and the identifier wants the driver's name.
  GlInfo info;
  if (!GlContext::Probe(&info)) return false;
  BuildIdentifier(info);

  std::vector<DesktopModeSize> reported;
  const int count = SDL_GetNumDisplayModes(0);
  for (int i = 0; i < count; ++i) {
    SDL_DisplayMode mode;
    if (SDL_GetDisplayMode(0, i, &mode) == 0) {
      reported.push_back(DesktopModeSize{mode.w, mode.h, mode.refresh_rate});
    }
  }
  SDL_DisplayMode desktop{};
  if (SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
    reported.push_back(DesktopModeSize{desktop.w, desktop.h, desktop.refresh_rate});
  }
  desktopModes_ = BuildDisplayModes(reported, desktop.w, desktop.h);
  return true;
}

D3DObjectGl::~D3DObjectGl() {
  if (videoStarted_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void D3DObjectGl::BuildIdentifier(const GlInfo& info) {
  identifier_ = D3DADAPTER_IDENTIFIER9{};
  CopyText(identifier_.Driver, sizeof identifier_.Driver, "OpenGL " + info.version);
  CopyText(identifier_.Description, sizeof identifier_.Description, info.renderer);
  const char* display = SDL_GetDisplayName(0);
  CopyText(identifier_.DeviceName, sizeof identifier_.DeviceName,
           display && *display ? display : "display 0");
  identifier_.DriverVersionHighPart = (static_cast<uint32_t>(info.glVersion / 10) << 16) |
                                      static_cast<uint32_t>(info.glVersion % 10);
  identifier_.DriverVersionLowPart = 0;
  identifier_.VendorId = VendorIdFor(info.vendor, info.renderer);
  const uint32_t device = (Fnv1a(info.renderer) ^ (Fnv1a(info.renderer) >> 16)) & 0xFFFFu;
  identifier_.DeviceId = device ? device : 1;
  uint32_t hash = Fnv1a(info.vendor);
  for (int word = 0; word < 4; ++word) {
    hash = Fnv1a(info.renderer, hash);
    std::memcpy(identifier_.DeviceIdentifier + 4 * word, &hash, 4);
  }
}

uint32_t D3DObjectGl::GetAdapterCount() { return 1; }

HRESULT D3DObjectGl::GetAdapterIdentifier(uint32_t adapter, uint32_t flags,
                                          D3DADAPTER_IDENTIFIER9* identifier) {
  (void)flags;  // WHQL levels are not known here; WHQLLevel stays 0 either way.
  if (adapter != 0 || !identifier) return D3DERR_INVALIDCALL;
  *identifier = identifier_;
  return D3D_OK;
}

std::vector<D3DDISPLAYMODE> D3DObjectGl::ModesFor(D3DFORMAT format) const {
  std::vector<D3DDISPLAYMODE> modes;
  const D3DDISPLAYMODE* replaced = nullptr;
  uint32_t replacedCount = 0;
  if (GetDeviceFaults().ReplacedDisplayModes(&replaced, &replacedCount)) {
    for (uint32_t i = 0; i < replacedCount; ++i) {
      if (replaced[i].Format == format) modes.push_back(replaced[i]);
    }
    return modes;
  }
  if (!ListsModesFor(format)) return modes;
  modes = desktopModes_;
  for (D3DDISPLAYMODE& mode : modes) mode.Format = format;
  return modes;
}

uint32_t D3DObjectGl::GetAdapterModeCount(uint32_t adapter, D3DFORMAT format) {
  if (adapter != 0) return 0;
  return static_cast<uint32_t>(ModesFor(format).size());
}

HRESULT D3DObjectGl::EnumAdapterModes(uint32_t adapter, D3DFORMAT format, uint32_t mode,
                                      D3DDISPLAYMODE* out) {
  if (adapter != 0 || !out) return D3DERR_INVALIDCALL;
  const std::vector<D3DDISPLAYMODE> modes = ModesFor(format);
  if (mode >= modes.size()) return D3DERR_INVALIDCALL;
  *out = modes[mode];
  return D3D_OK;
}

HRESULT D3DObjectGl::CreateDevice(uint32_t adapter, D3DDEVTYPE type, void* focusWindow,
                                  uint32_t behaviorFlags, D3DPRESENT_PARAMETERS* params,
                                  D3DDevice** device) {
  if (!device) return D3DERR_INVALIDCALL;
  *device = nullptr;
  if (!params || adapter != 0) return D3DERR_INVALIDCALL;
  if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
  // Exactly one way of processing vertices must be asked for.
  const uint32_t processing =
      behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                       D3DCREATE_MIXED_VERTEXPROCESSING);
  if (processing == 0 || (processing & (processing - 1)) != 0) return D3DERR_INVALIDCALL;
  if (GetDeviceFaults().TakeCreateDeviceFailure(behaviorFlags)) return D3DERR_NOTAVAILABLE;
  return D3DDeviceGl::Create(static_cast<SDL_Window*>(focusWindow), behaviorFlags, params, device);
}

}  // namespace gfx
