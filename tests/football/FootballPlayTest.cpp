// The penalty-kick game's play between the kicks, as the player sees and hears it: the intro's
// fly-over and fades, the clock and when it stops, the views of the aim, the save and the goal,
// the keeper's parries, a goal's points by difficulty and the pad's kick button.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "Engine/Camera.h"
#include "Engine/Input.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Game/FootballGame/FootballMath.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Helper/BipedCollision.h"
#include "Game/Helper/InputDevice.h"
#include "Game/Localisation/LocalisedText.h"
#include "tests/football/FootballTestSupport.h"
#include "tests/support/VirtualPad.h"

namespace {

using namespace footballtest;
using G = cfootballgame;
using football::Plus;

float Apart(const Vector4& a, const Vector4& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                   (a.z - b.z) * (a.z - b.z));
}
float PitchFov(const G* game) {
  RenderWindow* pitch = game->PitchWindow();
  return pitch && pitch->GetCamera() ? pitch->GetCamera()->GetHorizontalFov() : -1.0f;
}

class FootballPlayTest : public FootballTest {};

TEST_F(FootballPlayTest, TheIntroFliesOverFadesOutAndUpAndPlayStartsWithAWhistle) {
  G* game = StartFromMenu(kModeNormal, 0);
  ASSERT_NE(game, nullptr);
  std::vector<int32_t> steps{game->introStep};
  Vector4 flyStart, flyEnd;
  bool flying = false;
  int32_t fadeDownDirection = -1, fadeUpDirection = -1;
  float overlayDim = 1.0f;
  ASSERT_TRUE(RunUntil(
      m_harness,
      [&] {
        if (game->introStep != steps.back()) steps.push_back(game->introStep);
        if (game->introStep == G::kIntroFlyOver) {
          if (!flying) flyStart = game->camera.GetPosition();
          flying = true;
          flyEnd = game->camera.GetPosition();
        }
        if (game->introStep == G::kIntroFadeDown) {
          fadeDownDirection = game->m_fadeTimer.m_direction;
          // The overlay dims with the fade.
          overlayDim = std::min(overlayDim, game->OverlayWindow()->GetColourFactors()[0]);
          EXPECT_NEAR(game->OverlayWindow()->GetColourFactors()[0], game->m_fadeTimer.Fraction(),
                      0.05f);
        }
        if (game->introStep == G::kIntroFadeUp) fadeUpDirection = game->m_fadeTimer.m_direction;
        return game->phase == G::kPhaseAim;
      },
      1200));
  const std::vector<int32_t> order{G::kIntroFadeIn, G::kIntroFlyOver, G::kIntroFadeDown,
                                   G::kIntroFadeUp, G::kIntroStartScript};
  EXPECT_EQ(steps, order);
  EXPECT_EQ(fadeDownDirection, 0) << "the fly-over fades out";
  EXPECT_EQ(fadeUpDirection, 1) << "the view behind the ball fades up";
  const float flight = Apart(game->introCamera1, game->introCamera2);
  ASSERT_GT(flight, 10.0f);
  EXPECT_LT(Apart(flyStart, game->introCamera1), flight * 0.02f) << "from the first intro view";
  EXPECT_LT(Apart(flyEnd, game->introCamera2), flight * 0.02f) << "to the second";
  EXPECT_TRUE(Effect(game, 30)) << "the whistle that starts play";
  EXPECT_LT(overlayDim, 0.2f);
  m_harness.RunFrames(2);
  EXPECT_EQ(game->OverlayWindow()->GetColourFactors()[0], 1.0f) << "full colour in play";
  EXPECT_EQ(game->PitchWindow()->GetFlags() & BaseRenderWindow::kSuspended, 0);
  EXPECT_TRUE(GetSoundWrapper()->IsMusicPlaying());
  EXPECT_EQ(game->timeLeft, 240u) << "the intro takes nothing off the clock";
}

// While a kick is being aimed the camera stands behind the ball on the line of the kick.
TEST_F(FootballPlayTest, TheAimViewIsBehindTheBallAlongTheKick) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  for (const int turn : {0, 40}) {
    SCOPED_TRACE(turn);
    if (turn) Hold(m_harness, plat::kDIK_LEFT, turn);
    m_harness.RunFrames(1);
    const Vector4 ball = game->ballPosition;
    const float h = game->heading;
    const Vector4 eye = game->camera.GetPosition(), look = game->camera.GetTarget();
    // The ball goes along (-cos h, -sin h): the eye 500 back from it, the look 500 ahead.
    EXPECT_NEAR(eye.x, ball.x + 500.0f * std::cos(h), 0.5f);
    EXPECT_NEAR(eye.y, ball.y + 500.0f * std::sin(h), 0.5f);
    EXPECT_NEAR(eye.z, 200.0f, 1e-3f);
    EXPECT_NEAR(look.x, ball.x - 500.0f * std::cos(h), 0.5f);
    EXPECT_NEAR(look.y, ball.y - 500.0f * std::sin(h), 0.5f);
    EXPECT_NEAR(look.z, 100.0f, 1e-3f);
    EXPECT_NEAR(PitchFov(game), 0.7853982f, 1e-3f);
  }
  // Turning the aim, the defenders step across towards its line.
  int stepping = 0;
  for (const cDefender* d : game->defenders) stepping += d->moving;
  EXPECT_GT(stepping, 0);
  // The kick's press: the view draws back at once to the run-up's, 1000 behind, 400 aside.
  m_harness.input().SetKey(plat::kDIK_SPACE, true);
  m_harness.RunFrames(1);
  m_harness.input().SetKey(plat::kDIK_SPACE, false);
  ASSERT_EQ(game->phase, G::kPhaseRunUp);
  const Vector4 eye = game->camera.GetPosition();
  const float dx = eye.x - game->ballPosition.x, dy = eye.y - game->ballPosition.y;
  EXPECT_NEAR(std::sqrt(dx * dx + dy * dy), std::sqrt(1000.0f * 1000.0f + 399.3f * 399.3f), 1.0f);
  // In flight the camera follows 800 behind the ball.
  game->phase = G::kPhaseFlight;
  game->ballState = G::kBallWide;
  game->ballPosition = Vector4(800.0f, 100.0f, 10.0f, 1.0f);
  game->ballVelocity = Vector4(-600.0f, 0.0f, 0.0f, 0.0f);
  game->ballSpeed = 600.0f;
  game->cameraHold = 0;
  game->flightTicks = 1;
  game->contactTick = 100000;
  m_harness.RunFrames(1);
  const Vector4 follow = game->camera.GetPosition();
  EXPECT_NEAR(follow.x - game->ballPosition.x, 800.0f, 12.0f);
  EXPECT_NEAR(follow.y, 100.0f, 0.5f);
  EXPECT_NEAR(follow.z, 200.0f, 1e-3f);
  // A ball blocked, knocked back by Clemency or parried is watched from where the camera is.
  for (const int32_t state : {G::kBallDeflected, G::kBallHitClemency, G::kBallParried}) {
    SCOPED_TRACE(state);
    game->ballState = state;
    game->ballPosition = Vector4(800.0f, 100.0f, 10.0f, 1.0f);
    const Vector4 was(5.0f, 5.0f, 5.0f, 1.0f);
    game->camera.SetPosition(was);
    game->UpdateCamera();
    EXPECT_LT(Apart(game->camera.GetPosition(), was), 0.01f);
  }
  // It follows to the edges of the pitch and a little over; beyond, it stays where it was.
  struct Edge {
    float x, y;
    bool follows;
  };
  const float left = game->leftTouchlineY, right = game->rightTouchlineY;
  const float goal = game->goalCentre.x, far = game->farGoalLineX;
  for (const Edge e : {Edge{800.0f, left - 15.0f, true}, Edge{800.0f, left - 25.0f, false},
                       Edge{800.0f, right + 15.0f, true}, Edge{800.0f, right + 25.0f, false},
                       Edge{goal - 15.0f, 0.0f, true}, Edge{goal - 25.0f, 0.0f, false},
                       Edge{far + 15.0f, 0.0f, true}, Edge{far + 25.0f, 0.0f, false}}) {
    SCOPED_TRACE(::testing::Message() << e.x << "," << e.y);
    game->phase = G::kPhaseFlight;
    game->ballState = G::kBallWide;
    game->ballPosition = Vector4(e.x, e.y, 10.0f, 1.0f);
    game->ballVelocity = Vector4(0.0f, 0.0f, 0.0f, 0.0f);
    game->ballSpeed = 0.0f;
    const Vector4 was(5.0f, 5.0f, 5.0f, 1.0f);
    game->camera.SetPosition(was);
    game->UpdateCamera();
    const Vector4 now = game->camera.GetPosition();
    EXPECT_EQ(Apart(now, was) > 1.0f, e.follows);
  }
}

