// What the ball meets besides the goal, as the player sees it: the targets and their rings, the
// bystanders Clemency and Orwen, the defenders' blocks and the groin bonus, the ball going out;
// each with the score it gives, the text it shows and the kick that follows. And what a frame
// submits for drawing: every character's model where he or she stands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "Engine/FastMathRotation.h"
#include "Engine/PC/PCNodeFactory.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Game/FootballGame/FootballMath.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Helper/BipedCollision.h"
#include "Game/Localisation/LocalisedText.h"
#include "tests/football/FootballTestSupport.h"

namespace {

using namespace footballtest;
using G = cfootballgame;
using football::Plus;

constexpr int32_t kTextOut = 145;
constexpr int32_t kTextBlocked = 147;

float Speed(const Vector4& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

class FootballOutcomesTest : public FootballTest {
 protected:
  // The ball in live flight at `at` with `velocity`, no drift, no contact to come.
  static void InFlight(G* game, int32_t state, const Vector4& at, const Vector4& velocity) {
    game->phase = G::kPhaseFlight;
    game->ballState = state;
    game->ballPosition = at;
    game->ballVelocity = velocity;
    game->ballSpin = Vector4(0, 0, 0, 0);
    game->ballSpeed = Speed(velocity);
    game->flightTicks = 1;
    game->contactTick = 100000;
    game->goalPending = 0;
  }
  // Frames until the next kick is being aimed; whether it came.
  // `heardRetake`: whether the commentary called for the kick again on the way (lines 28, 30).
  bool RunToAim(G* game, int limit = 1500, bool* heardRetake = nullptr) {
    return RunUntil(
        m_harness,
        [&] {
          if (heardRetake) *heardRetake |= Speech(game, 28) || Speech(game, 30);
          return game->phase == G::kPhaseAim && !game->m_fadeTimer.IsRunning();
        },
        limit);
  }
};

TEST_F(FootballOutcomesTest, TargetsScoreByRingAndByHowManyWereHitAndThenGoDark) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  struct Case {
    int32_t target;
    float offset;  // from the target's centre, across the pitch
    int32_t points;
    int32_t hitsAfter;
    int32_t speech;  // the commentary on the ring, -1 for none
  };
  const Case cases[] = {
      {0, 0.0f, 1 * 5000, 1, 27},   // the bull: 5000 a hit so far
      {1, 50.0f, 2 * 2500, 2, 26},  // the middle ring
      {2, 90.0f, 3 * 1000, 3, 25},  // the outer ring
      {3, 101.0f, 0, 3, -1},        // just off the target
      {0, 0.0f, 0, 3, -1},          // a target once hit stays dark
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "target " << c.target << " at " << c.offset);
    const int32_t score = game->GetScore(0);
    const int32_t popups = game->m_bonusScores.GetListLength();
    const bool wasLit = game->targetLit[c.target] != 0;
    game->phase = G::kPhaseFlight;
    game->ballState = G::kBallAtRest;
    game->ballPosition = game->targetZones[c.target];
    game->ballPosition.y += c.offset;
    Hush();
    for (cDefender* d : game->defenders) d->moving = 1;
    game->CheckTargets();
    EXPECT_EQ(game->GetScore(0) - score, c.points);
    EXPECT_EQ(game->targetsHit, c.hitsAfter);
    const bool hit = c.points > 0;
    EXPECT_EQ(game->m_bonusScores.GetListLength() - popups, hit ? 1 : 0);
    EXPECT_EQ(game->phase, hit ? G::kPhaseTargetHit : G::kPhaseFlight);
    EXPECT_EQ(game->ballState, hit ? G::kBallTarget : G::kBallAtRest);
    EXPECT_EQ(game->targetLit[c.target], wasLit && !hit ? 1 : 0);
    EXPECT_EQ(Effect(game, 27), hit) << "the target's ring";
    for (const cDefender* d : game->defenders) {
      EXPECT_EQ(d->moving, hit ? 0 : 1) << "a hit stops the defenders";
    }
    for (int32_t line : {25, 26, 27}) EXPECT_EQ(Speech(game, line), line == c.speech) << line;
  }
  // The popups run out, the view fades and the next kick is taken from where the ball lies.
  game->phase = G::kPhaseTargetHit;
  game->ballState = G::kBallTarget;
  const Vector4 lies = game->ballPosition;
  ASSERT_GT(game->m_bonusScores.GetListLength(), 1);
  ASSERT_TRUE(RunUntil(
      m_harness, [&] { return game->phase != G::kPhaseTargetHit; }, 600));
  EXPECT_EQ(game->m_bonusScores.GetListLength(), 0) << "the scores are read before the fade";
  ASSERT_TRUE(RunToAim(game));
  EXPECT_NEAR(game->ballPosition.x, lies.x, 1.0f);
  EXPECT_NEAR(game->ballPosition.y, lies.y, 1.0f);
}

TEST_F(FootballOutcomesTest, TheChallengesHaveNoTargets) {
  G* game = Loaded(kModeChallenge1);
  ASSERT_NE(game, nullptr);
  game->phase = G::kPhaseFlight;
  game->ballState = G::kBallAtRest;
  game->ballPosition = game->targetZones[0];
  game->CheckTargets();
  EXPECT_EQ(game->GetScore(0), 0);
  EXPECT_EQ(game->targetLit[0], 1);
  EXPECT_EQ(game->phase, G::kPhaseFlight);
}

