#pragma once
// The makers of the games the front end starts, one defined in each game's folder. A maker that
// gives null means the game is not built into this program, and the front end says so.

#include <cstdint>

class GameBaseClass;

GameBaseClass* MakeDivingGame(int32_t mode, int32_t level);
GameBaseClass* MakeFootballGame(int32_t mode, int32_t level);
GameBaseClass* MakePirateGame(int32_t mode, int32_t level);
GameBaseClass* MakeCharacterViewer(int32_t mode, int32_t level);
