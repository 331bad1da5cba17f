// The garden game end to end: created as a test would, loaded and run by the framework on the
// demo data with scripted keys, to its end and the result recorded.
#include <cmath>

#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCScene.h"
#include "Game/Frontend/SaveProfile.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Localisation/LocalisedText.h"
#include "Game/Sound/CSoundWrapper.h"
#include "tests/tessel/TesselTestSupport.h"

namespace {

using GameTest = TesselTest;

// Her model is turned to her heading and stands on her position, with its shadow; so does each
// man's.
void ExpectDrawnWhereTheyStand(cTesselGame* game, const TesselDrawn& drawn) {
  const Vector4& her = game->GetPlayerPosition();
  EXPECT_EQ(drawn.NodesNear(her, 0.01f), 2);
  for (const RenderNodeRecord& node : drawn.nodes) {
    EXPECT_EQ(node.flags, node.skeleton ? 1u : 0u) << "skinned models only with a skeleton";
    EXPECT_EQ(node.tint.x + node.tint.y + node.tint.z + node.tint.w, 4.0f) << "untinted";
    if (!node.skeleton || std::fabs(node.placement[12] - her.x) > 0.01f ||
        std::fabs(node.placement[13] - her.y) > 0.01f)
      continue;
    EXPECT_NEAR(node.placement[0], std::cos(game->GetHeading()), 1e-4f);
    EXPECT_NEAR(node.placement[1], std::sin(game->GetHeading()), 1e-4f);
  }
  for (uint32_t i = 0; i < game->GetEnemyCount(); ++i)
    EXPECT_EQ(drawn.NodesNear(game->GetEnemy(i)->GetPosition(), 0.01f), 2) << i;
}

TEST_F(GameTest, LoadsEveryLevelsDataAndStartsOnTheFirst) {
  const int32_t windowsBefore = GetApp().GetWindowCount();
  cTesselGame* game = StartGame(kModeNormal);
  EXPECT_EQ(game->GetGameId(), 8);
  ASSERT_NE(game->Window(), nullptr) << "the id AddWindow gave back finds the window";
  EXPECT_EQ(GetApp().GetWindowCount(), windowsBefore + 1);
  for (int32_t level = 0; level < cTesselGame::kLevelCount; ++level) {
    EXPECT_NE(game->GetSceneId(level), -1) << level;
    EXPECT_NE(game->GetJunctionMap(level), nullptr) << level;
    EXPECT_NE(game->GetIntermediateMap(level), nullptr) << level;
  }
  for (int32_t i = 0; i < kTesselEffectCount; ++i) EXPECT_NE(game->GetParticleTemplate(i), -1) << i;
  for (int32_t i = 0; i < kTesselAnimCount; ++i) EXPECT_NE(game->GetAnimation(i), -1) << i;
  EXPECT_EQ(game->GetPlayerAnimator()->GetAnimationCount(), kTesselAnimCount);
  // The first level: its own scene current, its light, its records.
  EXPECT_EQ(game->Window()->GetScene(), GetApp().GetSceneFactory()->FindScene(game->GetSceneId(0)));
  EXPECT_EQ(game->Window()->GetLightSetup(), game->GetLightBlock(0));
  EXPECT_EQ(game->GetEnemyCount(), 2u);
  EXPECT_EQ(game->GetJunctionCount(), 9u);
  EXPECT_EQ(game->GetPlantCount(), 64u) << "four beds of 16, every kind a to e";
  EXPECT_EQ(game->GetTreeCount(), 4u);
  EXPECT_EQ(game->GetBoxCount(), 8u);
  // Start, camera and speeds at 60 ticks a second.
  const Vector4& start = game->GetStartPosition();
  EXPECT_EQ(game->GetPlayerPosition().x, start.x);
  EXPECT_EQ(game->GetPlayerPosition().y, start.y);
  EXPECT_EQ(game->GetCamera().GetPosition().y, start.y - 800.0f);
  EXPECT_EQ(game->GetCamera().GetPosition().z, 1250.0f);
  EXPECT_EQ(game->GetCamera().GetTarget().y, start.y + 8.6f);
  EXPECT_EQ(game->GetWalkSpeed(), 2.5f);
  EXPECT_FLOAT_EQ(game->GetRunSpeed(), 4.1666665f);
  EXPECT_FLOAT_EQ(game->GetHeading(), 3.1415927f);
  EXPECT_EQ(game->GetLives(), 3);
  EXPECT_EQ(game->GetTimeLeft(), 0u) << "no clock outside the challenges";
  EXPECT_EQ(game->GetPlayState(), kTesselIntro);
  EXPECT_EQ(InspectFrame(game).nodes.size(), 2 * (1 + game->GetEnemyCount())) << "no phone";
  EXPECT_LT(game->GetPhoneLineIndex(), 7u);
  // The garden's top edge keeps her in, just short of its wall.
  EXPECT_TRUE(game->IsBlocked(Vector4(1300.0f, -31.0f, 0.0f, 1.0f)));
  EXPECT_FALSE(game->IsBlocked(Vector4(1300.0f, -60.0f, 0.0f, 1.0f)));
}

TEST_F(GameTest, TheIntroHandsOverToPlayAndOneEnemyAtATimeWalksBack) {
  cTesselGame* game = StartGame(kModeNormal);
  int ticks = 0;
  ASSERT_TRUE(RunUntil(
      game, [&] { return game->GetPlayState() == kTesselFree || !++ticks; }, 200));
  EXPECT_NEAR(ticks, 122, 2) << "a second's fade in, a second's wait";
  EXPECT_EQ(GetSoundWrapper()->IsMusicPlaying(), 1) << "the garden's music";
  // StartPlay put them all to chasing with a full second on the clock: far from Tessel the
  // first gives up at once; the rest wait for the path to be free.
  for (uint32_t i = 0; i < game->GetEnemyCount(); ++i) {
    EXPECT_EQ(game->GetEnemy(i)->GetState(), kEnemyChase);
    EXPECT_EQ(game->GetEnemy(i)->GetChaseFrames(), 60u);
  }
  for (int tick = 0; tick < 120; ++tick) {
    Frames(1);
    int returning = 0;
    for (uint32_t i = 0; i < game->GetEnemyCount(); ++i)
      returning += game->GetEnemy(i)->GetState() == kEnemyReturn;
    ASSERT_LE(returning, 1) << "tick " << tick;
    if (tick == 0) {
      EXPECT_EQ(returning, 1) << "at once";
    }
  }
}

TEST_F(GameTest, APlantPulledUpCarriedAndThrownScoresAndCounts) {
  cTesselGame* game = StartPlaying(kModeNormal);
  ParkEnemies(game);
  const TesselPlant& plant = game->GetPlants()[0];
  StandBy(game, plant);
  Press(kKeySpace);
  EXPECT_EQ(game->GetPlayState(), kTesselPullPlant);
  EXPECT_EQ(plant.present, 0u) << "marked gone from its place at once";
  ASSERT_TRUE(RunUntil(
      game, [&] { return game->GetPlayState() == kTesselCarryPlant; }, 120));
  EXPECT_EQ(game->GetScore(0), 250);
  EXPECT_EQ(game->IsPlantInHand(), 1);
  EXPECT_TRUE(NodeHidden(game, plant.node)) << "the bed's plant gone, the picked one drawn";
  // Walk with it: the held plant follows her right hand.
  Key(kKeyDown, true);
  Frames(10);
  Key(kKeyDown, false);
  EXPECT_EQ(game->GetPlayState(), kTesselCarryPlant);
  const GameNode* held = LevelNode(game, plant.node);
  ASSERT_NE(held, nullptr);
  const Vector4 hand(held->matrix[12], held->matrix[13], 0.0f, 1.0f);
  EXPECT_LT(TesselGroundDistanceSq(hand, game->GetPlayerPosition()), 80.0f * 80.0f);
  EXPECT_GT(held->matrix[14], 50.0f) << "off the ground";
  {
    // Standing, she turns a quarter: her hand, and the plant in it, turn with her.
    const Vector4 her = game->GetPlayerPosition();
    Frames(20);
    const float heading = game->GetHeading();
    const float ax = held->matrix[12] - her.x, ay = held->matrix[13] - her.y;
    game->SetHeading(heading + 1.5707964f);
    Frames(1);
    const float bx = held->matrix[12] - her.x, by = held->matrix[13] - her.y;
    EXPECT_NEAR(bx, -ay, 1.0f);
    EXPECT_NEAR(by, ax, 1.0f);
    game->SetHeading(heading);
    Frames(1);
  }
  {
    const TesselDrawn drawn = InspectFrame(game);
    EXPECT_EQ(drawn.nodes.size(), 2 * (1 + game->GetEnemyCount()) + 1)
        << "the picked plant drawn in her hand";
    EXPECT_TRUE(DrawsPickedPlant(drawn, plant, held));
  }
  EXPECT_GT(TesselGroundDistanceSq(hand, plant.position), 60.0f * 60.0f) << "carried away";
  Press(kKeyE);
  EXPECT_EQ(game->GetPlayState(), kTesselThrowPlant);
  ASSERT_TRUE(RunUntil(
      game, [&] { return game->IsThrownPlantActive() == 1; }, 60));
  EXPECT_EQ(game->GetScore(0), 500) << "250 for the pull, 250 for the throw";
  ASSERT_TRUE(RunUntil(
      game, [&] { return !game->IsThrownPlantActive(); }, 120));
  EXPECT_GE(game->GetPlantsDestroyed(), 1u) << "a plant that lands counts as destroyed";
  ASSERT_TRUE(RunUntil(
      game, [&] { return game->GetPlayState() == kTesselFree; }, 120));
}

TEST_F(GameTest, AStampDestroysThePlantsRoundHerFoot) {
  cTesselGame* game = StartPlaying(kModeNormal);
  ParkEnemies(game);
  // The middle of the first bed: a 4 x 4 grid 50 apart.
  const TesselPlant* plants = game->GetPlants();
  const Vector4 middle(0.5f * (plants[5].position.x + plants[10].position.x),
                       0.5f * (plants[5].position.y + plants[10].position.y), 0.0f, 1.0f);
  game->SetPlayerPosition(middle);
  const int32_t mark = game->Window()->GetNextParticleId();
  Press(kKeyQ);
  EXPECT_EQ(game->IsStampRunning(), 1);
  bool heard = false;
  ASSERT_TRUE(RunUntil(
      game,
      [&] {
        heard |= GetSoundWrapper()->IsSamplePlaying(game->m_effectsBank, 17) &&
                 SaysOneOf(game, {27, 28, 29, 30});
        return game->IsStampRunning() == 0;
      },
      120));
  EXPECT_TRUE(heard) << "the stamp and her line with it";
  const uint32_t destroyed = game->GetPlantsDestroyed();
  EXPECT_GE(destroyed, 2u);
  EXPECT_EQ(game->GetScore(0), int32_t(250 * destroyed));
  uint32_t gone = 0;
  for (uint32_t i = 0; i < game->GetPlantCount(); ++i) {
    gone += plants[i].present == 0;
    EXPECT_EQ(NodeHidden(game, plants[i].node), plants[i].present == 0) << i;
  }
  EXPECT_EQ(gone, destroyed);
  // Each plant bursts where it stood, into its own kind's flowers and the collision's dust.
  std::vector<int32_t> expected;
  for (uint32_t i = 0; i < game->GetPlantCount(); ++i) {
    if (plants[i].present) continue;
    expected.push_back(kFxFlowers02 + int32_t(plants[i].kind));
    expected.push_back(kFxPlantCollision);
    int at = 0;
    for (const TesselEffectStarted& e : EffectsSince(game, mark))
      at += TesselGroundDistanceSq(e.at, plants[i].position) < 1.0f;
    EXPECT_EQ(at, 2) << i;
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(EffectIdsSince(game, mark), expected);
}

TEST_F(GameTest, ATreeBashedFourTimesIsDestroyedAndThreeTimesStaysInHand) {
  cTesselGame* game = StartPlaying(kModeNormal);
  ParkEnemies(game);
  const TesselTree& tree = game->GetTrees()[0];
  game->SetPlayerPosition(Vector4(tree.position.x, tree.position.y - 50.0f, 0.0f, 1.0f));
  Press(kKeySpace);
  ASSERT_EQ(game->GetPlayState(), kTesselPullTree);
  ASSERT_TRUE(RunUntil(
      game, [&] { return game->GetPlayState() == kTesselCarryTree; }, 150));
  EXPECT_EQ(game->GetScore(0), 500);
  EXPECT_EQ(LevelNode(game, tree.node)->flags, 0x02u) << "drawn where her hands hold it";
  TesselPlant* plants = game->GetPlants();
  for (uint32_t bash = 1; bash <= 4; ++bash) {
    const int32_t score = game->GetScore(0);
    const uint32_t destroyed = game->GetPlantsDestroyed();
    const int32_t mark = game->Window()->GetNextParticleId();
    Press(kKeySpace);
    ASSERT_EQ(game->GetPlayState(), kTesselBashTree) << bash;
    // Each blow thuds and draws a groan; the fourth breaks the tree with its own sound.
    bool thud = false, line = false;
    int ticks = 0, impact = -1;
    ASSERT_TRUE(RunUntil(
        game,
        [&] {
          ++ticks;
          if (impact < 0 && game->GetTreeBashCount() == bash) impact = ticks;
          // The last blow comes down on a plant (one of the second bed's, put under the trunk).
          if (bash == 4 && game->GetTreeBashCount() < 4)
            plants[20].position = LevelNode(game, tree.node)->matrix.GetRow(3);
          thud |= GetSoundWrapper()->IsSamplePlaying(game->m_effectsBank, 19) != 0;
          line |= SaysOneOf(game, {17, 18, 19, 20});
          return game->GetPlayState() != kTesselBashTree;
        },
        150));
    EXPECT_TRUE(thud) << bash;
    // The blow lands 0.3 into the swing; she holds the tree again once the swing is over, or
    // drops its remains at once.
    EXPECT_NEAR(impact, 19, 1) << bash;
    EXPECT_NEAR(ticks, bash < 4 ? 57 : 19, 1) << bash;
    EXPECT_TRUE(line) << bash;
    EXPECT_EQ(GetSoundWrapper()->IsSamplePlaying(game->m_effectsBank, 20), bash == 4 ? 1 : 0)
        << bash;
    EXPECT_EQ(game->GetTreeBashCount(), bash);
    EXPECT_EQ(game->IsTreeInHand(), bash < 4 ? 1 : 0) << bash;
    EXPECT_EQ(game->GetPlayState(), bash < 4 ? kTesselCarryTree : kTesselFree) << bash;
    // Bark flies at each blow; the fourth leaves the tree in a shower of leaves.
    std::vector<int32_t> expected = {kFxTreeCollision};
    if (bash == 4) expected.push_back(kFxLeavesBig);
    const uint32_t crushed = game->GetPlantsDestroyed() - destroyed;
    EXPECT_EQ(crushed, bash == 4 ? 1u : 0u);
    EXPECT_EQ(plants[20].present, bash == 4 ? 0u : 1u);
    EXPECT_EQ(game->GetScore(0) - score, 500 * int32_t(crushed)) << bash;
    if (bash == 4) expected.push_back(kFxFlowers02 + int32_t(plants[20].kind));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(EffectIdsSince(game, mark), expected) << bash;
  }
  EXPECT_EQ(game->GetTreesDestroyed(), 1u);
}

TEST_F(GameTest, TheFlashStunsAnEnemyFacingHerForFiveSeconds) {
  cTesselGame* game = StartPlaying(kModeNormal);
  ParkEnemies(game);
  cTesselEnemy* enemy = game->GetEnemy(0);
  enemy->StunTick();
  for (int i = 0; i < 100000 && enemy->GetState() == kEnemyStunned; ++i) enemy->StunTick();
  // She faces +y (heading pi); he stands 200 in front of her, facing her.
  const Vector4 her = game->GetPlayerPosition();
  game->SetHeading(3.1415927f);
  enemy->SetPosition(Vector4(her.x, her.y - 200.0f, 0.0f, 1.0f));
  enemy->SetState(kEnemyPatrol);
  game->SetPlayerPosition(Vector4(her.x, her.y - 400.0f, 0.0f, 1.0f));
  enemy->SetFacing(0.0f);
  Key(kKeyE, true);
  Frames(1);
  EXPECT_EQ(game->GetPlayState(), kTesselFlash);
  EXPECT_TRUE(SaysOneOf(game, {4, 5}));
  ASSERT_TRUE(RunUntil(
      game, [&] { return enemy->GetState() == kEnemyStunned; }, 60));
  EXPECT_GE(enemy->GetStunCountdown(), 295u);
  EXPECT_NE(enemy->GetStarsEffect(), -1);
  Key(kKeyE, false);
  Frames(1);
  EXPECT_TRUE(SaysOneOf(game, {40})) << "a word on the man she flashed";
  // Let go, the flash closes at once and she is free when it has.
  int ticks = 0;
  ASSERT_TRUE(RunUntil(
      game, [&] { return game->GetPlayState() == kTesselFree || !++ticks; }, 60));
  EXPECT_NEAR(ticks, 25, 1);
  ASSERT_TRUE(RunUntil(
      game, [&] { return enemy->GetState() == kEnemyChase; }, 320));
  // Flashes in quick succession: each new line of hers cuts the last one short.
  ParkEnemies(game);
  for (int flash = 0; flash < 6; ++flash) {
    Press(kKeyE);
    ASSERT_EQ(game->GetPlayState(), kTesselFlash) << flash;
    int lines = 0;
    for (int32_t line : LinesPlaying(game)) lines += line == 4 || line == 5;
    EXPECT_EQ(lines, 1) << flash;
    ASSERT_TRUE(RunUntil(
        game, [&] { return game->GetPlayState() == kTesselFree; }, 60));
  }
}

// The flash stuns the men within 316 of her, no more than 45 degrees off the way she faces, who
// look her way; no one else. The steered man of the two-player mode stands where he is put.
constexpr Vector4 kOpenGroundForFlash(1400.0f, -2000.0f, 0.0f, 1.0f);

TEST_F(GameTest, TheFlashStunsOnlyTheMenInFrontOfHerWhoLookHerWay) {
  const struct {
    const char* what;
    float distance, bearing;  // from her, the bearing off the way she faces
    float facing;             // his heading (she faces +y, heading pi)
    bool stunned;
  } cases[] = {
      {"ahead, looking at her", 200, 0, 0, true},
      {"ahead at 300", 300, 0, 0, true},
      {"ahead at 330", 330, 0, 0, false},
      {"ahead, looking away", 200, 0, 3.1415927f, false},
      {"behind her", 200, 3.1415927f, 3.1415927f, false},
      {"30 degrees to her right", 200, -0.5235988f, 0, true},
      {"30 degrees to her left", 200, 0.5235988f, 0, true},
      {"60 degrees to her right", 200, -1.0471976f, 0, false},
      {"ahead, looking 60 degrees past her", 200, 0, 1.0471976f, true},
      {"ahead, looking 120 degrees past her", 200, 0, 2.0943952f, false},
      {"ahead, looking 60 degrees past her the other way", 200, 0, 5.2359877f, true},
  };
  cTesselGame* game = StartPlaying(kModeTwoPlayer);
  ParkEnemies(game);
  cTesselEnemy* man = game->GetEnemy(0);
  const Vector4 her = kOpenGroundForFlash;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    man->Stun(0.0f, 60.0f);
    man->StunTick();
    ASSERT_NE(man->GetState(), kEnemyStunned);
    game->SetPlayerPosition(her);
    game->SetHeading(3.1415927f);
    // Bearing 0 is +y; a positive bearing turns towards -x.
    man->SetPosition(Vector4(her.x - c.distance * std::sin(c.bearing),
                             her.y + c.distance * std::cos(c.bearing), 0.0f, 1.0f));
    man->SetFacing(c.facing);
    Key(kKeyE, true);
    Frames(1);
    ASSERT_EQ(game->GetPlayState(), kTesselFlash);
    EXPECT_TRUE(SaysOneOf(game, {4, 5}));
    const int32_t start = game->GetAnimation(kAnimFlashStart);
    ASSERT_TRUE(RunUntil(
        game, [&] { return game->GetPlayerAnimator()->GetRemainingFraction(start) > 0.6f; }, 90));
    Key(kKeyE, false);
    Frames(1);
    EXPECT_EQ(man->GetState() == kEnemyStunned, c.stunned);
    EXPECT_EQ(SaysOneOf(game, {40}), c.stunned) << "a word on the man she flashed";
    if (c.stunned) {
      EXPECT_NEAR(float(man->GetStunCountdown()), 300.0f, 40.0f) << "five seconds";
    }
    ASSERT_TRUE(RunUntil(
        game, [&] { return game->GetPlayState() == kTesselFree && LinesPlaying(game).empty(); },
        400));
  }
}

// How well a character with `heading` at `from` faces `to`: 1 straight at it.
float Facing(float heading, const Vector4& from, const Vector4& to) {
  const float dx = to.x - from.x, dy = to.y - from.y;
  const float length = std::sqrt(dx * dx + dy * dy);
  return (std::sin(heading) * dx - std::cos(heading) * dy) / length;
}

// The width the HUD's lives take in a frame.
float LivesWidth(cTesselGame* game) {
  game->BeginHudFrame();
  InspectFrame(game);
  for (int32_t i = 0; i < game->GetHudPieceCount(); ++i)
    if (std::string(game->GetHudPiece(i)->name) == "lives")
      return game->GetHudPiece(i)->rect.x1 - game->GetHudPiece(i)->rect.x0;
  return 0.0f;
}

TEST_F(GameTest, ACatchCostsALifeAndRestartsTheLevel) {
  cTesselGame* game = StartPlaying(kModeNormal);
  cTesselEnemy* enemy = game->GetEnemy(1);
  const uint32_t line = game->GetPhoneLineIndex();
  // Before: she and each man drawn where they stand (model and shadow), no phone.
  const size_t people = 1 + game->GetEnemyCount();
  {
    const TesselDrawn drawn = InspectFrame(game);
    EXPECT_EQ(drawn.nodes.size(), 2 * people);
    ExpectDrawnWhereTheyStand(game, drawn);
  }
  const float livesWidth = LivesWidth(game);
  EXPECT_GT(livesWidth, 0.0f);
  // He arrives right beside her.
  const Vector4 her = game->GetPlayerPosition();
  enemy->SetPosition(Vector4(her.x + 40.0f, her.y - 20.0f, 0.0f, 1.0f));
  Frames(1);
  ASSERT_EQ(game->GetPlayState(), kTesselCaught);
  EXPECT_EQ(GetSoundWrapper()->IsSamplePlaying(game->m_effectsBank, 11), 1) << "caught";
  // She faces him; every man stands and faces her.
  EXPECT_GT(Facing(game->GetHeading(), game->GetPlayerPosition(), enemy->GetPosition()), 0.999f);
  for (uint32_t i = 0; i < game->GetEnemyCount(); ++i) {
    const cTesselEnemy* man = game->GetEnemy(i);
    EXPECT_EQ(man->GetAnimator()->IsAnimationActive(man->GetStandAnim()), 1) << "all stand, " << i;
    EXPECT_GT(Facing(man->GetFacing(), man->GetPosition(), game->GetPlayerPosition()), 0.999f) << i;
  }
  int zoomTicks = 0;
  EXPECT_NEAR(std::sqrt(TesselGroundDistanceSq(enemy->GetPosition(), game->GetPlayerPosition())),
              90.0f, 0.01f)
      << "placed 45 either side of where they met";
  // About where they met (he took a step towards her first).
  const Vector4 met(her.x + 20.0f, her.y - 10.0f, 0.0f, 1.0f);
  EXPECT_NEAR(std::sqrt(TesselGroundDistanceSq(game->GetPlayerPosition(), met)), 45.0f, 5.0f);
  EXPECT_NEAR(std::sqrt(TesselGroundDistanceSq(enemy->GetPosition(), met)), 45.0f, 5.0f);
  bool phone = false, said = false, zoomed = false;
  ASSERT_TRUE(RunUntil(
      game,
      [&] {
        said |= SaysOneOf(game, {6 + int32_t(line)});
        zoomTicks += game->GetCaughtSubStep() == 0;
        if (game->GetCaughtSubStep() == 1 && !zoomed) {
          // The camera has closed in on where they met.
          zoomed = true;
          const Vector4 m = game->GetPlayerPosition();
          const Vector4& eye = game->GetCamera().GetPosition();
          const Vector4& target = game->GetCamera().GetTarget();
          EXPECT_NEAR(target.z, 120.0f, 1.0f);
          EXPECT_NEAR(eye.z, 300.0f, 1.0f);
          EXPECT_NEAR(target.y - eye.y, 250.0f, 1.0f);
          EXPECT_LT(std::fabs(target.x - m.x), 50.0f);
          EXPECT_LT(std::fabs(target.y - m.y), 50.0f);
        }
        if (!phone && game->IsPhoneShown() == 1) {
          phone = true;
          // The phone in her left hand, one more model by her.
          const TesselDrawn drawn = InspectFrame(game);
          EXPECT_EQ(drawn.nodes.size(), 2 * people + 1);
          int phones = 0;
          for (const RenderNodeRecord& node : drawn.nodes) {
            const Vector4 at(node.placement[12], node.placement[13], 0.0f, 1.0f);
            const TesselDrawn one{{node}, {}};
            bool character = one.NodesNear(game->GetPlayerPosition(), 0.01f) != 0;
            for (uint32_t i = 0; i < game->GetEnemyCount(); ++i)
              character |= one.NodesNear(game->GetEnemy(i)->GetPosition(), 0.01f) != 0;
            if (character) continue;
            ++phones;
            EXPECT_LT(std::sqrt(TesselGroundDistanceSq(at, game->GetPlayerPosition())), 100.0f);
            EXPECT_GT(node.placement[14], 20.0f) << "held up";
          }
          EXPECT_EQ(phones, 1);
        }
        return game->GetCaughtSubStep() == 4;
      },
      1200));
  EXPECT_TRUE(phone) << "she phones";
  EXPECT_TRUE(said) << "the next of her seven calls";
  EXPECT_TRUE(zoomed);
  EXPECT_NEAR(zoomTicks, 100, 2) << "the camera closes in over 1/0.6 seconds";
  EXPECT_EQ(game->GetPhoneLineIndex(), (line + 1) % 7);
  EXPECT_EQ(game->GetLives(), 2);
  // Back at the start: she facing up the garden, the camera over her, every man at his start.
  const Vector4& start = game->GetStartPosition();
  EXPECT_EQ(game->GetPlayerPosition().x, start.x);
  EXPECT_EQ(game->GetPlayerPosition().y, start.y);
  EXPECT_FLOAT_EQ(game->GetHeading(), 3.1415927f);
  EXPECT_EQ(game->GetCamera().GetPosition().x, start.x);
  EXPECT_EQ(game->GetCamera().GetPosition().y, start.y - 800.0f);
  EXPECT_EQ(game->GetCamera().GetPosition().z, 1250.0f);
  EXPECT_EQ(game->GetCamera().GetTarget().y, start.y + 8.6f);
  EXPECT_EQ(game->GetCamera().GetTarget().z, 50.0f);
  for (uint32_t i = 0; i < game->GetEnemyCount(); ++i) {
    const cTesselEnemy* man = game->GetEnemy(i);
    EXPECT_EQ(man->GetPosition().x, man->GetStartPosition().x) << i;
    EXPECT_EQ(man->GetPosition().y, man->GetStartPosition().y) << i;
  }
  EXPECT_LT(LivesWidth(game), livesWidth) << "one life fewer drawn";
  int ticks = 0;
  ASSERT_TRUE(RunUntil(
      game, [&] { return game->GetPlayState() == kTesselFree || !++ticks; }, 300));
  EXPECT_NEAR(ticks, 122, 2) << "the intro again";
  EXPECT_EQ(InspectFrame(game).nodes.size(), 2 * people) << "the phone put away";
}

TEST_F(GameTest, APlantInHerHandWhenSheIsCaughtFallsAndCounts) {
  enum Holding { kCarrying, kPullingItUp };
  for (const Holding holding : {kCarrying, kPullingItUp}) {
    SCOPED_TRACE(holding == kCarrying ? "carrying" : "pulling it up");
    cTesselGame* game = StartPlaying(kModeNormal);
    ParkEnemies(game);
    const TesselPlant& plant = game->GetPlants()[0];
    StandBy(game, plant);
    Press(kKeySpace);
    ASSERT_EQ(game->GetPlayState(), kTesselPullPlant);
    if (holding == kCarrying) {
      ASSERT_TRUE(RunUntil(
          game, [&] { return game->GetPlayState() == kTesselCarryPlant; }, 120));
    } else {
      // Out of the ground and in her hand, the pull not yet over.
      ASSERT_TRUE(RunUntil(
          game, [&] { return game->IsPlantInHand() == 1; }, 120));
      ASSERT_EQ(game->GetPlayState(), kTesselPullPlant);
    }
    const uint32_t before = game->GetPlantsDestroyed();
    cTesselEnemy* enemy = game->GetEnemy(0);
    enemy->SetState(kEnemyPatrol);
    const Vector4 her = game->GetPlayerPosition();
    enemy->SetPosition(Vector4(her.x + 40.0f, her.y - 20.0f, 0.0f, 1.0f));
    Frames(1);
    ASSERT_EQ(game->GetPlayState(), kTesselCaught);
    EXPECT_EQ(game->IsThrownPlantActive(), 1) << "she lets it fall";
    ASSERT_TRUE(RunUntil(
        game, [&] { return !game->IsThrownPlantActive(); }, 120));
    EXPECT_EQ(game->GetPlayState(), kTesselCaught);
    EXPECT_EQ(game->GetPlantsDestroyed(), before + 1) << "the plant she pulled counts";
    game->SetPlayState(kTesselNoLivesLeft);
    Frames(2);
    ASSERT_EQ(Current(), nullptr);
    Frames(3);
  }
}

TEST_F(GameTest, CaughtWithNoLivesLeftEndsTheGameLost) {
  cTesselGame* game = StartPlaying(kModeNormal);
  // Three catches take the three lives; the fourth ends the game.
  for (int catches = 0; catches < 4; ++catches) {
    ASSERT_TRUE(RunUntil(
        game, [&] { return game->GetPlayState() == kTesselFree; }, 400))
        << catches;
    EXPECT_EQ(game->GetLives(), 3 - catches);
    const uint32_t call = game->GetPhoneLineIndex();
    const Vector4 her = game->GetPlayerPosition();
    game->GetEnemy(0)->SetPosition(Vector4(her.x, her.y - 50.0f, 0.0f, 1.0f));
    Frames(1);
    ASSERT_EQ(game->GetPlayState(), kTesselCaught) << catches;
    RunUntil(
        game, [&] { return game->GetPlayState() != kTesselCaught; }, 1200);
    EXPECT_EQ(game->GetPhoneLineIndex(), (call + 1) % 7) << "each call the next of seven";
  }
  for (int i = 0; i < 5 && Current(); ++i) Frames(1);
  EXPECT_EQ(Current(), nullptr) << "the game is over";
  const HighScoreEntry* best = GetSaveProfile().GetHighScore(cTesselGame::kGameId, 0);
  ASSERT_NE(best, nullptr) << "normal mode records the score";
  EXPECT_EQ(TesselBlocks(), 0u);
}

// Destroys plants until the goal of the mode is reached, by stamping in the beds.
void ReachPlantGoal(TesselTest* test, cTesselGame* game, uint32_t goal) {
  game->SetPlantsDestroyed(goal - 1);
  const TesselPlant* plants = game->GetPlants();
  uint32_t i = 0;
  while (i < game->GetPlantCount() && !plants[i].present) ++i;
  ASSERT_LT(i, game->GetPlantCount());
  game->SetPlayerPosition(Vector4(plants[i].position.x, plants[i].position.y - 25.0f, 0.0f, 1.0f));
  (void)test;
}

TEST_F(GameTest, EachLevelsGoalLeadsToTheNextAndTheThirdWinsTheGame) {
  cTesselGame* game = StartPlaying(kModeNormal);
  const uint32_t enemies[3] = {2, 3, 4};
  for (int32_t level = 0; level < 3; ++level) {
    ASSERT_TRUE(RunUntil(
        game, [&] { return game->GetPlayState() == kTesselFree; }, 400))
        << level;
    ASSERT_EQ(game->GetLevelIndex(), level);
    EXPECT_EQ(game->GetEnemyCount(), enemies[level]);
    EXPECT_EQ(game->Window()->GetScene(),
              GetApp().GetSceneFactory()->FindScene(game->GetSceneId(level)));
    EXPECT_NE(game->GetLightBlock(level), nullptr);
    EXPECT_EQ(game->Window()->GetLightSetup(), game->GetLightBlock(level));
    // Each level starts afresh: she at its start facing up the garden, its men at theirs, its
    // count at nothing.
    EXPECT_EQ(game->GetPlayerPosition().x, game->GetStartPosition().x);
    EXPECT_EQ(game->GetPlayerPosition().y, game->GetStartPosition().y);
    EXPECT_FLOAT_EQ(game->GetHeading(), 3.1415927f);
    EXPECT_EQ(game->GetPlantsDestroyed(), 0u);
    EXPECT_EQ(game->IsStampRunning(), 0) << "the last level's stamp is forgotten";
    EXPECT_EQ(game->GetTreeBashCount() + game->IsThrownPlantActive() + game->IsThrownTreeActive() +
                  game->IsPlantInHand() + game->IsTreeInHand(),
              0u)
        << "and all she held";
    for (uint32_t i = 0; i < game->GetEnemyCount(); ++i) {
      const cTesselEnemy* man = game->GetEnemy(i);
      EXPECT_EQ(man->GetPosition().x, man->GetStartPosition().x) << i;
      EXPECT_EQ(man->GetPosition().y, man->GetStartPosition().y) << i;
      EXPECT_EQ(man->GetState(), kEnemyChase) << i;
    }
    ParkEnemies(game);
    ReachPlantGoal(this, game, 50);
    game->SetHeading(0.0f);
    Press(kKeyQ);
    ASSERT_TRUE(RunUntil(
        game, [&] { return game->GetPlayState() == kTesselLevelOver; }, 60))
        << level;
    EXPECT_TRUE(game->m_ingameText.shown);
    EXPECT_EQ(game->m_ingameText.text, GetLocalisedText(93)) << "level complete";
  }
  for (int i = 0; i < 600 && Current(); ++i) Frames(1);
  ASSERT_EQ(Current(), nullptr) << "three levels, then the game is over";
  const HighScoreEntry* best = GetSaveProfile().GetHighScore(cTesselGame::kGameId, 0);
  ASSERT_NE(best, nullptr);
  EXPECT_GT(best->score, 0);
  EXPECT_EQ(TesselBlocks(), 0u);
}

// The text as the frame's text list holds it.
std::string Narrow(const char16_t* text) {
  std::string narrow;
  for (const char16_t* c = text; c && *c; ++c) narrow += char(*c);
  return narrow;
}

// Each mode's goal ends the level at its count and not one short: the message on screen, every
// man stood still.
TEST_F(GameTest, EachModesGoalEndsTheLevelAtItsCountAndNotBefore) {
  const struct {
    int32_t mode;
    uint32_t shortPlants, shortTrees;  // no goal yet
    uint32_t plants, trees;            // the goal
    int32_t message;
  } cases[] = {
      {kModeNormal, 49, 4, 50, 0, 93},
      {kModeTwoPlayer, 49, 4, 50, 0, 93},
      {kModeChallenge1, 19, 4, 20, 0, 95},
      {kModeChallenge2, 50, 3, 0, 4, 93},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    cTesselGame* game = StartPlaying(c.mode);
    ParkEnemies(game);
    game->SetPlantsDestroyed(c.shortPlants);
    game->SetTreesDestroyed(c.shortTrees);
    Frames(1);
    ASSERT_EQ(game->GetPlayState(), kTesselFree);
    EXPECT_EQ(game->IsGoalReached(), 0);
    game->SetPlantsDestroyed(c.plants);
    game->SetTreesDestroyed(c.trees);
    Frames(1);
    ASSERT_EQ(game->GetPlayState(), kTesselLevelOver);
    EXPECT_EQ(game->IsGoalReached(), 1);
    EXPECT_EQ(game->m_ingameText.text, GetLocalisedText(c.message));
    EXPECT_TRUE(InspectFrame(game).HasText(Narrow(GetLocalisedText(c.message))));
    for (uint32_t i = 0; i < game->GetEnemyCount(); ++i) {
      const cTesselEnemy* man = game->GetEnemy(i);
      EXPECT_EQ(man->GetAnimator()->IsAnimationActive(man->GetStandAnim()), 1) << i;
    }
    game->SetPlayState(kTesselNoLivesLeft);
    Frames(5);
    ASSERT_EQ(Current(), nullptr);
  }
}

TEST_F(GameTest, TheChallengeClockRunsDownAndTimeUpIsNotAWin) {
  cTesselGame* game = StartPlaying(kModeChallenge1);
  EXPECT_EQ(game->GetTimeLeft(), 60u);
  ParkEnemies(game);
  Frames(60);
  EXPECT_EQ(game->GetTimeLeft(), 59u) << "one second a tick-rate of ticks";
  // The last ten seconds tick audibly.
  game->SetTimeLeft(10);
  Frames(1);
  EXPECT_EQ(GetSoundWrapper()->IsSamplePlaying(game->m_effectsBank, 3), 0) << "not at ten";
  Frames(59);
  EXPECT_EQ(game->GetTimeLeft(), 9u);
  EXPECT_EQ(GetSoundWrapper()->IsSamplePlaying(game->m_effectsBank, 3), 1);
  game->SetTimeLeft(1);
  Frames(1);
  EXPECT_EQ(GetSoundWrapper()->IsSamplePlaying(game->m_effectsBank, 3), 1) << "the last second too";
  // She runs as the time runs out.
  Key(kKeyRight, true);
  ASSERT_TRUE(RunUntil(
      game, [&] { return game->GetPlayState() == kTesselLevelOver; }, 70));
  EXPECT_EQ(game->GetTimeLeft(), 0u);
  EXPECT_EQ(game->m_ingameText.text, GetLocalisedText(96)) << "time up";
  EXPECT_EQ(GetSoundWrapper()->IsSamplePlaying(game->m_effectsBank, 3), 0) << "the ticking stops";
  const float x = game->GetPlayerPosition().x;
  Frames(1);
  EXPECT_EQ(game->GetPlayerPosition().x, x) << "and stops";
  Key(kKeyRight, false);
  EXPECT_EQ(game->GetPlayerAnimator()->IsAnimationActive(game->GetAnimation(kAnimStand)), 1);
  for (uint32_t i = 0; i < game->GetEnemyCount(); ++i) {
    const cTesselEnemy* man = game->GetEnemy(i);
    EXPECT_EQ(man->GetAnimator()->IsAnimationActive(man->GetStandAnim()), 1) << i;
  }
  // The message stays its three seconds, then a second's fade.
  int frames = 0;
  for (; frames < 600 && Current(); ++frames) Frames(1);
  EXPECT_NEAR(frames, 4 * 60, 2);
  ASSERT_EQ(Current(), nullptr) << "a challenge is one level";
  EXPECT_EQ(GetSaveProfile().UnlockCount(), 0) << "running out of time unlocks nothing";
}

TEST_F(GameTest, TheChallengeGoalsWinAfterTheirOneLevel) {
  const struct { int32_t mode; } cases[] = {{kModeChallenge1}, {kModeChallenge2}};
  for (const auto& c : cases) {
    cTesselGame* game = StartPlaying(c.mode);
    ParkEnemies(game);
    if (c.mode == kModeChallenge1) {
      ReachPlantGoal(this, game, 20);
      Press(kKeyQ);
    } else {
      game->SetTreesDestroyed(5);
      Frames(2);
      EXPECT_EQ(game->GetPlayState(), kTesselFree) << "exactly four trees, not five";
      game->SetTreesDestroyed(4);
      Frames(1);
    }
    ASSERT_TRUE(RunUntil(
        game, [&] { return game->GetPlayState() == kTesselLevelOver; }, 60));
    EXPECT_EQ(game->m_ingameText.text, GetLocalisedText(c.mode == kModeChallenge1 ? 95 : 93));
    const int32_t unlocks = GetSaveProfile().UnlockCount();
    // Three seconds of the message, a second's fade.
    int frames = 0;
    for (; frames < 600 && Current(); ++frames) Frames(1);
    EXPECT_NEAR(frames, 4 * 60, 2) << c.mode;
    ASSERT_EQ(Current(), nullptr) << c.mode;
    EXPECT_EQ(GetSaveProfile().UnlockCount(), unlocks + 1) << c.mode;
    m_harness.RunFrames(5);
  }
}

// The counter reads `count`, on its own or over its target.
bool ShowsCount(const TesselDrawn& drawn, uint32_t count) {
  const std::string n = std::to_string(count);
  for (const std::string& t : drawn.texts)
    if (t == n || t.rfind(n + "/", 0) == 0) return true;
  return false;
}

TEST_F(GameTest, TheHudShowsTheScoreTheCountAndInAChallengeTheClock) {
  const struct {
    int32_t mode;
    const char* clock;  // at the start, null for none
    const char* counter;
  } cases[] = {
      {kModeNormal, nullptr, "plants"},
      {kModeChallenge1, "01:00", "plants"},
      {kModeChallenge2, "01:00", "trees"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    cTesselGame* game = StartPlaying(c.mode);
    ParkEnemies(game);
    TesselDrawn drawn = InspectFrame(game);
    EXPECT_TRUE(drawn.HasText("000000"));
    EXPECT_TRUE(ShowsCount(drawn, 0));
    int clocks = 0;
    for (const std::string& t : drawn.texts) clocks += t.find(':') != std::string::npos;
    EXPECT_EQ(clocks, c.clock ? 1 : 0);
    EXPECT_TRUE(!c.clock || drawn.HasText(c.clock));
    EXPECT_TRUE(c.mode != kModeChallenge2 || drawn.HasText("0/4"));
    Frames(60);
    game->AddScore(0, 1250);
    game->SetPlantsDestroyed(7);
    game->SetTreesDestroyed(2);
    drawn = InspectFrame(game);
    EXPECT_TRUE(drawn.HasText("001250"));
    EXPECT_TRUE(ShowsCount(drawn, std::string(c.counter) == "trees" ? 2 : 7));
    EXPECT_TRUE(!c.clock || drawn.HasText("00:59"));
    game->SetPlayState(kTesselNoLivesLeft);
    Frames(2);
    ASSERT_EQ(Current(), nullptr);
    Frames(3);
  }
}

TEST_F(GameTest, RunningAndDeletingTheGameTwiceLeavesNothingBehind) {
  const int32_t windows = GetApp().GetWindowCount();
  // What the game loads through the shared factories goes back to them: a second run leaves no
  // more behind than the first (the node factory keeps the names it has seen).
  const char* const shared[] = {"FileIO::LoadFile", "NodeFactory::Add", "SceneFactory::CreateScene",
                                "ParticleFactory::Add", "AnimFactory::AddAnim"};
  uint32_t before[5];
  for (int i = 0; i < 5; ++i) before[i] = MemoryTracker::CountBlocksOwnedBy(shared[i]);
  uint32_t firstRun[5] = {};
  int32_t ids[2];
  for (int round = 0; round < 2; ++round) {
    cTesselGame* game = StartPlaying(kModeNormal);
    ids[round] = game->GetWindowId();
    EXPECT_EQ(GetApp().FindWindow(ids[round]), game->Window());
    Frames(30);
    game->SetPlayState(kTesselNoLivesLeft);
    Frames(2);
    ASSERT_EQ(Current(), nullptr);
    EXPECT_EQ(GetApp().GetWindowCount(), windows) << round;
    EXPECT_EQ(GetApp().FindWindow(ids[round]), nullptr) << round;
    EXPECT_EQ(TesselBlocks(), 0u) << round;
    for (int i = 0; i < 5; ++i) {
      const uint32_t now = MemoryTracker::CountBlocksOwnedBy(shared[i]);
      if (i != 1) {
        EXPECT_EQ(now, before[i]) << shared[i];
      }
      if (round == 1) {
        EXPECT_EQ(now, firstRun[i]) << shared[i];
      }
      firstRun[i] = now;
    }
    m_harness.RunFrames(3);
  }
}

TEST_F(GameTest, CleanUpTwiceAfterAPartialLoadGivesBackEverything) {
  // The framework calls CleanUp after a refused phase: here after LoadPhase1 alone.
  cTesselGame* game = TrackedNew<cTesselGame>("TesselTest::StartGame", kModeNormal, 0);
  for (int32_t i = 0; i < kTesselEffectCount; ++i) EXPECT_EQ(game->GetParticleTemplate(i), -1);
  game->LoadPhase1();
  game->CleanUp();
  game->CleanUp();
  for (int32_t level = 0; level < cTesselGame::kLevelCount; ++level) {
    EXPECT_EQ(game->GetSceneId(level), -1);
    EXPECT_EQ(game->GetJunctionMap(level), nullptr);
    EXPECT_EQ(game->GetIntermediateMap(level), nullptr);
  }
  EXPECT_EQ(game->GetWindowId(), -1);
  TrackedDelete("TesselTest::StartGame", game);
  EXPECT_EQ(TesselBlocks(), 0u);
}

TEST_F(GameTest, CreateSkeletonAgainDoesNotLeak) {
  cTesselGame* game = StartGame(kModeNormal);
  AnimationHelper* animator = game->GetPlayerAnimator();
  const uint32_t before = MemoryTracker::CountBlocksOwnedBy("AnimationHelper::CreateSkeleton");
  EXPECT_EQ(animator->CreateSkeleton(), 1);
  EXPECT_EQ(animator->CreateSkeleton(), 1);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("AnimationHelper::CreateSkeleton"), before);
}

}  // namespace

