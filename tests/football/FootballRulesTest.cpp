// The numbers the penalty-kick game pins, on a game loaded through the menu on the demo data:
// the kick's speed, the predicted flight against the live one, the frame and its rebounds, a
// ball at rest, the keeper's dive by difficulty, the defenders' rules, the locators, Orwen's
// ride and the state hash.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "Engine/Random.h"
#include "Game/FootballGame/FootballMath.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Helper/BipedCollision.h"
#include "Game/Localisation/LocalisedText.h"
#include "tests/football/FootballTestSupport.h"

namespace {

using namespace footballtest;
using G = cfootballgame;

class FootballRulesTest : public FootballTest {
 protected:
  G* Loaded(int32_t level = 0) {
    G* game = StartFromMenu(kModeNormal, level);
    EXPECT_NE(game, nullptr);
    if (game) {
      EXPECT_TRUE(PlayIntro(game));
    }
    return game;
  }
  // A ball in the air at `at` going at `velocity`, no drift; prediction runs as at a kick.
  static void Launch(G* game, const Vector4& at, const Vector4& velocity) {
    game->phase = G::kPhaseRunUp;
    game->ballPosition = at;
    game->ballVelocity = velocity;
    game->ballSpin = Vector4(0, 0, 0, 0);
    game->ballSpeed =
        std::sqrt(velocity.x * velocity.x + velocity.y * velocity.y + velocity.z * velocity.z);
  }
};

TEST_F(FootballRulesTest, TheKickSpeedFollowsThePowerBar) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  struct Case {
    float bar;
    float speed;
  };
  for (const Case c : {Case{300, 70}, Case{100, 1470}, Case{200, 770}}) {
    game->phase = G::kPhaseRunUp;
    game->powerBar = c.bar;
    game->ballVelocity = Vector4(-1, 0, 0, 0);
    game->Kick();
    EXPECT_FLOAT_EQ(game->kickSpeed, c.speed) << "bar " << c.bar;
    EXPECT_EQ(game->powerBar, 300.0f);
    EXPECT_EQ(game->phase, G::kPhaseFlight);
    const Vector4& v = game->ballVelocity;
    EXPECT_NEAR(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z), c.speed, c.speed * 1e-5f);
    EXPECT_EQ(game->keeperCommitted, 0) << "the keeper plans afresh for each kick";
    EXPECT_EQ(game->keeperDiveStarted, 0);
    EXPECT_EQ(game->keeperMoveT, 0.0f);
    game->keeperCommitted = game->keeperDiveStarted = 1;
    game->keeperMoveT = 1.0f;
    game->ballPosition = game->startPosition;
  }
}

TEST_F(FootballRulesTest, AimingTurnsAndLiftsTheKickAndWrapsTheHeading) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  Hold(m_harness, plat::kDIK_UP, 30);
  EXPECT_NEAR(game->aim.y, 0.30f, 1e-4f);
  EXPECT_NEAR(game->ballVelocity.z, 0.60f, 1e-4f);
  Hold(m_harness, plat::kDIK_RIGHT, 3);
  EXPECT_NEAR(game->heading, 6.2831855f - 0.03f, 1e-4f) << "below 0 wraps by a turn";
  Hold(m_harness, plat::kDIK_LEFT, 5);
  EXPECT_NEAR(game->heading, 0.02f, 1e-4f);
  m_harness.input().SetKey(plat::kDIK_LEFT, true);
  m_harness.input().SetKey(plat::kDIK_RIGHT, true);
  const float before = game->heading;
  m_harness.RunFrames(10);
  m_harness.input().SetKey(plat::kDIK_LEFT, false);
  m_harness.input().SetKey(plat::kDIK_RIGHT, false);
  EXPECT_NEAR(game->heading, before, 1e-5f) << "left and right cancel within the tick";
  EXPECT_FLOAT_EQ(game->ballVelocity.x, -std::cos(game->heading));
}

TEST_F(FootballRulesTest, ThePredictedFlightIsTheLiveFlightTickForTick) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  Hold(m_harness, plat::kDIK_UP, 15);
  Tap(m_harness, plat::kDIK_SPACE);
  for (int i = 0; i < 25; ++i) Tap(m_harness, plat::kDIK_SPACE);
  ASSERT_TRUE(RunUntil(
      m_harness, [&] { return game->phase == G::kPhaseFlight; }, 200));
  ASSERT_EQ(game->flightTicks, 0u) << "the kick's tick ran no flight step";
  // The prediction again, from the kick's state, through the same step.
  const Vector4 p0 = game->ballPosition, v0 = game->ballVelocity, s0 = game->ballSpin;
  const float roll0 = game->ballRoll, speed0 = game->ballSpeed;
  game->phase = G::kPhaseRunUp;
  std::vector<Vector4> predicted;
  for (uint32_t i = 0; i < game->contactTick; ++i) {
    game->StepBall();
    predicted.push_back(game->ballPosition);
  }
  game->phase = G::kPhaseFlight;
  game->ballPosition = p0, game->ballVelocity = v0, game->ballSpin = s0, game->ballRoll = roll0,
  game->ballSpeed = speed0;
  const int32_t outcome = game->ballState;
  const uint32_t contact = game->contactTick;
  ASSERT_GT(contact, 5u);
  size_t compared = 0;
  while (game->phase == G::kPhaseFlight && game->ballState == outcome &&
         game->flightTicks < contact) {
    const uint32_t before = game->flightTicks;
    m_harness.RunFrames(1);
    ASSERT_EQ(game->flightTicks, before + 1) << "one step a tick";
    if (game->ballState != outcome || game->phase != G::kPhaseFlight) break;
    const Vector4& live = game->ballPosition;
    const Vector4& want = predicted[game->flightTicks - 1];
    ASSERT_TRUE(std::memcmp(&live, &want, sizeof(Vector4)) == 0) << "tick " << game->flightTicks;
    ++compared;
  }
  EXPECT_GT(compared, 5u);
}