TEST_F(FootballOutcomesTest, ClemencyAndOrwenTurnTheBallBackScoreAndTheKickIsTakenAgain) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  struct Case {
    const char* name;
    bool orwen;
    float height;
    int32_t G::*reaction;  // the animation the hit plays (Orwen: his fall)
    int32_t points;
    int32_t state;
  };
  const Case cases[] = {
      {"Clemency in the legs", false, 60.0f, &G::clemencyHitInLegs, 1000, G::kBallHitClemency},
      {"Clemency in the chest", false, 160.0f, &G::clemencyHitInChest, 1000, G::kBallHitClemency},
      {"Clemency in the head", false, 0.0f, &G::clemencyHitInHead, 1000, G::kBallHitClemency},
      {"over Clemency", false, 300.0f, nullptr, 0, G::kBallWide},
      {"Orwen", true, 60.0f, &G::orwenHitFall, 20000, G::kBallHitOrwen},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(RunToAim(game));
    const int32_t score = game->GetScore(0);
    Vector4 at, velocity;
    if (c.orwen) {
      game->orwenDelay = 1;
      m_harness.RunFrames(1);
      ASSERT_EQ(game->orwenActive, 1);
      at = game->orwenPosition;
      velocity = Vector4(-900.0f, 0.0f, 0.0f, 0.0f);
    } else {
      at = game->clemencyPosition;
      velocity = Vector4(0.0f, 900.0f, 0.0f, 0.0f);
    }
    at.z = c.height;
    if (c.reaction == &G::clemencyHitInHead) {
      // Her head's height as she stands now.
      Matrix pose;
      pose.Identity();
      pose.SetTranslation(game->clemencyPosition);
      at.z = -1.0f;
      for (float z = 150.0f; z < 260.0f && at.z < 0.0f; z += 2.0f) {
        Vector4 probe = game->clemencyPosition;
        probe.z = z;
        if (game->clemencyBiped->HitTestSphere(G::kBallRadius, pose, probe) == 12) at.z = z;
      }
      ASSERT_GT(at.z, 0.0f) << "her head has its volume";
    }
    at.w = 1.0f;
    InFlight(game, G::kBallWide, at, velocity);
    for (cDefender* d : game->defenders) d->moving = 1;
    Hush();
    m_harness.RunFrames(1);
    EXPECT_EQ(Effect(game, c.orwen ? 10 : 3), c.reaction != nullptr) << "the knock";
    EXPECT_EQ(game->ballState, c.state);
    EXPECT_EQ(game->GetScore(0) - score, c.points);
    if (!c.reaction) continue;
    EXPECT_EQ(game->m_bonusScores.GetListLength(), 1);
    // Sent back the way it came at a fifth of its speed or less.
    if (c.orwen) {
      EXPECT_GT(game->ballVelocity.x, 0.0f);
      EXPECT_TRUE(game->orwenAnim->IsAnimationActive(game->*c.reaction));
      EXPECT_TRUE(game->bikeAnim->IsAnimationActive(game->bikeHitFall));
      EXPECT_TRUE(Speech(game, 10));
    } else {
      EXPECT_LT(game->ballVelocity.y, 0.0f);
      EXPECT_EQ(game->clemencyHitAnim, game->*c.reaction);
      EXPECT_TRUE(game->clemencyAnim->IsAnimationActive(game->*c.reaction));
    }
    EXPECT_LE(Speed(game->ballVelocity), 900.0f * 0.2f + 1.0f);
    // When the ball stops the defenders stop with it. Clemency plays her knock once and is on
    // her feet again while the ball still rolls.
    bool knocked = false, stoodUp = false;
    ASSERT_TRUE(RunUntil(
        m_harness,
        [&] {
          const bool standing = game->clemencyAnim->IsAnimationActive(game->clemencyStand) != 0;
          knocked |= !standing;
          stoodUp |= knocked && standing && game->ballState == G::kBallHitClemency;
          return game->phase != G::kPhaseFlight;
        },
        1500));
    if (!c.orwen) {
      EXPECT_TRUE(stoodUp);
    }
    for (const cDefender* d : game->defenders) EXPECT_EQ(d->moving, 0);
    bool retakeLine = false;
    ASSERT_TRUE(RunToAim(game, 1500, &retakeLine));
    EXPECT_EQ(game->GetScore(0) - score, c.points) << "nothing more for the same kick";
    if (c.orwen) {
      EXPECT_FALSE(retakeLine) << "Orwen's fall is commentary enough";
    }
    if (c.orwen) {
      EXPECT_EQ(game->orwenActive, 0) << "he rides again later";
      EXPECT_NEAR(game->ballPosition.x, game->kickSpot.x, 1.0f) << "retaken from the spot";
      EXPECT_NEAR(game->ballPosition.y, game->kickSpot.y, 1.0f);
    }
  }
}

TEST_F(FootballOutcomesTest, ADefenderBlocksWithThePartHitAndAGroinHitPaysOnce) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  cDefender* d = game->defenders[0];
  ASSERT_NE(d, nullptr);
  ASSERT_NE(d->anim, nullptr);
  struct Case {
    int32_t part;
    int32_t cDefender::*reaction;
    int32_t bonus;
    int32_t bonusFlagAfter;
    int32_t effect;
    std::vector<int32_t> speech;  // one of these is said at once
    std::vector<int32_t> after;   // and one of these once the ball has stopped
  };
  const std::vector<int32_t> other = {37}, legs = {37, 19, 20, 21}, groin = {0, 1, 2, 4},
                             replies = {22, 23, 24};
  const Case cases[] = {
      {0, &cDefender::animBlockChest, 0, 1, 2, {3}, other},
      {10, &cDefender::animBlockChest, 0, 1, 2, {3}, other},
      {4, &cDefender::animBlockLegs, 0, 1, 12, {5}, legs},
      {5, &cDefender::animBlockLegs, 0, 1, 12, {5}, legs},
      {9, &cDefender::animBlockLegs, 0, 1, 12, {5}, legs},
      {12, &cDefender::animBlockHead, 0, 1, 4, {3}, other},
      {kDefenderJumpZone, &cDefender::animBlockJump, 0, 1, 4, {3}, other},
      {11, &cDefender::animHitInGroin, 1000, 0, 3, groin, replies},
      {11, &cDefender::animHitInGroin, 0, 0, 3, groin, replies},
  };
  d->bonusFlag = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "part " << c.part);
    ASSERT_EQ(game->lastReaction, 37) << "nothing said of an earlier block";
    const int32_t score = game->GetScore(0);
    game->shotClass = G::kShotOnTarget;
    InFlight(game, G::kBallGoalBound, d->position, Vector4(-900, 0, 0, 0));
    for (cDefender* each : game->defenders) each->moving = 1;
    Hush();
    game->DefenderHit(0, c.part);
    for (const cDefender* each : game->defenders) {
      EXPECT_EQ(each->moving, each == d ? 1 : 0) << "the others stop; he finishes his step";
    }
    EXPECT_TRUE(Effect(game, c.effect));
    EXPECT_EQ(game->ballState, G::kBallDeflected);
    EXPECT_EQ(game->shotClass, G::kShotFarFromGoal) << "the keeper stands down";
    EXPECT_TRUE(d->anim->IsAnimationActive(d->*c.reaction));
    EXPECT_EQ(game->GetScore(0) - score, c.bonus);
    EXPECT_EQ(d->bonusFlag, c.bonusFlagAfter);
    // Knocked off square to the way he faces, a metre a second along the ground.
    const Vector4& v = game->ballVelocity;
    EXPECT_NEAR(Speed(v), 3600.0f / game->frameRate, 1e-3f);
    EXPECT_NEAR(v.x, std::sin(d->heading) * 3600.0f / game->frameRate, 1e-2f);
    EXPECT_NEAR(v.y, -std::cos(d->heading) * 3600.0f / game->frameRate, 1e-2f);
    EXPECT_EQ(v.z, 0.0f);
    auto saying = [&](const std::vector<int32_t>& lines) {
      int n = 0;
      for (int32_t line : lines) n += Speech(game, line);
      return n;
    };
    EXPECT_EQ(saying(c.speech), 1) << "the commentary at the block";
    // The ball stopped where it is: "blocked", and the commentary's answer to the block.
    const Vector4 keep = game->ballPosition, keepVelocity = game->ballVelocity;
    game->ballPosition.z = G::kBallRadius;
    game->ballVelocity = Vector4(0, 0, 0, 0);
    game->m_ingameText.shown = 0;
    Hush();
    game->StepFlightDeflected();
    EXPECT_EQ(game->phase, G::kPhaseMessage);
    EXPECT_EQ(Shown(game), Text(kTextBlocked));
    EXPECT_EQ(saying(c.after), 1) << "the answer to the block";
    EXPECT_EQ(game->lastReaction, 37) << "the answer is given once";
    game->phase = G::kPhaseFlight;
    game->m_ingameText.shown = 0;
    game->ballPosition = keep;
    game->ballVelocity = keepVelocity;
  }
  // The blocked ball rolls to rest: "blocked" shows and the kick is taken again from the spot.
  ASSERT_TRUE(RunUntil(
      m_harness, [&] { return game->phase == G::kPhaseMessage; }, 600));
  EXPECT_EQ(Shown(game), Text(kTextBlocked));
  bool retakeLine = false;
  ASSERT_TRUE(RunToAim(game, 1500, &retakeLine));
  EXPECT_TRUE(retakeLine);
  EXPECT_NEAR(game->ballPosition.x, game->kickSpot.x, 1.0f);
}

