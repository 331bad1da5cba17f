// Animations on written ".anm" images: sampling at and between key times against rotations
// computed in closed form, the root path, poses and blends, the factory's sharing and ids, and
// files that must be refused (truncated, counts too large, offsets past the end).

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCAnimFactory.h"
#include "Engine/PC/PCAnimation.h"
#include "Engine/PC/PCApp.h"
#include "tests/support/AnmWriter.h"
#include "tests/support/AppHarness.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

using anmwriter::AnimDesc;
using anmwriter::Key;
using anmwriter::KeyList;
using anmwriter::RootKey;
using anmwriter::Segment;

Quaternion AboutZ(float angle) {
  return Quaternion(0.0f, 0.0f, std::sin(angle / 2), std::cos(angle / 2));
}

// Same rotation (q and -q are one rotation).
::testing::AssertionResult SameRotation(const Quaternion& a, const Quaternion& b,
                                        float tolerance = 2e-4f) {
  const float d = std::fabs(a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w);
  const float na = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z + a.w * a.w);
  const float nb = std::sqrt(b.x * b.x + b.y * b.y + b.z * b.z + b.w * b.w);
  if (std::fabs(d / (na * nb) - 1.0f) <= tolerance && std::fabs(na - 1.0f) < 1e-3f)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ", " << a.w
                                       << ") vs (" << b.x << ", " << b.y << ", " << b.z << ", "
                                       << b.w << ")";
}

Key MakeKey(int16_t bone, const Quaternion& from, const Quaternion& to, int32_t startTick,
            int32_t duration) {
  const float f[4] = {from.x, from.y, from.z, from.w};
  const float t[4] = {to.x, to.y, to.z, to.w};
  return anmwriter::MakeKey(bone, f, t, startTick, duration);
}

constexpr float kA = 0.8f;  // radians

// Two bones over two segments of half a second each:
// bone 0 turns about z from 0 to kA in the first and from kA to 2 kA in the second;
// bone 1 turns from 0 to -kA in the first, its end written as the negated quaternion so that
// only the sign flip keeps the slerp on the short arc.
AnimDesc TwoBones() {
  AnimDesc d;
  d.trackCount = 2;
  d.startTime = 0.0f;
  d.endTime = 1.0f;
  Segment s0;
  s0.endTime = 0.5f;
  KeyList l0;
  l0.keys.push_back(MakeKey(0, AboutZ(0), AboutZ(kA), 0, 240));
  const Quaternion back = AboutZ(-kA);
  l0.keys.push_back(MakeKey(1, AboutZ(0), Quaternion(-back.x, -back.y, -back.z, -back.w), 0, 240));
  s0.lists.push_back(l0);
  Segment s1;
  s1.endTime = 1.0f;
  KeyList l1;
  l1.keys.push_back(MakeKey(0, AboutZ(kA), AboutZ(2 * kA), 240, 240));
  s1.lists.push_back(l1);
  d.segments = {s0, s1};
  d.rootKeys = {RootKey{0, 0, 0, 0.0f}, RootKey{1, 2, 3, 0.5f}, RootKey{3, 2, 1, 1.0f}};
  return d;
}

struct Image {
  std::vector<uint8_t> bytes;
  explicit Image(std::vector<uint8_t> b) : bytes(std::move(b)) {}
  uint32_t Word(size_t at) const {
    uint32_t v;
    std::memcpy(&v, &bytes[at], 4);
    return v;
  }
  void SetWord(size_t at, uint32_t v) { std::memcpy(&bytes[at], &v, 4); }
  void SetFloat(size_t at, float f) { std::memcpy(&bytes[at], &f, 4); }
};

// Some line of "Debug.log" names the image and says `text`.
bool Logged(const std::string& image, const std::string& text) {
  for (const std::string& line : ReadCrLfLines("Debug.log"))
    if (line.find(image) != std::string::npos && line.find(text) != std::string::npos) return true;
  return false;
}

size_t LogLines() { return ReadCrLfLines("Debug.log").size(); }

