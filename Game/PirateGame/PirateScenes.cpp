// The pirate game's set pieces: the intro (the board opens, the hole covers drop in, the camera
// comes down), the camera moves between holes and to the tally, and the finale at the chest.
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCScene.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/PirateGame/cpirategame.h"

namespace {

constexpr int32_t kIntroScript[] = {GameSequence::kWait, GameSequence::kStartPlay,
                                    GameSequence::kFadeBackward};
constexpr int32_t kIntroScriptLength = sizeof(kIntroScript) / sizeof(kIntroScript[0]);
constexpr int32_t kSpeechBoardOpens = 116;
constexpr int32_t kSampleCoverLands = 14;
constexpr int32_t kSampleTally = 17;
constexpr int32_t kSampleChestOpens = 11;
constexpr int32_t kSampleChestChime = 18;
constexpr int32_t kSampleCoins = 7;
constexpr uint32_t kCoverShown = 2;
// The shadow's own flag, with the alpha bit so that the engine draws its fade.
constexpr uint32_t kShadowFading = 128 | 4;
constexpr float kCoverLiftBase = 3000.0f;
constexpr float kCoverLiftStep = 600.0f;
constexpr float kCoverFallPerSecond = 6000.0f;
constexpr float kBoardOpenToCovers = 0.6f;
constexpr float kCameraAcceleration = 0.12f;
constexpr float kFinaleDropLimit = 40.0f;
constexpr float kChestChime = 0.4f;
constexpr float kChestOpen = 0.6f;
constexpr float kSparkleHeight = 80.0f;
constexpr int32_t kFinaleSeconds = 6;

void SetNodePosition(GameNode& node, const Vector4& position) {
  node.matrix.m[12] = position.x;
  node.matrix.m[13] = position.y;
  node.matrix.m[14] = position.z;
}

}  // namespace

void cpirategame::UpdateIntro() {
  switch (m_introState) {
    case kIntroFadeIn:
      if (!m_fadeTimer.IsFinished()) return;
      m_introState = kIntroBoardOpening;
      if (m_boardAnim) m_boardAnim->Play(m_boardOpenAnim, 0, 0.0f);
      PlaySpeechSample(kSpeechBoardOpens);
      return;
    case kIntroBoardOpening: {
      // Without the board's animation there is nothing to wait for.
      const bool open = !m_boardAnim || m_boardOpenAnim == -1 ||
                        m_boardAnim->GetRemainingFraction(m_boardOpenAnim) > kBoardOpenToCovers;
      if (open) LiftCovers();
      return;
    }
    case kIntroCoversFalling:
      DropCovers();
      return;
    case kIntroCameraDown:
      LowerIntroCamera();
      return;
    default:
      return;
  }
}

void cpirategame::LiftCovers() {
  m_introState = kIntroCoversFalling;
  Scene* scene = GetScene();
  int32_t n = 0;
  for (int32_t i = 0; i < kHoles; ++i) {
    m_landed[i] = 0;
    m_shadowAlpha[i] = 0.0f;
    GameNode* node = m_holes ? NodeAt(scene, m_holes[i].objectNode) : nullptr;
    if (!node || m_holes[i].outOfPlay) continue;
    node->flags = kCoverShown;
    m_restPos[i] = node->matrix.GetRow(3);
    m_dropPos[i] = m_restPos[i];
    m_dropPos[i].z = kCoverLiftBase + kCoverLiftStep * static_cast<float>(n++);
    SetNodePosition(*node, m_dropPos[i]);
  }
}

void cpirategame::DropCovers() {
  Scene* scene = GetScene();
  bool settled = true;
  for (int32_t i = 0; i < kHoles && m_holes; ++i) {
    GameNode* node = NodeAt(scene, m_holes[i].objectNode);
    if (!node || m_holes[i].outOfPlay) continue;
    GameNode* shadow = NodeAt(scene, m_shadowNodes[i]);
    if (!m_landed[i]) {
      settled = false;
      m_dropPos[i].z -= kCoverFallPerSecond / m_fps;
      if (m_dropPos[i].z > m_restPos[i].z) {
        SetNodePosition(*node, m_dropPos[i]);
        continue;
      }
      SetNodePosition(*node, m_restPos[i]);
      m_landed[i] = 1;
      if (shadow) {
        shadow->flags = kShadowFading;
        shadow->tint.Set(1.0f, 1.0f, 1.0f, 0.0f);
      }
      PlayEffectAt(kSampleCoverLands, m_restPos[i]);
      continue;
    }
    if (!shadow) continue;
    m_shadowAlpha[i] += 1.0f / m_fps;
    if (m_shadowAlpha[i] >= 1.0f) {
      m_shadowAlpha[i] = 1.0f;
    } else {
      settled = false;
    }
    shadow->tint.w = m_shadowAlpha[i];
  }
  if (!settled) return;
  m_introState = kIntroCameraDown;
  m_introCameraT = 0.0f;
  m_sequence.Start(kIntroScript, kIntroScriptLength);
}

