// Models made by the geometry writer, drawn as the games draw theirs: render nodes of the node
// factory's files in a window that looks through its own camera, culled, lit and skinned on the
// real device.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "Engine/Camera.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCNodeFactory.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCSkeleton.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ContentTestSupport.h"
#include "tests/support/GeoWriter.h"
#include "tests/support/SkeletonWriter.h"

namespace {

using content::AreaIs;
using content::kHeight;
using content::kWidth;
using content::Rgb;

// The top face's texture and the other faces' (with an ambient light of one half, a lit face
// shows its texture as it is).
constexpr uint32_t kTopTexel = 0xFFC86432u;
constexpr uint32_t kSideTexel = 0xFF3070B0u;
const Rgb kTop = content::RgbOf(kTopTexel);
const Rgb kBlack = {0, 0, 0};

// A box from -1 to 1 as the writer makes it, its top face (normal +z) drawn with texture 1 and
// the five others with texture 0.
geowriter::Node TwoTextureBox() {
  const float lo[3] = {-1, -1, -1}, hi[3] = {1, 1, 1};
  geowriter::Node node;
  node.mesh = geowriter::BoxMesh(lo, hi, 0xFF808080u, 0);
  std::vector<uint16_t> sides, top;
  for (uint16_t index : node.mesh.indices)
    (node.mesh.vertices[index].normal[2] > 0.5f ? top : sides).push_back(index);
  node.mesh.indices = sides;
  node.mesh.indices.insert(node.mesh.indices.end(), top.begin(), top.end());
  node.mesh.solidStrips = {{0, 0, 0, uint32_t(sides.size())},
                           {1, 0, uint32_t(sides.size()), uint32_t(top.size())}};
  node.textures = {"data\\side.dds", "data\\top.dds"};
  return node;
}

class ModelPixelTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(content::SaveSolidDds("data\\badtexture.dds", 0xFFFF00FFu));
    ASSERT_TRUE(content::SaveSolidDds("data\\side.dds", kSideTexel));
    ASSERT_TRUE(content::SaveSolidDds("data\\top.dds", kTopTexel));
    ASSERT_TRUE(m_harness.Start());
    m_window = new RenderWindow();
    m_window->Init(Vector2(0, 0), Vector2(kWidth, kHeight), Vector4(0, 0, 0, 255), 6, 0.0f);
    GetApp().AddWindow(m_window);
    LightSetup* lights = m_window->GetOwnLightSetup();
    lights->count = 0;
    lights->SetAmbient(0.5f, 0.5f, 0.5f);
  }

  static int32_t Load(const std::string& name, const geowriter::GeoDesc& desc) {
    EXPECT_TRUE(geowriter::SaveGeo(content::HostPath(name), desc));
    return GetApp().GetNodeFactory()->Add(name.c_str());
  }

  void LookFrom(const Vector4& eye, const Vector4& target) {
    m_window->GetCamera()->SetEye(eye);
    m_window->GetCamera()->SetTarget(target);
  }

  // One frame with the model at the origin, posed by `skeleton` when one is given.
  std::vector<uint32_t> Draw(int32_t handle, Skeleton* skeleton = nullptr) {
    RenderNodeRecord node;
    node.container = GetApp().GetNodeFactory()->GetContainer(handle);
    node.SetPlacement(content::Translated(0, 0, 0));
    node.SetTint(Vector4(1, 1, 1, 1));
    node.SetOverrideTexture(-1);
    node.SetSkeleton(skeleton);
    EXPECT_NE(m_window->AddRenderNode(node), nullptr);
    m_harness.RunFrames(1);
    return content::ReadBack();
  }

  // Where the frame's matrices put the points: the rectangle round them (`outer`), or the
  // rectangle inside the quadrilateral of four points whose sides run nearly along the axes.
  struct Rect {
    int x0, y0, x1, y1;
  };
  template <size_t N>
  static Rect Projected(const Vector4 (&points)[N], bool outer) {
    Display* display = GetApp().GetDisplay();
    Matrix toClip;
    Multiply(*display->GetViewMatrix(), *display->GetDeviceProjectionMatrix(), toClip);
    std::vector<double> xs, ys;
    for (const Vector4& point : points) {
      Vector4 clip = point;
      TransformVector4(clip, toClip);
      xs.push_back((clip.x / clip.w + 1.0) * 0.5 * kWidth);
      ys.push_back((1.0 - clip.y / clip.w) * 0.5 * kHeight);
    }
    std::sort(xs.begin(), xs.end());
    std::sort(ys.begin(), ys.end());
    const size_t lo = outer ? 0 : 1, hi = outer ? N - 1 : 2;
    return {int(std::lround(xs[lo])), int(std::lround(ys[lo])), int(std::lround(xs[hi])),
            int(std::lround(ys[hi]))};
  }
  // Round the eight corners of a box.
  static Rect Around(const Vector4& lo, const Vector4& hi) {
    Vector4 corners[8];
    for (int i = 0; i < 8; ++i)
      corners[i] = Vector4((i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z, 1);
    return Projected(corners, true);
  }

  RenderWindow* m_window = nullptr;
};

