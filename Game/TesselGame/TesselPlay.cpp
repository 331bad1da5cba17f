// The garden game's tick: the order of work, the challenge clock, the level goal, the player's
// buttons and walking, the stamp, the flash, being caught and the phone call that follows.
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCSkeleton.h"
#include "Engine/Random.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Helper/InputDevice.h"
#include "Game/TesselGame/cTesselEnemy.h"
#include "Game/TesselGame/cTesselGame.h"

namespace {

constexpr float kBlend = 10.0f;
constexpr float kTwoPi = 6.2831855f;
constexpr float kPi32 = 3.1415927f;
constexpr float kMoved = 0.001f;
constexpr float kPlayerRadius = 30.0f;
constexpr float kPlantReachSq = 2500.0f;
constexpr float kTreeReachSq = 4000.0f;
constexpr float kTreeBlockSq = 3000.0f;
constexpr float kStunnedBlockSq = 5000.0f;
constexpr float kCatchSq = 5000.0f;
constexpr float kStampReachSq = 5000.0f;
constexpr float kFlashReachSq = 100000.0f;
constexpr float kWallY = -32.0f;
constexpr float kMessageY = 200.0f;

constexpr uint32_t kStampButton = kInputButtonQ;
constexpr uint32_t kThrowButton = kInputButtonE;
constexpr uint32_t kSwitchButton = kInputExtra2;

float WrappedHeading(const Vector4& from, const Vector4& to) {
  float heading = Atan2(from.y - to.y, from.x - to.x) - kHalfPi;
  if (heading < 0.0f) heading += kTwoPi;
  return heading;
}

bool Moved(const Vector4& a, const Vector4& b) {
  return Fabs(a.x - b.x) >= kMoved || Fabs(a.y - b.y) >= kMoved || Fabs(a.z - b.z) >= kMoved ||
         Fabs(a.w - b.w) >= kMoved;
}

bool Held(uint32_t mask) {
  const InputDevice* input = GetInputDevice();
  return input && input->IsPlayerButtonHeld(0, mask);
}

bool Pressed(uint32_t mask) {
  const InputDevice* input = GetInputDevice();
  return input && input->IsButtonPressed(mask);
}

}  // namespace

int32_t cTesselGame::Update() {
  if (m_camera.Update(Window())) return 0;
  UpdateIngameText(1.0f);
  if (m_playState == kTesselNoLivesLeft) {
    m_result = 0;
    return 1;
  }
  AdvanceAnimators();
  if (m_gameMode == kModeChallenge1 || m_gameMode == kModeChallenge2) UpdateClock();
  switch (m_playState) {
    case kTesselIntro:
      m_sequence.Update(this);
      return 0;
    case kTesselLevelOver:
      if (m_thrownPlant.active) PlantFlightStep();
      if (m_thrownTree.active) TreeFlightStep();
      RunLevelEnd();
      return 0;
    case kTesselGameOver: {
      const bool timed = m_gameMode == kModeChallenge1 || m_gameMode == kModeChallenge2;
      m_result = (timed && !m_goalReached) ? 0 : 1;
      return 1;
    }
    default:
      break;
  }
  if (m_playState != kTesselCaught) CheckLevelGoal();
  UpdateThrownItems();
  if (m_stampRunning) StampStep();
  ControlStep();
  StateStep();
  if (m_playState != kTesselCaught && m_playState != kTesselNoLivesLeft) {
    UpdateEnemies();
    CatchTest();
  }
  return 0;
}

void cTesselGame::AdvanceAnimators() {
  if (m_playerAnimator) m_playerAnimator->Update(1.0f);
  for (uint32_t i = 0; i < m_enemyCount; ++i) m_enemies[i].Advance(1.0f);
}

// ---------------------------------------------------------------------------------------------
// The challenge clock and the level goal

void cTesselGame::UpdateClock() {
  if (m_timeLeft == 0 && m_playState != kTesselLevelOver && m_playState != kTesselGameOver)
    TimeUp();
  if (m_playState > kTesselIntro && m_playState < kTesselLevelOver && m_timeLeft > 0) {
    ++m_tickCounter;
    if (float(m_tickCounter) > TickRate() - 1.0f) {
      m_tickCounter = 0;
      --m_timeLeft;
    }
    CSoundWrapper* sound = GetSoundWrapper();
    if (sound && m_timeLeft > 0 && m_timeLeft < 10 && !sound->IsSamplePlaying(m_effectsBank, 3))
      Effect(3, 1.0f, nullptr);
  }
}

