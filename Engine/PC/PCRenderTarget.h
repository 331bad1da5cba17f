#pragma once
// Off-screen drawing for a render window (a water surface's reflection, screen effects): a set
// of 256 × 256 render-target textures named by small integers, with the operations to draw into
// one, copy the back buffer or another texture into one, and lay one over the window. The
// textures belong to the texture manager, which rebuilds them after a device reset; the set only
// keeps identifiers and drives the device.

#include <cstdint>

#include "Engine/DataArray.h"
#include "Engine/FastMath.h"
#include "Platform/Gfx/D3D.h"

class RenderWindow;

struct TargetContainer {
  int32_t one = 1;
  int32_t width = 256;
  int32_t height = 256;
  int32_t zero = 0;
  int32_t id = 0;
  int32_t texture = -1;
};

// Owned by its render window.
struct RenderTargetSet {
  DataArray<TargetContainer*> targets{4};
  int32_t nextId = 0;
  gfx::D3DSurface* savedDepthStencil = nullptr;
  gfx::D3DSurface* savedTarget = nullptr;
};

class RenderTarget {
 public:
  // Empties the set; 1.
  static int32_t Init(RenderTargetSet* set);
  // A new target; its identifier, or -1 when no memory could be had.
  static int32_t Create(RenderTargetSet* set);
  static void Delete(RenderTargetSet* set, int32_t id);
  // The target's texture handle, -1 for an unknown identifier.
  static int32_t GetTexture(RenderTargetSet* set, int32_t id);
  // Draws go into the target from now on, through a viewport of its size.
  static void Set(RenderTargetSet* set, int32_t id);
  // Keeps the device's current depth-stencil surface and render target 0 ...
  static void SaveTargets(RenderTargetSet* set);
  // ... and puts them back.
  static void RestoreTargets(RenderTargetSet* set);
  // Colour 0, depth 1.0 on the current target.
  static void Clear();
  static void CopyBackBuffer(RenderTargetSet* set, int32_t id);
  // Level 0 of one texture into another (texture handles).
  static void CopyTexture(int32_t source, int32_t dest);
  // Lays the target over the rectangle from `viewportMin` to `viewportMax` (pixels: a render
  // window passes its viewport's corners), blended by the target's own alpha.
  static void DrawToScreen(const Vector2& viewportMin, const Vector2& viewportMax,
                           RenderTargetSet* set, int32_t id);
  // The same over a render window's viewport.
  static void DrawToScreen(const RenderWindow* window, RenderTargetSet* set, int32_t id);
  static void CleanUp(RenderTargetSet* set);

  // The first container with the identifier, or null.
  static TargetContainer* Find(RenderTargetSet* set, int32_t id);
};
