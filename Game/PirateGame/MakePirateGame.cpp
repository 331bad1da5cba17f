#include "Engine/MemoryTracker.h"
#include "Game/Frontend/GameMakers.h"
#include "Game/PirateGame/cpirategame.h"

GameBaseClass* MakePirateGame(int32_t mode, int32_t level) {
  return TrackedNew<cpirategame>("cpirategame::Make", mode, level);
}
