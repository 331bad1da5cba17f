#pragma once
// The in-game message: one localised text shown centred at a height for a number of ticks.

#include <cstdint>

class BaseFont;
class RenderWindow;

struct IngameText {
  int32_t shown = 0;  // 1 while shown, 0 once its time is up
  const char16_t* text = nullptr;
  int32_t word = 0;  // passed through for the game
  float remaining = 0.0f;
  int32_t y = 0;

  void Update(float step);
  void Draw(RenderWindow* window, BaseFont* font) const;
};

// Shows localised text `textId` centred at `y` for `duration` ticks.
void ShowIngameMessage(IngameText* message, int32_t textId, int32_t y, float duration, int32_t word);
