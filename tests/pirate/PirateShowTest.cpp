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
#include "tests/support/PixelProbe.h"

namespace {

using piratetest::Autopilot;
using G = cpirategame;

constexpr int32_t kTextTimeUp = 106;

struct Drawn {
  const NodeContainer* container;
  Vector4 at;
  bool posed;   // drawn with its skeleton
  float scale;  // along z
  const Skeleton* skeleton;
  Vector4 scales;  // along x, y and z
  uint32_t flags;
  Vector4 tint;
};

struct Frame {
  std::vector<Drawn> models;    // the main window's
  std::vector<Drawn> closeUps;  // the overlay's
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
    const int32_t overlayFrom = overlay->GetRenderNodeCount();
    const int32_t quads = Quads(main);
    overlay->DropText();
    g->Render();
    auto read = [](RenderWindow* window, int32_t first, std::vector<Drawn>* out) {
      for (int32_t i = first; i < window->GetRenderNodeCount(); ++i) {
        const RenderNodeRecord* r = window->GetRenderNode(i);
        const float* m = r->placement.m;
        out->push_back({r->container, Vector4(m[12], m[13], m[14], 1.0f), r->skeleton != nullptr,
                        m[10], r->skeleton, Vector4(m[0], m[5], m[10], 0.0f), r->flags, r->tint});
      }
    };
    read(main, from, &frame.models);
    read(overlay, overlayFrom, &frame.closeUps);
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
  {
    // The pairs counter with the pirates' own icon.
    const PolygonPools& pools = g->OverlayWindow()->GetPolygonPools();
    int icons = 0;
    for (int32_t i = 0; i < pools.GetPolygonCount(PolygonPools::kAlpha2D); ++i)
      icons += pools.Get2D(PolygonPools::kAlpha2D, i)->texture == g->m_hud.counters[9] ? 1 : 0;
    EXPECT_EQ(icons, 1);
  }
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
  {
    const Frame fading = RenderOnce(g);
    EXPECT_EQ(Count(fading, g->m_tallyGeos[0]), 1) << "the new tally fades in";
    const NodeContainer* line = GetApp().GetNodeFactory()->Find(g->m_tallyGeos[0]);
    for (const Drawn& d : fading.models) {
      if (d.container != line) continue;
      EXPECT_FLOAT_EQ(d.tint.w, g->m_tallyFade);
      EXPECT_EQ(d.flags, 0x85u);
    }
    const float before = g->m_tallyFade;
    for (int i = 0; i < 10; ++i) Drive(pilot);
    ASSERT_EQ(g->m_tallyFading, 1);
    for (const Drawn& d : RenderOnce(g).models) {
      if (d.container != line) continue;
      EXPECT_FLOAT_EQ(d.tint.w, g->m_tallyFade);
      EXPECT_GT(d.tint.w, before + 0.05f) << "it grows as the fade runs";
    }
  }
  for (int i = 0; i < 1500 && g->m_playPhase != G::kPhaseInput; ++i) Drive(pilot);
  ASSERT_EQ(g->m_playPhase, G::kPhaseInput);
  const Frame tallied = RenderOnce(g);
  EXPECT_EQ(Count(tallied, g->m_tallyGeos[0]), 1);
  EXPECT_EQ(Count(tallied, g->m_tallyGeos[1]), 0);
  for (const Drawn& d : tallied.models) {
    if (d.container != GetApp().GetNodeFactory()->Find(g->m_tallyGeos[0])) continue;
    EXPECT_FLOAT_EQ(d.tint.w, 1.0f) << "found lines are drawn whole";
  }

