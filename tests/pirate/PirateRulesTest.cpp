// The pirate game's rules without the application: the deal for a fixed seed at each difficulty,
// the straight and diagonal selection searches with their ties and limits, node numbers read
// from names, and the points of a pair.
#include <gtest/gtest.h>

#include <vector>

#include "Engine/Random.h"
#include "Game/PirateGame/PirateRules.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

std::vector<PirateHole> EmptyBoard() { return std::vector<PirateHole>(kHoles, PirateHole{}); }

// Six columns 1000 apart by five rows 900 apart, hole = row * 6 + column, all in play.
std::vector<PirateHole> Grid() {
  std::vector<PirateHole> holes = EmptyBoard();
  for (int32_t i = 0; i < kHoles; ++i)
    holes[i].position = Vector4(1000.0f * float(i % 6), 900.0f * float(i / 6), 0.0f, 1.0f);
  return holes;
}

TEST(PirateRulesTest, TheDealForSeed1234AtEachDifficulty) {
  const int32_t kinds[kHoles] = {3, 5,  -1, -1, -1, 3,  5, 9, 2, 1, -1, -1, 9,  8, -1,
                                 6, -1, -1, 6,  4,  -1, 0, 4, 7, 2, 0,  1,  -1, 8, 7};
  struct Case {
    int32_t difficulty;
    std::vector<int32_t> outOfPlay;
    uint32_t draws;
    uint32_t seed;
  };
  const Case cases[] = {
      {0, {2, 3, 4, 10, 11, 14, 16, 17, 20, 27}, 132, 0x8db02d14u},
      {1, {3, 10, 11, 20, 27}, 148, 0x4f432f3cu},
      {2, {}, 132, 0x8db02d14u},
  };
  for (const Case& c : cases) {
    SeedRand(1234);
    std::vector<PirateHole> holes = EmptyBoard();
    DealBoard(holes.data());
    ApplyDifficulty(holes.data(), c.difficulty);
    std::vector<int32_t> out;
    for (int32_t i = 0; i < kHoles; ++i) {
      EXPECT_EQ(holes[i].occupied ? holes[i].kind : -1, kinds[i]) << "hole " << i;
      // The words the two-player link compares: 1 or 0 on both machines.
      EXPECT_EQ(holes[i].occupied, kinds[i] >= 0 ? 1 : 0) << "hole " << i;
      EXPECT_EQ(holes[i].outOfPlay, holes[i].outOfPlay ? 1 : 0) << "hole " << i;
      if (holes[i].outOfPlay) out.push_back(i);
    }
    EXPECT_EQ(out, c.outOfPlay) << "difficulty " << c.difficulty;
    EXPECT_EQ(GetRandCount(), c.draws) << "each draw counts two";
    EXPECT_EQ(GetSeed(), c.seed);
  }
}

TEST(PirateRulesTest, EveryDealHasTwoOfEachKindAndTheDifficultySetsTheHolesInPlay) {
  for (uint32_t seed = 0; seed < 300; ++seed) {
    for (int32_t difficulty = 0; difficulty < 3; ++difficulty) {
      SeedRand(seed * 2654435761u);
      std::vector<PirateHole> holes = EmptyBoard();
      DealBoard(holes.data());
      ApplyDifficulty(holes.data(), difficulty);
      int32_t perKind[kPirateKinds] = {}, empty = 0, emptyInPlay = 0;
      for (const PirateHole& h : holes) {
        if (h.occupied) {
          ++perKind[h.kind];
          EXPECT_EQ(h.outOfPlay, 0);
        } else {
          ++empty;
          emptyInPlay += h.outOfPlay ? 0 : 1;
        }
      }
      for (int32_t count : perKind) EXPECT_EQ(count, 2) << "seed " << seed;
      EXPECT_EQ(empty, 10);
      EXPECT_EQ(CountInPlay(holes.data()), 20 + 5 * difficulty) << "seed " << seed;
      EXPECT_EQ(emptyInPlay, 5 * difficulty);
    }
  }
}

