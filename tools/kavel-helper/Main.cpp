// The engine sample harness, run instead of the game.

#include "Engine/PC/PCApp.h"
#include "Game/KavelHelper.h"

int main() {
  KavelHelper::Register();
  return WinMain();
}
