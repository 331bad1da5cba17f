#pragma once
// A render window: one viewport with its camera, render lists and text, created and deleted
// through the application object, which runs its three per-frame operations in sort-key order.

#include <cstdint>

// The lighting a window's meshes are drawn with, and also the layout of the first 88 bytes of a
// ".lgt" file, which games copy and point a window at.
struct LightSetup {
  uint32_t count;  // directional lights in use, 0 to 3
  float ambient[3];
  struct Directional {
    float direction[3];
    float colour[3];
  } lights[3];
};
static_assert(sizeof(LightSetup) == 88, "a light record is the first 88 bytes of a .lgt file");

// One light straight down the view axis over a grey ambient.
constexpr LightSetup DefaultLightSetup() {
  return LightSetup{1,
                    {0.5f, 0.5f, 0.5f},
                    {{{0.0f, 0.0f, -1.0f}, {0.5f, 0.5f, 0.5f}},
                     {{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
                     {{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}}}};
}

class RenderWindow {
 public:
  virtual ~RenderWindow() = default;

  virtual void Clear() {}
  virtual void Update() {}
  virtual void Render() {}
  virtual void CleanUp() {}

  void SetId(int32_t id) { m_id = id; }
  int32_t GetId() const { return m_id; }
  float GetSortKey() const { return m_sortKey; }
  void SetSortKey(float key) { m_sortKey = key; }

  // The light record the window is drawn with: the one a game pointed it at, else its own.
  const LightSetup* GetLightSetup() const { return m_lightSetup ? m_lightSetup : &m_ownLightSetup; }
  void SetLightSetup(LightSetup* setup) { m_lightSetup = setup; }
  LightSetup* GetOwnLightSetup() { return &m_ownLightSetup; }

  // Red, green, blue and alpha factors that fade or tint everything the window draws.
  const float* GetColourFactors() const { return m_colourFactors; }
  void SetColourFactors(float r, float g, float b, float a) {
    m_colourFactors[0] = r;
    m_colourFactors[1] = g;
    m_colourFactors[2] = b;
    m_colourFactors[3] = a;
  }

  // The window's rectangle on the back buffer, in pixels.
  void SetViewportBounds(float left, float top, float right, float bottom) {
    m_viewport[0] = left;
    m_viewport[1] = top;
    m_viewport[2] = right;
    m_viewport[3] = bottom;
  }
  int32_t GetWidth() const { return static_cast<int32_t>(m_viewport[2] - m_viewport[0]); }
  int32_t GetHeight() const { return static_cast<int32_t>(m_viewport[3] - m_viewport[1]); }
  // Left and top.
  const float* GetViewportMin() const { return &m_viewport[0]; }

 protected:
  int32_t m_id = -1;
  float m_sortKey = 0.0f;
  float m_colourFactors[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  float m_viewport[4] = {};  // left, top, right, bottom
  LightSetup m_ownLightSetup = DefaultLightSetup();
  LightSetup* m_lightSetup = nullptr;
};