TEST(PirateRulesTest, MediumDifficultyEndsWhenFewerThanFiveEmptyHolesCanGo) {
  SeedRand(77);
  std::vector<PirateHole> holes = EmptyBoard();
  DealBoard(holes.data());
  // Eight empty holes have no cover in the scene and are out already.
  int32_t marked = 0;
  for (PirateHole& h : holes)
    if (!h.occupied && marked < 8) h.outOfPlay = 1, ++marked;
  ApplyDifficulty(holes.data(), 1);
  EXPECT_EQ(CountInPlay(holes.data()), 20);
}

struct SearchCase {
  const char* name;
  Vector4 origin;
  int32_t direction;  // straight: kPirateUp..; diagonal: side * 10 + vertical
  std::vector<int32_t> outOfPlay;
  int32_t selected;
  int32_t expected;
};

Vector4 At(int32_t hole) {
  return Vector4(1000.0f * float(hole % 6), 900.0f * float(hole / 6), 0, 1);
}

TEST(PirateRulesTest, StraightMovesTakeTheNearestHoleInTheConeAndTheLowerIndexOnATie) {
  const SearchCase cases[] = {
      {"right", At(7), kPirateRight, {}, 7, 8},
      {"up", At(7), kPirateUp, {}, 7, 13},
      {"down", At(13), kPirateDown, {}, 13, 7},
      {"left", At(8), kPirateLeft, {}, 8, 7},
      {"nothing left of the edge", At(6), kPirateLeft, {}, 6, -1},
      {"nothing above the top row", At(26), kPirateUp, {}, 26, -1},
      {"a tie between two diagonal neighbours", At(7), kPirateRight, {8}, 7, 2},
      {"a tie from between two holes", Vector4(500, -900, 0, 1), kPirateUp, {}, -1, 0},
      {"out of play is skipped", At(7), kPirateUp, {13, 12, 14}, 7, 19},
      {"the selected hole is no candidate", Vector4(1000, 800, 0, 1), kPirateUp, {}, 7, 13},
  };
  for (const SearchCase& c : cases) {
    std::vector<PirateHole> holes = Grid();
    for (int32_t i : c.outOfPlay) holes[i].outOfPlay = 1;
    if (c.selected >= 0) holes[c.selected].selected = 1;
    EXPECT_EQ(FindStraightMove(holes.data(), c.origin, c.direction), c.expected) << c.name;
  }
}

TEST(PirateRulesTest, TheStraightConeEndsJustBelowOnePointOne) {
  struct Case {
    float cross;
    int32_t expected;
  };
  for (const Case c : {Case{1090.0f, 0}, Case{1100.0f, -1}, Case{-1090.0f, 0}}) {
    std::vector<PirateHole> holes = EmptyBoard();
    for (PirateHole& h : holes) h.outOfPlay = 1;
    holes[0].outOfPlay = 0;
    holes[0].position = Vector4(1000.0f, c.cross, 0, 1);
    EXPECT_EQ(FindStraightMove(holes.data(), Vector4(0, 0, 0, 1), kPirateRight), c.expected)
        << c.cross;
  }
}

TEST(PirateRulesTest, DiagonalMovesTakeTheNearestHoleOnTheirSide) {
  struct Case {
    const char* name;
    int32_t from;
    int32_t side, vertical;
    std::vector<int32_t> outOfPlay;
    int32_t expected;
  };
  const Case cases[] = {
      {"right and up", 7, 1, 1, {}, 14},
      {"right and down", 13, 1, -1, {}, 8},
      {"left and up", 8, -1, 1, {}, 13},
      {"left and down", 14, -1, -1, {}, 7},
      {"nothing beyond the left edge", 6, -1, 1, {}, -1},
      {"the next nearest when it is out", 7, 1, 1, {14}, 20},
  };
  for (const Case& c : cases) {
    std::vector<PirateHole> holes = Grid();
    for (int32_t i : c.outOfPlay) holes[i].outOfPlay = 1;
    holes[c.from].selected = 1;
    EXPECT_EQ(FindDiagonalMove(holes.data(), At(c.from), c.from, c.side, c.vertical), c.expected)
        << c.name;
  }
}

