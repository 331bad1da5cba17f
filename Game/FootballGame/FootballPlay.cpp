// The per-tick state machine: the order of work in one tick, the play phases and the ball's
// sub-states in flight, the clock, the round reset and the end of the game.
#include <cmath>

#include "Engine/PC/PCApp.h"
#include "Engine/Random.h"
#include "Game/FootballGame/FootballGame.h"
#include "Game/FootballGame/FootballMath.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Helper/InputDevice.h"

using namespace football;

namespace {

// The intro's script: a wait, then play starts.
constexpr int32_t kStartScript[] = {GameSequence::kWait, GameSequence::kStartPlay};

constexpr int32_t kTextTimeUp = 106;
constexpr int32_t kTextGoal = 144;
constexpr int32_t kTextOut = 145;
constexpr int32_t kTextBlocked = 147;

constexpr int32_t kSampleCountdown = 9;
constexpr int32_t kSampleGoal = 26;
constexpr int32_t kSampleTimeUp = 32;
constexpr int32_t kSpeechOut = 32;
constexpr int32_t kSpeechSave = 12;
constexpr int32_t kSpeechClosing = 18;
constexpr int32_t kSpeechFrameRetake = 29;
constexpr int32_t kSpeechKeeperCheers = 3;

constexpr float kFov30 = 0.5235988f;
constexpr float kFov45 = 0.7853982f;
constexpr float kFov70 = 1.2217305f;
constexpr float kOrbitRadius = 650.0f;
constexpr float kOrbitHeight = 260.0f;

}  // namespace

int32_t cfootballgame::Update() {
  if (phase != kPhaseMessage && phase != kPhaseTimeUp && phase != kPhaseEnd) UpdateCamera();
  RenderWindow* pitch = PitchWindow();
  if (camera.Update(pitch)) return 0;
  if (pitch) pitch->SetFlags(pitch->GetFlags() & ~BaseRenderWindow::kSuspended);
  UpdateIngameText(1.0f);
  if (InputDevice* input = GetInputDevice()) {
    input->m_padRemap[0] = kInputAction;
    input->m_padRemap[1] = kInputButtonW;
    input->m_padRemap[2] = kInputButtonQ;
    input->m_padRemap[3] = kInputButtonE;
  }
  if (phase == kPhaseIntro) {
    UpdateIntro();
    return 0;
  }
  UpdateCharacters();
  if (phase == kPhaseFlight && ballState != kBallParried) {
    UpdateKeeper();
    if (shotClass == kShotOnTarget || shotClass == kShotNearMiss || shotClass == kShotRestsNearGoal)
      CheckKeeperHit();
  }
  if (ballState != kBallHitClemency && ballPosition.y > rightTouchlineY) CheckClemencyHit();
  if (orwenActive && ballState != kBallHitOrwen && ballPosition.x > farGoalLineX &&
      ballSpeed > (60.0f / frameRate) * 60.0f)
    CheckOrwenHit();
  UpdateClock();
  return StepPhase();
}

void cfootballgame::UpdateCharacters() {
  if (phase == kPhaseMessage || phase == kPhaseTimeUp || phase == kPhaseEnd) return;
  if (phase == kPhaseNextKick && m_fadeTimer.m_direction == 0) return;
  if (!orwenActive) {
    if (--orwenDelay <= 0) StartOrwenCrossing();
  } else {
    if (orwenAnim) orwenAnim->Update(1.0f);
    if (bikeAnim) bikeAnim->Update(1.0f);
    if (ballState != kBallHitOrwen) AdvanceOrwen();
  }
  if (clemencyAnim) clemencyAnim->Update(1.0f);
  if (phase != kPhaseGoalOrbit && keeperAnim)
    keeperAnim->Update(keeperDiveStarted && shotClass == kShotOnTarget ? 1.0f - keeperError : 1.0f);
  for (cDefender* defender : defenders) {
    if (!defender) continue;
    defender->UpdateAnimation(1.0f);
    defender->FaceTowards(ballPosition.x, ballPosition.y);
  }
  if (dulcieAnim &&
      (phase == kPhaseRunUp || phase == kPhaseCelebration || phase == kPhaseKeeperHolds))
    dulcieAnim->Update(1.0f);
  if (ballState == kBallHitClemency && clemencyAnim &&
      clemencyAnim->IsAnimationActive(clemencyHitAnim) &&
      clemencyAnim->IsAnimationFinished(clemencyHitAnim))
    clemencyAnim->Play(clemencyStand, 1, 0.0f);
}

