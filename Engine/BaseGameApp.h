#pragma once
// What the application object needs of the game side: the game-side application object, which
// the game registers before start-up (the engine does not link against the game).

#include <cstdint>

class BaseGameApp {
 public:
  virtual ~BaseGameApp() = default;
  // Creates the game's services; called once, after the frame timer exists.
  virtual int32_t Init() = 0;
  // The game side's per-frame work.
  virtual void Update() = 0;
  virtual void CleanUp() = 0;
  // 0 when the movie skip button is pressed, else 1.
  virtual int32_t MovieSkipCheck(int32_t a, int32_t b) = 0;
};

using GameAppFactory = BaseGameApp* (*)();
