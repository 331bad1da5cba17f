// Hit volumes on the demo character standing in its bind pose, so that every bone is where the
// skeleton writer's own matrices put it, tested through a character matrix that turns and moves.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "Engine/BaseDebugLines.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Helper/BipedCollision.h"
#include "tests/support/AnmWriter.h"
#include "tests/support/AppHarness.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScnWriter.h"
#include "tests/support/TempDir.h"

namespace {

// Standing still with the root at (x, 0, 1): the bind pose, moved along x.
void WriteStand(const char* name, float x) {
  const uint32_t bones = static_cast<uint32_t>(skelwriter::MakeBiped().bones.size());
  const anmwriter::AnimDesc desc = anmwriter::MakeSampled(
      bones, 1.0f, 2,
      [](uint32_t, float, float* q) {
        const float identity[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        std::copy(identity, identity + 4, q);
      },
      [x](float, float* p) {
        p[0] = x;
        p[1] = 0.0f;
        p[2] = 1.0f;
      });
  const std::vector<uint8_t> bytes = anmwriter::Write(desc);
  WriteFileBytes(std::string("data/") + name, bytes.data(), bytes.size());
}

// A bone's place in the character's frame, from the writer's bind matrices.
Vector4 Bone(const char* name, float dx = 0.0f, float dy = 0.0f, float dz = 0.0f) {
  const skelwriter::SkeletonDesc biped = skelwriter::MakeBiped();
  const std::vector<float> world = skelwriter::BindWorldMatrices(biped);
  for (size_t i = 0; i < biped.bones.size(); ++i)
    if (biped.bones[i].name == name)
      return Vector4(world[16 * i + 12] + dx, world[16 * i + 13] + dy, world[16 * i + 14] + dz, 1);
  ADD_FAILURE() << name;
  return Vector4();
}

Vector4 Mid(const Vector4& a, const Vector4& b) {
  return Vector4((a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2, 1.0f);
}

// A quarter turn about z, then a move to (100, 50, 0): (x, y, z) lands at (100 - y, 50 + x, z).
Matrix QuarterTurn() {
  Matrix m;
  const float rows[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 100, 50, 0, 1};
  std::copy(rows, rows + 16, m.m);
  return m;
}
Vector4 Turned(const Vector4& p) { return Vector4(100.0f - p.y, 50.0f + p.x, p.z, 1.0f); }

const BipedPartDesc kTable[] = {
    {0, kBipedTwoBones, "Bip01 L UpperArm", "Bip01 L Forearm", 0.05f},
    {6, kBipedTwoBones, "Bip01 L Thigh", "Bip01 L Calf", 0.08f},
    {10, kBipedTwoBones, "Bip01 Pelvis", "Bip01 Neck", 0.12f},
    {12, kBipedOneBone, "Head_bone", nullptr, 0.11f},
    {11, kBipedTwoBones, "Bip01 Pelvis", "groin", 0.2f},  // no such bone
    {26, kBipedEnd, nullptr, nullptr, 0.0f},
    {3, kBipedOneBone, "Bip01 Pelvis", nullptr, 5.0f},  // past the end
};

struct Recorder : BaseDebugLines {
  std::vector<CapsuleShape> capsules;
  std::vector<std::pair<Vector4, float>> spheres;
  int32_t Init() override { return 0; }
  void Empty() override {}
  int32_t AddLine(const Vector4*, const Vector4*, uint32_t) override { return 0; }
  void AddMarker(const Vector4*, uint32_t, uint32_t) override {}
  void AddBox(const Vector4*, const Vector4*, uint32_t) override {}
  void AddMeshBounds(const SceneNode* const*, int32_t, uint32_t, const Matrix*) override {}
  void AddCapsule(const CapsuleShape* s, int32_t segments, uint32_t colour) override {
    capsules.push_back(*s);
    drawn.push_back({segments, colour});
  }
  void AddSphere(const Vector4* c, float r, int32_t segments, uint32_t colour) override {
    spheres.push_back({*c, r});
    drawn.push_back({segments, colour});
  }
  std::vector<std::pair<int32_t, uint32_t>> drawn;  // each shape's segments and colour
};

::testing::AssertionResult Near(const Vector4& a, const Vector4& b) {
  if (std::abs(a.x - b.x) < 1e-4f && std::abs(a.y - b.y) < 1e-4f && std::abs(a.z - b.z) < 1e-4f)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << a.x << " " << a.y << " " << a.z;
}

class BipedCollisionTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_harness.Start());
    ASSERT_TRUE(scnwriter::SaveDemoCharacter("data"));
    WriteStand("stand.anm", 0.0f);
    WriteStand("shifted.anm", 1.0f);
    GetApp().SetDataDir("data\\");
    m_player.LoadModel("character.geo");
    m_stand = m_player.AddAnimation("stand.anm");
    m_shifted = m_player.AddAnimation("shifted.anm");
    m_player.SetCurrentAnimation(m_stand);
    ASSERT_EQ(m_player.CreateSkeleton(), 1);
    Stand(m_stand);
  }
  void Stand(int32_t anim) {
    m_player.Play(anim, 1, 0.0f);
    m_player.Update(1.0f);
  }