void cfootballgame::UpdateClock() {
  const bool stopped = phase == kPhaseTimeUp || phase == kPhaseCelebration ||
                       phase == kPhaseKeeperHolds || phase == kPhaseNextKick ||
                       phase == kPhaseGoalOrbit;
  CSoundWrapper* sound = GetSoundWrapper();
  if (!stopped && ++secondTicks > static_cast<uint32_t>(frameRate) - 1) {
    secondTicks = 0;
    if (timeLeft > 0) --timeLeft;
    if (phase != kPhaseEnd && timeLeft < 10 &&
        !(sound && sound->IsSamplePlaying(m_effectsBank, kSampleCountdown)))
      PlayEffectIfPresent(kSampleCountdown);
  }
  if (timeLeft != 0) return;
  if (phase == kPhaseRunUp) timeUpDuringRunUp = 1;
  // A goal-bound ball, the orbit, the celebration and a fade are let finish first.
  if (phase == kPhaseTimeUp || phase == kPhaseEnd || phase == kPhaseNextKick ||
      phase == kPhaseGoalOrbit || phase == kPhaseCelebration || ballState == kBallGoalBound)
    return;
  PlayEffectIfPresent(kSampleTimeUp);
  ShowMessage(kTextTimeUp, 3.0f);
  phase = kPhaseTimeUp;
  if (sound && m_effectsBank >= 0) sound->StopSample(m_effectsBank, kSampleCountdown);
}

int32_t cfootballgame::StepPhase() {
  switch (phase) {
    case kPhaseAim:
    case kPhaseRunUp:
      for (cDefender* defender : defenders)
        if (defender && defender->moving) defender->UpdateMove();
      if (phase == kPhaseRunUp) UpdateRunUp();
      break;
    case kPhaseFlight:
      StepFlight();
      break;
    case kPhaseGoalOrbit:
      UpdateGoalOrbit();
      break;
    case kPhaseNextKick:
      PrepareNextKick();
      break;
    case kPhaseTargetHit:
      if (m_bonusScores.GetListLength() == 0) {
        AllDefendersIntercept();
        FadeDownToNextKick(0);
      }
      break;
    case kPhaseMessage:
      WaitForMessage();
      break;
    case kPhaseCelebration:
      StepCelebration();
      break;
    case kPhaseKeeperHolds:
      StepKeeperHolds();
      break;
    case kPhaseTimeUp:
      if (!m_ingameText.shown) {
        if (CSoundWrapper* sound = GetSoundWrapper()) sound->StopMusic();
        PlaySpeechIfPresent(kSpeechClosing);
        StartFade(0, frameRate);
        phase = kPhaseEnd;
      }
      break;
    case kPhaseEnd: {
      CSoundWrapper* sound = GetSoundWrapper();
      const bool speaking = sound && sound->IsSamplePlaying(m_speechBank, kSpeechClosing);
      if (!m_fadeTimer.IsFinished() || speaking) break;
      if (mode == kModeChallenge1) {
        if (goals >= 3) m_result = 1;
      } else if (mode == kModeChallenge2) {
        if (goals >= 6) m_result = 1;
      } else {
        m_result = goals >= 3 ? 1 : 0;
      }
      return 1;
    }
    default:
      break;
  }
  UpdateAimAndPower();
  return 0;
}

// ---- Flight.

