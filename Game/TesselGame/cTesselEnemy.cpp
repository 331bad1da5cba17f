#include "Game/TesselGame/cTesselEnemy.h"

#include "Engine/BaseParticleSystem.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Game/Helper/AnimationHelper.h"

uint32_t cTesselEnemy::s_serialCounter = 0;

namespace {

constexpr float kBlend = 10.0f;
constexpr float kBoxMargin = 30.0f;
constexpr float kTiny = 0.00001f;
constexpr float kMoved = 0.001f;
constexpr float kTwoPi = 6.2831855f;
constexpr float kStarsHeight = 170.0f;

// Heading of a character that looks from `from` towards `to`, in [0, 2pi) when wrapped.
float FacingFromTo(const Vector4& from, const Vector4& to) {
  float facing = Atan2(from.y - to.y, from.x - to.x) - kHalfPi;
  if (facing < 0.0f) facing += kTwoPi;
  return facing;
}

bool Moved(const Vector4& a, const Vector4& b) {
  return Fabs(a.x - b.x) >= kMoved || Fabs(a.y - b.y) >= kMoved || Fabs(a.z - b.z) >= kMoved ||
         Fabs(a.w - b.w) >= kMoved;
}

float SignedUnit(float difference) {
  return Fabs(difference) > kTiny ? difference / Fabs(difference) : difference;
}

}  // namespace

cTesselEnemy::cTesselEnemy() : m_serial(s_serialCounter++) {
  m_animator = TrackedNew<AnimationHelper>("cTesselEnemy::cTesselEnemy");
  if (!m_animator) return;
  m_standAnim = m_animator->AddAnimation("miwc_stand.anm");
  m_walkAnim = m_animator->AddAnimation("miwc_walk.anm");
  m_runAnim = m_animator->AddAnimation("miwc_run.anm");
  m_stunnedAnim = m_animator->AddAnimation("miwc_stunned.anm");
}

cTesselEnemy::~cTesselEnemy() { CleanUpEnemy(); }

void cTesselEnemy::CleanUpEnemy() {
  if (m_animator) TrackedDelete("cTesselEnemy::CleanUpEnemy", m_animator);
  m_animator = nullptr;
  if (m_state == kEnemyStunned) StopStars();
  m_starsEffect = -1;
}

void cTesselEnemy::SetNetwork(TesselNavNode* junctions, uint32_t junctionCount,
                              TesselNavNode* intermediates, uint32_t intermediateCount) {
  m_junctions = junctions;
  m_junctionCount = junctionCount;
  m_intermediates = intermediates;
  m_intermediateCount = intermediateCount;
}

void cTesselEnemy::SetStartNode(TesselNavNode* node) {
  m_currentNode = m_targetNode = node;
  if (node) m_startPosition = m_position = m_previousPosition = node->position;
  m_segmentLength = 0.0f;
}

void cTesselEnemy::SetNodes(TesselNavNode* current, TesselNavNode* target) {
  m_currentNode = current;
  m_targetNode = target;
  UpdateSegmentLength();
}

void cTesselEnemy::SetBoxes(const BoundingBox* boxes, uint32_t count) {
  m_boxes = boxes;
  m_boxCount = count;
}

void cTesselEnemy::LoadModel() {
  if (!m_animator) return;
  m_animator->LoadModel("man_in_white_coat01.geo");
  m_animator->SetCurrentAnimation(m_standAnim);
}

void cTesselEnemy::ResetForLevel() {
  if (!m_animator) return;
  m_animator->CreateSkeleton();
  m_animator->Play(m_walkAnim, 1, 0.0f);
  m_animator->Update(1.0f);
}

int32_t cTesselEnemy::GetModel() const { return m_animator ? m_animator->GetModel() : -1; }

// ---------------------------------------------------------------------------------------------
// Reactions

void cTesselEnemy::Stun(float seconds, float tickRate) {
  if (m_state != kEnemyStunned) {
    RenderWindow* window = GetApp().FindWindow(m_windowId);
    if (window && m_starsTemplate != -1) {
      Matrix emitter;
      emitter.Identity();
      emitter.SetTranslation(Vector4(m_position.x, m_position.y, kStarsHeight, 1.0f));
      m_starsEffect = window->AddParticleSystem(m_starsTemplate, emitter);
    }
  }
  EnsureAnimation(m_stunnedAnim);
  m_state = kEnemyStunned;
  const float ticks = tickRate * seconds;
  m_stunCountdown = ticks > 0.0f ? static_cast<uint32_t>(ticks) : 0u;
}

void cTesselEnemy::Stand() {
  EnsureAnimation(m_standAnim);
  if (m_state == kEnemyStunned) StopStars();
}

