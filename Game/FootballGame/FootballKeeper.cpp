// The goalkeeper: he works from the flight prediction made at the kick (the shot's class, where
// and when the ball reaches his plane, where it comes to rest), walks to his spot, dives late or
// early by difficulty and parries what meets his body.
#include "Engine/Random.h"
#include "Game/FootballGame/FootballGame.h"
#include "Game/FootballGame/FootballMath.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Helper/BipedCollision.h"

using namespace football;

namespace {
constexpr int32_t kSpeechKeeperCheers = 3;
constexpr int32_t kSampleKeeperHit = 5;
constexpr int32_t kMaxPushOutSteps = 1000;
}  // namespace

void cfootballgame::KeeperQueue(int32_t animation, float blend, int32_t loop) {
  if (keeperAnim) keeperAnim->QueueOnly(animation, blend, 0, loop);
}

void cfootballgame::PlanKeeperMove() {
  keeperCommitted = 0;
  // Every walk starts from home: a walk left complete by the last kick must not carry over.
  keeperMoveT = 0.0f;
  switch (shotClass) {
    case kShotRestsNearGoal: {
      keeperTarget = restingSpot;
      keeperTarget.z = 0.0f;
      keeperMoveLength = Distance4(keeperHome, keeperTarget);
      // Towards the resting ball against back home from it: the cosine is -1, so a step to the
      // left is what the walk shows.
      const float c =
          Dot3Of(Unit3(Minus(restingSpot, keeperHome)), Unit3(Minus(keeperHome, keeperTarget)));
      KeeperQueue(c > 0.8f ? keeperStepForward : (c > 0.0f ? keeperStepRight : keeperStepLeft), 10,
                  1);
      break;
    }
    case kShotWide:
      SetKeeperWalkTarget(350.0f);
      break;
    case kShotNearMiss:
      SetKeeperWalkTarget(300.0f);
      break;
    case kShotOnTarget:
      SetKeeperWalkTarget(-1.0f);
      break;
    default:
      break;
  }
}

// Along his line to the ball's y at his plane, at most `clamp` from the centre (none below 0).
void cfootballgame::SetKeeperWalkTarget(float clamp) {
  float y = keeperPlanePoint.y;
  if (clamp >= 0.0f) y = Clamp(y, -clamp, clamp);
  keeperTarget = keeperHome;
  keeperTarget.y = y;
  keeperTarget.z = 0.0f;
  keeperMoveLength = Distance4(keeperHome, keeperTarget);
  if (y < keeperHome.y) KeeperQueue(keeperStepLeft, 10, 1);
  if (y > keeperHome.y) KeeperQueue(keeperStepRight, 10, 1);
}

void cfootballgame::KeeperWalk() {
  // A walk of no length is over at once rather than a division by zero.
  keeperMoveT = keeperMoveLength > 0.0f ? keeperMoveT + keeperStep / keeperMoveLength : 1.0f;
  if (keeperMoveT > 1.0f) keeperMoveT = 1.0f;
  keeperPosition = Along(keeperHome, keeperTarget, keeperMoveT);
}

void cfootballgame::UpdateKeeper() {
  if (!keeperAnim) return;
  const bool standing = keeperAnim->IsAnimationActive(keeperStand) != 0;
  switch (shotClass) {
    case kShotFarFromGoal:
      if (!standing) KeeperQueue(keeperStand, 10, 1);
      break;
    case kShotRestsNearGoal:
      if (keeperAnim->IsAnimationActive(keeperSaveLowCentreStart)) break;
      if (keeperMoveT < 1.0f) {
        KeeperWalk();
        break;
      }
      if (!standing) KeeperQueue(keeperStand, 10, 1);
      if (ballSpeed < 1800.0f / frameRate) {
        KeeperQueue(keeperSaveLowCentreStart, 1, 0);
        keeperMoveT = 0.0f;
      }
      break;
    case kShotWide:
      KeeperWalk();
      if (keeperMoveT >= 1.0f) {
        shotClass = kShotFarFromGoal;
        keeperMoveT = 0.0f;
      }
      break;
    case kShotNearMiss:
    case kShotOnTarget:
      if (keeperCommitted) break;
      // As unsigned words: a ball that reaches his plane sooner than he can react wraps the
      // difference, and he does not dive for it.
      if (flightTicks >= keeperPlaneTick - static_cast<uint32_t>(keeperReaction) &&
          !keeperDiveStarted) {
        KeeperDive();
        break;
      }
      KeeperWalk();
      if (keeperMoveT >= 1.0f && !standing) KeeperQueue(keeperStand, 10, 1);
      break;
    default:
      break;
  }
}

float cfootballgame::KeeperError() {
  int32_t range, half;
  float widen, limit;
  if (level == 0) {
    range = 60, half = 30, widen = 0.1f, limit = 0.3f;
  } else if (level == 1) {
    range = 30, half = 15, widen = 0.05f, limit = 0.15f;
  } else {
    return 0.0f;
  }
  float e = static_cast<float>(static_cast<int32_t>(RandMod(static_cast<uint32_t>(range))) - half) /
            100.0f;
  if (e < 0.0f) e -= widen;
  if (e > 0.0f) e += widen;
  return Clamp(e, -limit, limit);
}

