// The dive: the power bar with its circling camera, the take-off, the flight with the player's
// spin and the named dives, the judging of the entry, the settling under water, the rise, the
// swim back along the return route and the climb out.
#include "Engine/Input.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCSkeleton.h"
#include "Engine/Random.h"
#include "Game/DivingGame/cDivingGame.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Helper/InputDevice.h"

namespace {

constexpr float kTwoPi = 6.2831855f;
constexpr float kPowerMin = 100.0f;
constexpr float kPowerMax = 300.0f;
constexpr float kPowerRate[3] = {360.0f, 380.0f, 400.0f};
constexpr float kOrbitRadius = 200.0f;
constexpr float kLaunchTicksPerSecond = 420.0f;
constexpr float kForwardPerSecond = 150.0f;
constexpr float kRiseGravity = 0.02638889f;
constexpr float kFallGravity = 9.0f;
constexpr float kTerminalFall = 900.0f;
constexpr float kSpinLimit = 11.0f;
constexpr float kSpinResponse = 3.5f;
constexpr float kPitchDamping = 0.05f;
constexpr float kTwistDamping = 0.04f;
constexpr float kHangingHeight = 990.0f;
constexpr float kSettleDepth = -300.0f;
constexpr float kWaterDrag = 3.0f;
constexpr float kRiseRate = 0.6f;
constexpr float kSwimSpeed = 60.0f;
constexpr float kSwimAnimRate = 240.0f;
constexpr float kSplashDepth = -10.0f;
constexpr float kPoolsideFov = 1.5707964f;
constexpr int32_t kEventSomersault = 0;
constexpr int32_t kEventTwist = 1;
constexpr float kQualityFactor[3] = {0.5f, 1.0f, 2.0f};

// The splash templates by entry quality (indices of the eight splash templates, -1 ends).
enum SplashTemplate : int32_t {
  kSplashBig,
  kSplashMedium,
  kSplashMist,
  kSplashShockwave,
  kSplashShower,
  kSplashColumn,
  kSplashDroplets,
  kSplashSwimming,
};
constexpr int32_t kQualitySplashes[3][6] = {
    {kSplashDroplets, kSplashMist, -1, -1, -1, -1},
    {kSplashMedium, kSplashMist, kSplashColumn, -1, -1, -1},
    {kSplashBig, kSplashMist, kSplashShockwave, kSplashShower, kSplashColumn, -1},
};
constexpr int32_t kQualityEffect[3] = {cDivingGame::kFxSplashSmall, cDivingGame::kFxSplashMedium,
                                       cDivingGame::kFxSplashBig};

// Named dive index to Jory's animation.
constexpr int32_t kDiveAnims[kNamedDiveCount] = {
    cDivingGame::kDiveAeroplane, cDivingGame::kDiveCorkscrew, cDivingGame::kDivePike,
    cDivingGame::kDiveTorpedo, cDivingGame::kDiveTuck};

// One value for the whole program: the bar's direction and rate, and the camera's orbit.
int32_t s_powerDirection = 1;
float s_powerStep = 6.0f;
float s_orbitAngle = 0.0f;

float TowardsZero(float rate, float step) { return rate >= 0.0f ? rate - step : rate + step; }

float ClampSpin(float rate, float limit) {
  return rate > limit ? limit : (rate < -limit ? -limit : rate);
}

}  // namespace

void cDivingGame::UpdatePowerBar() {
  if (m_difficulty >= 0 && m_difficulty <= 2) s_powerStep = kPowerRate[m_difficulty] / Fps();
  m_power += static_cast<float>(s_powerDirection) * s_powerStep;
  if (m_power > kPowerMax) {
    m_power = kPowerMax;
    s_powerDirection = -s_powerDirection;
  } else if (m_power < kPowerMin) {
    m_power = kPowerMin;
    s_powerDirection = -s_powerDirection;
  }
  OrbitCamera();
}

