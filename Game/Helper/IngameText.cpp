#include "Game/Helper/IngameText.h"

#include "Engine/Font.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Game/Localisation/LocalisedText.h"

namespace {
constexpr uint32_t kMessageColour = 0xFFFFFFFFu;
constexpr int32_t kHudWidth = 640;
}  // namespace

void IngameText::Update(float step) {
  if (!shown) return;
  remaining -= step;
  if (remaining <= 0.0f) {
    remaining = 0.0f;
    shown = 0;
  }
}

void IngameText::Draw(RenderWindow* window, BaseFont* font) const {
  if (!shown || !text || !window || !font) return;
  const int32_t x = (kHudWidth - font->GetStringWidth(text)) / 2;
  window->PrintText(text, x, y, kMessageColour, 0.0f, font);
}

void ShowIngameMessage(IngameText* message, int32_t textId, int32_t y, float duration, int32_t word) {
  if (!message) return;
  message->text = GetLocalisedText(textId);
  message->y = y;
  message->remaining = duration;
  message->word = word;
  message->shown = duration > 0.0f ? 1 : 0;
}
