// The men in white coats on the first level's real path maps: patrol with its random exits,
// spotting, the chase and giving up, the walk back, the stun, the pair rules and the steered
// enemy of the two-player mode.
#include <cmath>
#include <string>
#include <vector>

#include "Engine/BaseParticleSystem.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Game/Helper/AnimationHelper.h"
#include "tests/tessel/TesselTestSupport.h"

namespace {

class EnemyTest : public TesselTest {
 protected:
  void SetUp() override {
    TesselTest::SetUp();
    m_game = StartPlaying(kModeNormal);
    ASSERT_NE(m_game, nullptr);
  }
  // The junction at (x, y).
  TesselNavNode* Junction(float x, float y) {
    for (uint32_t i = 0; i < m_game->GetJunctionCount(); ++i) {
      TesselNavNode* node = &m_game->GetJunctions()[i];
      if (node->position.x == x && node->position.y == y) return node;
    }
    ADD_FAILURE() << "no junction at " << x << "," << y;
    return nullptr;
  }
  // Tessel far off in a corner, out of everyone's way.
  void PlayerAway() { m_game->SetPlayerPosition(Vector4(2450.0f, -150.0f, 0.0f, 1.0f)); }
  cTesselEnemy& Enemy(uint32_t i) { return *m_game->GetEnemy(i); }