void cpirategame::LowerIntroCamera() {
  m_introCameraT += 1.0f / m_fps;
  if (m_introCameraT > 1.0f) {
    m_camera.SetPosition(m_playCameraPos);
    m_introState = kIntroStartScript;
    return;
  }
  const float t = m_introCameraT;
  const Vector4& a = m_introCameraPos;
  const Vector4& b = m_playCameraPos;
  m_camera.SetPosition(
      Vector4(a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z), a.w));
}

void cpirategame::UpdateCameraMove() {
  const float minimum = kCameraAcceleration / m_fps;
  if (m_cameraMoveStart) {
    m_cameraMoveStart = 0;
    m_cameraMoveT = 0.0f;
    m_cameraSpeed = minimum;
    m_cameraVelocity = 0.0f;
  }
  m_cameraVelocity += m_cameraSpeed;
  // Slowing down never stops the move short of its end, whatever the frame rate.
  if (m_cameraVelocity < minimum) m_cameraVelocity = minimum;
  m_cameraMoveT += m_cameraVelocity;
  if (m_cameraSpeed > 0.0f && m_cameraMoveT > 0.5f) {
    m_cameraSpeed = -m_cameraSpeed;
    m_cameraMoveT = 0.5f;
  }
  if (m_cameraMoveT > 0.9f) m_diagonalLatch = 0;
  const float s = m_cameraMoveT;
  const Vector4 look(m_cameraFrom.x + s * (m_cameraTo.x - m_cameraFrom.x),
                     m_cameraFrom.y + s * (m_cameraTo.y - m_cameraFrom.y),
                     m_cameraFrom.z + s * (m_cameraTo.z - m_cameraFrom.z), m_cameraFrom.w);
  m_camera.SetTarget(look);
  m_camera.SetPosition(Vector4(look.x, look.y + m_cameraOffsetY,
                               look.z + m_cameraOffsetY * m_cameraOffsetZFactor, look.w));
  if (m_cameraMoveT <= 1.0f) return;
  m_cameraMoveT = 0.0f;
  m_diagonalLatch = 0;
  m_cameraMoving = 0;
  if (m_playPhase != kPhasePairFound) return;
  PlayEffect(kSampleTally);
  m_tallyFade = 0.0f;
  m_tallyFading = 1;
}

void cpirategame::UpdateFinale() {
  switch (m_finaleState) {
    case kFinaleCameraDrop:
      DropToChest();
      return;
    case kFinaleChestOpening:
      OpenChest();
      return;
    case kFinaleTreasure:
      if (static_cast<float>(++m_finaleFrames) < m_fps) return;
      m_finaleFrames = 0;
      if (++m_finaleSeconds < kFinaleSeconds) return;
      m_fadeTimer.Start(0, m_fps);
      m_finaleState = kFinaleFadeOut;
      return;
    case kFinaleFadeOut:
      if (m_fadeTimer.IsFinished()) m_finaleState = kFinaleDone;
      return;
    default:
      return;
  }
}

void cpirategame::DropToChest() {
  m_finaleDrop += 0.5f;
  Vector4 eye = m_camera.GetPosition();
  eye.z -= m_finaleDrop;
  m_camera.SetPosition(eye);
  if (m_finaleDrop <= kFinaleDropLimit) return;
  StartEffect(m_dirtEffect, m_linePos[kLinePositions - 1]);
  if (m_chestAnim) {
    m_chestAnim->Play(m_chestOpenAnim, 0, 0.0f);
    m_chestAnim->Update(1.0f);
  }
  PlayEffect(kSampleChestOpens);
  m_finaleChimed = 0;
  m_finaleFrames = m_finaleSeconds = 0;
  m_finaleState = kFinaleChestOpening;
}

void cpirategame::OpenChest() {
  float played = 1.0f;
  if (m_chestAnim && m_chestOpenAnim != -1) {
    m_chestAnim->Update(1.0f);
    played = m_chestAnim->GetRemainingFraction(m_chestOpenAnim);
  }
  if (played > kChestChime && !m_finaleChimed) {
    PlayEffect(kSampleChestChime);
    m_finaleChimed = 1;
  }
  if (played <= kChestOpen) return;
  const Vector4& chest = m_linePos[kLinePositions - 1];
  StartEffect(m_coinEffect, chest);
  StartEffect(m_sparkleEffect, Vector4(chest.x, chest.y, chest.z + kSparkleHeight, chest.w));
  PlayEffect(kSampleCoins);
  m_finaleState = kFinaleTreasure;
}

void cpirategame::StartEffect(int32_t effect, const Vector4& at) {
  RenderWindow* main = MainWindow();
  if (effect == -1 || !main) return;
  Matrix emitter;
  emitter.Identity();
  emitter.SetTranslation(Vector4(at.x, at.y, at.z, 1.0f));
  m_finaleEffect = main->AddParticleSystem(effect, emitter);
}