TEST_F(FootballRulesTest, TheFrameIsMetWhereItStandsAndTheBallRebounds) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  struct Case {
    const char* name;
    float y, z;  // where the ball would cross the goal plane
    int32_t part;
    int32_t after;  // ball state after the rebound
  };
  const Case cases[] = {
      {"left post", -366, 100, G::kFrameLeftPost, G::kBallAtRest},
      {"right post", 366, 100, G::kFrameRightPost, G::kBallAtRest},
      // Off the outer side of a post the ball goes back out a little wide, but still in play.
      {"left post, outer side", -372, 100, G::kFrameLeftPost, G::kBallAtRest},
      {"right post, outer side", 372, 100, G::kFrameRightPost, G::kBallAtRest},
      {"bar square", 0, 244, G::kFrameCrossbar, G::kBallAtRest},
      {"bar underside", 0, 236, G::kFrameCrossbar, G::kBallGoalBound},
      {"bar top", 0, 252, G::kFrameCrossbar, G::kBallWide},
      {"where the bar meets the post", -366, 244, G::kFrameCorner, G::kBallAtRest},
  };
  for (const Case& c : cases) {
    // Fast and from close in, so the path is near enough straight: z falls 360 t^2.
    const float t = 200.0f / 1400.0f;
    Launch(game, Vector4(200.0f, c.y, c.z + 360.0f * t * t, 1.0f),
           Vector4(-1400.0f, 0.0f, 0.0f, 0.0f));
    game->PredictFlight();
    EXPECT_EQ(game->ballState, G::kBallWoodwork) << c.name;
    EXPECT_EQ(game->woodworkPart, c.part) << c.name;
    EXPECT_EQ(game->shotClass, G::kShotOnTarget) << c.name;
    EXPECT_EQ(game->contactTick, game->frameContactTick) << c.name;
    game->phase = G::kPhaseRunUp;
    for (uint32_t i = 1; i < game->contactTick; ++i) game->StepBall();
    const Vector4 before = game->ballVelocity;
    const float speed = game->ballSpeed;
    GetSoundWrapper()->StopAll();
    game->BounceOffWoodwork();
    EXPECT_EQ(game->ballState, c.after) << c.name;
    EXPECT_EQ(game->cameraHold, 1) << c.name;
    EXPECT_TRUE(GetSoundWrapper()->IsSamplePlaying(game->m_effectsBank, 15)) << c.name;
    // The commentary has its say, but not on a ball that drops in off the bar.
    EXPECT_EQ(GetSoundWrapper()->IsSamplePlaying(game->m_speechBank, 35) != 0,
              c.after != G::kBallGoalBound)
        << c.name;
    const Vector4& v = game->ballVelocity;
    if (c.part == G::kFrameLeftPost || c.part == G::kFrameRightPost) {
      EXPECT_NEAR(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z), 0.3f * speed, 0.5f) << c.name;
      EXPECT_GT(v.x, 0.0f) << c.name << ": back off the post";
    } else if (c.after == G::kBallGoalBound) {
      EXPECT_NEAR(v.z, -0.8f * speed, 0.5f) << c.name << ": down off the underside";
    } else if (c.after == G::kBallWide) {
      EXPECT_NEAR(v.z, 0.8f * speed, 0.5f) << c.name << ": up off the top";
    } else {
      EXPECT_NEAR(v.x, before.x * -0.24f, 0.5f) << c.name << ": straight back off the bar";
    }
  }
}

