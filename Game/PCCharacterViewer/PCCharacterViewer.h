#pragma once
// The character viewer: a development tool built as a mini-game. It shows one character model
// playing one animation in a small viewer scene, with a camera that circles the character; the
// model and the animation are chosen in two open-file dialogs, and the reload button (E) chooses
// again. The front end's PDFE_StartAnimationViewer makes it the current game; no menu item does.

#include <cstdint>

#include "Engine/FastMath.h"
#include "Game/GameBaseClass.h"
#include "Game/Helper/GameCamera.h"

class AnimationHelper;

class PCCharacterViewer : public GameBaseClass {
 public:
  static constexpr float kOrbitStep = 0.017453292f;
  static constexpr float kFullTurn = 6.2831855f;
  static constexpr float kOrbitRadius = 400.0f;
  static constexpr int32_t kPathSize = 260;

  PCCharacterViewer(int32_t mode, int32_t level);
  ~PCCharacterViewer() override;

  int32_t Init() override;
  int32_t Update() override;
  void Render() override;
  void CleanUp() override;

  // Chooses a model and an animation (the defaults when either dialog is cancelled) and loads
  // them into a new animation player, giving back the one before.
  void LoadAnimAndGeo();

  float GetOrbitAngle() const { return m_orbitAngle; }
  void SetOrbitAngle(float angle) { m_orbitAngle = angle; }
  const Vector4& GetEye() const { return m_eye; }
  const Vector4& GetTarget() const { return m_target; }
  const Vector4& GetCharacterPosition() const { return m_characterPosition; }
  AnimationHelper* GetHelper() const { return m_helper; }
  int32_t GetAnimation() const { return m_animId; }
  int32_t GetModel() const { return m_modelId; }
  int32_t GetWindowId() const { return m_windowId; }
  int32_t GetScene() const { return m_scene; }
  float GetPlaybackSpeed() const { return m_speed; }

 private:
  static void AnimationEnded(void* viewer, float overshoot);
  bool ChooseFiles(char* model, char* animation);
  void ReadSceneNodes();
  void ReleaseHelper();

  Vector4 m_eye{0.0f, 0.0f, 0.0f, 1.0f};
  Vector4 m_target{0.0f, 0.0f, 0.0f, 1.0f};
  Vector4 m_characterPosition{0.0f, 0.0f, 0.0f, 1.0f};
  Vector4 m_characterStart{0.0f, 0.0f, 0.0f, 1.0f};
  GameCamera m_camera;
  AnimationHelper* m_helper = nullptr;
  int32_t m_animId = -1;
  int32_t m_modelId = -1;
  float m_orbitAngle = 0.0f;
  float m_orbitRadius = kOrbitRadius;
  int32_t m_scene = -1;
  int32_t m_windowId = -1;
  // Playback speed of the animation, 0 to 1, lowered by Q and raised by W.
  float m_speed = 1.0f;
};
