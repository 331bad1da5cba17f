#pragma once
// The game side's application object: it lists the display modes, keeps the pause word, clears
// the screen each frame and ends the program on Escape.

#include <cstdint>

#include "Engine/BaseGameApp.h"

class KavelApp : public BaseGameApp {
 public:
  KavelApp() = default;
  ~KavelApp() override;

  int32_t Init() override;
  void Update() override;
  void CleanUp() override;
  int32_t MovieSkipCheck(int32_t a, int32_t b) override;

  // Registers KavelApp as the game side of the application object.
  static void Register();

 private:
  int32_t m_frame = 0;
  int32_t m_initialised = 0;
};