TEST_F(FootballRulesTest, AStoppedBallIsAtRestNearTheGoalOrOutOrInPlay) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  Launch(game, Vector4(300, 0, 10, 1), Vector4(-150, 0, 0, 0));
  game->PredictFlight();
  EXPECT_EQ(game->ballState, G::kBallAtRest);
  EXPECT_EQ(game->shotClass, G::kShotRestsNearGoal) << "it stops within 430 of the goal centre";
  EXPECT_LT(game->restingSpot.x, 300.0f);
  Launch(game, Vector4(1100, 0, 10, 1), Vector4(-150, 0, 0, 0));
  game->PredictFlight();
  EXPECT_EQ(game->ballState, G::kBallAtRest);
  EXPECT_EQ(game->shotClass, G::kShotFarFromGoal);

  struct Case {
    float x, y;
    int32_t state;
    int32_t phase;
    int32_t text, speech;  // what the player reads and hears; -1 for nothing
  };
  const float right = game->rightTouchlineY, left = game->leftTouchlineY;
  const Case cases[] = {{300, 100, G::kBallNearGoal, G::kPhaseMessage, 148, 31},
                        // Up to a ball's width over a touchline is still in.
                        {1000, right + 5, G::kBallAtRest, G::kPhaseFlight, -1, -1},
                        {1000, left - 5, G::kBallAtRest, G::kPhaseFlight, -1, -1},
                        {1000, right + 15, G::kBallOut, G::kPhaseMessage, 145, 32},
                        {1000, left - 15, G::kBallOut, G::kPhaseMessage, 145, 32},
                        {1000, 0, G::kBallAtRest, G::kPhaseFlight, -1, -1},
                        {1200, 1520, G::kBallOut, G::kPhaseMessage, 145, 32},
                        {-15, 0, G::kBallOut, G::kPhaseMessage, 145, 32},
                        {2420, 0, G::kBallOut, G::kPhaseMessage, 145, 32}};
  CSoundWrapper* sound = GetSoundWrapper();
  game->savedAim = Vector4(0.0f, 0.2f, 0.0f, 0.0f);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.x << "," << c.y);
    game->phase = G::kPhaseFlight;
    game->ballState = G::kBallAtRest;
    game->ballPosition = Vector4(c.x, c.y, 10, 1);
    game->ballVelocity = Vector4(-1, 0.5f, 0, 0);
    game->m_ingameText.shown = 0;
    sound->StopAll();
    game->CheckBallAtRest();
    EXPECT_EQ(game->ballState, c.state);
    EXPECT_EQ(game->phase, c.phase);
    EXPECT_EQ(game->m_ingameText.shown != 0, c.text != -1);
    if (c.text != -1) {
      EXPECT_EQ(std::u16string(game->m_ingameText.text), GetLocalisedText(c.text));
    }
    for (int32_t line : {31, 32})
      EXPECT_EQ(sound->IsSamplePlaying(game->m_speechBank, line) != 0, line == c.speech) << line;
    if (c.state != G::kBallOut) {
      // The next kick from there is aimed the way the ball was rolling, at the kick's lift.
      EXPECT_NEAR(game->ballVelocity.x, -0.894427f, 1e-3f);
      EXPECT_NEAR(game->ballVelocity.y, 0.447214f, 1e-3f);
      EXPECT_NEAR(game->ballVelocity.z, 2.0f * game->savedAim.y, 1e-5f);
      EXPECT_EQ(game->aim.z, game->heading);
    }
  }
}

TEST_F(FootballRulesTest, APredictionThatNeverEndsIsCutOff) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  // A drift that holds the ball up against gravity, going along the goal line for ever.
  Launch(game, Vector4(600, 0, 100, 1), Vector4(0, 50, 0, 0));
  game->ballSpin = Vector4(0, 0, -720.0f, 0);
  game->PredictFlight();
  EXPECT_EQ(game->contactTick, G::kMaxPredictedTicks);
  EXPECT_EQ(game->ballState, G::kBallAtRest);
  EXPECT_EQ(game->phase, G::kPhaseFlight);
}

TEST_F(FootballRulesTest, TheKeepersErrorByDifficulty) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  struct Case {
    int32_t level;
    float lo, hi;  // |e| when not 0
    uint32_t draws;
  };
  for (const Case c : {Case{0, 0.11f, 0.3f, 2}, Case{1, 0.06f, 0.15f, 2}, Case{2, 0.0f, 0.0f, 0}}) {
    game->level = c.level;
    SeedRand(77u);
    std::set<int> seen;
    for (int i = 0; i < 300; ++i) {
      const uint32_t before = GetRandCount();
      const float e = game->KeeperError();
      EXPECT_EQ(GetRandCount() - before, c.draws);
      if (e != 0.0f) {
        EXPECT_GE(std::fabs(e), c.lo - 1e-6f) << "level " << c.level;
        EXPECT_LE(std::fabs(e), c.hi + 1e-6f) << "level " << c.level;
      }
      seen.insert(int(std::lround(e * 100.0f)));
    }
    if (c.level < 2) {
      EXPECT_TRUE(seen.count(int(std::lround(c.hi * 100))) &&
                  seen.count(-int(std::lround(c.hi * 100))));
      EXPECT_TRUE(seen.count(0)) << "now and then he is right on time";
    } else {
      EXPECT_EQ(seen, std::set<int>{0});
    }
  }
}

