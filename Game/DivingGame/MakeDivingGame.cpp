#include "Engine/MemoryTracker.h"
#include "Game/DivingGame/cDivingGame.h"
#include "Game/Frontend/GameMakers.h"

GameBaseClass* MakeDivingGame(int32_t mode, int32_t level) {
  return TrackedNew<cDivingGame>("cDivingGame::Make", mode, level);
}
