#pragma once
// Floating score popups: a number that rises from a point of the world and fades, red when
// negative. The popups live in a fixed table, so adding one never allocates.

#include <cstdint>

#include "Engine/FastMath.h"

class BaseFont;
class RenderWindow;

class BonusScoreHandler {
 public:
  static constexpr int32_t kMaxPopups = 16;
  static constexpr float kLifeTicks = 60.0f;
  static constexpr float kRisePixels = 40.0f;

  // Adds a popup; when the table is full the oldest one gives way.
  void Add(int32_t value, const Vector4& position);
  void Update(float step);
  void Draw(RenderWindow* window, BaseFont* font) const;
  // Popups still showing (0 = none left).
  int32_t GetListLength() const { return m_count; }
  void Clear() { m_count = 0; }

 private:
  struct Popup {
    int32_t value;
    Vector4 position;
    float age;
  };
  Popup m_popups[kMaxPopups] = {};
  int32_t m_count = 0;
};