  AnimationHelper m_player;
  int32_t m_stand = -1, m_shifted = -1;
};

TEST_F(BipedCollisionTest, HitsTheFirstVolumeMetAndMissesWith26) {
  BipedCollision biped;
  EXPECT_EQ(biped.InitBiped(&m_player, kTable), 4) << "groin left out, nothing past the end";
  EXPECT_TRUE(DebugLogContains("groin"));
  const Vector4 arm = Mid(Bone("Bip01 L UpperArm"), Bone("Bip01 L Forearm"));
  const struct {
    const char* what;
    Vector4 at;
    float radius;
    int32_t part;
  } cases[] = {
      {"beside the upper arm", Vector4(arm.x, arm.y + 0.06f, arm.z, 1), 0.02f, 0},
      {"just clear of it", Vector4(arm.x, arm.y + 0.08f, arm.z, 1), 0.02f, 26},
      {"inside the thigh", Mid(Bone("Bip01 L Thigh"), Bone("Bip01 L Calf")), 0.01f, 6},
      {"beside the head", Bone("Head_bone", 0.0f, 0.12f), 0.02f, 12},
      {"above the head", Bone("Head_bone", 0.0f, 0.0f, 0.15f), 0.02f, 26},
      {"neck and head both: the earlier row", Bone("Bip01 Neck", 0.0f, 0.0f, 0.02f), 0.02f, 10},
      {"where a volume on the missing bone would be", Bone("Bip01 R Thigh", 0, 0, -0.25f), 0.02f,
       26},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(biped.HitTestSphere(c.radius, Matrix().Identity(), c.at), c.part);
    EXPECT_EQ(biped.HitTestSphere(c.radius, QuarterTurn(), Turned(c.at)), c.part);
  }
  // The matrix places the volumes: the unmoved point misses the moved character.
  EXPECT_EQ(biped.HitTestSphere(0.02f, QuarterTurn(), Bone("Head_bone")), BipedCollision::kNoHit);
  // The rows up to the table's last one, when it has no end row.
  EXPECT_EQ(biped.InitBiped(&m_player, std::span(kTable).first(2)), 2);
}

TEST_F(BipedCollisionTest, VolumesFollowThePlayersPoseAndANewSkeleton) {
  BipedCollision biped;
  biped.InitBiped(&m_player, kTable);
  const Matrix at = Matrix().Identity();
  const Vector4 besideHead = Bone("Head_bone", 0.0f, 0.12f);
  Stand(m_shifted);
  EXPECT_EQ(biped.HitTestSphere(0.02f, at, besideHead), 26);
  EXPECT_EQ(biped.HitTestSphere(0.02f, at, Bone("Head_bone", 1.0f, 0.12f)), 12);
  // The volumes are on the player, not on the skeleton it had when they were built.
  ASSERT_EQ(m_player.CreateSkeleton(), 1);
  Stand(m_stand);
  EXPECT_EQ(biped.HitTestSphere(0.02f, at, besideHead), 12);

  // Before its first update a new skeleton stands in its current animation's first pose.
  AnimationHelper fresh;
  fresh.LoadModel("character.geo");
  fresh.SetCurrentAnimation(fresh.AddAnimation("shifted.anm"));
  ASSERT_EQ(fresh.CreateSkeleton(), 1);
  BipedCollision onFresh;
  onFresh.InitBiped(&fresh, kTable);
  EXPECT_EQ(onFresh.HitTestSphere(0.02f, at, Bone("Head_bone", 1.0f, 0.12f)), 12);

  // Nothing is hit where there is no skeleton, built before or after.
  AnimationHelper bare;
  EXPECT_EQ(biped.InitBiped(&bare, kTable), 0);
  EXPECT_EQ(biped.HitTestSphere(100.0f, at, Bone("Head_bone")), 26);
  biped.InitBiped(&m_player, kTable);
  m_player.LoadModel("character.geo");
  EXPECT_EQ(biped.HitTestSphere(100.0f, at, Bone("Head_bone")), 26);
  Recorder lines;
  biped.DebugDraw(&lines, at);
  EXPECT_TRUE(lines.capsules.empty() && lines.spheres.empty());
}

