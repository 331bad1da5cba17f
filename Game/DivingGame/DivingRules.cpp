#include "Game/DivingGame/DivingRules.h"

#include <cmath>

namespace {
constexpr float kTwoPi = 6.2831855f;
constexpr float kSectorAngle = 0.62831855f;
constexpr int32_t kPikeKind = 4;
constexpr int32_t kTuckKind = 5;
constexpr float kMinLaunch = 30.0f;
constexpr float kOvershootLaunch = 190.0f;
constexpr float kHangingLaunch = 191.0f;
constexpr int32_t kHighBoard = 2;

// Quality by sector without and with a pike as the last named dive.
constexpr int32_t kPlainQuality[10] = {0, 1, 2, 1, 0, 0, 1, 2, 1, 0};
constexpr int32_t kPikeQuality[10] = {1, 0, 0, 0, 1, 1, 0, 0, 0, 1};
constexpr int32_t kBackLandingSector = 7;

// Rounds to the nearest integer, halves to even, as the HUD's tile counts are taken.
int32_t RoundEven(float v) { return static_cast<int32_t>(std::nearbyint(v)); }
}  // namespace

const NamedDive kNamedDives[kNamedDiveCount] = {
    {{1, 2, 0}, 2, 3},  // aeroplane
    {{0, 2, 1}, 3, 4},  // corkscrew
    {{1, 0, 2}, 4, 5},  // pike
    {{0, 1, 2}, 1, 2},  // torpedo
    {{2, 1, 0}, 5, 6},  // tuck
};

void DiveCombo::Push(int32_t code) {
  if (count < kLength) {
    codes[count++] = code;
    return;
  }
  codes[0] = codes[1];
  codes[1] = codes[2];
  codes[2] = code;
}

int32_t DiveCombo::Match() const {
  if (count != kLength) return -1;
  for (int32_t i = 0; i < kNamedDiveCount; ++i) {
    const int32_t* want = kNamedDives[i].combo;
    if (codes[0] == want[0] && codes[1] == want[1] && codes[2] == want[2]) return i;
  }
  return -1;
}

float WrapTwoPi(float angle) {
  if (!std::isfinite(angle)) return 0.0f;
  float wrapped = std::fmod(angle, kTwoPi);
  if (wrapped < 0.0f) wrapped += kTwoPi;
  // fmod of a value just below a whole turn can round back up to the turn itself.
  return wrapped >= kTwoPi ? 0.0f : wrapped;
}

int32_t JudgeEntry(float pitch, int32_t namedKind, int32_t previous, int32_t* badLanding) {
  if (namedKind == kTuckKind) return 1;
  const int32_t sector = static_cast<int32_t>(pitch / kSectorAngle);
  if (sector < 0 || sector > 9) return previous;
  if (namedKind == kPikeKind) return kPikeQuality[sector];
  if (sector == kBackLandingSector && badLanding) *badLanding = 1;
  return kPlainQuality[sector];
}

float LaunchFromPower(float power, int32_t board, int32_t* overshoot) {
  float launch = 300.0f - power;
  if (launch < kMinLaunch) launch = kMinLaunch;
  const int32_t over = board == kHighBoard && launch > kOvershootLaunch ? 1 : 0;
  if (over) launch = kHangingLaunch;
  if (overshoot) *overshoot = over;
  return launch;
}

PowerBarLayout LayOutPowerBar(float power) {
  PowerBarLayout out;
  out.t = (300.0f - power) / 200.0f;
  out.y = 299.0f - out.t * 112.0f;
  out.redTiles = RoundEven((320.0f - out.y) * 0.0625f);
  out.blueTiles = RoundEven((out.y + 16.0f - 200.0f) * 0.0625f);
  out.indicatorY = RoundEven(out.y);
  return out;
}