class AnimationTest : public TempDirTest {};

TEST_F(AnimationTest, SamplesAtKeyTimesAndBetweenThem) {
  Image image(anmwriter::Write(TwoBones()));
  Animation anim(image.bytes.data(), image.bytes.size(), "two.anm");
  ASSERT_TRUE(anim.IsValid());
  EXPECT_EQ(anim.GetNumTracks(), 2u);
  EXPECT_EQ(anim.GetStartTime(), 0.0f);
  EXPECT_EQ(anim.GetEndTime(), 1.0f);
  EXPECT_EQ(anim.GetLength(), 1.0f);
  EXPECT_EQ(anim.GetSegmentCount(), 2u);

  AnimationPose pose(2);
  struct Expect {
    float time, bone0, bone1;
  };
  // Bone 1 only has keys in the first segment; after it, it keeps what it was last given.
  for (const Expect& e : {Expect{0.0f, 0.0f, 0.0f}, Expect{0.125f, kA / 4, -kA / 4},
                          Expect{0.25f, kA / 2, -kA / 2}, Expect{0.5f, kA, -kA},
                          Expect{0.625f, 1.25f * kA, -kA}, Expect{1.0f, 2 * kA, -kA}}) {
    SCOPED_TRACE(e.time);
    anim.Sample(e.time, &pose);
    EXPECT_TRUE(SameRotation(pose.GetRotations()[0], AboutZ(e.bone0)));
    EXPECT_TRUE(SameRotation(pose.GetRotations()[1], AboutZ(e.bone1)));
  }

  // At the end of a key's window the rotation is its end rotation as stored (dequantised by
  // 1/32767).
  anim.Sample(0.5f, &pose);
  const float scale = 1.0f / 32767.0f;
  EXPECT_NEAR(pose.GetRotations()[0].z, anmwriter::Quantise(std::sin(kA / 2)) * scale, 1e-6f);
  EXPECT_NEAR(pose.GetRotations()[0].w, anmwriter::Quantise(std::cos(kA / 2)) * scale, 1e-6f);

  // Past the last segment: the root moves on, the rotations stay as they were.
  anim.Sample(0.25f, &pose);
  const Quaternion held0 = pose.GetRotations()[0];
  const Quaternion held1 = pose.GetRotations()[1];
  anim.Sample(1.5f, &pose);
  EXPECT_EQ(std::memcmp(&pose.GetRotations()[0], &held0, sizeof(held0)), 0);
  EXPECT_EQ(std::memcmp(&pose.GetRotations()[1], &held1, sizeof(held1)), 0);
  EXPECT_EQ(pose.GetRootKey()->x, 3.0f);
  EXPECT_EQ(pose.GetRootKey()->w, 1.0f);

  // Before the start: the first segment's keys extrapolate backwards.
  anim.Sample(-0.125f, &pose);
  EXPECT_TRUE(SameRotation(pose.GetRotations()[0], AboutZ(-kA / 4)));
}