TEST_F(FootballOutcomesTest, ABallInFlightHitsADefenderStandingInItsPath) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  // Each of them, when the kick passes him; not one it does not pass.
  for (const int32_t inReach : {1, 0}) {
    for (int32_t i = 0; i < kDefenderCount; ++i) {
      SCOPED_TRACE(::testing::Message() << "defender " << i << " in reach " << inReach);
      cDefender* each = game->defenders[i];
      for (cDefender* other : game->defenders) other->inReach = 0;
      each->inReach = inReach;
      each->enterTick = 0;
      each->leaveTick = 1000;
      Vector4 on = each->position;
      on.z = 100.0f;
      InFlight(game, G::kBallNearGoal, Plus(on, Vector4(8, 0, 0, 0)), Vector4(-60, 0, 0, 0));
      game->CheckDefenderHits();
      EXPECT_EQ(game->ballState, inReach ? G::kBallDeflected : G::kBallNearGoal);
      each->PlayReaction(cDefender::kStand);
      each->reacting = 0;
    }
  }
  cDefender* d = game->defenders[1];
  ASSERT_NE(d, nullptr);
  d->inReach = 1;
  d->enterTick = 0;
  d->leaveTick = 1000;
  Vector4 at = d->position;
  at.z = 100.0f;
  InFlight(game, G::kBallNearGoal, Plus(at, Vector4(8, 0, 0, 0)), Vector4(-60, 0, 0, 0));
  m_harness.RunFrames(1);
  EXPECT_EQ(game->ballState, G::kBallDeflected);
  // Once the ball is past the ticks he can reach it in, the same ball passes him.
  d->leaveTick = 3;
  InFlight(game, G::kBallNearGoal, Plus(at, Vector4(8, 0, 0, 0)), Vector4(-60, 0, 0, 0));
  game->flightTicks = 5;
  m_harness.RunFrames(1);
  EXPECT_EQ(game->ballState, G::kBallNearGoal);
}

TEST_F(FootballOutcomesTest, TheBallIsOutBeyondEachSideOfThePlayingBox) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  const float near = game->farGoalLineX - 100.0f;  // beyond the far goal line
  const float far = game->farGoalLineX + 100.0f;   // on the kicking side of it
  struct Case {
    float x, y;
    bool out;
  };
  const Case cases[] = {
      {near, 3190.0f, false}, {near, 3210.0f, true},   {near, -1990.0f, false},
      {near, -2010.0f, true}, {-2990.0f, 0.0f, false}, {-3010.0f, 0.0f, true},
      {far, 4990.0f, false},  {far, 5010.0f, true},    {far, -4590.0f, false},
      {far, -4610.0f, true},  {3790.0f, 0.0f, false},  {3810.0f, 0.0f, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.x << "," << c.y);
    if (c.x == -2990.0f || c.x == -3010.0f) {
      ASSERT_LT(c.x, game->farGoalLineX);
    }
    if (c.x == 3790.0f || c.x == 3810.0f) {
      ASSERT_GE(c.x, game->farGoalLineX);
    }
    game->ballPosition = Vector4(c.x, c.y, 10.0f, 1.0f);
    EXPECT_EQ(game->OutOfPlayBox(), c.out);
  }
  // Out in flight: the text says so and the kick is taken again.
  InFlight(game, G::kBallNearGoal, Vector4(far, 5200.0f, 10.0f, 1.0f), Vector4(0, 600, 0, 0));
  Hush();
  m_harness.RunFrames(1);
  EXPECT_TRUE(Speech(game, 32));
  EXPECT_EQ(game->ballState, G::kBallOut);
  EXPECT_EQ(game->phase, G::kPhaseMessage);
  EXPECT_EQ(Shown(game), Text(kTextOut));
  ASSERT_TRUE(RunToAim(game));
  EXPECT_NEAR(game->ballPosition.x, game->kickSpot.x, 1.0f);
}

// The models a frame submits, read from the windows' node lists right after Render.
class FootballDrawingTest : public FootballOutcomesTest {
 protected:
  struct Drawn {
    const NodeContainer* container;
    Vector4 at;
    Matrix placement;
    Vector4 tint;
  };
  std::vector<Drawn> RenderOnce(G* game) {
    RenderWindow* pitch = game->PitchWindow();
    const int32_t from = pitch->GetRenderNodeCount();
    game->Render();
    std::vector<Drawn> drawn;
    for (int32_t i = from; i < pitch->GetRenderNodeCount(); ++i) {
      const RenderNodeRecord* r = pitch->GetRenderNode(i);
      drawn.push_back({r->container,
                       Vector4(r->placement[12], r->placement[13], r->placement[14], 1.0f),
                       r->placement, r->tint});
    }
    return drawn;
  }
  static int Count(const std::vector<Drawn>& drawn, int32_t geo, const Vector4* at = nullptr) {
    const NodeContainer* container = GetApp().GetNodeFactory()->Find(geo);
    int n = 0;
    for (const Drawn& d : drawn)
      if (d.container == container &&
          (!at || (std::fabs(d.at.x - at->x) < 0.5f && std::fabs(d.at.y - at->y) < 0.5f &&
                   std::fabs(d.at.z - at->z) < 0.5f)))
        ++n;
    return n;
  }
};

