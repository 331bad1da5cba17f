// The diving game's tick: the order of work, the phase word, the ground input, the clock, the
// time-up handling and what follows when one of Jory's animations ends.
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/Random.h"
#include "Game/DivingGame/cDivingGame.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Helper/InputDevice.h"

namespace {

constexpr int32_t kPhaseIntro = 0;
constexpr int32_t kPhaseEnd = 15;
constexpr int32_t kCountdownEffect = 8;
constexpr int32_t kCountdownSeconds = 10;
constexpr int32_t kTextTimeUp = 106;
constexpr int32_t kTextLadder = 10;
constexpr int32_t kTextChair = 149;
constexpr float kTimeUpTicks = 200.0f;
constexpr float kPromptTicks = 360.0f;
constexpr int32_t kPromptY = 100;
constexpr float kLateFov = 1.1519173f;
constexpr float kBurstPerSecond = 60.0f;
constexpr float kDecayPerSecond[3] = {3.6f, 3.8f, 4.0f};
constexpr int32_t kTurnLines[3] = {10, 1, 11};
constexpr uint32_t kTurnMask = kInputExtra2 | kInputExtra1 | kInputButtonE;

}  // namespace

int32_t cDivingGame::Pressed(uint32_t mask) const {
  const InputDevice* input = GetInputDevice();
  return m_freshInput && input && input->IsButtonPressed(mask) ? 1 : 0;
}

int32_t cDivingGame::DivesNeeded() const {
  return m_difficulty <= 0 ? 3 : (m_difficulty == 1 ? 4 : 5);
}

int32_t cDivingGame::Update() {
  RenderWindow* window = Window();
  if (window) window->SetFlags(window->GetFlags() & ~BaseRenderWindow::kSuspended);
  if (m_camera.Update(window)) return 0;
  // The input device reads once a frame; a frame that runs several ticks sees its presses once.
  const int64_t frame = GetApp().GetFramesRun();
  m_freshInput = frame != m_inputFrame ? 1 : 0;
  m_inputFrame = frame;
  SetPadRemap();
  UpdateIngameText(1.0f);
  StepPulse();
  ShowPrompts();
  if ((GetMode() == kModeChallenge1 && m_challenge2) ||
      (GetMode() == kModeChallenge2 && m_challenge3)) {
    m_result = 1;
    return 1;
  }
  if (m_divePhase == kPhaseIntro || m_divePhase == kPhaseEnd) {
    if (m_divePhase == kPhaseEnd && m_endStep == 3) return 1;
    if (m_divePhase == kPhaseIntro)
      m_sequence.Update(this);
    else
      UpdateEndSequence();
    UpdateCharacters();
    return 0;
  }
  IdleTalk();
  if (m_timeLeft == 0 || m_sequenceFlag) {
    TimeUpTick();
    return 0;
  }
  RunClock();
  float r = m_maxWalkSpeed > 0.0f ? m_walkSpeed / m_maxWalkSpeed : 0.0f;
  if (m_divePhase == 4) {
    ClimbTick(r);
  } else {
    if (r > 0.0f && r < m_minWalkSpeed) r = m_minWalkSpeed;
    JoryWalk(r);
  }
  if (m_cobb) m_cobb->Update(1.0f);
  if (m_lifeguard) m_lifeguard->Update(1.0f);
  if (m_divePhase == 9) {
    if (m_joryPos.z > 0.0f && !m_overshoot) HandleAirInput();
  } else {
    HandleGroundInput();
  }
  UpdatePhase();
  return 0;
}

void cDivingGame::UpdateCharacters() {
  if (m_jory) m_jory->Update(1.0f);
  if (m_cobb) m_cobb->Update(1.0f);
  if (m_lifeguard) m_lifeguard->Update(1.0f);
}

void cDivingGame::SetPadRemap() {
  InputDevice* input = GetInputDevice();
  if (!input) return;
  input->m_padRemap[0] = m_ladderWindow ? kInputExtra2 : kInputButtonE;
  input->m_padRemap[1] = kInputButtonQ;
  input->m_padRemap[2] = kInputButtonW;
  input->m_padRemap[3] = kInputAction;
}

void cDivingGame::StepPulse() {
  m_pulse += m_pulseStep;
  if (m_pulse > 1.0f || m_pulse < 0.0f) {
    m_pulse -= m_pulseStep;
    m_pulseStep = -m_pulseStep;
  }
}

