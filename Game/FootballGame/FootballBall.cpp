// The kick and the ball: aiming, the run-up with its power bar, the kick's speed and drift, the
// physics step, the prediction of the whole flight at the kick, the rebound off the goal frame,
// the checks on a ball at rest and the retake.
#include "Engine/FastMathBounds.h"
#include "Game/FootballGame/FootballGame.h"
#include "Game/FootballGame/FootballMath.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Helper/InputDevice.h"

using namespace football;

namespace {

constexpr float kGravity = 720.0f;
constexpr float kFrameMargin = 14.35f;      // ball radius plus the frame's half thickness
constexpr float kFrameContactSq = 349.69f;  // (10 + 8.7)^2
constexpr float kFrameThickness = 8.7f;
constexpr float kNearGoalRestSq = 184900.0f;  // 430^2
constexpr float kWideSq = 202500.0f;          // 450^2
constexpr float kCloseCallSq = 547600.0f;     // 740^2
constexpr int32_t kTextOut = 145;
constexpr int32_t kTextSoClose = 148;
constexpr int32_t kSpeechOut = 32;
constexpr int32_t kSpeechSoClose = 31;
constexpr int32_t kSpeechWoodwork = 35;
constexpr int32_t kSampleWoodwork = 15;

// Where along the last step the ball met the plane x = planeX (0 when it did not move in x).
float StepFraction(const Vector4& position, const Vector4& velocity, float dt, float planeX) {
  const float step = dt * velocity.x;
  return step != 0.0f ? (position.x - planeX) / step : 0.0f;
}

}  // namespace

// ---- Aiming and the run-up.

void cfootballgame::UpdateAimAndPower() {
  const InputDevice* input = GetInputDevice();
  if (!input) return;
  if (phase == kPhaseRunUp) {
    if (input->IsButtonPressed(kInputAction))
      powerBar = powerBar - 20.0f < 100.0f ? 100.0f : powerBar - 20.0f;
    return;
  }
  if (phase != kPhaseAim) return;
  if (input->IsButtonPressed(kInputAction)) {
    SetDirectionFromHeading();
    aimArrow[0] = ballVelocity;
    aimArrow[1] = ballSpin;
    savedAim = aim;
    runUpCameraSide = 400.0f;
    aim.z = heading;
    kickSpot = ballPosition;
    runUp = 0.0f;
    savedHeading = heading;
    PrepareRunUp();
    phase = kPhaseRunUp;
    UpdateCamera();
    if (dulcieAnim) {
      dulcieAnim->Play(dulcieRun, 1, 0.0f);
      dulcieAnim->Update(1.0f);
    }
    // The kick's aim is what it was at the press: the steering below waits for the next kick.
    return;
  }
  if (input->IsPlayerButtonHeld(0, kInputUp)) {
    aim.y = aim.y + 0.01f > 1.0f ? 1.0f : aim.y + 0.01f;
    ballVelocity.z = aim.y * 2.0f;
  }
  if (input->IsPlayerButtonHeld(0, kInputDown)) {
    aim.y = aim.y - 0.01f < 0.0f ? 0.0f : aim.y - 0.01f;
    ballVelocity.z = aim.y * 2.0f;
  }
  // Both held: the two turns cancel within the tick.
  if (input->IsPlayerButtonHeld(0, kInputLeft)) TurnAim(0.01f);
  if (input->IsPlayerButtonHeld(0, kInputRight)) TurnAim(-0.01f);
}

void cfootballgame::TurnAim(float step) {
  heading += step;
  if (heading > kTwoPi) heading -= kTwoPi;
  if (heading < 0.0f) heading += kTwoPi;
  aim.z = heading;
  SetDirectionFromHeading();
  AllDefendersIntercept();
}

void cfootballgame::UpdateRunUp() {
  powerBar = powerBar + 0.5f > 300.0f ? 300.0f : powerBar + 0.5f;
  runUp += tickTime * 0.5f;
  if (dulcieAnim) {
    const bool kicking = dulcieAnim->IsAnimationActive(dulcieKickSoft) ||
                         dulcieAnim->IsAnimationActive(dulcieKickHard);
    // The soft kick follows the power of this kick, as the bar stands when she decides; the
    // last kick's speed would give every first kick the soft one.
    if (runUp > 0.82f && !kicking)
      dulcieAnim->QueueOnly(dulcieKickHard, 1, 0, 0);
    else if (runUp > 0.78f && runUp <= 0.82f && KickSpeedFor(powerBar) < 100.0f && !kicking)
      dulcieAnim->QueueOnly(dulcieKickSoft, 1, 0, 0);
  }
  if (runUp > 1.0f) Kick();
}

