// The garden's path maps: the reader against bad files, the conversion into linked nodes, and
// the navigation queries with the numbers they are pinned to.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Engine/Random.h"
#include "Game/TesselGame/TesselPathMap.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"
#include "tests/tessel/PathMapWriter.h"

namespace {

using pathmapwriter::Record;

Record At(float x, float y, std::initializer_list<int32_t> links = {-1, -1, -1, -1},
          uint32_t flags = 0) {
  Record r;
  r.x = x;
  r.y = y;
  r.flags = flags;
  int d = 0;
  for (int32_t link : links) r.links[d++] = link;
  return r;
}

struct Nodes {
  std::vector<TesselNavNode> nodes;
  explicit Nodes(const std::vector<Record>& records) {
    const std::vector<uint8_t> image = pathmapwriter::Write(records);
    const int32_t count = TesselPathMapCount(image.data(), int32_t(image.size()), "test");
    EXPECT_EQ(count, int32_t(records.size()));
    nodes.resize(size_t(count));
    TesselBuildNavNodes(image.data(), uint32_t(count), nodes.data(), "test");
  }
  TesselNavNode* operator[](size_t i) { return &nodes[i]; }
  uint32_t Count() const { return uint32_t(nodes.size()); }
};

class PathMapTest : public ::testing::Test {
 protected:
  ScopedTempDir m_dir;
};

// ---- The reader refuses what it cannot hold.

struct BadImage {
  const char* what;
  std::vector<uint8_t> bytes;
  int32_t expected;
};

std::vector<uint8_t> Truncated(size_t keep) {
  std::vector<uint8_t> image = pathmapwriter::Write({At(0, 0), At(100, 0)});
  image.resize(keep);
  return image;
}

TEST_F(PathMapTest, TheCountIsCheckedAgainstTheFileSize) {
  const std::vector<BadImage> cases = {
      {"no header", Truncated(0), -1},
      {"half a header", Truncated(3), -1},
      {"header only, two announced", Truncated(4), -1},
      {"one record and a half", Truncated(4 + 40 + 20), -1},
      {"one byte short", Truncated(4 + 80 - 1), -1},
      {"exact", Truncated(4 + 80), 2},
      {"count above the records", pathmapwriter::Write({At(0, 0)}, 2), -1},
      {"count that wraps 32 bits", pathmapwriter::Write({At(0, 0)}, 0x6666667), -1},
      {"count near 2^32", pathmapwriter::Write({At(0, 0)}, 0xFFFFFFFF), -1},
      {"an empty map", pathmapwriter::Write({}), 0},
      {"trailing bytes kept out",
       [] {
         std::vector<uint8_t> image = pathmapwriter::Write({At(0, 0)});
         image.resize(image.size() + 7, 0xAB);
         return image;
       }(),
       1},
  };
  for (const BadImage& c : cases) {
    // Every image in its own block of exactly its size, so that a read past it is caught.
    std::vector<uint8_t> exact(c.bytes);
    EXPECT_EQ(TesselPathMapCount(exact.empty() ? "" : static_cast<const void*>(exact.data()),
                                 int32_t(exact.size()), "bad.bin"),
              c.expected)
        << c.what;
  }
  EXPECT_TRUE(DebugLogContains("path map bad.bin"));
  EXPECT_EQ(TesselPathMapCount(nullptr, 0, "absent.bin"), 0) << "a missing file is an empty map";
}

TEST_F(PathMapTest, LinksOutOfRangeReadAsNone) {
  // Record 0 links to a later record, to itself, past the end, and below -1.
  Nodes map({At(0, 0, {1, 0, 2, -7}), At(0, 100, {5, 0, 0x7FFFFFFF, -1})});
  EXPECT_EQ(map[0]->links[kTesselPlusY], map[1]) << "a link may name a later record";
  EXPECT_EQ(map[0]->links[kTesselMinusY], map[0]);
  EXPECT_EQ(map[0]->links[kTesselMinusX], nullptr) << "index == count";
  EXPECT_EQ(map[0]->links[kTesselPlusX], nullptr) << "below -1";
  EXPECT_EQ(map[1]->links[kTesselPlusY], nullptr);
  EXPECT_EQ(map[1]->links[kTesselMinusX], nullptr);
  EXPECT_TRUE(DebugLogContains("record 0 links to 2 of 2 records"));
}

TEST_F(PathMapTest, RecordsBecomeNodesWithHeightAndGroundExchanged) {
  Record r = At(0, 0, {-1, -1, -1, -1}, 9);
  r.x = 12.5f;
  r.height = 7.0f;
  r.y = -300.0f;
  r.w = 0.25f;
  Nodes map({r});
  const TesselNavNode& node = *map[0];
  EXPECT_EQ(node.flags, 9u);
  EXPECT_EQ(node.position.x, 12.5f);
  EXPECT_EQ(node.position.y, -300.0f);
  EXPECT_EQ(node.position.z, 7.0f);
  EXPECT_EQ(node.position.w, 0.25f);
  for (TesselNavNode* link : node.links) EXPECT_EQ(link, nullptr);
}

// ---- Queries.

TEST_F(PathMapTest, DirectionCodesNameTheWayBack) {
  Nodes map({At(0, 0), At(-10, 0), At(10, 0), At(0, -10), At(0, 10), At(-10, 50)});
  const struct {
    size_t to;
    int32_t code;
  } cases[] = {{1, kTesselPlusX},  {2, kTesselMinusX},      {3, kTesselPlusY},
               {4, kTesselMinusY}, {0, kTesselNoDirection}, {5, kTesselPlusX}};
  for (const auto& c : cases) EXPECT_EQ(TesselDirectionCode(map[0], map[c.to]), c.code) << c.to;
  EXPECT_EQ(TesselDirectionCode(nullptr, map[0]), kTesselNoDirection);
}

TEST_F(PathMapTest, NearAndNearestJunctions) {
  // Junction 1 and 2 lie at the same distance from the origin; 1 comes first in the file.
  Nodes map({At(500, 500), At(30, 40), At(-40, 30)});
  const struct {
    Vector4 p;
    bool near;
    size_t nearest;
  } cases[] = {
      {Vector4(0, 0, 0, 1), false, 1},    // 50 away from the first two: ties keep the earlier
      {Vector4(0, 0, 999, 1), false, 1},  // the height takes no part
      {Vector4(30, 40 - 31.6f, 0, 1), true, 1},  // just inside 1000
      {Vector4(500, 531.62f, 0, 1), true, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsNearJunction(map[0], map.Count(), c.p), c.near) << c.p.x << "," << c.p.y;
    EXPECT_EQ(FindNearestJunction(map[0], map.Count(), c.p), map[c.nearest]) << c.p.x;
  }
  // Exactly 1000 is not near: (30, 10) lies 900 + 100 from the origin.
  Nodes exact({At(0, 0)});
  EXPECT_FALSE(IsNearJunction(exact[0], 1, Vector4(30, 10, 0, 1)));
  EXPECT_TRUE(IsNearJunction(exact[0], 1, Vector4(30, 9.99f, 0, 1)));
  EXPECT_EQ(FindNearestJunction(nullptr, 0, Vector4()), nullptr) << "an empty map";
  EXPECT_FALSE(IsNearJunction(nullptr, 0, Vector4()));
}

TEST_F(PathMapTest, NearestIntermediateNodeAndItsLeg) {
  Nodes map({At(0, 0), At(300, 400), At(-3, -4)});
  float leg = -1.0f;
  EXPECT_EQ(FindNearestIntermediateNode(map[0], 2, Vector4(3, 4, 50, 1), &leg), map[0])
      << "only the first n nodes are searched";
  EXPECT_EQ(leg, 5.0f);
  EXPECT_EQ(FindNearestIntermediateNode(map[0], 3, Vector4(-3, -4, 0, 1), &leg), map[2]);
  EXPECT_EQ(leg, 0.0f) << "standing on the node";
  EXPECT_EQ(FindNearestIntermediateNode(map[0], 0, Vector4(), &leg), nullptr);
  EXPECT_EQ(leg, 0.0f);
}

TEST_F(PathMapTest, ContinueStraightWalksOnPastTheTarget) {
  // A cross: 0 centre, 1 at +y, 2 at -y, 3 at -x, 4 at +x; 5 beyond 1; 1 has no +x link; 6 off
  // on the diagonal, linked on to 5 (+y) and 4 (+x).
  Nodes map({At(0, 0, {1, 2, 3, 4}), At(0, 100, {5, 0, -1, -1}), At(0, -100, {0, -1, -1, -1}),
             At(-100, 0, {-1, -1, -1, 0}), At(100, 0, {-1, -1, 0, -1}), At(0, 200, {-1, 1, -1, -1}),
             At(100, 100, {5, -1, -1, 4})});
  const struct {
    size_t a, b;
    TesselNavNode* current;
    TesselNavNode* target;
  } cases[] = {
      {0, 1, map[1], map[5]},  // +y on to +y
      {1, 0, map[0], map[2]},  // -y through the centre
      {3, 0, map[0], map[4]},  // +x through the centre
      {4, 0, map[0], map[3]}, {2, 0, map[0], map[1]},
      {5, 1, map[1], map[0]}, {1, 5, map[5], nullptr},  // a dead end leaves no target
      {0, 6, map[6], map[5]},                           // a diagonal counts as y
  };
  for (const auto& c : cases) {
    TesselNavNode* current = map[c.a];
    TesselNavNode* target = map[c.b];
    ContinueStraight(&current, &target);
    EXPECT_EQ(current, c.current) << c.a << "->" << c.b;
    EXPECT_EQ(target, c.target) << c.a << "->" << c.b;
  }
  TesselNavNode* current = map[0];
  TesselNavNode* target = nullptr;
  ContinueStraight(&current, &target);
  EXPECT_EQ(current, map[0]) << "no target: nothing changes";
  current = nullptr;
  target = map[0];
  ContinueStraight(&current, &target);
  EXPECT_EQ(current, map[0]);
  EXPECT_EQ(target, map[1]) << "from nowhere: on along +y";
}

TEST_F(PathMapTest, ChooseExitTowardsTriesTheDominantAxisFirst) {
  Nodes map({At(0, 0, {1, 2, 3, 4}), At(0, 100), At(0, -100), At(-100, 0), At(100, 0)});
  const Vector4 p(0, 0, 0, 1);
  const struct {
    Vector4 t;
    int32_t excluded;
    size_t expected;
  } cases[] = {
      {Vector4(0, 500, 0, 1), -1, 1},  // straight ahead along +y
      {Vector4(10, 500, 0, 1), -1, 1},
      {Vector4(500, 10, 0, 1), -1, 4},  // x dominant
      {Vector4(-500, -10, 0, 1), -1, 3},
      {Vector4(0, 0, 0, 1), -1, 2},                // t = p: the minus side, -y first
      {Vector4(0, 0, 0, 1), kTesselMinusY, 3},     // then -x
      {Vector4(100, 100, 0, 1), kTesselPlusY, 4},  // a tie counts as y; +y excluded gives +x
  };
  for (const auto& c : cases)
    EXPECT_EQ(ChooseExitTowards(map[0], p, c.t, c.excluded), map[c.expected])
        << c.t.x << "," << c.t.y << " excluding " << c.excluded;
}

TEST_F(PathMapTest, ChooseRandomExitDrawsOnceFromTheOpenWays) {
  Nodes map(
      {At(0, 0, {1, -1, 2, 3}), At(0, 100), At(-100, 0), At(100, 0), At(0, 0, {-1, 1, -1, -1})});
  // Candidates of node 0 excluding +y: -x (2) then +x (3).
  for (uint32_t seed : {1u, 2u, 12345u, 0xDEADBEEFu}) {
    SeedRand(seed);
    const uint32_t next = seed * 1664525u + 1013904223u;
    TesselNavNode* const expected = next % 2 == 0 ? map[2] : map[3];
    EXPECT_EQ(ChooseRandomExit(map[0], kTesselPlusY), expected) << seed;
    EXPECT_EQ(GetRandCount(), 2u) << "one step of the generator, counted as two";
    EXPECT_EQ(GetSeed(), next);
  }
  // Excluding -x: +y (the first link) then +x.
  for (uint32_t seed : {1u, 2u, 12345u, 0xDEADBEEFu}) {
    SeedRand(seed);
    const uint32_t next = seed * 1664525u + 1013904223u;
    EXPECT_EQ(ChooseRandomExit(map[0], kTesselMinusX), next % 2 == 0 ? map[1] : map[3]) << seed;
  }
  SeedRand(7);
  EXPECT_EQ(ChooseRandomExit(map[4], kTesselMinusY), map[1]) << "the only way is the way back";
  EXPECT_EQ(GetRandCount(), 0u) << "no draw without a candidate";
  EXPECT_EQ(ChooseRandomExit(nullptr, -1), nullptr);
  EXPECT_EQ(ChooseRandomExit(map[1], -1), nullptr) << "a node without links";
  // Falling back from ChooseExitTowards: neither wanted way is open.
  SeedRand(3);
  const uint32_t next = 3u * 1664525u + 1013904223u;
  EXPECT_EQ(ChooseExitTowards(map[0], Vector4(0, 0, 0, 1), Vector4(0, -50, 0, 1), kTesselPlusY),
            next % 2 == 0 ? map[2] : map[3]);
  GlobalRandom().Reset();
}

}  // namespace