void cDivingGame::ShowPrompts() {
  if (m_timeUp) {
    ShowIngameMessage(&m_ingameText, kTextTimeUp, kPromptY, kTimeUpTicks, 0);
    if (CSoundWrapper* sound = GetSoundWrapper())
      sound->StopSample(m_effectsBank, kCountdownEffect);
  }
  if (m_ladderWindow) ShowIngameMessage(&m_ingameText, kTextLadder, kPromptY, kPromptTicks, 0);
  if (m_chairOffer) ShowIngameMessage(&m_ingameText, kTextChair, kPromptY, kPromptTicks, 0);
}

void cDivingGame::RunClock() {
  if (m_joryAction == kActionIntoChair) return;
  if (++m_secondCounter > static_cast<uint32_t>(Fps()) - 1) {
    m_secondCounter = 0;
    if (m_timeLeft > 0) --m_timeLeft;
  }
  CSoundWrapper* sound = GetSoundWrapper();
  if (m_timeLeft < kCountdownSeconds && sound &&
      !sound->IsSamplePlaying(m_effectsBank, kCountdownEffect))
    PlayEffect(kCountdownEffect, 1.0f);
}

void cDivingGame::UpdatePhase() {
  const int32_t level = m_difficulty < 0 ? 0 : (m_difficulty > 2 ? 2 : m_difficulty);
  m_walkSpeed -= kDecayPerSecond[level] / Fps();
  if (m_walkSpeed < 0.0f) m_walkSpeed = 0.0f;
  switch (m_divePhase) {
    case 1:
      UpdateInChair();
      break;
    case 2:
      WalkToPath();
      break;
    case 3:
      WalkPath();
      break;
    case 4:
      ClimbChecks();
      break;
    case 5:
      UpdateLadder();
      break;
    case 6:
      WalkBoardRoute();
      break;
    case 7:
      UpdatePowerBar();
      break;
    case 9:
      UpdateDive();
      break;
    case 11:
      UpdateSwim();
      // The dive's events leave the list one by one, every two seconds of game time.
      if (m_diveListShown > 0 && m_timeLeft + 1 < m_entryTime) {
        m_entryTime = m_timeLeft;
        --m_diveListShown;
      }
      break;
    case 13:
      WalkToChairRoute();
      break;
    case 14:
      ReturnToChair();
      break;
    default:
      break;
  }
}

void cDivingGame::HandleGroundInput() {
  if (Pressed(kInputAction)) {
    m_walkSpeed += kBurstPerSecond / Fps();
    if (m_walkSpeed > m_maxWalkSpeed) m_walkSpeed = m_maxWalkSpeed;
  }
  if (Pressed(kTurnMask)) OnTurnPress();
  m_camera.SetPosition(m_camera.GetPosition());
  m_camera.SetTarget(m_camera.GetTarget());
}

void cDivingGame::OnTurnPress() {
  if (m_divePhase == 13 && m_chairOffer) {
    m_chairChosen = 1;
    m_chairOffer = 0;
  } else if ((m_divePhase == 3 || m_divePhase == 4) && m_ladderWindow) {
    PlaySpeechLine(kTurnLines[RandMod(3)], nullptr);
    m_turnRequest = 1;
    m_ladderWindow = 0;
    const bool outsideBoard0 = m_nodeIndex < m_board0WindowStart || m_nodeIndex > m_board0TurnPoint;
    m_chosenBoard = outsideBoard0 ? 1 : 0;
  } else if (m_divePhase == 7) {
    TakeOff();
  }
}

// Jory sits down where he is: the run is over for him.
void cDivingGame::StopJory(int32_t cameraShot) {
  JoryStart(kSitOnGround, 0);
  m_joryAction = kActionStopped;
  m_sequenceFlag = 1;
  m_sequenceKind = 0;
  m_cameraShot = cameraShot;
}

void cDivingGame::TimeUpTick() {
  if (m_sequenceFlag) {
    m_divePhase = kPhaseEnd;
    m_endStep = 0;
    m_endWaitTicks = 0;
    if (m_sequenceKind == 2 || m_sequenceKind == 3) {
      m_cobbTurn = 0.0f;
      m_cobbState = 4;
      CobbQueue(kCobbTurnGround, 10.0f, 0);
    }
  }
  if (m_walking && m_joryAction != kActionStopped) {
    int32_t shot = m_joryPos.z == 0.0f ? 12 : 11;
    if (m_divePhase == 6) shot = m_chosenBoard == 0 ? 14 : 11;
    StopJory(shot);
  }
  UpdateCharacters();
  if (!m_timeUp && m_timeLeft == 0) {
    m_walkSpeed = 0.0f;
    m_timeUp = 1;
    m_ladderWindow = 0;
    if (m_playFlag) {
      m_sequenceFlag = 1;
      m_sequenceKind = 3;
      m_cameraShot = 12;
      if (m_divesDone >= static_cast<uint32_t>(DivesNeeded())) {
        m_timeUp = 0;
        if (CSoundWrapper* sound = GetSoundWrapper())
          sound->StopSample(m_effectsBank, kCountdownEffect);
      }
    }
  }
  if (m_sequenceFlag) return;
  m_camera.SetFov(Window(), kLateFov);
  StopAfterTimeUp();
}