void cfootballgame::Kick() {
  const bool soft = dulcieAnim && dulcieAnim->IsAnimationActive(dulcieKickSoft);
  PlayEffectIfPresent(soft ? 20 : 21);
  kickSpeed = KickSpeedFor(powerBar);
  powerBar = 300.0f;
  ballVelocity.z *= 0.7f;
  ballSpin = Vector4(0.0f, 0.0f, 0.0f, 0.0f);
  const float drift = (kickSpeed / 12.0f) * ((ballVelocity.z * kickSpeed) / 30.0f + 40.0f);
  ballSpin.x = wind.x * drift;
  ballSpin.y = wind.y * drift;
  const float length = Length4(ballVelocity);
  if (length > 0.00001f) ballVelocity = Times(ballVelocity, kickSpeed / length);
  ballSpeed = kickSpeed;
  dulcieSpot = Vector4(runUpEnd.x, runUpEnd.y, 0.0f, 1.0f);
  PredictFlight();
  keeperDiveStarted = 0;
  PlanKeeperMove();
}

void cfootballgame::SetDirectionFromHeading() {
  ballVelocity.x = -Cos(heading);
  ballVelocity.y = -Sin(heading);
}

// ---- The physics step.

void cfootballgame::StepBall() {
  const float dt = tickTime;
  ballVelocity.z -= dt * kGravity;
  ballVelocity = Minus(ballVelocity, Times(ballSpin, dt));
  ballPosition = Plus(ballPosition, Times(ballVelocity, dt));
  ballRoll -= ballSpeed / 5000.0f;
  if (ballPosition.z < kBallRadius) {
    ballRoll -= ballSpeed / 1000.0f;
    if (Fabs(ballVelocity.z - (-kGravity * dt)) >= 5.0f) {
      ballVelocity.x *= 0.8f;
      ballVelocity.y *= 0.8f;
      ballVelocity.z *= -0.5f;
      ballSpin = Times(ballSpin, 0.6f);
      if (phase == kPhaseFlight && ballSpeed > stopSpeed * 50.0f && grassFx != -1)
        lastEffect = StartEffect(grassFx, ballPosition);
    } else {
      ballVelocity.z = 0.0f;
      ballVelocity = Times(ballVelocity, 1.0f - 0.7f / frameRate);
      ballSpin = Times(ballSpin, 1.0f - 2.0f / frameRate);
    }
    ballPosition.z = kBallRadius;
  }
  ballSpeed = Length4(ballVelocity);
  if (ballSpeed < stopSpeed && ballPosition.z == kBallRadius) ballSpeed = 0.0f;
}

// ---- The prediction.

void cfootballgame::PredictFlight() {
  const Vector4 keptVelocity = ballVelocity, keptPosition = ballPosition, keptSpin = ballSpin;
  const float keptHeading = heading;
  frameContactTick = contactTick = keeperPlaneTick = 0;
  keeperPlaneSeen = 0;
  ballState = kBallNoOutcome;
  ballSpeed = 1.0f;
  shotClass = 0;
  for (cDefender* defender : defenders) {
    if (!defender) continue;
    defender->inReach = 0;
    defender->leaveTick = 0;
    defender->bestDistanceSq = DistanceSqXYZ(ballPosition, defender->position);
    defender->moveStart = defender->position;
  }
  const float reach = static_cast<float>(GetDefenderRules().maxReach) + 50.0f;
  // Every kick comes to rest or crosses the line long before the bound; it only keeps a
  // pathological state (a spin that holds the ball up) from looping for ever.
  while (ballState == kBallNoOutcome && contactTick < kMaxPredictedTicks) {
    ++contactTick;
    if (ballPosition.x > goalCentre.x + 35.0f) {
      ++keeperPlaneTick;
    } else if (!keeperPlaneSeen) {
      keeperPlanePoint = ballPosition;
      keeperPlaneSeen = 1;
    }
    const Vector4 old = ballPosition;
    StepBall();
    TestFrame(ballPosition, old);
    if (ballSpeed <= 0.0f) ballState = kBallAtRest;
    if (ballPosition.x < goalCentre.x - 10.0f) ballState = kBallWide;
    for (cDefender* defender : defenders) {
      if (!defender) continue;
      const Vector4& g = defender->guardPosition;
      const bool insideX = Fabs(ballPosition.x - g.x) < reach;
      const bool insideY = Fabs(ballPosition.y - g.y) < reach;
      if (!defender->inReach && insideX && insideY) {
        defender->inReach = 1;
        defender->enterTick = contactTick;
      } else if (defender->inReach && defender->leaveTick == 0 && !insideX && insideY) {
        defender->leaveTick = contactTick;
      }
      const float d = DistanceSqXYZ(ballPosition, defender->position);
      if (d < defender->bestDistanceSq) {
        defender->bestDistanceSq = d;
        defender->moveEnd = Vector4(ballPosition.x, ballPosition.y, 0.0f, ballPosition.w);
      }
    }
  }
  if (ballState == kBallNoOutcome) ballState = kBallAtRest;
  if (ballState == kBallAtRest) {
    for (cDefender* defender : defenders)
      if (defender && defender->leaveTick == 0) defender->leaveTick = contactTick;
    const float dx = ballPosition.x - goalCentre.x, dy = ballPosition.y - goalCentre.y;
    if (dx * dx + dy * dy + ballPosition.z * ballPosition.z < kNearGoalRestSq) {
      shotClass = 1;
      restingSpot = ballPosition;
    } else {
      shotClass = 0;
    }
  }
  if (ballState == kBallWide) PredictGoalPlane(keptVelocity, keptPosition, keptSpin);
  if (ballState == kBallWoodwork) {
    if (keeperPlaneTick == 0) keeperPlaneTick = frameContactTick;
    contactTick = frameContactTick;
    shotClass = 4;
  }
  phase = kPhaseFlight;
  for (cDefender* defender : defenders) {
    if (!defender) continue;
    defender->StartMove(kPhaseFlight, keptPosition);
    defender->savedPosition = defender->position;
  }
  ballRoll = 0.0f;
  ballSpeed = 0.0f;
  ballVelocity = keptVelocity;
  ballPosition = keptPosition;
  ballSpin = keptSpin;
  heading = keptHeading;
  flightTicks = 0;
  goalPending = 1;
}

