#pragma once
// A game's camera: an eye and a target that a game sets and its render window's camera takes at
// once (a game that places its camera while it draws is drawn from there in the same frame), and
// Update copies again each tick. The window is the one last handed to Update or SetFov. A blend
// moves eye and target from where they are to new values over a number of ticks; while it runs,
// SetPosition and SetTarget change where it ends. In the free-camera mode (a developer's aid) the
// input moves the eye instead and Update tells the game to stand still.

#include <cstdint>

#include "Engine/FastMath.h"

class Camera;
class RenderWindow;

class GameCamera {
 public:
  void Init();

  void SetPosition(const Vector4& eye);
  void SetTarget(const Vector4& target);
  const Vector4& GetPosition() const { return m_eye; }
  const Vector4& GetTarget() const { return m_target; }
  // Horizontal field of view in radians, for the window's camera.
  void SetFov(RenderWindow* window, float horizontalFov);

  // Moves eye and target to the given values over `ticks` ticks.
  void BlendTo(const Vector4& eye, const Vector4& target, float ticks);
  int32_t IsBlending() const { return m_blendTicks > 0.0f ? 1 : 0; }

  // Once per tick: steps a running blend and copies eye and target into the window's camera, or
  // moves the free camera by the input. Returns the free-camera flag.
  int32_t Update(RenderWindow* window);
  void SetFreeCamera(int32_t on) { m_freeCamera = on; }
  int32_t IsFreeCamera() const { return m_freeCamera; }

 private:
  void MoveFreeCamera();
  void UseWindow(RenderWindow* window);
  // The window's camera while the window is still the App's, else null.
  Camera* WindowCamera() const;

  Vector4 m_eye{0.0f, -1000.0f, 500.0f, 1.0f};
  Vector4 m_target{0.0f, 0.0f, 0.0f, 1.0f};
  Vector4 m_blendFromEye, m_blendFromTarget, m_blendToEye, m_blendToTarget;
  float m_blendTicks = 0.0f;
  float m_blendTime = 0.0f;
  int32_t m_freeCamera = 0;
  // Kept with its id: a window the game has deleted is found gone rather than used.
  RenderWindow* m_window = nullptr;
  int32_t m_windowId = -1;
};