TEST_F(AnimationTest, KeysOutsideTheirWindowOrThePoseOrWithoutDuration) {
  AnimDesc d;
  d.trackCount = 3;
  d.endTime = 1.0f;
  Segment s;
  s.endTime = 1.0f;
  KeyList list;
  // Bone 0: its key covers the first quarter second only; later times extrapolate.
  list.keys.push_back(MakeKey(0, AboutZ(0), AboutZ(0.3f), 0, 120));
  // Bone 1: a step at tick 240 (half a second), a key without duration.
  list.keys.push_back(MakeKey(1, AboutZ(0.1f), AboutZ(0.5f), 240, 0));
  // Bones the pose does not have, on either side; then bone 2 twice, the later key winning.
  list.keys.push_back(MakeKey(7, AboutZ(1), AboutZ(1), 0, 100));
  list.keys.push_back(MakeKey(-1, AboutZ(1), AboutZ(1), 0, 100));
  list.keys.push_back(MakeKey(2, AboutZ(0.2f), AboutZ(0.2f), 0, 480));
  s.lists.push_back(list);
  KeyList later;
  later.keys.push_back(MakeKey(2, AboutZ(0.7f), AboutZ(0.7f), 0, 480));
  s.lists.push_back(later);
  d.segments = {s};
  d.rootKeys = {RootKey{0, 0, 0, 0}, RootKey{0, 0, 0, 1}};
  Image image(anmwriter::Write(d));
  Animation anim(image.bytes.data(), image.bytes.size(), "keys.anm");
  ASSERT_TRUE(anim.IsValid());

  AnimationPose pose(3);
  anim.Sample(0.5f, &pose);
  EXPECT_TRUE(SameRotation(pose.GetRotations()[0], AboutZ(0.6f)));  // f = 2
  EXPECT_TRUE(SameRotation(pose.GetRotations()[1], AboutZ(0.5f)));  // at its tick
  EXPECT_TRUE(SameRotation(pose.GetRotations()[2], AboutZ(0.7f)));  // the later key
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::isfinite(pose.GetRotations()[i].w));
  anim.Sample(0.75f, &pose);
  EXPECT_TRUE(SameRotation(pose.GetRotations()[1], AboutZ(0.5f)));  // past it
  anim.Sample(0.25f, &pose);
  EXPECT_TRUE(SameRotation(pose.GetRotations()[1], AboutZ(0.1f)));  // before it
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::isfinite(pose.GetRotations()[i].w));

  // A pose smaller than the animation: keys beyond it are passed over.
  AnimationPose small(1);
  anim.Sample(0.125f, &small);
  EXPECT_TRUE(SameRotation(small.GetRotations()[0], AboutZ(0.15f)));
  AnimationPose empty(0);
  anim.Sample(0.125f, &empty);
  EXPECT_EQ(empty.GetRootKey()->w, 1.0f);
  anim.Sample(0.125f, nullptr);
}

TEST_F(AnimationTest, TheRootPath) {
  AnimDesc d = TwoBones();
  // The track block claims 0.3 to 0.6; the root path runs from 0.1 to 1.0.
  d.startTime = 0.3f;
  d.endTime = 0.6f;
  d.rootKeys = {RootKey{0, 0, 0, 0.1f}, RootKey{1, 2, 3, 0.5f}, RootKey{3, 2, 1, 1.0f}};
  Image image(anmwriter::Write(d));
  Animation anim(image.bytes.data(), image.bytes.size(), "root.anm");
  ASSERT_TRUE(anim.IsValid());
  EXPECT_EQ(anim.GetTrackStartTime(), 0.3f);
  EXPECT_EQ(anim.GetStartTime(), 0.1f);
  EXPECT_EQ(anim.GetEndTime(), 1.0f);
  EXPECT_FLOAT_EQ(anim.GetLength(), 0.9f);

  // Held before the first key and after the last, straight lines between them, w always 1.
  const float at[][4] = {{-5.0f, 0, 0, 0}, {0.3f, 0.5f, 1, 1.5f}, {0.5f, 1, 2, 3},
                         {0.875f, 2.5f, 2, 1.5f}, {7.0f, 3, 2, 1}};
  Vector4 v;
  for (const auto& a : at) {
    anim.GetRootKeyAt(a[0], v);
    EXPECT_FLOAT_EQ(v.x, a[1]) << a[0];
    EXPECT_FLOAT_EQ(v.y, a[2]) << a[0];
    EXPECT_FLOAT_EQ(v.z, a[3]) << a[0];
    EXPECT_EQ(v.w, 1.0f) << a[0];
  }
  anim.GetFirstRootKey(v);
  EXPECT_EQ(v.w, 0.1f);  // the key's time
  anim.GetLastRootKey(v);
  EXPECT_EQ(v.x, 3.0f);
  EXPECT_EQ(v.w, 1.0f);
  // What a game moves a character by after a loop.
  Vector4 start, end;
  anim.GetStartRootPosition(start);
  anim.GetEndRootPosition(end);
  EXPECT_EQ(start.x, 0.0f);
  EXPECT_EQ(start.w, 1.0f);
  EXPECT_EQ(end.x - start.x, 3.0f);
  EXPECT_EQ(end.y - start.y, 2.0f);
  EXPECT_EQ(end.w, 1.0f);

  AnimationPose pose(2);
  anim.Sample(0.3f, &pose);
  EXPECT_FLOAT_EQ(anim.GetCurrentRootKey().z, 1.5f);
  EXPECT_FLOAT_EQ(pose.GetRootKey()->z, 1.5f);
  EXPECT_EQ(pose.GetRootKey()->w, 1.0f);
}

