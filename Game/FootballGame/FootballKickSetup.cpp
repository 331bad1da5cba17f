// Setting up a kick: the ball on the spot with a fresh wind, Dulcie's run-up line, which
// defenders hide the view or stand far off, and the legs of Orwen's path.
#include "Engine/Random.h"
#include "Game/FootballGame/FootballGame.h"
#include "Game/FootballGame/FootballMath.h"

using namespace football;

namespace {
constexpr float kClemencyBeyondTouchline = 350.0f;
constexpr float kViewBlockingCosine = 0.3f;
constexpr float kFarFromBallSq = 200000.0f;

// seed mod 100 - 50, scaled: -0.01 .. 0.0098.
float WindComponent() { return (static_cast<float>(RandMod(100)) - 50.0f) * 0.0002f; }
}  // namespace

void cfootballgame::StartNewRound() {
  ballPosition = startPosition;
  clemencyPosition = ballPosition;
  clemencyPosition.y = rightTouchlineY + kClemencyBeyondTouchline;
  heading = 0.0f;
  ballVelocity.x = -Cos(0.0f);
  ballVelocity.y = -Sin(0.0f);
  ballVelocity.z = 0.0f;
  aim = Vector4(0.0f, 0.0f, 0.0f, 0.0f);
  ballState = kBallNoOutcome;
  DrawWind();
  phase = kPhaseAim;
}

void cfootballgame::DrawWind() {
  wind.x = WindComponent();
  wind.y = WindComponent();
  wind.z = 0.0f;
  wind.w = 0.0f;
  windStrength = SqrtOrZero(wind.x * wind.x + wind.y * wind.y) / maxWind;
}

void cfootballgame::PrepareRunUp() {
  const float bearing = Atan2(ballVelocity.y, ballVelocity.x) - kPi;
  clemencyVisible = 1;
  if (ballPosition.y > 650.0f && bearing > -5.7f && bearing < -5.0f) clemencyVisible = 0;
  runUpStart = Plus(ballPosition, TurnedZ(bearing, 300.0f, -15.0f));
  runUpEnd = Plus(ballPosition, TurnedZ(bearing, 60.0f, -20.0f));
  runUpStart.w = runUpEnd.w = ballPosition.w;
  runUpHeading = Atan2(ballVelocity.y, ballVelocity.x) + kHalfPi;
  UpdateViewBlocking();
  UpdateFarFlags();
}

void cfootballgame::UpdateViewBlocking() {
  const Vector4 d = Unit3(Minus(ballPosition, runUpStart));
  for (cDefender* defender : defenders) {
    if (!defender) continue;
    const Vector4 e = Unit3(Minus(ballPosition, defender->position));
    defender->blocksView = Dot3Of(d, e) > kViewBlockingCosine ? 1 : 0;
  }
}

void cfootballgame::UpdateFarFlags() {
  for (cDefender* defender : defenders)
    if (defender)
      defender->farFromBall =
          DistanceSq4(ballPosition, defender->position) >= kFarFromBallSq ? 1 : 0;
}

void cfootballgame::ComputeOrwenPath() {
  for (int32_t i = 0; i < kOrwenPathPoints - 1; ++i)
    orwenSegmentLength[i] = Distance4(orwenPath[i], orwenPath[i + 1]);
}