bool cfootballgame::OutOfPlayBox() const {
  const Vector4& b = ballPosition;
  if (b.x < farGoalLineX) return b.y > 3200.0f || b.y < -2000.0f || b.x < -3000.0f;
  return b.y > 5000.0f || b.y < -4600.0f || b.x > 3800.0f;
}

void cfootballgame::BallOut() {
  ballState = kBallOut;
  ShowMessage(kTextOut, 3.0f);
  PlaySpeechIfPresent(kSpeechOut);
  phase = kPhaseMessage;
}

void cfootballgame::StepFlight() {
  if (ballState != kBallGoalBound && OutOfPlayBox()) BallOut();
  ++flightTicks;
  for (cDefender* defender : defenders)
    if (defender && defender->moving) defender->UpdateMove();
  switch (ballState) {
    case kBallAtRest:
      StepFlightAtRest();
      break;
    case kBallGoalBound:
    case kBallTarget:
    case kBallWoodwork:
    case kBallWide:
    case kBallOut:
    case kBallNearGoal:
      StepFlightLive();
      break;
    case kBallDeflected:
      StepFlightDeflected();
      break;
    case kBallHitClemency:
      StepFlightClemency();
      break;
    case kBallHitOrwen:
      StepFlightOrwen();
      break;
    case kBallParried:
    case kBallParriedWide:
      StepFlightParried();
      break;
    default:
      break;
  }
}

void cfootballgame::StepFlightAtRest() {
  StepBall();
  if (ballPosition.x < goalCentre.x - 10.0f) {
    StartGoalSequence();
  } else if (ballState == kBallAtRest && ballSpeed == 0.0f) {
    CheckBallAtRest();
    if (mode == kModeNormal) CheckTargets();
    if (ballState == kBallAtRest) {
      AllDefendersIntercept();
      FadeDownToNextKick(0);
    }
  }
  CheckDefenderHits();
}

void cfootballgame::StepFlightLive() {
  if (ballState == kBallGoalBound && ballPosition.x < goalCentre.x - 10.0f && goalPending)
    StartGoalBoundGoal();
  if (flightTicks == contactTick) {
    if (ballState == kBallGoalBound && goalPending) StartGoalBoundGoal();
    if (ballState == kBallWoodwork) {
      BounceOffWoodwork();
      CheckDefenderHits();
      return;
    }
  }
  StepBall();
  if (ballState == kBallWide && ballSpeed < stopSpeed) BallOut();
  if (ballState == kBallGoalBound && (ballSpeed < stopSpeed || flightTicks > contactTick + 20) &&
      (shotClass == kShotNearMiss || shotClass == kShotOnTarget))
    StartSave();
  CheckDefenderHits();
}

void cfootballgame::StepFlightDeflected() {
  StepBall();
  if (ballSpeed != 0.0f) return;
  ShowMessage(kTextBlocked, 3.0f);
  PlayDeflectionReaction();
  lastReaction = 37;
  phase = kPhaseMessage;
}

void cfootballgame::StepFlightClemency() {
  StepBall();
  if (ballSpeed != 0.0f) return;
  HaltDefenders();
  ballState = kBallAtRest;
  CheckBallAtRest();
  if (mode == kModeNormal) CheckTargets();
  if (ballState == kBallAtRest) FadeDownToNextKick(0);
  if (clemencyAnim) clemencyAnim->Play(clemencyStand, 1, 0.0f);
}

void cfootballgame::StepFlightOrwen() {
  StepBall();
  if (!cheerPlayed && orwenAnim && orwenAnim->IsAnimationActive(orwenHitFall) &&
      orwenAnim->IsAnimationFinished(orwenHitFall)) {
    cheerPlayed = 1;
    PlaySpeechIfPresent(6 + static_cast<int32_t>(RandMod(4)));
  }
  if (ballSpeed != 0.0f) return;
  cheerPlayed = 0;
  HaltDefenders();
  FadeDownToNextKick(1);
}

