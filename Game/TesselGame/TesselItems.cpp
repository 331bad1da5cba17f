// Plants and trees once pulled up: in the hand, bashed against the ground, thrown or dropped,
// in flight under gravity, and what they destroy when they come down or hit something.
#include "Engine/FastMathRotation.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCScene.h"
#include "Engine/PC/PCSkeleton.h"
#include "Engine/Random.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/TesselGame/cTesselEnemy.h"
#include "Game/TesselGame/cTesselGame.h"

namespace {

constexpr float kBlend = 10.0f;
constexpr float kPlantRadius = 40.0f;
constexpr uint32_t kNodePlaced = 2;
constexpr uint32_t kNodeHiddenFlag = 16;
constexpr float kEnemyHeight = 150.0f;

bool SpheresOverlapStrict(const Vector4& a, float ra, const Vector4& b, float rb) {
  Vector4 d;
  Subtract(b, a, d);
  const float r = ra + rb;
  return LengthSq3(d) < r * r;
}

// The point `along` units up the local z axis of `m` from its origin.
Vector4 AlongZ(const Matrix& m, const Vector4& origin, float along) {
  return Vector4(origin.x + m[8] * along, origin.y + m[9] * along, origin.z + m[10] * along, 1.0f);
}

LineSegment Trunk(const Matrix& m, const Vector4& origin, float from, float to) {
  const Vector4 start = AlongZ(m, origin, from);
  const Vector4 end = AlongZ(m, origin, to);
  Vector4 direction;
  Subtract(end, start, direction);
  return LineSegment(start, direction);
}

LineSegment Upright(const Vector4& position) {
  return LineSegment(position, Vector4(0.0f, 0.0f, kEnemyHeight, 0.0f));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Helpers

GameNode* cTesselGame::Node(uint32_t index) const {
  if (m_levelIndex < 0 || m_levelIndex >= kLevelCount || m_sceneIds[m_levelIndex] == -1)
    return nullptr;
  Scene* scene = GetApp().GetSceneFactory()->FindScene(m_sceneIds[m_levelIndex]);
  return scene ? scene->GetGameNodeRecord(int32_t(index)) : nullptr;
}

void cTesselGame::HideNode(uint32_t index) {
  if (GameNode* node = Node(index)) node->flags = kNodeHiddenFlag;
}

TesselPlant* cTesselGame::CurrentPlant() const {
  return m_currentPlant < m_plantCount ? &m_plants[m_currentPlant] : nullptr;
}

TesselTree* cTesselGame::CurrentTree() const {
  return m_currentTree < m_treeCount ? &m_trees[m_currentTree] : nullptr;
}

void cTesselGame::StartEffect(int32_t effect, const Vector4& at) {
  Matrix m;
  m.Identity();
  m.SetTranslation(Vector4(at.x, at.y, at.z, 1.0f));
  StartEffect(effect, m);
}

void cTesselGame::StartEffect(int32_t effect, const Matrix& at) {
  RenderWindow* window = Window();
  if (window && effect != -1) window->AddParticleSystem(effect, at);
}

void cTesselGame::Popup(int32_t value, const Vector4& at) { m_bonusScores.Add(value, at); }

void cTesselGame::DestroyPlant(TesselPlant& plant, int32_t effect) {
  plant.present = 0;
  HideNode(plant.node);
  StartEffect(m_particles[effect + int32_t(plant.kind)], plant.position);
}

Matrix cTesselGame::PlayerMatrix() const {
  const float c = Cos(m_heading), s = Sin(m_heading);
  Matrix m;
  m.Identity();
  m[0] = c;
  m[1] = s;
  m[4] = -s;
  m[5] = c;
  m.SetTranslation(Vector4(m_playerPosition.x, m_playerPosition.y, m_playerPosition.z, 1.0f));
  return m;
}

bool cTesselGame::HandMatrix(Matrix& out) const {
  const Skeleton* skeleton = m_playerAnimator ? m_playerAnimator->GetSkeleton() : nullptr;
  if (skeleton && skeleton->GetBoneWorldMatrix(m_rightHand, PlayerMatrix(), out)) return true;
  // No skeleton to hold it by: the item rides at her position.
  out = PlayerMatrix();
  return false;
}

void cTesselGame::AttachPlantToHand() {
  const TesselPlant* plant = CurrentPlant();
  GameNode* node = plant ? Node(plant->node) : nullptr;
  if (!node) return;
  Matrix hand;
  HandMatrix(hand);
  node->matrix[12] = hand[12];
  node->matrix[13] = hand[13];
  node->matrix[14] = hand[14];
  node->matrix[15] = 1.0f;
}

void cTesselGame::AttachTreeToHand() {
  const TesselTree* tree = CurrentTree();
  GameNode* node = tree ? Node(tree->node) : nullptr;
  if (!node) return;
  node->flags = kNodePlaced;
  HandMatrix(node->matrix);
}

// ---------------------------------------------------------------------------------------------
// Pulling up

void cTesselGame::PlantLeavesGround() {
  TesselPlant* plant = CurrentPlant();
  m_pullEffectsPlayed = 1;
  Effect(14, 1.2f, &m_playerPosition);
  if (plant) {
    StartEffect(m_particles[kFxMudSpray], plant->position);
    StartEffect(m_particles[kFxFlowers02 + int32_t(plant->kind)], plant->position);
    HideNode(plant->node);
  }
  m_plantInHand = 1;
}

void cTesselGame::PullPlantStep() {
  AnimationHelper* animator = m_playerAnimator;
  const int32_t pull = m_anims[kAnimPullPlant];
  if (!animator || animator->IsAnimationFinished(pull)) {
    // An animation too short to be seen past 0.4 still lifts the plant.
    if (!m_pullEffectsPlayed) PlantLeavesGround();
    SayComment(33);
    m_playState = kTesselCarryPlant;
    if (animator) animator->PlayReversed(m_anims[kAnimStandPlant], 1, 0.0f);
    AddScore(0, 250);
  }
  if (animator && animator->GetRemainingFraction(pull) > 0.4f) {
    AttachPlantToHand();
    if (!m_pullEffectsPlayed) PlantLeavesGround();
  }
}

void cTesselGame::TreeLeavesGround() {
  m_pullEffectsPlayed = 1;
  Effect(14, 1.2f, &m_playerPosition);
  if (const TesselTree* tree = CurrentTree()) StartEffect(m_particles[kFxMudSpray], tree->position);
}

void cTesselGame::PullTreeStep() {
  AnimationHelper* animator = m_playerAnimator;
  const int32_t pull = m_anims[kAnimPullTree];
  if (!animator || animator->IsAnimationFinished(pull)) {
    m_treeInHand = 1;
    if (!m_pullEffectsPlayed) TreeLeavesGround();
    SayComment(35);
    m_playState = kTesselCarryTree;
    if (animator) animator->PlayReversed(m_anims[kAnimStandTree], 1, 0.0f);
    AddScore(0, 500);
  }
  if (animator && animator->GetRemainingFraction(pull) > 0.534f) {
    m_treeInHand = 1;
    AttachTreeToHand();
    if (!m_pullEffectsPlayed) TreeLeavesGround();
  }
}

// ---------------------------------------------------------------------------------------------
// Bashing

void cTesselGame::BashPlantStep() {
  AnimationHelper* animator = m_playerAnimator;
  const int32_t bash = m_anims[kAnimBashPlant];
  if (!m_impactDone) AttachPlantToHand();
  // The impact comes at 0.45 of the swing, or at its end should the swing be too short to show.
  const bool finished = !animator || animator->IsAnimationFinished(bash);
  if (!m_impactDone && (finished || animator->GetRemainingFraction(bash) > 0.45f))
    BashPlantImpact();
  if (m_impactDone && finished) m_playState = kTesselFree;
}

void cTesselGame::BashPlantImpact() {
  m_plantInHand = 0;
  m_impactDone = 1;
  TesselPlant* held = CurrentPlant();
  if (!held) return;
  held->present = 0;
  HideNode(held->node);
  ++m_plantsDestroyed;
  Effect(4, 1.2f, nullptr);
  const GameNode* node = Node(held->node);
  Matrix at;
  at.Identity();
  if (node) at = node->matrix;
  StartEffect(m_particles[kFxFlowers01 + int32_t(held->kind)], at);
  StartEffect(m_particles[kFxPlantCollision], at);
  const Vector4 ground(at[12], at[13], 0.0f, 1.0f);
  for (uint32_t i = 0; i < m_plantCount; ++i) {
    TesselPlant& plant = m_plants[i];
    if (!plant.present || &plant == held) continue;
    if (!SpheresOverlapStrict(plant.position, kPlantRadius, ground, kPlantRadius)) continue;
    ++m_plantsDestroyed;
    AddScore(0, 400);
    SayComment(36);
    Popup(400, plant.position);
    DestroyPlant(plant, kFxFlowers02);
  }
}

void cTesselGame::BashTreeStep() {
  AnimationHelper* animator = m_playerAnimator;
  const int32_t bash = m_anims[kAnimBashTree];
  if (m_treeInHand) AttachTreeToHand();
  const bool finished = !animator || animator->IsAnimationFinished(bash);
  if (!m_impactDone && (finished || animator->GetRemainingFraction(bash) > 0.3f)) BashTreeImpact();
  if (m_treeInHand && (m_treeBashCount >= 4 || m_playState == kTesselLevelOver)) {
    DestroyHeldTree();
    return;
  }
  if (m_impactDone && finished && m_playState != kTesselLevelOver) {
    if (animator) animator->PlayReversed(m_anims[kAnimStandTree], 1, 0.0f);
    m_playState = kTesselCarryTree;
  }
}

void cTesselGame::BashTreeImpact() {
  ++m_treeBashCount;
  m_impactDone = 1;
  Effect(19, 1.2f, nullptr);
  SayLine(17 + int32_t(RandMod(4)), false);
  const TesselTree* tree = CurrentTree();
  const GameNode* node = tree ? Node(tree->node) : nullptr;
  if (!node) return;
  StartEffect(m_particles[kFxTreeCollision], node->matrix);
  const LineSegment trunk = Trunk(node->matrix, node->matrix.GetRow(3), -80.0f, 100.0f);
  for (uint32_t i = 0; i < m_plantCount; ++i) {
    TesselPlant& plant = m_plants[i];
    if (!plant.present || PointSegmentDistanceSq(plant.position, trunk) > 70.0f * 70.0f) continue;
    ++m_plantsDestroyed;
    AddScore(0, 500);
    DestroyPlant(plant, kFxFlowers02);
  }
}

void cTesselGame::DestroyHeldTree() {
  if (m_playState != kTesselLevelOver) ++m_treesDestroyed;
  m_treeInHand = 0;
  const TesselTree* tree = CurrentTree();
  if (tree) HideNode(tree->node);
  const GameNode* node = tree ? Node(tree->node) : nullptr;
  const Vector4 at = node ? node->matrix.GetRow(3) : m_playerPosition;
  Effect(20, 1.2f, &at);
  StartEffect(m_particles[kFxLeavesBig], at);
  if (m_playState != kTesselLevelOver) m_playState = kTesselFree;
  QueueStand();
}

// ---------------------------------------------------------------------------------------------
// Throwing and dropping

void cTesselGame::ThrowPlantStep() {
  AnimationHelper* animator = m_playerAnimator;
  const int32_t throwAnim = m_anims[kAnimThrowPlant];
  const bool finished = !animator || animator->IsAnimationFinished(throwAnim);
  if (!finished && animator->GetRemainingFraction(throwAnim) <= 0.33f)
    AttachPlantToHand();
  else if (!m_plantThrowReleased) {
    m_plantThrowReleased = 1;
    ThrowPlant();
  }
  if (finished) m_playState = kTesselFree;
}

void cTesselGame::ThrowTreeStep() {
  AnimationHelper* animator = m_playerAnimator;
  const int32_t throwAnim = m_anims[kAnimThrowTree];
  const bool finished = !animator || animator->IsAnimationFinished(throwAnim);
  if (!finished && animator->GetRemainingFraction(throwAnim) <= 0.38f)
    AttachTreeToHand();
  else if (!m_treeThrowReleased) {
    m_treeThrowReleased = 1;
    ThrowTree();
  }
  if (finished) m_playState = kTesselFree;
}

void cTesselGame::ThrowPlant() {
  AddScore(0, 250);
  ReleasePlant(800.0f, -300.0f);
}

void cTesselGame::ThrowTree() {
  AddScore(0, 500);
  ReleaseTree(600.0f, -600.0f);
}

void cTesselGame::DropCarried(bool tree) {
  if (tree)
    ReleaseTree(0.0f, 0.0f);
  else
    ReleasePlant(0.0f, 0.0f);
}

void cTesselGame::ReleasePlant(float speed, float lift) {
  const TesselPlant* plant = CurrentPlant();
  m_plantInHand = 0;
  if (!plant) return;
  const float rate = TickRate();
  Matrix hand;
  HandMatrix(hand);
  Vector4 euler;
  MatrixToEuler(hand, euler);
  m_thrownPlant.active = 1;
  m_thrownPlant.node = plant->node;
  m_thrownPlant.kind = plant->kind;
  m_thrownPlant.position = Vector4(hand[12], hand[13], hand[14], 1.0f);
  m_thrownPlant.yaw = euler.z;
  const float angle = m_heading + kHalfPi;
  m_thrownPlant.velocity =
      Vector4(Cos(angle) * speed / rate, Sin(angle) * speed / rate, lift / rate, 0.0f);
}

void cTesselGame::ReleaseTree(float speed, float lift) {
  const TesselTree* tree = CurrentTree();
  m_treeInHand = 0;
  if (!tree) return;
  const float rate = TickRate();
  Matrix hand;
  HandMatrix(hand);
  m_thrownTree.active = 1;
  m_thrownTree.node = tree->node;
  m_thrownTree.orientation = hand;
  m_thrownTree.orientation.SetTranslation(Vector4(0.0f, 0.0f, 0.0f, 1.0f));
  m_thrownTree.position = Vector4(hand[12], hand[13], hand[14], 1.0f);
  const float angle = m_heading + kHalfPi;
  m_thrownTree.velocity =
      Vector4(Cos(angle) * speed / rate, Sin(angle) * speed / rate, lift / rate, 0.0f);
}

// ---------------------------------------------------------------------------------------------
// Flight

void cTesselGame::UpdateThrownItems() {
  if (m_thrownPlant.active) {
    PlantFlightStep();
    if (m_playState != kTesselCaught && m_thrownPlant.active) PlantHitStep();
  }
  if (m_thrownTree.active) {
    TreeFlightStep();
    if (m_playState != kTesselCaught && m_thrownTree.active) TreeHitStep();
  }
}

void cTesselGame::PlantFlightStep() {
  ThrownPlant& p = m_thrownPlant;
  p.velocity.z += TickRate() / 100.0f;
  Subtract(p.position, p.velocity);
  if (GameNode* node = Node(p.node)) {
    node->matrix.RotationZ(p.yaw);
    node->matrix.SetTranslation(Vector4(p.position.x, p.position.y, p.position.z, 1.0f));
  }
  if (p.position.z >= 0.0f) return;
  p.active = 0;
  // A plant she dropped when caught still counts: she pulled it.
  ++m_plantsDestroyed;
  Effect(4, 1.2f, nullptr);
  if (m_playState != kTesselCaught) SayComment(32);
  StartEffect(m_particles[kFxFlowers01 + int32_t(p.kind)], p.position);
}

void cTesselGame::TreeFlightStep() {
  ThrownTree& t = m_thrownTree;
  t.velocity.z += TickRate() / 100.0f;
  Subtract(t.position, t.velocity);
  GameNode* node = Node(t.node);
  if (node) {
    node->matrix = t.orientation;
    node->matrix.SetTranslation(Vector4(t.position.x, t.position.y, t.position.z, 1.0f));
    node->flags = kNodePlaced;
  }
  if (t.position.z >= 0.0f) return;
  t.active = 0;
  HideNode(t.node);
  if (m_playState != kTesselLevelOver) ++m_treesDestroyed;
  Effect(4, 1.2f, nullptr);
  StartEffect(m_particles[kFxLeavesBig], t.position);
}

void cTesselGame::PlantHitStep() {
  if (PlantHitsPlants()) return;
  if (PlantHitsBox()) return;
  PlantHitsEnemy();
}

bool cTesselGame::PlantHitsPlants() {
  ThrownPlant& p = m_thrownPlant;
  for (uint32_t i = 0; i < m_plantCount; ++i) {
    TesselPlant& plant = m_plants[i];
    if (!plant.present ||
        !SpheresOverlapStrict(plant.position, kPlantRadius, p.position, kPlantRadius))
      continue;
    AddScore(0, 500);
    SayComment(34);
    Popup(500, plant.position);
    ++m_plantsDestroyed;
    Effect(5, 1.2f, nullptr);
    DestroyPlant(plant, kFxFlowers02);
    StartEffect(m_particles[kFxPlantCollision], plant.position);
    if (m_playState == kTesselLevelOver) {
      p.active = 0;
      StartEffect(m_particles[kFxFlowers01 + int32_t(p.kind)], p.position);
      return true;
    }
  }
  return false;
}

bool cTesselGame::PlantHitsBox() {
  ThrownPlant& p = m_thrownPlant;
  for (uint32_t i = 0; i < m_boxCount; ++i) {
    if (!PointInBox(p.position, m_boxes[i], 20.0f)) continue;
    ++m_plantsDestroyed;
    Popup(250, p.position);
    AddScore(0, 250);
    p.active = 0;
    Effect(5, 1.2f, &p.position);
    StartEffect(m_particles[kFxFlowers01 + int32_t(p.kind)], p.position);
    StartEffect(m_particles[kFxLeaves], p.position);
    return true;
  }
  return false;
}

bool cTesselGame::PlantHitsEnemy() {
  ThrownPlant& p = m_thrownPlant;
  for (uint32_t i = 0; i < m_enemyCount; ++i) {
    cTesselEnemy& enemy = m_enemies[i];
    if (PointSegmentDistanceSq(p.position, Upright(enemy.GetPosition())) > 3600.0f) continue;
    ++m_plantsDestroyed;
    AddScore(0, 1000);
    Popup(1000, p.position);
    enemy.Stun(5.0f, TickRate());
    p.active = 0;
    HideNode(p.node);
    Effect(9, 1.2f, &p.position);
    StartEffect(m_particles[kFxFlowers01 + int32_t(p.kind)], p.position);
    StartEffect(m_particles[kFxPlantCollision], p.position);
    return true;
  }
  return false;
}

void cTesselGame::TreeHitStep() {
  if (TreeHitsPlant()) return;
  if (TreeHitsBox()) return;
  TreeHitsEnemy();
}

bool cTesselGame::TreeHitsPlant() {
  const ThrownTree& t = m_thrownTree;
  const LineSegment trunk = Trunk(t.orientation, t.position, -70.0f, 100.0f);
  const Vector4 crown = AlongZ(t.orientation, t.position, 180.0f);
  for (uint32_t i = 0; i < m_plantCount; ++i) {
    TesselPlant& plant = m_plants[i];
    if (!plant.present) continue;
    const bool hit = SpheresOverlapStrict(plant.position, 60.0f, crown, 70.0f) ||
                     PointSegmentDistanceSq(plant.position, trunk) <= 80.0f * 80.0f;
    if (!hit) continue;
    ++m_plantsDestroyed;
    AddScore(0, 1000);
    SayComment(34);
    Effect(5, 1.2f, nullptr);
    DestroyPlant(plant, kFxFlowers02);
    StartEffect(m_particles[kFxPlantCollision], plant.position);
    return true;
  }
  return false;
}

bool cTesselGame::TreeHitsBox() {
  ThrownTree& t = m_thrownTree;
  for (uint32_t i = 0; i < m_boxCount; ++i) {
    if (!PointInBox(t.position, m_boxes[i], 10.0f)) continue;
    AddScore(0, 500);
    t.active = 0;
    HideNode(t.node);
    if (m_playState != kTesselLevelOver) ++m_treesDestroyed;
    Effect(5, 1.2f, &t.position);
    StartEffect(m_particles[kFxTreeCollision], t.position);
    StartEffect(m_particles[kFxLeaves], t.position);
    return true;
  }
  return false;
}

bool cTesselGame::TreeHitsEnemy() {
  ThrownTree& t = m_thrownTree;
  const LineSegment trunk = Trunk(t.orientation, t.position, 0.0f, 200.0f);
  const Vector4 crown = AlongZ(t.orientation, t.position, 250.0f);
  for (uint32_t i = 0; i < m_enemyCount; ++i) {
    cTesselEnemy& enemy = m_enemies[i];
    const LineSegment body = Upright(enemy.GetPosition());
    const bool hit = SegmentSegmentDistanceSq(body, trunk) <= 60.0f * 60.0f ||
                     PointSegmentDistanceSq(crown, body) <= 110.0f * 110.0f;
    if (!hit) continue;
    AddScore(0, 5000);
    SayComment(43);
    Popup(5000, t.position);
    enemy.Stun(8.0f, TickRate());
    t.active = 0;
    HideNode(t.node);
    if (m_playState != kTesselLevelOver) ++m_treesDestroyed;
    Effect(10, 1.2f, &t.position);
    StartEffect(m_particles[kFxLeavesBig], t.position);
    StartEffect(m_particles[kFxTreeCollision], t.position);
    return true;
  }
  return false;
}