TEST_F(FootballRulesTest, TheKeeperDivesWhereTheBallMeetsHisPlane) {
  G* game = Loaded(0);
  ASSERT_NE(game, nullptr);
  struct Case {
    float dy, z;
    int32_t G::*dive;
    int32_t shot = G::kShotOnTarget;
  };
  const int32_t miss = G::kShotNearMiss;
  const Case cases[] = {{0, 75, &G::keeperSaveCentre},
                        {0, 30, &G::keeperSaveLowCentreStart},
                        {0, 150, &G::keeperSaveHighCentre},
                        {-70, 30, &G::keeperSaveShortRight},
                        {-200, 30, &G::keeperSaveLowRight},
                        {-200, 75, &G::keeperSaveMidRight},
                        {-200, 150, &G::keeperSaveHighRight},
                        {70, 30, &G::keeperSaveShortLeft},
                        {200, 30, &G::keeperSaveLowLeft},
                        {200, 75, &G::keeperSaveMidLeft},
                        {200, 150, &G::keeperSaveHighLeft},
                        // A near miss: he reaches for it by its height against his own.
                        {45, -45, &G::keeperSaveLowCentreStart, miss},
                        {-45, 125, &G::keeperSaveHighCentre, miss},
                        {0, 100, &G::keeperSaveCentre, miss},
                        {-60, -55, &G::keeperSaveLowRight, miss},
                        {-60, 55, &G::keeperSaveHighRight, miss},
                        {-60, 0, &G::keeperSaveMidRight, miss},
                        {60, -55, &G::keeperSaveLowLeft, miss},
                        {60, 55, &G::keeperSaveHighLeft, miss},
                        {60, 0, &G::keeperSaveMidLeft, miss}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.dy << "," << c.z << " shot " << c.shot);
    game->shotClass = c.shot;
    game->keeperPosition = game->keeperHome;
    game->keeperError = 0.5f;
    game->keeperPlanePoint = Vector4(game->keeperHome.x, game->keeperHome.y + c.dy, c.z, 1);
    game->KeeperDive();
    EXPECT_EQ(game->keeperAnim->IsAnimationActive(game->*c.dive), 1);
    EXPECT_EQ(game->keeperCommitted, 1);
    EXPECT_EQ(game->keeperDiveStarted, 1);
    if (c.shot == miss) {
      EXPECT_EQ(game->keeperError, 0.5f) << "no error drawn for a ball that misses";
    }
    if (c.shot != miss && c.dy == 0) {
      EXPECT_EQ(game->keeperError, 0.0f) << "straight at him he is never late";
    }
    if (c.dy == 70 || c.dy == -70) {
      EXPECT_LE(game->keeperError, 0.1f);
    }
  }
  // A dive plays once and ends: he gets up from it.
  for (int i = 0; i < 600 && !game->keeperAnim->IsAnimationFinished(game->keeperSaveMidLeft); ++i)
    game->keeperAnim->Update(1.0f);
  EXPECT_TRUE(game->keeperAnim->IsAnimationFinished(game->keeperSaveMidLeft));
  // At the easier difficulties his dive at a kick on target plays slower by his error; for a
  // near miss it plays at its own pace.
  struct Pace {
    int32_t shot;
    float error;
  };
  float played[4] = {};  // the animation's fraction read as the game reads it
  const Pace paces[] = {{G::kShotOnTarget, 0.0f},
                        {G::kShotOnTarget, 0.25f},
                        {G::kShotNearMiss, 0.25f},
                        {G::kShotOnTarget, 0.25f}};  // before his dive: no error yet
  for (int i = 0; i < 4; ++i) {
    game->phase = G::kPhaseAim;
    game->keeperAnim->Play(game->keeperSaveMidLeft, 0, 0.0f);
    game->shotClass = paces[i].shot;
    game->keeperError = paces[i].error;
    game->keeperDiveStarted = i < 3 ? 1 : 0;
    for (int t = 0; t < 12; ++t) game->UpdateCharacters();
    played[i] = game->keeperAnim->GetRemainingFraction(game->keeperSaveMidLeft);
  }
  EXPECT_LT(played[1], played[0] - 0.01f) << "late by his error";
  EXPECT_EQ(played[2], played[0]);
  EXPECT_EQ(played[3], played[0]);
  game->keeperDiveStarted = 0;
  // He dives when the ball is his reaction time (0.4 s) from his plane, not before.
  game->shotClass = G::kShotOnTarget;
  game->keeperPosition = game->keeperHome;
  game->keeperPlanePoint = Vector4(game->keeperHome.x, game->keeperHome.y + 200, 75, 1);
  game->keeperPlaneTick = 50;
  game->PlanKeeperMove();
  game->keeperDiveStarted = 0;
  game->flightTicks = 25;
  game->UpdateKeeper();
  EXPECT_EQ(game->keeperCommitted, 0);
  game->flightTicks = 26;
  game->UpdateKeeper();
  EXPECT_EQ(game->keeperCommitted, 1);
  EXPECT_TRUE(game->keeperAnim->IsAnimationActive(game->keeperSaveMidLeft));
}

TEST_F(FootballRulesTest, DefendersGuardStepAndTurnByTheirRules) {
  G* game = Loaded(0);
  ASSERT_NE(game, nullptr);
  cDefender& d = *game->defenders[0];
  const uint32_t before = GetRandCount();
  d.PickGuardPosition();
  EXPECT_EQ(GetRandCount() - before, 4u);
  EXPECT_GE(d.guardPosition.x - d.homePosition.x, -50.0f);
  EXPECT_LE(d.guardPosition.x - d.homePosition.x, 49.0f);
  struct Case {
    int32_t kind;
    float reach;
  };
  for (const Case c : {Case{3, 100}, Case{4, 100}, Case{1, 200}, Case{5, 200}}) {
    d.position = d.guardPosition;
    d.moveEnd = Vector4(d.guardPosition.x + 300.0f, d.guardPosition.y, d.guardPosition.z,
                        d.guardPosition.w);
    d.StartMove(c.kind, game->ballPosition);
    EXPECT_NEAR(d.moveEnd.x - d.guardPosition.x, c.reach, 1e-3f) << "kind " << c.kind;
    EXPECT_EQ(d.moving, 1);
  }
  d.moveEnd = Vector4(d.position.x + 10.0f, d.position.y, d.position.z, d.position.w);
  d.StartMove(1, game->ballPosition);
  EXPECT_EQ(d.moving, 0) << "a step of 10 or less does not start";
  d.heading = 0.25f;
  d.FaceTowards(d.position.x + 30.0f, d.position.y);
  EXPECT_EQ(d.heading, 0.25f) << "a point exactly 30 away turns nobody";
  d.PlayReaction(cDefender::kHitInGroin);
  for (int i = 0; i < 200; ++i) d.UpdateAnimation(1.0f);
  EXPECT_EQ(d.reacting, 1) << "a kid hit in the groin stays down";
}