TEST_F(FootballDrawingTest, EveryCharacterTheBallAndTheTargetsAreDrawnWhereTheyStand) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  game->orwenDelay = 1;
  m_harness.RunFrames(2);
  ASSERT_EQ(game->phase, G::kPhaseAim);
  ASSERT_EQ(game->orwenActive, 1);
  ASSERT_EQ(game->clemencyVisible, 1);
  const std::vector<Drawn> drawn = RenderOnce(game);
  EXPECT_EQ(Count(drawn, game->ballGeo, &game->ballPosition), 1) << "the ball";
  EXPECT_EQ(Count(drawn, game->arrowGeo, &game->ballPosition), 1) << "the aim arrow";
  Matrix aimed;
  MatrixFromRotation(kRotationEulerXYZ, Vector4(game->aim.x, game->aim.y, game->aim.z, 0.0f),
                     aimed);
  const NodeContainer* arrow = GetApp().GetNodeFactory()->Find(game->arrowGeo);
  for (const Drawn& d : drawn) {
    if (d.container != arrow) continue;
    for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10})
      EXPECT_NEAR(d.placement[i], aimed[i], 1e-5f) << "the arrow points along the aim, " << i;
  }
  EXPECT_EQ(Count(drawn, game->keeperAnim->GetModel(), &game->keeperPosition), 1) << "keeper";
  // Before the kick the keeper faces the ball; the targets stand square to the pitch.
  const Matrix facing =
      football::PlacedZ(std::atan2(game->ballPosition.y - game->keeperPosition.y,
                                   game->ballPosition.x - game->keeperPosition.x) +
                            1.5707964f,
                        game->keeperPosition);
  const NodeContainer* keeper = GetApp().GetNodeFactory()->Find(game->keeperAnim->GetModel());
  const NodeContainer* target = GetApp().GetNodeFactory()->Find(game->targetGeo);
  for (const Drawn& d : drawn) {
    for (int i : {0, 1, 4, 5, 10}) {
      if (d.container == keeper) {
        EXPECT_NEAR(d.placement[i], facing[i], 1e-4f) << "keeper " << i;
      }
      if (d.container == target) {
        EXPECT_EQ(d.placement[i], i % 5 == 0 ? 1.0f : 0.0f) << i;
      }
    }
  }
  EXPECT_EQ(Count(drawn, game->clemencyAnim->GetModel(), &game->clemencyPosition), 1);
  EXPECT_EQ(Count(drawn, game->orwenAnim->GetModel(), &game->orwenPosition), 1) << "Orwen";
  EXPECT_EQ(Count(drawn, game->bikeAnim->GetModel(), &game->orwenPosition), 1) << "his bicycle";
  for (int32_t i = 0; i < kDefenderCount; ++i) {
    const cDefender* d = game->defenders[i];
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(Count(drawn, d->anim->GetModel(), &d->position), 1) << "defender " << i;
  }
  for (int32_t i = 0; i < G::kTargetCount; ++i)
    EXPECT_EQ(Count(drawn, game->targetGeo, &game->targetZones[i]), 1) << "target " << i;
  EXPECT_GE(Count(drawn, game->shadowBlobGeo), 1 + 1 + kDefenderCount) << "their shadows";
  EXPECT_EQ(Count(drawn, game->dulcieAnim->GetModel()), 0) << "Dulcie waits for the run-up";
  // The wind bar shows the wind's strength against the strongest there is.
  const float wind = std::sqrt(game->wind.x * game->wind.x + game->wind.y * game->wind.y);
  EXPECT_NEAR(game->windStrength, wind / game->maxWind, 1e-4f);

  // The keeper's shadow lies under him.
  int keeperShadows = 0;
  const NodeContainer* blob = GetApp().GetNodeFactory()->Find(game->shadowBlobGeo);
  for (const Drawn& d : drawn)
    keeperShadows += d.container == blob && d.at.z == 0.0f &&
                     std::fabs(d.at.x - game->keeperPosition.x) < 30.0f &&
                     std::fabs(d.at.y - game->keeperPosition.y) < 30.0f;
  EXPECT_EQ(keeperShadows, 1);
  // Running up, Dulcie is drawn on her way to the ball; a defender standing behind the ball, in
  // the way of the view, is not drawn.
  cDefender* behind = game->defenders[0];
  behind->position = Plus(game->ballPosition, Vector4(200.0f, 0.0f, 0.0f, 0.0f));
  behind->position.z = 0.0f;
  behind->position.w = 1.0f;
  behind->moving = 0;
  Tap(m_harness, plat::kDIK_SPACE);
  ASSERT_EQ(game->phase, G::kPhaseRunUp);
  const std::vector<Drawn> running = RenderOnce(game);
  EXPECT_EQ(Count(running, game->dulcieAnim->GetModel()), 1);
  // She starts 300 back from the ball on the kick's line, a little to its side, facing along it.
  const NodeContainer* dulcie = GetApp().GetNodeFactory()->Find(game->dulcieAnim->GetModel());
  for (const Drawn& d : running) {
    if (d.container != dulcie) continue;
    const float dx = game->ballPosition.x - d.at.x, dy = game->ballPosition.y - d.at.y;
    EXPECT_NEAR(std::sqrt(dx * dx + dy * dy), 300.0f, 10.0f);
    const float kick = std::atan2(game->ballVelocity.y, game->ballVelocity.x);
    EXPECT_LT(std::fabs(std::remainder(std::atan2(dy, dx) - kick, 6.2831855f)), 0.08f)
        << "behind the ball on the kick's line";
    EXPECT_NEAR(d.placement[0], std::cos(kick + 1.5707964f), 1e-3f) << "facing along it";
    EXPECT_NEAR(d.placement[1], std::sin(kick + 1.5707964f), 1e-3f);
  }
  EXPECT_EQ(Count(running, game->arrowGeo), 0);
  int defendersInView = 0;
  for (const cDefender* d : game->defenders)
    defendersInView += Count(running, d->anim->GetModel(), &d->position);
  EXPECT_GT(defendersInView, 0) << "only those between her and the ball are hidden";
  EXPECT_LT(defendersInView, kDefenderCount);
  EXPECT_EQ(Count(running, behind->anim->GetModel(), &behind->position), 0);
  // Her shadow under her.
  int dulcieShadows = 0;
  const NodeContainer* large = GetApp().GetNodeFactory()->Find(game->shadowBlobLargeGeo);
  const NodeContainer* her = GetApp().GetNodeFactory()->Find(game->dulcieAnim->GetModel());
  for (const Drawn& d : running) {
    if (d.container != her) continue;
    for (const Drawn& s : running)
      dulcieShadows += s.container == large && std::fabs(s.at.x - d.at.x) < 30.0f &&
                       std::fabs(s.at.y - d.at.y) < 30.0f;
  }
  EXPECT_EQ(dulcieShadows, 1);
}

}  // namespace

namespace {

TEST_F(FootballOutcomesTest, AfterADiveTheKeeperGetsUpAndCheersABallHeSentBack) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  AnimationHelper* keeper = game->keeperAnim;
  ASSERT_NE(keeper, nullptr);
  struct Case {
    int32_t G::*dive;
    int32_t G::*getUp;  // nullptr: he rises with the save itself
    float ballX;        // the ball's velocity: away from the goal or into it
    int32_t G::*after;
  };
  const Case cases[] = {
      {&G::keeperSaveLowLeft, &G::keeperGetUpLeft, 300.0f, &G::keeperCelebrate},
      {&G::keeperSaveHighRight, &G::keeperGetUpRight, -300.0f, &G::keeperStand},
      {&G::keeperSaveHighCentre, nullptr, 300.0f, &G::keeperCelebrate},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "dive " << game->*c.dive);
    game->ballVelocity = Vector4(c.ballX, 0.0f, 0.0f, 0.0f);
    keeper->Play(game->*c.dive, 0, 0.0f);
    for (int i = 0; i < 600 && !keeper->IsAnimationFinished(game->*c.dive); ++i)
      keeper->Update(1.0f);
    ASSERT_TRUE(keeper->IsAnimationFinished(game->*c.dive));
    game->KeeperRecovery();
    if (c.getUp) {
      EXPECT_EQ(keeper->GetCurrentAnimation(), game->*c.getUp);
    }
    for (int i = 0; i < 600 && !keeper->IsAnimationActive(game->*c.after); ++i) {
      keeper->Update(1.0f);
      game->KeeperRecovery();
    }
    EXPECT_TRUE(keeper->IsAnimationActive(game->*c.after));
    EXPECT_EQ(game->keeperPosition.z, 0.0f);
  }
}

}  // namespace

namespace {

// After a blocked kick the commentary answers the block: the legs, the groin, or anything else.
TEST_F(FootballOutcomesTest, TheCommentaryAnswersTheWayTheBallWasBlocked) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  struct Case {
    int32_t lastReaction;
    std::vector<int32_t> lines;  // one of these plays
  };
  const Case cases[] = {
      {5, {37, 19, 20, 21}}, {0, {22, 23, 24}}, {1, {22, 23, 24}}, {2, {22, 23, 24}},
      {4, {22, 23, 24}},     {3, {37}},         {37, {37}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lastReaction);
    // Each of its lines comes up in time, and only one plays at once.
    std::vector<int32_t> heard;
    for (int round = 0; round < 40; ++round) {
      Hush();
      game->lastReaction = c.lastReaction;
      game->PlayDeflectionReaction();
      int playing = 0;
      for (int32_t line = 0; line < 64; ++line) {
        if (!Speech(game, line)) continue;
        ++playing;
        EXPECT_NE(std::find(c.lines.begin(), c.lines.end(), line), c.lines.end()) << line;
        if (std::find(heard.begin(), heard.end(), line) == heard.end()) heard.push_back(line);
      }
      ASSERT_EQ(playing, 1);
    }
    EXPECT_EQ(heard.size(), c.lines.size());
  }
}