// Time ran out while Jory was busy: a dive is finished, anything else stops where it is.
void cDivingGame::StopAfterTimeUp() {
  switch (m_divePhase) {
    case 9:
      UpdateDive();
      break;
    case 7:
      StopJory(m_diveBoard == 0 ? 13 : 11);
      break;
    case 11:
      if (!m_surfaced) {
        UpdateSwim();
      } else {
        JoryQueue(kTreadWater, 10.0f, 1);
        m_sequenceFlag = 1;
        m_sequenceKind = 0;
        m_cameraShot = 13;
        CobbQueue(kCobbTurnLow, 10.0f, 0);
        m_cobbState = 1;
        if (m_lifeguard) m_lifeguard->PlayReversed(m_lifeguardAnims[kGuardStand], 1, 0.0f);
      }
      break;
    case 4:
      if (!m_climbStarted) {
        if (m_joryAction != kActionStopped) StopJory(11);
      } else {
        m_climbPoint = ClimbPointNow();
        if (m_nodeIndex == 11 && m_climbLoops >= 3) {
          m_joryPos = m_layout.routes[kRouteBoard1].points[0];
          StopJory(11);
        } else if (m_nodeIndex == 15 && m_climbLoops >= 4 && m_jory &&
                   m_jory->GetRemainingFraction(JoryAnimId(kClimbLoop)) > 0.5f) {
          m_joryPos = m_layout.routes[kRouteBoard2].points[0];
          StopJory(11);
        }
      }
      break;
    case 5:
      UpdateLadder();
      if (m_chosenBoard == 1 && m_divePhase == 5 && m_jory &&
          m_jory->GetRemainingFraction(JoryAnimId(kClimbStepLoop)) > 0.5f) {
        m_joryPos = m_layout.routes[kRouteBoard1].points[2];
        StopJory(11);
      }
      break;
    default:
      break;
  }
}

void cDivingGame::JoryAnimEndCallback(void* userData, float overshoot) {
  if (userData) static_cast<cDivingGame*>(userData)->OnJoryAnimEnd(overshoot);
}

void cDivingGame::OnJoryAnimEnd(float overshoot) {
  switch (m_joryAction) {
    case kActionOutOfChair:
      OnOutOfChair(overshoot);
      break;
    case kActionIntoChair:
      m_speechVoice.Stop();
      JoryQueue(kSit, 10.0f, 1);
      m_sequenceFlag = 1;
      m_sequenceKind = 2;
      m_cameraShot = 12;
      break;
    case kActionClimbSteps:
      if (m_climbStarted) OnClimbLoopEnd(overshoot);
      break;
    case kActionLadder:
      OnLadderEnd();
      break;
    case kActionTakeOff:
      JoryQueue(kDive, 10.0f, 1);
      break;
    case kActionOutOfPool:
      OnOutOfPool();
      break;
    case kActionStopped:
      OnStopped();
      break;
    default:
      break;
  }
}

void cDivingGame::OnOutOfChair(float overshoot) {
  m_playFlag = 0;
  Vector4 offset = m_jory ? m_jory->GetTrackVector() : Vector4();
  offset.w = 0.0f;
  Add(m_joryPos, RotateByJory(offset));
  m_joryPos.z = 0.0f;
  m_walkStart = m_joryPos;
  m_layout.chairToPath = PointDistance(m_walkStart, m_layout.routes[kRoutePath].points[0]);
  if (m_divePhase == kPhaseEnd) {
    // Time ran out while he got up: the end sequence has the run, and he stays on his feet.
    m_joryAction = kActionNone;
    JoryStart(kStand, 1, overshoot);
    return;
  }
  m_joryAction = kActionToPath;
  m_walking = 1;
  m_strideState = 0;
  JoryStart(kStand, 1, overshoot);
  m_divePhase = 2;
}