TEST_F(FootballRulesTest, ADefenderWithoutAHeadBoneHasNoZoneAboveIt) {
  G* game = Loaded(0);
  ASSERT_NE(game, nullptr);
  cDefender& d = *game->defenders[1];
  Matrix pose = football::PlacedZ(0.0f, d.position);
  d.farFromBall = 1;
  // Clemency's model names her head "head_bone".
  d.anim->LoadModel("clemency.geo");
  d.anim->SetCurrentAnimation(d.animStand);
  d.StartSkeleton();
  d.InitBiped();
  EXPECT_EQ(d.headBone, -1);
  const Vector4 overHead(d.position.x, d.position.y, 400.0f, 1.0f);
  EXPECT_EQ(d.HitTest(10.0f, pose, overHead), BipedCollision::kNoHit);
}

TEST_F(FootballRulesTest, LocatorsAreReadByTheirNames) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  EXPECT_EQ(game->startPosition.z, 10.0f) << "the demo spot lies on the ground";
  EXPECT_EQ(game->crossbarZ, 244.0f);
  EXPECT_EQ(game->leftPostY, -366.0f);
  Matrix m;
  m.Identity();
  m.SetTranslation(Vector4(5, 6, 77, 1));
  game->ApplyLocator("startposition", m);
  EXPECT_EQ(game->startPosition.z, 10.0f);
  EXPECT_EQ(game->startPosition.x, 5.0f);
  game->ApplyLocator("crossbar_extra", m);
  EXPECT_EQ(game->crossbarZ, 244.0f) << "the bar's name must be whole";
  game->ApplyLocator("leftpost_extra", m);
  EXPECT_EQ(game->leftPostY, 6.0f);
  const Vector4 home = game->defenders[4]->homePosition;
  game->ApplyLocator("defender07", m);
  game->ApplyLocator("defender0", m);  // the digit is the terminator: reads as 0
  EXPECT_EQ(game->defenders[0]->homePosition.y, 6.0f);
  EXPECT_EQ(game->defenders[4]->homePosition.x, home.x);
  game->ApplyLocator("targetzone09", m);
  game->ApplyLocator("orwen_path0x", m);
  EXPECT_EQ(game->orwenPath[0].z, 77.0f);
  game->ReadLocators(nullptr);
}

TEST_F(FootballRulesTest, OrwenRidesHisPathToItsLastPointAndNoFurther) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  game->StartOrwenCrossing();
  int ticks = 0;
  while (game->orwenActive && ticks < 5000) {
    game->AdvanceOrwen();
    ++ticks;
  }
  EXPECT_EQ(game->orwenActive, 0);
  EXPECT_EQ(std::memcmp(&game->orwenPosition, &game->orwenPath[9], sizeof(Vector4)), 0);
  EXPECT_GE(game->orwenDelay, 500);
  EXPECT_LE(game->orwenDelay, 999);
  game->AdvanceOrwen();  // after the end: nothing moves, nothing past the path is read
  EXPECT_EQ(std::memcmp(&game->orwenPosition, &game->orwenPath[9], sizeof(Vector4)), 0);
}

TEST_F(FootballRulesTest, TheStateHashTruncatesItsFloatsSafely) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  struct Case {
    float a, b;
    bool equal;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Case cases[] = {{1.2f, 1.9f, true},  {-0.5f, 0.4f, true},  {2.0f, 1.9f, false},
                        {nan, 0.0f, true},   {1e30f, 1e30f, true}, {-1e30f, -2e30f, true},
                        {1e30f, 0.0f, false}};
  for (const Case& c : cases) {
    game->kickSpeed = c.a;
    const uint32_t ha = game->GetStateHash();
    game->kickSpeed = c.b;
    const uint32_t hb = game->GetStateHash();
    EXPECT_EQ(ha == hb, c.equal) << c.a << " vs " << c.b;
  }
}

}  // namespace

