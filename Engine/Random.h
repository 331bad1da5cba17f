#pragma once
// The program's one pseudo-random sequence: a 32-bit linear congruential generator shared by the
// engine and every game. Two machines of a two-player game seed it alike and make the same draws
// in the same order, so every result here must come out bit for bit the same on any x86-64 build
// (hence the exact double-then-float steps of the float draws).

#include <cstdint>

#include "Engine/Assert.h"

class RandomGenerator {
 public:
  static constexpr uint32_t kStartSeed = 1664525;
  static constexpr uint32_t kMultiplier = 1664525;
  static constexpr uint32_t kIncrement = 1013904223;

  constexpr RandomGenerator() = default;

  // All 32 bits of the next state.
  uint32_t RandRaw() {
    ++m_count;
    return Step();
  }
  // 0 .. 2^31 - 1.
  int32_t Rand() {
    ++m_count;
    return static_cast<int32_t>(Step() >> 1);
  }
  // 0 .. 1 inclusive: the 31-bit draw times 2^-31, rounded once to float, so the 64 largest
  // draws give exactly 1.
  float RandFloat() {
    ++m_count;
    return static_cast<float>(static_cast<double>(Step() >> 1) * 0x1p-31);
  }
  float RandScaled(float scale) { return RandFloat() * scale; }
  // a + RandFloat × (b - a), each step rounded to float.
  float RandRange(float a, float b) {
    float span = b - a;
    float offset = RandFloat() * span;
    return a + offset;
  }
  // -1 .. 1 inclusive.
  float RandSigned() { return static_cast<float>(2.0 * static_cast<double>(RandFloat()) - 1.0); }
  // The next state modulo n. Counts as two draws, though the state moves once: both machines of
  // a two-player game count alike, which is all that matters. n = 0 is a caller's mistake: it
  // gives 0 (and a report) rather than a division by zero, and still draws.
  uint32_t RandMod(uint32_t n) {
    m_count += 2;
    uint32_t value = Step();
    KASSERT(n != 0);
    return n ? value % n : 0;
  }

  // Sets the state and restarts the draw count; no draw.
  void SeedRand(uint32_t seed) {
    m_seed = seed;
    m_count = 0;
  }
  uint32_t GetSeed() const { return m_seed; }
  uint32_t GetRandCount() const { return m_count; }
  // Back to the state of a fresh program.
  void Reset() { *this = RandomGenerator(); }

 private:
  uint32_t Step() {
    m_seed = m_seed * kMultiplier + kIncrement;
    return m_seed;
  }

  uint32_t m_seed = kStartSeed;
  uint32_t m_count = 0;
};

// The program's generator (the application object hands out this one too).
extern constinit RandomGenerator g_globalRandom;
inline RandomGenerator& GlobalRandom() { return g_globalRandom; }

// Draws from the program's generator.
inline uint32_t RandRaw() { return GlobalRandom().RandRaw(); }
inline int32_t Rand() { return GlobalRandom().Rand(); }
inline float RandFloat() { return GlobalRandom().RandFloat(); }
inline float RandScaled(float scale) { return GlobalRandom().RandScaled(scale); }
inline float RandRange(float a, float b) { return GlobalRandom().RandRange(a, b); }
inline float RandSigned() { return GlobalRandom().RandSigned(); }
inline uint32_t RandMod(uint32_t n) { return GlobalRandom().RandMod(n); }
inline void SeedRand(uint32_t seed) { GlobalRandom().SeedRand(seed); }
inline uint32_t GetSeed() { return GlobalRandom().GetSeed(); }
inline uint32_t GetRandCount() { return GlobalRandom().GetRandCount(); }
