// Diving runs to the endings the player can reach, through the real game on the demo data, each
// checked by what the player sees and what the run records: the texts on the screen, the result,
// the high score or unlock, and where the characters are drawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "Engine/Camera.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Game/Helper/InputDevice.h"
#include "Game/Localisation/LocalisedText.h"
#include "tests/diving/DivingTestSupport.h"
#include "tests/support/PixelProbe.h"

namespace divingtest {
namespace {

using G = cDivingGame;

std::string Narrow(const char16_t* text) {
  std::string out;
  for (; text && *text; ++text) out += static_cast<char>(*text);
  return out;
}
std::string Text(int32_t id) { return Narrow(GetLocalisedText(id)); }

constexpr int32_t kTextLadder = 10;
constexpr int32_t kTextTimeUp = 106;
constexpr int32_t kTextChair = 149;
constexpr int32_t kTextPike = 192;
constexpr int32_t kTextCorkscrew = 195;
constexpr int32_t kTurnLines[] = {10, 1, 11};

// The characters' body colours (orange, green, red) as lit in the pool.
int Red(uint32_t p) { return (p >> 16) & 0xFF; }
int Green(uint32_t p) { return (p >> 8) & 0xFF; }
int Blue(uint32_t p) { return p & 0xFF; }
bool IsJory(uint32_t p) {
  return Red(p) > 120 && Red(p) > Green(p) + 40 && Green(p) > Blue(p) + 20;
}
bool IsCobb(uint32_t p) {
  return Green(p) > 80 && Green(p) > Red(p) + 30 && Green(p) > Blue(p) + 20;
}
bool IsLifeguard(uint32_t p) {
  return Red(p) > 100 && Red(p) > Green(p) + 70 && std::abs(Green(p) - Blue(p)) < 20;
}

bool EndsWith(const std::vector<int32_t>& heard, const std::vector<int32_t>& tail) {
  return heard.size() >= tail.size() &&
         std::equal(tail.begin(), tail.end(), heard.end() - static_cast<long>(tail.size()));
}

// Whether the first three rows of `m` are of unit length, at right angles and right-handed: a
// model drawn through it keeps its shape.
::testing::AssertionResult IsRotation(const Matrix& m) {
  const Vector4 r[3] = {m.GetRow(0), m.GetRow(1), m.GetRow(2)};
  auto dot = [](const Vector4& a, const Vector4& b) { return a.x * b.x + a.y * b.y + a.z * b.z; };
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      if (std::fabs(dot(r[i], r[j]) - (i == j ? 1.0f : 0.0f)) > 1e-3f)
        return ::testing::AssertionFailure() << "rows " << i << " and " << j;
  const Vector4 cross(r[0].y * r[1].z - r[0].z * r[1].y, r[0].z * r[1].x - r[0].x * r[1].z,
                      r[0].x * r[1].y - r[0].y * r[1].x, 0.0f);
  if (dot(cross, r[2]) < 0.999f) return ::testing::AssertionFailure() << "mirrored";
  return ::testing::AssertionSuccess();
}

// The point `local` of a model drawn through `m`.
Vector4 Place(const Matrix& m, const Vector4& local) {
  const Vector4 r[4] = {m.GetRow(0), m.GetRow(1), m.GetRow(2), m.GetRow(3)};
  return Vector4(local.x * r[0].x + local.y * r[1].x + local.z * r[2].x + r[3].x,
                 local.x * r[0].y + local.y * r[1].y + local.z * r[2].y + r[3].y,
                 local.x * r[0].z + local.y * r[1].z + local.z * r[2].z + r[3].z, 1.0f);
}

// Whether `p` lies on the segment from `a` to `b` (within half a unit), short of `a`.
::testing::AssertionResult OnSegment(const Vector4& p, const Vector4& a, const Vector4& b) {
  auto distance = [](const Vector4& u, const Vector4& v) {
    return std::hypot(u.x - v.x, u.y - v.y, u.z - v.z);
  };
  const float detour = distance(a, p) + distance(p, b) - distance(a, b);
  if (detour > 0.5f || distance(a, p) < 0.5f)
    return ::testing::AssertionFailure() << "at (" << p.x << ", " << p.y << ", " << p.z << ")";
  return ::testing::AssertionSuccess();
}

bool IsWhite(const Vector4& tint) {
  return tint.x == 1.0f && tint.y == 1.0f && tint.z == 1.0f && tint.w == 1.0f;
}

class DivingRunTest : public DivingTest {
 protected:
  void SetUp() override {
    DivingTest::SetUp();
    m_watch = [this] {
      NoteNewSplashes();
      NoteTurning();
    };
  }
  void TearDown() override {
    EXPECT_LT(m_sharpestTurn, 0.2f) << "walking and swimming, Jory turns smoothly";
    DivingTest::TearDown();
  }
  // The most Jory's heading changed in one frame on the walk from the chair, the swim back and
  // the walk from the pool, where his heading blends from segment to segment.
  float m_sharpestTurn = 0.0f;
  int32_t m_turnPhase = -1;
  float m_lastHeading = 0.0f;
  void NoteTurning() {
    const int32_t phase = Game() ? Phase() : -1;
    const bool blended = phase == G::kDivePhaseToPath || phase == G::kDivePhaseToChairRoute ||
                         (phase == G::kDivePhaseSwim && m_turnPhase == phase);
    const float heading = Game() ? Game()->GetJoryRotation()[2] : 0.0f;
    if (blended && phase == m_turnPhase)
      m_sharpestTurn =
          std::max(m_sharpestTurn, std::fabs(std::remainder(heading - m_lastHeading, 6.2831855f)));
    m_turnPhase = phase;
    m_lastHeading = heading;
  }
  // Each particle system the game's window starts: the phase, where its emitter stood and where
  // Jory was at the end of that frame, and whether it loops.
  struct Splash {
    int32_t id;
    int32_t phase;
    Vector4 emitter;
    Vector4 jory;
    float heading;
    bool looped;
  };
  std::vector<Splash> m_splashes;
  int32_t m_nextParticle = -1;
  void NoteNewSplashes() {
    RenderWindow* window = Game() ? GameWindow() : nullptr;
    if (!window) {
      m_nextParticle = -1;
      return;
    }
    if (m_nextParticle < 0) m_nextParticle = window->GetNextParticleId();
    for (; m_nextParticle < window->GetNextParticleId(); ++m_nextParticle) {
      const BaseParticleSystem* system = window->GetParticleSystem(m_nextParticle);
      if (!system) continue;
      m_splashes.push_back(Splash{m_nextParticle, Phase(), system->GetEmitterMatrix().GetRow(3),
                                  Game()->GetJoryPosition(), Game()->GetJoryRotation()[2],
                                  (system->GetFlags() & BaseParticleSystem::kLooped) != 0});
    }
  }
  std::vector<Splash> SplashesIn(int32_t phase) const {
    std::vector<Splash> found;
    for (const Splash& splash : m_splashes)
      if (splash.phase == phase) found.push_back(splash);
    return found;
  }
  RenderWindow* GameWindow() { return m_harness.app().FindWindow(Game()->GetWindowId()); }