namespace {

// A ball met on its way up a defender from the ground: his legs, his body, his head, and the
// zone above his head only while he stands far from the ball (he jumps for it).
TEST_F(FootballRulesTest, ADefenderIsHitInThePartTheBallMeets) {
  G* game = Loaded(0);
  ASSERT_NE(game, nullptr);
  cDefender& d = *game->defenders[2];
  d.anim->Play(d.animStand, 1, 0.0f);
  d.anim->Update(1.0f);
  const Matrix pose = football::PlacedZ(d.heading, d.position);
  struct Case {
    int32_t far;
    std::vector<int32_t> parts;  // from the ground up
  };
  const int32_t none = BipedCollision::kNoHit;
  for (const Case& c :
       {Case{1, {4, 6, 10, 12, kDefenderJumpZone, none}}, Case{0, {4, 6, 10, 12, none}}}) {
    SCOPED_TRACE(c.far);
    d.farFromBall = c.far;
    std::vector<int32_t> parts;
    for (float z = 0.0f; z < 260.0f; z += 2.0f) {
      const int32_t part =
          d.HitTest(G::kBallRadius, pose, Vector4(d.position.x, d.position.y, z, 1.0f));
      if (parts.empty() || parts.back() != part) parts.push_back(part);
    }
    EXPECT_EQ(parts, c.parts);
  }
  // Beside him, clear of his feet, nothing.
  const Vector4 beside(d.position.x + 80.0f, d.position.y + 80.0f, 100.0f, 1.0f);
  EXPECT_EQ(d.HitTest(G::kBallRadius, pose, beside), none);
}

// Orwen turns into each leg of his path as he nears its start, the short way round, and rides
// each leg's middle on its heading.
TEST_F(FootballRulesTest, OrwenTurnsSmoothlyAlongHisPath) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  auto off = [](float a, float b) { return std::fabs(std::remainder(a - b, 6.2831855f)); };
  game->StartOrwenCrossing();
  float last = game->orwenHeading;
  EXPECT_EQ(last, game->orwenPathHeading[0]);
  Vector4 where = game->orwenPosition;
  int32_t segment = game->orwenSegment;
  int ticks = 0, middles = 0;
  while (game->orwenActive && ticks < 5000) {
    game->AdvanceOrwen();
    ++ticks;
    if (!game->orwenActive) break;
    ASSERT_LT(off(game->orwenHeading, last), 0.01f) << "tick " << ticks;
    last = game->orwenHeading;
    // 8 a tick along his path: exactly so within a leg, less where a leg ends.
    const float moved = football::Distance4(game->orwenPosition, where);
    ASSERT_LE(moved, 8.01f) << "tick " << ticks;
    if (game->orwenSegment == segment) {
      ASSERT_NEAR(moved, 8.0f, 0.05f) << "tick " << ticks;
    }
    where = game->orwenPosition;
    segment = game->orwenSegment;
    const float t = game->orwenSegmentT;
    if (t > 0.3f && t < 0.7f) {
      ASSERT_LT(off(game->orwenHeading, game->orwenPathHeading[game->orwenSegment]), 0.01f)
          << "leg " << game->orwenSegment;
      ++middles;
    }
  }
  EXPECT_GT(middles, 9 * 3);
}

}  // namespace

namespace {

// How far and how fast a defender steps at each difficulty, and the step he shows: forward to
// the ball, back from it, or sideways.
TEST_F(FootballRulesTest, DefendersStepFurtherAndFasterAtEachDifficulty) {
  G* game = Loaded(0);
  ASSERT_NE(game, nullptr);
  cDefender& d = *game->defenders[3];
  const Vector4 guard = d.guardPosition;
  struct Case {
    int32_t level;
    float planar, reach, step;
  };
  for (const Case c : {Case{0, 100, 200, 80}, Case{1, 125, 250, 100}, Case{2, 150, 300, 120}}) {
    SCOPED_TRACE(c.level);
    GetDefenderRules().SetLevel(c.level, 60.0f);
    for (const int32_t kind : {3, 1}) {
      d.position = guard;
      d.moveEnd = Vector4(guard.x + 1000.0f, guard.y, guard.z, guard.w);
      d.StartMove(kind, game->ballPosition);
      EXPECT_NEAR(d.moveEnd.x - guard.x, kind == 3 ? c.planar : c.reach, 1e-3f);
      d.UpdateMove();
      EXPECT_NEAR(d.position.x - guard.x, c.step / 60.0f, 1e-3f) << "a tick's step";
    }
  }
  GetDefenderRules().SetLevel(7, 60.0f);
  EXPECT_EQ(GetDefenderRules().maxReach, 300) << "no such difficulty: the rules stay";
  GetDefenderRules().SetLevel(0, 60.0f);

  struct Step {
    float ballX, ballY;  // from where the step ends
    int32_t cDefender::*animation;
  };
  const Step steps[] = {{200.0f, 0.0f, &cDefender::animStepForward},
                        {-300.0f, 0.0f, &cDefender::animStepBack},
                        {100.0f, 150.0f, &cDefender::animStepLeft},
                        {-100.0f, 150.0f, &cDefender::animStepRight}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.ballX);
    d.position = guard;
    d.reacting = 0;
    d.anim->Play(d.animStand, 1, 0.0f);
    d.moveEnd = Vector4(guard.x + 100.0f, guard.y, 0.0f, 1.0f);
    d.StartMove(1, Vector4(guard.x + 100.0f + s.ballX, guard.y + s.ballY, 0.0f, 1.0f));
    EXPECT_EQ(d.moving, 1);
    for (int i = 0; i < 10; ++i) {
      d.UpdateAnimation(1.0f);
      ASSERT_EQ(d.anim->GetCurrentAnimation(), d.*s.animation) << "stepping, not standing";
    }
  }
  // The step runs its length and he stands where it ends.
  int ticks = 0;
  while (d.moving && ticks < 1000) {
    d.UpdateMove();
    ++ticks;
  }
  EXPECT_NEAR(ticks, 75, 1) << "100 at 80 a second";
  EXPECT_NEAR(d.position.x, guard.x + 100.0f, 1e-3f);
  for (int i = 0; i < 30; ++i) d.UpdateAnimation(1.0f);
  EXPECT_EQ(d.anim->GetCurrentAnimation(), d.animStand);
  // A block is played out, then he stands again.
  d.PlayReaction(cDefender::kBlockChest);
  EXPECT_EQ(d.reacting, 1);
  for (int i = 0; i < 5; ++i) d.UpdateAnimation(1.0f);
  EXPECT_EQ(d.reacting, 1) << "the block is played, not cut short";
  for (int i = 0; i < 400 && d.reacting; ++i) d.UpdateAnimation(1.0f);
  EXPECT_EQ(d.reacting, 0);
  d.UpdateAnimation(1.0f);
  EXPECT_EQ(d.anim->GetCurrentAnimation(), d.animStand);
}

