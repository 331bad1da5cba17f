#pragma once
// The platform-neutral part of every render window: the sort key by which the application
// orders its windows, the four colour factors that fade or tint everything the window draws, the
// window flags and clear colour, the backdrop, the light record that feeds the lighting
// constants, the per-frame text queue, the conversion of window sizes to a 4:3 screen, and the
// particle systems the window owns. The PC window is `RenderWindow` (Engine/PC/PCRenderWindow.h).

#include <cstdint>

#include "Engine/BaseParticleSystem.h"
#include "Engine/DataArray.h"
#include "Engine/FastMath.h"
#include "Engine/Random.h"

class BaseFont;
class BaseLightManager;
class BaseScene;
class Camera;
class DebugLines;
struct NodeInstanceBody;
struct PolygonData;
struct PolygonData2D;
struct PolyVertex;
struct PolyVertex2D;
struct RenderNodeRecord;

// The lighting a window's meshes are drawn with, and also the layout of the first 88 bytes of a
// ".lgt" file, which games copy and point a window at.
struct LightSetup {
  static constexpr uint32_t kMaxLights = 3;

  uint32_t count;  // directional lights in use, 0 to 3
  float ambient[3];
  struct Directional {
    float direction[3];
    float colour[3];
  } lights[kMaxLights];

  void SetAmbient(float r, float g, float b) {
    ambient[0] = r;
    ambient[1] = g;
    ambient[2] = b;
  }
  void SetLightDirection(uint32_t i, float x, float y, float z) {
    if (i >= kMaxLights) return;
    lights[i].direction[0] = x;
    lights[i].direction[1] = y;
    lights[i].direction[2] = z;
  }
  void SetLightColour(uint32_t i, float r, float g, float b) {
    if (i >= kMaxLights) return;
    lights[i].colour[0] = r;
    lights[i].colour[1] = g;
    lights[i].colour[2] = b;
  }
  void SetOneLight() { count = 1; }
  void CopyFrom(const LightSetup& other) { *this = other; }
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

// One queued text: drawn at the end of the window's frame.
struct TextItem {
  BaseFont* font;
  int32_t x;
  int32_t y;
  uint32_t colour;  // ARGB, already scaled by the window's colour factors
  float depth;
  const char16_t* text;  // inside the window's text buffer
  int32_t wrapWidth;     // 0: no wrapping
};

// An integer rectangle {x, y, width, height}: the layout of a window's int viewport.
struct WindowRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;

  void Set(int32_t x_, int32_t y_, int32_t width_, int32_t height_) {
    x = x_;
    y = y_;
    width = width_;
    height = height_;
  }
  // The rectangle between two corners, both inside it.
  void SetFromCorners(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    Set(x1, y1, x2 - x1 + 1, y2 - y1 + 1);
  }
  // Keeps the size, moves to the origin.
  void SetToOrigin() { x = y = 0; }
  void Offset(int32_t dx, int32_t dy) {
    x += dx;
    y += dy;
  }
  void Inset(int32_t dx, int32_t dy) { Set(x + dx, y + dy, width - 2 * dx, height - 2 * dy); }
  void Outset(int32_t dx, int32_t dy) { Set(x - dx, y - dy, width + 2 * dx, height + 2 * dy); }
  void Copy(const WindowRect& other) { *this = other; }
  // Cuts the rectangle down to the part that lies inside `other`.
  void Clip(const WindowRect& other) {
    if (x < other.x) {
      width -= other.x - x;
      x = other.x;
    }
    if (y < other.y) {
      height -= other.y - y;
      y = other.y;
    }
    if (x + width > other.x + other.width) width = other.x + other.width - x;
    if (y + height > other.y + other.height) height = other.y + other.height - y;
  }
  // The four values in order, as the camera takes a viewport.
  void ToArray(int32_t* out) const {
    out[0] = x;
    out[1] = y;
    out[2] = width;
    out[3] = height;
  }
};

class BaseRenderWindow {
 public:
  // Window flags.
  static constexpr int32_t kClearColour = 0x2;
  static constexpr int32_t kClearDepth = 0x4;
  static constexpr int32_t kSuspended = 0x8;
  static constexpr int32_t kDefaultFlags = kClearColour | kClearDepth;

  // The text queue's sizes: characters of all of a frame's texts (terminators included) and
  // texts per frame.
  static constexpr int32_t kTextBufferSize = 2048;
  static constexpr int32_t kMaxTextItems = 20;

