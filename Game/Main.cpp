#include "Engine/PC/PCApp.h"
#include "Game/KavelApp.h"

int main() {
  KavelApp::Register();
  return WinMain();
}