TEST_F(AnimationTest, RootTablesOfOneKeyOrNone) {
  for (size_t keys : {size_t(1), size_t(0)}) {
    SCOPED_TRACE(keys);
    AnimDesc d = TwoBones();
    d.rootKeys.resize(keys);
    if (keys) d.rootKeys[0] = RootKey{4, 5, 6, 0.0f};
    Image image(anmwriter::Write(d));
    Animation anim(image.bytes.data(), image.bytes.size(), "few.anm");
    ASSERT_TRUE(anim.IsValid());
    const size_t before = LogLines();
    AnimationPose pose(2);
    anim.Sample(0.25f, &pose);
    EXPECT_EQ(LogLines(), before + 1);
    EXPECT_TRUE(DebugLogContains("Animation Dosn't have enough keyframes, ask Dace to re-export"));
    EXPECT_EQ(pose.GetRootKey()->x, keys ? 4.0f : 0.0f);
    EXPECT_EQ(pose.GetRootKey()->w, 1.0f);
    // The bones are sampled all the same.
    EXPECT_TRUE(SameRotation(pose.GetRotations()[0], AboutZ(kA / 2)));
    Vector4 v;
    anim.GetFirstRootKey(v);
    EXPECT_EQ(v.x, keys ? 4.0f : 0.0f);
    anim.GetEndRootPosition(v);
    EXPECT_EQ(v.w, 1.0f);
  }
}

TEST_F(AnimationTest, AZeroLengthClipIsOneStillPose) {
  AnimDesc d;
  d.trackCount = 1;
  Segment s;
  s.endTime = 0.0f;
  KeyList list;
  list.keys.push_back(MakeKey(0, AboutZ(0.4f), AboutZ(0.4f), 0, 0));
  s.lists.push_back(list);
  d.segments = {s};
  d.rootKeys = {RootKey{1, 1, 1, 0.0f}, RootKey{1, 1, 1, 0.0f}};
  Image image(anmwriter::Write(d));
  Animation anim(image.bytes.data(), image.bytes.size(), "still.anm");
  ASSERT_TRUE(anim.IsValid());
  EXPECT_EQ(anim.GetLength(), 0.0f);
  AnimationPose pose(1);
  anim.Sample(0.0f, &pose);
  EXPECT_TRUE(SameRotation(pose.GetRotations()[0], AboutZ(0.4f)));
  EXPECT_EQ(pose.GetRootKey()->x, 1.0f);
  // A clip without segments moves only the root.
  d.segments.clear();
  Image bare(anmwriter::Write(d));
  Animation rootOnly(bare.bytes.data(), bare.bytes.size(), "bare.anm");
  ASSERT_TRUE(rootOnly.IsValid());
  pose.GetRotations()[0] = Quaternion(1, 2, 3, 4);
  rootOnly.Sample(0.0f, &pose);
  EXPECT_EQ(pose.GetRotations()[0].w, 4.0f);
}