  // The texts the game puts on the screen this frame, in the order it prints them.
  std::vector<std::string> Shown() {
    RenderWindow* window = GameWindow();
    std::vector<std::string> texts;
    if (!window) return texts;
    window->DropText();
    PolygonPools& polys = window->GetPolygonPools();
    polys.DropAll();
    const int32_t firstNode = window->GetRenderNodeCount();
    Game()->BeginHudFrame();
    Game()->Render();
    m_items.clear();
    for (int32_t i = 0; i < window->GetTextItemCount(); ++i) {
      texts.push_back(Narrow(window->GetTextItem(i)->text));
      m_items.push_back(*window->GetTextItem(i));
    }
    m_nodes.clear();
    for (int32_t i = firstNode; i < window->GetRenderNodeCount(); ++i)
      m_nodes.push_back(*window->GetRenderNode(i));
    m_quads.clear();
    for (const PolygonPools::Queue queue : {PolygonPools::kOpaque2D, PolygonPools::kAlpha2D})
      for (int32_t i = 0; i < polys.GetPolygonCount(queue); ++i) {
        const PolygonData2D* poly = polys.Get2D(queue, i);
        if (poly->vertexCount != 4) continue;
        Quad quad{poly->texture,       poly->vertices[0].x, poly->vertices[0].y,
                  poly->vertices[3].x, poly->vertices[3].y, {}};
        std::copy(poly->colourFactors, poly->colourFactors + 4, quad.factors);
        m_quads.push_back(quad);
      }
    polys.DropAll();
    window->DropText();
    return texts;
  }
  // What the last Shown drew: the models it placed and the HUD's quads.
  struct Quad {
    int32_t texture;
    float x0, y0, x1, y1;
    float factors[4];
  };
  std::vector<RenderNodeRecord> m_nodes;
  std::vector<Quad> m_quads;
  // The models of the last Shown placed at `at` (within a unit), posed (a character) or not,
  // drawn with `flags` (the wheelchair alone has 1).
  std::vector<const RenderNodeRecord*> DrawnAt(const Vector4& at, bool posed,
                                               uint32_t flags = 0) const {
    std::vector<const RenderNodeRecord*> found;
    for (const RenderNodeRecord& node : m_nodes) {
      const Vector4 p = node.placement.GetRow(3);
      if (std::fabs(p.x - at.x) < 1.0f && std::fabs(p.y - at.y) < 1.0f &&
          std::fabs(p.z - at.z) < 1.0f && (node.skeleton != nullptr) == posed &&
          node.flags == flags)
        found.push_back(&node);
    }
    return found;
  }
  // The pool as the last Shown drew it: Jory posed where he is (with his shadow when he walks),
  // Cobb and the lifeguard posed at their stands over their shadows, both boards, and the chair.
  void ExpectThePoolDrawn(bool joryShadow) {
    const DivingLayout& l = Game()->GetLayout();
    const std::vector<const RenderNodeRecord*> jory = DrawnAt(Game()->GetJoryPosition(), true);
    ASSERT_EQ(jory.size(), 1u) << "Jory";
    EXPECT_TRUE(IsRotation(jory[0]->placement)) << "Jory";
    EXPECT_EQ(DrawnAt(Game()->GetJoryPosition(), false).size(), joryShadow ? 1u : 0u)
        << "Jory's shadow";
    for (const Vector4* stand : {&l.cobbStand, &l.lifeguardStand}) {
      const std::vector<const RenderNodeRecord*> posed = DrawnAt(*stand, true);
      ASSERT_EQ(posed.size(), 1u) << "a character at its stand";
      EXPECT_TRUE(IsRotation(posed[0]->placement));
      EXPECT_EQ(DrawnAt(*stand, false).size(), 1u) << "its shadow";
    }
    for (int board : {1, 2}) EXPECT_EQ(DrawnAt(l.boardLocators[board], false).size(), 1u) << board;
    const std::vector<const RenderNodeRecord*> chair = DrawnAt(l.renderChair, false, 1);
    ASSERT_EQ(chair.size(), 1u) << "the wheelchair";
    EXPECT_TRUE(IsRotation(chair[0]->placement));
    EXPECT_EQ(m_nodes.size(), 9u - (joryShadow ? 0u : 1u)) << "nothing else";
  }
  // Over two frames: the tint of the one model at `at` pulses (glows), or stays white.
  ::testing::AssertionResult Glows(const Vector4& at, uint32_t flags = 0) {
    Vector4 tints[2];
    for (Vector4& tint : tints) {
      Shown();
      const std::vector<const RenderNodeRecord*> found = DrawnAt(at, false, flags);
      if (found.size() != 1) return ::testing::AssertionFailure() << found.size() << " drawn";
      tint = found[0]->tint;
      if (tint.x != tint.y || tint.y != tint.z || tint.x > 1.0f || tint.w != 1.0f)
        return ::testing::AssertionFailure() << "tint " << tint.x << " " << tint.y << " " << tint.z;
      Frame();
    }
    if (tints[0].x == tints[1].x)
      return ::testing::AssertionFailure() << "steady at " << tints[0].x;
    return ::testing::AssertionSuccess();
  }
  ::testing::AssertionResult StaysWhite(const Vector4& at, uint32_t flags = 0) {
    Shown();
    const std::vector<const RenderNodeRecord*> found = DrawnAt(at, false, flags);
    if (found.size() != 1) return ::testing::AssertionFailure() << found.size() << " drawn";
    if (!IsWhite(found[0]->tint)) return ::testing::AssertionFailure() << "tinted";
    return ::testing::AssertionSuccess();
  }

  // The power bar as it stands now: its background and the red and blue tiles up to the
  // indicator, the indicator, and the arrow under it, red when `warn`.
  void ExpectThePowerBar(bool warn) {
    Shown();
    const PowerBarLayout bar = LayOutPowerBar(Game()->GetPower());
    EXPECT_EQ(QuadsAt(576.0f).size(), static_cast<size_t>(1 + bar.redTiles + bar.blueTiles));
    // The background, then the red tiles up from the foot and the blue down from the top.
    std::vector<float> rows, expected = {178.0f};
    for (const Quad& q : QuadsAt(576.0f)) rows.push_back(q.y0);
    for (int32_t i = 0; i < bar.redTiles; ++i) expected.push_back(304.0f - 16.0f * i);
    for (int32_t i = 0; i < bar.blueTiles; ++i) expected.push_back(200.0f + 16.0f * i);
    EXPECT_EQ(rows, expected);
    const std::vector<Quad> indicator = QuadsAt(568.0f);
    ASSERT_EQ(indicator.size(), 1u);
    EXPECT_EQ(indicator[0].y0, static_cast<float>(bar.indicatorY));
    const std::vector<Quad> arrow = QuadsAt(569.0f);
    ASSERT_EQ(arrow.size(), 1u);
    EXPECT_EQ(arrow[0].y0, static_cast<float>(bar.indicatorY + 8));
    EXPECT_GT(arrow[0].y1, arrow[0].y0);
    const float shade = warn ? 0.0f : 1.0f;
    EXPECT_EQ(std::vector<float>(arrow[0].factors, arrow[0].factors + 4),
              (std::vector<float>{1.0f, shade, shade, 1.0f}));
    for (const float x : {576.0f, 568.0f, 569.0f})
      for (const Quad& q : QuadsAt(x)) EXPECT_TRUE(q.x1 > q.x0 && q.y1 > q.y0) << x;
    // The HUD's note of the bar covers every piece of it.
    const GameBaseClass::HudPiece* noted = nullptr;
    for (int32_t i = 0; i < Game()->GetHudPieceCount(); ++i)
      if (std::string(Game()->GetHudPiece(i)->name) == "power") noted = Game()->GetHudPiece(i);
    ASSERT_NE(noted, nullptr);
    for (const float x : {576.0f, 568.0f, 569.0f})
      for (const Quad& q : QuadsAt(x)) {
        EXPECT_LE(noted->rect.x0, q.x0);
        EXPECT_LE(noted->rect.y0, q.y0);
        EXPECT_GE(noted->rect.x1, q.x1);
        EXPECT_GE(noted->rect.y1, q.y1);
      }
  }

  // The HUD quads of the last Shown whose left edge is at `x`.
  std::vector<Quad> QuadsAt(float x) const {
    std::vector<Quad> found;
    for (const Quad& q : m_quads)
      if (q.x0 == x) found.push_back(q);
    return found;
  }
  std::vector<TextItem> m_items;  // the last Shown's, text pointers no longer valid
  // The printed item of `text` in the last Shown, or null.
  const TextItem* ItemOf(const std::vector<std::string>& texts, const std::string& text) {
    for (size_t i = 0; i < texts.size(); ++i)
      if (texts[i] == text) return &m_items[i];
    return nullptr;
  }
  bool Showing(const std::string& text) {
    for (const std::string& t : Shown())
      if (t == text) return true;
    return false;
  }

