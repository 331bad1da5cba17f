// Two-bone skinning on the processor against a computation done here by hand (in double
// precision, from the writer's bind matrices), and the perpendicular basis.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCAnimation.h"
#include "Engine/PC/PCSkeleton.h"
#include "Engine/PC/PCVertexSkinning.h"
#include "tests/support/AnmWriter.h"
#include "tests/support/SkeletonWriter.h"
#include "tests/support/TempDir.h"

namespace {

using skelwriter::SkeletonDesc;

using anmwriter::AxisAngle;

// p (w 1) through a row-major 4x4 matrix, in double precision.
void Through(const double p[3], const float* m, double out[3]) {
  for (int c = 0; c < 3; ++c)
    out[c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c];
}

constexpr int kUpperArm = 7;
constexpr int kForearm = 8;
constexpr int kHand = 9;

struct Posed {
  SkeletonDesc desc = skelwriter::MakeBiped();
  std::vector<uint8_t> block;
  std::vector<float> inverseBinds;  // the writer's, 16 per bone
  std::vector<float> world;         // the posed world matrices, computed by the writer
  float upper[4], fore[4];
  float root[3] = {1.0f, -0.5f, 1.2f};

  Posed() {
    EXPECT_EQ(desc.bones[kUpperArm].name, "Bip01 L UpperArm");
    EXPECT_EQ(desc.bones[kForearm].name, "Bip01 L Forearm");
    block = skelwriter::WriteBlock(desc);
    inverseBinds = skelwriter::Tables(desc).inverseBinds;
    AxisAngle(0, 1, 0, 0.9f, upper);
    AxisAngle(1, 0, 0, -0.5f, fore);
    SkeletonDesc moved = desc;
    std::memcpy(moved.bones[kUpperArm].rotation, upper, sizeof(upper));
    std::memcpy(moved.bones[kForearm].rotation, fore, sizeof(fore));
    std::memcpy(moved.bones[0].translation, root, sizeof(root));
    world = skelwriter::BindWorldMatrices(moved);
  }

  void Bind(Skeleton& skeleton, AnimationPose& pose) const {
    skeleton.CopyBindRotations(pose.GetRotations(), pose.GetBoneCount());
    pose.GetRotations()[kUpperArm] = Quaternion(upper[0], upper[1], upper[2], upper[3]);
    pose.GetRotations()[kForearm] = Quaternion(fore[0], fore[1], fore[2], fore[3]);
    pose.SetRootKey(Vector4(root[0], root[1], root[2], 1.0f));
    skeleton.ApplyPose(&pose);
  }