// The ball crossed the goal plane: in the mouth, wide, or on the frame where it crosses.
void cfootballgame::PredictGoalPlane(const Vector4& keptVelocity, const Vector4& keptPosition,
                                     const Vector4& keptSpin) {
  const float dt = tickTime;
  const float u = StepFraction(ballPosition, ballVelocity, dt, goalCentre.x);
  goalCrossing = Minus(ballPosition, Times(ballVelocity, dt * u));
  const float y = goalCrossing.y, z = goalCrossing.z, m = kFrameMargin;
  if (y > leftPostY + m && y < rightPostY - m && z < crossbarZ - m) {
    ballState = kBallGoalBound;
    shotClass = 4;
    return;
  }
  const float dx = goalCrossing.x - goalCentre.x, dy = goalCrossing.y - goalCentre.y;
  shotClass = dx * dx + dy * dy + z * z >= kWideSq ? 2 : 3;
  const bool nearLeft = Fabs(y - leftPostY) <= m, nearRight = Fabs(y - rightPostY) <= m;
  if (nearLeft && z < crossbarZ - m) {
    woodworkPart = 0;
  } else if (nearRight && z < crossbarZ - m) {
    woodworkPart = 1;
  } else if (y >= leftPostY - m && y <= rightPostY + m && Fabs(z - crossbarZ) <= m) {
    woodworkPart = nearLeft || nearRight ? 3 : 2;
  } else {
    return;
  }
  ballState = kBallWoodwork;
  // Again from the kick, to the tick at which the ball reaches the frame's front.
  const float firstZ = goalCrossing.z;
  const int32_t keptState = ballState;
  ballVelocity = keptVelocity;
  ballPosition = keptPosition;
  ballSpin = keptSpin;
  uint32_t tick = frameContactTick;
  const float front = goalCentre.x + kFrameMargin;
  do {
    ++tick;
    StepBall();
  } while (!(ballPosition.x < front) && tick < kMaxPredictedTicks);
  frameContactTick = tick;
  goalCrossing = Minus(
      ballPosition, Times(ballVelocity, dt * StepFraction(ballPosition, ballVelocity, dt, front)));
  if (woodworkPart == 2) goalCrossing.z = firstZ;
  ballState = keptState;
}

void cfootballgame::TestFrame(const Vector4& newPosition, const Vector4& oldPosition) {
  const LineSegment path(oldPosition, Minus(newPosition, oldPosition));
  const LineSegment bar(Vector4(goalCentre.x, leftPostY, crossbarZ, 1.0f),
                        Vector4(0.0f, rightPostY - leftPostY, 0.0f, 0.0f));
  bool barMet = false;
  if (SegmentSegmentDistanceSq(path, bar) < kFrameContactSq) {
    shotClass = 4;
    frameContactTick = contactTick;
    ballState = kBallWoodwork;
    woodworkPart = 2;
    goalCrossing = newPosition;
    barMet = true;
  }
  const float postY[2] = {leftPostY, rightPostY};
  for (int32_t side = 0; side < 2; ++side) {
    const LineSegment post(Vector4(goalCentre.x, postY[side], 0.0f, 1.0f),
                           Vector4(0.0f, 0.0f, crossbarZ + kFrameThickness, 0.0f));
    if (SegmentSegmentDistanceSq(path, post) > kFrameContactSq) continue;
    shotClass = 4;
    frameContactTick = contactTick;
    if (barMet) {
      woodworkPart = 3;
    } else {
      ballState = kBallWoodwork;
      woodworkPart = side;
      goalCrossing = newPosition;
    }
  }
}