// The clock runs while a kick is aimed, taken and in flight, and stands while a kick is shown,
// celebrated or reset; under ten seconds it counts down aloud.
TEST_F(FootballPlayTest, TheClockStandsWhileAKickIsShownOrResetAndCountsDownAloud) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  struct Case {
    int32_t phase;
    bool runs;
  };
  const Case cases[] = {
      {G::kPhaseAim, true},          {G::kPhaseRunUp, true},        {G::kPhaseFlight, true},
      {G::kPhaseMessage, true},      {G::kPhaseTargetHit, true},    {G::kPhaseTimeUp, false},
      {G::kPhaseCelebration, false}, {G::kPhaseKeeperHolds, false}, {G::kPhaseNextKick, false},
      {G::kPhaseGoalOrbit, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.phase);
    game->phase = c.phase;
    game->timeLeft = 30;
    game->secondTicks = 0;
    for (int second = 1; second <= 2; ++second) {
      for (int i = 0; i < 59; ++i) game->UpdateClock();
      EXPECT_EQ(game->timeLeft, c.runs ? 31u - second : 30u) << "a second is 60 ticks";
      game->UpdateClock();
      EXPECT_EQ(game->timeLeft, c.runs ? 30u - second : 30u);
    }
  }
  game->phase = G::kPhaseAim;
  for (const uint32_t left : {11u, 10u}) {
    Hush();
    game->timeLeft = left;
    game->secondTicks = 0;
    for (int i = 0; i < 60; ++i) game->UpdateClock();
    EXPECT_EQ(Effect(game, 9), left == 10u) << "the countdown from " << left - 1;
  }
}

// When the clock reaches nought: in play it is time up at once; a goal on its way, the goal's
// orbit and celebration and a fade are let finish first.
TEST_F(FootballPlayTest, TimeUpWaitsForAGoalOnItsWay) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  struct Case {
    int32_t phase, ballState;
    bool timeUp;
  };
  const Case cases[] = {
      {G::kPhaseAim, G::kBallNoOutcome, true},        {G::kPhaseRunUp, G::kBallNoOutcome, true},
      {G::kPhaseFlight, G::kBallWide, true},          {G::kPhaseMessage, G::kBallOut, true},
      {G::kPhaseFlight, G::kBallGoalBound, false},    {G::kPhaseNextKick, G::kBallAtRest, false},
      {G::kPhaseGoalOrbit, G::kBallGoalBound, false}, {G::kPhaseCelebration, G::kBallAtRest, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.phase << "/" << c.ballState);
    Hush();
    game->PlayEffectIfPresent(9);
    game->m_ingameText.shown = 0;
    game->timeUpDuringRunUp = 0;
    game->phase = c.phase;
    game->ballState = c.ballState;
    game->timeLeft = 0;
    game->UpdateClock();
    EXPECT_EQ(game->phase, c.timeUp ? G::kPhaseTimeUp : c.phase);
    EXPECT_EQ(Shown(game), c.timeUp ? Text(106) : u"");
    EXPECT_EQ(Effect(game, 32), c.timeUp) << "the whistle";
    EXPECT_EQ(Effect(game, 9), !c.timeUp) << "the countdown stops at the whistle";
    EXPECT_EQ(game->timeUpDuringRunUp, c.phase == G::kPhaseRunUp ? 1 : 0);
  }
}

