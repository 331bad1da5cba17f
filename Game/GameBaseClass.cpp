#include "Game/GameBaseClass.h"

#include <sys/stat.h>

#include <cstdio>

#include "Engine/Font.h"
#include "Engine/LogFile.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Game/Helper/ScopedDataFolder.h"
#include "Game/Sound/CSoundWrapper.h"
#include "Platform/System/HostPath.h"

namespace {
constexpr const char* kFontFolder = "data\\Frontend\\";
constexpr const char* kMessageFontName = "TYPEWRITERBOLD_10.wft";
constexpr uint32_t kHudTextColour = 0xFFFFFFFFu;

// Where each HUD piece stands on the 640 x 480 plane. The clock stands centred at the top,
// clear of the corners, where the games keep pieces of their own (the penalty game's wind bar
// takes the top right).
constexpr float kScoreX = 16.0f, kScoreY = 16.0f;
constexpr float kTimeCentreX = 320.0f, kTimeY = 16.0f;
constexpr float kCounterX = 16.0f, kCounterY = 440.0f;
constexpr float kLivesX = 16.0f, kLivesY = 48.0f;
constexpr float kIconGap = 4.0f;
constexpr float kIconTextGap = 6.0f;
constexpr float kFallbackIconSize = 24.0f;
constexpr int32_t kMaxLivesDrawn = 9;

// How each counter kind writes its numbers: the value alone, or the value over the target.
struct CounterFormat {
  const char* format;
  bool withTarget;
};
constexpr CounterFormat kCounterFormats[HudTextures::kCounterKinds] = {
    {"%d", false},       {"%d/%d", true}, {"%03d", false}, {"%d/%d", true}, {"%d", false},
    {"%d/%d", true},     {"%02d", false}, {"%d", false},   {"%d/%d", true}, {"%02d/%02d", true},
    {"%02d/%02d", true}, {"%d/%d", true}, {"%d/%d", true},
};

float IconWidth(int32_t texture) {
  const int32_t w = texture != -1 ? GetApp().GetTexture()->GetWidth(texture) : 0;
  return w > 0 ? static_cast<float>(w) : kFallbackIconSize;
}

float TextWidth(BaseFont* font, const char* text) {
  return font ? static_cast<float>(font->GetStringWidth(text)) : 0.0f;
}

// An icon with a text after it; what the two cover.
HudRect DrawIconAndText(GameBaseClass* game, RenderWindow* window, int32_t icon, float x, float y,
                        const char* text) {
  HudRect covered = DrawHudTexture(window, icon, x, y);
  BaseFont* font = game->GetMessageFont();
  if (!font) return covered;
  const float textX = x + IconWidth(icon) + kIconTextGap;
  window->PrintText(text, static_cast<int32_t>(textX), static_cast<int32_t>(y), kHudTextColour,
                    0.0f, font);
  covered.Include(HudRect{textX, y, textX + TextWidth(font, text),
                          y + static_cast<float>(font->GetLineHeight())});
  return covered;
}
}  // namespace

GameBaseClass::GameBaseClass(int32_t mode, int32_t level) {
  if (CSoundWrapper* sound = GetSoundWrapper()) sound->StopMusic();
  m_numPlayers = mode == kModeTwoPlayer ? 2 : 1;
  m_mode = mode;
  m_level = level;
  {
    ScopedDataFolder folder(kFontFolder, "GameBaseClass::GameBaseClass");
    FontFactory* fonts = GetApp().GetFontFactory();
    const int32_t before = fonts->GetCount();
    m_messageFont = fonts->AddFont(kMessageFontName);
    m_ownsMessageFont = m_messageFont >= 0 && fonts->GetCount() > before ? 1 : 0;
  }
  m_hud.Load();
}

GameBaseClass::~GameBaseClass() {
  m_hud.Release();
  if (m_messageFont >= 0 && m_ownsMessageFont) GetApp().GetFontFactory()->DeleteFont(m_messageFont);
  m_messageFont = -1;
  m_ownsMessageFont = 0;
}