void cDivingGame::OrbitCamera() {
  s_orbitAngle += m_orbitStep;
  if (s_orbitAngle > 360.0f) s_orbitAngle -= 360.0f;
  const float a = s_orbitAngle * kDegToRad;
  Vector4 eye = m_camera.GetTarget();
  eye.x += kOrbitRadius * Cos(a);
  eye.y += kOrbitRadius * Sin(a);
  m_camera.SetPosition(eye);
}

void cDivingGame::TakeOff() {
  m_diveListCount = 0;
  m_diveListShown = 3;
  JoryQueue(kCrouchToJump, 10.0f, 0);
  m_cameraShot = kShotTakeOffLow + m_diveBoard;
  m_distanceShown = 0.0f;
  m_apex = 0.0f;
  const float launch = LaunchFromPower(m_power, m_diveBoard, &m_overshoot);
  m_verticalSpeed = launch / (kLaunchTicksPerSecond / Fps());
  m_inWater = 0;
  m_divePhase = kDivePhaseDive;
  m_combo.Clear();
  m_joryAction = kActionTakeOff;
  m_somersaults = m_twists = m_namedDives = m_namedKind = 0;
  m_pitchRate = m_twistRate = 0.0f;
  m_pitchRef = 0.0f;
  m_twistRef = kPi;
  for (int32_t& available : m_diveAvailable) available = 1;
}

void cDivingGame::HandleAirInput() {
  float twist = g_gamePad ? g_gamePad->Analog(0, 0) : 0.0f;
  float pitch = g_gamePad ? g_gamePad->Analog(0, 1) : 0.0f;
  if (const InputDevice* input = GetInputDevice()) {
    if (input->IsPlayerButtonHeld(0, kInputRight)) twist = 1.0f;
    if (input->IsPlayerButtonHeld(0, kInputLeft)) twist = -1.0f;
    if (input->IsPlayerButtonHeld(0, kInputUp)) pitch = 1.0f;
    if (input->IsPlayerButtonHeld(0, kInputDown)) pitch = -1.0f;
  }
  const float limit = kSpinLimit / Fps();
  m_pitchRate = ClampSpin(m_pitchRate + pitch / (Fps() * kSpinResponse), limit);
  m_twistRate = ClampSpin(m_twistRate + twist / (Fps() * kSpinResponse), limit);
  if (Pressed(kInputAction)) m_combo.Push(0);
  if (Pressed(kInputButtonQ)) m_combo.Push(2);
  if (Pressed(kInputButtonW)) m_combo.Push(1);
  if (m_combo.count == DiveCombo::kLength) MatchDiveCombo();
}

void cDivingGame::MatchDiveCombo() {
  const int32_t dive = m_combo.Match();
  // A dive already done leaves the buffer to slide on with the next press.
  if (dive < 0 || !m_diveAvailable[dive]) return;
  m_diveAvailable[dive] = 0;
  m_diveRequest = 1;
  m_requestedDive = dive;
  m_combo.Clear();
}

void cDivingGame::AddDiveEvent(int32_t kind) {
  // The list holds twenty events; a flight with more keeps its first twenty.
  if (m_diveListCount < static_cast<uint32_t>(kDiveListSize)) m_diveList[m_diveListCount++] = kind;
}