void cfootballgame::StepFlightParried() {
  StepBall();
  KeeperRecovery();
  if (ballState == kBallParried && ballPosition.x < goalCentre.x - 10.0f) StartGoalSequence();
  // A ball that rolled over the line is a goal: nothing more for it.
  if (phase != kPhaseFlight) return;
  bool celebrated = false;
  if (ballState == kBallParried && keeperAnim)
    celebrated = keeperAnim->IsAnimationActive(keeperCelebrate) &&
                 keeperAnim->GetRemainingFraction(keeperCelebrate) > 0.99f;
  const float patience = frameRate * 4.0f;
  if (ballSpeed != 0.0f &&
      static_cast<float>(flightTicks) <= static_cast<float>(contactTick) + patience && !celebrated)
    return;
  if (shotClass != kShotRestsNearGoal) {
    StartSave();
    return;
  }
  AllDefendersIntercept();
  FadeDownToNextKick(1);
}

void cfootballgame::KeeperRecovery() {
  if (!keeperAnim) return;
  const int32_t current = keeperAnim->GetCurrentAnimation();
  const bool risen = current == keeperSaveLowCentreEnd || current == keeperGetUpLeft ||
                     current == keeperGetUpRight || current == keeperSaveHighCentre;
  if (risen && keeperAnim->IsAnimationFinished(current)) {
    if (ballVelocity.x >= 0.0f) {
      keeperAnim->QueueOnly(keeperCelebrate, 10, 0, 0);
      PlaySpeechIfPresent(kSpeechKeeperCheers);
    } else {
      keeperAnim->QueueOnly(keeperStand, 10, 0, 1);
    }
  }
  const bool leftDive = current == keeperSaveLowLeft || current == keeperSaveShortLeft ||
                        current == keeperSaveHighLeft || current == keeperSaveMidLeft;
  const bool rightDive = current == keeperSaveLowRight || current == keeperSaveShortRight ||
                         current == keeperSaveHighRight || current == keeperSaveMidRight;
  if ((leftDive || rightDive) && keeperAnim->IsAnimationFinished(current)) {
    const Vector4 track = keeperAnim->GetTrackVector();
    keeperPosition = Plus(keeperPosition, TurnedZ(kHalfPi, track.x, track.y));
    keeperPosition.z = 0.0f;
    keeperAnim->PlayReversed(leftDive ? keeperGetUpLeft : keeperGetUpRight, 0, 0.0f);
    keeperAnim->Update(1.0f);
  }
}

// ---- Outcomes.

void cfootballgame::HaltDefenders() {
  for (cDefender* defender : defenders) {
    if (!defender) continue;
    defender->PlanIntercept(phase, ballPosition, ballVelocity);
    defender->PlayReaction(cDefender::kStand);
    defender->moving = 0;
  }
}

void cfootballgame::CountGoal() {
  ShowMessage(kTextGoal, 5.0f);
  phase = kPhaseCelebration;
  SetPitchFov(kFov30);
  for (cDefender* defender : defenders) {
    if (!defender) continue;
    defender->PlayReaction(cDefender::kStand);
    defender->moving = 0;
    defender->position = defender->GetGuardPosition();
  }
  if (dulcieAnim) dulcieAnim->Play(dulcieStand, 1, 0.0f);
  cameraEye = celebrateCamera;
  celebrationLook = celebratePosition;
  UpdateCamera();
  ++goals;
  AddScore(0, GoalPoints());
}

void cfootballgame::StartGoalSequence() {
  PlayEffectIfPresent(kSampleGoal);
  ballState = kBallGoalBound;
  CountGoal();
}

void cfootballgame::StartGoalBoundGoal() {
  goalPending = 0;
  if (ballPosition.z < 10.0f) ballPosition.z = 10.0f;
  phase = kPhaseGoalOrbit;
  ShowMessage(kTextGoal, 5.0f);
  PlayEffectIfPresent(kSampleGoal);
  camera.SetTarget(ballPosition);
}

