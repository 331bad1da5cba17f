// The demo board's lids as the game moves them: the board model and its opening animation from
// the demo data, played through an AnimationHelper tick by tick as the intro plays them, and the
// board's vertices skinned by the engine's own processor skinning at each step.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Engine/FileImage.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCFileIO.h"
#include "Engine/PC/PCGeoObject.h"
#include "Engine/PC/PCSkeleton.h"
#include "Game/Helper/AnimationHelper.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DemoData.h"
#include "tests/support/GeoWriter.h"

namespace {

// The slab's top and half width, as the demo board is built; the lids hinge on its side edges.
constexpr float kBoardTop = 20.0f;
constexpr float kHalfWidth = 3200.0f;

class PirateBoardTest : public AppTest {
 protected:
  void SetUp() override {
    LinkDemoData();
    ASSERT_TRUE(m_harness.Start());
    GetApp().SetDataDir("data\\PirateGame\\");
  }
};

// The first mesh of a ".geo" file: its bind-pose vertices and their skin weights.
struct BoardMesh {
  std::vector<GeoVertex> vertices;
  std::vector<GeoSkinWeight> weights;
};

BoardMesh ReadMesh(const std::vector<uint8_t>& image) {
  using geowriter::GetU32;
  const uint32_t node = GetU32(image, GetU32(image, geowriter::kHeaderNodeTable));
  const uint32_t mesh = GetU32(image, node + geowriter::kNodeMesh);
  const uint32_t count = GetU32(image, mesh + geowriter::kMeshVertexCount);
  const uint32_t vertices = GetU32(image, mesh + geowriter::kMeshVertices);
  const uint32_t weights = GetU32(image, mesh + geowriter::kMeshSkinWeights);
  BoardMesh out;
  if (!vertices || !weights || vertices + count * sizeof(GeoVertex) > image.size() ||
      weights + count * sizeof(GeoSkinWeight) > image.size())
    return out;
  out.vertices.resize(count);
  out.weights.resize(count);
  std::memcpy(out.vertices.data(), &image[vertices], count * sizeof(GeoVertex));
  std::memcpy(out.weights.data(), &image[weights], count * sizeof(GeoSkinWeight));
  return out;
}

TEST_F(PirateBoardTest, TheLidsOpenUpwardsAndNeverThroughTheSlab) {
  int32_t size = 0;
  void* file = FileIO::LoadFile("board.geo", &size);
  ASSERT_NE(file, nullptr);
  const auto* bytes = static_cast<const uint8_t*>(file);
  const BoardMesh board = ReadMesh(std::vector<uint8_t>(bytes, bytes + size));
  TrackedFree("PirateBoardTest", file);
  ASSERT_FALSE(board.vertices.empty());

  AnimationHelper helper;
  const int32_t open = helper.AddAnimation("board_open.anm");
  ASSERT_NE(open, -1);
  ASSERT_NE(helper.LoadModel("board.geo"), -1);
  helper.SetCurrentAnimation(open);
  ASSERT_EQ(helper.CreateSkeleton(), 1);
  Skeleton* skeleton = helper.GetSkeleton();
  const int32_t lids[2] = {skeleton->FindBone("LidL"), skeleton->FindBone("LidR")};
  ASSERT_GT(lids[0], 0);
  ASSERT_GT(lids[1], 0);
  helper.Play(open, 0, 0.0f);

  // The free edge of each lid: its vertices that lie on the board's middle line (x 0).
  std::vector<GeoVertex> posed(board.vertices.size());
  int freeEdge = 0;
  // 1.5 seconds at 60 ticks a second, and some ticks past the end.
  for (int tick = 1; tick <= 100; ++tick) {
    helper.Update(1.0f);
    Skeleton* pose = helper.PoseGeo();
    ASSERT_EQ(pose, skeleton);
    pose->BuildSkinMatrices();
    GeoObject::SkinVertices(board.vertices.data(), board.weights.data(),
                            uint32_t(board.vertices.size()), pose->GetSkinMatrices(),
                            pose->GetBoneCount(), posed.data());
    for (size_t v = 0; v < posed.size(); ++v) {
      const int32_t bone = board.weights[v].index[0] / 3;
      const int side = bone == lids[0] ? 0 : bone == lids[1] ? 1 : -1;
      if (side < 0) continue;
      const float* p = posed[v].position;
      SCOPED_TRACE(testing::Message() << "tick " << tick << ", vertex " << v << " at (" << p[0]
                                      << ", " << p[1] << ", " << p[2] << ")");
      // Over the slab a lid is never below its top.
      if (p[0] > -kHalfWidth + 1.0f && p[0] < kHalfWidth - 1.0f) {
        EXPECT_GE(p[2], kBoardTop - 0.5f);
      }
      if (board.vertices[v].position[0] != 0.0f) continue;
      ++freeEdge;
      // The free edge rises from the start and ends out beyond its hinge, well above the board.
      if (tick >= 10) {
        EXPECT_GT(p[2], kBoardTop + 100.0f);
      }
      if (tick >= 90) {
        EXPECT_GT(p[2], kBoardTop + 600.0f);
        EXPECT_TRUE(side == 0 ? p[0] < -kHalfWidth : p[0] > kHalfWidth);
      }
    }
  }
  EXPECT_GT(freeEdge, 0);
}

}  // namespace