  BaseRenderWindow();
  virtual ~BaseRenderWindow();
  BaseRenderWindow(const BaseRenderWindow&) = delete;
  BaseRenderWindow& operator=(const BaseRenderWindow&) = delete;

  // ---- The window's operations, in the order of its table.
  virtual int32_t Init(const Vector2& topLeft, const Vector2& bottomRight,
                       const Vector4& clearColour, int32_t flags, float sortKey) = 0;
  virtual void CleanUp() = 0;
  virtual void SetViewport(int32_t left, int32_t top, int32_t right, int32_t bottom) = 0;
  virtual int32_t SetId(int32_t id) = 0;
  virtual int32_t GetId() const = 0;
  virtual int32_t GetWidth() const = 0;
  virtual int32_t GetHeight() const = 0;
  // Left and top; right and bottom (floats, pixels of the back buffer).
  virtual const float* GetViewportMin() const = 0;
  virtual const float* GetViewportMax() const = 0;
  virtual const WindowRect* GetViewportRect() const = 0;
  virtual void Reserved10() {}
  virtual void Reserved11() {}
  virtual RenderNodeRecord* AddRenderNode(const RenderNodeRecord& record) = 0;
  virtual int32_t SetScene(BaseScene* scene) = 0;
  virtual BaseScene* GetScene() = 0;
  virtual NodeInstanceBody* AddNodeInstance(int32_t geometryHandle) = 0;
  virtual void Clear() = 0;
  virtual void Update() = 0;
  virtual void Render() = 0;
  virtual Camera* SetCamera(Camera* camera) = 0;
  virtual Camera* GetCamera() = 0;
  virtual const Vector4& SetUserVector(const Vector4& v) = 0;
  virtual const Vector4& GetUserVector() const = 0;
  virtual BaseLightManager* GetLightManager() = 0;
  virtual PolygonData* AddPoly(int32_t texture, int32_t vertexCount, const PolyVertex* vertices,
                               const float* colourFactors, uint32_t flags) = 0;
  virtual PolygonData* AddPolyStrip(int32_t texture, int32_t vertexCount,
                                    const PolyVertex* vertices, const float* colourFactors,
                                    uint32_t flags) = 0;
  virtual PolygonData2D* Add2DPoly(int32_t texture, int32_t vertexCount,
                                   const PolyVertex2D* vertices, const float* colourFactors,
                                   uint32_t flags) = 0;
  virtual PolygonData2D* Add2DPolyStrip(int32_t texture, int32_t vertexCount,
                                        const PolyVertex2D* vertices, const float* colourFactors,
                                        uint32_t flags) = 0;
  virtual DebugLines* GetDebugLines() = 0;

  // ---- Sort key, colour factors, flags, clear colour, backdrop.
  float GetSortKey() const { return m_sortKey; }
  void SetSortKey(float key) { m_sortKey = key; }
  // Red, green, blue and alpha factors that fade or tint everything the window draws.
  const float* GetColourFactors() const { return m_colourFactors; }
  void SetColourFactors(float r, float g, float b, float a) {
    m_colourFactors[0] = r;
    m_colourFactors[1] = g;
    m_colourFactors[2] = b;
    m_colourFactors[3] = a;
  }
  int32_t GetFlags() const { return m_flags; }
  void SetFlags(int32_t flags) { m_flags = flags; }
  // Red, green, blue, alpha in 0..255.
  const float* GetClearColour() const { return m_clearColour; }
  void SetClearColour(float r, float g, float b, float a) {
    m_clearColour[0] = r;
    m_clearColour[1] = g;
    m_clearColour[2] = b;
    m_clearColour[3] = a;
  }
  // The texture drawn over the whole client area before anything else (-1 none).
  int32_t GetBackdrop() const { return m_backdrop; }
  void SetBackdrop(int32_t handle) { m_backdrop = handle; }

  // ---- Lights.
  // The light record the window is drawn with: the one a game pointed it at, else its own.
  const LightSetup* GetLightSetup() const { return m_lightSetup ? m_lightSetup : &m_ownLightSetup; }
  // The record stays the caller's; null goes back to the window's own.
  void SetLightSetup(LightSetup* setup) { m_lightSetup = setup; }
  LightSetup* GetOwnLightSetup() { return &m_ownLightSetup; }