void cfootballgame::UpdateGoalOrbit() {
  goalPending = 0;
  orbitAngle += tickRate;
  if (orbitAngle <= 360.0f) {
    const float a = orbitAngle * 0.017453292f;
    cameraEye = Vector4(goalCentre.x + kOrbitRadius * Cos(a), goalCentre.y + kOrbitRadius * Sin(a),
                        kOrbitHeight, 1.0f);
    cameraLook = Vector4(goalCentre.x, goalCentre.y, 100.0f, 1.0f);
    ApplyCameraView();
    return;
  }
  orbitAngle = 0.0f;
  CountGoal();
}

void cfootballgame::StartSave() {
  phase = kPhaseKeeperHolds;
  for (cDefender* defender : defenders) {
    if (!defender) continue;
    defender->PlayReaction(cDefender::kStand);
    defender->moving = 0;
    defender->position = defender->GetGuardPosition();
  }
  if (dulcieAnim) dulcieAnim->Play(dulcieLosing, 0, 0.0f);
  PlaySpeechIfPresent(kSpeechSave);
  celebrationLook = Vector4(kickSpot.x, kickSpot.y, 100.0f, kickSpot.w);
  cameraEye = Vector4(kickSpot.x - 280.0f, kickSpot.y, 150.0f, 1.0f);
  SetPitchFov(kFov70);
  UpdateCamera();
}

void cfootballgame::StepCelebration() {
  if (!dulcieAnim) return;
  if (dulcieAnim->IsAnimationActive(dulcieStand)) {
    if (dulcieAnim->GetRemainingFraction(dulcieStand) > 0.1f &&
        !dulcieAnim->IsAnimationActive(dulcieCelebrate)) {
      dulcieAnim->QueueOnly(dulcieCelebrate, 10, 0, 0);
      PlaySpeechIfPresent(13 + static_cast<int32_t>(RandMod(4)));
    }
    return;
  }
  const bool done = dulcieAnim->GetRemainingFraction(dulcieCelebrate) > 0.85f ||
                    dulcieAnim->IsAnimationFinished(dulcieCelebrate);
  if (!done) {
    celebrationLook = dulcieSpot;
    return;
  }
  const bool over =
      (mode == kModeChallenge1 && goals >= 3) || (mode == kModeChallenge2 && goals >= 6);
  if (over) {
    if (CSoundWrapper* sound = GetSoundWrapper()) sound->StopMusic();
    PlaySpeechIfPresent(kSpeechClosing);
    StartFade(0, frameRate);
    phase = kPhaseEnd;
    return;
  }
  keeperPosition = keeperHome;
  AllDefendersIntercept();
  FadeDownToNextKick(0);
}

void cfootballgame::StepKeeperHolds() {
  if (!dulcieAnim) return;
  if (!(dulcieAnim->GetRemainingFraction(dulcieLosing) > 0.7f) &&
      !dulcieAnim->IsAnimationFinished(dulcieLosing))
    return;
  if (ballState != kBallAtRest) {
    AllDefendersIntercept();
    FadeDownToNextKick(1);
    return;
  }
  DrawWind();
  CheckBallAtRest();
  if (mode == kModeNormal) CheckTargets();
  if (ballState == kBallAtRest) {
    AllDefendersIntercept();
    FadeDownToNextKick(0);
  }
}

void cfootballgame::WaitForMessage() {
  if (m_ingameText.shown) return;
  AllDefendersIntercept();
  FadeDownToNextKick(1);
}

// ---- The next kick.

