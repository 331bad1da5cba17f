// What the pirate game shows, read from what a frame submits for drawing: the HUD's score, clock
// and pairs counter, the tally models, the hook pointer, the chest of the finale and the picked
// pirate leaping out of its hole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCNodeFactory.h"
#include "Engine/PC/PCPolygonPools.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCScene.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Localisation/LocalisedText.h"
#include "Game/Sound/CSoundWrapper.h"
#include "tests/pirate/PirateTestSupport.h"

namespace {

using piratetest::Autopilot;
using G = cpirategame;

constexpr int32_t kTextTimeUp = 106;

struct Drawn {
  const NodeContainer* container;
  Vector4 at;
  bool posed;   // drawn with its skeleton
  float scale;  // along z
};

struct Frame {
  std::vector<Drawn> models;  // the main window's
  std::vector<std::u16string> hud;
  int32_t quads = 0;  // 2D quads on the main window: the hook pointer
};

int32_t Quads(RenderWindow* window) {
  const PolygonPools& pools = window->GetPolygonPools();
  return pools.GetPolygonCount(PolygonPools::kOpaque2D) +
         pools.GetPolygonCount(PolygonPools::kAlpha2D);
}

bool Effect(const G* g, int32_t sample) {
  CSoundWrapper* sound = GetSoundWrapper();
  return sound && sound->IsSamplePlaying(g->m_effectsBank, sample);
}
bool Speech(const G* g, int32_t sample) {
  CSoundWrapper* sound = GetSoundWrapper();
  return sound && sound->IsSamplePlaying(g->m_speechBank, sample);
}

bool Near(const Vector4& a, const Vector4& b) {
  return std::fabs(a.x - b.x) < 0.5f && std::fabs(a.y - b.y) < 0.5f && std::fabs(a.z - b.z) < 0.5f;
}

class PirateShowTest : public piratetest::PirateAppTest {
 protected:
  static Frame RenderOnce(G* g) {
    RenderWindow* main = g->MainWindow();
    RenderWindow* overlay = g->OverlayWindow();
    Frame frame;
    const int32_t from = main->GetRenderNodeCount();
    const int32_t quads = Quads(main);
    overlay->DropText();
    g->Render();
    for (int32_t i = from; i < main->GetRenderNodeCount(); ++i) {
      const RenderNodeRecord* r = main->GetRenderNode(i);
      frame.models.push_back({r->container,
                              Vector4(r->placement[12], r->placement[13], r->placement[14], 1.0f),
                              r->skeleton != nullptr, r->placement[10]});
    }
    for (int32_t i = 0; i < overlay->GetTextItemCount(); ++i)
      frame.hud.push_back(overlay->GetTextItem(i)->text);
    frame.quads = Quads(main) - quads;
    return frame;
  }
  static int Count(const Frame& frame, int32_t geo, const Vector4* at = nullptr) {
    const NodeContainer* container = GetApp().GetNodeFactory()->Find(geo);
    int n = 0;
    for (const Drawn& d : frame.models)
      if (d.container == container && (!at || Near(d.at, *at))) ++n;
    return n;
  }
  static bool Shows(const Frame& frame, const std::u16string& text) {
    for (const std::u16string& t : frame.hud)
      if (t == text) return true;
    return false;
  }
  G* Playing(int32_t mode = kModeNormal, int32_t level = 0) {
    G* g = StartFromMenu(mode, level);
    EXPECT_NE(g, nullptr);
    if (!g || !RunToPlay()) return nullptr;
    return g;
  }
};

TEST_F(PirateShowTest, TheHudCountsAPairWhenItScoresAndTheClockStopsAtZero) {
  G* g = Playing(kModeNormal, 2);
  ASSERT_NE(g, nullptr);
  const Frame start = RenderOnce(g);
  EXPECT_TRUE(Shows(start, u"000000"));
  EXPECT_TRUE(Shows(start, u"05:00")) << "the intro took no time off";
  EXPECT_TRUE(Shows(start, u"00/10"));
  EXPECT_EQ(Count(start, g->m_tallyGeos[0]), 0);

  Autopilot pilot(1);
  for (int i = 0; i < 1500 && g->m_pairsLeft == kPirateKinds; ++i) Drive(pilot);
  ASSERT_EQ(g->m_pairsLeft, kPirateKinds - 1);
  const Frame scored = RenderOnce(g);
  EXPECT_TRUE(Shows(scored, u"01/10")) << "counted when scored";
  EXPECT_TRUE(Shows(scored, u"010000"));
  EXPECT_EQ(Count(scored, g->m_tallyGeos[0]), 0) << "before the tally shows it";
  for (int i = 0; i < 1500 && !g->m_tallyFading; ++i) Drive(pilot);
  ASSERT_EQ(g->m_tallyFading, 1);
  EXPECT_EQ(Count(RenderOnce(g), g->m_tallyGeos[0]), 1) << "the new tally fades in";
  for (int i = 0; i < 1500 && g->m_playPhase != G::kPhaseInput; ++i) Drive(pilot);
  ASSERT_EQ(g->m_playPhase, G::kPhaseInput);
  const Frame tallied = RenderOnce(g);
  EXPECT_EQ(Count(tallied, g->m_tallyGeos[0]), 1);
  EXPECT_EQ(Count(tallied, g->m_tallyGeos[1]), 0);

  g->m_secondsLeft = 1;
  for (int i = 0; i < 60 && g->m_secondsLeft > 0; ++i) m_harness.RunFrames(1);
  ASSERT_EQ(g->m_secondsLeft, 0);
  const Frame timeUp = RenderOnce(g);
  EXPECT_TRUE(Shows(timeUp, u"00:00"));
  ASSERT_TRUE(g->m_ingameText.shown);
  EXPECT_EQ(std::u16string(g->m_ingameText.text), GetLocalisedText(kTextTimeUp));

  g->m_pairsLeft = 0;
  EXPECT_TRUE(Shows(RenderOnce(g), u"10/10"));
}

TEST_F(PirateShowTest, TheHookShowsOnlyInPlayAndTheChestOnlyOnceTheFinaleHasBegun) {
  G* g = Playing();
  ASSERT_NE(g, nullptr);
  ASSERT_NE(g->m_chestAnim, nullptr);
  struct Case {
    int32_t phase, finaleState;
    bool hook, chest;
    int pirates;  // pirate models on the island: none is picked, so only those going home
  };
  const Case cases[] = {
      {G::kPhaseIntro, G::kFinaleCameraDrop, false, false, 0},
      {G::kPhaseInput, G::kFinaleCameraDrop, true, false, 0},
      {G::kPhasePairFound, G::kFinaleCameraDrop, true, false, 0},
      {G::kPhaseLeapOut, G::kFinaleCameraDrop, true, false, 0},
      {G::kPhaseLeapBack, G::kFinaleCameraDrop, true, false, 2},
      {G::kPhaseFinale, G::kFinaleCameraDrop, false, false, 0},
      {G::kPhaseFinale, G::kFinaleChestOpening, false, true, 0},
      {G::kPhaseFinale, G::kFinaleTreasure, false, true, 0},
      {G::kPhaseFinale, G::kFinaleFadeOut, false, true, 0},
  };
  // Two pirates of different kinds as the last two picks, going home together.
  int32_t picks[2] = {-1, -1};
  for (int32_t i = 0; i < kHoles && picks[1] < 0; ++i) {
    if (!g->m_holes[i].occupied) continue;
    if (picks[0] < 0) {
      picks[0] = i;
    } else if (g->m_holes[i].kind != g->m_holes[picks[0]].kind) {
      picks[1] = i;
    }
  }
  ASSERT_GE(picks[1], 0);
  g->m_firstHole = picks[0];
  g->m_secondHole = picks[1];
  g->m_returnVariant = G::kReturnBoth;
  g->m_returnScale.Set(1.5f, 1.5f, 1.5f, 0.0f);
  const Vector4 chestPlace = g->m_linePos[kLinePositions - 1];
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "phase " << c.phase << ", finale " << c.finaleState);
    g->m_playPhase = c.phase;
    g->m_finaleState = c.finaleState;
    const Frame frame = RenderOnce(g);
    EXPECT_EQ(frame.quads, c.hook ? 1 : 0);
    EXPECT_EQ(Count(frame, g->m_chestAnim->GetModel(), &chestPlace), c.chest ? 1 : 0);
    EXPECT_EQ(Count(frame, g->m_chestAnim->GetModel()), c.chest ? 1 : 0);
    int pirates = 0;
    for (int32_t kind = 0; kind < kPirateKinds; ++kind)
      pirates += Count(frame, g->m_pirateGeos[kind]);
    EXPECT_EQ(pirates, c.pirates);
    const NodeContainer* board = GetApp().GetNodeFactory()->Find(g->m_boardAnim->GetModel());
    for (const Drawn& d : frame.models) {
      if (d.container != board) continue;
      EXPECT_TRUE(d.posed) << "the board is drawn in its pose";
    }
    EXPECT_EQ(Count(frame, g->m_boardAnim->GetModel(), &g->m_boardPos), 1) << "the board";
  }
  g->m_playPhase = G::kPhaseInput;
  g->m_finaleState = G::kFinaleCameraDrop;

  // The covers: the selected one pulses, a found pair's are shaded, the rest are lit.
  int32_t selected = -1, found = -1;
  for (int32_t i = 0; i < kHoles; ++i) {
    if (!g->m_holes[i].occupied || g->m_holes[i].outOfPlay) continue;
    if (selected < 0) {
      selected = i;
    } else if (found < 0) {
      found = i;
    }
  }
  ASSERT_GE(found, 0);
  g->SelectHole(selected);
  g->m_holes[found].outOfPlay = 1;
  RenderOnce(g);
  Scene* scene = g->GetScene();
  for (int32_t i = 0; i < kHoles; ++i) {
    const PirateHole& h = g->m_holes[i];
    const GameNode* cover = scene->GetGameNodeRecord(h.objectNode);
    if (!cover || (h.outOfPlay && !h.occupied)) continue;
    const float shade = i == found ? 0.4f : (i == selected ? g->m_pulse : 1.0f);
    EXPECT_FLOAT_EQ(cover->tint.x, shade) << "hole " << i;
    EXPECT_FLOAT_EQ(cover->tint.w, 1.0f) << "hole " << i;
  }
  g->m_holes[found].outOfPlay = 0;
}