// Aiming: Down lowers the kick down to level; a press in the run-up takes 20 off the power bar
// (100 is full), which creeps back half a point a tick.
TEST_F(FootballRulesTest, DownLowersTheAimAndEachPressFillsThePowerBar) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  Hold(m_harness, plat::kDIK_UP, 30);
  Hold(m_harness, plat::kDIK_DOWN, 10);
  EXPECT_NEAR(game->aim.y, 0.20f, 1e-4f);
  EXPECT_NEAR(game->ballVelocity.z, 0.40f, 1e-4f);
  Hold(m_harness, plat::kDIK_DOWN, 30);
  EXPECT_EQ(game->aim.y, 0.0f) << "not below level";
  EXPECT_EQ(game->ballVelocity.z, 0.0f);
  Tap(m_harness, plat::kDIK_SPACE);
  ASSERT_EQ(game->phase, G::kPhaseRunUp);
  game->powerBar = 200.0f;
  Tap(m_harness, plat::kDIK_SPACE);
  EXPECT_FLOAT_EQ(game->powerBar, 181.0f);
  game->powerBar = 110.0f;
  Tap(m_harness, plat::kDIK_SPACE);
  EXPECT_FLOAT_EQ(game->powerBar, 100.5f) << "no fuller than full";
  game->powerBar = 299.8f;
  m_harness.RunFrames(1);
  EXPECT_FLOAT_EQ(game->powerBar, 300.0f) << "no emptier than empty";
}

// The wind carries the ball: a kick drifts the way the wind blows, the more the higher it goes.
TEST_F(FootballRulesTest, TheWindCarriesTheKickTheHigherTheFurther) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  struct Case {
    float windY;
    float lift;  // the aim's upward part
  };
  float crossed[3][2] = {};
  const float winds[3] = {-0.01f, 0.0f, 0.01f};
  for (int w = 0; w < 3; ++w) {
    for (int l = 0; l < 2; ++l) {
      game->wind = Vector4(0.0f, winds[w], 0.0f, 0.0f);
      game->ballPosition = Vector4(1100.0f, 0.0f, 10.0f, 1.0f);
      game->ballVelocity = Vector4(-1.0f, 0.0f, l ? 0.5f : 0.2f, 0.0f);
      game->powerBar = 160.0f;
      game->phase = G::kPhaseRunUp;
      game->Kick();
      EXPECT_NEAR(game->kickSpeed, 1050.0f, 1e-2f);
      // Where it is when it first passes x = 300 (or stops).
      game->phase = G::kPhaseFlight;
      for (int i = 0; i < 600 && game->ballPosition.x > 300.0f; ++i) game->StepBall();
      crossed[w][l] = game->ballPosition.y;
      game->phase = G::kPhaseAim;
    }
  }
  for (int l = 0; l < 2; ++l) {
    SCOPED_TRACE(l);
    EXPECT_EQ(crossed[1][l], 0.0f) << "no wind, no drift";
    EXPECT_LT(crossed[2][l], -1.0f) << "a wind towards +y pushes the ball towards -y";
    EXPECT_GT(crossed[0][l], 1.0f);
  }
  EXPECT_GT(std::fabs(crossed[2][1]), std::fabs(crossed[2][0])) << "higher, further";
  game->wind = Vector4(0, 0, 0, 0);
}

}  // namespace

namespace {

// Every volume of each character can be hit, each by its own part: the keeper's and Clemency's
// bodies as they stand, and a defender's with the zone above his head.
TEST_F(FootballRulesTest, EveryPartOfEachCharacterCanBeHit) {
  G* game = Loaded(0);
  ASSERT_NE(game, nullptr);
  cDefender& d = *game->defenders[1];
  d.farFromBall = 1;
  Matrix clemency;
  clemency.Identity();
  clemency.SetTranslation(game->clemencyPosition);
  struct Case {
    const char* name;
    std::function<int32_t(const Vector4&)> hit;
    Vector4 at;
    std::set<int32_t> parts;
  };
  const std::set<int32_t> body = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12};
  std::set<int32_t> kid = body;
  kid.insert(11);
  kid.insert(kDefenderJumpZone);
  const Case cases[] = {
      {"keeper",
       [&](const Vector4& p) {
         return game->keeperBiped->HitTestSphere(
             G::kBallRadius, football::PlacedZ(1.5707964f, game->keeperPosition), p);
       },
       // The demo keeper's skeleton carries the bones of his left arm and leg and his body.
       game->keeperPosition,
       {0, 6, 10}},
      {"Clemency",
       [&](const Vector4& p) {
         return game->clemencyBiped->HitTestSphere(G::kBallRadius, clemency, p);
       },
       game->clemencyPosition,
       {0, 1, 2, 3, 4, 5, 6, 7, 10, 12}},
      {"defender",
       [&](const Vector4& p) {
         return d.HitTest(G::kBallRadius, football::PlacedZ(d.heading, d.position), p);
       },
       d.position, kid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::set<int32_t> parts;
    for (float x = -90.0f; x <= 90.0f; x += 3.0f)
      for (float y = -90.0f; y <= 90.0f; y += 3.0f)
        for (float z = 0.0f; z <= 240.0f; z += 3.0f) {
          const int32_t part = c.hit(Vector4(c.at.x + x, c.at.y + y, z, 1.0f));
          if (part != BipedCollision::kNoHit) parts.insert(part);
        }
    std::string seen;
    for (int32_t p : parts) seen += std::to_string(p) + " ";
    EXPECT_EQ(parts, c.parts) << seen;
  }
}

}  // namespace