void cTesselGame::TimeUp() {
  CSoundWrapper* sound = GetSoundWrapper();
  if (sound && sound->IsSamplePlaying(m_effectsBank, 3)) sound->StopSample(m_effectsBank, 3);
  m_levelEndState = 0;
  ShowIngameMessage(&m_ingameText, 96, kMessageY, 3.0f * TickRate(), 0);
  StandAllEnemies();
  QueueStand();
  LetGo();
  m_playState = kTesselLevelOver;
}

void cTesselGame::CheckLevelGoal() {
  bool reached;
  if (m_gameMode == kModeChallenge2)
    reached = m_treesDestroyed == 4;
  else if (m_gameMode == kModeChallenge1)
    reached = m_plantsDestroyed >= 20;
  else
    reached = m_plantsDestroyed >= 50;
  if (!reached) return;
  m_goalReached = 1;
  m_levelEndState = 0;
  ShowIngameMessage(&m_ingameText, m_gameMode == kModeChallenge1 ? 95 : 93, kMessageY,
                    3.0f * TickRate(), 0);
  StandAllEnemies();
  if (m_playState >= kTesselCarryPlant && m_playState <= kTesselThrowTree) {
    LetGo();
    QueueStand();
  }
  m_playState = kTesselLevelOver;
}

void cTesselGame::QueueStand() {
  if (m_playerAnimator) m_playerAnimator->QueueOnly(m_anims[kAnimStand], kBlend, 0, 1);
}