TEST_F(PirateShowTest, APickedPirateLeapsOutOfItsOwnHole) {
  G* g = Playing();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(MemoryTracker::ValidateAll(), 0) << "the board's set-up wrote inside its blocks";
  // Every pirate of every kind can be posed, and the tally's places were read from the scene.
  for (int32_t kind = 0; kind < G::kKinds; ++kind)
    for (int32_t set = 0; set < G::kSets; ++set) {
      ASSERT_NE(g->SetFor(set, kind), nullptr);
      ASSERT_NE(g->SetFor(set, kind)->helper, nullptr);
      EXPECT_NE(g->SetFor(set, kind)->helper->GetSkeleton(), nullptr) << kind << "," << set;
    }
  for (int32_t i = 0; i < kLinePositions; ++i)
    EXPECT_FALSE(Near(g->m_linePos[i], Vector4(0, 0, 0, 1))) << "tally place " << i;
  int32_t hole = -1;
  for (int32_t i = 0; i < kHoles && hole < 0; ++i)
    if (g->m_holes[i].occupied && !g->m_holes[i].outOfPlay && g->m_holes[i].kind < 5) hole = i;
  ASSERT_GE(hole, 0) << "a pirate whose line the demo's speech bank holds";
  const PirateHole& h = g->m_holes[hole];
  // The scene placed the hole's pirate and its landing spot apart, away from the origin.
  ASSERT_FALSE(Near(h.piratePos, h.targetPos));
  ASSERT_FALSE(Near(h.piratePos, Vector4(0, 0, 0, 1)));
  g->SelectHole(hole);
  g->m_cameraMoving = 0;
  if (CSoundWrapper* sound = GetSoundWrapper()) sound->StopAll();
  g->PickHole();
  ASSERT_EQ(g->m_playPhase, G::kPhaseLeapOut);
  EXPECT_TRUE(Effect(g, 16)) << "the pick";
  EXPECT_TRUE(Speech(g, 11 * h.kind)) << "the pirate's own line";
  ASSERT_EQ(g->m_firstHole, hole);
  const int32_t geo = g->m_pirateGeos[h.kind];
  // Each frame of the leap draws it on the way from its hole to its landing spot.
  float lastT = 0.0f;
  for (int frame = 0; frame < 40 && g->m_playPhase == G::kPhaseLeapOut; ++frame) {
    SCOPED_TRACE(::testing::Message() << "frame " << frame);
    const float t = g->m_leapOutT;
    EXPECT_GT(t, lastT);
    lastT = t;
    const Vector4 want(h.piratePos.x + t * (h.targetPos.x - h.piratePos.x),
                       h.piratePos.y + t * (h.targetPos.y - h.piratePos.y),
                       h.piratePos.z + t * (h.targetPos.z - h.piratePos.z), 1.0f);
    EXPECT_TRUE(Near(g->m_leapPos, want));
    const Frame drawn = RenderOnce(g);
    EXPECT_EQ(Count(drawn, geo, &want), 1);
    const NodeContainer* pirate = GetApp().GetNodeFactory()->Find(geo);
    for (const Drawn& d : drawn.models) {
      if (d.container != pirate) continue;
      EXPECT_NEAR(d.scale, 1.0f + t, 1e-4f) << "it grows as it leaps";
    }
    m_harness.RunFrames(1);
  }
  EXPECT_EQ(g->m_playPhase, G::kPhaseInput) << "landed";
  EXPECT_EQ(g->m_firstPicked, 1);
  // The second pick sounds as the first did.
  int32_t second = -1;
  for (int32_t i = 0; i < kHoles && second < 0; ++i)
    if (i != hole && g->m_holes[i].occupied && !g->m_holes[i].outOfPlay) second = i;
  ASSERT_GE(second, 0);
  g->SelectHole(second);
  g->m_cameraMoving = 0;
  GetSoundWrapper()->StopAll();
  g->PickHole();
  EXPECT_EQ(g->m_secondPicked, 1);
  EXPECT_TRUE(Effect(g, 16)) << "the second pick";
}

