// The pitch camera: behind the ball along its line of travel, at a distance that depends on the
// play phase, and the held looks of the end-of-round views.
#include "Game/FootballGame/FootballGame.h"
#include "Game/FootballGame/FootballMath.h"

using namespace football;

bool cfootballgame::InsidePitchBox(float margin) const {
  return leftTouchlineY - margin <= ballPosition.y && ballPosition.y <= rightTouchlineY + margin &&
         goalCentre.x - margin < ballPosition.x && ballPosition.x < farGoalLineX + margin;
}

bool cfootballgame::BehindBallView(float distance, float side, float margin) {
  if (!InsidePitchBox(margin)) return false;
  const float bearing = Atan2(ballVelocity.y, ballVelocity.x) - kPi;
  cameraEye = Plus(ballPosition, TurnedZ(bearing, distance, side));
  cameraEye.w = ballPosition.w;
  // The look point is the eye mirrored through the ball.
  cameraLook = Plus(ballPosition, Minus(ballPosition, cameraEye));
  cameraEye.z = 200.0f;
  cameraLook.z = 100.0f;
  ApplyCameraView();
  return true;
}

void cfootballgame::ApplyCameraView() {
  camera.SetPosition(cameraEye);
  camera.SetTarget(cameraLook);
}

void cfootballgame::UpdateCamera() {
  switch (phase) {
    case kPhaseIntro:
      if (introStep == kIntroFadeUp) BehindBallView(500.0f, 0.0f, 10.0f);
      return;
    case kPhaseAim:
      BehindBallView(500.0f, 0.0f, 10.0f);
      return;
    case kPhaseRunUp: {
      runUpCameraSide -= 0.7f;
      const float distance = runUp * 250.0f + (1.0f - runUp) * 1000.0f;
      if (!BehindBallView(distance, runUpCameraSide, 10.0f)) ApplyCameraView();
      return;
    }
    case kPhaseFlight:
      if (ballState == kBallDeflected || ballState == kBallHitClemency || ballState == kBallParried)
        return;
      if (!InsidePitchBox(20.0f)) return;
      if (cameraHold)
        camera.SetTarget(ballPosition);
      else
        BehindBallView(800.0f, 0.0f, 20.0f);
      return;
    case kPhaseGoalOrbit:
    case kPhaseNextKick:
      return;
    case kPhaseCelebration: {
      camera.SetPosition(cameraEye);
      Vector4 look = celebrationLook;
      look.z = 100.0f;
      camera.SetTarget(look);
      return;
    }
    case kPhaseKeeperHolds:
      camera.SetPosition(cameraEye);
      camera.SetTarget(celebrationLook);
      return;
    default:
      if (!BehindBallView(800.0f, 0.0f, 10.0f)) ApplyCameraView();
      return;
  }
}