// A goal: "goal" shows, the net sounds, the count and the score go up by the goal's worth at
// the game's difficulty, and the camera looks on from the celebration's place, close in.
TEST_F(FootballPlayTest, AGoalIsWorthMoreAtEachDifficulty) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  struct Case {
    int32_t level, points;
  };
  for (const Case c : {Case{0, 17000}, Case{1, 20000}, Case{2, 25000}}) {
    SCOPED_TRACE(c.level);
    game->level = c.level;
    game->phase = G::kPhaseFlight;
    game->m_ingameText.shown = 0;
    for (cDefender* d : game->defenders) d->moving = 1;
    Hush();
    const int32_t score = game->GetScore(0);
    const uint32_t goals = game->goals;
    game->StartGoalSequence();
    EXPECT_EQ(game->GetScore(0) - score, c.points);
    EXPECT_EQ(game->goals, goals + 1);
    EXPECT_EQ(game->phase, G::kPhaseCelebration);
    EXPECT_EQ(game->ballState, G::kBallGoalBound);
    EXPECT_EQ(Shown(game), Text(144));
    EXPECT_TRUE(Effect(game, 26));
    EXPECT_NEAR(PitchFov(game), 0.5235988f, 1e-3f);
    EXPECT_LT(Apart(game->camera.GetPosition(), game->celebrateCamera), 0.01f);
    for (const cDefender* d : game->defenders) {
      EXPECT_EQ(d->moving, 0) << "the defenders stop";
      EXPECT_LT(Apart(d->position, d->guardPosition), 0.01f) << "back on their guard points";
    }
  }
  game->level = 0;
  // Dulcie celebrates with one of her lines, then the next kick is set up from the spot with new
  // guard points for the defenders.
  std::vector<Vector4> guards;
  for (const cDefender* d : game->defenders) guards.push_back(d->guardPosition);
  game->wind = Vector4(0.5f, 0.5f, 0.0f, 0.0f);
  bool celebrated = false, cheered = false;
  ASSERT_TRUE(RunUntil(
      m_harness,
      [&] {
        celebrated |= game->dulcieAnim->IsAnimationActive(game->dulcieCelebrate) != 0;
        for (int32_t line = 13; line <= 16; ++line) cheered |= Speech(game, line);
        return game->phase == G::kPhaseAim && !game->m_fadeTimer.IsRunning();
      },
      1500));
  EXPECT_TRUE(celebrated);
  EXPECT_TRUE(cheered);
  EXPECT_LT(Apart(game->ballPosition, game->startPosition), 0.01f);
  EXPECT_LE(std::fabs(game->wind.x), 0.01f) << "a new wind for the new round";
  EXPECT_LE(std::fabs(game->wind.y), 0.01f);
  int moved = 0;
  for (int32_t i = 0; i < kDefenderCount; ++i)
    moved += Apart(game->defenders[i]->guardPosition, guards[i]) > 0.5f;
  EXPECT_GE(moved, 3) << "each round the defenders guard new points";
  EXPECT_NEAR(PitchFov(game), 0.7853982f, 1e-3f) << "back to the aiming view";
}

// A ball over the line on its way: the camera circles the goal once, then the goal is counted.
TEST_F(FootballPlayTest, AGoalBoundBallIsCircledOnceBeforeItCounts) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  Hush();
  game->ballPosition = Vector4(game->goalCentre.x - 20.0f, 0.0f, 5.0f, 1.0f);
  game->StartGoalBoundGoal();
  EXPECT_EQ(game->phase, G::kPhaseGoalOrbit);
  EXPECT_EQ(game->ballPosition.z, 10.0f) << "a ball below the ground is lifted onto it";
  EXPECT_EQ(Shown(game), Text(144));
  EXPECT_TRUE(Effect(game, 26));
  const uint32_t goals = game->goals;
  int ticks = 0;
  while (game->phase == G::kPhaseGoalOrbit && ticks < 400) {
    m_harness.RunFrames(1);
    ++ticks;
    if (game->phase != G::kPhaseGoalOrbit) break;
    const Vector4 eye = game->camera.GetPosition(), look = game->camera.GetTarget();
    const float dx = eye.x - game->goalCentre.x, dy = eye.y - game->goalCentre.y;
    ASSERT_NEAR(std::sqrt(dx * dx + dy * dy), 650.0f, 0.5f) << "tick " << ticks;
    ASSERT_NEAR(eye.z, 260.0f, 1e-3f);
    // Anticlockwise seen from above: 2 degrees a tick.
    const float off =
        std::remainder(std::atan2(dy, dx) - football::kTwoPi * ticks / 180.0f, football::kTwoPi);
    ASSERT_NEAR(off, 0.0f, 0.01f) << "tick " << ticks;
    ASSERT_LT(Apart(look, Vector4(game->goalCentre.x, game->goalCentre.y, 100.0f, 1.0f)), 0.01f);
    ASSERT_EQ(game->goals, goals);
  }
  EXPECT_EQ(ticks, 181) << "once round";
  EXPECT_EQ(game->phase, G::kPhaseCelebration);
  EXPECT_EQ(game->goals, goals + 1);
}

// A save: Dulcie hangs her head, the commentary says so, the camera looks at her from behind the
// spot and wide, and the defenders stand on their guard points.
TEST_F(FootballPlayTest, ASaveIsShownFromBehindTheSpot) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  game->kickSpot = Vector4(1000.0f, 200.0f, 10.0f, 1.0f);
  for (cDefender* d : game->defenders) {
    d->moving = 1;
    d->position = Vector4(0, 0, 0, 1);
  }
  Hush();
  game->phase = G::kPhaseFlight;
  game->StartSave();
  EXPECT_EQ(game->phase, G::kPhaseKeeperHolds);
  EXPECT_TRUE(Speech(game, 12));
  EXPECT_TRUE(game->dulcieAnim->IsAnimationActive(game->dulcieLosing));
  EXPECT_LT(Apart(game->camera.GetPosition(), Vector4(720.0f, 200.0f, 150.0f, 1.0f)), 0.01f);
  EXPECT_LT(Apart(game->camera.GetTarget(), Vector4(1000.0f, 200.0f, 100.0f, 1.0f)), 0.01f);
  EXPECT_NEAR(PitchFov(game), 1.2217305f, 1e-3f);
  for (const cDefender* d : game->defenders) {
    EXPECT_EQ(d->moving, 0);
    EXPECT_LT(Apart(d->position, d->guardPosition), 0.01f);
  }
  // The clock stands through it; the kick is then taken again from the spot.
  const uint32_t left = game->timeLeft;
  bool retakeLine = false;
  ASSERT_TRUE(RunUntil(
      m_harness,
      [&] {
        retakeLine |= Speech(game, 28) || Speech(game, 30);
        return game->phase == G::kPhaseAim && !game->m_fadeTimer.IsRunning();
      },
      1500));
  EXPECT_EQ(game->timeLeft, left);
  EXPECT_TRUE(retakeLine);
  EXPECT_LT(Apart(game->ballPosition, game->kickSpot), 0.01f);
}