void cTesselGame::LetGo() {
  switch (m_playState) {
    case kTesselCarryPlant:
      DropCarried(false);
      break;
    case kTesselCarryTree:
      DropCarried(true);
      break;
    case kTesselBashPlant:
      if (!m_impactDone) DropCarried(false);
      break;
    case kTesselBashTree:
      if (!(m_impactDone && m_treeBashCount >= 4)) DropCarried(true);
      break;
    case kTesselThrowPlant:
      if (m_plantInHand && !m_thrownPlant.active) DropCarried(false);
      break;
    case kTesselThrowTree:
      if (m_treeInHand && !m_thrownTree.active) DropCarried(true);
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------------------------
// The player's control

void cTesselGame::ControlStep() {
  if (m_gameMode == kModeTwoPlayer && Pressed(kSwitchButton)) m_manualControl = !m_manualControl;
  if (m_gameMode == kModeTwoPlayer && !m_manualControl) {
    const cTesselEnemy* steered = GetEnemy(0);
    if (steered && steered->GetState() != kEnemyStunned && m_playState != kTesselIntro &&
        m_playState != kTesselCaught) {
      SteerEnemy();
      return;
    }
  }
  if (m_stampRunning) return;
  if (m_playState == kTesselFree || m_playState == kTesselFreeResume ||
      m_playState == kTesselCarryPlant || m_playState == kTesselCarryTree)
    ManualControl();
}

void cTesselGame::ManualControl() {
  m_moveStep = (m_playState == kTesselCarryTree ? 200.0f : 300.0f) / TickRate();
  if (m_playState == kTesselFreeResume) m_playState = kTesselFree;
  const Vector4 old = m_playerPosition;
  bool action = false;
  if (Pressed(kInputAction)) action = ActionButton();
  if (Pressed(kStampButton) && m_playState != kTesselCarryTree) {
    StampButton();
    action = true;
  }
  if (Pressed(kThrowButton)) {
    ThrowButton();
    action = true;
  }
  Walk(m_moveStep);
  if (!action) AfterWalking(old);
}

bool cTesselGame::ActionButton() {
  switch (m_playState) {
    case kTesselFree:
    case kTesselFreeResume:
      return PickUpPlant() || PickUpTree();
    case kTesselCarryPlant:
      if (m_playerAnimator) m_playerAnimator->QueueOnly(m_anims[kAnimBashPlant], kBlend, 0, 0);
      m_impactDone = 0;
      m_playState = kTesselBashPlant;
      SayLine(13 + int32_t(RandMod(2)), false);
      return true;
    case kTesselCarryTree:
      if (m_playerAnimator) m_playerAnimator->QueueOnly(m_anims[kAnimBashTree], kBlend, 0, 0);
      m_impactDone = 0;
      m_playState = kTesselBashTree;
      return true;
    default:
      return false;
  }
}

void cTesselGame::StampButton() {
  m_stampRunning = 1;
  m_stampImpactDone = 0;
  if (!m_playerAnimator) return;
  m_playerAnimator->QueueOnly(m_anims[kAnimStamp], kBlend, 0, 0);
  m_playerAnimator->Update(1.0f);
}

void cTesselGame::ThrowButton() {
  static const int32_t kPlantLines[6] = {21, 22, 24, 30, 27, 28};
  static const int32_t kTreeLines[3] = {23, 25, 29};
  AnimationHelper* animator = m_playerAnimator;
  if (m_playState == kTesselCarryPlant) {
    m_playState = kTesselThrowPlant;
    if (animator) animator->QueueOnly(m_anims[kAnimThrowPlant], kBlend, 0, 0);
    m_plantThrowReleased = 0;
    SayLine(kPlantLines[RandMod(6)], false);
  } else if (m_playState == kTesselCarryTree) {
    m_playState = kTesselThrowTree;
    if (animator) animator->QueueOnly(m_anims[kAnimThrowTree], kBlend, 0, 0);
    m_treeThrowReleased = 0;
    SayLine(kTreeLines[RandMod(3)], true);
  } else {
    m_playState = kTesselFlash;
    m_flashReleased = 0;
    m_enemyFlashed = 0;
    if (animator) animator->QueueOnly(m_anims[kAnimFlashStart], kBlend, 0, 0);
    SayLine(4 + int32_t(RandMod(2)), false);
  }
}

bool cTesselGame::IsBlocked(const Vector4& p) const {
  if (p.y > kWallY) return true;
  for (uint32_t i = 0; i < m_boxCount; ++i)
    if (PointInBox(p, m_boxes[i], kPlayerRadius)) return true;
  for (uint32_t i = 0; i < m_treeCount; ++i)
    if (m_trees[i].standing && TesselGroundDistanceSq(p, m_trees[i].position) < kTreeBlockSq)
      return true;
  // Against the point tried, so that she may still walk away from a stunned enemy.
  for (uint32_t i = 0; i < m_enemyCount; ++i)
    if (m_enemies[i].GetState() == kEnemyStunned &&
        TesselGroundDistanceSq(p, m_enemies[i].GetPosition()) < kStunnedBlockSq)
      return true;
  return false;
}

bool cTesselGame::TryMove(float* axis, float delta) {
  *axis += delta;
  if (!IsBlocked(m_playerPosition)) return true;
  *axis -= delta;
  return false;
}

void cTesselGame::Walk(float s) {
  const bool up = Held(kInputUp), down = Held(kInputDown);
  const bool left = Held(kInputLeft), right = Held(kInputRight);
  const bool sideways = left || right;
  float& x = m_playerPosition.x;
  float& y = m_playerPosition.y;
  // Up and down move the full step; a diagonal takes 0.3 of it back when the side is walked, so
  // each axis moves 0.7 of a step and is blocked on its own.
  if (up) {
    y += s;
    if (!sideways && IsBlocked(m_playerPosition)) y -= s;
  }
  if (down) {
    y -= s;
    if (!sideways && IsBlocked(m_playerPosition)) y += s;
  }
  for (const float side : {-1.0f, 1.0f}) {
    if (!(side < 0.0f ? left : right)) continue;
    if (up) {
      y = y - s + 0.7f * s;
      if (IsBlocked(m_playerPosition)) y -= 0.7f * s;
    } else if (down) {
      y = y + s - 0.7f * s;
      if (IsBlocked(m_playerPosition)) y += 0.7f * s;
    }
    TryMove(&x, side * ((up || down) ? 0.7f * s : s));
  }
}

void cTesselGame::AfterWalking(const Vector4& old) {
  AnimationHelper* animator = m_playerAnimator;
  const bool plant = m_playState == kTesselCarryPlant;
  const bool tree = m_playState == kTesselCarryTree;
  if (Moved(old, m_playerPosition)) {
    const int32_t anim = m_anims[plant ? kAnimRunPlant : tree ? kAnimWalkTree : kAnimRun];
    if (animator && !animator->IsAnimationActive(anim)) animator->QueueOnly(anim, kBlend, 0, 1);
    m_heading = WrappedHeading(old, m_playerPosition);
    FollowCamera(m_playerPosition);
    return;
  }
  const int32_t anim = m_anims[plant ? kAnimStandPlant : tree ? kAnimStandTree : kAnimStand];
  if (animator && !animator->IsAnimationActive(anim)) animator->QueueOnly(anim, kBlend, 0, 1);
}

void cTesselGame::FollowCamera(const Vector4& p) {
  const float x = Clamp(p.x, 400.0f, 2200.0f);
  Vector4 eye(x, p.y - 800.0f, m_camera.GetPosition().z, m_camera.GetPosition().w);
  Vector4 target(x, p.y + 8.6f, m_camera.GetTarget().z, m_camera.GetTarget().w);
  if (eye.y < -3200.0f) {
    eye.y = -3200.0f;
    target.y = -2391.4f;
  } else if (eye.y > -1500.0f) {
    eye.y = -1500.0f;
    target.y = -691.4f;
  }
  m_camera.SetPosition(eye);
  m_camera.SetTarget(target);
}

void cTesselGame::FaceTowards(const Vector4& target) {
  m_heading = WrappedHeading(m_playerPosition, target);
}

bool cTesselGame::PickUpPlant() {
  for (uint32_t i = 0; i < m_plantCount; ++i) {
    TesselPlant& plant = m_plants[i];
    if (!plant.present || TesselGroundDistanceSq(plant.position, m_playerPosition) >= kPlantReachSq)
      continue;
    m_currentPlant = i;
    plant.present = 0;
    m_playState = kTesselPullPlant;
    if (m_playerAnimator) m_playerAnimator->QueueOnly(m_anims[kAnimPullPlant], kBlend, 0, 0);
    SayLine(int32_t(RandMod(4)), true);
    FaceTowards(plant.position);
    m_pullEffectsPlayed = 0;
    return true;
  }
  return false;
}

bool cTesselGame::PickUpTree() {
  for (uint32_t i = 0; i < m_treeCount; ++i) {
    TesselTree& tree = m_trees[i];
    if (!tree.standing || TesselGroundDistanceSq(tree.position, m_playerPosition) >= kTreeReachSq)
      continue;
    m_currentTree = i;
    tree.standing = 0;
    m_playState = kTesselPullTree;
    m_treeBashCount = 0;
    if (m_playerAnimator) m_playerAnimator->QueueOnly(m_anims[kAnimPullTree], kBlend, 0, 0);
    SayLine(15 + int32_t(RandMod(2)), true);
    FaceTowards(tree.position);
    m_pullEffectsPlayed = 0;
    return true;
  }
  return false;
}

void cTesselGame::StateStep() {
  switch (m_playState) {
    case kTesselFlash:
      FlashStep();
      break;
    case kTesselPullPlant:
      PullPlantStep();
      break;
    case kTesselPullTree:
      PullTreeStep();
      break;
    case kTesselCarryPlant:
      AttachPlantToHand();
      break;
    case kTesselCarryTree:
      AttachTreeToHand();
      break;
    case kTesselBashPlant:
      BashPlantStep();
      break;
    case kTesselBashTree:
      BashTreeStep();
      break;
    case kTesselThrowPlant:
      ThrowPlantStep();
      break;
    case kTesselThrowTree:
      ThrowTreeStep();
      break;
    case kTesselCaught:
      CaughtSequence();
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------------------------
// Stamp and flash

void cTesselGame::StampStep() {
  static const int32_t kStampLines[4] = {30, 27, 28, 29};
  AnimationHelper* animator = m_playerAnimator;
  const int32_t stamp = m_anims[kAnimStamp];
  if (!m_stampImpactDone && animator && animator->GetRemainingFraction(stamp) > 0.4f) {
    m_stampImpactDone = 1;
    Matrix foot;
    const Skeleton* skeleton = animator->GetSkeleton();
    Vector4 at = m_playerPosition;
    if (skeleton && skeleton->GetBoneWorldMatrix(m_leftFoot, PlayerMatrix(), foot))
      at = foot.GetRow(3);
    Effect(17, 1.2f, nullptr);
    SayLine(kStampLines[RandMod(4)], false);
    for (uint32_t i = 0; i < m_plantCount; ++i) {
      TesselPlant& plant = m_plants[i];
      if (!plant.present || TesselGroundDistanceSq(plant.position, at) >= kStampReachSq) continue;
      AddScore(0, 250);
      ++m_plantsDestroyed;
      DestroyPlant(plant, kFxFlowers02);
      StartEffect(m_particles[kFxPlantCollision], plant.position);
    }
    return;
  }
  // Once the stamp has ended; also when something else replaced it before its impact, which
  // would otherwise keep her rooted to the spot.
  if (!animator || animator->IsAnimationFinished(stamp)) m_stampRunning = 0;
}

void cTesselGame::FlashStep() {
  if (Held(kThrowButton) && !m_flashReleased) {
    if (m_playerAnimator && m_playerAnimator->GetRemainingFraction(m_anims[kAnimFlashStart]) > 0.5f)
      FlashEnemies();
    return;
  }
  if (!m_flashReleased) {
    if (m_enemyFlashed) SayComment(40);
    m_flashReleased = 1;
    if (m_playerAnimator) m_playerAnimator->QueueOnly(m_anims[kAnimFlashEnd], kBlend, 0, 0);
    return;
  }
  if (!m_playerAnimator || m_playerAnimator->IsAnimationFinished(m_anims[kAnimFlashEnd]))
    m_playState = kTesselFree;
}

void cTesselGame::FlashEnemies() {
  for (uint32_t i = 0; i < m_enemyCount; ++i) {
    cTesselEnemy& enemy = m_enemies[i];
    const Vector4& e = enemy.GetPosition();
    if (TesselGroundDistanceSq(e, m_playerPosition) >= kFlashReachSq) continue;
    float a = Atan2(e.y - m_playerPosition.y, e.x - m_playerPosition.x) - 4.712389f;
    while (a < 0.0f) a += kTwoPi;
    while (a >= kTwoPi) a -= kTwoPi;
    const float towards = Fabs(a - m_heading);
    const float facing = Fabs(enemy.GetFacing() - m_heading);
    const bool inView = towards < 0.7853982f || towards > 5.497787f;
    const bool facesHer = facing > kHalfPi && facing < 4.712389f;
    if (!inView || !facesHer) continue;
    enemy.Stun(5.0f, TickRate());
    m_enemyFlashed = 1;
  }
}

// ---------------------------------------------------------------------------------------------
// Caught

void cTesselGame::CatchTest() {
  for (uint32_t i = 0; i < m_enemyCount; ++i) {
    cTesselEnemy& enemy = m_enemies[i];
    if (enemy.GetState() == kEnemyStunned) continue;
    if (TesselGroundDistanceSq(enemy.GetPosition(), m_playerPosition) >= kCatchSq) continue;
    Catch(enemy);
  }
}

void cTesselGame::Catch(cTesselEnemy& enemy) {
  const Vector4 e = enemy.GetPosition();
  Vector4 u, m;
  Subtract(e, m_playerPosition, u);
  const float length = Length(u);
  if (length >= 0.00001f) Scale(u, 1.0f / length);
  Add(e, m_playerPosition, m);
  Scale(m, 0.5f);
  Vector4 enemyAt = u, playerAt = u;
  Scale(enemyAt, 45.0f);
  Scale(playerAt, -45.0f);
  enemy.SetPosition(Add(enemyAt, m));
  m_playerPosition = Add(playerAt, m);
  m_heading = Atan2(m_playerPosition.y - enemy.GetPosition().y,
                    m_playerPosition.x - enemy.GetPosition().x) -
              kHalfPi;
  for (uint32_t i = 0; i < m_enemyCount; ++i) {
    cTesselEnemy& other = m_enemies[i];
    const Vector4& o = other.GetPosition();
    other.SetFacing(Atan2(o.y - m_playerPosition.y, o.x - m_playerPosition.x) - kHalfPi);
    other.Stand();
  }
  if (m_playState < kTesselPullPlant || m_stampRunning) {
    m_stampRunning = 0;
  } else if (m_playState == kTesselPullPlant || m_playState == kTesselPullTree) {
    const bool plant = m_playState == kTesselPullPlant;
    const float frac = m_playerAnimator ? m_playerAnimator->GetRemainingFraction(
                                              m_anims[plant ? kAnimPullPlant : kAnimPullTree])
                                        : 0.0f;
    if (frac > (plant ? 0.4f : 0.534f)) {
      DropCarried(!plant);
    } else if (plant && m_plants) {
      // Still in the ground: it stays there to be pulled again.
      m_plants[m_currentPlant].present = 1;
    } else if (!plant && m_trees) {
      m_trees[m_currentTree].standing = 1;
    }
  } else {
    LetGo();
  }
  QueueStand();
  m_playState = kTesselCaught;
  m_savedEye = m_camera.GetPosition();
  m_savedTarget = m_camera.GetTarget();
  m_meetingPoint = m;
  m_catchTarget = Vector4(m.x, m.y, m.z + 120.0f, m.w);
  m_catchEye = Vector4(m.x, m.y - 250.0f, m.z + 300.0f, m.w);
  m_caughtSubStep = 0;
  m_blend = 0.0f;
  Effect(11, 1.2f, &m_playerPosition);
}

void cTesselGame::CaughtSequence() {
  AnimationHelper* animator = m_playerAnimator;
  switch (m_caughtSubStep) {
    case 0: {
      Vector4 eye, target;
      Lerp(m_savedEye, m_catchEye, m_blend, eye);
      Lerp(m_savedTarget, m_catchTarget, m_blend, target);
      m_camera.SetPosition(eye);
      m_camera.SetTarget(target);
      m_blend += 0.6f / TickRate();
      if (m_blend >= 1.0f) {
        if (animator) animator->QueueOnly(m_anims[kAnimPhoneStart], kBlend, 0, 0);
        m_lineSaid = 0;
        m_caughtSubStep = 1;
      }
      break;
    }
    case 1: {
      const int32_t start = m_anims[kAnimPhoneStart];
      const float played = animator ? animator->GetRemainingFraction(start) : 1.0f;
      if (played > 0.17f) m_phoneShown = 1;
      if (played > 0.5f && !m_lineSaid) {
        m_lineSaid = 1;
        SayLine(6 + int32_t(m_phoneLine), false);
      }
      if (!animator || animator->IsAnimationFinished(start)) {
        if (animator) animator->QueueOnly(m_anims[kAnimPhoneLoop], kBlend, 0, 1);
        m_phoneLine = (m_phoneLine + 1) % 7;
        m_caughtSubStep = 2;
      }
      break;
    }
    case 2:
      if (!m_lastVoice.IsPlaying()) {
        if (animator) animator->QueueOnly(m_anims[kAnimStand], 20.0f, 0, 1);
        m_fadeTimer.Start(1, TickRate());
        m_caughtSubStep = 3;
      }
      break;
    case 3:
      if (m_fadeTimer.IsFinished()) CaughtRestart();
      break;
    case 4:
      m_sequence.Update(this);
      break;
    default:
      break;
  }
}

void cTesselGame::CaughtRestart() {
  const Vector4& s = m_startPosition;
  m_camera.SetPosition(Vector4(s.x, s.y - 800.0f, 1250.0f, 0.0f));
  m_camera.SetTarget(Vector4(s.x, s.y + 8.6f, 50.0f, 0.0f));
  m_playerPosition = m_startPosition;
  for (uint32_t i = 0; i < m_enemyCount; ++i)
    m_enemies[i].SetPosition(m_enemies[i].GetStartPosition());
  m_heading = kPi32;
  if (m_lives > 0) {
    --m_lives;
    m_sequence.Start(kGardenScript, kScriptLength);
    m_caughtSubStep = 4;
  } else {
    m_playState = kTesselNoLivesLeft;
  }
}

// ---------------------------------------------------------------------------------------------
// Sounds

void cTesselGame::SayLine(int32_t line, bool positioned) {
  CSoundWrapper* sound = GetSoundWrapper();
  if (!sound) return;
  m_lastVoice.Stop();
  if (positioned)
    m_lastVoice =
        sound->PlaySample(m_speechBank, line, 0, 1.0f, kSound3D, &m_playerPosition, kSoundSpeech);
  else
    m_lastVoice = sound->PlaySpeech(m_speechBank, line, 0, 1.0f, kSoundFlat, nullptr);
  m_lastVoiceLine = line;
}

void cTesselGame::SayComment(int32_t line) {
  CSoundWrapper* sound = GetSoundWrapper();
  if (!sound || m_speechBank == -1) return;
  if (m_lastCommentLine != -1 && m_lastComment.IsPlaying()) return;
  if (sound->GetSampleCount(m_speechBank) <= line) return;
  m_lastComment = sound->PlaySpeech(m_speechBank, line, 0, 1.0f, kSoundFlat, nullptr);
  m_lastCommentLine = line;
}

void cTesselGame::Effect(int32_t sample, float volume, const Vector4* at) {
  CSoundWrapper* sound = GetSoundWrapper();
  if (!sound || m_effectsBank == -1) return;
  sound->PlayEffect(m_effectsBank, sample, 0, volume, at ? kSound3D : kSoundFlat, at);
}
