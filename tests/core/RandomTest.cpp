#include <gtest/gtest.h>

#include <cstdint>

#include "Engine/Random.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

constexpr uint32_t kA = 1664525u;
constexpr uint32_t kC = 1013904223u;

// The multiplier's inverse modulo 2^32 (Newton's iteration doubles the correct bits each step),
// so a test can pick the state that the next draw will produce.
constexpr uint32_t InverseOfA() {
  uint32_t x = kA;  // correct to 3 bits for any odd number
  for (int i = 0; i < 5; ++i) x *= 2u - kA * x;
  return x;
}
static_assert(kA * InverseOfA() == 1u);

// Seeds `g` so that its next draw leaves the state `next`.
void SeedFor(RandomGenerator& g, uint32_t next) { g.SeedRand((next - kC) * InverseOfA()); }

TEST(RandomTest, FirstDrawsFromTheStartSeed) {
  RandomGenerator g;
  EXPECT_EQ(g.GetSeed(), 1664525u);
  EXPECT_EQ(g.GetRandCount(), 0u);
  EXPECT_EQ(g.RandRaw(), 0x53A75008u);
  EXPECT_EQ(g.GetRandCount(), 1u);
  EXPECT_EQ(g.GetSeed(), 0x53A75008u);
  EXPECT_EQ(g.RandRaw(), 0x53A75008u * kA + kC);

  RandomGenerator h;
  EXPECT_EQ(h.Rand(), 0x29D3A804);
  EXPECT_EQ(h.GetRandCount(), 1u);

  h.SeedRand(0);
  EXPECT_EQ(h.GetRandCount(), 0u);
  EXPECT_EQ(h.GetSeed(), 0u);
  EXPECT_EQ(h.RandRaw(), 1013904223u);
  h.Reset();
  EXPECT_EQ(h.GetSeed(), 1664525u);
  EXPECT_EQ(h.GetRandCount(), 0u);
}

TEST(RandomTest, FloatDrawsReachBothEndsExactly) {
  RandomGenerator g;
  // The 31-bit draw is the state shifted right once.
  auto drawFor = [&](uint32_t value31) {
    SeedFor(g, value31 << 1);
    return g.RandFloat();
  };
  EXPECT_EQ(drawFor(0), 0.0f);
  EXPECT_EQ(drawFor(0x7FFFFFFFu), 1.0f);
  EXPECT_EQ(drawFor(0x80000000u - 64), 1.0f);  // the 64 largest round up to 1
  EXPECT_LT(drawFor(0x80000000u - 65), 1.0f);
  EXPECT_EQ(drawFor(0x40000000u), 0.5f);
  EXPECT_EQ(drawFor(1), 0x1p-31f);

  SeedFor(g, 0xFFFFFFFFu);
  EXPECT_EQ(g.RandSigned(), 1.0f);
  SeedFor(g, 1);  // draws 0
  EXPECT_EQ(g.RandSigned(), -1.0f);
  SeedFor(g, 0x40000000u << 1);  // draws 0.5
  EXPECT_EQ(g.RandSigned(), 0.0f);
  SeedFor(g, 0x40000000u << 1);
  EXPECT_EQ(g.RandScaled(6.0f), 3.0f);
  SeedFor(g, 0x20000000u << 1);  // draws 0.25
  EXPECT_EQ(g.RandRange(-2.0f, 6.0f), 0.0f);
  EXPECT_EQ(g.GetRandCount(), 1u);

  // The product is narrowed before the sum: for this draw, keeping it in double precision
  // would give 0x1.00643ep+0 instead.
  SeedFor(g, 32848633u << 1);
  EXPECT_EQ(g.RandRange(1.0f, 1.1f), 0x1.00644p+0f);

  for (float a : {0.0f, -3.5f, 1e30f, 7.25f}) {
    g.SeedRand(99);
    EXPECT_EQ(g.RandRange(a, a), a);
  }
}

TEST(RandomTest, RandModCountsTwoDraws) {
  RandomGenerator g;
  EXPECT_EQ(g.RandMod(1), 0u);
  EXPECT_EQ(g.GetSeed(), 0x53A75008u);  // the state moved once
  EXPECT_EQ(g.GetRandCount(), 2u);
  EXPECT_EQ(g.RandMod(1000), (0x53A75008u * kA + kC) % 1000u);
  EXPECT_EQ(g.GetRandCount(), 4u);
  // Unsigned division: the top bit of the state counts.
  SeedFor(g, 0xFFFFFFFFu);
  EXPECT_EQ(g.RandMod(10), 0xFFFFFFFFu % 10u);
}

TEST(RandomTest, RandModByZeroGivesZeroAndStillDraws) {
  ScopedTempDir dir;  // the report goes to the debug log
  AssertCounter reports;
  RandomGenerator g;
  EXPECT_EQ(g.RandMod(0), 0u);
  EXPECT_EQ(g.GetSeed(), 0x53A75008u);
  EXPECT_EQ(g.GetRandCount(), 2u);
  EXPECT_EQ(reports.Count(), 1u);
}

TEST(RandomTest, FreeFunctionsShareTheProgramGenerator) {
  RandomGenerator saved = GlobalRandom();
  GlobalRandom().Reset();
  EXPECT_EQ(RandRaw(), 0x53A75008u);
  RandomGenerator copy = GlobalRandom();
  EXPECT_EQ(Rand(), copy.Rand());
  EXPECT_EQ(RandFloat(), copy.RandFloat());
  EXPECT_EQ(RandSigned(), copy.RandSigned());
  EXPECT_EQ(RandScaled(3.0f), copy.RandScaled(3.0f));
  EXPECT_EQ(RandRange(1.0f, 2.0f), copy.RandRange(1.0f, 2.0f));
  EXPECT_EQ(RandMod(7), copy.RandMod(7));
  EXPECT_EQ(GetRandCount(), 8u);
  EXPECT_EQ(GetSeed(), copy.GetSeed());
  SeedRand(0);
  EXPECT_EQ(RandRaw(), 1013904223u);
  EXPECT_EQ(GetRandCount(), 1u);
  GlobalRandom() = saved;
}

}  // namespace