  g->m_secondsLeft = 1;
  for (int i = 0; i < 60 && g->m_secondsLeft > 0; ++i) m_harness.RunFrames(1);
  ASSERT_EQ(g->m_secondsLeft, 0);
  const Frame timeUp = RenderOnce(g);
  EXPECT_TRUE(Shows(timeUp, u"00:00"));
  ASSERT_TRUE(g->m_ingameText.shown);
  EXPECT_EQ(std::u16string(g->m_ingameText.text), GetLocalisedText(kTextTimeUp));
  {
    // Written over the island.
    RenderWindow* main = g->MainWindow();
    bool written = false;
    for (int32_t i = 0; i < main->GetTextItemCount(); ++i)
      written |= std::u16string(main->GetTextItem(i)->text) == GetLocalisedText(kTextTimeUp);
    EXPECT_TRUE(written);
  }

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
      {G::kPhaseInput, G::kFinaleChestOpening, true, false, 0},
  };
  // Two pirates of different kinds as the last two picks, going home together, the second to
  // the board's first hole.
  int32_t first = -1;
  for (int32_t i = 1; i < kHoles && first < 0; ++i)
    if (g->m_holes[i].occupied) first = i;
  ASSERT_GE(first, 0);
  const PirateHole holeZero = g->m_holes[0];
  g->m_holes[0].occupied = 1;
  g->m_holes[0].kind = (g->m_holes[first].kind + 1) % kPirateKinds;
  g->m_firstHole = first;
  g->m_secondHole = 0;
  g->m_returnVariant = G::kReturnBoth;
  g->m_playPhase = G::kPhaseLeapBack;
  g->m_leapBackT = 0.0f;
  g->UpdateLeapBack();
  ASSERT_NEAR(g->m_returnScale.z, 1.95f, 0.01f);
  EXPECT_LT(std::fabs(g->m_returnPos2.x - g->m_holes[0].targetPos.x), 60.0f);
  EXPECT_LT(std::fabs(g->m_returnPos2.y - g->m_holes[0].targetPos.y), 60.0f);
  EXPECT_LT(std::fabs(g->m_returnPos1.x - g->m_holes[first].targetPos.x), 60.0f);
  {
    // Each on its own set: the first pick's and the second pick's.
    const Frame home = RenderOnce(g);
    const Skeleton* want[2] = {g->m_firstSet[g->m_holes[first].kind].helper->GetSkeleton(),
                               g->m_secondSet[g->m_holes[0].kind].helper->GetSkeleton()};
    const Vector4 at[2] = {g->m_returnPos1, g->m_returnPos2};
    const int32_t kinds[2] = {g->m_holes[first].kind, g->m_holes[0].kind};
    for (int k = 0; k < 2; ++k) {
      const NodeContainer* geo = GetApp().GetNodeFactory()->Find(g->m_pirateGeos[kinds[k]]);
      int found = 0;
      for (const Drawn& d : home.models) {
        if (d.container != geo || !Near(d.at, at[k])) continue;
        ++found;
        EXPECT_EQ(d.skeleton, want[k]) << k;
        EXPECT_NEAR(d.scales.y, g->m_returnScale.y, 1e-4f) << k;
      }
      EXPECT_EQ(found, 1) << k;
    }
  }
  const Vector4 chestPlace = g->m_linePos[kLinePositions - 1];
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "phase " << c.phase << ", finale " << c.finaleState);
    g->m_playPhase = c.phase;
    g->m_finaleState = c.finaleState;
    const Frame frame = RenderOnce(g);
    EXPECT_EQ(frame.quads, c.hook ? 1 : 0);
    if (c.hook) {
      // The hook at the screen's centre, its tip on the look-at point.
      const PolygonPools& pools = g->MainWindow()->GetPolygonPools();
      const PolygonData2D* hook =
          pools.Get2D(PolygonPools::kAlpha2D, pools.GetPolygonCount(PolygonPools::kAlpha2D) - 1);
      ASSERT_NE(hook, nullptr);
      EXPECT_EQ(hook->texture, g->m_hookTexture);
      ASSERT_EQ(hook->vertexCount, 4);
      EXPECT_FLOAT_EQ(hook->vertices[0].x, 320.0f);
      EXPECT_FLOAT_EQ(hook->vertices[0].y, 240.0f);
      EXPECT_FLOAT_EQ(hook->vertices[3].x, 362.0f);
      EXPECT_FLOAT_EQ(hook->vertices[3].y, 272.0f);
      EXPECT_EQ(hook->vertices[0].colour, 0xFFFFFFFFu) << "opaque white";
    }
    EXPECT_EQ(Count(frame, g->m_chestAnim->GetModel(), &chestPlace), c.chest ? 1 : 0);
    EXPECT_EQ(Count(frame, g->m_chestAnim->GetModel()), c.chest ? 1 : 0);
    for (const Drawn& d : frame.models) {
      if (d.container != GetApp().GetNodeFactory()->Find(g->m_chestAnim->GetModel())) continue;
      EXPECT_EQ(d.skeleton, g->m_chestAnim->GetSkeleton());
      EXPECT_NE(d.skeleton, nullptr) << "the chest is drawn in its pose";
    }
    int pirates = 0;
    for (int32_t kind = 0; kind < kPirateKinds; ++kind)
      pirates += Count(frame, g->m_pirateGeos[kind]);
    EXPECT_EQ(pirates, c.pirates);
    const NodeContainer* board = GetApp().GetNodeFactory()->Find(g->m_boardAnim->GetModel());
    for (const Drawn& d : frame.models) {
      if (d.container != board) continue;
      EXPECT_TRUE(d.posed) << "the board is drawn in its pose";
      EXPECT_EQ(d.skeleton, g->m_boardAnim->GetSkeleton());
      EXPECT_EQ(d.flags, 256u) << "as the pirates are";
    }
    EXPECT_EQ(Count(frame, g->m_boardAnim->GetModel(), &g->m_boardPos), 1) << "the board";
  }
  g->m_playPhase = G::kPhaseInput;
  g->m_finaleState = G::kFinaleCameraDrop;
  g->m_holes[0] = holeZero;

  // The covers: the selected one pulses, a found pair's are shaded, the rest are lit. The board's
  // first hole is the selected one.
  const int32_t selected = 0;
  const int32_t zeroOut = g->m_holes[0].outOfPlay;
  g->m_holes[0].outOfPlay = 0;
  int32_t found = -1;
  for (int32_t i = 1; i < kHoles && found < 0; ++i)
    if (g->m_holes[i].occupied && !g->m_holes[i].outOfPlay) found = i;
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
  g->m_holes[0].outOfPlay = zeroOut;
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
  // The scene's other named nodes are cleared to plain white, the covers and shadows the game
  // does not use hidden.
  Scene* scene = g->GetScene();
  for (int32_t i = 0; i < scene->GetNumGameNodes(); ++i) {
    const std::string name = scene->GetGameNode(i);
    const GameNode* node = scene->GetGameNodeRecord(i);
    if (name.rfind("object", 0) == 0 || name.rfind("shadow", 0) == 0) continue;
    EXPECT_EQ(node->flags, 0u) << name;
    EXPECT_EQ(node->tint.x + node->tint.y + node->tint.z + node->tint.w, 4.0f) << name;
  }
  // Every hole's pirate stands in it and lands beside it.
  for (int32_t i = 0; i < kHoles; ++i) {
    const PirateHole& h = g->m_holes[i];
    for (const Vector4& p : {h.piratePos, h.targetPos}) {
      EXPECT_LT(std::fabs(p.x - h.position.x), 700.0f) << "hole " << i;
      EXPECT_LT(std::fabs(p.y - h.position.y), 400.0f) << "hole " << i;
    }
    EXPECT_FALSE(Near(h.piratePos, h.targetPos)) << "hole " << i;
  }
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
  // The pick's sound and the pirate's line each play once.
  m_harness.RunFrames(60);
  EXPECT_FALSE(Effect(g, 16));
  EXPECT_FALSE(Speech(g, 11 * h.kind));
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