  // Whether the game window's camera stands at `eye` (and looks at `target`, when given).
  ::testing::AssertionResult CameraAt(const Vector4& eye, const Vector4* target = nullptr) {
    const Camera* camera = GameWindow()->GetCamera();
    auto near = [](const Vector4& a, const Vector4& b) {
      return std::fabs(a.x - b.x) < 0.5f && std::fabs(a.y - b.y) < 0.5f &&
             std::fabs(a.z - b.z) < 0.5f;
    };
    if (!near(camera->GetEye(), eye))
      return ::testing::AssertionFailure()
             << "eye (" << camera->GetEye().x << ", " << camera->GetEye().y << ", "
             << camera->GetEye().z << ")";
    if (target && !near(camera->GetTarget(), *target))
      return ::testing::AssertionFailure()
             << "target (" << camera->GetTarget().x << ", " << camera->GetTarget().y << ", "
             << camera->GetTarget().z << ")";
    return ::testing::AssertionSuccess();
  }
  // Out of the chair and onto the path.
  void ToThePath(int32_t mode, int32_t difficulty) {
    ASSERT_TRUE(StartFromMenu(mode, difficulty));
    ASSERT_TRUE(RunUntil([&] { return Phase() == G::kDivePhaseInChair; }, 200));
    Frame();
    const DivingLayout& l = Game()->GetLayout();
    EXPECT_TRUE(CameraAt(l.cameraA, &l.cameraTargets[1])) << "the poolside camera";
    m_poolsideFov = GameWindow()->GetCamera()->GetVerticalFov();
    NoteTheBoardEnds();
    const std::vector<std::string> inChair = Shown();
    ExpectThePoolDrawn(false);
    EXPECT_EQ(std::find(inChair.begin(), inChair.end(), Text(kTextLadder)), inChair.end());
    EXPECT_TRUE(StaysWhite(l.renderChair, 1)) << "no offer to sit down yet";
    ASSERT_TRUE(WalkUntil([&] { return Phase() == G::kDivePhasePath; }, 200)) << Phase();
    EXPECT_EQ(GetSoundWrapper()->IsSamplePlaying(Game()->m_effectsBank, G::kFxChair), 0)
        << "the chair's sound plays once";
    EXPECT_LT(GameWindow()->GetCamera()->GetVerticalFov(), m_poolsideFov - 0.1f)
        << "the path's narrower view";
    Shown();
    ExpectThePoolDrawn(true);
    // Upright on the path, drawn turned to his heading.
    const float heading = Game()->GetJoryRotation()[2];
    const Vector4 side = DrawnAt(Game()->GetJoryPosition(), true).at(0)->placement.GetRow(0);
    EXPECT_NEAR(side.x, std::cos(heading), 1e-3f);
    EXPECT_NEAR(side.y, std::sin(heading), 1e-3f);
    EXPECT_NEAR(side.z, 0.0f, 1e-3f);
  }
  float m_poolsideFov = 0.0f;
  void NoteTheBoardEnds() {
    if (m_boardEndsNoted) return;
    m_boardEndsNoted = true;
    for (int32_t board = 0; board < 3; ++board) {
      const DivingRoute& route = Game()->GetLayout().routes[kRouteBoard0 + board];
      m_boardEnds[board] = route.points[route.count - 1];
    }
  }
  Vector4 m_boardEnds[3];  // where each board's route ends, as the pool was loaded
  bool m_boardEndsNoted = false;
  // Along the path to board 0 or 1 (E in its window), or past both windows and up the two step
  // climbs to board 2; stops when Jory crouches at the board's end.
  void ToTheBoard(int32_t board) {
    NoteTheBoardEnds();
    if (board == 0) ListenToCobb();
    if (board < 2) {
      ASSERT_TRUE(WalkUntil(
          [&] {
            return Game()->GetLadderWindow() == 1 &&
                   (board == 0 ? Game()->GetNodeIndex() <= 2 : Game()->GetNodeIndex() >= 10);
          },
          600));
      // Board 1's window opens as he sets off from point 10, before the steps at 11.
      EXPECT_EQ(Phase(), G::kDivePhasePath);
      EXPECT_EQ(Game()->GetNodeIndex(), board == 0 ? 0u : 10u);
      EXPECT_TRUE(Showing(Text(kTextLadder))) << "the ladder prompt while the window is open";
      // The board of the open window glows; the other stays as it is.
      const DivingLayout& l = Game()->GetLayout();
      EXPECT_TRUE(Glows(l.boardLocators[1 + board]));
      EXPECT_TRUE(StaysWhite(l.boardLocators[2 - board]));
      Tap(kKeyE);
      EXPECT_EQ(Game()->GetChosenBoard(), board);
    }
    uint32_t turnedAt = 0;  // the last point of the path he walked
    ASSERT_TRUE(WalkUntil(
        [&] {
          if (Phase() == G::kDivePhasePath) turnedAt = Game()->GetNodeIndex();
          return Phase() == G::kDivePhaseOnBoard;
        },
        1500))
        << Phase();
    if (board < 2) {
      EXPECT_EQ(turnedAt, board == 0 ? 2u : 12u) << "turns off at the board's point";
    }
    if (board == 0) {
      EXPECT_TRUE(HeardFx(G::kFxClimbStepMid, G::kDivePhaseLadder) &&
                  HeardFx(G::kFxClimbStepEnd, G::kDivePhaseLadder))
          << "up the low board's ladder";
      EXPECT_TRUE(HeardFx(G::kFxBoardStepMid, G::kDivePhaseBoardRoute) ||
                  HeardFx(G::kFxBoardStepEnd, G::kDivePhaseBoardRoute))
          << "steps on the low board";
    }
    EXPECT_EQ(Game()->GetChosenBoard(), board);
    const Vector4& end = Game()->GetJoryPosition();
    EXPECT_NEAR(end.x, m_boardEnds[board].x, 0.5f) << "at the board's end";
    EXPECT_NEAR(end.y, m_boardEnds[board].y, 0.5f);
    EXPECT_NEAR(end.z, m_boardEnds[board].z, 0.5f);
    EXPECT_EQ(Game()->GetCameraShot(), G::kShotBoardEnd);
  }
  // Waits for the power bar to come down to below `below` (or up to above `above`) and takes off.
  void TakeOffAt(float below, float above) {
    ASSERT_TRUE(
        RunUntil([&] { return Game()->GetPower() < below && Game()->GetPower() > above; }, 200));
    Tap(kKeyE);
    ASSERT_EQ(Phase(), G::kDivePhaseDive);
  }
  // Presses the three buttons of a named dive in the air.
  void Combo(int k1, int k2, int k3) {
    Tap(k1);
    Tap(k2);
    Tap(k3);
  }
  // Holds Up or Down each frame so that Jory's pitch (brought into 0..2pi) comes to `target`
  // by the time he reaches the water.
  void SteerPitchTo(float target) {
    const float accel = 1.0f / (60.0f * 3.5f);
    float last = Game()->GetJoryRotation()[0];
    while (Phase() == G::kDivePhaseDive && Game()->GetJoryPosition().z > 0.0f) {
      const float pitch = Game()->GetJoryRotation()[0];
      const float rate = pitch - last;
      last = pitch;
      float error = std::remainder(target - pitch, 6.2831855f);
      error -= rate * std::fabs(rate) / (2.0f * accel);
      const bool up = error > 0.0f;
      m_harness.input().SetKey(kKeyUp, up);
      m_harness.input().SetKey(kKeyDown, !up);
      Frame();
    }
    m_harness.input().SetKey(kKeyUp, false);
    m_harness.input().SetKey(kKeyDown, false);
  }
  // Surfaces and swims the return route back to the pool's exit.
  void SwimBack() {
    ASSERT_TRUE(RunUntil([&] { return Phase() == G::kDivePhaseSwim; }, 600)) << Phase();
    EXPECT_EQ(Game()->GetCameraShot(), G::kShotSwim);
    m_splashes.clear();
    // The dive's events leave the list one by one as he swims back.
    size_t listed = 3;
    int taps = 0;
    ASSERT_TRUE(WalkUntil(
        [&] {
          if (taps++ % 15 == 0 && Phase() == G::kDivePhaseSwim) {
            size_t lines = 0;
            Shown();
            for (const TextItem& item : m_items) lines += item.x == 40 && item.y >= 380 ? 1 : 0;
            if (taps <= 16) {
              EXPECT_EQ(lines, 1u) << "the dive's one event stays a while";
            }
            EXPECT_LE(lines, listed);
            listed = lines;
          }
          return Phase() != G::kDivePhaseSwim;
        },
        800))
        << Phase();
    EXPECT_EQ(listed, 0u) << "the dive list empties";
    {
      // Surfacing: the surface's ring and the looping swim splash where he comes up, then a
      // splash at a hand with each stroke, all at the water line.
      const std::vector<Splash> swim = SplashesIn(G::kDivePhaseSwim);
      ASSERT_GE(swim.size(), 4u);
      const DivingRoute& back =
          Game()->GetLayout().routes[kRouteReturn0 + Game()->GetChosenBoard()];
      EXPECT_NEAR(swim[0].jory.x, back.points[0].x, 8.0f) << "up at the start of the way back";
      EXPECT_NEAR(swim[0].jory.y, back.points[0].y, 8.0f);
      EXPECT_NEAR(std::remainder(swim[0].heading - back.headings[0], 6.2831855f), 0.0f, 0.05f)
          << "facing the way back";
      for (size_t i = 0; i < swim.size(); ++i) {
        const Splash& s = swim[i];
        const float off = std::hypot(s.emitter.x - s.jory.x, s.emitter.y - s.jory.y);
        EXPECT_LT(off, i < 2 ? 0.5f : 120.0f) << i;
        EXPECT_FLOAT_EQ(s.emitter.z, -10.0f) << i;
        EXPECT_EQ(s.looped, i == 1) << i;
      }
      // The swim splash went along with him, and stops looping as he climbs out.
      const BaseParticleSystem* wake = GameWindow()->GetParticleSystem(swim[1].id);
      ASSERT_NE(wake, nullptr);
      EXPECT_EQ(wake->GetFlags() & BaseParticleSystem::kLooped, 0u);
      const Vector4& exit = Game()->GetLayout().routes[kRouteToChair].points[0];
      const Vector4 wakeAt = wake->GetEmitterMatrix().GetRow(3);
      EXPECT_LT(std::hypot(wakeAt.x - exit.x, wakeAt.y - exit.y), 10.0f);
    }
    EXPECT_EQ(Phase(), G::kDivePhaseOutOfPool);
    EXPECT_EQ(Game()->GetCameraShot(), G::kShotPoolside);
    Shown();
    for (const TextItem& item : m_items)
      EXPECT_FALSE(item.x == 40 && item.y >= 380) << "no dive list out of the water";
    // He climbs out at the pool's exit, facing the way to the chair, seen from the poolside.
    const DivingLayout& l = Game()->GetLayout();
    const Vector4& exit = l.routes[kRouteToChair].points[0];
    const Vector4& jory = Game()->GetJoryPosition();
    EXPECT_NEAR(jory.x, exit.x - 60.0f, 8.0f);
    EXPECT_NEAR(jory.y, exit.y, 8.0f);
    EXPECT_NEAR(jory.z, exit.z + 20.0f, 1.0f);
    EXPECT_FLOAT_EQ(Game()->GetJoryRotation()[0], 0.0f);
    EXPECT_FLOAT_EQ(Game()->GetJoryRotation()[2], l.routes[kRouteToChair].headings[0]);
    Frame();
    EXPECT_TRUE(CameraAt(l.cameraA, &l.cameraTargets[1]));
    EXPECT_FLOAT_EQ(GameWindow()->GetCamera()->GetVerticalFov(), m_poolsideFov);
  }
  // Records each speech line and each effect as it starts, from now on.
  void ListenToCobb() {
    m_heard.clear();
    m_heardFx.clear();
    m_heardFxPhase.clear();
    m_playing.assign(128, false);
    m_afterFrame = [this] {
      const CSoundWrapper* sound = GetSoundWrapper();
      if (!Game() || !sound) return;
      for (int32_t n = 0; n < 128; ++n) {
        const bool speech = n < 64;
        const int32_t sample = speech ? n : n - 64;
        const int32_t bank = speech ? Game()->m_speechBank : Game()->m_effectsBank;
        const bool now = sound->IsSamplePlaying(bank, sample) != 0;
        if (now && !m_playing[static_cast<size_t>(n)]) {
          (speech ? m_heard : m_heardFx).push_back(sample);
          if (!speech) m_heardFxPhase.push_back(Phase());
        }
        m_playing[static_cast<size_t>(n)] = now;
      }
    };
  }
  // Whether `effect` started since ListenToCobb, in `phase` when one is given.
  bool HeardFx(int32_t effect, int32_t phase = -1) const {
    for (size_t i = 0; i < m_heardFx.size(); ++i)
      if (m_heardFx[i] == effect && (phase == -1 || m_heardFxPhase[i] == phase)) return true;
    return false;
  }
  std::vector<int32_t> m_heard;
  std::vector<int32_t> m_heardFx;
  std::vector<int32_t> m_heardFxPhase;  // the phase each effect started in
  std::vector<bool> m_playing;