void cfootballgame::PrepareNextKick() {
  if (!m_fadeTimer.IsFinished()) return;
  if (m_fadeTimer.m_direction == 1) {
    if (timeLeft != 0 && retakeFromSpot == 1) {
      if (shotClass == kShotOnTarget || shotClass == kShotNearMiss)
        PlaySpeechIfPresent(kSpeechFrameRetake);
      else if (ballState != kBallHitOrwen)
        PlaySpeechIfPresent((RandMod(2) & 1) ? 30 : 28);
    }
    shotClass = kShotFarFromGoal;
    phase = kPhaseAim;
    AllDefendersIntercept();
    return;
  }
  SetPitchFov(kFov45);
  if (keeperAnim && !keeperAnim->IsAnimationActive(keeperStand))
    keeperAnim->Play(keeperStand, 1, 0.0f);
  keeperPosition = keeperHome;
  cameraHold = 0;
  cameraEye.y = 10000.0f;
  for (cDefender* defender : defenders)
    if (defender) defender->PlayReaction(cDefender::kStand);
  if (ballState == kBallHitOrwen) {
    orwenActive = 0;
    orwenDelay = static_cast<int32_t>(RandMod(500)) + 500;
  }
  if (ballState == kBallGoalBound) {
    StartNewRound();
    ballRoll = 0.0f;
    for (cDefender* defender : defenders) {
      if (!defender) continue;
      defender->bonusFlag = 1;
      defender->PickGuardPosition();
      defender->PlanIntercept(phase, ballPosition, ballVelocity);
    }
  } else if (retakeFromSpot == 0) {
    DrawWind();
    SetDirectionFromHeading();
  } else {
    ResetToKickSpot();
  }
  StartFade(1, frameRate);
  // The aiming view: the eye behind the ball on the line of the kick, the look ahead of it.
  const float bearing = Atan2(ballVelocity.y, ballVelocity.x) - kPi;
  cameraEye = Plus(ballPosition, TurnedZ(bearing, 500.0f, 0.0f));
  cameraLook = Plus(ballPosition, TurnedZ(bearing, -500.0f, 0.0f));
  cameraEye.z = 200.0f;
  cameraLook.z = 100.0f;
  cameraEye.w = cameraLook.w = 1.0f;
  ApplyCameraView();
  clemencyPosition = ballPosition;
  clemencyPosition.y = rightTouchlineY + 350.0f;
}

// ---- The intro.

void cfootballgame::UpdateIntro() {
  ApplyFade();
  switch (introStep) {
    case kIntroFadeIn:
      if (m_fadeTimer.IsFinished()) {
        introStep = kIntroFlyOver;
        introTime = 0.0f;
      }
      break;
    case kIntroFlyOver:
      camera.SetPosition(Along(introCamera1, introCamera2, introTime));
      camera.SetTarget(Along(introCameraTarget1, introCameraTarget2, introTime));
      introTime += 0.35f / frameRate;
      if (introTime > 1.0f) {
        introStep = kIntroFadeDown;
        StartFade(0, frameRate * 0.5f);
      }
      break;
    case kIntroFadeDown:
      if (m_fadeTimer.IsFinished()) {
        introStep = kIntroFadeUp;
        StartFade(1, frameRate * 0.5f);
      }
      break;
    case kIntroFadeUp:
      if (m_fadeTimer.IsFinished()) {
        introStep = kIntroStartScript;
        m_sequence.Start(kStartScript, 2);
      }
      break;
    case kIntroStartScript:
      m_sequence.Update(this);
      break;
    default:
      break;
  }
}

// ---- The round reset.

