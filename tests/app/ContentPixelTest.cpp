// End to end: the demo data's level and character, written to files exactly as the demo data
// generator writes them, loaded through the factories, the character posed by its walk through
// the sequencer and drawn in a window over the level, and the picture checked against where the
// skeleton says the bones are.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "Engine/AnimationSequencer.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCAnimation.h"
#include "Engine/PC/PCFileIO.h"
#include "Engine/PC/PCScene.h"
#include "Engine/PC/PCSkeleton.h"
#include "tests/support/AppTestSupport.h"
#include "tests/support/ScnWriter.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

struct Rgb {
  int r, g, b;
};

class ContentPixelTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(apptest::SaveSolidDds("data/badtexture.dds", 8, 8, 0xFFFF00FFu));
    ASSERT_TRUE(scnwriter::SaveDemoScene("data/Scene"));
    ASSERT_TRUE(scnwriter::SaveDemoCharacter("data/Character"));
    ASSERT_TRUE(m_harness.Start());
  }

  std::vector<uint32_t> ReadBack() {
    return pixelprobe::ReadBack(GetApp().GetDisplay()->GetDevice(), kWidth, kHeight);
  }

  // Where a world point lands on the back buffer: through the view and the device projection
  // that the geometry draws load, then the viewport of the whole client area.
  static bool Project(const Vector4& point, int* x, int* y) {
    Display* display = GetApp().GetDisplay();
    Matrix toClip;
    Multiply(*display->GetViewMatrix(), *display->GetDeviceProjectionMatrix(), toClip);
    Vector4 clip(point.x, point.y, point.z, 1.0f);
    TransformVector4(clip, toClip);
    if (clip.w <= 0.0f) return false;
    *x = static_cast<int>(std::floor((clip.x / clip.w + 1.0f) * 0.5f * kWidth));
    *y = static_cast<int>(std::floor((1.0f - clip.y / clip.w) * 0.5f * kHeight));
    return *x >= 0 && *x < kWidth && *y >= 0 && *y < kHeight;
  }

  // The mean colour of the 3 x 3 pixels round (x, y).
  static Rgb Around(const std::vector<uint32_t>& pixels, int x, int y) {
    Rgb sum = {0, 0, 0};
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const uint32_t p = pixels[(y + dy) * kWidth + (x + dx)];
        sum.r += p >> 16 & 0xFF;
        sum.g += p >> 8 & 0xFF;
        sum.b += p & 0xFF;
      }
    return {sum.r / 9, sum.g / 9, sum.b / 9};
  }
};

// The part colours as hues: which channels stand out.
bool IsRed(Rgb c) { return c.r > c.g + 40 && c.r > c.b + 40; }
bool IsBlue(Rgb c) { return c.b > c.r + 40 && c.b > c.g + 40; }
bool IsYellow(Rgb c) { return c.r > c.b + 40 && c.g > c.b + 40 && std::abs(c.r - c.g) < 30; }
bool IsGrey(Rgb c) {
  return std::abs(c.r - c.g) < 12 && std::abs(c.g - c.b) < 12 && c.r > 8;
}