void cTesselEnemy::StopStars() {
  RenderWindow* window = GetApp().FindWindow(m_windowId);
  BaseParticleSystem* stars = window ? window->GetParticleSystem(m_starsEffect) : nullptr;
  if (stars) stars->SetFlags(stars->GetFlags() & ~BaseParticleSystem::kLooped);
}

void cTesselEnemy::EnsureAnimation(int32_t anim) {
  if (m_animator && !m_animator->IsAnimationActive(anim)) m_animator->QueueOnly(anim, kBlend, 0, 1);
}

void cTesselEnemy::Advance(float step) {
  if (m_animator) m_animator->Update(step);
}

void cTesselEnemy::SetChasing() {
  m_state = kEnemyChase;
  m_chaseFrames = 0;
  m_blockedFrames = 0;
}

bool cTesselEnemy::StunTick() {
  if (m_stunCountdown > 0) --m_stunCountdown;
  if (m_stunCountdown > 0) {
    EnsureAnimation(m_stunnedAnim);
    return false;
  }
  if (m_animator) m_animator->QueueOnly(m_walkAnim, kBlend, 0, 1);
  StopStars();
  SetChasing();
  return true;
}

// ---------------------------------------------------------------------------------------------
// Steps along the network

float cTesselEnemy::ProgressFor(float speed) const {
  // A segment without length is walked in one step rather than divided by zero.
  return m_segmentLength > kTiny ? speed / m_segmentLength : 1.0f;
}

void cTesselEnemy::UpdateSegmentLength() {
  m_segmentLength =
      (m_currentNode && m_targetNode)
          ? Sqrt(TesselGroundDistanceSq(m_currentNode->position, m_targetNode->position))
          : 0.0f;
}

void cTesselEnemy::UpdateFacing() { m_facing = FacingFromTo(m_previousPosition, m_position); }

void cTesselEnemy::MoveBy(const Vector4& from, float progress) {
  if (!m_targetNode) return;
  const Vector4& to = m_targetNode->position;
  m_position.x = from.x + (to.x - from.x) * progress;
  m_position.y = from.y + (to.y - from.y) * progress;
}

void cTesselEnemy::AfterWalk() {
  if (!Moved(m_previousPosition, m_position)) return;
  EnsureAnimation(m_walkAnim);
  UpdateFacing();
}

bool cTesselEnemy::Arrive() {
  m_progress = 0.0f;
  m_arrivalDirection = TesselDirectionCode(m_currentNode, m_targetNode);
  if (!m_onIntermediate) m_currentNode = m_targetNode;
  if (m_serial == 0 && !m_onIntermediate) {
    m_targetNode = ChooseRandomExit(m_currentNode, m_arrivalDirection);
    UpdateSegmentLength();
  } else {
    m_chooseByPlayer = 1;
  }
  return true;
}

void cTesselEnemy::PatrolStep(float walkSpeed) {
  m_previousPosition = m_position;
  if (!m_targetNode || !m_currentNode) {
    // Nowhere to walk: choose again next tick rather than stand forever on a dead end.
    m_chooseByPlayer = 1;
    return;
  }
  m_progress += ProgressFor(walkSpeed);
  if (m_progress >= 1.0f)
    Arrive();
  else
    MoveBy(m_currentNode->position, m_progress);
  AfterWalk();
}

void cTesselEnemy::ChooseByPlayer(const Vector4& player) {
  m_chooseByPlayer = 0;
  if (m_onIntermediate) {
    if (!IsNearJunction(m_junctions, m_junctionCount, m_position)) {
      ContinueStraight(&m_currentNode, &m_targetNode);
      // A path that ends short of a junction: turn back along it.
      if (!m_targetNode && m_currentNode) m_targetNode = ChooseRandomExit(m_currentNode, -1);
      UpdateSegmentLength();
      return;
    }
    m_targetNode = FindNearestJunction(m_junctions, m_junctionCount, m_position);
    m_onIntermediate = 0;
    m_currentNode = m_targetNode;
  }
  if (m_joinIntermediate) {
    m_joinIntermediate = 0;
    m_onIntermediate = 1;
  }
  m_targetNode = ChooseExitTowards(m_currentNode, m_position, player, m_arrivalDirection);
  UpdateSegmentLength();
}

void cTesselEnemy::GiveUp() {
  m_giveUpPoint = m_position;
  float leg = 0.0f;
  m_targetNode =
      FindNearestIntermediateNode(m_intermediates, m_intermediateCount, m_position, &leg);
  m_segmentLength = leg;
  m_joinIntermediate = 1;
  m_progress = 0.0f;
  m_onIntermediate = 0;
}