TEST_F(BipedCollisionTest, RowsThatCannotMakeAVolumeAreLeftOut) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const BipedPartDesc table[] = {
      {5, kBipedOneBone, "Bip01", nullptr, 0.01f},  // bone 0 is a bone
      {7, kBipedOneBone, "Head_bone", nullptr, -1.0f},
      {8, kBipedOneBone, "Head_bone", nullptr, nan},
      {9, 7, "Head_bone", nullptr, 0.1f},
      {4, kBipedTwoBones, "Head_bone", nullptr, 0.1f},
      {26, kBipedEnd, nullptr, nullptr, 0.0f},
  };
  BipedCollision biped;
  EXPECT_EQ(biped.InitBiped(&m_player, table), 1);
  for (const char* logged :
       {"BipedCollision::InitBiped: part 7: radius -1", "BipedCollision::InitBiped: part 8: radius",
        "BipedCollision::InitBiped: part 9: kind 7", "BipedCollision::InitBiped: part 4: no bone"})
    EXPECT_TRUE(DebugLogContains(logged)) << logged;
  EXPECT_EQ(biped.HitTestSphere(0.02f, Matrix().Identity(), Bone("Bip01")), 5);
  EXPECT_EQ(biped.HitTestSphere(0.5f, Matrix().Identity(), Bone("Head_bone")), 26);
}

TEST_F(BipedCollisionTest, DebugDrawPlacesEveryVolume) {
  BipedCollision biped;
  biped.InitBiped(&m_player, kTable);
  Recorder lines;
  biped.DebugDraw(&lines, QuarterTurn(), 0xFF112233u);
  ASSERT_EQ(lines.capsules.size(), 3u);
  ASSERT_EQ(lines.spheres.size(), 1u);
  // Capsules of 12 segments, spheres of 16, in the colour asked for.
  int32_t capsules = 0, spheres = 0;
  for (const auto& [segments, colour] : lines.drawn) {
    EXPECT_EQ(colour, 0xFF112233u);
    capsules += segments == 12;
    spheres += segments == 16;
  }
  EXPECT_EQ(capsules, 3);
  EXPECT_EQ(spheres, 1);
  const Vector4 upper = Turned(Bone("Bip01 L UpperArm"));
  const Vector4 fore = Turned(Bone("Bip01 L Forearm"));
  EXPECT_TRUE(Near(lines.capsules[0].point, upper));
  EXPECT_TRUE(Near(lines.capsules[0].axis,
                   Vector4(fore.x - upper.x, fore.y - upper.y, fore.z - upper.z, 0)));
  EXPECT_EQ(lines.capsules[0].radius, 0.05f);
  EXPECT_TRUE(Near(lines.spheres[0].first, Turned(Bone("Head_bone"))));
  EXPECT_EQ(lines.spheres[0].second, 0.11f);
}

// Counts blocks of the tracker: needs the tracked operators (not the sanitizer build).
class BipedCollisionMemoryTest : public BipedCollisionTest {};

TEST_F(BipedCollisionMemoryTest, VolumesAreFreedOnReinitAndDestruction) {
  const char* owner = "BipedCollision::InitBiped";
  {
    BipedCollision biped;
    biped.InitBiped(&m_player, kTable);
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy(owner), 1u);
    biped.InitBiped(&m_player, kTable);
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy(owner), 1u);
  }
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy(owner), 0u);
}

}  // namespace