// Clemency answers a hit with one of her lines, each in time.
TEST_F(FootballOutcomesTest, ClemencyHasFiveThingsToSayWhenHit) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  std::vector<int32_t> heard;
  for (int round = 0; round < 40; ++round) {
    Hush();
    game->ballPosition = game->clemencyPosition;
    game->ballPosition.z = 160.0f;
    game->ballVelocity = Vector4(0.0f, 900.0f, 0.0f, 0.0f);
    game->ballSpeed = 900.0f;
    game->CheckClemencyHit();
    ASSERT_EQ(game->ballState, G::kBallHitClemency);
    for (int32_t line = 0; line < 64; ++line)
      if (Speech(game, line) && std::find(heard.begin(), heard.end(), line) == heard.end())
        heard.push_back(line);
  }
  std::sort(heard.begin(), heard.end());
  EXPECT_EQ(heard, (std::vector<int32_t>{36, 38, 39, 40, 41}));
}

}  // namespace

namespace {

// What the keeper makes of a kick, from where it crosses the goal line or where it stops.
TEST_F(FootballOutcomesTest, TheKeeperReadsAKickByWhereItCrossesOrStops) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  // On the demo pitch and on one whose goal stands further up the x axis.
  const Vector4 demoGoal = game->goalCentre;
  for (const float shift : {0.0f, 1000.0f}) {
    SCOPED_TRACE(shift);
    game->goalCentre.x = demoGoal.x + shift;
    const Vector4 goal = game->goalCentre;
    struct Case {
      float y, z;  // where it would cross the goal line (z: 0 for a ball that stops short)
      float speed;
      int32_t shotClass;
    };
    const Case cases[] = {
        {0.0f, 100.0f, 1400.0f, G::kShotOnTarget},    {420.0f, 100.0f, 1400.0f, G::kShotNearMiss},
        {-420.0f, 100.0f, 1400.0f, G::kShotNearMiss}, {600.0f, 100.0f, 1400.0f, G::kShotWide},
        {-600.0f, 100.0f, 1400.0f, G::kShotWide},     {0.0f, 500.0f, 1400.0f, G::kShotWide},
        {300.0f, 0.0f, 1.0f, G::kShotRestsNearGoal},  {500.0f, 0.0f, 1.0f, G::kShotFarFromGoal},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.y << "," << c.z);
      const float t = 200.0f / 1400.0f;
      const bool stops = c.z == 0.0f;
      game->phase = G::kPhaseRunUp;
      game->ballPosition = Vector4(goal.x + (stops ? 100.0f : 200.0f), goal.y + c.y,
                                   stops ? 10.0f : c.z + 360.0f * t * t, 1.0f);
      game->ballVelocity = Vector4(-c.speed, 0.0f, 0.0f, 0.0f);
      game->ballSpin = Vector4(0, 0, 0, 0);
      game->ballSpeed = c.speed;
      game->PredictFlight();
      EXPECT_EQ(game->shotClass, c.shotClass);
      if (!stops) {
        // Where the keeper will meet it: the first point of its flight past his line.
        EXPECT_LE(game->keeperPlanePoint.x, goal.x + 35.0f);
        EXPECT_GT(game->keeperPlanePoint.x, goal.x + 35.0f - c.speed / 60.0f);
        EXPECT_NEAR(game->keeperPlanePoint.y, goal.y + c.y, 0.5f);
      }
    }
  }
  game->goalCentre = demoGoal;
}

// The intro shows Dulcie alone on her walk, then the pitch as it will be played.
TEST_F(FootballDrawingTest, TheIntroShowsDulcieThenThePitch) {
  G* game = StartFromMenu(kModeNormal, 0);
  ASSERT_NE(game, nullptr);
  ASSERT_EQ(game->phase, G::kPhaseIntro);
  struct Case {
    int32_t step;
    bool dulcie, pitch;
  };
  for (const Case c : {Case{G::kIntroFadeIn, true, false}, Case{G::kIntroFlyOver, true, false},
                       Case{G::kIntroFadeDown, true, false}, Case{G::kIntroFadeUp, false, true},
                       Case{G::kIntroStartScript, false, true}}) {
    SCOPED_TRACE(c.step);
    game->introStep = c.step;
    game->BeginHudFrame();
    const std::vector<Drawn> drawn = RenderOnce(game);
    EXPECT_EQ(game->GetHudPieceCount() > 0, c.pitch) << "the HUD comes with the pitch";
    EXPECT_EQ(Count(drawn, game->dulcieAnim->GetModel(), &game->dulcieStartPosition),
              c.dulcie ? 1 : 0);
    EXPECT_EQ(Count(drawn, game->keeperAnim->GetModel(), &game->keeperPosition), c.pitch ? 1 : 0);
    EXPECT_EQ(Count(drawn, game->ballGeo, &game->ballPosition), c.pitch ? 1 : 0);
    EXPECT_EQ(Count(drawn, game->targetGeo), c.pitch ? G::kTargetCount : 0);
    for (const cDefender* d : game->defenders)
      EXPECT_EQ(Count(drawn, d->anim->GetModel(), &d->position), c.pitch ? 1 : 0);
  }
  game->introStep = G::kIntroFadeIn;
}

}  // namespace

namespace {

// A kick is planned against the defenders it will pass: each it comes within reach of knows
// from which tick it can be hit.
TEST_F(FootballOutcomesTest, AKickKnowsWhichDefendersItPassesAndWhen) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  const float reach = static_cast<float>(GetDefenderRules().maxReach) + 50.0f;
  for (int32_t i = 0; i < kDefenderCount; ++i) {
    SCOPED_TRACE(i);
    const Vector4 g = game->defenders[i]->guardPosition;
    game->phase = G::kPhaseRunUp;
    game->ballPosition = Vector4(g.x + reach + 200.0f, g.y, 10.0f, 1.0f);
    game->ballVelocity = Vector4(-900.0f, 0.0f, 0.0f, 0.0f);
    game->ballSpin = Vector4(0, 0, 0, 0);
    game->PredictFlight();
    const cDefender* d = game->defenders[i];
    EXPECT_EQ(d->inReach, 1);
    // 200 units at 15 a tick, slowing as it rolls.
    EXPECT_GE(d->enterTick, 12u);
    EXPECT_LE(d->enterTick, 30u);
    // And out of his reach again once it has rolled past him (500 units more).
    EXPECT_GT(d->leaveTick, d->enterTick + 30u);
    EXPECT_LT(d->leaveTick, d->enterTick + 80u);
    for (const cDefender* other : game->defenders) {
      if (std::fabs(other->guardPosition.y - g.y) > reach + 1.0f) {
        EXPECT_EQ(other->inReach, 0) << "a defender well to the side";
      }
    }
  }
}

