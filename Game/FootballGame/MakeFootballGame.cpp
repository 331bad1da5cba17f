#include "Engine/MemoryTracker.h"
#include "Game/FootballGame/FootballGame.h"
#include "Game/Frontend/GameMakers.h"

GameBaseClass* MakeFootballGame(int32_t mode, int32_t level) {
  return TrackedNew<cfootballgame>("cfootballgame::Make", mode, level);
}