void cDivingGame::SpinInFlight() {
  m_pitchRate = TowardsZero(m_pitchRate, kPitchDamping / Fps());
  m_twistRate = TowardsZero(m_twistRate, kTwistDamping / Fps());
  m_joryRot[0] += m_pitchRate;
  m_joryRot[2] += m_twistRate;
  if (Fabs(m_pitchRef - m_joryRot[0]) > kTwoPi) {
    m_pitchRef = m_joryRot[0];
    ++m_somersaults;
    AddScore(0, 1000);
    PlayEffect(kFxSomersault, 1.0f);
    AddDiveEvent(kEventSomersault);
  }
  if (Fabs(m_twistRef - m_joryRot[2]) > kTwoPi) {
    ++m_twists;
    m_twistRef = m_joryRot[2];
    AddScore(0, 1000);
    PlayEffect(kFxTwist, 1.0f);
    AddDiveEvent(kEventTwist);
  }
  if (!m_diveRequest) return;
  const NamedDive& dive = kNamedDives[m_requestedDive];
  JoryQueue(kDiveAnims[m_requestedDive], 15.0f, 1);
  ++m_namedDives;
  AddScore(0, 2000);
  m_namedKind = dive.kind;
  AddDiveEvent(dive.event);
  m_diveRequest = 0;
  PlayEffect(kFxNamedDive, 1.0f);
}

void cDivingGame::UpdateDive() {
  if (m_joryPos.z > 0.0f) SpinInFlight();
  const float fps = Fps();
  m_joryPos.y += kForwardPerSecond / fps;
  m_joryPos.z += m_verticalSpeed;
  m_verticalSpeed -= m_verticalSpeed > 0.0f ? fps * kRiseGravity : kFallGravity / fps;
  if (m_verticalSpeed < -kTerminalFall / fps) m_verticalSpeed = -kTerminalFall / fps;
  CheckTopOfFlight();
  if (m_apex < 0.0f) m_distanceShown += m_verticalSpeed;
  if (m_joryPos.z >= 0.0f) return;
  m_verticalSpeed *= 1.0f - kWaterDrag / fps;
  if (!m_inWater) JudgeTheEntry();
  SettleUnderWater();
}

void cDivingGame::CheckTopOfFlight() {
  if (m_verticalSpeed >= 0.0f || m_apex != 0.0f || m_divePhase != kDivePhaseDive) return;
  if (!m_overshoot) {
    m_apex = -m_joryPos.z;
    return;
  }
  // Too much spring from the high board: Jory catches hold up high and hangs there.
  m_divePhase = kDivePhaseHanging;
  m_joryPos.z = kHangingHeight;
  m_speechVoice.Stop();
  PlayEffect(kFxHanging, 1.0f);
  JoryQueue(kHanging, 15.0f, 1);
  m_sequenceFlag = 1;
  CobbQueue(kCobbTurnHigh, 10.0f, 0);
  m_cobbState = 3;
  if (m_lifeguard) m_lifeguard->PlayReversed(m_lifeguardAnims[kGuardStand], 1, 0.0f);
  m_sequenceKind = 1;
  m_cameraShot = kShotStoppedHigh;
}

void cDivingGame::JudgeTheEntry() {
  m_inWater = 1;
  m_entryTime = m_timeLeft;
  m_joryRot[0] = WrapTwoPi(m_joryRot[0]);
  m_joryRot[2] = WrapTwoPi(m_joryRot[2]);
  for (int32_t i = 0; i < 4; ++i) m_entryRot[i] = m_joryRot[i];
  m_entryQuality = JudgeEntry(m_joryRot[0], m_namedKind, m_entryQuality, &m_badLanding);
  const int32_t points = static_cast<int32_t>(-m_apex * kQualityFactor[m_entryQuality]);
  m_lastEntryScore = 2 * points + 1000;
  AddScore(0, m_lastEntryScore);
  Splash(m_entryQuality);
}

void cDivingGame::Splash(int32_t quality) {
  for (int32_t splash : kQualitySplashes[quality]) {
    if (splash < 0) break;
    if (m_splash[splash] != -1) StartSplash(m_splash[splash], m_joryPos.x, m_joryPos.y);
  }
  PlayEffectAt(kQualityEffect[quality], 1.2f, m_joryPos);
}

int32_t cDivingGame::StartSplash(int32_t templateId, float x, float y) {
  RenderWindow* window = Window();
  if (!window || templateId == -1) return -1;
  Matrix emitter;
  emitter.Identity();
  emitter.SetTranslation(Vector4(x, y, kSplashDepth, 1.0f));
  m_lastParticle = window->AddParticleSystem(templateId, emitter);
  return m_lastParticle;
}