// A fast ball kicks up the grass where it lands; a slow one does not.
TEST_F(FootballOutcomesTest, AFastBounceThrowsUpGrass) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  ASSERT_NE(game->grassFx, -1);
  for (const float speed : {1200.0f, 300.0f}) {
    SCOPED_TRACE(speed);
    game->phase = G::kPhaseFlight;
    game->lastEffect = -1;
    game->ballPosition = Vector4(1000.0f, 0.0f, 11.0f, 1.0f);
    game->ballVelocity = Vector4(-speed, 0.0f, -400.0f, 0.0f);
    game->ballSpeed = speed;
    game->ballSpin = Vector4(0, 0, 0, 0);
    game->StepBall();
    EXPECT_EQ(game->lastEffect != -1, speed > 500.0f);
    EXPECT_GT(game->ballVelocity.z, 0.0f) << "it bounced";
  }
}

// A kick wide of the goal or onto the frame scores nothing, whatever it does after.
TEST_F(FootballOutcomesTest, WideOrOnTheFrameIsNoGoal) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  const Vector4 goal = game->goalCentre;
  struct Case {
    const char* name;
    float y, z;
  };
  for (const Case c : {Case{"wide", 600.0f, 100.0f}, Case{"the left post", -366.0f, 100.0f},
                       Case{"the bar", 0.0f, 244.0f}}) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(RunToAim(game));
    const uint32_t goals = game->goals;
    const int32_t score = game->GetScore(0);
    const float t = 200.0f / 1400.0f;
    game->phase = G::kPhaseRunUp;
    game->ballPosition = Vector4(goal.x + 200.0f, goal.y + c.y, c.z + 360.0f * t * t, 1.0f);
    game->ballVelocity = Vector4(-1400.0f, 0.0f, 0.0f, 0.0f);
    game->ballSpin = Vector4(0, 0, 0, 0);
    game->ballSpeed = 1400.0f;
    game->PredictFlight();
    ASSERT_EQ(game->phase, G::kPhaseFlight);
    bool celebrated = false;
    ASSERT_TRUE(RunUntil(
        m_harness,
        [&] {
          celebrated |= game->phase == G::kPhaseGoalOrbit || game->phase == G::kPhaseCelebration;
          return game->phase == G::kPhaseAim && !game->m_fadeTimer.IsRunning();
        },
        1500));
    EXPECT_FALSE(celebrated);
    EXPECT_EQ(game->goals, goals);
    EXPECT_EQ(game->GetScore(0), score);
  }
}

}  // namespace

namespace {

// Whether `d` was drawn at `at` turned by `turn` about the vertical.
bool PlacedAs(const Matrix& placement, float turn, const Vector4& at, float slack = 1e-3f) {
  const Matrix want = football::PlacedZ(turn, at);
  for (int i : {0, 1, 4, 5, 10, 12, 13, 14})
    if (std::fabs(placement[i] - want[i]) > (i >= 12 ? 0.5f : slack)) return false;
  return true;
}

// Where each character stands and which way each faces, with a shadow on the ground under it.
TEST_F(FootballDrawingTest, EachCharacterFacesItsWayWithItsShadowUnderIt) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  game->orwenDelay = 1;
  m_harness.RunFrames(30);
  ASSERT_EQ(game->orwenActive, 1);
  const std::vector<Drawn> drawn = RenderOnce(game);
  auto ground = [](const Vector4& v) { return Vector4(v.x, v.y, 0.0f, 1.0f); };
  const Vector4 ballGround = ground(game->ballPosition);
  EXPECT_EQ(Count(drawn, game->shadowBlobGeo, &ballGround), 1) << "the ball's shadow";
  for (const cDefender* d : game->defenders) {
    const Vector4 under = ground(d->position);
    EXPECT_EQ(Count(drawn, game->shadowBlobGeo, &under), 1) << "a defender's shadow";
    const float toBall =
        std::atan2(game->ballPosition.y - d->position.y, game->ballPosition.x - d->position.x);
    const NodeContainer* model = GetApp().GetNodeFactory()->Find(d->anim->GetModel());
    for (const Drawn& x : drawn) {
      if (x.container == model) {
        // Turned as he stood at the tick's start: he may have stepped on since.
        EXPECT_TRUE(PlacedAs(x.placement, toBall + 1.5707964f, d->position, 0.02f))
            << "every defender faces the ball";
      }
    }
  }
  for (const Vector4& at : {game->clemencyPosition, game->orwenPosition}) {
    const Vector4 under = ground(at);
    EXPECT_EQ(Count(drawn, game->shadowBlobLargeGeo, &under), 1) << "a bystander's shadow";
  }
  const NodeContainer* clemency = GetApp().GetNodeFactory()->Find(game->clemencyAnim->GetModel());
  const NodeContainer* orwen = GetApp().GetNodeFactory()->Find(game->orwenAnim->GetModel());
  const NodeContainer* bike = GetApp().GetNodeFactory()->Find(game->bikeAnim->GetModel());
  for (const Drawn& x : drawn) {
    if (x.container == clemency) {
      EXPECT_TRUE(PlacedAs(x.placement, 0.0f, game->clemencyPosition));
    }
    if (x.container == orwen || x.container == bike) {
      EXPECT_TRUE(PlacedAs(x.placement, game->orwenHeading, game->orwenPosition))
          << "Orwen rides the way his path goes";
    }
  }
  // The ball turned to the way it goes.
  const NodeContainer* ball = GetApp().GetNodeFactory()->Find(game->ballGeo);
  game->ballRoll = 0.0f;
  for (const Drawn& x : RenderOnce(game)) {
    if (x.container == ball) {
      EXPECT_TRUE(PlacedAs(x.placement,
                           std::atan2(game->ballVelocity.y, game->ballVelocity.x) - 3.1415927f,
                           game->ballPosition));
    }
  }
  // The wind arrow, in the overlay, points the way the wind blows as the player faces; it keeps
  // its bearing once the kick is taken.
  RenderWindow* overlay = game->OverlayWindow();
  const NodeContainer* arrow = GetApp().GetNodeFactory()->Find(game->windArrowGeo);
  for (const int32_t phase : {G::kPhaseAim, G::kPhaseFlight}) {
    SCOPED_TRACE(phase);
    game->phase = phase;
    game->wind = phase == G::kPhaseAim ? Vector4(0.0f, 0.01f, 0.0f, 0.0f) : Vector4(0.01f, 0, 0, 0);
    game->heading = 0.5f;
    const int32_t from = overlay->GetRenderNodeCount();
    game->Render();
    int arrows = 0;
    for (int32_t i = from; i < overlay->GetRenderNodeCount(); ++i) {
      const RenderNodeRecord* r = overlay->GetRenderNode(i);
      if (r->container != arrow) continue;
      ++arrows;
      EXPECT_NEAR(r->placement[12], 550.0f, 0.01f);
      EXPECT_NEAR(r->placement[13], 900.0f, 0.01f);
    }
    EXPECT_EQ(arrows, 1);
    EXPECT_NEAR(game->windArrowAngle, -1.5707964f - 0.5f, 1e-4f);
  }
  game->phase = G::kPhaseAim;
  game->heading = 0.0f;
  // A target hit is drawn dimmed.
  game->targetLit[2] = 0;
  const NodeContainer* target = GetApp().GetNodeFactory()->Find(game->targetGeo);
  for (const Drawn& x : RenderOnce(game)) {
    if (x.container != target) continue;
    const bool dark = std::fabs(x.at.x - game->targetZones[2].x) < 0.5f &&
                      std::fabs(x.at.y - game->targetZones[2].y) < 0.5f;
    EXPECT_NEAR(x.tint.x, dark ? 0.4f : 1.0f, 1e-4f);
  }
  game->targetLit[2] = 1;
}

}  // namespace