TEST_F(AnimationTest, ImagesAreMarkedOnceAndUsedAgainUnchanged) {
  Image image(anmwriter::Write(TwoBones()));
  anmwriter::Layout layout;
  anmwriter::Write(TwoBones(), &layout);
  EXPECT_EQ(image.Word(0), 0u);
  EXPECT_EQ(image.Word(layout.trackBlock + 4), 0u);
  const std::vector<uint8_t> original = image.bytes;
  {
    Animation first(image.bytes.data(), image.bytes.size(), "mark.anm");
    ASSERT_TRUE(first.IsValid());
  }
  EXPECT_EQ(image.Word(0), 1u);
  EXPECT_EQ(image.Word(layout.trackBlock + 4), 1u);
  // Nothing else changed: offsets stay offsets.
  std::vector<uint8_t> expected = original;
  expected[0] = 1;
  expected[layout.trackBlock + 4] = 1;
  EXPECT_EQ(image.bytes, expected);
  Animation again(image.bytes.data(), image.bytes.size(), "mark.anm");
  ASSERT_TRUE(again.IsValid());
  AnimationPose pose(2);
  again.Sample(0.25f, &pose);
  EXPECT_TRUE(SameRotation(pose.GetRotations()[0], AboutZ(kA / 2)));
}

TEST_F(AnimationTest, PosesAndBlends) {
  const uint32_t blocks = MemoryTracker::CountBlocksOwnedBy("AnimationPose::AnimationPose");
  {
    AnimationPose a(3), b(3), out(3);
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("AnimationPose::AnimationPose"), blocks + 3);
    for (uint32_t i = 0; i < 3; ++i) {
      EXPECT_EQ(out.GetRotations()[i].w, 0.0f);
      a.GetRotations()[i] = AboutZ(0.2f * float(i));
      b.GetRotations()[i] = AboutZ(0.2f * float(i) + 1.0f);
    }
    a.SetRootKey(Vector4(0, 0, 0, 5));
    EXPECT_EQ(a.GetRootKey()->w, 5.0f);  // kept as given
    b.SetRootKey(Vector4(4, -2, 8, 0));
    out.Blend(0.0f, &a, &b);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_TRUE(SameRotation(out.GetRotations()[i], a.GetRotations()[i]));
    out.Blend(0.25f, &a, &b);
    for (uint32_t i = 0; i < 3; ++i)
      EXPECT_TRUE(SameRotation(out.GetRotations()[i], AboutZ(0.2f * float(i) + 0.25f)));
    EXPECT_EQ(out.GetRootKey()->x, 1.0f);
    EXPECT_EQ(out.GetRootKey()->y, -0.5f);
    EXPECT_EQ(out.GetRootKey()->z, 2.0f);
    EXPECT_EQ(out.GetRootKey()->w, 1.0f);
    // Blending into one of its own sources.
    a.Blend(1.0f, &a, &b);
    EXPECT_TRUE(SameRotation(a.GetRotations()[2], b.GetRotations()[2]));

    // Smaller sources: only the bones all three have are blended, the rest are left alone.
    AnimationPose small(1), big(5);
    small.GetRotations()[0] = AboutZ(1.5f);
    for (uint32_t i = 0; i < 5; ++i) big.GetRotations()[i] = Quaternion(9, 9, 9, 9);
    big.Blend(0.0f, &small, &b);
    EXPECT_TRUE(SameRotation(big.GetRotations()[0], AboutZ(1.5f)));
    EXPECT_EQ(big.GetRotations()[1].x, 9.0f);
    big.Blend(0.5f, nullptr, &b);
    AnimationPose none(0);
    none.Blend(0.5f, &a, &b);
    EXPECT_EQ(none.GetRotation(0), nullptr);
    EXPECT_EQ(a.GetRotation(3), nullptr);
    EXPECT_EQ(a.GetRotation(-1), nullptr);
    AnimationPose huge(0xFFFFFFFFu);
    EXPECT_EQ(huge.GetBoneCount(), 0u);
  }
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("AnimationPose::AnimationPose"), blocks);
}

// ---- Refused files.