// Each picked pirate is drawn where it stands, at its size, in the pose of its own animation set:
// out of its hole, beside it while revealed, on the way home; and the one just picked shows in
// close-up on the overlay.
TEST_F(PirateShowTest, PickedPiratesAreDrawnWhereTheyStandInTheirOwnPoses) {
  G* g = Playing(kModeNormal, 2);
  ASSERT_NE(g, nullptr);
  // The first of kind 0, whose close-up is as any other's.
  int32_t a = -1, b = -1, c = -1;
  for (int32_t i = 0; i < kHoles && a < 0; ++i)
    if (g->m_holes[i].occupied && g->m_holes[i].kind == 0) a = i;
  ASSERT_GE(a, 0);
  for (int32_t i = 0; i < kHoles && c < 0; ++i) {
    const int32_t kind = g->m_holes[i].occupied ? g->m_holes[i].kind : -1;
    if (kind < 0 || i == a) continue;
    if (b < 0 && kind != g->m_holes[a].kind) {
      b = i;
    } else if (b >= 0 && kind != g->m_holes[a].kind && kind != g->m_holes[b].kind) {
      c = i;
    }
  }
  ASSERT_GE(c, 0);
  const int32_t ka = g->m_holes[a].kind, kb = g->m_holes[b].kind, kc = g->m_holes[c].kind;
  const Skeleton* firstA = g->m_firstSet[ka].helper->GetSkeleton();
  const Skeleton* secondB = g->m_secondSet[kb].helper->GetSkeleton();
  auto Find = [](const std::vector<Drawn>& models, int32_t geo) -> const Drawn* {
    const NodeContainer* container = GetApp().GetNodeFactory()->Find(geo);
    const Drawn* found = nullptr;
    for (const Drawn& d : models)
      if (d.container == container) found = &d;
    return found;
  };
  auto Check = [](const Drawn* d, const Vector4& at, float scale, const Skeleton* skeleton) {
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(Near(d->at, at));
    for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(d->scales[axis], scale, 1e-4f) << axis;
    EXPECT_EQ(d->skeleton, skeleton);
    EXPECT_EQ(d->flags, 256u);
    EXPECT_FLOAT_EQ(d->tint.x * d->tint.y * d->tint.z * d->tint.w, 1.0f) << "untinted";
  };
  auto Tick = [&](auto done) {
    for (int i = 0; i < 2000 && !done(); ++i) g->Update();
  };

  // The first pick, landed beside its hole at twice its size, in close-up once its leap is over.
  g->SelectHole(a);
  g->PickHole();
  Tick([&] { return g->m_playPhase == G::kPhaseInput; });
  for (int i = 0; i < 30; ++i) g->Update();
  Frame frame = RenderOnce(g);
  {
    SCOPED_TRACE("the first out");
    Check(Find(frame.models, g->m_pirateGeos[ka]), g->m_leapPos, g->m_leapScale.z, firstA);
    EXPECT_NEAR(g->m_leapScale.z, 2.0f, 0.1f);
    Check(Find(frame.closeUps, g->m_pirateGeos[ka]), Vector4(0, 0, 0, 1), 1.0f, firstA);
  }
  // The second pick on its way out; the first stays where it landed.
  g->SelectHole(b);
  g->PickHole();
  g->Update();
  ASSERT_EQ(g->m_playPhase, G::kPhaseLeapOut);
  frame = RenderOnce(g);
  {
    SCOPED_TRACE("the second leaping");
    Check(Find(frame.models, g->m_pirateGeos[ka]), g->m_holes[a].targetPos, 2.0f, firstA);
    Check(Find(frame.models, g->m_pirateGeos[kb]), g->m_leapPos, g->m_leapScale.z, secondB);
    EXPECT_LT(g->m_leapScale.z, 1.5f);
    Check(Find(frame.closeUps, g->m_pirateGeos[kb]), Vector4(0, 0, 0, 1), 1.0f, secondB);
  }
  // Revealed: both beside their holes, no close-up.
  Tick([&] { return g->m_playPhase == G::kPhaseInput && !g->m_pairPending; });
  ASSERT_GT(g->m_revealSeconds, 0);
  g->m_revealSeconds = 1;  // their last second
  frame = RenderOnce(g);
  {
    SCOPED_TRACE("revealed");
    Check(Find(frame.models, g->m_pirateGeos[ka]), g->m_holes[a].targetPos, 2.0f, firstA);
    Check(Find(frame.models, g->m_pirateGeos[kb]), g->m_leapPos, 2.0f, secondB);
    EXPECT_TRUE(Near(g->m_leapPos, g->m_holes[b].targetPos) ||
                std::fabs(g->m_leapPos.x - g->m_holes[b].targetPos.x) < 60.0f);
    EXPECT_TRUE(frame.closeUps.empty());
  }
  // A third pick sends the pair home, the old first on its spare set, while the third leaps out.
  g->SelectHole(c);
  g->PickHole();
  g->Update();
  ASSERT_EQ(g->m_playPhase, G::kPhaseLeapBack);
  ASSERT_EQ(g->m_returnVariant, G::kReturnPairForNew);
  frame = RenderOnce(g);
  {
    SCOPED_TRACE("going home");
    const float scale = g->m_returnScale.z;
    EXPECT_GT(scale, 1.5f);
    EXPECT_TRUE(Near(g->m_returnPos1, g->m_holes[a].targetPos) ||
                std::fabs(g->m_returnPos1.z - g->m_holes[a].targetPos.z) < 60.0f);
    int spareA = 0, secondBHome = 0;
    const NodeContainer* geoA = GetApp().GetNodeFactory()->Find(g->m_pirateGeos[ka]);
    const NodeContainer* geoB = GetApp().GetNodeFactory()->Find(g->m_pirateGeos[kb]);
    for (const Drawn& d : frame.models) {
      if (d.container == geoA && Near(d.at, g->m_returnPos1)) {
        ++spareA;
        EXPECT_EQ(d.skeleton, g->m_spareSet[ka].helper->GetSkeleton());
        EXPECT_NEAR(d.scales.x, scale, 1e-4f);
        EXPECT_NEAR(d.scales.y, scale, 1e-4f);
      }
      if (d.container == geoB && Near(d.at, g->m_returnPos2)) {
        ++secondBHome;
        EXPECT_EQ(d.skeleton, secondB);
        EXPECT_NEAR(d.scales.z, scale, 1e-4f);
      }
    }
    EXPECT_EQ(spareA, 1);
    EXPECT_EQ(secondBHome, 1);
    Check(Find(frame.models, g->m_pirateGeos[kc]), g->m_leapPos, g->m_leapScale.z,
          g->m_firstSet[kc].helper->GetSkeleton());
  }
}

