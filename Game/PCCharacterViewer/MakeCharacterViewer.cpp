#include "Engine/MemoryTracker.h"
#include "Game/Frontend/GameMakers.h"
#include "Game/PCCharacterViewer/PCCharacterViewer.h"

GameBaseClass* MakeCharacterViewer(int32_t mode, int32_t level) {
  return TrackedNew<PCCharacterViewer>("PDFE_StartAnimationViewer", mode, level);
}