  // Where a point of the world lands on the 640 x 480 screen through the game window's camera.
  bool Project(const Vector4& p, int* x, int* y) {
    Camera* camera = GameWindow()->GetCamera();
    camera->UpdateMatrices();
    const Vector4& eye = camera->GetEye();
    const float d[3] = {p.x - eye.x, p.y - eye.y, p.z - eye.z};
    auto dot = [&](const Vector4& v) { return d[0] * v.x + d[1] * v.y + d[2] * v.z; };
    const float depth = dot(camera->GetForwardVector());
    if (depth <= 0.0f) return false;
    const float ys = 1.0f / std::tan(camera->GetVerticalFov() / 2.0f);
    const float xs = camera->GetUseWindowAspect() == 1 ? ys * 480.0f / 640.0f : ys;
    const float nx = -xs * dot(camera->GetRightVector()) / depth;
    const float ny = ys * dot(camera->GetUpVector()) / depth;
    *x = static_cast<int>(320.0f * (1.0f + nx));
    *y = static_cast<int>(240.0f * (1.0f - ny));
    return *x >= 0 && *x < 640 && *y >= 0 && *y < 480;
  }
  // How many pixels of a character's body colour lie within `radius` of where a point is seen.
  int BodyPixelsAt(const std::vector<uint32_t>& pixels, const Vector4& at, int radius,
                   bool (*isBody)(uint32_t)) {
    int x = 0, y = 0;
    if (!Project(at, &x, &y)) return -1;
    int n = 0;
    for (int py = std::max(0, y - radius); py < std::min(480, y + radius); ++py)
      for (int px = std::max(0, x - radius); px < std::min(640, x + radius); ++px)
        n += isBody(pixels[static_cast<size_t>(py) * 640 + static_cast<size_t>(px)]) ? 1 : 0;
    return n;
  }
  // Runs to the end of the game; the result the game set, or -1 when it did not end.
  int32_t ResultAtTheEnd(int limit) {
    int32_t result = -1;
    m_framesToTheEnd = 0;
    m_darkest = 1.0f;
    m_fadingFrames = 0;
    const bool ended = RunUntil(
        [&] {
          if (Game()) {
            result = Game()->GetResult();
            const float level = GameWindow()->GetColourFactors()[0];
            m_darkest = std::min(m_darkest, level);
            m_fadingFrames += level < 1.0f ? 1 : 0;
          }
          ++m_framesToTheEnd;
          return GetKavelApp()->GetCurrentGame() == nullptr;
        },
        limit);
    return ended ? result : -1;
  }
  int m_framesToTheEnd = 0;  // the last ResultAtTheEnd's
  float m_darkest = 1.0f;    // and how far its screen faded, over how many frames
  int m_fadingFrames = 0;
};

// A normal run: a dive from the middle board, the swim back, the chair offered after enough dives,
// and sitting down in the chair wins whatever the time.
TEST_F(DivingRunTest, TheMiddleBoardDiveSwimBackAndTheChairWin) {
  ListenToCobb();
  ToThePath(kModeNormal, 0);
  EXPECT_TRUE(HeardFx(G::kFxChair)) << "out of the chair";
  bool ladderTopShot = false;  // in every frame of the shot
  int ladderTopShots = 0;
  m_afterFrame = [this, listen = m_afterFrame, &ladderTopShot, &ladderTopShots] {
    listen();
    if (Game() && Game()->GetCameraShot() == G::kShotMiddleLadderTop) {
      const Vector4& jory = Game()->GetJoryPosition();
      const Vector4 look(jory.x, jory.y, jory.z + 80.0f, 1.0f);
      const bool at = CameraAt(Game()->GetLayout().cameraPoints[kCamG], &look);
      ladderTopShot = (ladderTopShots++ == 0 || ladderTopShot) && at;
    }
  };
  ToTheBoard(1);
  EXPECT_GT(ladderTopShots, 1);
  EXPECT_TRUE(ladderTopShot) << "camera G at the top of the middle ladder, following Jory";
  EXPECT_TRUE(std::find_first_of(m_heard.begin(), m_heard.end(), std::begin(kTurnLines),
                                 std::end(kTurnLines)) != m_heard.end())
      << "Cobb remarks on the choice";
  const int32_t path = G::kDivePhasePath, board = G::kDivePhaseBoardRoute;
  EXPECT_TRUE(HeardFx(G::kFxDeckStepMid, path) && HeardFx(G::kFxDeckStepEnd, path))
      << "steps on the deck";
  EXPECT_FALSE(HeardFx(G::kFxBoardStepMid, path) || HeardFx(G::kFxBoardStepEnd, path));
  EXPECT_TRUE(HeardFx(G::kFxClimbStepMid, G::kDivePhaseClimbSteps) &&
              HeardFx(G::kFxClimbStepEnd, G::kDivePhaseClimbSteps))
      << "up the steps at point 11";
  // Board 1 hands over to the board halfway up its ladder's step.
  EXPECT_TRUE(HeardFx(G::kFxClimbStepMid, G::kDivePhaseLadder)) << "up the ladder";
  EXPECT_TRUE(HeardFx(G::kFxBoardStepMid, board) && HeardFx(G::kFxBoardStepEnd, board))
      << "along the board";
  // While the power bar runs the camera circles Jory, 200 out, 5 degrees a tick.
  float angle[2] = {};
  for (float& a : angle) {
    Frame();
    const Camera* camera = GameWindow()->GetCamera();
    const float dx = camera->GetEye().x - camera->GetTarget().x;
    const float dy = camera->GetEye().y - camera->GetTarget().y;
    EXPECT_NEAR(std::hypot(dx, dy), 200.0f, 0.5f);
    a = std::atan2(dy, dx);
  }
  EXPECT_NEAR(std::remainder(angle[1] - angle[0], 6.2831855f), 5.0f * 0.017453292f, 1e-3f);
  ASSERT_TRUE(RunUntil([&] { return Game()->GetPower() < 108.0f; }, 100));
  ExpectThePowerBar(false);
  ASSERT_TRUE(RunUntil([&] { return Game()->GetPower() > 250.0f; }, 100));
  ExpectThePowerBar(false);
  TakeOffAt(200.0f, 150.0f);
  EXPECT_EQ(Game()->GetCameraShot(), G::kShotTakeOffMiddle);
  Combo(kKeySpace, kKeyQ, kKeyW);
  {
    // The dive list's first line, in its first colour.
    const std::vector<std::string> texts = Shown();
    const TextItem* line = ItemOf(texts, Text(kTextCorkscrew));
    ASSERT_NE(line, nullptr) << "the dive list names the corkscrew";
    EXPECT_EQ(line->x, 40);
    EXPECT_EQ(line->y, 380);
    EXPECT_EQ(line->colour, 0xFF770303u);
  }
  Combo(kKeySpace, kKeyQ, kKeyW);
  Game()->SetDivesDone(2);
  SwimBack();
  EXPECT_EQ(Game()->GetDivesDone(), 3u);
  const int32_t score = Game()->GetScore(0);
  EXPECT_GE(score, 1000);
  EXPECT_EQ(Game()->GetNamedDives(), 1) << "the corkscrew counts once in a flight";
  EXPECT_EQ(score, Game()->GetLastEntryScore() + 2000) << "the corkscrew and the entry";
  char shownScore[16];
  std::snprintf(shownScore, sizeof(shownScore), "%06d", score);
  EXPECT_TRUE(Showing(shownScore));
  EXPECT_TRUE(HeardFx(G::kFxSplashSmall) || HeardFx(G::kFxSplashMedium) ||
              HeardFx(G::kFxSplashBig));
  EXPECT_TRUE(HeardFx(G::kFxStrokeRight, G::kDivePhaseSwim) &&
              HeardFx(G::kFxStrokeLeft, G::kDivePhaseSwim))
      << "swim strokes";
  // Out of the pool: the offer opens after the third dive at the easy level.
  ASSERT_TRUE(RunUntil([&] { return Phase() == G::kDivePhaseToChairRoute; }, 300));
  ASSERT_EQ(Game()->GetChairOffer(), 1);
  EXPECT_TRUE(Glows(Game()->GetLayout().renderChair, 1)) << "the chair on offer";
  ASSERT_TRUE(WalkUntil([&] { return Game()->GetNodeIndex() >= 2; }, 200));
  ASSERT_EQ(Game()->GetChairOffer(), 1) << "open until he nears point 3";
  const std::vector<std::string> texts = Shown();
  EXPECT_NE(std::find(texts.begin(), texts.end(), Text(kTextChair)), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "03/03"), texts.end()) << "the dives counter";
  Tap(kKeyE);
  EXPECT_EQ(Game()->GetChairOffer(), 0);
  ASSERT_TRUE(WalkUntil([&] { return Phase() == G::kDivePhaseBackToChair; }, 400)) << Phase();
  ASSERT_TRUE(WalkUntil([&] { return Phase() != G::kDivePhaseBackToChair; }, 400)) << Phase();
  EXPECT_EQ(Phase(), G::kDivePhaseInChair);
  EXPECT_EQ(Game()->GetJoryAction(), G::kActionIntoChair);
  {
    // He sits down where he got up, by the chair.
    const Vector4& jory = Game()->GetJoryPosition();
    const Vector4& chair = Game()->GetLayout().chair;
    EXPECT_LT(std::hypot(jory.x - chair.x, jory.y - chair.y), 150.0f);
  }
  const int32_t timeLeft = Game()->GetTimeLeft();
  Frames(30);
  EXPECT_EQ(Game()->GetTimeLeft(), timeLeft) << "the clock stops while he sits down";
  ASSERT_TRUE(RunUntil([&] { return Phase() == G::kDivePhaseEnd; }, 400));
  EXPECT_EQ(Game()->GetSequenceKind(), 2);
  EXPECT_EQ(Game()->GetCameraShot(), G::kShotStoppedGround);
  ListenToCobb();
  EXPECT_EQ(ResultAtTheEnd(1500), 1) << "sitting down by choice wins";
  EXPECT_LT(m_framesToTheEnd, 550) << "Cobb turns to him and speaks at once";
  EXPECT_LT(m_darkest, 0.1f) << "the screen fades out";
  EXPECT_GE(m_fadingFrames, 50) << "over a second";
  EXPECT_TRUE(EndsWith(m_heard, {30, 12, 37, 17})) << "Cobb's lines for the end of the game";
  const HighScoreEntry* best = GetSaveProfile().GetHighScore(G::kGameId, 0);
  ASSERT_NE(best, nullptr);
  EXPECT_EQ(best->score, score);
}

// Past both ladder windows Jory climbs the steps at points 11 and 15 onto the high board; too
// much spring there leaves him hanging, and the run starts again from the chair.
TEST_F(DivingRunTest, BothStepClimbsToTheHighBoardAndTheOvershootRestartsTheRun) {
  ToThePath(kModeNormal, 0);
  ListenToCobb();
  // Each climb faces its steps and ends where the walk goes on: point 12 of the path, the high
  // board's first point.
  const DivingLayout& pool = Game()->GetLayout();
  const Vector4 tops[2] = {pool.routes[kRoutePath].points[12], pool.routes[kRouteBoard2].points[0]};
  bool climbed11 = false, climbed15 = false, windowBetween = false;
  int32_t farShot = -1;
  int farFrames = 0, offRail = 0;
  float heading[2] = {}, off[2] = {-1.0f, -1.0f};
  int32_t last = Phase();
  ASSERT_TRUE(WalkUntil(
      [&] {
        const int32_t phase = Phase();
        const uint32_t node = Game()->GetNodeIndex();
        if (phase == G::kDivePhasePath) {
          // Past board 0's turn and short of board 1's window, no window is open.
          windowBetween |= node >= 3 && node <= 9 && Game()->GetLadderWindow() != 0;
          if (node == 10) farShot = Game()->GetCameraShot();
        }
        if (Game()->GetCameraShot() == G::kShotPathFar && phase == G::kDivePhasePath) {
          // The window's camera takes the shot's place on the frame after.
          if (++farFrames > 1)
            offRail += OnSegment(GameWindow()->GetCamera()->GetEye(), pool.cameraPoints[kCamD00],
                                 pool.cameraPoints[kCamD01])
                           ? 0
                           : 1;
        }
        if (phase == G::kDivePhaseClimbSteps) {
          climbed11 |= node == 11;
          climbed15 |= node == 15;
          heading[node == 15 ? 1 : 0] = Game()->GetJoryRotation()[2];
        } else if (last == G::kDivePhaseClimbSteps) {
          const Vector4& at = Game()->GetJoryPosition();
          const Vector4& top = tops[phase == G::kDivePhaseBoardRoute ? 1 : 0];
          off[phase == G::kDivePhaseBoardRoute ? 1 : 0] =
              std::hypot(at.x - top.x, at.y - top.y, at.z - top.z);
        }
        last = phase;
        return phase == G::kDivePhaseBoardRoute;
      },
      1500))
      << Phase();
  EXPECT_TRUE(climbed11);
  EXPECT_TRUE(climbed15);
  EXPECT_FALSE(windowBetween);
  EXPECT_EQ(farShot, G::kShotPathFar) << "from point 10 the far camera follows";
  EXPECT_GT(farFrames, 10);
  EXPECT_EQ(offRail, 0) << "camera D on its rail";
  EXPECT_FLOAT_EQ(heading[0], 4.712389f) << "facing the steps at 11";
  EXPECT_FLOAT_EQ(heading[1], 1.5707964f) << "and at 15";
  for (const float o : off) {
    EXPECT_GE(o, 0.0f);
    EXPECT_LT(o, 10.0f) << "where the walk goes on";
  }
  EXPECT_TRUE(HeardFx(G::kFxClimbStepMid) && HeardFx(G::kFxClimbStepEnd)) << "up the steps";
  EXPECT_EQ(Game()->GetChosenBoard(), 2);
  EXPECT_EQ(Game()->GetCameraShot(), G::kShotToHighBoard);
  const DivingRoute& board2 = Game()->GetLayout().routes[kRouteBoard2];
  EXPECT_NEAR(Game()->GetJoryPosition().z, board2.points[0].z, 1.0f) << "up on the high board";
  ToTheBoard(2);
  const int32_t score = Game()->GetScore(0);
  ASSERT_TRUE(RunUntil([&] { return Game()->GetPower() < 108.0f; }, 100));
  ExpectThePowerBar(true);
  TakeOffAt(108.0f, 0.0f);
  EXPECT_EQ(Game()->GetCameraShot(), G::kShotTakeOffHigh);
  ListenToCobb();
  ASSERT_TRUE(RunUntil([&] { return Phase() == G::kDivePhaseHanging; }, 200)) << Phase();
  EXPECT_TRUE(HeardFx(G::kFxHanging));
  EXPECT_FLOAT_EQ(Game()->GetJoryPosition().z, 990.0f);
  EXPECT_EQ(Game()->GetCameraShot(), G::kShotStoppedHigh);
  ASSERT_TRUE(RunUntil([&] { return Phase() == G::kDivePhaseEnd; }, 10));
  EXPECT_EQ(Game()->GetSequenceKind(), 1);
  Frame();
  {
    const DivingLayout& l = Game()->GetLayout();
    const Vector4 raised(l.lateTargets[0].x, l.lateTargets[0].y, l.lateTargets[0].z + 200.0f, 1);
    EXPECT_TRUE(CameraAt(l.lateCameras[0], &raised)) << "camera L, looking up at him";
  }
  ListenToCobb();
  // Cobb's lines and the fade, then the short intro and play again, from the chair.
  ASSERT_TRUE(RunUntil([&] { return Phase() == G::kDivePhaseInChair; }, 3000)) << Phase();
  ASSERT_NE(Game(), nullptr) << "the overshoot never ends the game";
  ASSERT_GE(m_heard.size(), 3u);
  EXPECT_EQ(std::vector<int32_t>(m_heard.begin(), m_heard.begin() + 3),
            (std::vector<int32_t>{20, 8, 23}))
      << "Cobb's lines for Jory hanging";
  EXPECT_EQ(Game()->GetResult(), 0);
  EXPECT_EQ(Game()->GetDivesDone(), 0u);
  EXPECT_EQ(Game()->GetScore(0), score) << "hanging scores nothing";
  EXPECT_EQ(Game()->GetCameraShot(), G::kShotPoolside);
  EXPECT_FLOAT_EQ(Game()->GetJoryPosition().x, Game()->GetLayout().chair.x);
  EXPECT_FLOAT_EQ(Game()->GetJoryPosition().y, Game()->GetLayout().chair.y);
  EXPECT_TRUE(WalkUntil([&] { return Phase() == G::kDivePhasePath; }, 200)) << "and plays on";
}

// Each challenge is won by its dive, on the tick after Jory surfaces: the unlock is recorded.
TEST_F(DivingRunTest, EachChallengeIsWonByItsDiveAndUnlocks) {
  struct Case {
    int32_t mode;
    int32_t board;
  };
  Frames(2);
  for (const Case c : {Case{kModeChallenge1, 2}, Case{kModeChallenge2, 0}}) {
    SCOPED_TRACE(c.mode);
    const int32_t unlocks = GetSaveProfile().UnlockCount();
    ToThePath(c.mode, 0);
    ToTheBoard(c.board);
    if (c.mode == kModeChallenge1) {
      // Three somersaults forwards and the pike last.
      const int32_t score = Game()->GetScore(0);
      TakeOffAt(125.0f, 110.0f);
      ListenToCobb();
      m_harness.input().SetKey(kKeyUp, true);
      m_harness.input().SetKey(kKeyRight, true);
      Combo(kKeyW, kKeySpace, kKeyQ);
      EXPECT_TRUE(Showing(Text(kTextPike))) << "the dive list names it";
      {
        // Spinning in the air, drawn turned about his middle, with no shadow.
        const Vector4& at = Game()->GetJoryPosition();
        const Vector4 middle(at.x, at.y, at.z + 119.6f, 1.0f);
        ASSERT_EQ(m_nodes.size(), 8u);
        const RenderNodeRecord& jory = m_nodes[0];
        EXPECT_NE(jory.skeleton, nullptr);
        EXPECT_TRUE(IsRotation(jory.placement));
        const Vector4 origin = jory.placement.GetRow(3);
        EXPECT_GT(std::hypot(origin.x - at.x, origin.y - at.y, origin.z - at.z), 2.0f)
            << "visibly turned";
        const Vector4 pivot = Place(jory.placement, Vector4(0.0f, 0.0f, 119.6f, 1.0f));
        EXPECT_NEAR(pivot.x, middle.x, 0.1f);
        EXPECT_NEAR(pivot.y, middle.y, 0.1f);
        EXPECT_NEAR(pivot.z, middle.z, 0.1f);
      }
      EXPECT_TRUE(HeardFx(G::kFxNamedDive));
      ASSERT_TRUE(RunUntil([&] { return Phase() != G::kDivePhaseDive; }, 600));
      m_harness.input().SetKey(kKeyUp, false);
      m_harness.input().SetKey(kKeyRight, false);
      EXPECT_GE(Game()->GetSomersaults(), 3);
      // Each somersault and twist is listed and scores 1000, the pike 2000, then the entry.
      int32_t turns[2] = {};
      for (uint32_t i = 0; i < Game()->GetDiveListCount(); ++i)
        if (Game()->GetDiveList()[i] < 2) ++turns[Game()->GetDiveList()[i]];
      EXPECT_EQ(turns[0], Game()->GetSomersaults());
      EXPECT_GE(turns[1], 1) << "a twist";
      EXPECT_EQ(Game()->GetDiveListCount(), static_cast<uint32_t>(turns[0] + turns[1] + 1));
      EXPECT_EQ(Game()->GetScore(0),
                score + 1000 * (turns[0] + turns[1]) + 2000 + Game()->GetLastEntryScore());
      EXPECT_EQ(Game()->GetNamedKind(), 4) << "the pike";
      // The newest three of the dive's events; a challenge shows the time alone on the HUD.
      const std::vector<std::string> texts = Shown();
      int lines = 0;
      for (const TextItem& item : m_items) lines += item.x == 40 && item.y >= 380 ? 1 : 0;
      EXPECT_EQ(lines, 3);
      EXPECT_EQ(texts.size(), 4u) << "the clock and the dive list only";
      EXPECT_TRUE(HeardFx(G::kFxSomersault) && HeardFx(G::kFxTwist));
    } else {
      // Flat on his back into the water.
      TakeOffAt(300.0f, 250.0f);
      {
        // Camera I looks on as he leaves the low board.
        Frames(2);
        const Vector4& jory = Game()->GetJoryPosition();
        const Vector4 look(jory.x, jory.y, jory.z + 80.0f, 1.0f);
        EXPECT_EQ(Game()->GetCameraShot(), G::kShotTakeOffLow);
        EXPECT_TRUE(CameraAt(Game()->GetLayout().cameraPoints[kCamI], &look));
      }
      SteerPitchTo(4.71f);
      EXPECT_NEAR(Game()->GetJoryRotation()[0], 4.71f, 0.3f) << "on his back as he goes in";
    }
    // The game sets its result and ends in the same tick, on the tick after he surfaces.
    ASSERT_TRUE(RunUntil([&] { return Phase() == G::kDivePhaseSwim; }, 100));
    // The rise to the surface takes 100 ticks.
    EXPECT_TRUE(RunUntil([&] { return Game() == nullptr; }, 110)) << "won once he surfaces";
    EXPECT_EQ(GetSaveProfile().UnlockCount(), unlocks + 1) << "a won challenge unlocks";
    EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message);
    Tap(kKeyReturn);
  }
}