void cfootballgame::KeeperDive() {
  if (shotClass == kShotOnTarget) keeperError = KeeperError();
  keeperDiveStarted = 1;
  keeperMoveT = 0.0f;
  keeperCommitted = 1;
  const float y = keeperPlanePoint.y, z = keeperPlanePoint.z;
  const float ky = keeperPosition.y, kz = keeperPosition.z;
  int32_t dive;
  if (shotClass == kShotOnTarget) {
    if (Fabs(y - ky) <= 40.0f) {
      keeperError = 0.0f;
      dive = z < 60.0f ? keeperSaveLowCentreStart
                       : (z > 90.0f ? keeperSaveHighCentre : keeperSaveCentre);
    } else if (y < ky - 40.0f) {
      if (z >= 60.0f) {
        dive = z > 90.0f ? keeperSaveHighRight : keeperSaveMidRight;
      } else if (y >= ky - 90.0f) {
        dive = keeperSaveShortRight;
        if (keeperError > 0.1f) keeperError = 0.1f;
      } else {
        dive = keeperSaveLowRight;
      }
    } else if (z < 60.0f) {
      dive = y > ky + 90.0f ? keeperSaveLowLeft : keeperSaveShortLeft;
      if (dive == keeperSaveShortLeft && keeperError > 0.1f) keeperError = 0.1f;
    } else {
      dive = z > 90.0f ? keeperSaveHighLeft : keeperSaveMidLeft;
    }
  } else if (Fabs(y - ky) <= 50.0f) {
    dive = z < kz - 40.0f ? keeperSaveLowCentreStart
                          : (z > kz + 120.0f ? keeperSaveHighCentre : keeperSaveCentre);
  } else if (y < ky - 50.0f) {
    dive = z < kz - 50.0f ? keeperSaveLowRight
                          : (z > kz + 50.0f ? keeperSaveHighRight : keeperSaveMidRight);
  } else {
    dive = z < kz - 50.0f ? keeperSaveLowLeft
                          : (z > kz + 50.0f ? keeperSaveHighLeft : keeperSaveMidLeft);
  }
  KeeperQueue(dive, 1, 0);
}

void cfootballgame::CheckKeeperHit() {
  if (!keeperBiped) return;
  const Matrix pose = PlacedZ(kHalfPi, keeperPosition);
  if (keeperBiped->HitTestSphere(kBallRadius, pose, ballPosition) == BipedCollision::kNoHit) return;
  if (!frameSpeechPlaying)
    PlaySpeechIfPresent((RandMod(2) & 1) ? 34 : 33);
  else
    frameSpeechPlaying = 0;
  PlayEffectIfPresent(kSampleKeeperHit);
  for (cDefender* defender : defenders) {
    if (!defender) continue;
    defender->moving = 0;
    defender->PlayReaction(cDefender::kStand);
  }
  ballSpeed *= 0.2f;
  Vector4 v = Unit4(ballVelocity);
  v.x = -v.x;
  ballVelocity = Times(v, ballSpeed);
  heading = HeadingOf(ballVelocity);
  // Out of his volumes, a unit at a time; the bound keeps a volume that grows with the ball
  // (or a pose that follows it) from holding the tick for ever.
  for (int32_t i = 0; i < kMaxPushOutSteps; ++i) {
    if (keeperBiped->HitTestSphere(kBallRadius, pose, ballPosition) == BipedCollision::kNoHit)
      break;
    ballPosition.x += 1.0f;
  }
  phase = kPhaseFlight;
  if (ballVelocity.x > 0.0f) {
    ballState = kBallParried;
  } else {
    const Vector4 u = Unit4(ballVelocity);
    ballState = kBallParried;
    if (woodworkPart == kFrameLeftPost) {
      if (ballVelocity.y < 0.0f) {
        ballState = kBallParriedWide;
        if (u.y > -0.2f) ballVelocity = Times(Vector4(u.x, -0.2f, u.z, u.w), ballSpeed);
      } else if (u.y < 0.2f) {
        ballVelocity = Times(Vector4(u.x, 0.2f, u.z, u.w), ballSpeed);
      }
    } else if (woodworkPart == kFrameRightPost) {
      if (ballVelocity.y > 0.0f) {
        ballState = kBallParriedWide;
        if (u.y < 0.2f) ballVelocity.y = 0.2f * ballSpeed;
      } else if (u.y > -0.2f) {
        ballVelocity.y = -0.2f * ballSpeed;
      }
    }
  }
  if (!keeperAnim) return;
  const int32_t current = keeperAnim->GetCurrentAnimation();
  if (current == keeperSaveCentre) {
    KeeperQueue(keeperCelebrate, 10, 0);
    PlaySpeechIfPresent(kSpeechKeeperCheers);
  } else if (current == keeperSaveLowCentreStart) {
    KeeperQueue(keeperSaveLowCentreEnd, 10, 0);
  }
}