void cDivingGame::SettleUnderWater() {
  float t = m_joryPos.z / kSettleDepth;
  if (t > 1.0f) t = 1.0f;
  const float target = m_entryRot[0] <= kPi ? 0.0f : kTwoPi;
  m_joryRot[0] = m_entryRot[0] + (target - m_entryRot[0]) * t;
  m_joryRot[1] = m_entryRot[1] - m_entryRot[1] * t;
  m_joryRot[2] = m_entryRot[2];
  if (m_joryPos.z >= kSettleDepth) return;
  for (int32_t i = 0; i < 4; ++i) m_entryRot[i] = m_joryRot[i];
  m_entryRot[0] = 0.0f;
  const DivingRoute& back = m_layout.routes[kRouteReturn0];
  // A turn less, unless that would leave him facing far from the way back.
  const float lower = m_entryRot[2] - kTwoPi;
  if (!(lower < back.headings[0] - kPi)) m_entryRot[2] = lower;
  m_distanceShown = m_apex = m_distanceTotal = 0.0f;
  m_cameraShot = kShotSwim;
  JoryQueue(kTreadWater, 50.0f, 1);
  ++m_divesDone;
  m_walkSpeed = 0.0f;
  m_divePhase = kDivePhaseSwim;
  m_surfaced = 0;
  m_progress = 0.0f;
  m_entryPoint = m_joryPos;
}

void cDivingGame::UpdateSwim() {
  if (!m_surfaced)
    RiseToSurface();
  else
    SwimRoute();
}

void cDivingGame::RiseToSurface() {
  const DivingRoute& back = m_layout.routes[kRouteReturn0 + m_diveBoard];
  m_progress += kRiseRate / Fps();
  const float t = m_progress;
  Vector4 out;
  m_joryPos = Lerp(m_entryPoint, back.points[0], t, out);
  const float end[4] = {0.0f, 0.0f, back.headings[0], 0.0f};
  for (int32_t i = 0; i < 4; ++i) m_joryRot[i] = m_entryRot[i] + (end[i] - m_entryRot[i]) * t;
  if (m_progress > 1.0f) Surfaced();
}

void cDivingGame::Surfaced() {
  m_progress = 0.0f;
  m_surfaced = 1;
  const int32_t total =
      1000 * m_somersaults + 1000 * m_twists + 2000 * m_namedDives + m_lastEntryScore;
  if (total < 2000 && m_timeLeft > 0 && RandMod(2) == 0) PlaySpeechLine(18, nullptr);
  if (GetMode() == kModeNormal) m_bonusScores.Add(total, m_joryPos);
  StartSplash(m_surfaceTemplate, m_joryPos.x, m_joryPos.y);
  m_swimSplash = m_splash[kSplashSwimming] != -1
                     ? StartSplash(m_splash[kSplashSwimming], m_joryPos.x, m_joryPos.y)
                     : -1;
  if (GetMode() == kModeChallenge1 && m_somersaults > 2 && m_namedKind == 4) m_challenge2 = 1;
  if (GetMode() == kModeChallenge2 && m_badLanding) m_challenge3 = 1;
}

