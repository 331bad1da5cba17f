#pragma once
// The pirate game's rules that need no application: the hole record, node numbers from names,
// the deal and the difficulty's holes out of play, the selection searches and the points of a
// pair. The game calls them; the tests pin them.

#include <cstdint>

#include "Engine/FastMath.h"

inline constexpr int32_t kHoles = 30;
inline constexpr int32_t kPirateKinds = 10;
inline constexpr int32_t kLinePositions = 10;

// One board hole: 26 words.
struct PirateHole {
  // The geometry handle of the hole's "object" node (kept; not read by play).
  int32_t objectWord;
  // The "object" node's world position: the translation row of its matrix, w kept. The camera
  // looks here when the hole is selected; x and y drive the selection searches.
  Vector4 position;
  // The first two rows of the "object" node's matrix (kept; not read by play). Together with the
  // position these are the node's "two transform vectors" the record copies.
  Vector4 objectRows[2];
  int32_t selected;
  int32_t occupied;
  int32_t kind;
  // Index of the hole's "object" node in the scene; -1 when the scene has none.
  int32_t objectNode;
  int32_t outOfPlay;
  Vector4 piratePos;  // where the pirate stands in its hole
  Vector4 targetPos;  // where it lands when it leaps out
};
static_assert(sizeof(PirateHole) == 26 * 4, "a hole record is 26 words");

// The number after `prefix` at the start of `name`: exactly two decimal digits, below `limit`.
// -1 (with a log line) when the name has the prefix but no such number; -1 without a word when
// the name does not start with the prefix.
int32_t ReadNodeNumber(const char* name, const char* prefix, int32_t limit);

// Deals the board from the shared generator: per hole in order, r = RandMod(15) drawn again
// while r is already used twice; r < 10 hides a pirate of kind r. Always two of each kind and
// ten empty holes.
void DealBoard(PirateHole* holes);
// Marks holes out of play by difficulty: 0 every empty hole, 1 five of the ten empty ones
// (RandMod(10) among them in hole order, drawn again while the chosen one is out), 2 none.
void ApplyDifficulty(PirateHole* holes, int32_t difficulty);
// Holes in play.
int32_t CountInPlay(const PirateHole* holes);

// Direction bits of the searches.
enum PirateDirection : int32_t {
  kPirateUp = 1,
  kPirateDown = 2,
  kPirateLeft = 4,
  kPirateRight = 8,
};
// The hole a straight move in `direction` takes from `origin`: in play, not selected, strictly
// on the moving side and within |cross / along| < 1.1; the nearest in x and y wins, the lower
// index on a tie. -1 when there is none.
int32_t FindStraightMove(const PirateHole* holes, const Vector4& origin, int32_t direction);
// The hole a diagonal move takes: `side` +1 right / -1 left, `vertical` +1 up / -1 down; in
// play, not `selected`, on the vertical side, |dx / dy| within 0.1 .. 2.5 with the sign of the
// side. Nearest wins as above; -1 when there is none.
int32_t FindDiagonalMove(const PirateHole* holes, const Vector4& origin, int32_t selected,
                         int32_t side, int32_t vertical);

// Points of a pair found after `misses` misses since the last pair (9 at most count).
inline int32_t PairPoints(int32_t misses) {
  if (misses > 9) misses = 9;
  if (misses < 0) misses = 0;
  return (10 - misses) * 1000;
}
