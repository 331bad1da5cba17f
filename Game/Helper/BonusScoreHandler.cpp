#include "Game/Helper/BonusScoreHandler.h"

#include <cstdio>

#include "Engine/Font.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderWindow.h"

namespace {
constexpr uint32_t kPositiveColour = 0xFFFFFF40u;
constexpr uint32_t kNegativeColour = 0xFFFF2020u;
constexpr float kHudWidth = 640.0f;
constexpr float kHudHeight = 480.0f;
}  // namespace

void BonusScoreHandler::Add(int32_t value, const Vector4& position) {
  if (m_count == kMaxPopups) {
    for (int32_t i = 1; i < m_count; ++i) m_popups[i - 1] = m_popups[i];
    --m_count;
  }
  m_popups[m_count++] = {value, position, 0.0f};
}

void BonusScoreHandler::Update(float step) {
  int32_t kept = 0;
  for (int32_t i = 0; i < m_count; ++i) {
    Popup popup = m_popups[i];
    popup.age += step;
    if (popup.age < kLifeTicks) m_popups[kept++] = popup;
  }
  m_count = kept;
}

void BonusScoreHandler::Draw(RenderWindow* window, BaseFont* font) const {
  if (!window || !font || m_count == 0) return;
  BaseDisplay* display = GetApp().GetDisplay();
  const float width = static_cast<float>(window->GetWidth() > 0 ? window->GetWidth() : 640);
  const float height = static_cast<float>(window->GetHeight() > 0 ? window->GetHeight() : 480);
  for (int32_t i = 0; i < m_count; ++i) {
    const Popup& popup = m_popups[i];
    Vector4 screen;
    display->ProjectToScreen(&screen, &popup.position);
    // Behind the eye the projection turns over; such a popup is not drawn.
    if (screen.w == 0.0f || screen.z < 0.0f || screen.z > 1.0f) continue;
    char text[16];
    std::snprintf(text, sizeof(text), "%d", popup.value);
    const float rise = kRisePixels * popup.age / kLifeTicks;
    const int32_t x = static_cast<int32_t>(screen.x * kHudWidth / width) - font->GetStringWidth(text) / 2;
    const int32_t y = static_cast<int32_t>(screen.y * kHudHeight / height - rise);
    window->PrintText(text, x, y, popup.value < 0 ? kNegativeColour : kPositiveColour, 0.0f, font);
  }
}