::testing::AssertionResult Shows(const char* what, bool (*hue)(Rgb), Rgb c, int x, int y) {
  if (hue(c)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << what << " at (" << x << ", " << y << ") shows " << c.r
                                       << "," << c.g << "," << c.b;
}

TEST_F(ContentPixelTest, TheWalkingCharacterIsDrawnWhereItsBonesAre) {
  App& app = GetApp();

  // The level, its light record, and a window looking from its camera node at its target node.
  app.SetDataDir("data\\Scene\\");
  const int32_t sceneId = app.GetSceneFactory()->CreateScene("scene.scn");
  ASSERT_NE(sceneId, -1);
  Scene* scene = app.GetSceneFactory()->FindScene(sceneId);
  int32_t lightSize = 0;
  void* lightFile = FileIO::LoadFile("scene.lgt", &lightSize);
  ASSERT_NE(lightFile, nullptr);
  ASSERT_GE(lightSize, static_cast<int32_t>(sizeof(LightSetup)));
  LightSetup lights;
  std::memcpy(&lights, lightFile, sizeof(lights));
  TrackedFree("test", lightFile);
  EXPECT_EQ(lights.count, 2u);

  auto* window = new RenderWindow();
  window->Init(Vector2(0, 0), Vector2(kWidth, kHeight), Vector4(0, 0, 0, 255), 6, 0.0f);
  app.AddWindow(window);
  window->SetScene(scene);
  window->SetLightSetup(&lights);
  const GameNode* eye = scene->FindGameNode("camera01");
  const GameNode* target = scene->FindGameNode("camera_target01");
  const GameNode* spot = scene->FindGameNode("character");
  ASSERT_TRUE(eye && target && spot);
  window->GetCamera()->SetEye(eye->matrix.GetRow(3));
  window->GetCamera()->SetTarget(target->matrix.GetRow(3));
  // The level's particle system runs in the window.
  EXPECT_EQ(window->GetParticleSystemCount(), 1);

  // The character, its skeleton and its walk.
  app.SetDataDir("data\\Character\\");
  const int32_t geometry = app.GetNodeFactory()->Add("character.geo");
  ASSERT_NE(geometry, -1);
  Skeleton* skeleton = app.GetNodeFactory()->MakeSkeleton(geometry);
  ASSERT_NE(skeleton, nullptr);
  const int32_t walk = app.GetAnimFactory()->AddAnim("walk.anm");
  ASSERT_NE(walk, -1);
  // The camera stands in front of the character and to its right: the bones of its right side
  // are in plain view, and the swing of a limb, forward and back, shows across the screen.
  const char* bones[4] = {"Bip01 R Hand", "Head_bone", "Bip01 R Foot", "Bip01 R Calf"};
  bool (*hues[4])(Rgb) = {IsRed, IsYellow, IsBlue, IsGrey};
  int32_t boneIndex[4];
  for (int i = 0; i < 4; ++i) {
    boneIndex[i] = skeleton->FindBone(bones[i]);
    ASSERT_NE(boneIndex[i], -1) << bones[i];
  }
  EXPECT_NE(skeleton->FindBone("Bip01 L Hand"), -1);
  EXPECT_NE(skeleton->FindBone("Bip01 L Foot"), -1);

  AnimationSequencer sequencer(walk);
  sequencer.SetPlayMode(0, AnimationSequencer::kPlayLoop);
  sequencer.Play(0, walk, 0.0f);
  AnimationPose* pose = AnimationSequencer::CreatePose(walk);
  ASSERT_NE(pose, nullptr);

  // The window's matrices come from its camera during a frame.
  m_harness.RunFrames(1);

  int hand[2][2] = {};
  const float times[3] = {0.25f, 0.5f, 0.75f};
  float played = 0.0f;
  for (int step = 0; step < 3; ++step) {
    SCOPED_TRACE(testing::Message() << "at " << times[step] << " s");
    sequencer.Update(times[step] - played);
    played = times[step];
    EXPECT_EQ(sequencer.GetPose(pose), 1);
    // The character stands on its node, its root where the bind pose has it.
    skeleton->SetPoseWithBindRoot(pose, 0);
    skeleton->UpdateHierarchy();
    Vector4 where[4];
    for (int i = 0; i < 4; ++i) {
      Matrix bone;
      ASSERT_TRUE(skeleton->GetBoneWorldMatrix(boneIndex[i], spot->matrix, bone));
      where[i] = bone.GetRow(3);
    }

    RenderNodeRecord node;
    node.container = app.GetNodeFactory()->GetContainer(geometry);
    node.SetPlacement(spot->matrix);
    node.SetTint(Vector4(1.0f, 1.0f, 1.0f, 1.0f));
    node.SetOverrideTexture(-1);
    node.SetSkeleton(skeleton);
    ASSERT_NE(window->AddRenderNode(node), nullptr);
    m_harness.RunFrames(1);
    const std::vector<uint32_t> pixels = ReadBack();

    for (int i = 0; i < 4; ++i) {
      int x = 0, y = 0;
      ASSERT_TRUE(Project(where[i], &x, &y)) << bones[i];
      EXPECT_TRUE(Shows(bones[i], hues[i], Around(pixels, x, y), x, y));
      if (i == 0 && step != 1) {
        hand[step / 2][0] = x;
        hand[step / 2][1] = y;
      }
    }
  }
  // The walk swings the arm forward and back: half a cycle later the hand is somewhere else.
  const int dx = hand[1][0] - hand[0][0], dy = hand[1][1] - hand[0][1];
  EXPECT_GT(dx * dx + dy * dy, 12 * 12);

  // The level shows round the character: a placed crate, textured and unlit.
  {
    int x = 0, y = 0;
    ASSERT_TRUE(Project(Vector4(3.0f, 2.0f, 0.5f, 1.0f), &x, &y));
    const Rgb crate = Around(ReadBack(), x, y);
    EXPECT_TRUE(crate.r > crate.g && crate.g > crate.b && crate.r > 60)
        << crate.r << "," << crate.g << "," << crate.b;
  }

  AnimationSequencer::DestroyPose(pose);
  TrackedDelete("ContentPixelTest", skeleton);
  app.GetAnimFactory()->DeleteAnim(walk);
  app.GetNodeFactory()->DeleteNode(geometry);
  window->SetLightSetup(nullptr);
  app.GetSceneFactory()->DeleteScene(sceneId);
  EXPECT_EQ(window->GetScene(), nullptr);
  EXPECT_EQ(window->GetParticleSystemCount(), 0);
}

}  // namespace
