#pragma once
// The diving game's small rules that stand on their own: the combination buffer of the flight,
// the judging of an entry by its pitch sector, the take-off's launch and the power bar's pixels.
// The game applies them; tests pin them.

#include <cstdint>

constexpr int32_t kNamedDiveCount = 5;

// The last three action codes pressed in the air: 0 (0x2000), 1 (0x8000), 2 (0x4000).
struct DiveCombo {
  static constexpr uint32_t kLength = 3;
  int32_t codes[kLength] = {};
  uint32_t count = 0;

  // Appends a code; with the buffer full the oldest gives way.
  void Push(int32_t code);
  void Clear() { count = 0; }
  // The named dive (0 aeroplane, 1 corkscrew, 2 pike, 3 torpedo, 4 tuck) whose combination the
  // full buffer holds, or -1.
  int32_t Match() const;
};

// One named dive: its combination, the Jory animation index, its kind and its event.
struct NamedDive {
  int32_t combo[DiveCombo::kLength];
  int32_t kind;   // 1 torpedo, 2 aeroplane, 3 corkscrew, 4 pike, 5 tuck
  int32_t event;  // the dive list's event kind
};
extern const NamedDive kNamedDives[kNamedDiveCount];

// The entry's quality (0, 1, 2) for a pitch already brought into 0..2π; `previous` is kept for
// the one pitch (exactly 2π) that falls in no sector. Sector 7 without a pike sets *badLanding.
int32_t JudgeEntry(float pitch, int32_t namedKind, int32_t previous, int32_t* badLanding);
// Brings an angle into [0, 2π), however many turns away it is.
float WrapTwoPi(float angle);

// The take-off's launch from the power value; on the high board (board 2) a launch above 190
// sets *overshoot and becomes 191.
float LaunchFromPower(float power, int32_t board, int32_t* overshoot);

// Where the power bar's pieces go for a power value (screen pixels of the 640 x 480 HUD).
struct PowerBarLayout {
  float t;
  float y;
  int32_t redTiles;   // 16-pixel tiles from y 304 upwards
  int32_t blueTiles;  // from y 200 downwards
  int32_t indicatorY;
};
PowerBarLayout LayOutPowerBar(float power);