TEST_F(AnimationTest, BrokenFilesAreRefusedWithALogLine) {
  anmwriter::Layout layout;
  const AnimDesc desc = TwoBones();
  const Image good(anmwriter::Write(desc, &layout));
  const uint32_t size = uint32_t(good.bytes.size());
  const uint32_t tb = layout.trackBlock;

  struct Case {
    const char* what;
    const char* logText;
    std::function<void(Image&)> edit;
  };
  const std::vector<Case> cases = {
      {"header only", "track block", [](Image& i) { i.bytes.resize(16); }},
      {"shorter than its header", "anm header", [](Image& i) { i.bytes.resize(15); }},
      {"track block past the end", "track block", [&](Image& i) { i.SetWord(8, size - 16); }},
      {"track block far past the end", "track block",
       [&](Image& i) { i.SetWord(8, 0xFFFFFFF0u); }},
      {"root table past the end", "root key table", [&](Image& i) { i.SetWord(12, size); }},
      {"root key count too large", "root keys",
       [&](Image& i) { i.SetWord(layout.rootKeys + 4, 4); }},
      {"root key count near 2^32", "root keys",
       [&](Image& i) { i.SetWord(layout.rootKeys + 4, 0xFFFFFFFFu); }},
      {"track count too large", "track count",
       [&](Image& i) { i.SetWord(tb + 8, 0x7FFFFFFFu); }},
      {"segment count too large", "segment",
       [&](Image& i) { i.SetWord(tb + 20, 100000u); }},
      {"segment end times past the end", "segment end times",
       [&](Image& i) { i.SetWord(tb + 24, size - tb); }},
      {"segment table past the end", "segment table",
       [&](Image& i) { i.SetWord(tb + 28, size); }},
      {"a segment past the end", "segment",
       [&](Image& i) { i.SetWord(layout.segmentTable + 4, size); }},
      {"a segment's list count too large", "segment key lists",
       [&](Image& i) { i.SetWord(layout.segments[1], 0x40000000u); }},
      {"a key list past the end", "key list",
       [&](Image& i) { i.SetWord(layout.segments[0] + 4, size - tb + 64); }},
      {"a key count too large", "keys",
       [&](Image& i) { i.SetWord(layout.keyLists[1][0], 1000u); }},
      {"a misaligned key list", "key list",
       [&](Image& i) { i.SetWord(layout.segments[0] + 4, i.Word(layout.segments[0] + 4) + 1); }},
      {"start time not a number", "not a number",
       [&](Image& i) { i.SetFloat(tb + 12, std::numeric_limits<float>::quiet_NaN()); }},
      {"end time infinite", "not a number",
       [&](Image& i) { i.SetFloat(tb + 16, std::numeric_limits<float>::infinity()); }},
      {"ends before it starts", "before start time",
       [&](Image& i) {
         // The track runs from 9 back to 2 and the root path from 8 back to 1: widened to the
         // root path the range is still 8 to 2.
         i.SetFloat(tb + 12, 9.0f);
         i.SetFloat(tb + 16, 2.0f);
         i.SetFloat(layout.rootKeys + 16 + 12, 8.0f);
         i.SetFloat(layout.rootKeys + 32 + 12, 8.5f);
         i.SetFloat(layout.rootKeys + 48 + 12, 1.0f);
       }},
  };

  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = "broken" + std::to_string(index++) + ".anm";
    Image image = good;
    c.edit(image);
    Animation anim(image.bytes.data(), image.bytes.size(), name.c_str());
    EXPECT_FALSE(anim.IsValid());
    EXPECT_TRUE(Logged(name, c.logText));
    EXPECT_TRUE(Logged(name, "animation refused"));
    // A refused animation answers harmlessly.
    AnimationPose pose(2);
    anim.Sample(0.25f, &pose);
    EXPECT_EQ(pose.GetRotations()[0].w, 0.0f);
    EXPECT_EQ(anim.GetNumTracks(), 0u);
    Vector4 v;
    anim.GetLastRootKey(v);
    EXPECT_EQ(v.x, 0.0f);
    EXPECT_EQ(image.Word(0), 0u);  // not marked
  }

  // Every truncation is refused.
  for (size_t length = 0; length < good.bytes.size(); ++length) {
    std::vector<uint8_t> cut(good.bytes.begin(), good.bytes.begin() + long(length));
    cut.reserve(good.bytes.size());
    Animation anim(cut.data(), cut.size(), "cut.anm");
    EXPECT_FALSE(anim.IsValid()) << length;
  }
  Animation none(nullptr, 0, "null.anm");
  EXPECT_FALSE(none.IsValid());
}