namespace {

// Dulcie on her run-up, then where she kicked from, facing the goal after a goal and away from
// it after a save; while a kick is aimed she is not drawn.
TEST_F(FootballDrawingTest, DulcieIsDrawnOnHerRunUpThenWhereSheKicked) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  game->runUpStart = Vector4(1300.0f, 40.0f, 0.0f, 1.0f);
  game->runUpEnd = Vector4(1100.0f, 20.0f, 0.0f, 1.0f);
  game->runUpHeading = 0.3f;
  game->dulcieSpot = Vector4(1060.0f, -25.0f, 0.0f, 1.0f);
  const float up = 1.5707964f;
  struct Case {
    int32_t phase, ballState;
    bool drawn, onRunUp;
    float turn;
  };
  const Case cases[] = {
      {G::kPhaseRunUp, G::kBallNoOutcome, true, true, 0.3f},
      {G::kPhaseCelebration, G::kBallGoalBound, true, false, up},
      {G::kPhaseKeeperHolds, G::kBallAtRest, true, false, -up},
      {G::kPhaseGoalOrbit, G::kBallGoalBound, true, true, 0.3f},
      {G::kPhaseTimeUp, G::kBallGoalBound, true, false, up},
      {G::kPhaseEnd, G::kBallAtRest, true, false, -up},
      {G::kPhaseAim, G::kBallNoOutcome, false, false, 0.0f},
      {G::kPhaseFlight, G::kBallWide, false, false, 0.0f},
  };
  const NodeContainer* dulcie = GetApp().GetNodeFactory()->Find(game->dulcieAnim->GetModel());
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "phase " << c.phase);
    game->phase = c.phase;
    game->ballState = c.ballState;
    game->runUp = 0.25f;
    const Vector4 running(1250.0f, 35.0f, 0.0f, 1.0f);
    int seen = 0;
    const std::vector<Drawn> drawn = RenderOnce(game);
    for (const Drawn& d : drawn) {
      if (d.container != dulcie) continue;
      ++seen;
      EXPECT_TRUE(PlacedAs(d.placement, c.turn, c.onRunUp ? running : game->dulcieSpot));
    }
    EXPECT_EQ(seen, c.drawn ? 1 : 0);
    // Her shadow with Clemency's (and Orwen's when he rides).
    EXPECT_EQ(Count(drawn, game->shadowBlobLargeGeo),
              (c.drawn ? 1 : 0) + game->clemencyVisible + game->orwenActive);
  }
  // After a save she stands in her losing pose, but the next kick's aim does not show her.
  game->dulcieAnim->Play(game->dulcieLosing, 0, 0.0f);
  game->phase = G::kPhaseAim;
  for (const Drawn& d : RenderOnce(game)) EXPECT_NE(d.container, dulcie);
  game->phase = G::kPhaseNextKick;
  game->ballState = G::kBallGoalBound;
  game->m_fadeTimer.Start(0, 60.0f);
  for (const Drawn& d : RenderOnce(game)) EXPECT_NE(d.container, dulcie) << "not while fading";
}

// Until the kick the keeper watches the ball; for a kick at goal he faces up the pitch, and for
// one that will stop short he watches it still.
TEST_F(FootballDrawingTest, TheKeeperWatchesTheBallUnlessItIsComingAtGoal) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  game->ballPosition = Vector4(600.0f, 300.0f, 10.0f, 1.0f);
  const Vector4 keeper = game->keeperPosition;
  const float watching =
      std::atan2(game->ballPosition.y - keeper.y, game->ballPosition.x - keeper.x) + 1.5707964f;
  struct Case {
    int32_t phase, shotClass;
    bool fading, watches;
  };
  const Case cases[] = {
      {G::kPhaseAim, G::kShotOnTarget, false, true},
      {G::kPhaseRunUp, G::kShotOnTarget, false, true},
      {G::kPhaseFlight, G::kShotOnTarget, false, false},
      {G::kPhaseFlight, G::kShotNearMiss, false, false},
      {G::kPhaseFlight, G::kShotWide, false, false},
      {G::kPhaseFlight, G::kShotRestsNearGoal, false, true},
      {G::kPhaseFlight, G::kShotFarFromGoal, false, true},
      {G::kPhaseKeeperHolds, G::kShotOnTarget, false, false},
      {G::kPhaseNextKick, G::kShotOnTarget, true, true},
      {G::kPhaseNextKick, G::kShotOnTarget, false, false},
  };
  const NodeContainer* model = GetApp().GetNodeFactory()->Find(game->keeperAnim->GetModel());
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.phase << "/" << c.shotClass << "/" << c.fading);
    game->phase = c.phase;
    game->shotClass = c.shotClass;
    if (c.fading) {
      game->m_fadeTimer.Start(1, 60.0f);
    } else {
      game->m_fadeTimer.Start(1, 0.0f);
      game->m_fadeTimer.m_running = 0;
    }
    int seen = 0, arrows = 0;
    const NodeContainer* arrow = GetApp().GetNodeFactory()->Find(game->arrowGeo);
    for (const Drawn& d : RenderOnce(game)) {
      arrows += d.container == arrow;
      if (d.container != model) continue;
      ++seen;
      EXPECT_TRUE(PlacedAs(d.placement, c.watches ? watching : 1.5707964f, keeper));
    }
    EXPECT_EQ(seen, 1);
    // The aim arrow shows while aiming, and through the fades into the next aim.
    EXPECT_EQ(arrows, c.phase == G::kPhaseAim || (c.phase == G::kPhaseNextKick && c.fading));
  }
}

// The HUD's pieces where the player reads them: the power bar's marker and arrow at the power,
// its red and blue fill; the wind bar's length; the goals' number.
class FootballHudTest : public FootballOutcomesTest {
 protected:
  struct Quad {
    int32_t texture;
    float x, y;
  };
  template <typename Draw>
  std::vector<Quad> Quads(G* game, Draw draw) {
    const PolygonPools& pools = game->PitchWindow()->GetPolygonPools();
    const int32_t from = pools.GetPolygonCount(PolygonPools::kAlpha2D);
    draw();
    std::vector<Quad> quads;
    for (int32_t i = from; i < pools.GetPolygonCount(PolygonPools::kAlpha2D); ++i) {
      const PolygonData2D* p = pools.Get2D(PolygonPools::kAlpha2D, i);
      Quad q{p->texture, p->vertices[0].x, p->vertices[0].y};
      for (int32_t v = 1; v < p->vertexCount; ++v) {
        q.x = std::min(q.x, p->vertices[v].x);
        q.y = std::min(q.y, p->vertices[v].y);
      }
      quads.push_back(q);
    }
    return quads;
  }
  static std::vector<Quad> Of(const std::vector<Quad>& quads, int32_t texture) {
    std::vector<Quad> of;
    for (const Quad& q : quads)
      if (q.texture == texture) of.push_back(q);
    return of;
  }
};

