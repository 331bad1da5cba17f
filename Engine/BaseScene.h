#pragma once
// A scene as a render window sees it: something attached to the window once and asked every
// frame to put its meshes into the window's mesh lists. The scene loader implements it.

#include <cstdint>

class RenderWindow;
struct GameNode;

class BaseScene {
 public:
  // The flags word: bit 2 hides the scene.
  static constexpr uint32_t kHidden = 0x2;

  BaseScene() = default;
  virtual ~BaseScene() = default;

  // The per-frame submission, unless the scene is hidden.
  virtual void Draw(RenderWindow* window) = 0;
  // The submission itself: the scene's meshes into the window's four mesh lists.
  virtual void Render(RenderWindow* window) = 0;
  virtual void CleanUp() = 0;
  // The name of game node `index`.
  virtual const char* GetGameNode(int32_t index) = 0;
  // The first game node of that name, or null.
  virtual GameNode* FindGameNode(const char* name) = 0;
  virtual int32_t GetNumGameNodes() = 0;
  // Advances the scene's clock by one frame; a scene without one has nothing to do.
  virtual void AdvanceTime(int32_t) {}

  // Called when the window takes the scene: the scene starts its effects in that window.
  virtual void AttachToWindow(RenderWindow* window) = 0;

  // What the geometry draws take from the scene of the window being drawn: the wave time of
  // its water and the texture its water's second stage shows (-1 for the fallback texture).
  virtual float GetWaterTime() const { return 0.0f; }
  virtual int32_t GetWaterTexture() const { return -1; }

  uint32_t GetFlags() const { return m_flags; }
  void SetFlags(uint32_t flags) { m_flags = flags; }

 protected:
  uint32_t m_flags = 1;
};