TEST(PirateRulesTest, DiagonalsLieBetweenATenthAndTwoAndAHalfWithTiesToTheLowerIndex) {
  struct Case {
    const char* name;
    std::vector<Vector4> positions;  // holes 0, 1, ... in play; the others out
    int32_t expected;
  };
  const Case cases[] = {
      {"two and a half across", {Vector4(2500, 1000, 0, 1)}, 0},
      {"flatter", {Vector4(2600, 1000, 0, 1)}, -1},
      {"a tenth across", {Vector4(100, 1000, 0, 1)}, 0},
      {"steeper", {Vector4(99, 1000, 0, 1)}, -1},
      {"on the other side", {Vector4(-1000, 1000, 0, 1)}, -1},
      {"below", {Vector4(1000, -1000, 0, 1)}, -1},
      {"a tie", {Vector4(900, 1000, 0, 1), Vector4(1000, 900, 0, 1)}, 0},
      {"the nearer", {Vector4(1000, 1000, 0, 1), Vector4(900, 900, 0, 1)}, 1},
  };
  for (const Case& c : cases) {
    std::vector<PirateHole> holes = EmptyBoard();
    for (PirateHole& h : holes) h.outOfPlay = 1;
    for (size_t i = 0; i < c.positions.size(); ++i) {
      holes[i].outOfPlay = 0;
      holes[i].position = c.positions[i];
    }
    EXPECT_EQ(FindDiagonalMove(holes.data(), Vector4(0, 0, 0, 1), -1, 1, 1), c.expected) << c.name;
  }
}

TEST(PirateRulesTest, APairScoresTenThousandLessAThousandAMissDownToOneThousand) {
  const int32_t expected[] = {10000, 9000, 8000, 7000, 6000, 5000, 4000, 3000, 2000, 1000, 1000};
  for (int32_t misses = 0; misses <= 10; ++misses)
    EXPECT_EQ(PairPoints(misses), expected[misses]) << misses;
}

class PirateNodeNameTest : public TempDirTest {};

TEST_F(PirateNodeNameTest, NumbersNeedTwoDigitsInRange) {
  struct Case {
    const char* name;
    const char* prefix;
    int32_t limit;
    int32_t expected;
    const char* log;  // null: no line
  };
  const Case cases[] = {
      {"pirate05", "pirate", 30, 5, nullptr},
      {"object29", "object", 30, 29, nullptr},
      {"line_pos09", "line_pos", 10, 9, nullptr},
      {"pirate05_extra", "pirate", 30, 5, nullptr},
      {"target", "pirate", 30, -1, nullptr},
      {"pirate", "pirate", 30, -1, "node \"pirate\" has no two-digit number"},
      {"pirate7", "pirate", 30, -1, "node \"pirate7\" has no two-digit number"},
      {"pirate123", "pirate", 30, -1, "node \"pirate123\" has no two-digit number"},
      {"shadowAB", "shadow", 30, -1, "node \"shadowAB\" has no two-digit number"},
      {"object30", "object", 30, -1, "node \"object30\" is numbered beyond 29"},
      {"line_pos10", "line_pos", 10, -1, "node \"line_pos10\" is numbered beyond 9"},
      {"target99", "target", 30, -1, "node \"target99\" is numbered beyond 29"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadNodeNumber(c.name, c.prefix, c.limit), c.expected) << c.name;
    if (c.log) {
      EXPECT_TRUE(DebugLogContains(c.log)) << c.name;
    }
  }
  EXPECT_EQ(ReadNodeNumber(nullptr, "pirate", 30), -1);
}

}  // namespace