namespace {

// Each locator of the pitch's scene sets its own piece of the pitch, from its whole position.
TEST_F(FootballRulesTest, EachLocatorSetsItsPieceOfThePitch) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  Matrix m;
  m.Identity();
  m.SetTranslation(Vector4(5.0f, 6.0f, 77.0f, 1.0f));
  const Vector4 at(5.0f, 6.0f, 77.0f, 1.0f);
  auto same = [](const Vector4& a, const Vector4& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
  };
  struct Case {
    const char* name;
    std::function<bool()> set;
  };
  const Case cases[] = {
      {"celebrate_position", [&] { return same(game->celebratePosition, at); }},
      {"celebrate_camera", [&] { return same(game->celebrateCamera, at); }},
      {"defender03", [&] { return same(game->defenders[3]->homePosition, at); }},
      {"orwen_path05", [&] { return same(game->orwenPath[5], at); }},
      {"fargoalline", [&] { return game->farGoalLineX == 5.0f; }},
      {"targetzone02", [&] { return same(game->targetZones[2], at); }},
      {"lefttouchline", [&] { return game->leftTouchlineY == 6.0f; }},
      {"righttouchline", [&] { return game->rightTouchlineY == 6.0f; }},
      {"rightpost", [&] { return game->rightPostY == 6.0f; }},
      {"crossbar", [&] { return game->crossbarZ == 77.0f; }},
      {"goalcentre", [&] { return same(game->goalCentre, at); }},
      {"intro_camera01", [&] { return same(game->introCamera1, at); }},
      {"intro_camera02", [&] { return same(game->introCamera2, at); }},
      {"intro_camera_target01", [&] { return same(game->introCameraTarget1, at); }},
      {"intro_camera_target02", [&] { return same(game->introCameraTarget2, at); }},
      {"dulcie_start", [&] { return same(game->dulcieStartPosition, at); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(c.set()) << "the demo pitch has it elsewhere";
    game->ApplyLocator(c.name, m);
    EXPECT_TRUE(c.set());
  }
  // A path point's heading is its turn about the vertical.
  Matrix turned = football::PlacedZ(0.75f, at);
  game->ApplyLocator("orwen_path07", turned);
  EXPECT_NEAR(game->orwenPathHeading[7], 0.75f, 1e-4f);
  // Indexes beyond the defenders and the targets are not read.
  const Vector4 target3 = game->targetZones[3];
  game->ApplyLocator("targetzone04", m);
  game->ApplyLocator("defender05", m);
  EXPECT_TRUE(same(game->targetZones[3], target3));
}

}  // namespace

namespace {

// On the ground the ball slows, and the wind's drift on it dies away; a defender near the ball
// cannot jump for it, one far from it can.
TEST_F(FootballRulesTest, ARollingBallSlowsAndLosesItsDrift) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  game->phase = G::kPhaseFlight;
  game->ballPosition = Vector4(1000.0f, 0.0f, 10.0f, 1.0f);
  game->ballVelocity = Vector4(-300.0f, 0.0f, 0.0f, 0.0f);
  game->ballSpin = Vector4(0.0f, 6.0f, 0.0f, 0.0f);
  game->ballSpeed = 300.0f;
  for (int i = 0; i < 30; ++i) {
    const Vector4 v = game->ballVelocity, spin = game->ballSpin;
    game->StepBall();
    ASSERT_EQ(game->ballPosition.z, G::kBallRadius) << "it stays on the ground";
    ASSERT_LT(game->ballSpin.y, spin.y) << "tick " << i;
    ASSERT_GT(game->ballSpin.y, spin.y * 0.9f);
    ASSERT_GT(game->ballVelocity.x, v.x) << "slower";
    ASSERT_LT(game->ballVelocity.x, v.x * 0.98f);
  }
  EXPECT_LT(game->ballVelocity.y, 0.0f) << "drifted against its spin";
  // Who may jump for it.
  game->ballPosition = Vector4(1000.0f, 0.0f, 10.0f, 1.0f);
  game->defenders[0]->position = Vector4(1300.0f, 0.0f, 0.0f, 1.0f);
  game->defenders[1]->position = Vector4(1000.0f, 600.0f, 0.0f, 1.0f);
  game->UpdateFarFlags();
  EXPECT_EQ(game->defenders[0]->farFromBall, 0);
  EXPECT_EQ(game->defenders[1]->farFromBall, 1);
}

}  // namespace