// Every named dive in one flight from the middle board: each is named at the foot of the dive
// list and scores 2000, a second go at one already done does nothing, and the tuck entered last
// is judged a medium entry, scored by the height he reached.
TEST_F(DivingRunTest, EveryNamedDiveIsListedAndScoredOncePerFlight) {
  struct Case {
    const char* name;
    int keys[3];
    int32_t kind;
    int32_t text;
  };
  const Case dives[] = {
      {"aeroplane", {kKeyW, kKeyQ, kKeySpace}, 2, 193},
      {"corkscrew", {kKeySpace, kKeyQ, kKeyW}, 3, 195},
      {"pike", {kKeyW, kKeySpace, kKeyQ}, 4, 192},
      {"torpedo", {kKeySpace, kKeyW, kKeyQ}, 1, 196},
      {"tuck", {kKeyQ, kKeyW, kKeySpace}, 5, 194},
  };
  ToThePath(kModeNormal, 0);
  ToTheBoard(1);
  TakeOffAt(110.0f, 0.0f);
  ListenToCobb();
  {
    // A short push forwards and to the right, then the spin dies down.
    m_harness.input().SetKey(kKeyUp, true);
    m_harness.input().SetKey(kKeyRight, true);
    Frames(3);
    m_harness.input().SetKey(kKeyUp, false);
    m_harness.input().SetKey(kKeyRight, false);
    float turn[2][2] = {};
    for (auto& t : turn) {
      const float p = Game()->GetJoryRotation()[0], h = Game()->GetJoryRotation()[2];
      Frame();
      t[0] = Game()->GetJoryRotation()[0] - p;
      t[1] = Game()->GetJoryRotation()[2] - h;
      Frames(4);
    }
    EXPECT_GT(turn[0][0], 0.0f);
    EXPECT_GT(turn[0][1], 0.0f);
    EXPECT_LT(turn[1][0], turn[0][0]) << "the somersault slows";
    EXPECT_LT(turn[1][1], turn[0][1]) << "the twist slows";
  }
  float top = 0.0f;
  int fallingShots = 0, railShots = 0;
  m_afterFrame = [&, listen = m_afterFrame] {
    listen();
    if (!Game()) return;
    top = std::max(top, Game()->GetJoryPosition().z);
    if (Phase() == G::kDivePhaseDive && Game()->GetVerticalSpeed() < -1.0f &&
        Game()->GetJoryPosition().z > 0.0f) {
      // Falling, camera J slides from its first point to its second as he drops.
      const DivingLayout& l = Game()->GetLayout();
      ++fallingShots;
      railShots += OnSegment(GameWindow()->GetCamera()->GetEye(), l.cameraPoints[kCamJ00],
                             l.cameraPoints[kCamJ01])
                       ? 1
                       : 0;
    }
  };
  int32_t done = 0;
  for (const Case& dive : dives) {
    SCOPED_TRACE(dive.name);
    const int32_t score = Game()->GetScore(0);
    Combo(dive.keys[0], dive.keys[1], dive.keys[2]);
    ++done;
    EXPECT_EQ(Game()->GetNamedDives(), done);
    EXPECT_EQ(Game()->GetNamedKind(), dive.kind);
    EXPECT_EQ(Game()->GetScore(0), score + 2000);
    const std::vector<std::string> texts = Shown();
    const TextItem* line = ItemOf(texts, Text(dive.text));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->y, 380 + 20 * std::min(done - 1, 2)) << "the newest at the foot";
  }
  EXPECT_TRUE(HeardFx(G::kFxNamedDive));
  // The newest three, each in the colour of its place in the flight's list.
  const std::vector<std::string> texts = Shown();
  const std::vector<std::pair<int32_t, uint32_t>> lines = {
      {192, 0xFF113055u}, {196, 0xFF770303u}, {194, 0xFF7F7F7Fu}};
  for (size_t i = 0; i < lines.size(); ++i) {
    const TextItem* line = ItemOf(texts, Text(lines[i].first));
    ASSERT_NE(line, nullptr) << i;
    EXPECT_EQ(line->x, 40);
    EXPECT_EQ(line->y, 380 + 20 * static_cast<int32_t>(i));
    EXPECT_EQ(line->colour, lines[i].second) << i;
  }
  EXPECT_EQ(ItemOf(texts, Text(193)), nullptr) << "the oldest has gone";
  const GameBaseClass::HudPiece* noted = nullptr;
  for (int32_t i = 0; i < Game()->GetHudPieceCount(); ++i)
    if (std::string(Game()->GetHudPiece(i)->name) == "dive list") noted = Game()->GetHudPiece(i);
  ASSERT_NE(noted, nullptr);
  EXPECT_EQ(noted->rect.x0, 40.0f);
  EXPECT_EQ(noted->rect.y0, 380.0f);
  EXPECT_GT(noted->rect.y1, 420.0f) << "down past the third line";
  const int32_t score = Game()->GetScore(0);
  Combo(kKeyW, kKeyQ, kKeySpace);
  EXPECT_EQ(Game()->GetNamedDives(), 5) << "the aeroplane once a flight";
  EXPECT_EQ(Game()->GetScore(0), score);
  ASSERT_GT(Game()->GetJoryPosition().z, 0.0f) << "all in the air";
  m_splashes.clear();
  ASSERT_TRUE(RunUntil([&] { return Phase() == G::kDivePhaseSwim; }, 300));
  // A medium entry's three splashes, where he went in.
  const std::vector<Splash> entry = SplashesIn(G::kDivePhaseDive);
  EXPECT_EQ(entry.size(), 3u);
  for (const Splash& s : entry) {
    EXPECT_FLOAT_EQ(s.emitter.x, s.jory.x);
    EXPECT_FLOAT_EQ(s.emitter.y, s.jory.y);
    EXPECT_FLOAT_EQ(s.emitter.z, -10.0f);
    EXPECT_FALSE(s.looped);
  }
  EXPECT_TRUE(HeardFx(G::kFxSplashMedium));
  EXPECT_FALSE(HeardFx(G::kFxSplashBig) || HeardFx(G::kFxSplashSmall));
  EXPECT_NEAR(Game()->GetLastEntryScore(), 2 * static_cast<int32_t>(top) + 1000, 2);
  EXPECT_EQ(Game()->GetScore(0), score + Game()->GetLastEntryScore());
  EXPECT_EQ(Game()->GetDivesDone(), 1u);
  EXPECT_GT(fallingShots, 3);
  EXPECT_EQ(railShots, fallingShots);
  // Surfacing, the dive's whole score rises from where he comes up.
  ASSERT_TRUE(RunUntil([&] { return !SplashesIn(G::kDivePhaseSwim).empty(); }, 200));
  EXPECT_TRUE(Showing(std::to_string(5 * 2000 + Game()->GetLastEntryScore())));
}