// What the keeper does with a ball that meets him: sends it back out at a fifth of its speed,
// or, from a rebound off a post, back in towards the goal and a little away from the post.
TEST_F(FootballPlayTest, TheKeeperParriesTheBallBackOrWideOfThePost) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  const float wellOut = -500.0f / std::sqrt(900.0f * 900.0f + 500.0f * 500.0f);
  struct Case {
    const char* name;
    Vector4 velocity;
    int32_t post;  // the part of the frame the kick met
    int32_t state;
    float across;  // the parried ball's y speed over its speed
  };
  const Case cases[] = {
      {"a kick at him", Vector4(-900, 0, 0, 0), G::kFrameCrossbar, G::kBallParried, 0.0f},
      {"off the left post, outwards", Vector4(900, -100, 0, 0), G::kFrameLeftPost,
       G::kBallParriedWide, -0.2f},
      {"off the left post, inwards", Vector4(900, 100, 0, 0), G::kFrameLeftPost, G::kBallParried,
       0.2f},
      {"off the left post, well out", Vector4(900, -500, 0, 0), G::kFrameLeftPost,
       G::kBallParriedWide, wellOut},
      {"off the right post, outwards", Vector4(900, 100, 0, 0), G::kFrameRightPost,
       G::kBallParriedWide, 0.2f},
      {"off the right post, inwards", Vector4(900, -100, 0, 0), G::kFrameRightPost, G::kBallParried,
       -0.2f},
      {"off the right post, well in", Vector4(900, -500, 0, 0), G::kFrameRightPost, G::kBallParried,
       wellOut},
      // Straight back off a post: he turns it in, away from the post, not out.
      {"straight off the left post", Vector4(900, 0, 0, 0), G::kFrameLeftPost, G::kBallParried,
       0.2f},
      {"straight off the right post", Vector4(900, 0, 0, 0), G::kFrameRightPost, G::kBallParried,
       -0.2f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    game->phase = G::kPhaseFlight;
    game->keeperPosition = game->keeperHome;
    game->keeperAnim->Play(game->keeperStand, 1, 0.0f);
    game->keeperAnim->Update(1.0f);
    game->ballPosition = Plus(game->keeperPosition, Vector4(0, 0, 100.0f, 0));
    game->ballPosition.w = 1.0f;
    game->ballVelocity = c.velocity;
    game->ballSpeed = std::sqrt(c.velocity.x * c.velocity.x + c.velocity.y * c.velocity.y);
    game->woodworkPart = c.post;
    game->frameSpeechPlaying = 0;
    for (cDefender* d : game->defenders) d->moving = 1;
    Hush();
    const Vector4 from = game->ballPosition;
    game->CheckKeeperHit();
    EXPECT_EQ(game->ballState, c.state);
    const float speed = game->ballSpeed;
    EXPECT_NEAR(speed, 0.2f * std::sqrt(c.velocity.x * c.velocity.x + c.velocity.y * c.velocity.y),
                0.01f)
        << "a fifth of its speed";
    EXPECT_EQ(game->ballVelocity.x > 0.0f, c.velocity.x < 0.0f) << "back the way it came";
    EXPECT_NEAR(game->ballVelocity.y, c.across * speed, 0.05f);
    EXPECT_GT(game->ballPosition.x, from.x) << "pushed out of him";
    EXPECT_EQ(game->ballPosition.y, from.y);
    EXPECT_TRUE(Effect(game, 5)) << "the thump";
    EXPECT_TRUE(Speech(game, 33) || Speech(game, 34));
    for (const cDefender* d : game->defenders) EXPECT_EQ(d->moving, 0);
  }
  // In play he stops the kicks he reads as at him or near him, and lets others by.
  for (const int32_t shot : {G::kShotOnTarget, G::kShotNearMiss, G::kShotRestsNearGoal,
                             G::kShotWide, G::kShotFarFromGoal}) {
    SCOPED_TRACE(::testing::Message() << "shot " << shot);
    game->phase = G::kPhaseFlight;
    game->shotClass = shot;
    game->keeperPosition = game->keeperHome;
    game->keeperMoveT = 1.0f;
    game->keeperCommitted = 1;
    game->keeperAnim->Play(game->keeperStand, 1, 0.0f);
    game->ballState = G::kBallGoalBound;
    game->goalPending = 0;
    game->ballPosition = Plus(game->keeperPosition, Vector4(0, 0, 100.0f, 0));
    game->ballPosition.w = 1.0f;
    game->ballVelocity = Vector4(-60.0f, 0, 0, 0);
    game->ballSpeed = 60.0f;
    game->flightTicks = 1;
    game->contactTick = 100000;
    m_harness.RunFrames(1);
    const bool stops = shot != G::kShotWide && shot != G::kShotFarFromGoal;
    EXPECT_EQ(game->ballState == G::kBallParried, stops);
  }
  // A ball that does not reach him is not touched.
  game->ballState = G::kBallGoalBound;
  game->ballPosition = Plus(game->keeperPosition, Vector4(0, 300.0f, 100.0f, 0));
  game->ballVelocity = Vector4(-900, 0, 0, 0);
  game->CheckKeeperHit();
  EXPECT_EQ(game->ballState, G::kBallGoalBound);
  EXPECT_EQ(game->ballVelocity.x, -900.0f);
  // Hit while the frame's line is still being spoken, the keeper's line waits.
  Hush();
  game->frameSpeechPlaying = 1;
  game->keeperPosition = game->keeperHome;
  game->keeperAnim->Play(game->keeperStand, 1, 0.0f);
  game->keeperAnim->Update(1.0f);
  game->ballPosition = Plus(game->keeperPosition, Vector4(0, 0, 100.0f, 0));
  game->ballVelocity = Vector4(-900, 0, 0, 0);
  game->CheckKeeperHit();
  EXPECT_FALSE(Speech(game, 33) || Speech(game, 34));
  EXPECT_EQ(game->frameSpeechPlaying, 0);
  // Saved standing, he cheers at once; saved low, he gets up from it and then cheers.
  struct Save {
    int32_t G::*dive;
    int32_t G::*next;
    bool cheers;
  };
  for (const Save& v : {Save{&G::keeperSaveCentre, &G::keeperCelebrate, true},
                        Save{&G::keeperSaveLowCentreStart, &G::keeperSaveLowCentreEnd, false}}) {
    SCOPED_TRACE(game->*v.dive);
    game->keeperPosition = game->keeperHome;
    game->keeperAnim->Play(game->*v.dive, 0, 0.0f);
    game->keeperAnim->Update(1.0f);
    game->ballPosition = game->keeperPosition;
    game->ballPosition.z = 10.0f;
    game->ballVelocity = Vector4(-900, 0, 0, 0);
    game->ballSpeed = 900.0f;
    Vector4 probe = game->ballPosition;
    const Matrix pose = football::PlacedZ(1.5707964f, game->keeperPosition);
    for (float z = 10.0f; z < 200.0f; z += 5.0f) {
      probe.z = z;
      if (game->keeperBiped->HitTestSphere(G::kBallRadius, pose, probe) != BipedCollision::kNoHit)
        break;
    }
    game->ballPosition = probe;
    Hush();
    game->CheckKeeperHit();
    ASSERT_EQ(game->ballState, G::kBallParried);
    EXPECT_EQ(Speech(game, 3), v.cheers);
    for (int i = 0; i < 30; ++i) game->keeperAnim->Update(1.0f);
    EXPECT_TRUE(game->keeperAnim->IsAnimationActive(game->*v.next));
    for (int i = 0; i < 600 && !game->keeperAnim->IsAnimationActive(game->keeperCelebrate); ++i) {
      game->keeperAnim->Update(1.0f);
      game->KeeperRecovery();
    }
    EXPECT_TRUE(game->keeperAnim->IsAnimationActive(game->keeperCelebrate));
  }
}

