#pragma once
// The scripted sequence runner: a game hands it a list of step codes and calls Update once per
// tick; each call runs one step of the script. The codes the games use:
//   0  run the game's fade timer forward and wait for it
//   1  run the fade timer backward and wait for it
//   2  wait 60 ticks
//   10 call the game's HoldPlay
//   11 call the game's StartPlay
//   15 end: Update reports the script finished
// A code above 15 is no step: the runner stays on it and reports not finished, which is how a
// script holds at its end. A script is always given with its length, and running off its end
// holds the same way, so a script without an end code never reads past its last word.

#include <cstdint>

class GameBaseClass;

class GameSequence {
 public:
  static constexpr int32_t kFadeForward = 0;
  static constexpr int32_t kFadeBackward = 1;
  static constexpr int32_t kWait = 2;
  static constexpr int32_t kHoldPlay = 10;
  static constexpr int32_t kStartPlay = 11;
  static constexpr int32_t kEnd = 15;
  static constexpr float kWaitTicks = 60.0f;

  // Starts `script` (kept by pointer: games hand in static tables) from its first word. The only
  // way to start one: the length given here is what keeps the runner inside the script.
  void Start(const int32_t* script, int32_t length);
  // Runs one step for `game`; 1 once the script has ended, else 0.
  int32_t Update(GameBaseClass* game);

  const int32_t* m_script = nullptr;
  int32_t m_length = 0;
  int32_t m_index = 0;
  int32_t m_subStep = 0;
  float m_timer = 0.0f;
};
