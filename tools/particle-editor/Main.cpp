// The particle editor, run instead of the game.

#include "Engine/PC/PCApp.h"
#include "Game/ParticleEditor.h"

int main() {
  KavelParticle::Register();
  return WinMain();
}