// Time up: the prompts of play go, the time-up text shows, and the clock shows what is left.
TEST_F(DivingRunTest, TheClockAndThePromptsShowWhatIsLeft) {
  ToThePath(kModeNormal, 0);
  Game()->SetTimeLeft(60);
  EXPECT_TRUE(Showing("01:00"));
  Game()->SetTimeLeft(125);
  EXPECT_TRUE(Showing("02:05"));
  ASSERT_TRUE(WalkUntil([&] { return Game()->GetLadderWindow() == 1; }, 100));
  EXPECT_TRUE(Showing(Text(kTextLadder)));
  // A pad's first button chooses the board while a window is open, and takes off otherwise.
  const uint32_t* remap = GetInputDevice()->m_padRemap;
  EXPECT_EQ(std::vector<uint32_t>(remap, remap + 4),
            (std::vector<uint32_t>{kInputExtra2, kInputButtonQ, kInputButtonW, kInputAction}));
  {
    // The path's camera looks ahead of Jory from its rail.
    Frame();
    const Vector4& jory = Game()->GetJoryPosition();
    const Vector4 ahead(jory.x + 200.0f, jory.y, jory.z + 80.0f, 1.0f);
    const Camera* camera = GameWindow()->GetCamera();
    EXPECT_TRUE(CameraAt(camera->GetEye(), &ahead));
    const DivingLayout& l = Game()->GetLayout();
    EXPECT_TRUE(OnSegment(camera->GetEye(), l.cameraPoints[kCamC00], l.cameraPoints[kCamC01]))
        << "on the rail";
    EXPECT_GT(camera->GetEye().x, l.cameraPoints[kCamC00].x) << "moved along with him";
  }
  ListenToCobb();
  Frames(2);
  EXPECT_FALSE(HeardFx(G::kFxCountdown));
  Game()->SetTimeLeft(10);
  Frame();
  ASSERT_EQ(Game()->GetTimeLeft(), 10);
  EXPECT_FALSE(HeardFx(G::kFxCountdown)) << "not yet at ten seconds";
  Game()->SetTimeLeft(9);
  Frames(2);
  EXPECT_TRUE(HeardFx(G::kFxCountdown)) << "the beep under ten seconds";
  Game()->SetTimeLeft(0);
  Frames(2);
  EXPECT_EQ(Game()->GetLadderWindow(), 0);
  const std::vector<std::string> texts = Shown();
  EXPECT_NE(std::find(texts.begin(), texts.end(), Text(kTextTimeUp)), texts.end());
  EXPECT_EQ(std::find(texts.begin(), texts.end(), Text(kTextLadder)), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "00:00"), texts.end());
  EXPECT_EQ(GetSoundWrapper()->IsSamplePlaying(Game()->m_effectsBank, G::kFxCountdown), 0)
      << "time up stops the beep";
  EXPECT_EQ(remap[0], kInputButtonE) << "the window closed";
  ListenToCobb();
  EXPECT_EQ(ResultAtTheEnd(1500), 0) << "stopped on the path: lost";
  EXPECT_LT(m_framesToTheEnd, 550);
  ASSERT_GE(m_heard.size(), 3u);
  const int32_t first = m_heard[m_heard.size() - 3];
  EXPECT_TRUE(first == 24 || first == 25 || first == 28) << first;
  EXPECT_TRUE(EndsWith(m_heard, {5, 22})) << "Cobb's lines for Jory sitting on the deck";
  EXPECT_EQ(std::vector<uint32_t>(remap, remap + 4),
            (std::vector<uint32_t>{0x1000, 0x4000, 0x8000, 0x2000}))
      << "the menu's pad buttons back";
}

}  // namespace
}  // namespace divingtest