void cDivingGame::SwimRoute() {
  const DivingRoute& back = m_layout.routes[kRouteReturn0 + m_diveBoard];
  const DivingRoute& toChair = m_layout.routes[kRouteToChair];
  RenderWindow* window = Window();
  if (BaseParticleSystem* system = window ? window->GetParticleSystem(m_swimSplash) : nullptr) {
    Matrix emitter;
    emitter.Identity();
    emitter.SetTranslation(Vector4(m_joryPos.x, m_joryPos.y, kSplashDepth, 1.0f));
    system->SetEmitterMatrix(emitter);
  }
  const int32_t stroke = m_walkSpeed >= kSwimSpeed / Fps() ? kSwim : kTreadWater;
  if (m_jory && !m_jory->IsAnimationActive(JoryAnimId(stroke))) JoryQueue(stroke, 20.0f, 1);
  if (m_nextNodeIndex >= back.count) return;
  const float length = back.lengths[m_nodeIndex];
  m_progress += SegmentStep(m_walkSpeed, length);
  m_distanceShown = m_progress * length + m_distanceTotal;
  // The last segment ends at the pool exit, the to-chair route's first point.
  const bool last = m_nextNodeIndex == back.count - 1;
  const Vector4& end = last ? toChair.points[0] : back.points[m_nextNodeIndex];
  const float endHeading = last ? toChair.headings[0] : back.headings[m_nextNodeIndex];
  const float heading = m_joryRot[2];
  const float previous = m_nodeIndex > 0 ? back.headings[m_nodeIndex - 1] : heading;
  PlaceOnSegment(back.points[m_nodeIndex], end, previous, back.headings[m_nodeIndex], endHeading);
  if (m_nodeIndex == 0) m_joryRot[2] = heading;
  if (m_progress <= 1.0f) return;
  m_progress = 0.0f;
  ++m_nodeIndex;
  ++m_nextNodeIndex;
  m_distanceTotal += length;
  if (m_nextNodeIndex >= back.count) ClimbOutOfPool();
}

void cDivingGame::ClimbOutOfPool() {
  const DivingRoute& toChair = m_layout.routes[kRouteToChair];
  m_diveListShown = 0;
  m_joryPos.z += 20.0f;
  m_joryPos.x -= 60.0f;
  JoryStart(kOutOfPool, 0);
  if (m_jory) m_jory->Update(1.0f);
  m_joryAction = kActionOutOfPool;
  m_joryRot[0] = m_joryRot[1] = m_joryRot[3] = 0.0f;
  m_joryRot[2] = toChair.headings[0];
  m_divePhase = kDivePhaseOutOfPool;
  m_cameraShot = kShotPoolside;
  m_camera.SetFov(Window(), kPoolsideFov);
  m_nodeIndex = 0;
  m_nextNodeIndex = 1;
  RenderWindow* window = Window();
  if (BaseParticleSystem* system = window ? window->GetParticleSystem(m_swimSplash) : nullptr)
    system->SetFlags(system->GetFlags() & ~BaseParticleSystem::kLooped);
  m_swimSplash = -1;
}

bool cDivingGame::HandPosition(int32_t bone, Vector4* out) {
  // A hand the skeleton does not have makes no splash.
  Skeleton* skeleton = m_jory ? m_jory->GetSkeleton() : nullptr;
  if (bone == -1 || !skeleton) return false;
  Matrix world;
  if (!skeleton->GetBoneWorldMatrix(bone, JoryMatrix(), world)) return false;
  *out = world.GetRow(3);
  return true;
}

void cDivingGame::SwimStrokes() {
  const float played = m_jory->GetDominantRemainingFraction();
  Vector4 hand;
  if (m_footFlag == 1 && played > 0.0625f && played < 0.5625f) {
    PlayEffect(kFxStrokeRight, 1.2f);
    m_footFlag = 0;
    if (HandPosition(m_rightHand, &hand)) StartSplash(m_handSplashTemplate, hand.x, hand.y);
  } else if (m_footFlag == 0 && played > 0.5625f) {
    PlayEffect(kFxStrokeLeft, 1.2f);
    m_footFlag = 1;
    if (HandPosition(m_leftHand, &hand)) StartSplash(m_handSplashTemplate, hand.x, hand.y);
  }
  const float swimming = kSwimSpeed / Fps();
  m_jory->Update(m_walkSpeed >= swimming ? m_walkSpeed / (kSwimAnimRate / Fps()) : 1.0f);
}
