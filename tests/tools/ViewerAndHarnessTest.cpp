// The character viewer through the game's framework and the sample harness as a body of its
// own, both on the demo data.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "Engine/PC/PCApp.h"
#include "Engine/Random.h"
#include "Game/Frontend/PDFE.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/KavelApp.h"
#include "Game/KavelHelper.h"
#include "Game/PCCharacterViewer/PCCharacterViewer.h"
#include "Platform/Dialog/ScriptedDialog.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DemoData.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PixelProbe.h"

namespace {

class CharacterViewerTest : public AppTest {
 protected:
  void SetUp() override {
    LinkDemoData();
    KavelApp::Register();
    ASSERT_TRUE(m_harness.Start());
    m_harness.RunFrames(1);
  }
  void TearDown() override { m_harness.Stop(); }

  PCCharacterViewer* Start() {
    PDFE_StartAnimationViewer();
    m_harness.RunFrames(8);
    return dynamic_cast<PCCharacterViewer*>(GetKavelApp()->GetCurrentGame());
  }
  plat::ScriptedDialogBackend& Dialogs() { return m_dialogs.backend(); }

  plat::ScopedScriptedDialogs m_dialogs;
};

TEST_F(CharacterViewerTest, CancelledDialogsShowTheDefaultModelPlayingItsAnimation) {
  PCCharacterViewer* viewer = Start();
  ASSERT_NE(viewer, nullptr);
  // The model dialog was cancelled, so the animation dialog never opened.
  ASSERT_EQ(Dialogs().FileRequests().size(), 1u);
  const auto& request = Dialogs().FileRequests()[0];
  EXPECT_EQ(request.filter.at(0), "GEO Files (*.geo)");
  EXPECT_EQ(request.defaultExtension, "txt");
  const std::string folder = std::filesystem::current_path().string() + "/data/PCCharacterViewer/";
  EXPECT_EQ(request.initialFolder, folder);
  ASSERT_NE(viewer->GetHelper(), nullptr);
  EXPECT_NE(viewer->GetModel(), -1);
  EXPECT_NE(viewer->GetAnimation(), -1);
  EXPECT_NE(viewer->GetHelper()->GetSkeleton(), nullptr);
  EXPECT_NE(GetApp().FindWindow(viewer->GetWindowId()), nullptr);
  EXPECT_NE(viewer->GetScene(), -1);
  EXPECT_GT(viewer->GetHelper()->GetDominantRemainingFraction(), 0.0f);
}

TEST_F(CharacterViewerTest, ChosenFilesAreLoadedByNameFromTheViewerFolder) {
  // Files chosen anywhere are taken by their names from the viewer's own folder.
  Dialogs().QueueFileAnswer("/somewhere/else/Cobb.geo");
  Dialogs().QueueFileAnswer("/somewhere/else/cobb_walk.anm");
  PCCharacterViewer* viewer = Start();
  ASSERT_NE(viewer, nullptr);
  ASSERT_EQ(Dialogs().FileRequests().size(), 2u);
  EXPECT_EQ(Dialogs().FileRequests()[1].filter.at(0), "ANM Files (*.anm)");
  EXPECT_NE(viewer->GetModel(), -1);
  EXPECT_NE(viewer->GetAnimation(), -1);
}

TEST_F(CharacterViewerTest, TheCameraCirclesAtAFixedHeight) {
  PCCharacterViewer* viewer = Start();
  ASSERT_NE(viewer, nullptr);
  const float height = viewer->GetEye().z;
  viewer->SetOrbitAngle(0.01f);
  m_harness.input().SetKey(plat::kDIK_RIGHT, true);
  m_harness.RunFrames(3);
  m_harness.input().SetKey(plat::kDIK_RIGHT, false);
  m_harness.RunFrames(1);
  // Past 0 it wraps to just under a full turn.
  EXPECT_GT(viewer->GetOrbitAngle(), 6.2f);
  EXPECT_LT(viewer->GetOrbitAngle(), PCCharacterViewer::kFullTurn);
  EXPECT_EQ(viewer->GetEye().z, height);
  const float radius = std::hypot(viewer->GetEye().x, viewer->GetEye().y);
  EXPECT_NEAR(radius, PCCharacterViewer::kOrbitRadius, 0.01f);
}

TEST_F(CharacterViewerTest, ReloadsAndCleanUpGiveBackWhatTheyTook) {
  PCCharacterViewer* viewer = Start();
  ASSERT_NE(viewer, nullptr);
  const int32_t model = viewer->GetModel();
  const int32_t animation = viewer->GetAnimation();
  for (int i = 0; i < 3; ++i) {
    m_harness.input().SetKey(0x12, true);  // E
    m_harness.RunFrames(1);
    m_harness.input().SetKey(0x12, false);
    m_harness.RunFrames(1);
  }
  EXPECT_EQ(Dialogs().FileRequests().size(), 4u);
  EXPECT_EQ(viewer->GetModel(), model);
  const int32_t window = viewer->GetWindowId();
  GetKavelApp()->StartGame(nullptr);  // ends the viewer: CleanUp, then delete
  m_harness.RunFrames(1);
  EXPECT_EQ(GetApp().FindWindow(window), nullptr);
  // One reference each was taken per load and each went back: nothing is left.
  EXPECT_EQ(GetApp().GetNodeFactory()->GetContainer(model), nullptr);
  EXPECT_EQ(GetApp().GetAnimFactory()->FindAnim(animation), nullptr);
}

class KavelHelperTest : public AppTest {
 protected:
  void SetUp() override {
    LinkDemoData();
    KavelHelper::Register();
    ASSERT_TRUE(m_harness.Start());
  }
  void TearDown() override { m_harness.Stop(); }
};

TEST_F(KavelHelperTest, ShowsThePoolWithItsSamples) {
  AssertCounter asserts;
  m_harness.RunFrames(10);
  KavelHelper* harness = KavelHelper::Current();
  ASSERT_NE(harness, nullptr);
  KavelHelperState& state = harness->State();
  RenderWindow* window = GetApp().FindWindow(state.windowId);
  ASSERT_NE(window, nullptr);
  EXPECT_NE(window->GetScene(), nullptr);
  EXPECT_NE(state.font, -1);
  EXPECT_NE(state.shaftTexture, -1);
  EXPECT_NE(state.model, -1);
  ASSERT_NE(state.characters, nullptr);
  for (int i = 0; i < KavelHelperState::kCharacterCount; ++i) {
    EXPECT_NE(state.characters[i].skeleton, nullptr) << i;
    EXPECT_NE(state.characters[i].sequencer, nullptr) << i;
  }
  // Every texel of the noise texture holds one byte value.
  const uint8_t* texels = GetApp().GetTexture()->GetPixels(state.noiseTexture);
  ASSERT_NE(texels, nullptr);
  for (int i = 1; i < 256 * 256 * 4; ++i) ASSERT_EQ(texels[i], texels[0]) << i;
  EXPECT_EQ(asserts.Count(), 0u);
}

TEST_F(KavelHelperTest, TheListSampleReadsThreeTwoOneFourAndEndsEmpty) {
  m_harness.RunFrames(1);
  int32_t order[4] = {};
  EXPECT_EQ(KavelHelper::LinkedListSample(KavelHelper::Current()->State(), order), 4);
  EXPECT_EQ(order[0], 3);
  EXPECT_EQ(order[1], 2);
  EXPECT_EQ(order[2], 1);
  EXPECT_EQ(order[3], 4);
  EXPECT_EQ(KavelHelper::Current()->State().list, nullptr);
}

TEST_F(KavelHelperTest, ThePadFliesTheCameraAlongItsDirection) {
  m_harness.RunFrames(1);
  KavelHelperState& state = KavelHelper::Current()->State();
  RenderWindow* window = GetApp().FindWindow(state.windowId);
  ASSERT_NE(window, nullptr);
  const Vector4 eye = state.cameraEye;
  KavelHelper::Turn(state, 0.0f, 0.0f);
  const Vector4 direction = state.cameraDirection;
  state.cameraEye = Vector4(eye.x + direction.x * 10.0f, eye.y + direction.y * 10.0f,
                            eye.z + direction.z * 10.0f, eye.w);
  KavelHelper::Turn(state, 0.0f, 0.0f);
  const Vector4 target = state.cameraTarget;
  EXPECT_FLOAT_EQ(target.x - state.cameraEye.x, direction.x);
  EXPECT_FLOAT_EQ(target.y - state.cameraEye.y, direction.y);
  // The side direction is a quarter turn from the view.
  const Vector4 side = KavelHelper::SideDirection(state, 0.0f, 1.5707964f);
  EXPECT_NEAR(side.x * direction.x + side.y * direction.y, 0.0f, 1e-6f);
}

TEST_F(KavelHelperTest, CleanUpLetsGoOfTheSharedModelOnce) {
  m_harness.RunFrames(2);
  KavelHelperState& state = KavelHelper::Current()->State();
  const int32_t shared = state.characterModel;
  ASSERT_NE(shared, -1);
  // Someone else holds the same model: the harness must give back only its own reference.
  const int32_t mine = GetApp().GetNodeFactory()->Add("jory.geo");
  ASSERT_EQ(mine, shared);
  KavelHelper::DeleteCharacters(state);
  EXPECT_NE(GetApp().GetNodeFactory()->GetContainer(mine), nullptr);
  GetApp().GetNodeFactory()->DeleteNode(mine);
  EXPECT_EQ(GetApp().GetNodeFactory()->GetContainer(mine), nullptr);
}

TEST_F(KavelHelperTest, TheLightsWrapAtTheEndsOfTheirRun) {
  m_harness.RunFrames(1);
  KavelHelperState& state = KavelHelper::Current()->State();
  RenderWindow* window = GetApp().FindWindow(state.windowId);
  ASSERT_NE(window, nullptr);
  state.lightPositions[0] = 1000.0f;
  state.lightPositions[1] = -1000.0f;
  KavelHelper::LightSample(window, state);
  EXPECT_EQ(state.lightPositions[0], -1000.0f);
  EXPECT_EQ(state.lightPositions[1], 1000.0f);
}

// Seeds the program's generator so that the next frame fills the noise texture with `value`:
// the harness's first draw of a frame is the noise, whose byte is the low byte of the new seed.
void NextNoiseIs(uint8_t value) {
  for (uint32_t seed = 0; seed < 256; ++seed)
    if (((seed * RandomGenerator::kMultiplier + RandomGenerator::kIncrement) & 0xFF) == value) {
      SeedRand(seed);
      return;
    }
}

// Where a world point lands on the back buffer for the harness's own camera: eye (0, 500, 100)
// looking at (0, 0, 100), the frame's projection. Worked out here rather than read from the
// display, so that a camera pointed elsewhere cannot move the expectation with it.
struct HarnessView {
  float xs = 0.0f, ys = 0.0f;
  int width = 0, height = 0;