// A parried ball that rolls over the line is a goal after all; one parried wide is not.
TEST_F(FootballPlayTest, AParriedBallOverTheLineIsAGoalButNotOneParriedWide) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  for (const int32_t state : {G::kBallParried, G::kBallParriedWide}) {
    SCOPED_TRACE(state);
    ASSERT_TRUE(RunUntil(
        m_harness, [&] { return game->phase == G::kPhaseAim && !game->m_fadeTimer.IsRunning(); },
        1500));
    const uint32_t goals = game->goals;
    game->phase = G::kPhaseFlight;
    game->ballState = state;
    game->shotClass = G::kShotWide;
    game->ballPosition = Vector4(game->goalCentre.x + 5.0f, 50.0f, 10.0f, 1.0f);
    game->ballVelocity = Vector4(-1200.0f, 0.0f, 0.0f, 0.0f);
    game->ballSpin = Vector4(0, 0, 0, 0);
    game->ballSpeed = 1200.0f;
    game->flightTicks = 1;
    game->contactTick = 1;
    // He went down to his left for it: he gets up as the ball rolls on.
    game->keeperAnim->Play(game->keeperSaveLowLeft, 0, 0.0f);
    for (int i = 0; i < 600 && !game->keeperAnim->IsAnimationFinished(game->keeperSaveLowLeft); ++i)
      game->keeperAnim->Update(1.0f);
    bool saved = false, gotUp = false;
    int ticks = 0;
    ASSERT_TRUE(RunUntil(
        m_harness,
        [&] {
          saved |= game->phase == G::kPhaseKeeperHolds;
          gotUp |= game->keeperAnim->IsAnimationActive(game->keeperGetUpLeft) != 0;
          ++ticks;
          return game->phase != G::kPhaseFlight;
        },
        600));
    EXPECT_TRUE(gotUp);
    const bool goal = state == G::kBallParried;
    if (!goal) {
      EXPECT_GE(ticks, 240) << "a ball still rolling is given four seconds before he gathers it";
    }
    EXPECT_EQ(game->goals, goals + (goal ? 1 : 0));
    EXPECT_EQ(game->phase, goal ? G::kPhaseCelebration : G::kPhaseKeeperHolds);
  }
}

// The pad, as a player's machine presents it and as the program maps it: the stick and the hat
// steer, its four buttons read as the game's kick, W, Q and E, and the first kicks.
class FootballPadTest : public FootballTest {
 protected:
  void BeforeStart() override {
    m_harness.input().UseSystemPads(true);
    ASSERT_TRUE(m_pad.Attached());
  }
  VirtualPad m_pad;
};

TEST_F(FootballPadTest, ThePadSteersAndItsFirstButtonKicks) {
  G* game = StartFromMenu(kModeNormal, 0);
  ASSERT_NE(game, nullptr);
  ASSERT_TRUE(PlayIntro(game));
  struct Steer {
    const char* what;
    std::function<void(bool)> set;
    float turn;    // heading change over 10 ticks
    float height;  // aim height change over 10 ticks
  };
  const Steer steers[] = {
      {"stick left", m_pad.Stick(0, -30000), 0.1f, 0.0f},
      {"hat right", m_pad.Hat(VirtualPad::kHatRight), -0.1f, 0.0f},
      {"stick up", m_pad.Stick(1, -30000), 0.0f, 0.1f},
      {"hat down", m_pad.Hat(VirtualPad::kHatDown), 0.0f, -0.1f},
  };
  for (const Steer& s : steers) {
    SCOPED_TRACE(s.what);
    const float heading = game->heading, height = game->aim.y;
    s.set(true);
    m_harness.RunFrames(10);
    s.set(false);
    m_harness.RunFrames(1);
    // One tick of the ten may go by before the first poll reads the stick.
    EXPECT_NEAR(std::remainder(game->heading - heading, 6.2831855f), s.turn, 0.011f);
    EXPECT_NEAR(game->aim.y - height, s.height, 0.011f);
  }
  const uint32_t remapped = kInputAction | kInputButtonW | kInputButtonQ | kInputButtonE;
  const uint32_t reads[4] = {kInputAction, kInputButtonE, kInputButtonW, kInputButtonQ};
  for (int button = 3; button >= 0; --button) {
    SCOPED_TRACE(button);
    const int32_t phase = game->phase;
    m_pad.SetButton(button, true);
    m_harness.RunFrames(1);
    EXPECT_EQ(GetInputDevice()->LocalHeld() & remapped, reads[button]);
    m_pad.SetButton(button, false);
    m_harness.RunFrames(1);
    if (button == 0) {
      EXPECT_EQ(phase, G::kPhaseAim);
      EXPECT_EQ(game->phase, G::kPhaseRunUp) << "the kick's run-up starts";
    }
  }
}

}  // namespace