// The writer stores rotations as 16-bit numbers: a value that is not finite has none, so it
// refuses the whole file rather than write whatever the conversion happens to give.
TEST_F(AnimationTest, TheWriterRefusesValuesThatAreNotFinite) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(anmwriter::Quantise(nan), 0);
  EXPECT_EQ(anmwriter::Quantise(-inf), 0);
  EXPECT_EQ(anmwriter::Quantise(2.0f), 32767);
  EXPECT_EQ(anmwriter::Quantise(-2.0f), -32768);

  const float good[4] = {0, 0, 0, 1};
  struct Case {
    const char* what;
    std::function<void(AnimDesc&)> spoil;
  };
  const Case cases[] = {
      {"a rotation's start",
       [&](AnimDesc& d) {
         const float bad[4] = {0, nan, 0, 1};
         d.segments[0].lists[0].keys[0] = anmwriter::MakeKey(0, bad, good, 0, 240);
       }},
      {"a rotation's end",
       [&](AnimDesc& d) {
         const float bad[4] = {0, 0, 0, inf};
         d.segments[1].lists[0].keys[0] = anmwriter::MakeKey(0, good, bad, 240, 240);
       }},
      {"a root key", [&](AnimDesc& d) { d.rootKeys[1].y = nan; }},
      {"a root key's time", [&](AnimDesc& d) { d.rootKeys[2].time = inf; }},
      {"a segment's end", [&](AnimDesc& d) { d.segments[0].endTime = nan; }},
      {"the end time", [&](AnimDesc& d) { d.endTime = inf; }},
      {"a sampled rotation",
       [&](AnimDesc& d) {
         d = anmwriter::MakeSampled(
             2, 1.0f, 4,
             [&](uint32_t bone, float t, float* q) {
               anmwriter::AxisAngle(0, 0, 1, bone == 1 ? std::sqrt(0.5f - t) : 0.0f, q);
             },
             [](float, float* p) { p[0] = p[1] = p[2] = 0.0f; });
       }},
  };
  ASSERT_FALSE(anmwriter::Write(TwoBones()).empty());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AnimDesc desc = TwoBones();
    c.spoil(desc);
    EXPECT_TRUE(anmwriter::Write(desc).empty());
    EXPECT_FALSE(anmwriter::Save("spoilt.anm", desc));
    EXPECT_FALSE(std::filesystem::exists("spoilt.anm"));
  }
  EXPECT_TRUE(anmwriter::Save("good.anm", TwoBones()));
  EXPECT_TRUE(std::filesystem::exists("good.anm"));
}

// ---- The factory.

uint32_t FactoryBlocks() {
  return MemoryTracker::CountBlocksOwnedBy("AnimFactory::AddAnim") +
         MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile");
}

void WriteAnm(const std::string& name, const AnimDesc& desc) {
  const std::vector<uint8_t> bytes = anmwriter::Write(desc);
  WriteFileBytes(name, bytes.data(), bytes.size());
}

