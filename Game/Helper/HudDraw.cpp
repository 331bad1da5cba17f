#include "Game/Helper/HudDraw.h"

#include <cstdio>

#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCPolygonPools.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Game/Helper/ScopedDataFolder.h"

namespace {
constexpr const char* kHudFolder = "data\\Hud\\";

int32_t LoadHudTexture(const char* name) { return GetApp().GetTexture()->Load(name); }

void ReleaseHudTexture(int32_t* handle) {
  if (*handle != -1) GetApp().GetTexture()->Delete(*handle);
  *handle = -1;
}
}  // namespace

void HudRect::Include(const HudRect& other) {
  if (other.IsEmpty()) return;
  if (IsEmpty()) {
    *this = other;
    return;
  }
  x0 = other.x0 < x0 ? other.x0 : x0;
  y0 = other.y0 < y0 ? other.y0 : y0;
  x1 = other.x1 > x1 ? other.x1 : x1;
  y1 = other.y1 > y1 ? other.y1 : y1;
}

bool HudRect::Overlaps(const HudRect& other) const {
  if (IsEmpty() || other.IsEmpty()) return false;
  return x0 < other.x1 && other.x0 < x1 && y0 < other.y1 && other.y0 < y1;
}

HudRect DrawHudTexture(RenderWindow* window, int32_t texture, float x, float y) {
  // Texture handles are asset identifiers: any value but -1 may name one.
  if (!window || texture == -1) return HudRect();
  BaseTexture* textures = GetApp().GetTexture();
  const float w = static_cast<float>(textures->GetWidth(texture));
  const float h = static_cast<float>(textures->GetHeight(texture));
  if (w <= 0.0f || h <= 0.0f) return HudRect();
  AddHudQuad(window, texture, x, y, x + w, y + h);
  return HudRect{x, y, x + w, y + h};
}

void AddHudQuad(RenderWindow* window, int32_t texture, float x0, float y0, float x1, float y1,
                uint32_t colour, const float* factors, uint32_t flags) {
  if (!window) return;
  const PolyVertex2D quad[4] = {
      {x0, y0, 0.0f, 1.0f, colour, 0.0f, 0.0f},
      {x1, y0, 0.0f, 1.0f, colour, 1.0f, 0.0f},
      {x0, y1, 0.0f, 1.0f, colour, 0.0f, 1.0f},
      {x1, y1, 0.0f, 1.0f, colour, 1.0f, 1.0f},
  };
  window->Add2DPolyStrip(texture, 4, quad, factors, flags);
}

void HudTextures::Load() {
  ScopedDataFolder folder(kHudFolder, "HudTextures::Load");
  score = LoadHudTexture("score.dds");
  clock = LoadHudTexture("clock.dds");
  lives = LoadHudTexture("lives.dds");
  for (int32_t kind = 0; kind < kCounterKinds; ++kind) {
    char name[32];
    std::snprintf(name, sizeof(name), "counter%02d.dds", kind);
    counters[kind] = LoadHudTexture(name);
  }
}

void HudTextures::Release() {
  ReleaseHudTexture(&score);
  ReleaseHudTexture(&clock);
  ReleaseHudTexture(&lives);
  for (int32_t& counter : counters) ReleaseHudTexture(&counter);
}