namespace {

// A new game: the ball on the spot, the keeper at home in front of the goal, every target lit,
// Clemency beside the right touchline level with the ball, the power bar empty; Orwen rides
// out after 500 ticks.
TEST_F(FootballPlayTest, ANewGameStartsFromTheSpotAndOrwenComesLater) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  EXPECT_LT(Apart(game->ballPosition, game->startPosition), 0.01f);
  EXPECT_LT(Apart(game->keeperPosition,
                  Vector4(game->goalCentre.x + 35.0f, game->goalCentre.y, 0.0f, 1.0f)),
            0.01f);
  for (int32_t lit : game->targetLit) EXPECT_EQ(lit, 1);
  EXPECT_LT(Apart(game->clemencyPosition,
                  Vector4(game->startPosition.x, game->rightTouchlineY + 350.0f, 10.0f, 1.0f)),
            0.01f);
  EXPECT_EQ(game->powerBar, 300.0f);
  EXPECT_EQ(game->goals, 0u);
  EXPECT_EQ(game->heading, 0.0f);
  for (const cDefender* d : game->defenders) {
    EXPECT_LT(Apart(d->position, d->guardPosition), 0.01f);
    EXPECT_EQ(d->bonusFlag, 1);
  }
  // The pitch is seen from near to far; the overlay's wind arrow from its own fixed camera.
  const Camera* pitch = game->PitchWindow()->GetCamera();
  EXPECT_EQ(pitch->GetNear(), 10.0f);
  EXPECT_EQ(pitch->GetFar(), 50000.0f);
  EXPECT_EQ(pitch->GetUp().z, 1.0f);
  const Camera* overlay = game->OverlayWindow()->GetCamera();
  EXPECT_LT(Apart(overlay->GetEye(), Vector4(0.0f, -1000.0f, 500.0f, 1.0f)), 0.01f);
  EXPECT_LT(Apart(overlay->GetTarget(), Vector4(0.0f, 0.0f, 0.0f, 1.0f)), 0.01f);
  EXPECT_EQ(overlay->GetNear(), 100.0f);
  EXPECT_EQ(overlay->GetFar(), 2000.0f);
  EXPECT_NEAR(overlay->GetHorizontalFov(), 0.7853982f, 1e-3f);
  EXPECT_EQ(game->orwenActive, 0);
  const int32_t delay = game->orwenDelay;
  EXPECT_GT(delay, 480) << "counted from the start of play";
  int ticks = 0;
  while (!game->orwenActive && ticks < 2000) {
    m_harness.RunFrames(1);
    ++ticks;
  }
  EXPECT_EQ(ticks, delay);
  EXPECT_TRUE(game->orwenAnim->IsAnimationActive(game->orwenCycle));
  EXPECT_TRUE(game->bikeAnim->IsAnimationActive(game->bikeCycle));
}

// The keeper walks along his line towards where the ball will cross it, 3 a tick, no further
// out than 350 for a wide kick and 300 for a near miss; for a ball that will stop near him, to
// where it stops; he steps the way he goes.
TEST_F(FootballPlayTest, TheKeeperWalksTowardsTheKickAtHisPace) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  const Vector4 home = game->keeperHome;
  struct Case {
    int32_t shotClass;
    float planeY;
    float toY;
  };
  const Case cases[] = {
      {G::kShotWide, 500.0f, 350.0f},
      {G::kShotWide, -500.0f, -350.0f},
      {G::kShotNearMiss, 500.0f, 300.0f},
      {G::kShotNearMiss, -200.0f, -200.0f},
      {G::kShotOnTarget, 320.0f, 320.0f},
      {G::kShotOnTarget, -320.0f, -320.0f},
      {G::kShotRestsNearGoal, 150.0f, 150.0f},
      {G::kShotOnTarget, 0.0f, 0.0f},  // straight at him: he stays where he is
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.shotClass << " " << c.planeY);
    game->keeperPosition = home;
    game->keeperAnim->Play(game->keeperStand, 1, 0.0f);
    game->shotClass = c.shotClass;
    game->keeperPlanePoint = Vector4(home.x, c.planeY, 100.0f, 1.0f);
    game->restingSpot = Vector4(home.x, c.planeY, 10.0f, 1.0f);
    game->keeperMoveT = 0.7f;
    game->PlanKeeperMove();
    EXPECT_EQ(game->keeperCommitted, 0);
    EXPECT_NEAR(game->keeperTarget.y, c.toY, 1e-3f);
    EXPECT_EQ(game->keeperTarget.x, home.x);
    game->keeperAnim->Update(1.0f);
    if (c.shotClass != G::kShotRestsNearGoal) {
      EXPECT_EQ(game->keeperAnim->GetCurrentAnimation(), c.toY < home.y   ? game->keeperStepLeft
                                                         : c.toY > home.y ? game->keeperStepRight
                                                                          : game->keeperStand);
    }
    game->KeeperWalk();
    EXPECT_NEAR(game->keeperPosition.y - home.y, c.toY > 0 ? 3.0f : (c.toY < 0 ? -3.0f : 0.0f),
                1e-3f)
        << "a walk starts from home, 3 a tick";
  }
  // A ball that will stop near him: once there he crouches for it as it slows.
  game->keeperPosition = home;
  game->shotClass = G::kShotRestsNearGoal;
  game->restingSpot = Vector4(home.x, 12.0f, 10.0f, 1.0f);
  game->PlanKeeperMove();
  game->ballSpeed = 200.0f;
  for (int i = 0; i < 10; ++i) game->UpdateKeeper();
  game->keeperAnim->Update(1.0f);
  EXPECT_FALSE(game->keeperAnim->IsAnimationActive(game->keeperSaveLowCentreStart));
  game->ballSpeed = 20.0f;
  game->UpdateKeeper();
  game->keeperAnim->Update(1.0f);
  EXPECT_TRUE(game->keeperAnim->IsAnimationActive(game->keeperSaveLowCentreStart));
  EXPECT_EQ(game->keeperMoveT, 0.0f);
  // A wide kick: he walks to his mark and stands down.
  game->keeperPosition = home;
  game->shotClass = G::kShotWide;
  game->keeperPlanePoint = Vector4(home.x, 30.0f, 100.0f, 1.0f);
  game->PlanKeeperMove();
  int ticks = 0;
  while (game->shotClass == G::kShotWide && ticks < 100) {
    game->UpdateKeeper();
    ++ticks;
  }
  EXPECT_EQ(ticks, 10);
  EXPECT_NEAR(game->keeperPosition.y, 30.0f, 1e-3f);
  EXPECT_EQ(game->shotClass, G::kShotFarFromGoal);
}

