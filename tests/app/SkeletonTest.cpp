// Skeletons on written skeleton blocks: the bind pose against matrices the writer computes on
// its own, bone lookup, poses and overrides, propagation below a changed bone, and blocks that
// must be refused (truncated, counts too large, offsets past the end, links that loop or leave
// the tree).

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCAnimation.h"
#include "Engine/PC/PCSkeleton.h"
#include "tests/support/ContentTestSupport.h"
#include "tests/support/LogCapture.h"
#include "tests/support/AnmWriter.h"
#include "tests/support/SkeletonWriter.h"
#include "tests/support/TempDir.h"

namespace {

using skelwriter::SkeletonDesc;
using skelwriter::SkeletonTables;

Matrix FromFloats(const float* f) {
  Matrix m;
  std::memcpy(m.m, f, sizeof(m.m));
  return m;
}

::testing::AssertionResult Near(const Matrix& a, const Matrix& b, float tolerance = 1e-5f) {
  for (int i = 0; i < 16; ++i)
    if (!(std::fabs(a.m[i] - b.m[i]) <= tolerance))
      return ::testing::AssertionFailure() << "element " << i << ": " << a.m[i] << " vs " << b.m[i];
  return ::testing::AssertionSuccess();
}

using content::Translated;

// A block image that outlives the skeletons built on it.
struct Block {
  std::vector<uint8_t> bytes;
  explicit Block(std::vector<uint8_t> b) : bytes(std::move(b)) {}
  FileImage View() { return FileImage(bytes.data(), bytes.size(), "test.geo"); }
};

using anmwriter::AxisAngle;

Quaternion Q(const float q[4]) { return Quaternion(q[0], q[1], q[2], q[3]); }

uint32_t SkeletonBlocks() {
  return MemoryTracker::CountBlocksOwnedBy("Skeleton::Skeleton") +
         MemoryTracker::CountBlocksOwnedBy("Skeleton::CheckBlock");
}

// The bones' current matrices.
std::vector<Matrix> Snapshot(const Skeleton& s) {
  return std::vector<Matrix>(s.GetBoneMatrices(), s.GetBoneMatrices() + s.GetBoneCount());
}

// Some line of "Debug.log" names the image and says `text`.
bool Logged(const std::string& image, const std::string& text) {
  for (const std::string& line : ReadCrLfLines("Debug.log"))
    if (line.find(image + ": ") != std::string::npos && line.find(text) != std::string::npos)
      return true;
  return false;
}

class SkeletonTest : public TempDirTest {};

TEST_F(SkeletonTest, BindPoseOfAWrittenBlockMatchesTheWritersMatrices) {
  SkeletonDesc desc = skelwriter::MakeBiped();
  // Bind rotations that are not all the identity, so that the order of the products shows.
  AxisAngle(0, 0, 1, 0.7f, desc.bones[2].rotation);
  AxisAngle(1, 0, 0, -0.4f, desc.bones[7].rotation);
  AxisAngle(0, 1, 0, 1.1f, desc.bones[15].rotation);
  Block block(skelwriter::WriteBlock(desc));
  EXPECT_EQ(skelwriter::ReadHeaderWord(block.bytes, skelwriter::kRelocated), 0u);

  Skeleton skeleton(block.View());
  ASSERT_TRUE(skeleton.IsValid());
  ASSERT_EQ(skeleton.GetBoneCount(), desc.bones.size());
  EXPECT_EQ(skelwriter::ReadHeaderWord(block.bytes, skelwriter::kRelocated), 1u);
  // Nothing bound yet: no pose, and an update changes nothing.
  EXPECT_FALSE(skeleton.HasPose());
  skeleton.UpdateHierarchy();
  for (const Matrix& m : Snapshot(skeleton)) EXPECT_TRUE(Near(m, Translated(0, 0, 0)));
  // A skeleton never posed keeps its identity palette: its meshes draw as modelled.
  skeleton.BuildSkinMatrices();
  for (const Matrix& m : Snapshot(skeleton)) EXPECT_TRUE(Near(m, Translated(0, 0, 0)));

  // A pose holding the bind rotations, with the root at the root's bind translation.
  AnimationPose pose(skeleton.GetBoneCount());
  skeleton.CopyBindRotations(pose.GetRotations(), pose.GetBoneCount());
  skeleton.SetPoseWithBindRoot(&pose, 0);
  EXPECT_TRUE(skeleton.HasPose());
  EXPECT_EQ(skeleton.GetRootPosition().z, 1.0f);
  EXPECT_EQ(skeleton.GetRootPosition().w, 1.0f);
  skeleton.UpdateHierarchy();
  const std::vector<float> world = skelwriter::BindWorldMatrices(desc);
  for (uint32_t i = 0; i < skeleton.GetBoneCount(); ++i)
    EXPECT_TRUE(Near(skeleton.GetBoneMatrices()[i], FromFloats(&world[16 * i]))) << "bone " << i;

  // ResetToBindPose binds the same rotations.
  skeleton.ResetToBindPose();
  skeleton.UpdateHierarchy();
  for (uint32_t i = 0; i < skeleton.GetBoneCount(); ++i)
    EXPECT_TRUE(Near(skeleton.GetBoneMatrices()[i], FromFloats(&world[16 * i])));
  Matrix local;
  ASSERT_TRUE(skeleton.GetBindLocalMatrix(15, local));
  Matrix expectedLocal;
  QuaternionToMatrix(Q(desc.bones[15].rotation), expectedLocal);
  expectedLocal.m[14] = desc.bones[15].translation[2];
  EXPECT_TRUE(Near(local, expectedLocal));

  // In the bind pose every skinning matrix is the identity; building the palette a second time
  // without a new update must not apply the inverse bind again.
  for (int build = 0; build < 2; ++build) {
    skeleton.BuildSkinMatrices();
    for (uint32_t i = 0; i < skeleton.GetBoneCount(); ++i)
      EXPECT_TRUE(Near(skeleton.GetSkinMatrices()[i], Translated(0, 0, 0))) << build << " " << i;
  }
}

TEST_F(SkeletonTest, FindsBonesByTheirExactNames) {
  Block block(skelwriter::WriteBlock(skelwriter::MakeBiped()));
  Skeleton skeleton(block.View());
  const SkeletonDesc desc = skelwriter::MakeBiped();
  for (const char* name :
       {"Bip01 Pelvis", "Bip01 L Hand", "Bip01 R Hand", "Bip01 L Foot", "Head_bone"}) {
    const int32_t bone = skeleton.FindBone(name);
    ASSERT_GE(bone, 0) << name;
    EXPECT_EQ(desc.bones[bone].name, name);
    EXPECT_STREQ(skeleton.GetBoneName(bone), name);
  }
  for (const char* near :
       {"bip01 l hand", "Bip01 L Han", "Bip01 L Hand ", "", static_cast<const char*>(nullptr)})
    EXPECT_EQ(skeleton.FindBone(near), -1) << (near ? near : "null");

  const int32_t hand = skeleton.FindBone("Bip01 L Hand");
  EXPECT_EQ(skeleton.GetParent(hand), skeleton.FindBone("Bip01 L Forearm"));
  EXPECT_EQ(skeleton.GetParent(skeleton.FindBone("Bip01 Pelvis")), 0);
  // The root's entry holds 0xFFFFFFFF; neither it nor a missing bone has a parent.
  for (int32_t bone : {0, -1, 1000}) EXPECT_EQ(skeleton.GetParent(bone), -1) << bone;

  Skeleton empty;
  EXPECT_EQ(empty.FindBone("Head_bone"), -1);
  EXPECT_EQ(empty.GetBoneName(0), nullptr);
}

TEST_F(SkeletonTest, BoneMatricesWithAttachmentsAndTheCharactersWorld) {
  SkeletonDesc desc = skelwriter::MakeBiped();
  const int32_t handIndex = 9;
  ASSERT_EQ(desc.bones[handIndex].name, "Bip01 L Hand");
  // A prop held 0.1 below the hand.
  desc.bones[handIndex].attachment[14] = -0.1f;
  Block block(skelwriter::WriteBlock(desc));
  Skeleton skeleton(block.View());
  skeleton.ResetToBindPose();
  skeleton.SetRootPosition(Vector4(0, 0, 1, 0));
  skeleton.UpdateHierarchy();

  // The hand's bind position: the translations up its chain (all bind rotations are identity).
  float x = 0, y = 0, z = 0;
  for (int32_t b = handIndex; b >= 0; b = desc.bones[b].parent) {
    x += desc.bones[b].translation[0];
    y += desc.bones[b].translation[1];
    z += desc.bones[b].translation[2];
  }
  const int32_t hand = skeleton.FindBone("Bip01 L Hand");
  Matrix m;
  ASSERT_TRUE(skeleton.GetBoneMatrix(hand, m));
  EXPECT_TRUE(Near(m, Translated(x, y, z - 0.1f)));
  Matrix world;
  world.RotationZ(kHalfPi);
  world.m[12] = 10.0f;
  ASSERT_TRUE(skeleton.GetBoneWorldMatrix(hand, world, m));
  // (x, y, z - 0.1) turned a quarter about z is (-y, x, ...), then moved 10 along x.
  EXPECT_NEAR(m.m[12], 10.0f - y, 1e-5f);
  EXPECT_NEAR(m.m[13], x, 1e-5f);
  EXPECT_NEAR(m.m[14], z - 0.1f, 1e-5f);
  Matrix attachment;
  ASSERT_TRUE(skeleton.GetAttachmentMatrix(hand, attachment));
  EXPECT_EQ(attachment.m[14], -0.1f);

  // FindBone's -1 (a bone the model lacks) reaching the getters: identity, or the character's
  // own world matrix, and no crash.
  const int32_t missing = skeleton.FindBone("Bip01 Tail");
  EXPECT_FALSE(skeleton.GetBoneMatrix(missing, m));
  EXPECT_TRUE(Near(m, Translated(0, 0, 0)));
  EXPECT_FALSE(skeleton.GetBoneWorldMatrix(missing, world, m));
  EXPECT_TRUE(Near(m, world));
  EXPECT_FALSE(skeleton.GetAttachmentMatrix(missing, m));
  EXPECT_FALSE(skeleton.GetBindLocalMatrix(missing, m));
  EXPECT_EQ(skeleton.GetBoneRotation(missing), nullptr);
  skeleton.SetBoneWorldMatrix(missing, world);
  skeleton.SetBoneLocalMatrix(world, missing);
  skeleton.PropagateFromBone(missing);
  skeleton.SetOverrideRotation(missing, Quaternion(0, 0, 0, 1));
  skeleton.SetSubtreeRotationSource(missing, nullptr, 0);
}

TEST_F(SkeletonTest, PosesDriveTheHierarchy) {
  SkeletonDesc desc = skelwriter::MakeBiped();
  Block block(skelwriter::WriteBlock(desc));
  Skeleton skeleton(block.View());
  const int32_t thigh = skeleton.FindBone("Bip01 L Thigh");
  const int32_t foot = skeleton.FindBone("Bip01 L Foot");
  const int32_t rightFoot = skeleton.FindBone("Bip01 R Foot");

  // The thigh turned a quarter about +x: the leg (0.9 long, pointing down) now points along +y
  // from the hip.
  AnimationPose pose(skeleton.GetBoneCount());
  skeleton.CopyBindRotations(pose.GetRotations(), pose.GetBoneCount());
  float q[4];
  AxisAngle(1, 0, 0, kHalfPi, q);
  pose.GetRotations()[thigh] = Q(q);
  // The root key's w is not carried into the root position.
  pose.SetRootKey(Vector4(2.0f, 0.0f, 1.0f, 0.0f));
  skeleton.ApplyPose(&pose);
  EXPECT_EQ(skeleton.GetRootPosition().w, 1.0f);
  EXPECT_EQ(pose.GetRootKey()->w, 0.0f);
  skeleton.UpdateHierarchy();
  Matrix m;
  skeleton.GetBoneMatrix(foot, m);
  // Hip at (2 + 0.1, 0, 1 - 0.05); rotating (0, 0, -0.9) a quarter about x gives (0, 0.9, 0).
  EXPECT_NEAR(m.m[12], 2.1f, 1e-5f);
  EXPECT_NEAR(m.m[13], 0.9f, 1e-5f);
  EXPECT_NEAR(m.m[14], 0.95f, 1e-5f);
  skeleton.GetBoneMatrix(rightFoot, m);
  EXPECT_NEAR(m.m[12], 1.9f, 1e-5f);
  EXPECT_NEAR(m.m[13], 0.0f, 1e-5f);
  EXPECT_NEAR(m.m[14], 0.05f, 1e-5f);

  // An override wins over the pose until cleared.
  skeleton.SetOverrideRotation(thigh, Quaternion(0, 0, 0, 1));
  EXPECT_EQ(skeleton.GetBoneRotation(thigh)->x, 0.0f);
  skeleton.UpdateHierarchy();
  skeleton.GetBoneMatrix(foot, m);
  EXPECT_NEAR(m.m[13], 0.0f, 1e-5f);
  EXPECT_NEAR(m.m[14], 0.05f, 1e-5f);
  skeleton.ClearOverrideRotation(thigh);
  EXPECT_EQ(skeleton.GetBoneRotation(thigh), &pose.GetRotations()[thigh]);

  // A subtree bound to another pose: the thigh and everything below it, not the other leg.
  AnimationPose other(skeleton.GetBoneCount());
  skeleton.SetSubtreeRotationSource(thigh, other.GetRotations(), other.GetBoneCount());
  for (const char* name : {"Bip01 L Thigh", "Bip01 L Calf", "Bip01 L Foot", "Bip01 L Toe0"})
    EXPECT_EQ(skeleton.GetBoneRotation(skeleton.FindBone(name)),
              &other.GetRotations()[skeleton.FindBone(name)])
        << name;
  for (const char* name : {"Bip01 R Thigh", "Bip01 Pelvis", "Bip01 L Hand"})
    EXPECT_EQ(skeleton.GetBoneRotation(skeleton.FindBone(name)),
              &pose.GetRotations()[skeleton.FindBone(name)])
        << name;
  // Bone 0 as the subtree changes nothing.
  skeleton.SetSubtreeRotationSource(0, other.GetRotations(), other.GetBoneCount());
  EXPECT_EQ(skeleton.GetBoneRotation(0), &pose.GetRotations()[0]);
}

TEST_F(SkeletonTest, BonesWithoutARotationOfTheirOwnHoldTheirBindRotation) {
  SkeletonDesc desc = skelwriter::MakeBiped();
  for (auto& bone : desc.bones) AxisAngle(0, 0, 1, 0.3f, bone.rotation);
  Block block(skelwriter::WriteBlock(desc));
  const std::vector<float> world = skelwriter::BindWorldMatrices(desc);

  // A pose of 6 bones for a skeleton of 24: the pose drives its 6, the rest keep the bind
  // pose (and nothing reads past the pose's array).
  {
    Skeleton skeleton(block.View());
    AnimationPose small(6);
    skeleton.CopyBindRotations(small.GetRotations(), small.GetBoneCount());
    small.SetRootKey(Vector4(0, 0, 1, 1));
    skeleton.ApplyPose(&small);
    for (uint32_t i = 6; i < skeleton.GetBoneCount(); ++i) {
      ASSERT_NE(skeleton.GetBoneRotation(i), nullptr);
      EXPECT_EQ(skeleton.GetBoneRotation(i)->z, Q(desc.bones[i].rotation).z);
    }
    skeleton.UpdateHierarchy();
    for (uint32_t i = 0; i < skeleton.GetBoneCount(); ++i)
      EXPECT_TRUE(Near(skeleton.GetBoneMatrices()[i], FromFloats(&world[16 * i]))) << i;
  }
  // Only the root overridden, nothing else bound: the others hold their bind rotations.
  {
    Skeleton skeleton(block.View());
    skeleton.SetOverrideRotation(0, Q(desc.bones[0].rotation));
    skeleton.SetRootPosition(Vector4(0, 0, 1, 1));
    EXPECT_TRUE(skeleton.HasPose());
    EXPECT_EQ(skeleton.GetBoneRotation(3), nullptr);
    skeleton.UpdateHierarchy();
    for (uint32_t i = 0; i < skeleton.GetBoneCount(); ++i)
      EXPECT_TRUE(Near(skeleton.GetBoneMatrices()[i], FromFloats(&world[16 * i]))) << i;
  }
  // An empty pose binds every bone to the bind pose.
  {
    Skeleton skeleton(block.View());
    AnimationPose empty(0);
    skeleton.ApplyPose(&empty);
    EXPECT_TRUE(skeleton.HasPose());
    skeleton.ApplyPose(nullptr);
    skeleton.SetPoseWithBindRoot(nullptr, 0);
  }
}

TEST_F(SkeletonTest, TwoSkeletonsShareOneBlockButNotTheirMatrices) {
  Block block(skelwriter::WriteBlock(skelwriter::MakeBiped()));
  Skeleton a(block.View());
  Skeleton b(block.View());
  ASSERT_TRUE(a.IsValid());
  ASSERT_TRUE(b.IsValid());
  EXPECT_EQ(skelwriter::ReadHeaderWord(block.bytes, skelwriter::kRelocated), 1u);
  EXPECT_STREQ(b.GetBoneName(b.FindBone("Head_bone")), "Head_bone");
  a.ResetToBindPose();
  a.SetRootPosition(Vector4(5, 0, 0, 1));
  a.UpdateHierarchy();
  EXPECT_FALSE(b.HasPose());
  EXPECT_TRUE(Near(b.GetBoneMatrices()[0], Translated(0, 0, 0)));
  EXPECT_TRUE(Near(a.GetBoneMatrices()[0], Translated(5, 0, 0)));
}

// 70 bones, all children of the root, and a chain of 70: a change at a bone reaches every bone
// below it, including those from 64 on (the set of changed bones is not a 64-bit word).
TEST_F(SkeletonTest, ChangesReachEveryBoneBelowAChangedBone) {
  for (bool chain : {false, true}) {
    SCOPED_TRACE(chain ? "chain" : "flat");
    SkeletonDesc desc;
    desc.Add("root", -1, 0, 0, 0);
    for (int i = 1; i < 70; ++i)
      desc.Add("b" + std::to_string(i), chain ? i - 1 : 0, 0.0f, 0.0f, chain ? 0.125f : float(i));
    Block block(skelwriter::WriteBlock(desc));
    Skeleton skeleton(block.View());
    ASSERT_TRUE(skeleton.IsValid());
    skeleton.ResetToBindPose();
    skeleton.UpdateHierarchy();
    const std::vector<Matrix> before = Snapshot(skeleton);

    skeleton.SetBoneWorldMatrix(0, Translated(3, 4, 5));
    for (uint32_t i = 0; i < 70; ++i) {
      Matrix expected = before[i];
      expected.m[12] += 3;
      expected.m[13] += 4;
      expected.m[14] += 5;
      EXPECT_TRUE(Near(skeleton.GetBoneMatrices()[i], expected)) << "bone " << i;
    }
    // From bone 65 down: in the chain, 66 to 69 follow and 64 stays; in the flat tree, only
    // 65 itself changes.
    const std::vector<Matrix> moved = Snapshot(skeleton);
    Matrix lifted = moved[65];
    lifted.m[14] += 1.0f;
    skeleton.SetBoneWorldMatrix(65, lifted);
    for (uint32_t i = 0; i < 70; ++i) {
      Matrix expected = moved[i];
      if (i == 65 || (chain && i > 65)) expected.m[14] += 1.0f;
      EXPECT_TRUE(Near(skeleton.GetBoneMatrices()[i], expected)) << "bone " << i;
    }
    // A local matrix is taken relative to the parent's current matrix.
    skeleton.SetBoneLocalMatrix(Translated(0, 0, 0.5f), 69);
    Matrix expected = skeleton.GetBoneMatrices()[chain ? 68 : 0];
    expected.m[14] += 0.5f;
    EXPECT_TRUE(Near(skeleton.GetBoneMatrices()[69], expected));
  }
}

TEST_F(SkeletonTest, SkeletonsOfOneBoneOrNone) {
  SkeletonDesc one;
  one.Add("only", -1, 1, 2, 3);
  Block oneBlock(skelwriter::WriteBlock(one));
  Skeleton single(oneBlock.View());
  ASSERT_TRUE(single.IsValid());
  single.ResetToBindPose();
  single.SetRootPosition(Vector4(7, 8, 9, 0));
  single.UpdateHierarchy();
  EXPECT_TRUE(Near(single.GetBoneMatrices()[0], Translated(7, 8, 9)));
  single.PropagateFromBone(0);
  single.BuildSkinMatrices();
  // Inverse bind of the bind position (1, 2, 3), times the current (7, 8, 9).
  EXPECT_TRUE(Near(single.GetSkinMatrices()[0], Translated(6, 6, 6)));
  EXPECT_EQ(single.FindBone("only"), 0);

  Block noneBlock(skelwriter::WriteBlock(SkeletonDesc()));
  Skeleton none(noneBlock.View());
  EXPECT_TRUE(none.IsValid());
  EXPECT_EQ(none.GetBoneCount(), 0u);
  EXPECT_EQ(none.GetSkinMatrices(), nullptr);
  EXPECT_FALSE(none.HasPose());
  none.ResetToBindPose();
  none.UpdateHierarchy();
  none.BuildSkinMatrices();
  none.PropagateFromBone(0);
  AnimationPose pose(4);
  none.ApplyPose(&pose);
  none.SetPoseWithBindRoot(&pose, 0);
  EXPECT_EQ(none.FindBone("only"), -1);
  Matrix m;
  EXPECT_FALSE(none.GetBoneMatrix(0, m));
}

// ---- Refused blocks.

struct Corruption {
  const char* what;
  const char* logText;
  std::function<void(SkeletonTables&)> tables;
  std::function<void(std::vector<uint8_t>&)> bytes;
};

TEST_F(SkeletonTest, BrokenBlocksAreRefusedWithALogLine) {
  const SkeletonTables good = skelwriter::Tables(skelwriter::MakeBiped());
  const std::vector<uint8_t> goodBytes = skelwriter::WriteBlock(good);
  const uint32_t nameTable = skelwriter::ReadHeaderWord(goodBytes, skelwriter::kNames);
  const uint32_t size = uint32_t(goodBytes.size());
  auto word = [](uint32_t w, uint32_t v) {
    return [w, v](std::vector<uint8_t>& b) { skelwriter::WriteHeaderWord(b, w, v); };
  };

  const std::vector<Corruption> cases = {
      {"bone count too large", "bone parents", nullptr, word(skelwriter::kBoneCount, 100000)},
      {"bone count near 2^32", "bone parents", nullptr,
       word(skelwriter::kBoneCount, 0xFFFFFFF0u)},
      {"parents past the end", "bone parents", nullptr, word(skelwriter::kParents, size - 8)},
      {"children past the end", "bone first children", nullptr,
       word(skelwriter::kFirstChildren, size)},
      {"siblings far past the end", "bone next siblings", nullptr,
       word(skelwriter::kNextSiblings, 0xFFFFFFFCu)},
      {"inverse binds past the end", "inverse bind matrices", nullptr,
       word(skelwriter::kInverseBinds, size - 64)},
      {"attachments misaligned", "attachment matrices", nullptr,
       word(skelwriter::kAttachments, 2)},
      {"translations past the end", "bind translations", nullptr,
       word(skelwriter::kTranslations, size + 16)},
      {"rotations past the end", "bind rotations", nullptr, word(skelwriter::kRotations, size)},
      {"name table past the end", "bone names", nullptr, word(skelwriter::kNames, size)},
      {"a name offset past the end", "bone name", nullptr,
       [&](std::vector<uint8_t>& b) {
         uint32_t far = size + 100;
         std::memcpy(&b[nameTable + 4 * 3], &far, 4);
       }},
      {"the last name not terminated", "bone name", nullptr,
       [&](std::vector<uint8_t>& b) {
         uint32_t last;
         std::memcpy(&last, &b[nameTable + 4 * 23], 4);
         b.resize(last + 3);
       }},
      {"parent out of range", "not an earlier bone", [](SkeletonTables& t) { t.parents[7] = 99; },
       nullptr},
      {"parent after its child", "not an earlier bone",
       [](SkeletonTables& t) { t.parents[2] = 5; }, nullptr},
      {"a bone its own parent", "not an earlier bone",
       [](SkeletonTables& t) { t.parents[4] = 4; }, nullptr},
      {"first child out of range", "first child",
       [](SkeletonTables& t) { t.firstChildren[3] = 1000; }, nullptr},
      {"first child that is not a child", "first child",
       [](SkeletonTables& t) { t.firstChildren[3] = 9; }, nullptr},
      {"sibling under another parent", "next sibling",
       [](SkeletonTables& t) { t.nextSiblings[7] = 3; }, nullptr},
      {"sibling out of range", "next sibling",
       [](SkeletonTables& t) { t.nextSiblings[20] = 0x80000000u; }, nullptr},
      {"siblings that loop", "reached twice",
       [](SkeletonTables& t) {
         // Clavicles 6 and 10 are siblings under the neck; point the second back at the first.
         ASSERT_EQ(t.nextSiblings[6], 10u);
         t.nextSiblings[10] = 6;
       },
       nullptr},
      {"a bone its own sibling", "reached twice",
       [](SkeletonTables& t) { t.nextSiblings[15] = 15; }, nullptr},
      {"parents over the header (the relocated word becomes bone 1's parent)",
       "overlap the skeleton header",
       [](SkeletonTables& t) {
         SkeletonDesc pair;
         pair.Add("root", -1, 0.0f, 0.0f, 0.0f);
         pair.Add("tip", 0, 0.0f, 0.0f, 1.0f);
         t = skelwriter::Tables(pair);
       },
       word(skelwriter::kParents, 0)},
      {"a bone no link reaches", "not reached",
       [](SkeletonTables& t) {
         // The right clavicle's arm drops out of the neck's list of children.
         t.nextSiblings[6] = 0;
       },
       nullptr},
  };

  const uint32_t blocksBefore = SkeletonBlocks();
  int index = 0;
  for (const Corruption& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = "broken" + std::to_string(index++) + ".geo";
    SkeletonTables tables = good;
    if (c.tables) c.tables(tables);
    std::vector<uint8_t> bytes = skelwriter::WriteBlock(tables);
    if (c.bytes) c.bytes(bytes);
    FileImage view(bytes.data(), bytes.size(), name.c_str());
    EXPECT_FALSE(Skeleton::CheckBlock(view));
    EXPECT_TRUE(Logged(name, c.logText));
    Skeleton skeleton(view);
    EXPECT_FALSE(skeleton.IsValid());
    EXPECT_TRUE(Logged(name, "skeleton block refused"));
    // Refused: not marked, no bones, and everything a user may still call is harmless.
    EXPECT_EQ(skelwriter::ReadHeaderWord(bytes, skelwriter::kRelocated), 0u);
    EXPECT_EQ(skeleton.GetBoneCount(), 0u);
    EXPECT_EQ(skeleton.FindBone("Head_bone"), -1);
    skeleton.ResetToBindPose();
    skeleton.UpdateHierarchy();
    skeleton.BuildSkinMatrices();
    EXPECT_EQ(SkeletonBlocks(), blocksBefore);
  }

  // Every truncation of the block short of its last name's terminator is refused as well.
  uint32_t lastName;
  std::memcpy(&lastName, &goodBytes[nameTable + 4 * 23], 4);
  const size_t end = lastName + good.names[23].size() + 1;
  ASSERT_LE(end, goodBytes.size());
  for (size_t length = 0; length < end; length += (length < 200 ? 1 : 7)) {
    std::vector<uint8_t> cut(goodBytes.begin(), goodBytes.begin() + long(length));
    FileImage view(cut.data(), cut.size(), "cut.geo");
    EXPECT_FALSE(Skeleton::CheckBlock(view)) << length;
  }
  std::vector<uint8_t> whole(goodBytes.begin(), goodBytes.begin() + long(end));
  EXPECT_TRUE(Skeleton::CheckBlock(FileImage(whole.data(), whole.size(), "whole.geo")));
  EXPECT_EQ(SkeletonBlocks(), blocksBefore);

  // The image stays writable under a skeleton: parents changed into a loop after the checks
  // stop the walks below a changed bone instead of sending them round for ever.
  {
    Skeleton skeleton(FileImage(whole.data(), whole.size(), "changed.geo"));
    const uint32_t parents = skelwriter::ReadHeaderWord(whole, skelwriter::kParents);
    const uint32_t loop = 2;
    std::memcpy(&whole[parents + 4 * loop], &loop, 4);
    skeleton.SetBoneWorldMatrix(0, Translated(1.0f, 2.0f, 3.0f));
    EXPECT_TRUE(Logged("changed.geo", "loop"));
  }
}

}  // namespace