// The pirate just picked stands in close-up in the screen's bottom-right corner: the overlay's
// own camera looks at it from the front, over the island's view.
TEST_F(PirateShowTest, TheJustPickedPirateStandsInCloseUpBottomRight) {
  G* g = Playing(kModeNormal, 2);
  ASSERT_NE(g, nullptr);
  int32_t hole = -1;
  for (int32_t i = 0; i < kHoles && hole < 0; ++i)
    if (g->m_holes[i].occupied) hole = i;
  ASSERT_GE(hole, 0);
  g->SelectHole(hole);
  g->PickHole();
  for (int i = 0; i < 2000 && (g->m_playPhase != G::kPhaseInput || g->m_cameraMoving); ++i)
    g->Update();
  for (int i = 0; i < 30; ++i) g->Update();
  m_harness.SkipPixelWork(false);
  gfx::D3DDevice* device = GetApp().GetDisplay()->GetDevice();
  m_harness.RunFrames(1);
  const std::vector<uint32_t> shown = pixelprobe::ReadBack(device, 640, 480);
  g->m_firstPicked = 0;
  m_harness.RunFrames(1);
  const std::vector<uint32_t> hidden = pixelprobe::ReadBack(device, 640, 480);
  g->m_firstPicked = 1;
  m_harness.SkipPixelWork();
  auto Changed = [&](int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        n += pixelprobe::Near(shown[y * 640 + x], pixelprobe::RgbOf(hidden[y * 640 + x]), 2.0) ? 0
                                                                                               : 1;
    return n;
  };
  // The pirate is about 160 by 160 pixels there; the island's view changes little elsewhere.
  EXPECT_GT(Changed(480, 320, 640, 480), 10000);
  EXPECT_LT(Changed(0, 240, 320, 480), 1500);
}

