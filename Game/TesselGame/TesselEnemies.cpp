// The enemies' decisions once per tick: patrol, spot, chase, give up, return, the stun; then the
// rules between two enemies who come too close; and the first enemy steered by hand in the
// two-player mode.
#include "Engine/PC/PCApp.h"
#include "Game/Helper/InputDevice.h"
#include "Game/TesselGame/cTesselEnemy.h"
#include "Game/TesselGame/cTesselGame.h"

namespace {

constexpr float kSpotPatrolSq = 145000.0f;
constexpr float kLosePlayerSq = 150000.0f;
constexpr float kSpotReturnSq = 100000.0f;
constexpr float kBumpSq = 8000.0f;
constexpr float kStillTooCloseSq = 7000.0f;
constexpr float kSeparation = 45.0f;
constexpr float kBoxMargin = 30.0f;
constexpr float kTiny = 0.00001f;
// Patrol steps a patroller takes to get clear of a stunned enemy: enough to walk well past him,
// and a bound should the two never come apart (a segment without length, say).
constexpr int32_t kMaxPatrolAwaySteps = 64;

bool SameAxis(int32_t a, int32_t b) {
  const bool ax = a == kTesselMinusX || a == kTesselPlusX;
  const bool bx = b == kTesselMinusX || b == kTesselPlusX;
  const bool ay = a == kTesselPlusY || a == kTesselMinusY;
  const bool by = b == kTesselPlusY || b == kTesselMinusY;
  return (ax && bx) || (ay && by);
}

float EnemyDistanceSq(const cTesselEnemy& a, const cTesselEnemy& b) {
  return TesselGroundDistanceSq(a.GetPosition(), b.GetPosition());
}

void Chase(cTesselEnemy& enemy) { enemy.SetChasing(); }

}  // namespace

void cTesselGame::UpdateEnemies() {
  for (uint32_t i = 0; i < m_enemyCount; ++i) UpdateEnemy(i);
  PairRules();
}

bool cTesselGame::AnyEnemyReturning() const {
  for (uint32_t i = 0; i < m_enemyCount; ++i)
    if (m_enemies[i].GetState() == kEnemyReturn) return true;
  return false;
}

void cTesselGame::SpotPlayer(cTesselEnemy& enemy) {
  enemy.SetChasing();
  enemy.ChaseStep(m_playerPosition, m_runSpeed);
}

void cTesselGame::UpdateEnemy(uint32_t i) {
  cTesselEnemy& enemy = m_enemies[i];
  if (m_gameMode == kModeTwoPlayer && i == 0) {
    // The steered enemy: his own update only ends a stun.
    if (enemy.GetState() == kEnemyStunned) enemy.StunTick();
    return;
  }
  const Vector4& player = m_playerPosition;
  const float distanceSq = TesselGroundDistanceSq(enemy.GetPosition(), player);
  switch (enemy.GetState()) {
    case kEnemyPatrol:
      if (distanceSq < kSpotPatrolSq && !enemy.IsPlayerHidden(player) && enemy.IsInFront(player)) {
        SpotPlayer(enemy);
      } else if (enemy.GetChooseByPlayer()) {
        enemy.ChooseByPlayer(player);
        enemy.UpdateSegmentLength();
      } else {
        enemy.PatrolStep(m_walkSpeed);
      }
      break;
    case kEnemyChase: {
      enemy.ChaseStep(player, m_runSpeed);
      const float rate = TickRate();
      const float nowSq = TesselGroundDistanceSq(enemy.GetPosition(), player);
      const bool lost = nowSq > kLosePlayerSq || float(enemy.GetBlockedFrames()) > rate / 5.0f;
      const uint32_t patience = static_cast<uint32_t>(rate / 5.0f);
      if (lost && enemy.GetChaseFrames() > patience && !AnyEnemyReturning()) {
        enemy.GiveUp();
        enemy.SetState(kEnemyReturn);
      }
      break;
    }
    case kEnemyReturn:
      if (distanceSq < kSpotReturnSq && !enemy.IsPlayerHidden(player) && enemy.IsInFront(player))
        SpotPlayer(enemy);
      else
        enemy.ReturnStep(m_walkSpeed);
      break;
    case kEnemyStunned:
      enemy.StunTick();
      break;
    default:
      break;
  }
}

void cTesselGame::StandAllEnemies() {
  for (uint32_t i = 0; i < m_enemyCount; ++i) m_enemies[i].Stand();
}

// ---------------------------------------------------------------------------------------------
// Two enemies too close together

void cTesselGame::PairRules() {
  for (uint32_t a = 0; a < m_enemyCount; ++a)
    for (uint32_t b = a + 1; b < m_enemyCount; ++b)
      if (EnemyDistanceSq(m_enemies[a], m_enemies[b]) < kBumpSq) {
        if (m_gameMode == kModeTwoPlayer && a == 0) {
          m_enemies[b].StepBack(m_walkSpeed, m_runSpeed);
          m_enemies[a].PushOff(kBumpSq, m_enemies[b].GetPosition());
        } else {
          PairRule(m_enemies[a], m_enemies[b]);
        }
      }
}