TEST_F(GameTest, TheHudCountsAgainstTheModesTargetAndTheClockRunsOutAtZeroZero) {
  const struct {
    int32_t mode;
    const char16_t* counter;  // 7 plants destroyed, or 3 trees (null) against the level's
    const char16_t* clock;    // null: no clock
  } cases[] = {{kModeNormal, u"7/50", nullptr},
               {kModeTwoPlayer, u"7/50", nullptr},
               {kModeChallenge1, u"7/20", u"00:00"},
               {kModeChallenge2, nullptr, u"00:00"}};
  for (const auto& c : cases) {
    cTesselGame* game = StartGame(c.mode);
    ASSERT_NE(game, nullptr);
    game->SetPlantsDestroyed(7);
    game->SetTreesDestroyed(3);
    game->SetTimeLeft(0);
    RenderWindow* window = game->Window();
    window->DropText();
    game->Render();
    const std::string trees = "3/" + std::to_string(game->GetTreeCount());
    const std::u16string counter =
        c.counter ? c.counter : std::u16string(trees.begin(), trees.end());
    bool counted = false, clocked = false;
    for (int32_t i = 0; i < window->GetTextItemCount(); ++i) {
      const std::u16string text = window->GetTextItem(i)->text;
      counted = counted || text == counter;
      clocked = clocked || (c.clock && text == c.clock);
      EXPECT_EQ(text.find(u':') != std::u16string::npos && !c.clock, false) << "mode " << c.mode;
    }
    EXPECT_TRUE(counted) << "mode " << c.mode;
    EXPECT_EQ(clocked, c.clock != nullptr) << "mode " << c.mode;
    window->DropText();
    GetKavelApp()->StartGame(nullptr);
    Frames(2);
  }
}
