// What she does with what she pulls up: bashing it on the ground, throwing it at a hedge, a man
// or the open ground, and letting it fall when she is caught or the time runs out; each with the
// points, the count and the stun it gives.
#include <algorithm>

#include "Game/Helper/AnimationHelper.h"
#include "Game/Helper/IngameText.h"
#include "Game/Localisation/LocalisedText.h"
#include "Game/Sound/CSoundWrapper.h"
#include "tests/tessel/TesselTestSupport.h"

namespace {

// Places on the first level of the demo garden (her hands are high: what she bashes stays clear
// of the ground but for a plant's flowers). The hedge of the top-left cell spans x 550..1150,
// y -1150..-950, with its flower bed (4 x 4 plants, 50 apart) to the top right and the open path
// x = 1400 well clear of both.
// Thrown towards -y from here, plants and trees alike come down onto the hedge's far side.
const Vector4 kBeforeHedge(700.0f, -485.0f, 0.0f, 1.0f);
const Vector4 kOpenGround(1400.0f, -2100.0f, 0.0f, 1.0f);  // facing +y: open path
const Vector4 kBedMiddle(1097.5f, -802.5f, 0.0f, 1.0f);
// By the bed's first plant, in its bottom-left corner.
const Vector4 kBedCorner(1040.0f, -860.0f, 0.0f, 1.0f);
// Thrown towards -y from here, they come down in the bed.
const Vector4 kBeforeBed(1047.5f, -330.0f, 0.0f, 1.0f);
constexpr float kFacingDown = 0.0f;      // towards -y
constexpr float kFacingUp = 3.1415927f;  // towards +y

class ItemTest : public TesselTest {
 protected:
  void CarryPlant(cTesselGame* game, uint32_t index) {
    const TesselPlant& plant = game->GetPlants()[index];
    StandBy(game, plant);
    game->SetHeading(0.0f);
    const int32_t mark = game->Window()->GetNextParticleId();
    Press(kKeySpace);
    ASSERT_EQ(game->GetPlayState(), kTesselPullPlant);
    EXPECT_NEAR(game->GetHeading(), 3.1415927f, 1e-4f) << "she turns to it";
    EXPECT_TRUE(SaysOneOf(game, {0, 1, 2, 3}));
    bool torn = false;
    ASSERT_TRUE(RunUntil(
        game,
        [&] {
          torn |= GetSoundWrapper()->IsSamplePlaying(game->m_effectsBank, 14) != 0;
          return game->GetPlayState() == kTesselCarryPlant;
        },
        150));
    EXPECT_TRUE(torn) << "the sound of its roots tearing";
    Frames(1);
    EXPECT_TRUE(SaysOneOf(game, {33})) << "a word on the plant pulled";
    // Mud and its own flowers where it stood.
    const std::vector<TesselEffectStarted> effects = EffectsSince(game, mark);
    EXPECT_EQ(EffectIdsSince(game, mark),
              (std::vector<int32_t>{kFxFlowers02 + int32_t(plant.kind), kFxMudSpray}));
    for (const TesselEffectStarted& e : effects) {
      EXPECT_LT(TesselGroundDistanceSq(e.at, plant.position), 1.0f) << e.effect;
      EXPECT_TRUE(e.upright) << e.effect;
    }
  }
  void CarryTree(cTesselGame* game, uint32_t index) {
    const TesselTree& tree = game->GetTrees()[index];
    game->SetPlayerPosition(Vector4(tree.position.x - 50.0f, tree.position.y, 0.0f, 1.0f));
    game->SetHeading(0.0f);
    const int32_t mark = game->Window()->GetNextParticleId();
    Press(kKeySpace);
    ASSERT_EQ(game->GetPlayState(), kTesselPullTree);
    EXPECT_NEAR(game->GetHeading(), 1.5707964f, 1e-4f) << "she turns to it";
    EXPECT_TRUE(SaysOneOf(game, {15, 16}));
    bool torn = false;
    ASSERT_TRUE(RunUntil(
        game,
        [&] {
          torn |= GetSoundWrapper()->IsSamplePlaying(game->m_effectsBank, 14) != 0;
          return game->GetPlayState() == kTesselCarryTree;
        },
        150));
    EXPECT_TRUE(torn) << "the sound of its roots tearing";
    Frames(1);
    EXPECT_TRUE(SaysOneOf(game, {35})) << "a word on the tree pulled";
    const std::vector<TesselEffectStarted> effects = EffectsSince(game, mark);
    ASSERT_EQ(effects.size(), 1u);
    EXPECT_EQ(effects[0].effect, kFxMudSpray);
    EXPECT_LT(TesselGroundDistanceSq(effects[0].at, tree.position), 1.0f);
  }
  static bool InFlight(cTesselGame* game, bool tree) {
    return tree ? game->IsThrownTreeActive() != 0 : game->IsThrownPlantActive() != 0;
  }
  uint32_t PlantsLeft(cTesselGame* game) {
    uint32_t n = 0;
    for (uint32_t i = 0; i < game->GetPlantCount(); ++i) n += game->GetPlants()[i].present;
    return n;
  }
};

TEST_F(ItemTest, AThrownPlantOrTreeScoresByWhatItHits) {
  enum Target { kGround, kHedge, kMan, kBed };
  const struct {
    const char* what;
    bool tree;
    Target target;
    int32_t points;     // for the throw and the hit
    int32_t perPlant;   // for each plant it takes on its way
    int32_t popups;     // of the hit, and one each plant for a plant
    const char* popup;  // the number they show
    uint32_t stunTicks;
    int32_t sound;    // the effect heard as it comes down
    int32_t effects;  // particle systems started there
    int32_t comment;  // the word on it, -1 none
  } cases[] = {
      {"plant on the ground", false, kGround, 250, 0, 0, "", 0, 4, 1, 32},
      {"plant at the hedge", false, kHedge, 250 + 250, 0, 1, "250", 0, 5, 2, -1},
      {"plant at a man", false, kMan, 250 + 1000, 0, 1, "1000", 300, 9, 2, -1},
      {"plant into the bed", false, kBed, 250, 500, 0, "500", 0, 4, 1, 34},
      {"tree on the ground", true, kGround, 500, 0, 0, "", 0, 4, 1, -1},
      {"tree at the hedge", true, kHedge, 500 + 500, 0, 0, "", 0, 5, 2, -1},
      {"tree at a man", true, kMan, 500 + 5000, 0, 1, "5000", 480, 10, 2, 43},
      {"tree into the bed", true, kBed, 500, 1000, 0, "", 0, 4, 1, 34},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    cTesselGame* game = StartPlaying(kModeNormal);
    ParkEnemies(game);
    // A plant of the second kind: each kind bursts into its own flowers.
    if (c.tree)
      CarryTree(game, 3);
    else
      CarryPlant(game, 1);
    Frames(50);  // her word on the pull said out, so that the next may be heard
    const int32_t score = game->GetScore(0);
    const uint32_t plants = game->GetPlantsDestroyed(), trees = game->GetTreesDestroyed();
    const uint32_t left = PlantsLeft(game);
    const Vector4 from = c.target == kHedge ? kBeforeHedge
                         : c.target == kBed ? kBeforeBed
                                            : kOpenGround;
    cTesselEnemy* man = game->GetEnemy(0);
    if (c.target == kMan) man->SetPosition(Vector4(from.x, from.y + 150.0f, 0.0f, 1.0f));
    game->SetPlayerPosition(from);
    game->SetHeading(c.target == kHedge || c.target == kBed ? kFacingDown : kFacingUp);
    std::vector<uint32_t> present;
    for (uint32_t i = 0; i < game->GetPlantCount(); ++i)
      present.push_back(game->GetPlants()[i].present);
    const int32_t mark = game->Window()->GetNextParticleId();
    Press(kKeyE);
    ASSERT_EQ(game->GetPlayState(), c.tree ? kTesselThrowTree : kTesselThrowPlant);
    EXPECT_TRUE(c.tree ? SaysOneOf(game, {23, 25, 29}) : SaysOneOf(game, {21, 22, 24, 27, 28, 30}));
    {
      // Until she lets go it stays in her hand, wherever she stands.
      const uint32_t held = c.tree ? game->GetTrees()[3].node : game->GetPlants()[1].node;
      const GameNode* node = LevelNode(game, held);
      ASSERT_NE(node, nullptr);
      const Vector4 at(node->matrix[12], node->matrix[13], 0.0f, 1.0f);
      EXPECT_LT(TesselGroundDistanceSq(at, from), 100.0f * 100.0f);
    }
    ASSERT_TRUE(RunUntil(
        game, [&] { return InFlight(game, c.tree); }, 90));
    if (!c.tree) {
      const TesselDrawn drawn = InspectFrame(game);
      EXPECT_EQ(drawn.nodes.size(), 2 * (1 + game->GetEnemyCount()) + 1)
          << "the picked plant drawn in flight";
      const TesselPlant& thrown = game->GetPlants()[1];
      EXPECT_TRUE(DrawsPickedPlant(drawn, thrown, LevelNode(game, thrown.node)));
    }
    game->m_bonusScores.Clear();
    int32_t systems = 0;
    bool comment = false, plantHit = false;
    ASSERT_TRUE(RunUntil(
        game,
        [&] {
          comment |= SaysOneOf(game, {c.comment});
          plantHit |= GetSoundWrapper()->IsSamplePlaying(game->m_effectsBank, 5) != 0;
          if (!InFlight(game, c.tree)) return true;
          systems = game->Window()->GetParticleSystemCount();
          return false;
        },
        120));
    EXPECT_EQ(game->Window()->GetParticleSystemCount() - systems, c.effects);
    {
      // Each plant it takes bursts into its own kind's flowers; then what it came down on.
      const int32_t kind = int32_t(game->GetPlants()[1].kind);
      std::vector<int32_t> expected;
      for (uint32_t i = 0; i < game->GetPlantCount(); ++i) {
        if (!present[i] || game->GetPlants()[i].present) continue;
        expected.push_back(kFxFlowers02 + int32_t(game->GetPlants()[i].kind));
        expected.push_back(kFxPlantCollision);
      }
      const int32_t landed[2][4] = {
          {kFxFlowers01 + kind, kFxFlowers01 + kind, kFxFlowers01 + kind, kFxFlowers01 + kind},
          {kFxLeavesBig, kFxTreeCollision, kFxLeavesBig, kFxLeavesBig}};
      expected.push_back(landed[c.tree][c.target]);
      if (c.target == kHedge) expected.push_back(kFxLeaves);
      if (c.target == kMan) expected.push_back(c.tree ? kFxTreeCollision : kFxPlantCollision);
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(EffectIdsSince(game, mark), expected);
    }
    EXPECT_EQ(GetSoundWrapper()->IsSamplePlaying(game->m_effectsBank, c.sound), 1);
    comment |= SaysOneOf(game, {c.comment});
    EXPECT_EQ(comment, c.comment != -1);
    const uint32_t taken = left - PlantsLeft(game);
    EXPECT_EQ(plantHit, c.target == kBed || c.target == kHedge) << "the sound of a hit on the way";
    if (c.target == kBed) {
      EXPECT_GE(taken, 1u) << "plants in the way";
      EXPECT_EQ(game->GetPlants()[0].present, 0u) << "the bed's first among them";
    } else {
      EXPECT_EQ(taken, 0u);
    }
    EXPECT_EQ(game->GetScore(0) - score, c.points + c.perPlant * int32_t(taken));
    EXPECT_EQ(game->GetPlantsDestroyed() - plants, taken + (c.tree ? 0u : 1u));
    EXPECT_EQ(game->GetTreesDestroyed() - trees, c.tree ? 1u : 0u);
    const int32_t popups = c.popups + (c.tree ? 0 : int32_t(taken));
    EXPECT_EQ(game->m_bonusScores.GetListLength(), popups);
    // Once down it is drawn no more: the level's node hidden, no picked plant in the frame.
    const uint32_t node = c.tree ? game->GetTrees()[3].node : game->GetPlants()[1].node;
    EXPECT_TRUE(NodeHidden(game, node));
    const TesselDrawn drawn = InspectFrame(game);
    EXPECT_EQ(drawn.nodes.size(), 2 * (1 + game->GetEnemyCount()));
    EXPECT_EQ(std::count(drawn.texts.begin(), drawn.texts.end(), c.popup), popups);
    for (uint32_t i = 2; i < game->GetPlantCount(); ++i)
      EXPECT_EQ(NodeHidden(game, game->GetPlants()[i].node), !game->GetPlants()[i].present) << i;
    if (c.stunTicks) {
      EXPECT_EQ(man->GetState(), kEnemyStunned);
      EXPECT_LE(man->GetStunCountdown(), c.stunTicks);
      EXPECT_GE(man->GetStunCountdown(), c.stunTicks - 40);
    } else {
      EXPECT_GT(man->GetStunCountdown(), 10000u) << "still parked";
    }
    ASSERT_TRUE(RunUntil(
        game, [&] { return game->GetPlayState() == kTesselFree; }, 120));
    game->SetPlayState(kTesselNoLivesLeft);
    Frames(2);
    ASSERT_EQ(Current(), nullptr);
    Frames(3);
  }
}

TEST_F(ItemTest, ABashedPlantTakesThePlantsRoundItWithIt) {
  const struct {
    const char* what;
    Vector4 at;
    bool bed;
  } cases[] = {{"in the bed", kBedCorner, true}, {"on the path", kOpenGround, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    cTesselGame* game = StartPlaying(kModeNormal);
    ParkEnemies(game);
    CarryPlant(game, 3);
    Frames(50);  // her word on the pull said out
    game->SetPlayerPosition(c.at);
    const int32_t score = game->GetScore(0);
    const uint32_t destroyed = game->GetPlantsDestroyed();
    const uint32_t left = PlantsLeft(game);
    game->m_bonusScores.Clear();
    std::vector<uint32_t> present;
    for (uint32_t i = 0; i < game->GetPlantCount(); ++i)
      present.push_back(game->GetPlants()[i].present);
    const int32_t mark = game->Window()->GetNextParticleId();
    Press(kKeySpace);
    ASSERT_EQ(game->GetPlayState(), kTesselBashPlant);
    // She swings where she stands, whatever is held.
    Key(kKeyUp, true);
    EXPECT_TRUE(SaysOneOf(game, {13, 14}));
    bool thud = false, comment = false;
    int ticks = 0, impact = -1;
    ASSERT_TRUE(RunUntil(
        game,
        [&] {
          ++ticks;
          EXPECT_EQ(game->GetPlayerPosition().y, c.at.y);
          if (impact < 0 && game->IsPlantInHand() == 0) impact = ticks;
          thud |= GetSoundWrapper()->IsSamplePlaying(game->m_effectsBank, 4) != 0;
          comment |= SaysOneOf(game, {36});
          return game->GetPlayState() == kTesselFree;
        },
        150));
    Key(kKeyUp, false);
    EXPECT_TRUE(thud);
    // The blow lands 0.45 into the swing, and she stands free once it is over.
    EXPECT_NEAR(impact, 24, 1);
    EXPECT_NEAR(ticks, 51, 1);
    EXPECT_EQ(comment, c.bed) << "a word when it takes others with it";
    const uint32_t round = left - PlantsLeft(game);
    if (c.bed) {
      EXPECT_GE(round, 1u) << "the plants under the impact";
      EXPECT_EQ(game->GetPlants()[0].present, 0u) << "the first among them";
    } else {
      EXPECT_EQ(round, 0u);
    }
    EXPECT_EQ(game->GetScore(0) - score, 400 * int32_t(round)) << "the one she held scores nothing";
    EXPECT_EQ(game->GetPlantsDestroyed() - destroyed, round + 1) << "but counts";
    EXPECT_EQ(game->m_bonusScores.GetListLength(), int32_t(round));
    const TesselDrawn drawn = InspectFrame(game);
    EXPECT_EQ(std::count(drawn.texts.begin(), drawn.texts.end(), "400"), int32_t(round));
    EXPECT_EQ(game->IsPlantInHand(), 0);
    // Her plant bursts into its first flowers with the thud; each one under it into its own.
    std::vector<int32_t> expected = {kFxFlowers01 + int32_t(game->GetPlants()[3].kind),
                                     kFxPlantCollision};
    for (uint32_t i = 0; i < game->GetPlantCount(); ++i)
      if (present[i] && !game->GetPlants()[i].present)
        expected.push_back(kFxFlowers02 + int32_t(game->GetPlants()[i].kind));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(EffectIdsSince(game, mark), expected);
    game->SetPlayState(kTesselNoLivesLeft);
    Frames(2);
    ASSERT_EQ(Current(), nullptr);
    Frames(3);
  }
}

TEST_F(ItemTest, WhatSheCarriesFallsWhenSheIsCaughtOrTheTimeRunsOut) {
  enum Ending { kCaught, kTimeUp };
  const struct {
    const char* what;
    bool tree;
    Ending ending;
    int key;          // pressed before: to swing it, to throw it (0 none)
    int ticks;        // from the press to the ending
    bool falls;       // she lets it fall (a plant bashed or thrown is gone already)
    uint32_t plants;  // counted when it lands, or bashed
    uint32_t trees;
    int32_t points;  // for a throw that hit a man
  } cases[] = {
      {"tree, caught", true, kCaught, 0, 0, true, 0, 1, 0},
      {"plant, caught swinging it", false, kCaught, kKeySpace, 1, true, 1, 0, 0},
      {"plant, caught after its blow", false, kCaught, kKeySpace, 30, false, 1, 0, 0},
      {"tree, caught swinging it", true, kCaught, kKeySpace, 1, true, 0, 1, 0},
      {"tree, caught after a blow", true, kCaught, kKeySpace, 30, true, 0, 1, 0},
      {"plant, caught throwing it", false, kCaught, kKeyE, 1, true, 1, 0, 0},
      {"plant, caught after it hit a man", false, kCaught, kKeyE, 30, false, 1, 0, 1250},
      {"tree, caught throwing it", true, kCaught, kKeyE, 1, true, 0, 1, 0},
      {"plant, time up", false, kTimeUp, 0, 0, true, 1, 0, 0},
      {"tree, time up", true, kTimeUp, 0, 0, true, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    cTesselGame* game = StartPlaying(c.ending == kTimeUp ? kModeChallenge1 : kModeNormal);
    ParkEnemies(game);
    if (c.tree)
      CarryTree(game, 0);
    else
      CarryPlant(game, 0);
    game->SetPlayerPosition(kOpenGround);
    const int32_t score = game->GetScore(0);
    const uint32_t plants = game->GetPlantsDestroyed(), trees = game->GetTreesDestroyed();
    if (c.key) {
      Frames(50);  // her word on the pull said out
      // The second man stands (stunned) right in the way of what she throws.
      if (c.points)
        game->GetEnemy(1)->SetPosition(Vector4(kOpenGround.x, kOpenGround.y + 60.0f, 0, 1));
      Press(c.key);
      ASSERT_NE(game->GetPlayState(), c.tree ? kTesselCarryTree : kTesselCarryPlant);
      Frames(c.ticks - 1);
    }
    if (c.ending == kCaught) {
      cTesselEnemy* man = game->GetEnemy(0);
      man->SetState(kEnemyPatrol);
      man->SetPosition(Vector4(kOpenGround.x + 40.0f, kOpenGround.y - 20.0f, 0.0f, 1.0f));
      Frames(1);
      ASSERT_EQ(game->GetPlayState(), kTesselCaught);
    } else {
      game->SetTimeLeft(1);
      ASSERT_TRUE(RunUntil(
          game, [&] { return game->GetPlayState() == kTesselLevelOver; }, 70));
      EXPECT_EQ(game->m_ingameText.text, GetLocalisedText(96)) << "time up";
    }
    EXPECT_EQ(InFlight(game, c.tree), c.falls) << "she lets it fall";
    EXPECT_EQ(game->IsPlantInHand() + game->IsTreeInHand(), 0);
    ASSERT_TRUE(RunUntil(
        game, [&] { return !InFlight(game, c.tree); }, 120));
    EXPECT_EQ(game->GetPlantsDestroyed() - plants, c.plants);
    EXPECT_EQ(game->GetTreesDestroyed() - trees, c.trees);
    EXPECT_EQ(game->GetScore(0) - score, c.points) << "a fall scores nothing";
    game->SetPlayState(kTesselNoLivesLeft);
    Frames(2);
    ASSERT_EQ(Current(), nullptr);
    Frames(3);
  }
}

}  // namespace

namespace {

// She walks at 300 a second (a tree slows her to 200), 0.7 of that along each axis on a diagonal,
// faces the way she goes and is drawn running or standing with what she carries; hedges, trees
// and a stunned man stop her, and the camera follows her within the garden's limits.
TEST_F(ItemTest, SheWalksAtHerSpeedFacesHerWayAndStopsAtWhatBlocksHer) {
  enum Carrying { kNothing, kPlant, kTree };
  enum Ahead { kClear, kTreeAhead, kManAhead };
  const struct {
    const char* what;
    Carrying carrying;
    Vector4 from;
    Ahead ahead;  // 100 above her (50 for the tree she carries)
    bool up, down, left, right;
    float dx, dy, heading;  // after 10 ticks
    float eyeX, eyeY;       // the camera then
    bool stopped;           // blocked before the tenth tick: she stands
  } cases[] = {
      {"up", kNothing, kOpenGround, kClear, true, false, false, false, 0, 50, 3.1415927f, 1400,
       -2850, false},
      {"down", kNothing, kOpenGround, kClear, false, true, false, false, 0, -50, 0, 1400, -2950,
       false},
      {"left", kNothing, kOpenGround, kClear, false, false, true, false, -50, 0, 4.712389f, 1350,
       -2900, false},
      {"right", kNothing, kOpenGround, kClear, false, false, false, true, 50, 0, 1.5707964f, 1450,
       -2900, false},
      {"up and right", kNothing, kOpenGround, kClear, true, false, false, true, 35, 35, 2.3561945f,
       1435, -2865, false},
      {"down and left", kNothing, kOpenGround, kClear, false, true, true, false, -35, -35,
       5.497787f, 1365, -2935, false},
      {"up into the shed", kNothing, Vector4(850, -1200, 0, 1), kClear, true, false, false, false,
       0, 15, 3.1415927f, 850, -1985, true},
      {"up and right along the shed", kNothing, Vector4(850, -1200, 0, 1), kClear, true, false,
       false, true, 35, 17.5f, 1.5707964f, 885, -1982.5f, false},
      {"up to a tree", kNothing, Vector4(), kTreeAhead, true, false, false, false, 0, 45,
       3.1415927f, 0, 0, true},
      {"up to a stunned man", kNothing, kOpenGround, kManAhead, true, false, false, false, 0, 25,
       3.1415927f, 1400, -2875, true},
      {"top of the garden", kNothing, Vector4(1400, -650, 0, 1), kClear, true, false, false, false,
       0, 50, 3.1415927f, 1400, -1500, false},
      {"bottom of the garden", kNothing, Vector4(1400, -2450, 0, 1), kClear, false, true, false,
       false, 0, -50, 0, 1400, -3200, false},
      {"left edge", kNothing, Vector4(420, -2100, 0, 1), kClear, false, false, true, false, -50, 0,
       4.712389f, 400, -2900, false},
      {"right edge", kNothing, Vector4(2180, -2100, 0, 1), kClear, false, false, false, true, 50, 0,
       1.5707964f, 2200, -2900, false},
      {"plant, up", kPlant, kOpenGround, kClear, true, false, false, false, 0, 50, 3.1415927f, 1400,
       -2850, false},
      {"tree, up", kTree, kOpenGround, kClear, true, false, false, false, 0, 33.3325f, 3.1415927f,
       1400, -2866.6675f, false},
      {"tree, up through where it stood", kTree, Vector4(), kTreeAhead, true, false, false, false,
       0, 33.3325f, 3.1415927f, 0, 0, false},
  };
  cTesselGame* game = nullptr;
  Carrying carrying = kNothing;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (!game || c.carrying != carrying) {
      if (game) {
        game->SetPlayState(kTesselNoLivesLeft);
        Frames(5);
      }
      game = StartPlaying(kModeNormal);
      ParkEnemies(game);
      if (c.carrying == kPlant) CarryPlant(game, 0);
      if (c.carrying == kTree) CarryTree(game, 0);
      carrying = c.carrying;
    }
    Vector4 from = c.from;
    float eyeX = c.eyeX, eyeY = c.eyeY;
    if (c.ahead == kTreeAhead) {
      // A standing tree; or, for her carrying one, the spot where hers stood.
      const Vector4& tree = game->GetTrees()[c.carrying == kTree ? 0 : 1].position;
      from = Vector4(tree.x, tree.y - (c.carrying == kTree ? 50.0f : 100.0f), 0.0f, 1.0f);
      eyeX = from.x;
      eyeY = from.y + c.dy - 800.0f;
    }
    cTesselEnemy* man = game->GetEnemy(0);
    const Vector4 parked = man->GetPosition();
    if (c.ahead == kManAhead) man->SetPosition(Vector4(from.x, from.y + 100.0f, 0.0f, 1.0f));
    game->SetPlayerPosition(from);
    Frames(2);
    Key(kKeyUp, c.up);
    Key(kKeyDown, c.down);
    Key(kKeyLeft, c.left);
    Key(kKeyRight, c.right);
    Frames(10);
    const Vector4 p = game->GetPlayerPosition();
    EXPECT_NEAR(p.x - from.x, c.dx, 0.01f);
    EXPECT_NEAR(p.y - from.y, c.dy, 0.01f);
    EXPECT_NEAR(game->GetHeading(), c.heading, 1e-4f);
    const Vector4& eye = game->GetCamera().GetPosition();
    const Vector4& target = game->GetCamera().GetTarget();
    EXPECT_NEAR(eye.x, eyeX, 0.01f);
    EXPECT_NEAR(eye.y, eyeY, 0.01f);
    EXPECT_EQ(target.x, eye.x);
    EXPECT_NEAR(target.y - eye.y, 808.6f, 0.01f);
    const AnimationHelper* animator = game->GetPlayerAnimator();
    const int32_t moving[3] = {kAnimRun, kAnimRunPlant, kAnimWalkTree};
    const int32_t standing[3] = {kAnimStand, kAnimStandPlant, kAnimStandTree};
    EXPECT_EQ(animator->IsAnimationActive(
                  game->GetAnimation((c.stopped ? standing : moving)[c.carrying])),
              1);
    if (!c.stopped) {
      EXPECT_EQ(animator->GetCurrentAnimation(), game->GetAnimation(moving[c.carrying]));
      EXPECT_GT(animator->GetRemainingFraction(game->GetAnimation(moving[c.carrying])), 0.05f)
          << "and plays on";
    }
    if (c.carrying != kNothing) {
      // What she carries comes with her.
      const uint32_t held =
          c.carrying == kTree ? game->GetTrees()[0].node : game->GetPlants()[0].node;
      const GameNode* node = LevelNode(game, held);
      ASSERT_NE(node, nullptr);
      const Vector4 at(node->matrix[12], node->matrix[13], 0.0f, 1.0f);
      EXPECT_LT(TesselGroundDistanceSq(at, p), 100.0f * 100.0f);
    }
    Key(kKeyUp, false);
    Key(kKeyDown, false);
    Key(kKeyLeft, false);
    Key(kKeyRight, false);
    Frames(1);
    EXPECT_EQ(animator->IsAnimationActive(game->GetAnimation(standing[c.carrying])), 1);
    Frames(1);
    EXPECT_EQ(animator->GetCurrentAnimation(), game->GetAnimation(standing[c.carrying]))
        << "she stands at once";
    EXPECT_EQ(game->GetPlayerPosition().x, p.x);
    EXPECT_EQ(game->GetPlayerPosition().y, p.y);
    EXPECT_NEAR(game->GetHeading(), c.heading, 1e-4f) << "she keeps facing her way";
    man->SetPosition(parked);
  }
}

// The stamp roots her to the spot until it is over; its blow lands 0.4 into it. With a plant in
// her hands she may stamp, with a tree she may not.
TEST_F(ItemTest, TheStampHoldsHerStillAndIsNotForATreeCarrier) {
  enum Carrying { kNothing, kPlant, kTree };
  for (const Carrying carrying : {kNothing, kPlant, kTree}) {
    SCOPED_TRACE(carrying);
    cTesselGame* game = StartPlaying(kModeNormal);
    ParkEnemies(game);
    if (carrying == kPlant) CarryPlant(game, 0);
    if (carrying == kTree) CarryTree(game, 0);
    game->SetPlayerPosition(kOpenGround);
    Frames(50);
    const int32_t stampSound = 17;
    Key(kKeyQ, true);
    Frames(1);
    Key(kKeyQ, false);
    if (carrying == kTree) {
      EXPECT_EQ(game->IsStampRunning(), 0);
      EXPECT_EQ(GetSoundWrapper()->IsSamplePlaying(game->m_effectsBank, stampSound), 0);
    } else {
      EXPECT_EQ(game->IsStampRunning(), 1);
      const Vector4 at = game->GetPlayerPosition();
      Key(kKeyUp, true);
      int ticks = 0, impact = -1;
      ASSERT_TRUE(RunUntil(
          game,
          [&] {
            ++ticks;
            if (impact < 0 && GetSoundWrapper()->IsSamplePlaying(game->m_effectsBank, stampSound))
              impact = ticks;
            EXPECT_TRUE(!game->IsStampRunning() || game->GetPlayerPosition().y == at.y);
            return !game->IsStampRunning();
          },
          120));
      EXPECT_NEAR(impact, 21, 1);
      EXPECT_NEAR(ticks, 50, 1);
      Frames(2);
      Key(kKeyUp, false);
      EXPECT_GT(game->GetPlayerPosition().y, at.y) << "free to walk once it is over";
    }
    game->SetPlayState(kTesselNoLivesLeft);
    Frames(5);
  }
}

}  // namespace