  cTesselGame* m_game = nullptr;
};

TEST_F(EnemyTest, TheFirstEnemyPatrolsByRandomExitsTheOthersTowardsTessel) {
  PlayerAway();
  cTesselEnemy& first = Enemy(0);
  ASSERT_EQ(first.GetSerial(), 0u);
  TesselNavNode* centre = Junction(1300, -1500);
  TesselNavNode* west = Junction(400, -1500);
  first.SetState(kEnemyPatrol);
  first.SetPosition(west->position);
  first.SetNodes(west, centre);
  first.SetProgress(0.0f);
  // 900 units at 2.5 a tick: 360 ticks to the centre, then one draw among the three ways that
  // do not lead back west (+y, -y, +x in link order).
  SeedRand(99);
  for (int tick = 0; tick < 359; ++tick) first.PatrolStep(m_game->GetWalkSpeed());
  EXPECT_EQ(GetRandCount(), 0u);
  EXPECT_NEAR(first.GetPosition().x, 400.0f + 359 * 2.5f, 0.05f);
  EXPECT_FLOAT_EQ(first.GetFacing(), 1.5707964f) << "walking +x faces pi/2";
  for (int tick = 0; tick < 3 && first.GetCurrentNode() != centre; ++tick)
    first.PatrolStep(m_game->GetWalkSpeed());
  EXPECT_EQ(first.GetCurrentNode(), centre);
  EXPECT_EQ(first.GetArrivalDirection(), kTesselMinusX) << "the way back is -x";
  const uint32_t draw = 99u * 1664525u + 1013904223u;
  TesselNavNode* const ways[3] = {centre->links[kTesselPlusY], centre->links[kTesselMinusY],
                                  centre->links[kTesselPlusX]};
  EXPECT_EQ(first.GetTargetNode(), ways[draw % 3]);
  EXPECT_EQ(GetRandCount(), 2u);
  // Any other enemy chooses by Tessel's position instead, and draws nothing.
  cTesselEnemy& second = Enemy(1);
  second.SetState(kEnemyPatrol);
  second.SetPosition(west->position);
  second.SetNodes(west, centre);
  for (int tick = 0; tick < 363 && !second.GetChooseByPlayer(); ++tick)
    second.PatrolStep(m_game->GetWalkSpeed());
  EXPECT_EQ(second.GetChooseByPlayer(), 1);
  second.ChooseByPlayer(m_game->GetPlayerPosition());
  EXPECT_EQ(second.GetTargetNode(), centre->links[kTesselPlusY]) << "Tessel is up and right";
  EXPECT_EQ(GetRandCount(), 2u);
}

// The game's own tick walks a patrolling man on, and gives up a chase held against a hedge once he
// has been blocked for more than a fifth of a second, however long he has chased.
TEST_F(EnemyTest, TheTickWalksAPatrolAndEndsAChaseBlockedTooLong) {
  PlayerAway();
  cTesselEnemy& first = Enemy(0);
  Enemy(1).SetPosition(Vector4(2500, -2500, 0, 1));
  Enemy(1).Stun(100.0f, 60.0f);
  TesselNavNode* centre = Junction(1300, -1500);
  TesselNavNode* west = Junction(400, -1500);
  first.SetState(kEnemyPatrol);
  first.SetPosition(west->position);
  first.SetNodes(west, centre);
  first.SetProgress(0.0f);
  for (int tick = 0; tick < 10; ++tick) m_game->UpdateEnemies();
  EXPECT_NEAR(first.GetPosition().x, 400.0f + 10 * 2.5f, 0.05f);
  EXPECT_EQ(first.GetState(), kEnemyPatrol);
  // Below the shed with Tessel close above it: never too far, only blocked.
  first.SetPosition(Vector4(1100, -1182, 0, 1));
  m_game->SetPlayerPosition(Vector4(1000, -900, 0, 1));
  first.SetChasing();
  first.SetChaseFrames(100);
  for (int tick = 1; tick <= 12; ++tick) {
    m_game->UpdateEnemies();
    ASSERT_EQ(first.GetState(), kEnemyChase) << tick;
  }
  EXPECT_EQ(first.GetBlockedFrames(), 12u);
  m_game->UpdateEnemies();
  EXPECT_EQ(first.GetState(), kEnemyReturn) << "13 blocked frames > 60 / 5";
}

// A chaser who would run into a stunned man is held back, whichever of the two is first.
TEST_F(EnemyTest, AChaserIsHeldBackFromAStunnedMan) {
  // The stunned man stands at (1300, -1500). A step that would end within 89 of him is taken
  // back, but for its part along an axis that keeps him beyond 89.
  const struct {
    const char* what;
    Vector4 from, her;
    bool keepX, keepY;
  } cases[] = {
      {"straight into him", Vector4(1300, -1570, 0, 1), Vector4(1300, -1200, 0, 1), false, false},
      {"past him, his x clear", Vector4(1385, -1530, 0, 1), Vector4(1390, -1300, 0, 1), true,
       false},
      {"past him, his y clear", Vector4(1330, -1585, 0, 1), Vector4(1100, -1590, 0, 1), false,
       true},
  };
  for (const auto& c : cases) {
    for (const uint32_t chaserIndex : {0u, 1u}) {
      SCOPED_TRACE(testing::Message() << c.what << ", chaser " << chaserIndex);
      cTesselEnemy& chaser = Enemy(chaserIndex);
      cTesselEnemy& stunned = Enemy(1 - chaserIndex);
      stunned.SetPosition(Vector4(1300, -1500, 0, 1));
      stunned.Stun(100.0f, 60.0f);
      chaser.StunTick();
      chaser.Stun(0.0f, 60.0f);
      chaser.StunTick();
      chaser.SetPosition(c.from);
      chaser.SetPreviousPosition(c.from);
      chaser.SetChasing();
      m_game->SetPlayerPosition(c.her);
      m_game->UpdateEnemies();
      EXPECT_EQ(chaser.GetState(), kEnemyChase);
      EXPECT_EQ(chaser.GetPosition().x == c.from.x, !c.keepX) << chaser.GetPosition().x;
      EXPECT_EQ(chaser.GetPosition().y == c.from.y, !c.keepY) << chaser.GetPosition().y;
    }
  }
}

TEST_F(EnemyTest, SpottingNeedsRangeSightAndTheRightSide) {
  cTesselEnemy& enemy = Enemy(0);
  Enemy(1).SetPosition(Vector4(2500, -2500, 0, 1));
  Enemy(1).Stun(100.0f, 60.0f);
  // He stands on the left path facing +y (pi); she is placed relative to him. Walking back he
  // sees less far than on patrol.
  TesselNavNode* node = Junction(400, -1500);
  const Vector4 at(400, -1560, 0, 1);
  const struct {
    const char* what;
    int32_t from;
    float dx, dy, facing;
    int32_t state;
  } cases[] = {
      {"in front, 300 away", kEnemyPatrol, 0, 300, 3.1415927f, kEnemyChase},
      {"in front, 375 away", kEnemyPatrol, 0, 375, 3.1415927f, kEnemyChase},
      {"in front, 385 away (beyond 145000)", kEnemyPatrol, 0, 385, 3.1415927f, kEnemyPatrol},
      {"behind him", kEnemyPatrol, 0, -300, 3.1415927f, kEnemyPatrol},
      {"beside, just in front", kEnemyPatrol, 300, 10, 3.1415927f, kEnemyChase},
      {"to his -x, he facing -x", kEnemyPatrol, -300, 0, 4.712389f, kEnemyChase},
      {"to his -x, he facing +x", kEnemyPatrol, -300, 0, 1.5707964f, kEnemyPatrol},
      {"walking back, in front, 300 away", kEnemyReturn, 0, 300, 3.1415927f, kEnemyChase},
      {"walking back, in front, 330 away (beyond 100000)", kEnemyReturn, 0, 330, 3.1415927f,
       kEnemyReturn},
      {"walking back, behind him", kEnemyReturn, 0, -200, 3.1415927f, kEnemyReturn},
      {"walking back, to his -x, he facing +x", kEnemyReturn, -200, 0, 1.5707964f, kEnemyReturn},
  };
  for (const auto& c : cases) {
    enemy.SetState(kEnemyPatrol);
    enemy.SetPosition(at);
    enemy.SetNodes(node, node->links[kTesselPlusY]);
    enemy.SetProgress(0.0f);
    if (c.from == kEnemyReturn) {
      enemy.GiveUp();
      enemy.SetState(kEnemyReturn);
    }
    enemy.SetFacing(c.facing);
    m_game->SetPlayerPosition(Vector4(at.x + c.dx, at.y + c.dy, 0.0f, 1.0f));
    m_game->UpdateEnemies();
    EXPECT_EQ(enemy.GetState(), c.state) << c.what;
  }
}

// A chase is given up when she is more than 387 away after his step, or he has been blocked for
// more than a fifth of a second; never before he has chased that long, and not while another
// man walks back.
TEST_F(EnemyTest, AChaseIsGivenUpWhenSheIsFarAndHeHasChasedLongEnough) {
  cTesselEnemy& enemy = Enemy(0);
  cTesselEnemy& other = Enemy(1);
  const struct {
    const char* what;
    float distance;   // below her, before his step of 4.17
    uint32_t chased;  // ticks before this one
    bool otherReturning;
    int32_t state;
  } cases[] = {
      {"392 away", 392, 100, false, kEnemyReturn},
      {"391 away", 391, 100, false, kEnemyChase},
      {"far, chased 12 ticks", 500, 12, false, kEnemyReturn},
      {"far, chased 11 ticks", 500, 11, false, kEnemyChase},
      {"far, another walking back", 500, 100, true, kEnemyChase},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    other.SetPosition(Vector4(2500, -2500, 0, 1));
    other.SetState(kEnemyStunned);
    other.Stun(100.0f, 60.0f);
    if (c.otherReturning) {
      other.GiveUp();
      other.SetState(kEnemyReturn);
    }
    m_game->SetPlayerPosition(Vector4(1300, -1400, 0, 1));
    enemy.SetPosition(Vector4(1300, -1400 - c.distance, 0, 1));
    enemy.SetChasing();
    enemy.SetChaseFrames(c.chased);
    m_game->UpdateEnemies();
    EXPECT_EQ(enemy.GetState(), c.state);
    EXPECT_EQ(enemy.GetChaseFrames(), c.chased + 1);
    EXPECT_NEAR(enemy.GetPosition().y, -1400 - c.distance + 250.0f / 60.0f, 0.01f);
    EXPECT_EQ(enemy.GetBlockedFrames(), 0u);
  }
}

TEST_F(EnemyTest, AHedgeBetweenThemHidesHer) {
  // The first level's shed stands in the top-left cell, 600 by 200 round (850, -1050).
  cTesselEnemy& enemy = Enemy(0);
  Enemy(1).SetPosition(Vector4(2500, -2500, 0, 1));
  Enemy(1).Stun(100.0f, 60.0f);
  enemy.SetState(kEnemyPatrol);
  enemy.SetPosition(Vector4(850, -1250, 0, 1));
  enemy.SetFacing(3.1415927f);
  m_game->SetPlayerPosition(Vector4(850, -880, 0, 1));
  EXPECT_TRUE(enemy.IsPlayerHidden(m_game->GetPlayerPosition()));
  EXPECT_TRUE(enemy.IsInFront(m_game->GetPlayerPosition()));
  m_game->UpdateEnemies();
  EXPECT_NE(enemy.GetState(), kEnemyChase) << "370 away and in front, but behind the shed";
}

TEST_F(EnemyTest, AChaserGivesUpAfterAFifthOfASecondWhenSheIsFarAndWalksBack) {
  cTesselEnemy& enemy = Enemy(0);
  Enemy(1).SetPosition(Vector4(2500, -2500, 0, 1));
  Enemy(1).Stun(100.0f, 60.0f);
  enemy.SetPosition(Vector4(1300, -1900, 0, 1));
  enemy.SetChasing();
  m_game->SetPlayerPosition(Vector4(1300, -1400, 0, 1));  // 500 away, beyond sqrt(150000)
  for (int tick = 1; tick <= 12; ++tick) {
    m_game->UpdateEnemies();
    ASSERT_EQ(enemy.GetState(), kEnemyChase) << "still chasing after " << tick << " frames";
  }
  m_game->UpdateEnemies();
  ASSERT_EQ(enemy.GetState(), kEnemyReturn) << "13 frames > 60 / 5";
  EXPECT_EQ(enemy.GetJoinFlag(), 1);
  // Back to the nearest intermediate node, the one on the x = 1300 path below him.
  const TesselNavNode* target = enemy.GetTargetNode();
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(target->position.x, 1300.0f);
  EXPECT_NEAR(target->position.y, enemy.GetPosition().y, 75.0f);
  m_game->SetPlayerPosition(Vector4(2450, -150, 0, 1));
  for (int tick = 0; tick < 100 && enemy.GetState() == kEnemyReturn; ++tick)
    m_game->UpdateEnemies();
  EXPECT_EQ(enemy.GetState(), kEnemyPatrol);
  EXPECT_EQ(enemy.GetCurrentNode(), target);
  // The next choice puts him on the intermediate network and walks on towards Tessel.
  m_game->UpdateEnemies();
  EXPECT_EQ(enemy.IsOnIntermediateNetwork(), 1);
  EXPECT_EQ(enemy.GetJoinFlag(), 0);
}

TEST_F(EnemyTest, AStunLastsItsSecondsAndAStunAgainKeepsTheStars) {
  cTesselEnemy& enemy = Enemy(0);
  enemy.SetPosition(Vector4(2000, -2000, 0, 1));
  enemy.SetChasing();
  enemy.Stun(5.0f, 60.0f);
  EXPECT_EQ(enemy.GetState(), kEnemyStunned);
  EXPECT_EQ(enemy.GetStunCountdown(), 300u);
  EXPECT_EQ(enemy.GetAnimator()->IsAnimationActive(enemy.GetStunnedAnim()), 1) << "he reels";
  const int32_t stars = enemy.GetStarsEffect();
  ASSERT_NE(stars, -1);
  ASSERT_NE(m_game->Window()->GetParticleSystem(stars), nullptr);
  {
    // Stars circling over his head, for as long as he is stunned.
    BaseParticleSystem* system = m_game->Window()->GetParticleSystem(stars);
    EXPECT_EQ(EffectOf(m_game, system), kFxHeadStars);
    const Vector4 at = system->GetEmitterMatrix().GetRow(3);
    EXPECT_EQ(at.x, 2000.0f);
    EXPECT_EQ(at.y, -2000.0f);
    EXPECT_EQ(at.z, 170.0f);
    EXPECT_NE(system->GetFlags() & BaseParticleSystem::kLooped, 0u);
  }
  for (int i = 0; i < 100; ++i) enemy.StunTick();
  enemy.Stun(8.0f, 60.0f);
  EXPECT_EQ(enemy.GetStunCountdown(), 480u) << "the new countdown";
  EXPECT_EQ(enemy.GetStarsEffect(), stars) << "the same stars";
  for (int i = 0; i < 479; ++i) ASSERT_FALSE(enemy.StunTick());
  EXPECT_TRUE(enemy.StunTick());
  EXPECT_EQ(enemy.GetState(), kEnemyChase);
  EXPECT_EQ(enemy.GetChaseFrames(), 0u);
  enemy.Advance(1.0f);
  EXPECT_EQ(enemy.GetAnimator()->GetCurrentAnimation(), enemy.GetWalkAnim()) << "he walks at once";
  const BaseParticleSystem* system = m_game->Window()->GetParticleSystem(stars);
  if (system) {
    EXPECT_EQ(system->GetFlags() & BaseParticleSystem::kLooped, 0u) << "stars stopped";
  }
}

TEST_F(EnemyTest, TheChaseSlidesAlongABoxAndStandsWhenCornered) {
  cTesselEnemy& enemy = Enemy(0);
  // Below the shed (x 550..1150, y -1150..-950) with Tessel straight above it: y is blocked,
  // so he slides along x towards her side.
  enemy.SetPosition(Vector4(1100, -1182, 0, 1));
  enemy.SetChasing();
  enemy.ChaseStep(Vector4(1000, -800, 0, 1), m_game->GetRunSpeed());
  EXPECT_EQ(enemy.GetBlockedFrames(), 1u);
  EXPECT_EQ(enemy.GetPosition().y, -1182.0f);
  EXPECT_LT(enemy.GetPosition().x, 1100.0f);
  // Held: the next chase step is skipped.
  enemy.SetHold();
  const Vector4 before = enemy.GetPosition();
  enemy.ChaseStep(Vector4(1000, -800, 0, 1), m_game->GetRunSpeed());
  EXPECT_EQ(enemy.GetPosition().x, before.x);
  EXPECT_EQ(enemy.GetHold(), 0);
}

TEST_F(EnemyTest, TwoChasersTooCloseAreSetNinetyApart) {
  cTesselEnemy& a = Enemy(0);
  cTesselEnemy& b = Enemy(1);
  PlayerAway();
  a.SetPosition(Vector4(1100, -2250, 0, 1));
  b.SetPosition(Vector4(1130, -2290, 0, 1));
  a.SetChasing();
  b.SetChasing();
  a.SetPreviousPosition(a.GetPosition());
  b.SetPreviousPosition(b.GetPosition());
  m_game->UpdateEnemies();
  // Both took a chase step first; the pair rule then parts them about their midpoint.
  EXPECT_NEAR(std::sqrt(TesselGroundDistanceSq(a.GetPosition(), b.GetPosition())), 90.0f, 0.01f);
}

TEST_F(EnemyTest, APatrollerMeetingAStunnedEnemyTurnsAndWalksClear) {
  cTesselEnemy& patroller = Enemy(0);
  cTesselEnemy& stunned = Enemy(1);
  PlayerAway();
  TesselNavNode* a = Junction(400, -2400);
  TesselNavNode* b = Junction(1300, -2400);
  patroller.SetState(kEnemyPatrol);
  patroller.SetNodes(a, b);
  patroller.SetProgress(0.5f);
  patroller.SetPosition(Vector4(850, -2400, 0, 1));
  patroller.SetFacing(4.712389f);
  stunned.SetPosition(Vector4(880, -2400, 0, 1));
  stunned.Stun(5.0f, 60.0f);
  m_game->UpdateEnemies();
  EXPECT_GE(TesselGroundDistanceSq(patroller.GetPosition(), stunned.GetPosition()), 8000.0f);
  EXPECT_EQ(patroller.GetCurrentNode(), b) << "turned round";
  EXPECT_EQ(patroller.GetState(), kEnemyPatrol);
}

using SteeredEnemyTest = TesselTest;

TEST_F(SteeredEnemyTest, InTheTwoPlayerModeTheSwitchSteersTheFirstEnemy) {
  cTesselGame* game = StartPlaying(kModeTwoPlayer);
  ASSERT_NE(game, nullptr);
  cTesselEnemy& steered = *game->GetEnemy(0);
  game->SetPlayerPosition(Vector4(2450, -150, 0, 1));
  steered.SetPosition(Vector4(1300, -1500, 0, 1));
  const Vector4 her = game->GetPlayerPosition();
  Press(kKeyCtrl);
  EXPECT_EQ(game->GetManualControl(), 0);
  Key(kKeyRight, true);
  Frames(30);
  Key(kKeyRight, false);
  EXPECT_NEAR(steered.GetPosition().x, 1300.0f + 29.0f * 200.0f / 60.0f, 4.0f)
      << "200 a second, by the player's keys";
  EXPECT_EQ(game->GetPlayerPosition().x, her.x) << "Tessel stays";
  EXPECT_EQ(game->GetCamera().GetPosition().x, Clamp(steered.GetPosition().x, 400.0f, 2200.0f));
  EXPECT_NEAR(steered.GetFacing(), 1.5707964f, 1e-3f) << "he faces the way he walks";
  const float y = steered.GetPosition().y;
  Key(kKeyUp, true);
  Frames(30);
  Key(kKeyUp, false);
  EXPECT_NEAR(steered.GetPosition().y, y + 29.0f * 200.0f / 60.0f, 4.0f);
  EXPECT_NEAR(steered.GetFacing(), 3.1415927f, 1e-3f);
  Press(kKeyCtrl);
  EXPECT_EQ(game->GetManualControl(), 1);
}

// Two men who come within 89 of each other after their own steps, in each pairing of states and
// in both orders: who turns round, who steps back to where he stood, who takes up the chase.
TEST_F(EnemyTest, ThePairRulesDecideWhoGivesWayWhenTwoMenMeet) {
  PlayerAway();
  TesselNavNode* west = Junction(400, -2400);
  TesselNavNode* east = Junction(1300, -2400);
  TesselNavNode* north = Junction(1300, -1500);
  // Between the path's intermediate points, so that a man walking back has a way to go.
  const Vector4 starts[2] = {Vector4(790, -2400, 0, 1), Vector4(820, -2400, 0, 1)};
  enum Where { kBack, kOn };  // stepped back to his start exactly, or somewhere else
  const struct {
    int32_t state[2];
    bool cross;  // the second patrols the path up from the east junction instead
    int32_t after[2];
    Where where[2];
    int32_t chaseFrames[2];  // -1: not chasing
    bool reversed[2];        // a patroller turned round
  } cases[] = {
      {{kEnemyPatrol, kEnemyPatrol},
       false,
       {kEnemyPatrol, kEnemyPatrol},
       {kBack, kBack},
       {-1, -1},
       {true, true}},
      {{kEnemyPatrol, kEnemyPatrol},
       true,
       {kEnemyPatrol, kEnemyPatrol},
       {kBack, kOn},
       {-1, -1},
       {true, false}},
      {{kEnemyPatrol, kEnemyChase},
       false,
       {kEnemyChase, kEnemyChase},
       {kOn, kBack},
       {1, 1},
       {false, false}},
      {{kEnemyChase, kEnemyPatrol},
       false,
       {kEnemyChase, kEnemyChase},
       {kBack, kOn},
       {1, 1},
       {false, false}},
      {{kEnemyPatrol, kEnemyReturn},
       false,
       {kEnemyChase, kEnemyChase},
       {kOn, kOn},
       {0, 0},
       {false, false}},
      {{kEnemyReturn, kEnemyPatrol},
       false,
       {kEnemyChase, kEnemyChase},
       {kOn, kOn},
       {0, 0},
       {false, false}},
      {{kEnemyPatrol, kEnemyStunned},
       false,
       {kEnemyPatrol, kEnemyStunned},
       {kOn, kBack},
       {-1, -1},
       {true, false}},
      {{kEnemyStunned, kEnemyPatrol},
       false,
       {kEnemyStunned, kEnemyPatrol},
       {kBack, kOn},
       {-1, -1},
       {false, true}},
      {{kEnemyChase, kEnemyReturn},
       false,
       {kEnemyChase, kEnemyChase},
       {kBack, kOn},
       {1, 0},
       {false, false}},
      {{kEnemyReturn, kEnemyChase},
       false,
       {kEnemyChase, kEnemyChase},
       {kOn, kBack},
       {0, 1},
       {false, false}},
      {{kEnemyChase, kEnemyStunned},
       false,
       {kEnemyChase, kEnemyStunned},
       {kBack, kBack},
       {1, -1},
       {false, false}},
      {{kEnemyStunned, kEnemyChase},
       false,
       {kEnemyStunned, kEnemyChase},
       {kBack, kBack},
       {-1, 1},
       {false, false}},
      {{kEnemyReturn, kEnemyStunned},
       false,
       {kEnemyChase, kEnemyStunned},
       {kBack, kBack},
       {0, -1},
       {false, false}},
      {{kEnemyStunned, kEnemyReturn},
       false,
       {kEnemyStunned, kEnemyChase},
       {kBack, kBack},
       {-1, 0},
       {false, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "states " << c.state[0] << "," << c.state[1] << (c.cross ? " across" : ""));
    TesselNavNode* from[2] = {west, east};
    TesselNavNode* to[2] = {east, west};
    Vector4 start[2] = {starts[0], starts[1]};
    if (c.cross) {
      start[0] = Vector4(1280, -2400, 0, 1);
      start[1] = Vector4(1300, -2380, 0, 1);
      to[1] = north;
    }
    for (uint32_t i = 0; i < 2; ++i) {
      cTesselEnemy& e = Enemy(i);
      e.SetPosition(start[i]);
      e.SetPreviousPosition(start[i]);
      e.SetNodes(from[i], to[i]);
      e.SetProgress(std::sqrt(TesselGroundDistanceSq(start[i], from[i]->position)) /
                    e.GetSegmentLength());
      e.SetChasing();
      e.StunTick();  // a stun left from the case before ends
      e.SetState(c.state[i]);
      if (c.state[i] == kEnemyReturn) {
        e.GiveUp();
        e.SetState(kEnemyReturn);
      } else if (c.state[i] == kEnemyStunned) {
        e.Stun(100.0f, 60.0f);
      }
    }
    m_game->UpdateEnemies();
    for (uint32_t i = 0; i < 2; ++i) {
      SCOPED_TRACE(i);
      const cTesselEnemy& e = Enemy(i);
      EXPECT_EQ(e.GetState(), c.after[i]);
      const Vector4& p = e.GetPosition();
      EXPECT_EQ(p.x == start[i].x && p.y == start[i].y, c.where[i] == kBack) << p.x << "," << p.y;
      if (c.chaseFrames[i] >= 0) {
        EXPECT_EQ(e.GetChaseFrames(), uint32_t(c.chaseFrames[i]));
      }
      if (c.after[i] == kEnemyPatrol) {
        EXPECT_EQ(e.GetCurrentNode(), c.reversed[i] ? to[i] : from[i]);
        EXPECT_EQ(e.GetTargetNode(), c.reversed[i] ? from[i] : to[i]);
      }
    }
    if (c.state[0] == kEnemyPatrol && c.state[1] == kEnemyStunned) {
      EXPECT_GE(TesselGroundDistanceSq(Enemy(0).GetPosition(), Enemy(1).GetPosition()), 8000.0f)
          << "walked clear of him";
    }
  }
}

// The pair the game sets chasing afresh; a number beyond the men is none.
TEST_F(EnemyTest, ChasePairSetsBothChasingAfreshAndIgnoresNoOne) {
  // The first has run into the shed for a while.
  Enemy(0).SetPosition(Vector4(1100, -1182, 0, 1));
  for (int i = 0; i < 3; ++i) Enemy(0).ChaseStep(Vector4(1100, -800, 0, 1), 4.0f);
  ASSERT_EQ(Enemy(0).GetBlockedFrames(), 3u);
  for (uint32_t i = 0; i < 2; ++i) {
    Enemy(i).SetState(i == 0 ? kEnemyPatrol : kEnemyReturn);
    Enemy(i).SetChaseFrames(40);
  }
  EXPECT_EQ(m_game->GetEnemy(m_game->GetEnemyCount()), nullptr);
  m_game->ChasePair(1, m_game->GetEnemyCount());
  EXPECT_EQ(Enemy(0).GetState(), kEnemyPatrol);
  EXPECT_EQ(Enemy(1).GetState(), kEnemyChase);
  EXPECT_EQ(Enemy(1).GetChaseFrames(), 0u);
  m_game->ChasePair(0, 1);
  EXPECT_EQ(Enemy(0).GetState(), kEnemyChase);
  EXPECT_EQ(Enemy(0).GetChaseFrames(), 0u);
  EXPECT_EQ(Enemy(0).GetBlockedFrames(), 0u);
}

// The steered man: 200 a second, 0.7 of it on each axis on a diagonal, stopped by the shed where
// he stands; stunned, the keys are hers again. A man who walks into him is stepped back.
TEST_F(SteeredEnemyTest, TheSteeredManWalksStopsAtTheShedAndLeavesTheKeysToHerWhenStunned) {
  cTesselGame* game = StartPlaying(kModeTwoPlayer);
  ASSERT_NE(game, nullptr);
  cTesselEnemy& steered = *game->GetEnemy(0);
  cTesselEnemy& other = *game->GetEnemy(1);
  other.SetPosition(Vector4(2500, -2500, 0, 1));
  other.Stun(1000.0f, 60.0f);
  game->SetPlayerPosition(Vector4(2450, -150, 0, 1));
  Press(kKeyCtrl);
  ASSERT_EQ(game->GetManualControl(), 0);
  const struct {
    const char* what;
    Vector4 from;
    bool up, right, left;
    float dx, dy;
    bool walking;
  } cases[] = {
      {"up and right", Vector4(1300, -1500, 0, 1), true, true, false, 23.3337f, 23.3337f, true},
      {"left into the shed", Vector4(1190, -1050, 0, 1), false, false, true, -6.6667f, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    steered.SetPosition(c.from);
    Key(kKeyUp, c.up);
    Key(kKeyRight, c.right);
    Key(kKeyLeft, c.left);
    Frames(10);
    Key(kKeyUp, false);
    Key(kKeyRight, false);
    Key(kKeyLeft, false);
    EXPECT_NEAR(steered.GetPosition().x - c.from.x, c.dx, 0.01f);
    EXPECT_NEAR(steered.GetPosition().y - c.from.y, c.dy, 0.01f);
    const AnimationHelper* animator = steered.GetAnimator();
    EXPECT_EQ(animator->IsAnimationActive(steered.GetWalkAnim()), c.walking ? 1 : 0);
    EXPECT_EQ(animator->IsAnimationActive(steered.GetStandAnim()), c.walking ? 0 : 1);
  }
  // Stunned, he stays where he is and the keys walk her.
  const Vector4 centre(1300, -1500, 0, 1);
  steered.SetPosition(centre);
  steered.Stun(1.0f, 60.0f);
  const Vector4 her = game->GetPlayerPosition();
  Key(kKeyDown, true);
  Frames(10);
  Key(kKeyDown, false);
  EXPECT_EQ(steered.GetPosition().x, centre.x);
  EXPECT_EQ(steered.GetPosition().y, centre.y);
  EXPECT_NEAR(game->GetPlayerPosition().y - her.y, -50.0f, 0.01f);
  Frames(60);
  EXPECT_EQ(steered.GetState(), kEnemyChase) << "a second's stun ends on its own";
  // A patrolling man walks into him as he walks into the patroller: the patroller's step is
  // undone, and he is held off.
  TesselNavNode* east = nullptr;
  TesselNavNode* west = nullptr;
  for (uint32_t i = 0; i < game->GetJunctionCount(); ++i) {
    TesselNavNode* node = &game->GetJunctions()[i];
    if (node->position.y != -1500.0f) continue;
    if (node->position.x == 2200.0f) east = node;
    if (node->position.x == 1300.0f) west = node;
  }
  ASSERT_TRUE(east && west);
  other.Stun(0.0f, 60.0f);
  other.StunTick();
  other.SetState(kEnemyPatrol);
  other.SetNodes(east, west);
  other.SetProgress(870.0f / 900.0f);
  other.SetPosition(Vector4(1330, -1500, 0, 1));
  Key(kKeyRight, true);
  Frames(1);
  Key(kKeyRight, false);
  EXPECT_EQ(other.GetState(), kEnemyPatrol);
  EXPECT_NEAR(other.GetPosition().x, 1330.0f, 0.001f);
  EXPECT_NEAR(steered.GetPosition().x, centre.x, 0.001f);
}

// A chase step: straight at her across open ground, sliding along a box that blocks one axis,
// standing in a corner that blocks both (here the garden's bottom-left, where two walls meet).
TEST_F(EnemyTest, AChaseStepRunsSlidesOrStandsByTheBoxes) {
  const float run = m_game->GetRunSpeed();
  const struct {
    const char* what;
    Vector4 from, towards;
    float dx, dy;
    uint32_t blocked;
    bool running;
    float facing;  // the way he moved
  } cases[] = {
      {"open ground", Vector4(1300, -1900, 0, 1), Vector4(1300, -1400, 0, 1), 0, run, 0, true,
       3.1415927f},
      {"below the shed", Vector4(1100, -1182, 0, 1), Vector4(1000, -800, 0, 1), -run, 0, 1, true,
       4.712389f},
      {"right of the shed", Vector4(1182, -1100, 0, 1), Vector4(800, -1000, 0, 1), 0, run, 1, true,
       3.1415927f},
      {"in the corner", Vector4(31, -2569, 0, 1), Vector4(-100, -2700, 0, 1), 0, 0, 1, false, 1.0f},
  };
  cTesselEnemy& enemy = Enemy(0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    enemy.SetPosition(c.from);
    enemy.SetFacing(1.0f);
    enemy.SetChasing();
    enemy.ChaseStep(c.towards, run);
    EXPECT_NEAR(enemy.GetFacing(), c.facing, 1e-4f);
    EXPECT_NEAR(enemy.GetPosition().x - c.from.x, c.dx, 0.001f);
    EXPECT_NEAR(enemy.GetPosition().y - c.from.y, c.dy, 0.001f);
    EXPECT_EQ(enemy.GetBlockedFrames(), c.blocked);
    EXPECT_EQ(enemy.GetChaseFrames(), 1u);
    const int32_t anim = c.running ? enemy.GetRunAnim() : enemy.GetStandAnim();
    EXPECT_EQ(enemy.GetAnimator()->IsAnimationActive(anim), 1);
  }
}

// Two chasers parted into the shed are both stepped back instead; the one nearer her runs on, the
// other waits, and the runner too steps back while they stand this close.
TEST_F(EnemyTest, ChasersPartedIntoTheShedStepBackAndTakeTurns) {
  cTesselEnemy& a = Enemy(0);
  cTesselEnemy& b = Enemy(1);
  m_game->SetPlayerPosition(Vector4(1600, -1050, 0, 1));
  a.SetPosition(Vector4(1190, -1050, 0, 1));
  b.SetPosition(Vector4(1210, -1050, 0, 1));
  a.SetChasing();
  b.SetChasing();
  m_game->UpdateEnemies();
  EXPECT_NEAR(a.GetPosition().x, 1190.0f, 0.001f);
  EXPECT_NEAR(b.GetPosition().x, 1210.0f, 0.001f);
  EXPECT_EQ(a.GetHold(), 1) << "the farther waits";
  EXPECT_EQ(b.GetHold(), 0);
  EXPECT_EQ(b.GetChaseFrames(), 2u) << "the nearer took another step";
}

// A stunned man who is made to stand (she is caught, the level ends) loses his stars.
TEST_F(EnemyTest, AStunnedManMadeToStandLosesHisStars) {
  cTesselEnemy& enemy = Enemy(0);
  enemy.SetPosition(Vector4(2000, -2000, 0, 1));
  enemy.Stun(5.0f, 60.0f);
  enemy.Advance(1.0f);
  EXPECT_EQ(enemy.GetAnimator()->GetCurrentAnimation(), enemy.GetStunnedAnim());
  BaseParticleSystem* stars = m_game->Window()->GetParticleSystem(enemy.GetStarsEffect());
  ASSERT_NE(stars, nullptr);
  ASSERT_NE(stars->GetFlags() & BaseParticleSystem::kLooped, 0u);
  enemy.Stand();
  EXPECT_EQ(stars->GetFlags() & BaseParticleSystem::kLooped, 0u);
  enemy.Advance(1.0f);
  EXPECT_EQ(enemy.GetAnimator()->GetCurrentAnimation(), enemy.GetStandAnim()) << "at once";
}

// Walking back he joins the path at its nearest point, follows it straight on point by point
// while she is ahead, and takes the junctions' network again at the first junction.
TEST_F(EnemyTest, AManWalkingBackFollowsThePathToTheNextJunction) {
  cTesselEnemy& enemy = Enemy(0);
  Enemy(1).SetPosition(Vector4(2500, -2500, 0, 1));
  Enemy(1).Stun(100.0f, 60.0f);
  m_game->SetPlayerPosition(Vector4(1300, -700, 0, 1));
  enemy.SetPosition(Vector4(1300, -1900, 0, 1));
  enemy.SetChasing();
  enemy.GiveUp();
  enemy.SetState(kEnemyReturn);
  std::vector<std::string> targets;
  const TesselNavNode* last = nullptr;
  for (int tick = 0; tick < 400 && targets.size() < 5; ++tick) {
    m_game->UpdateEnemies();
    const TesselNavNode* target = enemy.GetTargetNode();
    if (target == last) continue;
    last = target;
    const bool junction = target >= m_game->GetJunctions() &&
                          target < m_game->GetJunctions() + m_game->GetJunctionCount();
    targets.push_back(std::to_string(int(target->position.y)) + (junction ? "j" : "i") +
                      std::to_string(enemy.IsOnIntermediateNetwork()));
  }
  // y of each target in turn, "i" for a path point and "j" for a junction, then 1 while on the
  // points' network.
  const std::vector<std::string> expected = {"-1950i0", "-1800i1", "-1650i1", "-1500i1", "-600j0"};
  EXPECT_EQ(targets, expected);
  EXPECT_EQ(enemy.GetCurrentNode(), Junction(1300, -1500));
  EXPECT_EQ(enemy.GetState(), kEnemyPatrol);
}

}  // namespace