void cDivingGame::OnLadderEnd() {
  const DivingRoute& board = m_layout.routes[kRouteBoard0 + m_chosenBoard];
  if (m_timeUp) {
    if (m_nodeIndex + 1 < board.count) m_joryPos = board.points[m_nodeIndex + 1];
    StopJory(11);
    return;
  }
  ++m_nodeIndex;
  ++m_nextNodeIndex;
  m_divePhase = 6;
  m_joryAction = kActionWalkRoute;
  m_walking = 1;
  m_strideState = 0;
  JoryStart(kStand, 0);
}

void cDivingGame::OnOutOfPool() {
  m_joryPos = m_layout.routes[kRouteToChair].points[1];
  if (m_timeUp) {
    StopJory(12);
    return;
  }
  m_nodeIndex = 1;
  m_nextNodeIndex = 2;
  m_chairChosen = 0;
  if (GetMode() == kModeNormal && m_divesDone > static_cast<uint32_t>(DivesNeeded() - 1))
    m_chairOffer = 1;
  m_divePhase = 13;
  m_joryAction = kActionWalkRoute;
  m_walking = 1;
  m_strideState = 0;
}

void cDivingGame::OnStopped() {
  m_speechVoice.Stop();
  JoryStart(kSittingOnGroundLoop, 1);
  if (m_joryPos.z >= 200.0f) {
    CobbQueue(kCobbTurnHigh, 10.0f, 0);
    m_cobbState = 3;
  } else {
    CobbQueue(kCobbTurnGround, 10.0f, 0);
    m_cobbState = 2;
  }
  if (m_lifeguard) m_lifeguard->QueueOnly(m_lifeguardAnims[kGuardStand], 10.0f, 0, 1);
}

// ---- Shared helpers.

void cDivingGame::JoryStart(int32_t anim, int32_t loop, float overshoot) {
  if (m_jory) m_jory->PlayReversed(m_joryAnims[anim], loop, overshoot);
}

void cDivingGame::JoryQueue(int32_t anim, float blend, int32_t loop) {
  if (m_jory) m_jory->QueueOnly(m_joryAnims[anim], blend, 0, loop);
}

void cDivingGame::CobbQueue(int32_t anim, float blend, int32_t loop) {
  if (m_cobb) m_cobb->QueueOnly(m_cobbAnims[anim], blend, 0, loop);
}

void cDivingGame::PlayEffect(int32_t sample, float volume) {
  if (CSoundWrapper* sound = GetSoundWrapper())
    sound->PlaySample(m_effectsBank, sample, 0, volume, kSoundFlat, nullptr, kSoundEffects);
}

void cDivingGame::PlayEffectAt(int32_t sample, float volume, const Vector4& position) {
  if (CSoundWrapper* sound = GetSoundWrapper())
    sound->PlaySample(m_effectsBank, sample, 0, volume, kSound3D, &position, kSoundEffects);
}

SoundHandle cDivingGame::PlaySpeechLine(int32_t line, const Vector4* position) {
  CSoundWrapper* sound = GetSoundWrapper();
  if (!sound) return SoundHandle();
  return sound->PlaySample(m_speechBank, line, kSoundSpeechFlag, 1.0f,
                           position ? kSound3D : kSoundFlat, position, kSoundSpeech);
}

// Jory's rotation from his three angles (the third his heading) with his position.
Matrix cDivingGame::JoryMatrix() const {
  const float sa = Sin(m_joryRot[0]), ca = Cos(m_joryRot[0]);
  const float sb = Sin(m_joryRot[1]), cb = Cos(m_joryRot[1]);
  const float sc = Sin(m_joryRot[2]), cc = Cos(m_joryRot[2]);
  Matrix m;
  m[0] = cc * cb;
  m[1] = sb * sa * cc + ca * sc;
  m[2] = sc * sa - sb * ca * cc;
  m[4] = -cb * sc;
  m[5] = ca * cc - sb * sa * sc;
  m[6] = sb * ca * sc + sa * cc;
  m[8] = sb;
  m[9] = -sa * cb;
  m[10] = cb * ca;
  m.SetTranslation(Vector4(m_joryPos.x, m_joryPos.y, m_joryPos.z, 1.0f));
  return m;
}

Vector4 cDivingGame::RotateByJory(const Vector4& v) const {
  Matrix m = JoryMatrix();
  m.SetTranslation(Vector4(0.0f, 0.0f, 0.0f, 1.0f));
  Vector4 out;
  TransformVector4(Vector4(v.x, v.y, v.z, 0.0f), m, out);
  out.w = 0.0f;
  return out;
}

void cDivingGame::SetWindowFov(float fov) { m_camera.SetFov(Window(), fov); }