TEST_F(PirateShowTest, TheIntroOpensTheBoardDropsTheCoversAndBringsTheCameraDown) {
  G* g = StartFromMenu(kModeNormal, 1);
  ASSERT_NE(g, nullptr);
  std::vector<int32_t> states;
  bool coverLands = false, coverAbove = false;
  for (int i = 0; i < 600 && g->m_playPhase == G::kPhaseIntro; ++i) {
    if (!GetKavelApp()->IsLoading()) {
      if (states.empty() || states.back() != g->m_introState) states.push_back(g->m_introState);
      coverLands |= Effect(g, 14);
      if (g->m_introState == G::kIntroCoversFalling) {
        for (int32_t h = 0; h < kHoles; ++h) {
          const GameNode* cover = g->GetScene()->GetGameNodeRecord(g->m_holes[h].objectNode);
          if (cover && !g->m_landed[h] && !g->m_holes[h].outOfPlay)
            coverAbove |= cover->matrix.GetRow(3).z > g->m_holes[h].position.z + 100.0f;
        }
      }
      EXPECT_EQ(Quads(g->MainWindow()), 0) << "no hook in the intro";
    }
    m_harness.RunFrames(1);
  }
  ASSERT_EQ(g->m_playPhase, G::kPhaseInput);
  const std::vector<int32_t> order = {G::kIntroFadeIn, G::kIntroBoardOpening,
                                      G::kIntroCoversFalling, G::kIntroCameraDown,
                                      G::kIntroStartScript};
  EXPECT_EQ(states, order);
  EXPECT_TRUE(coverLands);
  EXPECT_TRUE(coverAbove) << "the covers fall from above the board";
  EXPECT_EQ(g->m_secondsLeft, 300) << "the clock waits for play";
  // Every cover in play rests where the board put it, shown, its shadow fully faded up; the
  // others stay hidden.
  Scene* scene = g->GetScene();
  int32_t shown = 0;
  for (int32_t i = 0; i < kHoles; ++i) {
    const PirateHole& h = g->m_holes[i];
    const GameNode* cover = scene->GetGameNodeRecord(h.objectNode);
    ASSERT_NE(cover, nullptr) << "hole " << i;
    if (h.outOfPlay) {
      EXPECT_EQ(cover->flags, GameNode::kHidden) << "hole " << i;
      continue;
    }
    ++shown;
    EXPECT_EQ(cover->flags, 2u) << "hole " << i;
    EXPECT_TRUE(Near(cover->matrix.GetRow(3), h.position)) << "hole " << i;
    const GameNode* shadow = scene->GetGameNodeRecord(g->m_shadowNodes[i]);
    ASSERT_NE(shadow, nullptr) << "hole " << i;
    EXPECT_EQ(shadow->tint.w, 1.0f) << "hole " << i;
  }
  EXPECT_EQ(shown, 25);
  EXPECT_TRUE(Near(g->m_camera.GetPosition(), g->m_playCameraPos));
}

// The clock runs while any pair is left to find, the last one too, and stops once all are found.
TEST_F(PirateShowTest, TheClockRunsUntilTheLastPairIsFound) {
  G* g = Playing();
  ASSERT_NE(g, nullptr);
  for (const int32_t left : {10, 1, 0}) {
    SCOPED_TRACE(left);
    g->m_pairsLeft = left;
    const int32_t seconds = g->m_secondsLeft;
    for (int tick = 0; tick < 60; ++tick) g->Update();
    EXPECT_EQ(seconds - g->m_secondsLeft, left > 0 ? 1 : 0);
  }
  g->m_pairsLeft = kPirateKinds;
}

}  // namespace
