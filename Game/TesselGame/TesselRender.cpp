// The garden game's frame: the characters and what they carry as render nodes (the level's scene
// draws itself in the window), the HUD, the messages, and the listener moved to the camera.
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCScene.h"
#include "Engine/PC/PCSkeleton.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/TesselGame/cTesselEnemy.h"
#include "Game/TesselGame/cTesselGame.h"

namespace {

constexpr uint32_t kSkinnedNode = 1;
constexpr uint32_t kPlainNode = 0;

Matrix CharacterMatrix(float heading, const Vector4& p) {
  const float c = Cos(heading), s = Sin(heading);
  Matrix m;
  m.Identity();
  m[0] = c;
  m[1] = s;
  m[4] = -s;
  m[5] = c;
  m.SetTranslation(Vector4(p.x, p.y, p.z, 1.0f));
  return m;
}

}  // namespace

void cTesselGame::SubmitModel(RenderWindow* window, int32_t model, const Matrix& m,
                              Skeleton* skeleton) {
  if (model == -1) return;
  NodeContainer* container = GetApp().GetNodeFactory()->GetContainer(model);
  if (!container) return;
  RenderNodeRecord record;
  record.container = container;
  record.SetPlacement(m);
  record.SetFlags(skeleton ? kSkinnedNode : kPlainNode);
  record.SetTint(Vector4(1.0f, 1.0f, 1.0f, 1.0f));
  record.SetSkeleton(skeleton);
  window->AddRenderNode(record);
}

void cTesselGame::SubmitCharacter(RenderWindow* window, AnimationHelper* animator,
                                  const Matrix& m) {
  if (!animator) return;
  // A model without a skeleton is not drawn: posing it is what would have to fail.
  if (Skeleton* skeleton = animator->GetSkeleton() ? animator->PoseGeo() : nullptr)
    SubmitModel(window, animator->GetModel(), m, skeleton);
  SubmitModel(window, m_shadowModel, m, nullptr);
}

void cTesselGame::Render() {
  RenderWindow* window = Window();
  if (!window) return;
  const Matrix player = CharacterMatrix(m_heading, m_playerPosition);
  SubmitCharacter(window, m_playerAnimator, player);
  if (m_phoneShown && m_playerAnimator && m_playerAnimator->GetSkeleton()) {
    Matrix hand;
    if (m_playerAnimator->GetSkeleton()->GetBoneWorldMatrix(m_leftHand, player, hand))
      SubmitModel(window, m_phoneModel, hand, nullptr);
  }
  for (uint32_t i = 0; i < m_enemyCount; ++i) {
    const cTesselEnemy& enemy = m_enemies[i];
    SubmitCharacter(window, enemy.GetAnimator(),
                    CharacterMatrix(enemy.GetFacing(), enemy.GetPosition()));
  }
  DrawHud(window);
  DrawItems(window);
  DrawIngameText(window);
  if (CSoundWrapper* sound = GetSoundWrapper()) {
    if (const Camera* camera = window->GetCamera()) sound->SetListenerFromCamera(*camera);
    sound->Update();
  }
}

void cTesselGame::DrawHud(RenderWindow* window) {
  DrawScore(window, 0);
  DrawLives(window, m_lives);
  if (m_gameMode == kModeChallenge2)
    DrawCounter(window, 12, int32_t(m_treesDestroyed), int32_t(m_treeCount));
  else
    DrawCounter(window, 11, int32_t(m_plantsDestroyed), m_gameMode == kModeChallenge1 ? 20 : 50);
  if (m_gameMode == kModeChallenge1 || m_gameMode == kModeChallenge2) {
    const float rate = static_cast<float>(static_cast<uint32_t>(GetApp().GetTargetFrameRate()));
    DrawTime(window, m_timeLeft ? float(m_timeLeft) * rate : 0.0f);
  }
}

void cTesselGame::DrawItems(RenderWindow* window) {
  if (m_thrownPlant.active) {
    const GameNode* node = Node(m_thrownPlant.node);
    if (node) SubmitModel(window, m_pickedModels[m_thrownPlant.kind], node->matrix, nullptr);
  }
  const TesselPlant* plant = CurrentPlant();
  if (m_plantInHand && plant) {
    if (const GameNode* node = Node(plant->node))
      SubmitModel(window, m_pickedModels[plant->kind], node->matrix, nullptr);
  }
}