// How the next kick is set up after each ending: from the spot again or from where the ball
// lies, with what the commentary says, the keeper home, Orwen sent off after a hit.
TEST_F(FootballPlayTest, TheNextKickIsTakenAgainOrFromWhereTheBallLies) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  struct Case {
    const char* name;
    int32_t retake, ballState, shotClass;
    uint32_t timeLeft;
    std::vector<int32_t> lines;  // one of these is said; none for an empty list
    bool fromSpot;
  };
  const Case cases[] = {
      {"off the frame", 1, G::kBallAtRest, G::kShotOnTarget, 100, {29}, true},
      {"a near miss", 1, G::kBallWide, G::kShotNearMiss, 100, {29}, true},
      {"out", 1, G::kBallOut, G::kShotWide, 100, {28, 30}, true},
      {"Orwen down", 1, G::kBallHitOrwen, G::kShotFarFromGoal, 100, {}, true},
      {"out at the whistle", 1, G::kBallOut, G::kShotWide, 0, {}, true},
      {"at rest in play", 0, G::kBallAtRest, G::kShotFarFromGoal, 100, {}, false},
  };
  const Vector4 lies(900.0f, 300.0f, 10.0f, 1.0f);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(RunUntil(
        m_harness, [&] { return game->phase == G::kPhaseAim && !game->m_fadeTimer.IsRunning(); },
        1500));
    game->kickSpot = Vector4(1000.0f, -100.0f, 10.0f, 1.0f);
    game->savedHeading = 0.25f;
    game->savedAim = Vector4(0.0f, 0.3f, 0.25f, 0.0f);
    game->ballPosition = lies;
    game->ballVelocity = Vector4(-300.0f, 0.0f, 0.0f, 0.0f);
    game->ballState = c.ballState;
    game->shotClass = c.shotClass;
    game->timeLeft = c.timeLeft;
    game->keeperPosition = Plus(game->keeperHome, Vector4(0, 120.0f, 0, 0));
    game->keeperAnim->Play(game->keeperSaveLowLeft, 0, 0.0f);
    game->cameraHold = 1;
    if (c.ballState == G::kBallHitOrwen) {
      game->orwenActive = 1;
    } else {
      game->orwenActive = 0;
      game->orwenDelay = 5000;
    }
    for (int32_t i = 0; i < kDefenderCount; ++i) {
      game->defenders[i]->savedPosition =
          Vector4(1500.0f + 10.0f * static_cast<float>(i), 300.0f, 0.0f, 1.0f);
    }
    game->wind = Vector4(0.5f, 0.5f, 0.0f, 0.0f);
    game->FadeDownToNextKick(c.retake);
    std::vector<int32_t> heard;
    Hush();
    RunUntil(
        m_harness,
        [&] {
          for (int32_t line : {28, 29, 30})
            if (Speech(game, line)) heard.push_back(line);
          return game->phase != G::kPhaseNextKick;
        },
        400);
    ASSERT_TRUE(game->phase == G::kPhaseAim || game->phase == G::kPhaseTimeUp) << game->phase;
    if (c.lines.empty()) {
      EXPECT_TRUE(heard.empty());
    } else {
      ASSERT_FALSE(heard.empty());
      EXPECT_NE(std::find(c.lines.begin(), c.lines.end(), heard.front()), c.lines.end());
    }
    if (c.fromSpot) {
      for (const cDefender* d : game->defenders) {
        EXPECT_LT(Apart(d->position, d->savedPosition), 0.01f) << "back where they stood for it";
      }
      EXPECT_LT(Apart(game->ballPosition, game->kickSpot), 0.01f);
      EXPECT_NEAR(game->heading, 0.25f, 1e-5f) << "aimed as before";
      EXPECT_NEAR(game->aim.y, 0.3f, 1e-5f);
      EXPECT_NEAR(game->ballVelocity.z, 0.6f, 1e-5f);
    } else {
      EXPECT_LT(Apart(game->ballPosition, lies), 0.01f);
      EXPECT_LE(std::fabs(game->wind.x), 0.01f) << "a new wind for a kick from where it lies";
    }
    EXPECT_NEAR(game->ballVelocity.x, -std::cos(game->heading), 1e-4f);
    EXPECT_LT(Apart(game->keeperPosition, game->keeperHome), 0.01f) << "the keeper back home";
    EXPECT_TRUE(game->keeperAnim->IsAnimationActive(game->keeperStand));
    EXPECT_EQ(game->cameraHold, 0);
    EXPECT_EQ(game->shotClass, G::kShotFarFromGoal);
    EXPECT_NEAR(game->clemencyPosition.x, game->ballPosition.x, 0.01f) << "Clemency level with it";
    EXPECT_NEAR(game->clemencyPosition.y, game->rightTouchlineY + 350.0f, 0.01f);
    if (c.ballState != G::kBallHitOrwen) {
      // Everyone stands still while the view fades down, and moves on as it fades up.
      EXPECT_NEAR(5000 - game->orwenDelay, 60, 3);
    }
    if (c.ballState == G::kBallHitOrwen) {
      EXPECT_EQ(game->orwenActive, 0);
      EXPECT_GE(game->orwenDelay, 500 - 70) << "500 or more, less the fade-up's ticks";
      EXPECT_LE(game->orwenDelay, 999);
    }
    game->timeLeft = 100;
    game->phase = G::kPhaseAim;
    game->m_ingameText.shown = 0;
  }
}

}  // namespace