  // ---- Text.
  // Queues a text for this frame at (x, y) of the window. Dropped without a word when the frame
  // has 20 texts already or the text (with its terminator) would bring the buffer to 2048
  // characters or more.
  void PrintText(const char16_t* text, int32_t x, int32_t y, uint32_t colour, float depth,
                 BaseFont* font, int32_t wrapWidth = 0);
  // The same for 8-bit text: each byte becomes one character of the same value.
  void PrintText(const char* text, int32_t x, int32_t y, uint32_t colour, float depth,
                 BaseFont* font);
  // Draws the queued texts in order and empties the queue.
  void FlushText();
  // Empties the queue without drawing.
  void DropText();
  int32_t GetTextItemCount() const { return m_textItemCount; }
  const TextItem* GetTextItem(int32_t i) const {
    return (i >= 0 && i < m_textItemCount) ? &m_textItems[i] : nullptr;
  }
  int32_t GetTextUsed() const { return m_textUsed; }

  // Each byte of an ARGB colour times the factor of its channel, truncated and held to 255.
  static uint32_t ScaleColour(uint32_t colour, const float* factors);

  // ---- A 4:3 screen.
  // The horizontal scale that makes the window's shape look like 4:3 on the client area; the
  // vertical scale is 1.
  void GetAspectScale(float* xScale, float* yScale) const;
  // A window position as a fraction of the window's size, times the aspect scale.
  void ScaleTo43(float x, float y, float* xOut, float* yOut) const;

  // ---- Particle systems.
  // Takes ownership of a system made and initialised by the caller; the id the window gives it
  // (ids are not reused within a window), or -1 for a null system or when the list cannot grow
  // (the system is then deleted).
  int32_t AddParticleSystem(BaseParticleSystem* system);
  // Builds a system from the particle template with that id (ParticleFactory), placed by the
  // emitter matrix, and takes it as above. -1 (and an assertion) when the template is unknown,
  // or -1 when the system cannot be set up.
  int32_t AddParticleSystem(int32_t templateId, const Matrix& emitter);
  // The system with that id, or null.
  BaseParticleSystem* GetParticleSystem(int32_t id);
  // Cleans up and deletes the system with that id; an unknown id does nothing.
  void DeleteParticleSystem(int32_t id);
  // Deletes every system and frees the list.
  void CleanUpParticleSystems();
  // Draws the systems with live particles whose template flags match `mask`: 0 takes systems
  // with none of 0x4, 0x8, 0x10, anything else those sharing one of them with the mask.
  void RenderParticleSystems(uint32_t mask);
  int32_t GetParticleSystemCount() const { return m_particles.GetCount(); }
  const ParticleContainer* GetParticleContainer(int32_t index) const {
    return (index >= 0 && index < m_particles.GetCount()) ? &m_particles[index] : nullptr;
  }
  int32_t GetNextParticleId() const { return m_nextParticleId; }
  // From now on the systems this window builds from templates draw their random numbers from a
  // generator of the window's own, started at `seed`, instead of the program's: effects that
  // are only looked at then leave the program's sequence alone (two linked machines draw
  // different numbers of frames, so their effects step differently).
  void UseOwnParticleRandom(uint32_t seed);
  // The window's own generator while it is in use, else null.
  RandomGenerator* GetParticleRandom() { return m_ownParticleRandom ? &m_particleRandom : nullptr; }

 protected:
  // Steps every system once for update group `group`; one that reports its end is deleted at
  // once and the ones after it are still stepped.
  void UpdateParticleSystems(int32_t group);
  // Frees the system's particles, gives its texture reference back and deletes it.
  static void DestroyParticleSystem(BaseParticleSystem* system);

  float m_sortKey = 0.0f;
  float m_colourFactors[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  int32_t m_flags = kDefaultFlags;
  float m_clearColour[4] = {};
  DataArray<ParticleContainer> m_particles{1};
  int32_t m_nextParticleId = 0;
  RandomGenerator m_particleRandom;
  bool m_ownParticleRandom = false;
  int32_t m_backdrop = -1;
  LightSetup m_ownLightSetup = DefaultLightSetup();
  LightSetup* m_lightSetup = nullptr;
  int32_t m_textBufferSize = kTextBufferSize;
  int32_t m_maxTextItems = kMaxTextItems;
  char16_t* m_textBuffer = nullptr;
  int32_t m_textUsed = 0;
  TextItem* m_textItems = nullptr;
  int32_t m_textItemCount = 0;
};

// A new render window of the platform's kind, with room for `instanceCapacity` geometry
// instances a frame (0 for a window that takes none), for the caller to Init and hand to the
// application's AddWindow. Allocated as `new` is, under the memory tracker's pending owner.
BaseRenderWindow* NewRenderWindow(const AllocOwner& owner, int32_t instanceCapacity);
