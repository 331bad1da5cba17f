// The pirate game's selection as a player moves it: the arrow keys alone and two at once over the
// demo board (six columns 1000 apart, five rows 900 apart, hole 0 at the bottom left), the pick
// with Space, the pointer path the mouse drives, and the lives icons.
#include <gtest/gtest.h>

#include <initializer_list>

#include "Engine/PC/PCKeyboard.h"
#include "Engine/PC/PCNodeFactory.h"
#include "Engine/PC/PCPolygonPools.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/Random.h"
#include "Game/Helper/InputDevice.h"
#include "Game/Sound/CSoundWrapper.h"
#include "tests/pirate/PirateTestSupport.h"

namespace {

using G = cpirategame;

constexpr int32_t kSampleEmptyHole = 13;

class PirateInputTest : public piratetest::PirateAppTest {
 protected:
  // Every hole in play, on a board dealt from a fixed seed.
  G* Playing() {
    SeedRand(7919u);
    G* g = StartFromMenu(kModeNormal, 2);
    return g && RunToPlay() ? g : nullptr;
  }
  // The selection on `hole` with the camera over it.
  void From(G* g, int32_t hole) {
    g->SelectHole(hole);
    for (int i = 0; i < 100 && g->m_cameraMoving; ++i) m_harness.RunFrames(1);
    ASSERT_FALSE(g->m_cameraMoving);
  }
  void Keys(std::initializer_list<int> keys) {
    for (int key : keys) m_harness.input().SetKey(key, true);
    m_harness.RunFrames(1);
    for (int key : keys) m_harness.input().SetKey(key, false);
    m_harness.RunFrames(1);
  }
};

TEST_F(PirateInputTest, TheArrowKeysMoveTheSelectionToTheNeighbourTheyPointAt) {
  G* g = Playing();
  ASSERT_NE(g, nullptr);
  // For the cases that depend on the tick a key comes in, the keys are handed straight to the
  // game's input.
  InputDevice* input = GetInputDevice();
  ASSERT_NE(input, nullptr);
  auto Tap = [&](uint32_t bits) {
    const uint32_t down[2] = {bits, 0}, none[2] = {0, 0};
    input->SetLinkInput(down, down);
    g->Update();
    input->SetLinkInput(none, none);
    g->Update();
    input->ClearLinkInput();
  };
  auto MoveTo = [&](int32_t hole) {
    g->SelectHole(hole);
    for (int i = 0; i < 200 && g->m_cameraMoving; ++i) g->Update();
  };
  // The game's first key moves at once, from the middle of the board.
  ASSERT_EQ(g->LastSelectedHole(false), -1);
  Tap(kInputRight | kInputUp);
  EXPECT_EQ(g->LastSelectedHole(false), 15);

  struct Case {
    const char* name;
    int32_t from;
    std::initializer_list<int> keys;
    int32_t to;
  };
  const Case cases[] = {
      {"up", 7, {plat::kDIK_UP}, 13},
      {"down", 13, {plat::kDIK_DOWN}, 7},
      {"right", 7, {plat::kDIK_RIGHT}, 8},
      {"left", 8, {plat::kDIK_LEFT}, 7},
      {"down to the first hole", 6, {plat::kDIK_DOWN}, 0},
      {"left to the first hole", 1, {plat::kDIK_LEFT}, 0},
      {"nothing below the bottom row", 2, {plat::kDIK_DOWN}, 2},
      {"nothing left of the first column", 12, {plat::kDIK_LEFT}, 12},
      {"nothing right of the last column", 11, {plat::kDIK_RIGHT}, 11},
      {"nothing above the top row", 27, {plat::kDIK_UP}, 27},
      {"right and up", 7, {plat::kDIK_RIGHT, plat::kDIK_UP}, 14},
      {"right and down", 13, {plat::kDIK_RIGHT, plat::kDIK_DOWN}, 8},
      {"left and up", 8, {plat::kDIK_LEFT, plat::kDIK_UP}, 13},
      {"left and down to the first hole", 7, {plat::kDIK_LEFT, plat::kDIK_DOWN}, 0},
      {"right and up from the first hole", 0, {plat::kDIK_RIGHT, plat::kDIK_UP}, 7},
      {"nothing down and left of the corner", 0, {plat::kDIK_LEFT, plat::kDIK_DOWN}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    From(g, c.from);
    Keys(c.keys);
    EXPECT_EQ(g->LastSelectedHole(false), c.to);
    int32_t selected = 0;
    for (int32_t i = 0; i < kHoles; ++i) selected += g->m_holes[i].selected;
    EXPECT_EQ(selected, 1) << "one hole selected";
    EXPECT_EQ(g->m_cameraMoving, c.to != c.from ? 1 : 0) << "the camera goes to the new hole";
    for (int i = 0; i < 100 && g->m_cameraMoving; ++i) m_harness.RunFrames(1);
    EXPECT_NEAR(g->LookAt().x, g->m_holes[c.to].position.x, 20.0f);
    EXPECT_NEAR(g->LookAt().y, g->m_holes[c.to].position.y, 20.0f);
    const Vector4 eye = g->m_camera.GetPosition(), look = g->LookAt();
    EXPECT_FLOAT_EQ(eye.x, look.x);
    EXPECT_FLOAT_EQ(eye.y, look.y - 5000.0f) << "the camera stands back";
    EXPECT_FLOAT_EQ(eye.z, look.z + 4000.0f) << "and above";
  }

  // A key while the camera is still on its way moves nothing.
  MoveTo(7);
  g->SelectHole(8);
  for (int i = 0; i < 8; ++i) g->Update();
  ASSERT_TRUE(g->m_cameraMoving);
  Tap(kInputUp);
  EXPECT_EQ(g->LastSelectedHole(false), 8);
  // A diagonal holds until the camera has nearly arrived: pressed again at once it moves nothing.
  MoveTo(7);
  Tap(kInputRight | kInputUp);
  ASSERT_EQ(g->LastSelectedHole(false), 14);
  ASSERT_LT(g->m_cameraMoveT, 0.1f);
  Tap(kInputRight | kInputUp);
  EXPECT_EQ(g->LastSelectedHole(false), 14);
  // Nor does one while the camera is half way; one just as it sets off goes from where it is.
  MoveTo(7);
  g->SelectHole(8);
  for (int i = 0; i < 200 && g->m_cameraMoveT < 0.3f; ++i) g->Update();
  Tap(kInputRight | kInputUp);
  EXPECT_EQ(g->LastSelectedHole(false), 8);
  MoveTo(7);
  g->SelectHole(8);
  Tap(kInputRight | kInputUp);
  EXPECT_EQ(g->LastSelectedHole(false), 14);

  // Space picks the selected hole, the first one too.
  ASSERT_TRUE(g->m_holes[0].occupied) << "the seed's board";
  From(g, 0);
  Keys({plat::kDIK_SPACE});
  EXPECT_EQ(g->m_firstPicked, 1);
  EXPECT_EQ(g->m_firstHole, 0);
  // And its pirate is drawn on its way out.
  RenderWindow* main = g->MainWindow();
  const int32_t before = main->GetRenderNodeCount();
  g->Render();
  const NodeContainer* pirate =
      GetApp().GetNodeFactory()->Find(g->m_pirateGeos[g->m_holes[0].kind]);
  int drawn = 0;
  for (int32_t i = before; i < main->GetRenderNodeCount(); ++i)
    drawn += main->GetRenderNode(i)->container == pirate ? 1 : 0;
  EXPECT_EQ(drawn, 1);
}

// The mouse path: the pointer moves by twice the mouse's counts within the screen, or, while the
// look-at point is inside the camera's limits, the view scrolls by eight times them (up on the
// mouse is up the board) and the pointer stays at the centre; the hole nearest the look-at point
// in play is selected, and a press of the left button picks once.
TEST_F(PirateInputTest, TheMouseScrollsTheViewOrMovesThePointerAndClicksPickOnce) {
  G* g = Playing();
  ASSERT_NE(g, nullptr);
  Mouse* mouse = GetApp().GetMouse();
  ASSERT_NE(mouse, nullptr);
  const int32_t width = GetApp().GetWidth(), height = GetApp().GetHeight();
  auto Move = [&](int32_t dx, int32_t dy, int32_t left) {
    mouse->m_xMotion = dx;
    mouse->m_yMotion = dy;
    mouse->m_leftButton = left;
    g->UpdateMouseInput();
  };

  // Scrolling from hole 7 towards hole 8.
  const Vector4 seven = g->m_holes[7].position;
  g->m_camera.SetTarget(seven);
  g->m_pointerX = 100;
  g->m_pointerY = 100;
  Move(70, -10, 0);
  EXPECT_FLOAT_EQ(g->LookAt().x, seven.x + 560.0f);
  EXPECT_FLOAT_EQ(g->LookAt().y, seven.y + 80.0f);
  EXPECT_EQ(g->m_pointerX, width / 2);
  EXPECT_EQ(g->m_pointerY, height / 2);
  const Vector4 eye = g->m_camera.GetPosition();
  EXPECT_FLOAT_EQ(eye.x, seven.x + 560.0f);
  EXPECT_FLOAT_EQ(eye.y, seven.y + 80.0f - 5000.0f) << "the camera stands back";
  EXPECT_FLOAT_EQ(eye.z, seven.z + 4000.0f) << "and above";
  EXPECT_EQ(g->LastSelectedHole(false), 8);
  EXPECT_EQ(g->m_selectedHole, 8);

  g->m_camera.SetTarget(g->m_holes[0].position);
  Move(0, 0, 0);
  EXPECT_EQ(g->LastSelectedHole(false), 0) << "the first hole too";

  // At the camera's limit the pointer moves instead, and stops at the screen's edges.
  const Vector4 edge(3200.0f, 0.0f, 0.0f, 1.0f);
  g->m_camera.SetTarget(edge);
  g->m_pointerX = 100;
  g->m_pointerY = 100;
  Move(-60, 30, 0);
  EXPECT_EQ(g->m_pointerX, 0);
  EXPECT_EQ(g->m_pointerY, 160);
  EXPECT_FLOAT_EQ(g->LookAt().x, edge.x) << "no scroll";
  Move(5, -3, 0);
  EXPECT_EQ(g->m_pointerX, 10);
  EXPECT_EQ(g->m_pointerY, 154);
  Move(400, 400, 0);
  EXPECT_EQ(g->m_pointerX, width - 32);
  EXPECT_EQ(g->m_pointerY, height - 32);
  Move(-1000, -1000, 0);
  EXPECT_EQ(g->m_pointerX, 0);
  EXPECT_EQ(g->m_pointerY, 0);
  // At the top limit too.
  g->m_camera.SetTarget(Vector4(0.0f, 2500.0f, 0.0f, 1.0f));
  Move(5, 5, 0);
  EXPECT_EQ(g->m_pointerX, 10);
  EXPECT_EQ(g->m_pointerY, 10);
  EXPECT_FLOAT_EQ(g->LookAt().x, 0.0f) << "no scroll";

  // Over an empty hole: a press picks it once (a miss), holding picks nothing more.
  int32_t empty = -1;
  for (int32_t i = 0; i < kHoles && empty < 0; ++i)
    if (!g->m_holes[i].occupied) empty = i;
  ASSERT_GE(empty, 0);
  g->m_camera.SetTarget(g->m_holes[empty].position);
  Move(0, 0, 0);
  ASSERT_EQ(g->LastSelectedHole(false), empty);
  const int32_t misses = g->m_misses;
  Move(0, 0, 1);
  EXPECT_EQ(g->m_misses, misses + 1);
  EXPECT_TRUE(GetSoundWrapper()->IsSamplePlaying(g->m_effectsBank, kSampleEmptyHole));
  Move(0, 0, 1);
  EXPECT_EQ(g->m_misses, misses + 1) << "held";
  Move(0, 0, 0);
  Move(0, 0, 1);
  EXPECT_EQ(g->m_misses, misses + 2) << "pressed again";

  // A hole out of play is never the nearest.
  g->m_holes[empty].outOfPlay = 1;
  Move(0, 0, 0);
  EXPECT_NE(g->LastSelectedHole(false), empty);
  EXPECT_EQ(g->m_selectedHole, g->LastSelectedHole(false));
  g->m_holes[empty].outOfPlay = 0;
  EXPECT_EQ(MemoryTracker::ValidateAll(), 0) << "the selection stays within the board";
}

// The lives the game keeps, one icon each leftwards from the top-right corner.
TEST_F(PirateInputTest, EachLifeIsAnIconFromTheTopRight) {
  G* g = Playing();
  ASSERT_NE(g, nullptr);
  RenderWindow* overlay = g->OverlayWindow();
  ASSERT_NE(overlay, nullptr);
  ASSERT_EQ(GetApp().GetWidth(), 640);
  ASSERT_EQ(GetApp().GetHeight(), 480);
  struct Case {
    int32_t lives;
    std::vector<float> xs;
  };
  const Case cases[] = {{3, {608.0f, 576.0f, 544.0f}}, {1, {608.0f}}, {0, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lives);
    g->m_lives = c.lives;
    const PolygonPools& pools = overlay->GetPolygonPools();
    const int32_t before = pools.GetPolygonCount(PolygonPools::kAlpha2D);
    g->DrawLivesIcons(overlay);
    ASSERT_EQ(pools.GetPolygonCount(PolygonPools::kAlpha2D) - before,
              static_cast<int32_t>(c.xs.size()));
    for (size_t i = 0; i < c.xs.size(); ++i) {
      const PolygonData2D* quad = pools.Get2D(PolygonPools::kAlpha2D, before + int32_t(i));
      ASSERT_NE(quad, nullptr);
      EXPECT_EQ(quad->texture, g->m_iconTexture);
      EXPECT_FLOAT_EQ(quad->vertices[0].x, c.xs[i]) << i;
      EXPECT_FLOAT_EQ(quad->vertices[0].y, 24.0f) << i;
    }
  }
  g->m_lives = 3;
}

}  // namespace