void cfootballgame::ResetGame() {
  timeUpDuringRunUp = frameSpeechPlaying = cameraHold = 0;
  secondTicks = 0;
  clemencyVisible = 1;
  frameRate = static_cast<float>(GetApp().GetTargetFrameRate());
  if (!(frameRate > 0.0f)) frameRate = 60.0f;
  tickTime = 1.0f / frameRate;
  stopSpeed = 600.0f / frameRate;
  maxWind = SqrtOrZero(0.01f * 0.01f + 0.01f * 0.01f);
  keeperReaction = static_cast<int32_t>(std::lround(frameRate * 0.4f));
  keeperStep = (60.0f / frameRate) * 3.0f;
  orwenStep = (60.0f / frameRate) * 8.0f;
  GetDefenderRules().SetLevel(level, frameRate);
  keeperDiveStarted = 0;
  goals = 0;
  wind = Vector4(0.0f, 0.0f, 0.0f, 0.0f);
  windStrength = 0.0f;
  restingSpot = Vector4(0.0f, 0.0f, 0.0f, 0.0f);
  orwenActive = 0;
  orwenSegment = 0;
  orwenNextPoint = 1;
  orwenDelay = static_cast<int32_t>(std::lround((frameRate / 60.0f) * 500.0f));
  orwenPosition = orwenPath[0];
  orwenHeading = orwenPathHeading[0];
  keeperMoveT = 0.0f;
  shotClass = kShotFarFromGoal;
  flightTicks = 0;
  orwenSegmentT = 0.0f;
  cameraEye = cameraLook = ballPosition = goalCrossing = savedAim = Vector4(0.0f, 0.0f, 0.0f, 0.0f);
  powerBar = 300.0f;
  targetsHit = 0;
  timeLeft = mode == kModeChallenge1 ? 120 : (mode == kModeChallenge2 ? 300 : 240);
  runUp = 0.0f;
  ballVelocity = Vector4(1.0f, 0.0f, 0.0f, 0.0f);
  keeperHome = Vector4(goalCentre.x + 35.0f, goalCentre.y, 0.0f, goalCentre.w);
  keeperPosition = keeperHome;
  heading = 0.0f;
  aim = Vector4(0.0f, 0.0f, 0.0f, 0.0f);
  SetDirectionFromHeading();
  ballRoll = 0.0f;
  ballPosition = startPosition;
  for (int32_t& lit : targetLit) lit = 1;
  for (cDefender* defender : defenders) {
    if (!defender) continue;
    defender->bonusFlag = 1;
    defender->PickGuardPosition();
    defender->position = defender->moveEnd = defender->GetGuardPosition();
    defender->PlanIntercept(phase, ballPosition, ballVelocity);
    defender->FaceTowards(ballPosition.x, ballPosition.y);
  }
  ComputeOrwenPath();
  clemencyPosition = ballPosition;
  clemencyPosition.y = rightTouchlineY + 350.0f;
  heading = 0.0f;
  SetDirectionFromHeading();
  aim = Vector4(0.0f, 0.0f, 0.0f, 0.0f);
  StartNewRound();
  phase = kPhaseIntro;
  approachAngle = Atan2(goalCentre.y - ballPosition.y, goalCentre.x - ballPosition.x) - heading;
  cheerPlayed = 0;
  orbitAngle = 0.0f;
  lastReaction = 37;
}

// ---- Small services of the play side.

void cfootballgame::AllDefendersIntercept() {
  for (cDefender* defender : defenders)
    if (defender) defender->PlanIntercept(phase, ballPosition, ballVelocity);
}

void cfootballgame::FadeDownToNextKick(int32_t retake) {
  retakeFromSpot = retake;
  StartFade(0, frameRate);
  phase = kPhaseNextKick;
}

void cfootballgame::StartFade(int32_t direction, float duration) {
  m_fadeTimer.Start(direction, duration);
}

void cfootballgame::ShowMessage(int32_t textId, float seconds) {
  ShowIngameMessage(&m_ingameText, textId, 200, frameRate * seconds, 0);
}

void cfootballgame::PlayEffectIfPresent(int32_t sample) {
  CSoundWrapper* sound = GetSoundWrapper();
  if (!sound || m_effectsBank < 0 || sound->GetSampleCount(m_effectsBank) <= sample) return;
  sound->PlayEffect(m_effectsBank, sample, 0, 1.0f, kSoundFlat, nullptr);
}

SoundHandle cfootballgame::PlaySpeechIfPresent(int32_t sample) {
  CSoundWrapper* sound = GetSoundWrapper();
  if (!sound || m_speechBank < 0 || sound->GetSampleCount(m_speechBank) <= sample)
    return SoundHandle();
  return sound->PlaySpeech(m_speechBank, sample, 0, 1.0f, kSoundFlat, nullptr);
}

void cfootballgame::SetPitchFov(float fov) { camera.SetFov(PitchWindow(), fov); }