  // Where bone `b` carries a bind-pose point: through its inverse bind, then its posed world.
  void Carry(int b, const float p[3], double out[3]) const {
    const double in[3] = {p[0], p[1], p[2]};
    double local[3];
    Through(in, &inverseBinds[16 * b], local);
    Through(local, &world[16 * b], out);
  }
};

struct Vertex {
  float position[3];
  float pad;
};

class SkinningTest : public TempDirTest {};

TEST_F(SkinningTest, TwoBoneSkinningMatchesAHandComputation) {
  Posed posed;
  FileImage view(posed.block.data(), posed.block.size(), "biped.geo");
  Skeleton skeleton(view);
  ASSERT_TRUE(skeleton.IsValid());
  AnimationPose pose(skeleton.GetBoneCount());
  posed.Bind(skeleton, pose);

  // The w slot of each source position is not read.
  const Vertex positions[5] = {{{0.2f, 0.0f, 1.1f}, 7.0f},
                               {{0.21f, 0.02f, 0.9f}, -3.0f},
                               {{0.2f, -0.01f, 0.6f}, 0.0f},
                               {{0.25f, 0.0f, 1.2f}, 1e9f},
                               {{-0.3f, 0.1f, 1.0f}, 0.0f}};
  const SkinBinding bindings[5] = {
      {kUpperArm, kForearm, 0.7f, 0.3f},
      {kForearm, kUpperArm, 1.0f, 0.0f},
      {kHand, kHand, 0.5f, 0.5f},
      // A bone the skeleton does not have adds nothing.
      {99, kUpperArm, 0.5f, 0.5f},
      // Weights are used as given, not normalised.
      {kUpperArm, kForearm, 0.5f, 0.25f},
  };
  VertexSkinning2Bone skinner(5, &skeleton, bindings, positions);
  ASSERT_EQ(skinner.GetVertexCount(), 5u);
  EXPECT_EQ(skinner.GetRestPositions()[0].w, 1.0f);
  EXPECT_EQ(skinner.GetRestPositions()[3].x, 0.25f);
  Vector4 out[5];
  skinner.Skin(out);

  double e[5][3] = {};
  for (int v = 0; v < 5; ++v) {
    const SkinBinding& b = bindings[v];
    double a[3] = {}, c[3] = {};
    if (b.bone0 < 24) posed.Carry(int(b.bone0), positions[v].position, a);
    if (b.bone1 < 24) posed.Carry(int(b.bone1), positions[v].position, c);
    for (int k = 0; k < 3; ++k) e[v][k] = a[k] * b.weight0 + c[k] * b.weight1;
  }
  for (int v = 0; v < 5; ++v) {
    SCOPED_TRACE(v);
    EXPECT_NEAR(out[v].x, e[v][0], 2e-5);
    EXPECT_NEAR(out[v].y, e[v][1], 2e-5);
    EXPECT_NEAR(out[v].z, e[v][2], 2e-5);
    EXPECT_EQ(out[v].w, 0.0f);
  }
  // The hand vertex at 0.5 + 0.5 of one bone is that bone's transform, which moved it.
  EXPECT_GT(std::fabs(out[2].x - 0.2f) + std::fabs(out[2].y + 0.01f), 0.05f);

  // Weights 1 and 0 reproduce the first bone exactly as the palette gives it.
  Vector4 p(0.21f, 0.02f, 0.9f, 1.0f), viaPalette;
  TransformVector4(p, skeleton.GetSkinMatrices()[kForearm], viaPalette);
  EXPECT_EQ(out[1].x, viaPalette.x);
  EXPECT_EQ(out[1].y, viaPalette.y);
  EXPECT_EQ(out[1].z, viaPalette.z);

  // Skinning again, with no new pose, gives the same positions (the palette is not built twice).
  Vector4 again[5];
  skinner.Skin(again);
  EXPECT_EQ(std::memcmp(again, out, sizeof(out)), 0);
}

TEST_F(SkinningTest, NoVerticesWriteNothingButStillUpdateTheSkeleton) {
  Posed posed;
  FileImage view(posed.block.data(), posed.block.size(), "biped.geo");
  Skeleton skeleton(view);
  AnimationPose pose(skeleton.GetBoneCount());
  posed.Bind(skeleton, pose);
  const SkinBinding binding = {0, 0, 1.0f, 0.0f};
  const Vertex position = {{1, 2, 3}, 0};
  VertexSkinning2Bone skinner(0, &skeleton, &binding, &position);
  Vector4 sentinel[1] = {Vector4(5, 6, 7, 8)};
  skinner.Skin(sentinel);
  EXPECT_EQ(sentinel[0].x, 5.0f);
  EXPECT_EQ(sentinel[0].w, 8.0f);
  // The palette is built: the upper arm's matrix carries a point as the hand computation does.
  const float point[3] = {0.2f, 0.0f, 1.1f};
  double expected[3];
  posed.Carry(kUpperArm, point, expected);
  Vector4 v(point[0], point[1], point[2], 1.0f);
  TransformVector4(v, skeleton.GetSkinMatrices()[kUpperArm]);
  EXPECT_NEAR(v.x, expected[0], 2e-5);
  EXPECT_NEAR(v.z, expected[2], 2e-5);

  // Without a skeleton there is nothing to skin with.
  VertexSkinning2Bone orphan(1, nullptr, &binding, &position);
  orphan.Skin(sentinel);
  EXPECT_EQ(sentinel[0].x, 5.0f);
  VertexSkinning2Bone missing(3, &skeleton, nullptr, nullptr);
  EXPECT_EQ(missing.GetVertexCount(), 0u);
}

TEST_F(SkinningTest, CopiesAreFreedWithTheSkinner) {
  const char* owner = "VertexSkinning2Bone::VertexSkinning2Bone";
  const uint32_t before = MemoryTracker::CountBlocksOwnedBy(owner);
  {
    Skeleton skeleton;
    std::vector<SkinBinding> bindings(100, SkinBinding{0, 0, 1.0f, 0.0f});
    std::vector<Vertex> positions(100, Vertex{{1, 2, 3}, 4});
    VertexSkinning2Bone skinner(100, &skeleton, bindings.data(), positions.data());
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy(owner), before + 2);
    // A skeleton without bones: nothing to skin with, nothing written.
    std::vector<Vector4> out(100, Vector4(9, 9, 9, 9));
    skinner.Skin(out.data());
    EXPECT_EQ(out[50].x, 9.0f);
  }
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy(owner), before);
}

TEST_F(SkinningTest, PerpendicularBasis) {
  const Vector4 directions[] = {Vector4(0, 0, 5, 0), Vector4(3, 1, -2, 0), Vector4(-1, 4, 0.5f, 0),
                                Vector4(1, 0, 0, 0)};
  for (const Vector4& d : directions) {
    Vector4 u, v;
    MakePerpendicularBasis(d, 0, u, v);
    const float l = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    const Vector4 n(d.x / l, d.y / l, d.z / l, 0);
    EXPECT_NEAR(u.x * n.x + u.y * n.y + u.z * n.z, 0.0f, 1e-6f);
    EXPECT_NEAR(v.x * n.x + v.y * n.y + v.z * n.z, 0.0f, 1e-6f);
    EXPECT_NEAR(u.x * v.x + u.y * v.y + u.z * v.z, 0.0f, 1e-6f);
    EXPECT_NEAR(u.x * u.x + u.y * u.y + u.z * u.z, 1.0f, 1e-5f);
    EXPECT_NEAR(v.x * v.x + v.y * v.y + v.z * v.z, 1.0f, 1e-5f);
    EXPECT_EQ(u.w, 0.0f);
    EXPECT_EQ(v.w, 0.0f);
    // (d, u, v) is right-handed: v = d x u.
    EXPECT_NEAR(n.y * u.z - n.z * u.y, v.x, 1e-5f);
  }
  // Told the direction is unit length already, it is used as it is: v grows with it.
  Vector4 u, v;
  MakePerpendicularBasis(Vector4(0, 0, 2, 0), 1, u, v);
  EXPECT_NEAR(v.x * v.x + v.y * v.y + v.z * v.z, 4.0f, 1e-5f);
}

}  // namespace
