#pragma once
// The Direct3D 9 object: one adapter (the desktop's display, drawn by whatever OpenGL driver SDL
// finds), its identifier and its display modes, and the factory of devices.

#include <vector>

#include "Platform/Gfx/D3D.h"
#include "Platform/Gfx/GlContext.h"

namespace gfx {

class D3DObjectGl final : public D3DObject {
 public:
  // Null when SDL's video cannot start or no OpenGL 3.3 core context can be had.
  static D3DObjectGl* Create();
  ~D3DObjectGl() override;

  uint32_t GetAdapterCount() override;
  HRESULT GetAdapterIdentifier(uint32_t adapter, uint32_t flags,
                               D3DADAPTER_IDENTIFIER9* identifier) override;
  uint32_t GetAdapterModeCount(uint32_t adapter, D3DFORMAT format) override;
  HRESULT EnumAdapterModes(uint32_t adapter, D3DFORMAT format, uint32_t mode,
                           D3DDISPLAYMODE* out) override;
  HRESULT CreateDevice(uint32_t adapter, D3DDEVTYPE type, void* focusWindow,
                       uint32_t behaviorFlags, D3DPRESENT_PARAMETERS* params,
                       D3DDevice** device) override;

 private:
  D3DObjectGl() = default;
  bool Init();
  void BuildIdentifier(const GlInfo& info);
  // The modes listed under `format`: a test's list when one is set, else the desktop's.
  std::vector<D3DDISPLAYMODE> ModesFor(D3DFORMAT format) const;

  bool videoStarted_ = false;
  D3DADAPTER_IDENTIFIER9 identifier_{};
  std::vector<D3DDISPLAYMODE> desktopModes_;
};

}  // namespace gfx