TEST_F(ModelPixelTest, AWrittenBoxShowsItsOutsideAndNothingFromWithin) {
  geowriter::GeoDesc desc;
  desc.nodes = {TwoTextureBox()};
  const int32_t box = Load("data\\box.geo", desc);
  ASSERT_NE(box, -1);

  // From above, leaning a little towards -y: the top face hides the rest of the box except a
  // strip of the -y side along the top face's lower edge. Drawn inside out, the top face would
  // be culled and the inner faces of the bottom and the sides would fill the outline instead.
  LookFrom(Vector4(0.0f, -1.0f, 8.0f, 1.0f), Vector4(0, 0, 0, 1));
  std::vector<uint32_t> pixels = Draw(box);
  const Rect top = Projected({{-1, -1, 1, 1}, {1, -1, 1, 1}, {-1, 1, 1, 1}, {1, 1, 1, 1}}, false);
  ASSERT_GT(top.x1 - top.x0, 100);
  ASSERT_GT(top.y1 - top.y0, 100);
  EXPECT_TRUE(AreaIs(pixels, top.x0 + 2, top.y0 + 2, top.x1 - 2, top.y1 - 2, kTop));
  // Nothing outside the box.
  const Rect all = Around(Vector4(-1, -1, -1, 1), Vector4(1, 1, 1, 1));
  EXPECT_TRUE(AreaIs(pixels, 0, 0, kWidth, all.y0 - 2, kBlack));
  EXPECT_TRUE(AreaIs(pixels, 0, 0, all.x0 - 2, kHeight, kBlack));
  EXPECT_TRUE(AreaIs(pixels, all.x1 + 2, 0, kWidth, kHeight, kBlack));
  EXPECT_TRUE(AreaIs(pixels, 0, all.y1 + 2, kWidth, kHeight, kBlack));

  // From within, every face turns its back to the eye: nothing is drawn.
  LookFrom(Vector4(0.2f, -0.3f, 0.5f, 1.0f), Vector4(0.2f, 0.5f, -0.5f, 1));
  pixels = Draw(box);
  EXPECT_TRUE(AreaIs(pixels, 0, 0, kWidth, kHeight, kBlack));
}

// A chain of `count` bones rising from the origin to 1.95 above it, with the two-texture box
// (at the origin in the bind pose) hanging from the last: the same model whatever the count.
geowriter::GeoDesc SkinnedBox(int count) {
  geowriter::GeoDesc desc;
  skelwriter::SkeletonDesc chain;
  const float step = 1.95f / float(count - 1);
  for (int i = 0; i < count; ++i) chain.Add("bone" + std::to_string(i), i - 1, 0, 0, i ? step : 0);
  desc.SetSkeleton(chain);
  desc.nodes = {TwoTextureBox()};
  const GeoSkinWeight weight = {{uint8_t(3 * (count - 1)), 0, 0, 0}, {1, 0, 0, 0}};
  desc.nodes[0].mesh.skinWeights.assign(desc.nodes[0].mesh.vertices.size(), weight);
  return desc;
}

// Up to 35 bones the vertex shader skins; past that the processor does, and the pictures must
// not change: unposed (the bind pose) and posed.
TEST_F(ModelPixelTest, SkinnedModelsOfManyBonesDrawAsThoseOfFew) {
  LookFrom(Vector4(0.0f, -1.0f, 8.0f, 1.0f), Vector4(0, 0, 0, 1));
  // Per bone count: the bind pose, then the root moved 1.5 along +x and turned a quarter
  // about z.
  std::vector<uint32_t> pictures[2][2];
  const int counts[2] = {4, 40};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(counts[i]);
    const int32_t handle =
        Load("data\\chain" + std::to_string(counts[i]) + ".geo", SkinnedBox(counts[i]));
    ASSERT_NE(handle, -1);
    EXPECT_EQ(GetApp().GetNodeFactory()->GetContainer(handle)->GetSkinningMode(),
              counts[i] <= 35 ? 1u : 0u);
    Skeleton* skeleton = GetApp().GetNodeFactory()->MakeSkeleton(handle);
    ASSERT_NE(skeleton, nullptr);
    pictures[i][0] = Draw(handle, skeleton);
    skeleton->SetHasPose(true);
    skeleton->SetOverrideRotation(0, Quaternion(0, 0, std::sqrt(0.5f), std::sqrt(0.5f)));
    skeleton->SetRootPosition(Vector4(1.5f, 0.0f, 0.0f, 1.0f));
    pictures[i][1] = Draw(handle, skeleton);
    TrackedDelete("ModelPixelTest", skeleton);
    GetApp().GetNodeFactory()->DeleteNode(handle);
  }
  // The box's top face lies where the pose put it, and nothing lies outside the box.
  for (int posed = 0; posed < 2; ++posed) {
    SCOPED_TRACE(posed ? "posed" : "bind pose");
    const float x0 = posed ? 0.5f : -1.0f, x1 = x0 + 2.0f;
    const Rect top =
        Projected({{x0, -1, 1, 1}, {x1, -1, 1, 1}, {x0, 1, 1, 1}, {x1, 1, 1, 1}}, false);
    const Rect all = Around(Vector4(x0, -1, -1, 1), Vector4(x1, 1, 1, 1));
    for (int i = 0; i < 2; ++i) {
      const std::vector<uint32_t>& pixels = pictures[i][posed];
      EXPECT_TRUE(AreaIs(pixels, top.x0 + 2, top.y0 + 2, top.x1 - 2, top.y1 - 2, kTop));
      EXPECT_TRUE(AreaIs(pixels, 0, 0, all.x0 - 2, kHeight, kBlack));
      EXPECT_TRUE(AreaIs(pixels, all.x1 + 2, 0, kWidth, kHeight, kBlack));
      EXPECT_TRUE(AreaIs(pixels, 0, 0, kWidth, all.y0 - 2, kBlack));
    }
    EXPECT_TRUE(pictures[0][posed] == pictures[1][posed]) << "the two pictures differ";
  }
}

}  // namespace