namespace divingtest {
namespace {

// Cobb talks through play: line 31 first, then 32 to 36 round and round.
TEST_F(DivingRunTest, CobbsIdleTalkGoesThroughItsLinesInTurn) {
  ASSERT_TRUE(StartFromMenu(kModeNormal, 0));
  ListenToCobb();
  // The clock runs from the start of play, a second every 60 ticks.
  ASSERT_TRUE(RunUntil([&] { return Phase() == G::kDivePhaseInChair; }, 200));
  ASSERT_EQ(Game()->GetTimeLeft(), 180);
  int ticks = 0;
  while (Game()->GetTimeLeft() == 180 && ticks < 100) {
    Frame();
    ++ticks;
  }
  EXPECT_EQ(ticks, 60);
  int frames = 0;
  ASSERT_TRUE(RunUntil([&] { return ++frames, m_heard.size() >= 7; }, 600));
  const std::vector<int32_t> first(m_heard.begin(), m_heard.begin() + 7);
  EXPECT_EQ(first, (std::vector<int32_t>{31, 32, 33, 34, 35, 36, 32}));
  EXPECT_GT(frames, 100) << "each line heard out before the next";
}

// Each character is drawn where it stands, seen through the camera of the moment.
TEST_F(DivingRunTest, TheCharactersAreDrawnWhereTheyStand) {
  ASSERT_TRUE(StartFromMenu(kModeNormal, 0));
  ASSERT_TRUE(RunUntil([&] { return Phase() == G::kDivePhaseInChair; }, 200));
  m_harness.SkipPixelWork(false);
  Frame();
  std::vector<uint32_t> pixels =
      pixelprobe::ReadBack(m_harness.app().GetDisplay()->GetDevice(), 640, 480);
  const DivingLayout& l = Game()->GetLayout();
  auto above = [](const Vector4& p, float z) { return Vector4(p.x, p.y, p.z + z, 1.0f); };
  EXPECT_GT(BodyPixelsAt(pixels, above(Game()->GetJoryPosition(), 60.0f), 25, IsJory), 30)
      << "Jory in his chair";
  EXPECT_GT(BodyPixelsAt(pixels, above(l.cobbStand, 100.0f), 25, IsCobb), 30) << "Cobb";
  EXPECT_GT(BodyPixelsAt(pixels, above(l.lifeguardStand, 100.0f), 25, IsLifeguard), 30)
      << "the lifeguard across the pool";
  // Walking along the path, seen by the camera that follows him.
  m_harness.SkipPixelWork();
  ASSERT_TRUE(WalkUntil([&] { return Game()->GetNodeIndex() >= 8; }, 400));
  m_harness.SkipPixelWork(false);
  Frame();
  pixels = pixelprobe::ReadBack(m_harness.app().GetDisplay()->GetDevice(), 640, 480);
  EXPECT_EQ(Game()->GetCameraShot(), G::kShotPath);
  EXPECT_GT(BodyPixelsAt(pixels, above(Game()->GetJoryPosition(), 60.0f), 25, IsJory), 200)
      << "Jory on the path";
  EXPECT_GT(BodyPixelsAt(pixels, above(l.lifeguardStand, 100.0f), 25, IsLifeguard), 30)
      << "the lifeguard";
  // In the air he turns about his middle, 119.6 above his feet.
  m_harness.SkipPixelWork();
  ToTheBoard(1);
  ASSERT_TRUE(RunUntil([&] { return Game()->GetPower() > 250.0f; }, 100));
  Tap(kKeyE);
  ASSERT_EQ(Phase(), G::kDivePhaseDive);
  Frames(8);
  m_harness.SkipPixelWork(false);
  Frame();
  pixels = pixelprobe::ReadBack(m_harness.app().GetDisplay()->GetDevice(), 640, 480);
  ASSERT_GT(Game()->GetJoryPosition().z, 0.0f);
  EXPECT_GT(BodyPixelsAt(pixels, above(Game()->GetJoryPosition(), 119.6f), 20, IsJory), 100)
      << "Jory in the air";
  {
    // The take-off camera follows him.
    const Vector4& jory = Game()->GetJoryPosition();
    const Vector4& target = GameWindow()->GetCamera()->GetTarget();
    EXPECT_EQ(Game()->GetCameraShot(), G::kShotTakeOffMiddle);
    EXPECT_NEAR(target.z, jory.z + 80.0f, 0.5f);
    EXPECT_NEAR(target.y, jory.y, 0.5f);
  }
  m_harness.SkipPixelWork();
}

}  // namespace
}  // namespace divingtest