void cTesselGame::PairRule(cTesselEnemy& a, cTesselEnemy& b) {
  const int32_t sa = a.GetState();
  const int32_t sb = b.GetState();
  if (sa == kEnemyPatrol && sb == kEnemyPatrol) {
    const bool sameAxis = SameAxis(a.SegmentDirection(), b.SegmentDirection());
    a.TurnAround();
    a.PatrolStep(m_walkSpeed);
    if (sameAxis) {
      b.TurnAround();
      b.PatrolStep(m_walkSpeed);
    }
  } else if ((sa == kEnemyPatrol && sb == kEnemyChase) ||
             (sa == kEnemyChase && sb == kEnemyPatrol)) {
    cTesselEnemy& patroller = sa == kEnemyPatrol ? a : b;
    cTesselEnemy& chaser = sa == kEnemyPatrol ? b : a;
    SpotPlayer(patroller);
    chaser.StepBack(m_walkSpeed, m_runSpeed);
  } else if ((sa == kEnemyPatrol && sb == kEnemyReturn) ||
             (sa == kEnemyReturn && sb == kEnemyPatrol)) {
    Chase(a);
    Chase(b);
  } else if ((sa == kEnemyPatrol && sb == kEnemyStunned) ||
             (sa == kEnemyStunned && sb == kEnemyPatrol)) {
    PatrolAway(sa == kEnemyPatrol ? a : b, sa == kEnemyPatrol ? b : a);
  } else if (sa == kEnemyChase && sb == kEnemyChase) {
    SeparateChasers(a, b);
  } else if ((sa == kEnemyChase && sb == kEnemyReturn) ||
             (sa == kEnemyReturn && sb == kEnemyChase)) {
    cTesselEnemy& returning = sa == kEnemyReturn ? a : b;
    cTesselEnemy& chaser = sa == kEnemyReturn ? b : a;
    Chase(returning);
    chaser.StepBack(m_walkSpeed, m_runSpeed);
  } else if ((sa == kEnemyChase && sb == kEnemyStunned) ||
             (sa == kEnemyStunned && sb == kEnemyChase)) {
    cTesselEnemy& chaser = sa == kEnemyChase ? a : b;
    const cTesselEnemy& stunned = sa == kEnemyChase ? b : a;
    chaser.PushOff(kBumpSq, stunned.GetPosition());
  } else if ((sa == kEnemyReturn && sb == kEnemyStunned) ||
             (sa == kEnemyStunned && sb == kEnemyReturn)) {
    cTesselEnemy& returning = sa == kEnemyReturn ? a : b;
    returning.StepBack(m_walkSpeed, m_runSpeed);
    Chase(returning);
  }
}

void cTesselGame::PatrolAway(cTesselEnemy& patroller, cTesselEnemy& stunned) {
  patroller.StepBack(m_walkSpeed, m_runSpeed);
  stunned.StepBack(m_walkSpeed, m_runSpeed);
  patroller.TurnAround();
  for (int32_t step = 0; step < kMaxPatrolAwaySteps; ++step) {
    if (EnemyDistanceSq(patroller, stunned) >= kBumpSq) break;
    patroller.PatrolStep(m_walkSpeed);
  }
}

void cTesselGame::SeparateChasers(cTesselEnemy& a, cTesselEnemy& b) {
  const Vector4 pa = a.GetPosition();
  const Vector4 pb = b.GetPosition();
  Vector4 mid, u;
  Add(pa, pb, mid);
  Scale(mid, 0.5f);
  Subtract(pa, pb, u);
  const float length = Length(u);
  if (length > kTiny) Scale(u, 1.0f / length);
  Vector4 na = u, nb = u;
  Scale(na, kSeparation);
  Scale(nb, -kSeparation);
  Add(na, mid);
  Add(nb, mid);
  a.SetPosition(na);
  b.SetPosition(nb);
  if (!a.Collides(na, kBoxMargin) && !b.Collides(nb, kBoxMargin)) return;
  a.StepBack(m_walkSpeed, m_runSpeed);
  b.StepBack(m_walkSpeed, m_runSpeed);
  a.ClearBlockedFrames();
  b.ClearBlockedFrames();
  const float da = TesselGroundDistanceSq(a.GetPosition(), m_playerPosition);
  const float db = TesselGroundDistanceSq(b.GetPosition(), m_playerPosition);
  cTesselEnemy& mover = da < db ? a : b;
  cTesselEnemy& waiter = da < db ? b : a;
  mover.ChaseStep(m_playerPosition, m_runSpeed);
  waiter.SetHold();
  if (EnemyDistanceSq(a, b) < kStillTooCloseSq) mover.StepBack(m_walkSpeed, m_runSpeed);
}

// ---------------------------------------------------------------------------------------------
// The steered enemy

void cTesselGame::SteerEnemy() {
  cTesselEnemy* enemy = GetEnemy(0);
  InputDevice* input = GetInputDevice();
  if (!enemy || !input) return;
  const float rate = TickRate();
  m_moveStep = 200.0f / rate;
  const float s = m_moveStep;
  const Vector4 old = enemy->GetPosition();
  enemy->SetPreviousPosition(old);
  Vector4 p = old;
  const bool up = input->IsPlayerButtonHeld(0, kInputUp);
  const bool down = input->IsPlayerButtonHeld(0, kInputDown);
  const bool left = input->IsPlayerButtonHeld(0, kInputLeft);
  const bool right = input->IsPlayerButtonHeld(0, kInputRight);
  auto move = [&](float* axis, float delta) {
    *axis += delta;
    if (IsBlocked(p)) *axis -= delta;
  };
  const bool diagonal = (up || down) && (left || right);
  const float d = diagonal ? 0.7f * s : s;
  if (up) move(&p.y, d);
  if (down) move(&p.y, -d);
  if (left) move(&p.x, -d);
  if (right) move(&p.x, d);
  enemy->SetPosition(p);
  if (Fabs(p.x - old.x) < 0.001f && Fabs(p.y - old.y) < 0.001f) {
    enemy->Stand();
    return;
  }
  enemy->EnsureAnimation(enemy->GetWalkAnim());
  enemy->UpdateFacing();
  FollowCamera(p);
}