BaseFont* GameBaseClass::GetMessageFont() const {
  return m_messageFont >= 0 ? GetApp().GetFontFactory()->GetFont(m_messageFont) : nullptr;
}

int32_t GameBaseClass::GetScore(int32_t player) const {
  return (player >= 0 && player < kMaxPlayers) ? m_score[player] : 0;
}

void GameBaseClass::AddScore(int32_t player, int32_t points) {
  if (player >= 0 && player < kMaxPlayers) m_score[player] += points;
}

void GameBaseClass::UpdateIngameText(float step) {
  m_ingameText.Update(step);
  m_fadeTimer.Update(step);
  m_bonusScores.Update(step);
}

void GameBaseClass::DrawIngameText(RenderWindow* window) {
  BaseFont* font = GetMessageFont();
  m_ingameText.Draw(window, font);
  m_bonusScores.Draw(window, font);
}

void GameBaseClass::NoteHudPiece(const char* name, const HudRect& rect) {
  if (rect.IsEmpty() || m_hudPieceCount >= kMaxHudPieces) return;
  m_hudPieces[m_hudPieceCount++] = HudPiece{name, rect};
}

void GameBaseClass::DrawScore(RenderWindow* window, int32_t player) {
  if (!window) return;
  char text[16];
  std::snprintf(text, sizeof(text), "%06d", GetScore(player));
  NoteHudPiece("score", DrawIconAndText(this, window, m_hud.score, kScoreX, kScoreY, text));
}

void GameBaseClass::DrawTime(RenderWindow* window, float frames) {
  if (!window) return;
  const int32_t rate = GetApp().GetTargetFrameRate() > 0 ? GetApp().GetTargetFrameRate() : 60;
  // Whole seconds left, rounded up, so the clock shows 00:00 only when the time is out.
  const int32_t ticks = frames > 0.0f ? static_cast<int32_t>(frames) : 0;
  const int32_t seconds = (ticks + rate - 1) / rate;
  char text[16];
  std::snprintf(text, sizeof(text), "%02d:%02d", seconds / 60, seconds % 60);
  const float width = IconWidth(m_hud.clock) + kIconTextGap + TextWidth(GetMessageFont(), text);
  const float x = static_cast<float>(static_cast<int32_t>(kTimeCentreX - width * 0.5f));
  NoteHudPiece("clock", DrawIconAndText(this, window, m_hud.clock, x, kTimeY, text));
}

void GameBaseClass::DrawCounter(RenderWindow* window, int32_t kind, int32_t value, int32_t target) {
  if (!window || kind < 0 || kind >= HudTextures::kCounterKinds) return;
  const CounterFormat& format = kCounterFormats[kind];
  char text[32];
  if (format.withTarget)
    std::snprintf(text, sizeof(text), format.format, value, target);
  else
    std::snprintf(text, sizeof(text), format.format, value);
  NoteHudPiece("counter",
               DrawIconAndText(this, window, m_hud.counters[kind], kCounterX, kCounterY, text));
}

void GameBaseClass::DrawLives(RenderWindow* window, int32_t lives) {
  if (!window) return;
  const int32_t shown = lives < 0 ? 0 : (lives > kMaxLivesDrawn ? kMaxLivesDrawn : lives);
  const float step = IconWidth(m_hud.lives) + kIconGap;
  HudRect covered;
  for (int32_t i = 0; i < shown; ++i)
    covered.Include(DrawHudTexture(window, m_hud.lives, kLivesX + step * i, kLivesY));
  NoteHudPiece("lives", covered);
}

bool GameBaseClass::HasDataFolder(const char* folder, const char* owner) {
  struct stat st {};
  if (folder && stat(HostPath(folder).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  DebugLog().Write("%s: the data folder %s is missing, the game cannot load\n", owner ? owner : "",
                   folder ? folder : "");
  return false;
}
