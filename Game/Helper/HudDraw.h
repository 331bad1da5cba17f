#pragma once
// The HUD's pieces: textures drawn at their own size on the 640 x 480 HUD plane, and the set of
// HUD textures every game shares (the score, the clock, lives and the 13 counter icons).

#include <cstdint>

#include "Engine/PC/PCPolygonPools.h"

class RenderWindow;

// A rectangle of the HUD plane from its top-left corner (x0, y0) to (x1, y1), edges excluded:
// what a HUD piece covers.
struct HudRect {
  float x0 = 0.0f, y0 = 0.0f, x1 = 0.0f, y1 = 0.0f;

  bool IsEmpty() const { return !(x1 > x0 && y1 > y0); }
  // Grows to cover `other` as well; an empty rectangle adds nothing.
  void Include(const HudRect& other);
  // Whether the two share any area (rectangles that only touch do not).
  bool Overlaps(const HudRect& other) const;
};

// A textured rectangle from (x0, y0) to (x1, y1) on the HUD plane, the whole texture across it,
// each corner in `colour`; drawn double-sided and blended unless other polygon flags are given.
void AddHudQuad(RenderWindow* window, int32_t texture, float x0, float y0, float x1, float y1,
                uint32_t colour = 0xFFFFFFFFu, const float* factors = nullptr,
                uint32_t flags = PolygonPools::kNoCulling | PolygonPools::kBlended);

// Draws `texture` at its own size with its top-left corner at (x, y) of the HUD plane, blended
// by its alpha; what it covered (empty when nothing was drawn).
HudRect DrawHudTexture(RenderWindow* window, int32_t texture, float x, float y);

struct HudTextures {
  static constexpr int32_t kCounterKinds = 13;

  int32_t score = -1;
  int32_t clock = -1;
  int32_t lives = -1;
  int32_t counters[kCounterKinds] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

  // Loads them from "data\Hud\" whatever the current data folder is, and puts the folder back.
  void Load();
  // Lets go of each and sets it back to none, so that Release may run twice.
  void Release();
};
