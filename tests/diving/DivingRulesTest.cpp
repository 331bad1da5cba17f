// The diving game's pinned numbers: the combination buffer, the entry sectors, the launch, the
// power bar's pixels and the closing line chains.
#include <gtest/gtest.h>

#include <vector>

#include "Game/DivingGame/DivingRules.h"
#include "Game/DivingGame/cDivingGame.h"

namespace {

constexpr float kSector = 0.62831855f;
constexpr float kTwoPi = 6.2831855f;

TEST(DiveComboTest, ThreeButtonCombinationsNameTheirDives) {
  struct Case {
    std::vector<int32_t> presses;
    int32_t dive;
  };
  const Case cases[] = {
      {{1, 2, 0}, 0},        // W Q Space: aeroplane
      {{0, 2, 1}, 1},        // Space Q W: corkscrew
      {{1, 0, 2}, 2},        // W Space Q: pike
      {{0, 1, 2}, 3},        // Space W Q: torpedo
      {{2, 1, 0}, 4},        // Q W Space: tuck
      {{1, 2}, -1},          // two presses are no combination yet
      {{0, 0, 0}, -1},       // no dive is three of one button
      {{2, 0, 1, 2, 0}, 0},  // the oldest presses slide out: the last three are 1 2 0
      {{1, 1, 0, 1, 2}, 3},  // ... 0 1 2, the torpedo
  };
  for (const Case& c : cases) {
    DiveCombo combo;
    for (int32_t code : c.presses) combo.Push(code);
    EXPECT_EQ(combo.Match(), c.dive);
    EXPECT_LE(combo.count, 3u) << "the buffer never holds more than three";
  }
}

TEST(DiveComboTest, NamedDivesHaveTheirKindsAndEvents) {
  // Kinds: 1 torpedo, 2 aeroplane, 3 corkscrew, 4 pike, 5 tuck; events 3, 4, 5, 2, 6.
  const int32_t kinds[kNamedDiveCount] = {2, 3, 4, 1, 5};
  const int32_t events[kNamedDiveCount] = {3, 4, 5, 2, 6};
  for (int32_t i = 0; i < kNamedDiveCount; ++i) {
    EXPECT_EQ(kNamedDives[i].kind, kinds[i]) << i;
    EXPECT_EQ(kNamedDives[i].event, events[i]) << i;
  }
}

TEST(EntryJudgingTest, SectorsGiveTheirQuality) {
  struct Case {
    int32_t sector;
    int32_t kind;
    int32_t quality;
    int32_t badLanding;
  };
  const Case cases[] = {
      {0, 0, 0, 0},
      {1, 0, 1, 0},
      {2, 0, 2, 0},
      {3, 0, 1, 0},
      {4, 0, 0, 0},
      {5, 0, 0, 0},
      {6, 0, 1, 0},
      {7, 0, 2, 1},
      {8, 0, 1, 0},
      {9, 0, 0, 0},
      // A pike as the last named dive turns it round; a tuck is always a medium entry.
      {0, 4, 1, 0},
      {1, 4, 0, 0},
      {2, 4, 0, 0},
      {4, 4, 1, 0},
      {5, 4, 1, 0},
      {7, 4, 0, 0},
      {9, 4, 1, 0},
      {2, 5, 1, 0},
      {7, 5, 1, 0},
      {0, 2, 0, 0},
  };
  for (const Case& c : cases) {
    int32_t bad = 0;
    const float pitch = (static_cast<float>(c.sector) + 0.5f) * kSector;
    EXPECT_EQ(JudgeEntry(pitch, c.kind, -1, &bad), c.quality) << c.sector << " kind " << c.kind;
    EXPECT_EQ(bad, c.badLanding) << c.sector << " kind " << c.kind;
  }
  int32_t bad = 0;
  EXPECT_EQ(JudgeEntry(kTwoPi, 0, 2, &bad), 2) << "exactly 2π keeps the last quality";
}

TEST(EntryJudgingTest, PitchWrapsFullyIntoOneTurn) {
  const float cases[][2] = {{0.0f, 0.0f},
                            {-0.5f, kTwoPi - 0.5f},
                            {kTwoPi + 1.0f, 1.0f},
                            {3.0f * kTwoPi + 0.25f, 0.25f},
                            {-5.0f * kTwoPi - 1.0f, kTwoPi - 1.0f}};
  for (const auto& c : cases) {
    const float wrapped = WrapTwoPi(c[0]);
    EXPECT_NEAR(wrapped, c[1], 1e-3f) << c[0];
    EXPECT_GE(wrapped, 0.0f);
    EXPECT_LT(wrapped, kTwoPi);
  }
}

TEST(LaunchTest, PowerSetsTheLaunchAndTheHighBoardOvershoots) {
  struct Case {
    float power;
    int32_t board;
    float launch;
    int32_t overshoot;
  };
  const Case cases[] = {
      {300.0f, 0, 30.0f, 0},  {290.0f, 1, 30.0f, 0},  {100.0f, 0, 200.0f, 0},
      {100.0f, 2, 191.0f, 1}, {109.0f, 2, 191.0f, 1}, {110.0f, 2, 190.0f, 0},
      {200.0f, 2, 100.0f, 0}, {150.0f, 1, 150.0f, 0},
  };
  for (const Case& c : cases) {
    int32_t overshoot = -1;
    EXPECT_FLOAT_EQ(LaunchFromPower(c.power, c.board, &overshoot), c.launch) << c.power;
    EXPECT_EQ(overshoot, c.overshoot) << c.power << " board " << c.board;
  }
}

TEST(PowerBarTest, PiecesStandOnTheirPixels) {
  struct Case {
    float power;
    int32_t indicatorY;
    int32_t red;
    int32_t blue;
  };
  // y = 299 - t * 112 with t = (300 - power) / 200; red tiles (320 - y) / 16 and blue tiles
  // (y + 16 - 200) / 16, rounded half to even.
  const Case cases[] = {
      {300.0f, 299, 1, 7},  // t 0: y 299, 21/16 = 1.3125, 115/16 = 7.1875
      {100.0f, 187, 8, 0},  // t 1: y 187, 133/16 = 8.3125, 3/16 = 0.1875
      {200.0f, 243, 5, 4},  // t 0.5: y 243, 77/16 = 4.8125, 59/16 = 3.6875
      {228.5714f, 259, 4, 5},
      {281.25f, 288, 2, 7},  // y 288.5: the indicator's half goes to the even pixel
  };
  for (const Case& c : cases) {
    const PowerBarLayout bar = LayOutPowerBar(c.power);
    EXPECT_EQ(bar.indicatorY, c.indicatorY) << c.power;
    EXPECT_EQ(bar.redTiles, c.red) << c.power;
    EXPECT_EQ(bar.blueTiles, c.blue) << c.power;
  }
}

TEST(EndSequenceTest, EachReactionHasItsChainOfLines) {
  struct Case {
    int32_t kind;
    int32_t overshoot;
    std::vector<int32_t> lines;
  };
  const Case cases[] = {
      {1, 0, {9}},     {2, 0, {5, 22}},      {3, 1, {8, 23}},
      {3, 0, {6, 29}}, {4, 0, {12, 37, 17}}, {0, 0, {}},
  };
  for (const Case& c : cases) {
    const int32_t* lines = nullptr;
    const int32_t count = cDivingGame::FurtherLines(c.kind, c.overshoot, &lines);
    ASSERT_EQ(count, static_cast<int32_t>(c.lines.size())) << c.kind;
    for (int32_t i = 0; i < count; ++i) EXPECT_EQ(lines[i], c.lines[i]) << c.kind << " " << i;
  }
}

}  // namespace