TEST_F(FootballHudTest, ThePowerBarsMarkerStandsAtThePower) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  struct Case {
    float bar;
    float marker;
    int red, blue;
  };
  for (const Case c :
       {Case{300.0f, 299.0f, 1, 7}, Case{200.0f, 243.0f, 4, 3}, Case{100.0f, 187.0f, 8, 0}}) {
    SCOPED_TRACE(c.bar);
    game->powerBar = c.bar;
    const std::vector<Quad> quads = Quads(game, [&] { game->DrawPowerBar(); });
    const int32_t* t = game->hudTextures;
    const std::vector<Quad> background = Of(quads, t[G::kTexPowerBackground]);
    ASSERT_EQ(background.size(), 1u);
    EXPECT_EQ(background[0].x, 576.0f);
    EXPECT_EQ(background[0].y, 178.0f);
    const std::vector<Quad> marker = Of(quads, t[G::kTexPowerIndicator]);
    ASSERT_EQ(marker.size(), 1u);
    EXPECT_EQ(marker[0].x, 568.0f);
    EXPECT_EQ(marker[0].y, c.marker);
    const std::vector<Quad> arrow = Of(quads, t[G::kTexPowerArrow]);
    ASSERT_EQ(arrow.size(), 1u);
    EXPECT_EQ(arrow[0].x, 569.0f);
    EXPECT_EQ(arrow[0].y, c.marker + 8.0f);
    const std::vector<Quad> red = Of(quads, t[G::kTexPowerRedMiddle]);
    ASSERT_EQ(red.size(), static_cast<size_t>(c.red));
    for (int i = 0; i < c.red; ++i) {
      EXPECT_EQ(red[i].x, 576.0f);
      EXPECT_EQ(red[i].y, 304.0f - 16.0f * i) << "the red fills up from the bottom";
    }
    const std::vector<Quad> blue = Of(quads, t[G::kTexPowerBlueMiddle]);
    ASSERT_EQ(blue.size(), static_cast<size_t>(c.blue));
    for (int i = 0; i < c.blue; ++i) {
      EXPECT_EQ(blue[i].x, 576.0f);
      EXPECT_EQ(blue[i].y, 200.0f + 16.0f * i) << "the blue from the top";
    }
  }
}

TEST_F(FootballHudTest, TheWindBarIsAsLongAsTheWindIsStrongAndTheGoalsAreCounted) {
  G* game = Loaded();
  ASSERT_NE(game, nullptr);
  const int32_t middle = game->hudTextures[G::kTexWindMiddle];
  struct Case {
    float strength;
    std::vector<float> middles;  // the whole middle pieces' left edges
    float rightCap;
  };
  const Case cases[] = {{0.0f, {}, 483.0f},
                        {0.05f, {483.0f}, 488.0f},  // a strip 5.8 wide, cut from one piece
                        {0.5f, {483.0f, 499.0f, 515.0f, 525.0f}, 541.0f},
                        {1.0f, {483, 499, 515, 531, 547, 563, 579, 583}, 599.0f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.strength);
    game->windStrength = c.strength;
    const std::vector<Quad> quads = Quads(game, [&] { game->DrawWindBar(); });
    const std::vector<Quad> background = Of(quads, game->hudTextures[G::kTexWindBackground]);
    ASSERT_EQ(background.size(), 1u);
    EXPECT_EQ(background[0].x, 477.0f);
    const std::vector<Quad> left = Of(quads, game->hudTextures[G::kTexWindLeft]);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].x, 467.0f);
    const std::vector<Quad> right = Of(quads, game->hudTextures[G::kTexWindRight]);
    ASSERT_EQ(right.size(), 1u);
    EXPECT_EQ(right[0].x, c.rightCap);
    const std::vector<Quad> pieces = Of(quads, middle);
    ASSERT_EQ(pieces.size(), c.middles.size());
    for (size_t i = 0; i < pieces.size(); ++i) {
      EXPECT_EQ(pieces[i].x, c.middles[i]);
      EXPECT_EQ(pieces[i].y, 21.0f);
    }
  }
  // The row of Mr Gorst's icons along the top right, a twentieth of the width apart.
  const std::vector<Quad> icons =
      Of(Quads(game, [&] { game->DrawIconRow(); }), game->hudTextures[G::kTexGorstIcon]);
  ASSERT_EQ(icons.size(), 3u);
  const float w = static_cast<float>(game->PitchWindow()->GetWidth());
  const float h = static_cast<float>(game->PitchWindow()->GetHeight());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(icons[i].x, w - w / 20.0f * static_cast<float>(i + 1));
    EXPECT_EQ(icons[i].y, h / 20.0f);
  }
  // Each HUD piece of a frame is noted where it was drawn: the goals and the wind while aiming,
  // the power bar too while running up.
  RenderWindow* window = game->PitchWindow();
  for (const int32_t phase : {G::kPhaseAim, G::kPhaseRunUp}) {
    SCOPED_TRACE(phase);
    game->phase = phase;
    game->timeLeft = phase == G::kPhaseAim ? 125 : 0;
    game->BeginHudFrame();
    const int32_t texts = window->GetTextItemCount();
    game->Render();
    // The clock in minutes and seconds.
    bool clock = false;
    for (int32_t i = texts; i < window->GetTextItemCount(); ++i)
      clock |= std::u16string(window->GetTextItem(i)->text) ==
               (phase == G::kPhaseAim ? u"02:05" : u"00:00");
    EXPECT_TRUE(clock);
    std::vector<std::string> names;
    for (int32_t i = 0; i < game->GetHudPieceCount(); ++i) {
      const G::HudPiece* piece = game->GetHudPiece(i);
      names.push_back(piece->name);
      if (names.back() == "goals") {
        EXPECT_EQ(piece->rect.x0, 391.0f);
        EXPECT_EQ(piece->rect.y0, 21.0f);
      }
      if (names.back() == "wind") {
        EXPECT_EQ(piece->rect.x0, 467.0f);
      }
      if (names.back() == "power") {
        EXPECT_EQ(piece->rect.x0, 568.0f);
      }
    }
    for (const char* name : {"goals", "wind", "power", "score", "clock"}) {
      const bool drawn = std::find(names.begin(), names.end(), name) != names.end();
      EXPECT_EQ(drawn, std::string(name) != "power" || phase == G::kPhaseRunUp) << name;
    }
  }
  game->phase = G::kPhaseAim;
  game->timeLeft = 100;
  // The goals so far, in the counter's box: one digit, then two set further left.
  RenderWindow* pitch = game->PitchWindow();
  for (const uint32_t goals : {7u, 12u}) {
    game->goals = goals;
    const int32_t from = pitch->GetTextItemCount();
    game->DrawGoalsCounter();
    ASSERT_EQ(pitch->GetTextItemCount(), from + 1);
    const TextItem* item = pitch->GetTextItem(from);
    EXPECT_EQ(std::u16string(item->text), goals == 7u ? u"7" : u"12");
    EXPECT_EQ(item->x, goals == 7u ? 400 : 392);
    EXPECT_EQ(item->y, 24);
  }
}

}  // namespace

namespace {

// A challenge is played for goals alone: no targets on the pitch and no score on the HUD.
TEST_F(FootballDrawingTest, AChallengeShowsNoTargetsAndNoScore) {
  G* game = Loaded(kModeChallenge2);
  ASSERT_NE(game, nullptr);
  game->BeginHudFrame();
  const std::vector<Drawn> drawn = RenderOnce(game);
  EXPECT_EQ(Count(drawn, game->targetGeo), 0);
  EXPECT_EQ(Count(drawn, game->ballGeo, &game->ballPosition), 1);
  bool score = false, goals = false;
  for (int32_t i = 0; i < game->GetHudPieceCount(); ++i) {
    score |= std::string(game->GetHudPiece(i)->name) == "score";
    goals |= std::string(game->GetHudPiece(i)->name) == "goals";
  }
  EXPECT_FALSE(score);
  EXPECT_TRUE(goals);
}

}  // namespace