namespace {

// One tick of a live ball, by what the kick was predicted to do: the goal's orbit once it is
// over the line, a save once a ball at goal slows or runs late, out once a wide ball stops, the
// frame met on its tick.
TEST_F(FootballPlayTest, ALiveBallEndsByWhatItWasPredictedToDo) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  const float goalX = game->goalCentre.x;
  struct Case {
    const char* name;
    int32_t state, shotClass, pending;
    float x, speed;
    uint32_t ticksPastContact;  // flightTicks - contactTick before the tick
    int32_t phase;              // after the tick
  };
  const Case cases[] = {
      {"over the line", G::kBallGoalBound, G::kShotOnTarget, 1, goalX - 15, 600, 0,
       G::kPhaseGoalOrbit},
      {"over the line, already counted", G::kBallGoalBound, G::kShotOnTarget, 0, goalX - 15, 600, 0,
       G::kPhaseFlight},
      {"slowed at goal", G::kBallGoalBound, G::kShotOnTarget, 1, 400, 5, 0, G::kPhaseKeeperHolds},
      {"slowed, near miss", G::kBallGoalBound, G::kShotNearMiss, 1, 400, 5, 0,
       G::kPhaseKeeperHolds},
      {"slowed, wide", G::kBallGoalBound, G::kShotWide, 1, 400, 5, 0, G::kPhaseFlight},
      {"late at goal", G::kBallGoalBound, G::kShotOnTarget, 1, 400, 600, 21, G::kPhaseKeeperHolds},
      {"not yet late", G::kBallGoalBound, G::kShotOnTarget, 1, 400, 600, 19, G::kPhaseFlight},
      {"wide and stopping", G::kBallWide, G::kShotWide, 1, 400, 5, 0, G::kPhaseMessage},
      {"wide and rolling", G::kBallWide, G::kShotWide, 1, 400, 600, 0, G::kPhaseFlight},
      // A ball the prediction had come to rest: where it stops decides.
      {"stops in play", G::kBallAtRest, G::kShotFarFromGoal, 1, 1500, 5, 0, G::kPhaseNextKick},
      {"stops near the goal", G::kBallAtRest, G::kShotFarFromGoal, 1, 400, 5, 0, G::kPhaseMessage},
      {"still rolling", G::kBallAtRest, G::kShotFarFromGoal, 1, 1500, 600, 0, G::kPhaseFlight},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(RunUntil(
        m_harness, [&] { return game->phase == G::kPhaseAim && !game->m_fadeTimer.IsRunning(); },
        1500));
    game->phase = G::kPhaseFlight;
    game->ballState = c.state;
    game->shotClass = c.shotClass;
    game->goalPending = c.pending;
    game->ballPosition = Vector4(c.x, 200.0f, 10.0f, 1.0f);
    game->ballVelocity = Vector4(-c.speed, 0.0f, 0.0f, 0.0f);
    game->ballSpin = Vector4(0, 0, 0, 0);
    game->ballSpeed = c.speed;
    game->contactTick = 50;
    game->flightTicks = 50 + c.ticksPastContact;
    game->keeperCommitted = 1;
    game->m_ingameText.shown = 0;
    m_harness.RunFrames(1);
    EXPECT_EQ(game->phase, c.phase);
    if (c.phase == G::kPhaseMessage) {
      EXPECT_EQ(Shown(game), Text(c.state == G::kBallAtRest ? 148 : 145));
    }
    if (c.phase == G::kPhaseNextKick) {
      EXPECT_EQ(game->retakeFromSpot, 0) << "the next kick from where it stopped";
    }
    game->m_ingameText.shown = 0;
    if (game->phase == G::kPhaseFlight || game->phase == G::kPhaseGoalOrbit) {
      game->phase = G::kPhaseMessage;
    }
  }
  // The frame, met on the tick the prediction gave: it rings, and the camera holds on the ball.
  ASSERT_TRUE(RunUntil(
      m_harness, [&] { return game->phase == G::kPhaseAim && !game->m_fadeTimer.IsRunning(); },
      1500));
  game->phase = G::kPhaseFlight;
  game->ballState = G::kBallWoodwork;
  game->woodworkPart = G::kFrameCrossbar;
  game->goalCrossing = Vector4(goalX, 0.0f, game->crossbarZ, 1.0f);
  game->ballPosition = Vector4(goalX + 20.0f, 0.0f, game->crossbarZ, 1.0f);
  game->ballVelocity = Vector4(-900.0f, 0.0f, 0.0f, 0.0f);
  game->ballSpeed = 900.0f;
  game->cameraHold = 0;
  game->contactTick = 50;
  game->flightTicks = 49;
  Hush();
  m_harness.RunFrames(1);
  EXPECT_EQ(game->cameraHold, 1);
  EXPECT_TRUE(Effect(game, 15)) << "the frame rings";
  EXPECT_TRUE(Speech(game, 35));
  EXPECT_GT(game->ballVelocity.x, 0.0f) << "back off the bar";
  // The camera stays put and watches the ball come back.
  const Vector4 eye = game->camera.GetPosition(), ball = game->ballPosition;
  m_harness.RunFrames(1);
  EXPECT_LT(Apart(game->camera.GetTarget(), ball), 0.01f);
  EXPECT_LT(Apart(game->camera.GetPosition(), eye), 0.01f);
}

// Orwen is knocked off his bicycle by a ball that reaches him with some pace, once.
TEST_F(FootballPlayTest, OrwenIsKnockedOffByABallWithPaceOnce) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  game->orwenDelay = 1;
  m_harness.RunFrames(2);
  ASSERT_EQ(game->orwenActive, 1);
  game->orwenStep = 0.0f;  // he waits where he is for the ball
  struct Case {
    float speed;
    int32_t state;
    bool knocked;
  };
  const Case cases[] = {{900.0f, G::kBallWide, true},
                        {50.0f, G::kBallWide, false},
                        {900.0f, G::kBallHitOrwen, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.speed);
    const int32_t score = game->GetScore(0);
    game->phase = G::kPhaseFlight;
    game->ballState = c.state;
    game->ballPosition = game->orwenPosition;
    game->ballPosition.z = 60.0f;
    game->ballVelocity = Vector4(0.0f, c.speed, 0.0f, 0.0f);
    game->ballSpin = Vector4(0, 0, 0, 0);
    game->ballSpeed = c.speed;
    game->flightTicks = 1;
    game->contactTick = 100000;
    game->orwenAnim->Play(game->orwenCycle, 1, 0.0f);
    Hush();
    m_harness.RunFrames(1);
    EXPECT_EQ(game->GetScore(0) - score, c.knocked ? 20000 : 0);
    EXPECT_EQ(game->orwenAnim->IsAnimationActive(game->orwenHitFall) != 0, c.knocked);
    EXPECT_EQ(Effect(game, 10), c.knocked);
  }
}

}  // namespace