namespace divingtest {
namespace {

// Time running out stops Jory where he is: the late camera and Cobb's reaction follow from where
// that is, and the run is lost.
TEST_F(DivingRunTest, TimeUpStopsJoryWhereHeIsWithTheShotAndReactionForThere) {
  struct Case {
    const char* where;
    int32_t board;      // the board he makes for
    int32_t phase;      // time runs out in this phase
    int32_t shot;       // the camera shot he stops in
    int32_t cobbState;  // Cobb's reaction: 1 low, 2 ground, 3 high
  };
  const Case cases[] = {
      {"on the low board's route", 0, G::kDivePhaseBoardRoute, G::kShotStoppedLowBoard, 3},
      {"crouched on the low board", 0, G::kDivePhaseOnBoard, G::kShotStoppedLow, 3},
      {"crouched on the middle board", 1, G::kDivePhaseOnBoard, G::kShotStoppedHigh, 3},
      {"climbing the steps at point 11", 2, G::kDivePhaseClimbSteps, G::kShotStoppedHigh, 3},
      {"swimming back", 0, G::kDivePhaseSwim, G::kShotStoppedLow, 1},
      {"on the low board's ladder", 0, G::kDivePhaseLadder, G::kShotStoppedHigh, 3},
      {"on the middle board's ladder", 1, G::kDivePhaseLadder, G::kShotStoppedHigh, 3},
      {"in the air", 0, G::kDivePhaseDive, G::kShotStoppedLow, 1},
      {"climbing out of the pool", 0, G::kDivePhaseOutOfPool, G::kShotStoppedGround, 2},
      {"on the way back from the pool", 0, G::kDivePhaseToChairRoute, G::kShotStoppedGround, 2},
  };
  Frames(2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    ToThePath(kModeNormal, 0);
    if (c.phase == G::kDivePhaseClimbSteps) {
      // Past the low board's window and on up the steps; the clock runs out on the way up.
      ASSERT_TRUE(WalkUntil([&] { return Phase() == G::kDivePhaseClimbSteps; }, 600));
      Frames(10);
    } else if (c.phase == G::kDivePhaseBoardRoute) {
      ASSERT_TRUE(WalkUntil([&] { return Game()->GetLadderWindow() == 1; }, 100));
      Tap(kKeyE);
      ASSERT_TRUE(WalkUntil(
          [&] { return Phase() == G::kDivePhaseBoardRoute && Game()->GetNodeIndex() >= 1; }, 300));
      // Keep walking when the clock runs out.
      Tap(kKeySpace);
    } else if (c.phase == G::kDivePhaseLadder) {
      ASSERT_TRUE(WalkUntil(
          [&] {
            return Game()->GetLadderWindow() == 1 && (c.board == 0 || Game()->GetNodeIndex() >= 10);
          },
          600));
      Tap(kKeyE);
      ASSERT_TRUE(WalkUntil([&] { return Phase() == G::kDivePhaseLadder; }, 600));
    } else {
      ToTheBoard(c.board);
      if (c.phase != G::kDivePhaseOnBoard) TakeOffAt(300.0f, 200.0f);
      if (c.phase == G::kDivePhaseSwim) {
        ASSERT_TRUE(RunUntil([&] { return Phase() == G::kDivePhaseSwim; }, 600));
        // The rise to the surface takes 100 ticks; then a few strokes.
        Frames(110);
        WalkUntil([] { return false; }, 5);
      } else if (c.phase == G::kDivePhaseOutOfPool) {
        ASSERT_TRUE(RunUntil([&] { return Phase() == G::kDivePhaseSwim; }, 600));
        ASSERT_TRUE(WalkUntil([&] { return Phase() == c.phase; }, 800));
      } else if (c.phase == G::kDivePhaseToChairRoute) {
        ASSERT_TRUE(RunUntil([&] { return Phase() == G::kDivePhaseSwim; }, 600));
        ASSERT_TRUE(
            WalkUntil([&] { return Phase() == c.phase && Game()->GetNodeIndex() >= 2; }, 1200));
        Tap(kKeySpace);
      }
    }
    ASSERT_EQ(Phase(), c.phase);
    ListenToCobb();
    Game()->SetTimeLeft(0);
    m_framesToTheEnd = 0;
    int32_t cobbState = 0;
    int32_t shot = -1;
    bool lateCamera = false;
    bool talkCut = true;
    const int32_t result = [&] {
      int32_t r = -1;
      RunUntil(
          [&] {
            if (!Game()) return true;
            ++m_framesToTheEnd;
            r = Game()->GetResult();
            if (Phase() == G::kDivePhaseEnd) {
              if (cobbState == 0 && Game()->GetCobbState() != 0) {
                // Jory has come to rest: Cobb breaks off his talk.
                for (int32_t line = 31; line <= 36; ++line)
                  talkCut &= GetSoundWrapper()->IsSamplePlaying(Game()->m_speechBank, line) == 0;
              }
              cobbState = Game()->GetCobbState();
              if (shot == -1) shot = Game()->GetCameraShot();
              const int32_t late = c.shot - G::kShotStoppedHigh;
              const DivingLayout& l = Game()->GetLayout();
              lateCamera = CameraAt(l.lateCameras[late], &l.lateTargets[late]);
            }
            return false;
          },
          1500);
      return Game() ? -1 : r;
    }();
    // Cobb reacts once Jory has sat down, well before the end sequence's wait runs out.
    EXPECT_LT(m_framesToTheEnd, 550);
    EXPECT_EQ(shot, c.shot);
    EXPECT_TRUE(lateCamera) << "the late camera of that shot";
    // In the water he never sits down, and Cobb talks on until he turns.
    EXPECT_TRUE(talkCut || c.cobbState == 1) << "sitting down cuts Cobb's talk";
    EXPECT_EQ(cobbState, c.cobbState);
    // Cobb's lines for Jory in the water, sitting on the deck, or sitting up high.
    const std::vector<int32_t> closing[4] = {{}, {21, 9}, {5, 22}, {26, 6, 29}};
    EXPECT_TRUE(EndsWith(m_heard, closing[c.cobbState]));
    EXPECT_EQ(result, 0);
    Tap(kKeyReturn);
  }
}

}  // namespace
}  // namespace divingtest