TEST_F(PirateShowTest, TheIntroOpensTheBoardDropsTheCoversAndBringsTheCameraDown) {
  G* g = StartFromMenu(kModeNormal, 1);
  ASSERT_NE(g, nullptr);
  std::vector<int32_t> states;
  bool coverLands = false, coverAbove = false, staggerSeen = false;
  float lastEyeZ = 13500.0f;
  for (int i = 0; i < 600 && g->m_playPhase == G::kPhaseIntro; ++i) {
    if (!GetKavelApp()->IsLoading()) {
      if (states.empty()) {
        // Before the board opens every cover and shadow is hidden.
        for (int32_t h = 0; h < kHoles; ++h)
          for (const int32_t index : {g->m_holes[h].objectNode, g->m_shadowNodes[h]}) {
            const GameNode* node = g->GetScene()->GetGameNodeRecord(index);
            ASSERT_NE(node, nullptr) << "hole " << h;
            EXPECT_EQ(node->flags, GameNode::kHidden) << "hole " << h;
          }
      }
      if (states.empty() || states.back() != g->m_introState) {
        states.push_back(g->m_introState);
        if (g->m_introState == G::kIntroBoardOpening) {
          EXPECT_TRUE(g->m_fadeTimer.IsFinished()) << "the board opens once the island is lit";
        }
      }
      coverLands |= Effect(g, 14);
      if (g->m_introState == G::kIntroCoversFalling && !staggerSeen) {
        // The covers are lifted once three fifths of the board's opening have played.
        const float opened = g->m_boardAnim->GetRemainingFraction(g->m_boardOpenAnim);
        EXPECT_GT(opened, 0.6f);
        EXPECT_LT(opened, 0.66f);
        // Lifted one above the other in hole order, 600 apart from 3000 up; fallen a frame.
        staggerSeen = true;
        int32_t n = 0;
        for (int32_t h = 0; h < kHoles; ++h) {
          const GameNode* cover = g->GetScene()->GetGameNodeRecord(g->m_holes[h].objectNode);
          if (!cover || g->m_holes[h].outOfPlay) continue;
          const float lifted = 3000.0f + 600.0f * static_cast<float>(n++);
          EXPECT_LE(cover->matrix.GetRow(3).z, lifted) << "hole " << h;
          EXPECT_GT(cover->matrix.GetRow(3).z, lifted - 450.0f) << "hole " << h;
        }
      }
      if (g->m_introState == G::kIntroCameraDown) {
        // Straight down the line from the high view to the play view.
        const Vector4 eye = g->m_camera.GetPosition();
        EXPECT_LE(eye.z, lastEyeZ);
        lastEyeZ = eye.z;
        EXPECT_GE(eye.z, 4000.0f);
        EXPECT_LE(eye.y, -5200.0f);
        EXPECT_GE(eye.y, -10000.0f);
        EXPECT_NEAR((eye.y + 10000.0f) / 4800.0f, (13500.0f - eye.z) / 9500.0f, 0.01f);
      }
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
  {
    // The lids stay where they were when the covers began to fall.
    const float opened = g->m_boardAnim->GetRemainingFraction(g->m_boardOpenAnim);
    EXPECT_GT(opened, 0.6f);
    EXPECT_LT(opened, 0.66f);
  }
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
    EXPECT_EQ(shadow->flags, 128u | 4u) << "hole " << i << ", faded in by its alpha";
  }
  EXPECT_EQ(shown, 25);
  EXPECT_TRUE(Near(g->m_camera.GetPosition(), g->m_playCameraPos));
  // Play starts with the camera still, looking where the intro left it.
  EXPECT_EQ(g->m_cameraMoving, 0);
  const Vector4 look = g->LookAt();
  for (int i = 0; i < 10; ++i) g->Update();
  EXPECT_TRUE(Near(g->m_camera.GetPosition(), g->m_playCameraPos));
  EXPECT_TRUE(Near(g->LookAt(), look));
  m_harness.RunFrames(30);
  EXPECT_FALSE(Effect(g, 14)) << "each cover lands once";
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

// The tally shows each found pair's line; the newest waits while its pair is shown, then fades
// in on its own while the camera is at it.
TEST_F(PirateShowTest, TheTallyShowsEachFoundPairOnceItHasJoined) {
  G* g = Playing();
  ASSERT_NE(g, nullptr);
  struct Case {
    int32_t pairsLeft, matchShown, phase, tallyFading;
    int lines;       // whole lines, from the first
    int fadingLine;  // the line fading in, -1 for none
  };
  const Case cases[] = {
      {10, 0, G::kPhaseInput, 0, 0, -1},    {9, 1, G::kPhaseLeapOut, 0, 0, -1},
      {9, 1, G::kPhasePairFound, 0, 0, -1}, {9, 1, G::kPhasePairFound, 1, 0, 0},
      {9, 0, G::kPhaseInput, 0, 1, -1},     {7, 1, G::kPhaseInput, 0, 2, -1},
      {7, 1, G::kPhasePairFound, 1, 2, 2},  {7, 0, G::kPhaseLeapBack, 0, 3, -1},
      {0, 1, G::kPhasePairFound, 1, 9, 9},  {0, 0, G::kPhaseFinale, 0, 10, -1},
  };
  g->m_tallyFade = 0.5f;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.pairsLeft << " left, phase " << c.phase);
    g->m_pairsLeft = c.pairsLeft;
    g->m_matchShown = c.matchShown;
    g->m_playPhase = c.phase;
    g->m_tallyFading = c.tallyFading;
    const Frame frame = RenderOnce(g);
    for (int32_t line = 0; line < kPirateKinds; ++line) {
      const NodeContainer* geo = GetApp().GetNodeFactory()->Find(g->m_tallyGeos[line]);
      int whole = 0, fading = 0;
      for (const Drawn& d : frame.models) {
        if (d.container != geo) continue;
        if (d.tint.w == 1.0f) ++whole;
        if (d.tint.w == 0.5f) ++fading;
      }
      EXPECT_EQ(whole, line < c.lines ? 1 : 0) << "line " << line;
      EXPECT_EQ(fading, line == c.fadingLine ? 1 : 0) << "line " << line;
    }
  }
  g->m_pairsLeft = kPirateKinds;
  g->m_matchShown = g->m_tallyFading = 0;
  g->m_playPhase = G::kPhaseInput;
}

// The selected cover pulses between half and full light, 21 ticks each way.
TEST_F(PirateShowTest, TheSelectedCoverPulses) {
  G* g = Playing();
  ASSERT_NE(g, nullptr);
  float low = 2.0f, high = -1.0f;
  int turns = 0;
  float last = g->m_pulse;
  for (int tick = 0; tick < 80; ++tick) {
    g->Update();
    // A step of a fortieth each tick, holding for one tick where it turns.
    const float step = g->m_pulse - last;
    if (std::fabs(step) < 1e-4f) {
      ++turns;
    } else {
      EXPECT_NEAR(std::fabs(step), 0.025f, 1e-4f) << "tick " << tick;
    }
    last = g->m_pulse;
    low = std::min(low, g->m_pulse);
    high = std::max(high, g->m_pulse);
  }
  EXPECT_GE(low, 0.5f - 1e-4f);
  EXPECT_LT(low, 0.53f);
  EXPECT_LE(high, 1.0f + 1e-4f);
  EXPECT_GT(high, 0.97f);
  EXPECT_GE(turns, 3);
  EXPECT_LE(turns, 4);
}

}  // namespace