// ---- The frame rebound.

void cfootballgame::BounceOffWoodwork() {
  PlayEffectIfPresent(kSampleWoodwork);
  ballSpin = Vector4(0.0f, 0.0f, 0.0f, 0.0f);
  cameraHold = 1;
  switch (woodworkPart) {
    case 0:
      BounceOffPost(leftPostY, false);
      break;
    case 1:
      BounceOffPost(rightPostY, true);
      break;
    case 2:
      BounceOffBar(false);
      break;
    default:
      BounceOffBar(true);
      break;
  }
}

void cfootballgame::BounceOffPost(float postY, bool rightPost) {
  const Vector4 post(goalCentre.x, postY, ballPosition.z, ballPosition.w);
  Vector4 n = Unit3(Minus(post, ballPosition));
  n.w = 0.0f;
  ballVelocity.w = 0.0f;
  Vector4 v = Unit4(ballVelocity);
  const float along = 2.0f * Dot3Of(v, n);
  v = Minus(v, Times(n, along));
  ballSpeed = ballSpeed * 0.3f;
  ballVelocity = Times(v, ballSpeed);
  heading = HeadingOf(ballVelocity);
  const Vector4& w = ballVelocity;
  bool speaks;
  if (!rightPost) {
    ballState = (w.y >= 0.0f || w.x >= 0.0f) ? kBallAtRest : kBallWide;
    speaks = w.y < 0.0f || w.x > 0.0f;
  } else {
    ballState = (w.y <= 0.0f || w.x >= 0.0f) ? kBallAtRest : kBallWide;
    speaks = w.y > 0.0f || w.x > 0.0f;
  }
  if (!speaks) return;
  frameSpeech = PlaySpeechIfPresent(kSpeechWoodwork);
  frameSpeechPlaying = 1;
}

void cfootballgame::BounceOffBar(bool meetsPost) {
  const float d = goalCrossing.z - crossbarZ;
  const bool square = meetsPost || (d > -2.9f && d < 2.9f);
  if (!square && d < 0.0f) {
    // Off the underside: down into the goal.
    ballState = kBallGoalBound;
    ballVelocity.z = ballSpeed * -0.8f;
    return;
  }
  if (!square) {
    ballVelocity.z = ballSpeed * 0.8f;
    ballState = kBallWide;
  } else {
    ballVelocity.x *= -0.4f;
    if (meetsPost) ballVelocity.y *= -0.4f;
    ballVelocity = Times(ballVelocity, 0.6f);
    ballSpeed = Length4(ballVelocity);
    heading = HeadingOf(ballVelocity);
    ballState = ballVelocity.x >= 0.0f ? kBallAtRest : kBallWide;
  }
  frameSpeech = PlaySpeechIfPresent(kSpeechWoodwork);
  frameSpeechPlaying = 1;
}

// ---- A ball at rest, and the retake.

void cfootballgame::CheckBallAtRest() {
  const Vector4& b = ballPosition;
  if (b.y < leftTouchlineY - 10.0f || b.y > rightTouchlineY + 10.0f || b.x < goalCentre.x - 10.0f ||
      b.x > farGoalLineX + 10.0f) {
    ballState = kBallOut;
    ShowMessage(kTextOut, 3.0f);
    PlaySpeechIfPresent(kSpeechOut);
    phase = kPhaseMessage;
    return;
  }
  heading = HeadingOf(ballVelocity);
  SetDirectionFromHeading();
  ballVelocity.z = 2.0f * savedAim.y;
  aim.z = heading;
  if (DistanceSqXY(ballPosition, goalCentre) < kCloseCallSq) {
    ballState = kBallNearGoal;
    ShowMessage(kTextSoClose, 3.0f);
    PlaySpeechIfPresent(kSpeechSoClose);
    phase = kPhaseMessage;
  }
}

void cfootballgame::ResetToKickSpot() {
  keeperPosition = keeperHome;
  if (keeperAnim) keeperAnim->Play(keeperStand, 1, 0.0f);
  ballPosition = kickSpot;
  heading = savedHeading;
  SetDirectionFromHeading();
  ballVelocity.z = 2.0f * savedAim.y;
  aim = savedAim;
  for (cDefender* defender : defenders) {
    if (!defender) continue;
    defender->position = defender->savedPosition;
    defender->moving = 0;
  }
}