void cTesselEnemy::ReturnStep(float walkSpeed) {
  m_previousPosition = m_position;
  m_progress += ProgressFor(walkSpeed);
  if (m_progress >= 1.0f || !m_targetNode) {
    // Without intermediate nodes there is no path to walk back to: patrol from where he stands.
    if (m_targetNode) m_currentNode = m_targetNode;
    m_chooseByPlayer = 1;
    m_progress = 0.0f;
    m_state = kEnemyPatrol;
  } else {
    MoveBy(m_giveUpPoint, m_progress);
  }
  AfterWalk();
}

void cTesselEnemy::StepBack(float walkSpeed, float runSpeed) {
  m_position = m_previousPosition;
  m_progress -= ProgressFor(m_state == kEnemyChase ? runSpeed : walkSpeed);
}

void cTesselEnemy::TurnAround() {
  TesselNavNode* current = m_currentNode;
  m_currentNode = m_targetNode;
  m_targetNode = current;
  m_progress = 1.0f - m_progress;
}

void cTesselEnemy::PushOff(float limitSq, const Vector4& point) {
  const Vector4 moved = m_position;
  m_position = m_previousPosition;
  const Vector4 alongX(moved.x, m_previousPosition.y, m_previousPosition.z, m_previousPosition.w);
  const Vector4 alongY(m_previousPosition.x, moved.y, m_previousPosition.z, m_previousPosition.w);
  if (TesselGroundDistanceSq(alongX, point) > limitSq)
    m_position.x = moved.x;
  else if (TesselGroundDistanceSq(alongY, point) > limitSq)
    m_position.y = moved.y;
}

// ---------------------------------------------------------------------------------------------
// Chasing across open ground

bool cTesselEnemy::Collides(const Vector4& p, float margin) const {
  for (uint32_t i = 0; m_boxes && i < m_boxCount; ++i)
    if (PointInBox(p, m_boxes[i], margin)) return true;
  return false;
}

void cTesselEnemy::SlideAlongY(const Vector4& step, const Vector4& point, float runSpeed) {
  const float s = runSpeed * SignedUnit(m_position.y - point.y);
  const Vector4 slid(m_position.x, m_position.y - s, m_position.z, m_position.w);
  m_position.y -= Collides(slid, kBoxMargin) ? step.y : s;
}

void cTesselEnemy::SlideAlongX(const Vector4& step, const Vector4& point, float runSpeed) {
  const float s = runSpeed * SignedUnit(m_position.x - point.x);
  const Vector4 slid(m_position.x - s, m_position.y, m_position.z, m_position.w);
  m_position.x -= Collides(slid, kBoxMargin) ? step.x : s;
}

void cTesselEnemy::ChaseStep(const Vector4& point, float runSpeed) {
  if (m_hold) {
    m_hold = 0;
    EnsureAnimation(m_standAnim);
    return;
  }
  ++m_chaseFrames;
  m_previousPosition = m_position;
  Vector4 d;
  Subtract(m_position, point, d);
  const float length = Length(d);
  if (length > kTiny) {
    d.x /= length;
    d.y /= length;
  }
  const Vector4 step(runSpeed * d.x, runSpeed * d.y, 0.0f, 0.0f);
  const Vector4 tryX(m_position.x - step.x, m_position.y, m_position.z, m_position.w);
  const Vector4 tryY(m_position.x, m_position.y - step.y, m_position.z, m_position.w);
  const bool blockedX = Collides(tryX, kBoxMargin);
  const bool blockedY = Collides(tryY, kBoxMargin);
  if (blockedX && blockedY) {
    ++m_blockedFrames;
    EnsureAnimation(m_standAnim);
    return;
  }
  if (!blockedX && !blockedY) {
    m_blockedFrames = 0;
    m_position.x -= step.x;
    m_position.y -= step.y;
  } else if (blockedX) {
    ++m_blockedFrames;
    SlideAlongY(step, point, runSpeed);
  } else {
    ++m_blockedFrames;
    SlideAlongX(step, point, runSpeed);
  }
  UpdateFacing();
  EnsureAnimation(m_runAnim);
}

// ---------------------------------------------------------------------------------------------
// Questions

bool cTesselEnemy::IsPlayerHidden(const Vector4& player) const {
  Vector4 towards;
  Subtract(m_position, player, towards);
  for (uint32_t i = 0; m_boxes && i < m_boxCount; ++i)
    if (SegmentHitsBox(player, m_boxes[i], towards)) return true;
  return false;
}

bool cTesselEnemy::IsInFront(const Vector4& player) const {
  const float a = FacingFromTo(m_position, player);
  const float difference = Fabs(m_facing - a);
  return difference < kHalfPi || difference > 4.712389f;
}