  HarnessView() {
    const Matrix& projection = *GetApp().GetDisplay()->GetDeviceProjectionMatrix();
    xs = std::fabs(projection.m[0]);
    ys = std::fabs(projection.m[5]);
    width = GetApp().GetWidth();
    height = GetApp().GetHeight();
  }
  int X(float x, float y) const {
    return static_cast<int>(0.5f * static_cast<float>(width) * (1.0f - xs * x / (500.0f - y)));
  }
  int Y(float y, float z) const {
    return static_cast<int>(0.5f * static_cast<float>(height) *
                            (1.0f - ys * (z - 100.0f) / (500.0f - y)));
  }
};

// A pixel within `reach` of (x, y) whose channels are all within 60 of `want`.
bool ColourNear(const std::vector<uint32_t>& pixels, int width, int height, int x, int y, int reach,
                const pixelprobe::Rgb& want) {
  for (int py = y - reach; py <= y + reach; ++py)
    for (int px = x - reach; px <= x + reach; ++px)
      if (px >= 0 && py >= 0 && px < width && py < height &&
          pixelprobe::Near(pixels[static_cast<size_t>(py) * width + px], want, 60.0))
        return true;
  return false;
}

TEST_F(KavelHelperTest, TheCharactersAndTheDebugLinesAreInSight) {
  m_harness.RunFrames(9);
  NextNoiseIs(0x80);  // the characters wear it: not so dark that they melt into the sky
  m_harness.RunFrames(1);
  KavelHelper* harness = KavelHelper::Current();
  ASSERT_NE(harness, nullptr);
  const HarnessView view;
  ASSERT_GT(view.xs, 0.0f);
  ASSERT_GT(view.ys, 0.0f);
  const std::vector<uint32_t> pixels =
      pixelprobe::ReadBack(GetApp().GetDisplay()->GetDevice(), view.width, view.height);
  ASSERT_EQ(pixels.size(), static_cast<size_t>(view.width) * view.height);
  const pixelprobe::Rgb black = {0, 0, 0};

  // Each character's upper body stands against the cleared sky: most of it must be drawn.
  for (int i = 0; i < KavelHelperState::kCharacterCount; ++i) {
    const Vector4& at = harness->State().characters[i].position;
    const int x0 = view.X(at.x + 20.0f, at.y), x1 = view.X(at.x - 20.0f, at.y);
    const int y0 = view.Y(at.y, 170.0f), y1 = view.Y(at.y, 110.0f);
    ASSERT_LT(x0, x1);
    ASSERT_LT(y0, y1);
    const int area = (x1 - x0) * (y1 - y0);
    const int drawn = pixelprobe::CountOff(pixels, view.width, x0, y0, x1, y1, black, 8.0);
    EXPECT_GT(drawn, area / 4) << "character " << i << " in [" << x0 << ", " << x1 << ") x [" << y0
                               << ", " << y1 << ")";
  }

  // The green light's marker: its upright arm climbs through the sky above the characters.
  const pixelprobe::Rgb green = {0, 255, 0};
  int greenRows = 0, rows = 0;
  for (float z = 200.0f; z <= 330.0f; z += 10.0f, ++rows)
    if (ColourNear(pixels, view.width, view.height, view.X(0.0f, -200.0f), view.Y(-200.0f, z), 2,
                   green))
      ++greenRows;
  EXPECT_GE(greenRows, rows - 1);

  // The white sample line over the water, from where it leaves the water to near its far end.
  const pixelprobe::Rgb white = {255, 255, 255};
  int whitePoints = 0, clearBeside = 0, points = 0;
  for (float t = 0.3f; t <= 0.75f; t += 0.05f, ++points) {
    const float x = 200.0f * t, y = 200.0f * t, z = -100.0f + 200.0f * t;
    const int px = view.X(x, y), py = view.Y(y, z);
    if (ColourNear(pixels, view.width, view.height, px, py, 2, white)) ++whitePoints;
    // The water beside it is not white: the line is a line, not a white floor.
    if (!ColourNear(pixels, view.width, view.height, px, py + 10, 1, white)) ++clearBeside;
  }
  EXPECT_GE(whitePoints, points - 1);
  EXPECT_GE(clearBeside, points - 1);
}

TEST_F(KavelHelperTest, TheFrameRateReadsOverTheNoiseQuadWhateverItsNoise) {
  m_harness.RunFrames(4);
  for (uint8_t noise : {0x10, 0x90, 0xC0}) {
    NextNoiseIs(noise);
    m_harness.RunFrames(1);
    const std::vector<uint32_t> pixels =
        pixelprobe::ReadBack(GetApp().GetDisplay()->GetDevice(), 640, 480);
    // The quad, from the top left corner, shows the noise as it is.
    EXPECT_TRUE(pixelprobe::AreaIs(pixels, 640, 60, 60, 120, 120, {noise, noise, noise}, 3.0))
        << int(noise);
    // The text at (10, 10) stands out of it: white strokes on the noise grey.
    int strokes = 0;
    for (int y = 10; y < 26; ++y)
      for (int x = 10; x < 60; ++x)
        strokes += pixelprobe::Near(pixels[static_cast<size_t>(y) * 640 + x], {255, 255, 255}, 8.0)
                       ? 1
                       : 0;
    EXPECT_GT(strokes, 20) << "noise " << int(noise);
  }
}

TEST_F(KavelHelperTest, TheCharactersWearTheNoiseTexture) {
  m_harness.RunFrames(4);
  KavelHelper* harness = KavelHelper::Current();
  // Dark noise too: it fills the alpha as well, and must not leave the characters out.
  for (uint8_t value : {0x90, 0x30}) {
    NextNoiseIs(value);
    m_harness.RunFrames(1);
    const HarnessView view;
    const std::vector<uint32_t> pixels =
        pixelprobe::ReadBack(GetApp().GetDisplay()->GetDevice(), view.width, view.height);
    for (int i = 0; i < KavelHelperState::kCharacterCount; ++i) {
      const Vector4& at = harness->State().characters[i].position;
      const int x0 = view.X(at.x + 20.0f, at.y), x1 = view.X(at.x - 20.0f, at.y);
      const int y0 = view.Y(at.y, 170.0f), y1 = view.Y(at.y, 110.0f);
      int drawn = 0, noise = 0;
      for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
          const uint32_t p = pixels[static_cast<size_t>(y) * view.width + x];
          if ((p & 0xFFFFFF) == 0) continue;
          ++drawn;
          noise += pixelprobe::Near(p, {value, value, value}, 4.0) ? 1 : 0;
        }
      ASSERT_GT(drawn, 100) << i << " noise " << int(value);
      // A line or a label crosses a body here and there; the body itself is the noise's grey.
      EXPECT_GT(noise, drawn * 3 / 4) << "character " << i << ": " << noise << " of " << drawn;
    }
  }
}

}  // namespace