TEST_F(AnimationTest, TheFactorySharesAnimationsByName) {
  WriteAnm("walk.anm", TwoBones());
  WriteAnm("run.anm", TwoBones());
  const uint32_t blocks = FactoryBlocks();
  {
    AnimFactory factory;
    EXPECT_EQ(factory.Init(), 1);
    factory.Process();
    const int32_t walk = factory.AddAnim("walk.anm");
    EXPECT_EQ(walk, 0);
    EXPECT_EQ(factory.AddAnim("walk.anm"), walk);
    EXPECT_EQ(factory.GetRefCount(walk), 2);
    EXPECT_EQ(factory.GetCount(), 1);
    Animation* anim = factory.FindAnim(walk);
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(anim->GetNumTracks(), 2u);

    factory.DeleteAnim(walk);
    EXPECT_EQ(factory.FindAnim(walk), anim);
    factory.DeleteAnim(walk);
    EXPECT_EQ(factory.GetCount(), 0);
    EXPECT_EQ(FactoryBlocks(), blocks);
    const size_t before = LogLines();
    EXPECT_EQ(factory.FindAnim(walk), nullptr);
    EXPECT_TRUE(DebugLogContains("Unable to find Anim 0"));
    EXPECT_EQ(factory.FindAnim(-1), nullptr);
    EXPECT_EQ(LogLines(), before + 1);  // -1 logs nothing
    factory.DeleteAnim(walk);  // nothing left: nothing happens
    factory.DeleteAnim(-1);

    // Ids: the entry count when added, unless an entry still carries that number.
    EXPECT_EQ(factory.AddAnim("walk.anm"), 0);
    EXPECT_EQ(factory.AddAnim("run.anm"), 1);
    factory.DeleteAnim(0);
    ASSERT_NE(factory.FindAnim(1), nullptr);
    const int32_t again = factory.AddAnim("walk.anm");
    EXPECT_NE(again, 1);
    EXPECT_EQ(again, 2);
    EXPECT_NE(factory.FindAnim(again), factory.FindAnim(1));

    // Missing and broken files leave nothing behind.
    EXPECT_EQ(factory.AddAnim("missing.anm"), -1);
    std::vector<uint8_t> broken(20, 0);
    broken[8] = 0xFF;  // a track block past the end
    WriteFileBytes("broken.anm", broken.data(), broken.size());
    EXPECT_EQ(factory.AddAnim("broken.anm"), -1);
    EXPECT_TRUE(DebugLogContains("Unable to load Anim broken.anm"));
    EXPECT_EQ(factory.AddAnim(nullptr), -1);
    EXPECT_EQ(factory.GetCount(), 2);

    // CleanUp frees whatever the counts; a new Init starts from nothing as well.
    factory.CleanUp();
    EXPECT_EQ(factory.GetCount(), 0);
    EXPECT_EQ(FactoryBlocks(), blocks);
    EXPECT_EQ(factory.AddAnim("run.anm"), 0);
    factory.Init();
    EXPECT_EQ(factory.GetCount(), 0);
    EXPECT_EQ(FactoryBlocks(), blocks);
    EXPECT_EQ(factory.AddAnim("run.anm"), 0);
  }
  // The destructor cleans up.
  EXPECT_EQ(FactoryBlocks(), blocks);
}

// The application's factory: loads from the data folder and is emptied at shutdown.
class AnimFactoryAppTest : public AppTest {};

TEST_F(AnimFactoryAppTest, TheApplicationsFactoryLoadsAndEmptiesAtShutdown) {
  ASSERT_TRUE(m_harness.Start());
  WriteAnm("data/Character/walk.anm", anmwriter::MakeWalk(skelwriter::MakeBiped()));
  const uint32_t blocks = MemoryTracker::CountBlocksOwnedBy("AnimFactory::AddAnim");
  AnimFactory* factory = GetApp().GetAnimFactory();
  ASSERT_NE(factory, nullptr);
  GetApp().SetDataDir("data\\Character\\");
  const int32_t id = factory->AddAnim("walk.anm");
  ASSERT_GE(id, 0);
  Animation* walk = factory->FindAnim(id);
  ASSERT_NE(walk, nullptr);
  EXPECT_EQ(walk->GetNumTracks(), skelwriter::MakeBiped().bones.size());
  EXPECT_EQ(walk->GetLength(), 1.0f);
  Vector4 start, end;
  walk->GetStartRootPosition(start);
  walk->GetEndRootPosition(end);
  EXPECT_NEAR(end.y - start.y, -1.2f, 1e-6f);
  m_harness.RunFrames(2);
  EXPECT_GT(MemoryTracker::CountBlocksOwnedBy("AnimFactory::AddAnim"), blocks);
  m_harness.Stop();
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("AnimFactory::AddAnim"), blocks);
  EXPECT_EQ(GetApp().GetAnimFactory()->GetCount(), 0);
}

}  // namespace
