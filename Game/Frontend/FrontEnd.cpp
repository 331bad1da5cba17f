#include "Game/Frontend/FrontEnd.h"

#include <cstring>
#include <iterator>

#include "Engine/Font.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCPolygonPools.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Game/Frontend/PDFE.h"
#include "Game/Frontend/VideoModes.h"
#include "Game/GameBaseClass.h"
#include "Game/Helper/HudDraw.h"
#include "Game/Helper/InputDevice.h"
#include "Game/Helper/ScopedDataFolder.h"
#include "Game/Localisation/LocalisedText.h"
#include "Game/Multiplayer/PC/TwoPlayerLink.h"

namespace {

CFrontEnd* s_frontEnd = nullptr;

constexpr const char* kFontFolder = "data\\Frontend\\";
constexpr const char* kFontName = "TYPEWRITERBOLD_10.wft";

// Text ids of the front end's own texts.
enum FrontEndText : int32_t {
  kTextDiving = 1000,
  kTextFootball = 1001,
  kTextPirate = 1002,
  kTextMode = 1003,
  kTextNormal = 1004,
  kTextDifficulty = 1007,
  kTextEasy = 1008,
  kTextVideo = 1011,
  kTextQuit = 1012,
  kTextLoading = 1013,
  kTextTwoPlayers = 1019,
  kTextPaused = 1022,
  kTextBack = 1024,
  kTextWaiting = 1029,
};

constexpr uint32_t kTextColour = 0xFFE0E0E0u;
constexpr uint32_t kSelectedColour = 0xFFFFD040u;
constexpr uint32_t kTitleColour = 0xFFFFFFFFu;
constexpr uint32_t kPanelColour = 0xC0203048u;
constexpr uint32_t kSelectionBarColour = 0x80406090u;
constexpr float kClearColour[4] = {24.0f, 32.0f, 56.0f, 255.0f};

constexpr int32_t kMenuTop = 120;
constexpr int32_t kLineHeight = 26;
constexpr int32_t kLabelX = 200;
constexpr int32_t kValueX = 400;
constexpr int32_t kVideoRowsShown = 12;
constexpr int32_t kPanelTextureSize = 32;

// The modes the MODE item goes through, in order; the two-player games have items of their own.
constexpr int32_t kModeCycle[] = {kModeNormal, kModeChallenge1, kModeChallenge2};
constexpr int32_t kModeCycleLength = static_cast<int32_t>(std::size(kModeCycle));

// The mode `step` places along the cycle from `mode`; a mode off the cycle goes back to normal.
int32_t StepMode(int32_t mode, int32_t step) {
  for (int32_t i = 0; i < kModeCycleLength; ++i)
    if (kModeCycle[i] == mode) return kModeCycle[(i + step + kModeCycleLength) % kModeCycleLength];
  return kModeNormal;
}

int32_t ItemText(int32_t item) {
  switch (item) {
    case CFrontEnd::kItemDiving: return kTextDiving;
    case CFrontEnd::kItemFootball:
    case CFrontEnd::kItemFootballTwoPlayer: return kTextFootball;
    case CFrontEnd::kItemPirate:
    case CFrontEnd::kItemPirateTwoPlayer: return kTextPirate;
    case CFrontEnd::kItemMode: return kTextMode;
    case CFrontEnd::kItemDifficulty: return kTextDifficulty;
    case CFrontEnd::kItemVideo: return kTextVideo;
    default: return kTextQuit;
  }
}

}  // namespace

CFrontEnd* GetFrontEnd() { return s_frontEnd; }

int32_t CFrontEnd::InitFE() {
  s_frontEnd = this;
  App& app = GetApp();
  RenderWindow* window = TrackedNew<RenderWindow>("CFrontEnd::InitFE");
  if (window) {
    const Vector4 clear(kClearColour[0], kClearColour[1], kClearColour[2], kClearColour[3]);
    window->Init(Vector2(0.0f, 0.0f),
                 Vector2(static_cast<float>(app.GetWidth()), static_cast<float>(app.GetHeight())),
                 clear, BaseRenderWindow::kDefaultFlags, kSortKey);
    m_windowId = app.AddWindow(window);
  }
  {
    ScopedDataFolder folder(kFontFolder, "CFrontEnd::InitFE");
    m_fontId = app.GetFontFactory()->AddFont(kFontName);
  }
  MakePanelTexture();
  Resume();
  return m_windowId >= 0 ? 1 : 0;
}

void CFrontEnd::CleanUp() {
  App& app = GetApp();
  if (m_fontId >= 0) app.GetFontFactory()->DeleteFont(m_fontId);
  m_fontId = -1;
  if (m_panelTexture != -1) app.GetTexture()->DeleteSystemTexture(m_panelTexture);
  m_panelTexture = -1;
  if (m_windowId >= 0) app.DeleteWindow(m_windowId);
  m_windowId = -1;
  m_screen = Screen::Hidden;
  if (s_frontEnd == this) s_frontEnd = nullptr;
}

void CFrontEnd::MakePanelTexture() {
  BaseTexture* textures = GetApp().GetTexture();
  m_panelTexture = textures->CreateSystemTexture(kPanelTextureSize, kPanelTextureSize, 0);
  uint8_t* pixels = m_panelTexture != -1 ? textures->GetPixels(m_panelTexture) : nullptr;
  if (!pixels) return;
  std::memset(pixels, 0xFF, kPanelTextureSize * kPanelTextureSize * 4);
  textures->UploadPixels(m_panelTexture);
}

RenderWindow* CFrontEnd::Window() const {
  return m_windowId >= 0 ? GetApp().FindWindow(m_windowId) : nullptr;
}

BaseFont* CFrontEnd::Font() const {
  return m_fontId >= 0 ? GetApp().GetFontFactory()->GetFont(m_fontId) : nullptr;
}

// ---- Screens

// While a game runs the window sleeps: it would otherwise set the display's matrices from its
// own camera after the game's windows, and a game projecting points in its Render would use
// them. It wakes, without clearing, only to draw the pause overlay.
void CFrontEnd::SetWindowDrawsMenus(bool menus) {
  if (RenderWindow* window = Window())
    window->SetFlags(menus ? BaseRenderWindow::kDefaultFlags : BaseRenderWindow::kSuspended);
}

void CFrontEnd::ShowLoadingScreen() {
  m_screen = Screen::Loading;
  SetWindowDrawsMenus(true);
}

void CFrontEnd::ShowMessage(const char16_t* first, const char16_t* second) {
  m_message[0] = first;
  m_message[1] = second;
  m_screen = Screen::Message;
  SetWindowDrawsMenus(true);
}

void CFrontEnd::Hide() {
  m_screen = Screen::Hidden;
  SetWindowDrawsMenus(false);
}

void CFrontEnd::Resume() {
  m_screen = Screen::Menu;
  SetWindowDrawsMenus(true);
  if (!IsItemShown(m_selection)) m_selection = kItemDiving;
}

bool CFrontEnd::IsItemShown(int32_t item) const {
  if (item == kItemFootballTwoPlayer || item == kItemPirateTwoPlayer) {
    const TwoPlayerLink* link = GetTwoPlayerLink();
    return link && link->IsConnected();
  }
  return item >= 0 && item < kItemCount;
}

// ---- Input

void CFrontEnd::Update(const InputDevice& input) {
  switch (m_screen) {
    case Screen::Menu: UpdateMenu(input); break;
    case Screen::Video: UpdateVideo(input); break;
    case Screen::Message:
      if (input.IsButtonPressed(kInputSelect | kInputBack | kInputButtonE)) Resume();
      break;
    case Screen::Loading:
    case Screen::Hidden: break;
  }
  Draw();
}

void CFrontEnd::MoveSelection(int32_t step) {
  int32_t item = m_selection;
  for (int32_t tries = 0; tries < kItemCount; ++tries) {
    item = (item + step + kItemCount) % kItemCount;
    if (IsItemShown(item)) break;
  }
  m_selection = item;
}

void CFrontEnd::UpdateMenu(const InputDevice& input) {
  if (input.IsButtonPressed(kInputUp)) MoveSelection(-1);
  if (input.IsButtonPressed(kInputDown)) MoveSelection(1);
  const int32_t sideways = input.IsButtonPressed(kInputRight) ? 1
                           : input.IsButtonPressed(kInputLeft) ? -1 : 0;
  if (sideways && m_selection == kItemMode) m_mode = StepMode(m_mode, sideways);
  if (sideways && m_selection == kItemDifficulty) m_difficulty = (m_difficulty + 3 + sideways) % 3;
  if (input.IsButtonPressed(kInputSelect | kInputButtonE)) Activate(m_selection);
}

void CFrontEnd::Activate(int32_t item) {
  switch (item) {
    case kItemDiving: PDFE_StartGameCobbAndJory(); break;
    case kItemFootball: PDFE_StartGameDulcieClemency(); break;
    case kItemPirate: PDFE_StartGameMrGorst(); break;
    case kItemFootballTwoPlayer: PDFE_StartDulcieClemencyMP(); break;
    case kItemPirateTwoPlayer: PDFE_StartMrGorstMP(); break;
    case kItemMode: m_mode = StepMode(m_mode, 1); break;
    case kItemDifficulty: m_difficulty = (m_difficulty + 1) % 3; break;
    case kItemVideo:
      m_screen = Screen::Video;
      m_videoSelection = GetVideoMenu().current;
      break;
    case kItemQuit: GetApp().SetExitFlag(1); break;
    default: break;
  }
}

void CFrontEnd::UpdateVideo(const InputDevice& input) {
  const VideoMenu& menu = GetVideoMenu();
  const int32_t rows = GetDisplayModeTable().count;
  // The last entry is Back; rows the display does not have are passed over.
  const int32_t entries = rows + 1;
  int32_t step = input.IsButtonPressed(kInputUp) ? -1 : (input.IsButtonPressed(kInputDown) ? 1 : 0);
  if (step) {
    int32_t next = m_videoSelection;
    for (int32_t tries = 0; tries < entries; ++tries) {
      next = (next + step + entries) % entries;
      if (next == rows || !menu.items[next].skip) break;
    }
    m_videoSelection = next;
  }
  if (input.IsButtonPressed(kInputBack)) m_screen = Screen::Menu;
  if (input.IsButtonPressed(kInputSelect | kInputButtonE)) {
    if (m_videoSelection >= rows) {
      m_screen = Screen::Menu;
    } else {
      SelectDisplayModeRow(m_videoSelection);
    }
  }
}

// ---- Drawing

void CFrontEnd::DrawPanel(RenderWindow* window, float x, float y, float w, float h,
                          uint32_t colour) {
  AddHudQuad(window, m_panelTexture, x, y, x + w, y + h, colour);
}

void CFrontEnd::DrawCentred(RenderWindow* window, BaseFont* font, const char16_t* text, int32_t y,
                            uint32_t colour) {
  if (!text) return;
  const int32_t x = (640 - font->GetStringWidth(text)) / 2;
  window->PrintText(text, x, y, colour, 0.0f, font);
}

void CFrontEnd::Draw() {
  RenderWindow* window = Window();
  BaseFont* font = Font();
  if (!window || !font) return;
  // A texture made in memory comes back blank after a device reset (a mode change): its pixels
  // are sent again each frame the menus draw, which costs a few kilobytes.
  if (m_panelTexture != -1) GetApp().GetTexture()->UploadPixels(m_panelTexture);
  switch (m_screen) {
    case Screen::Menu: DrawMenu(window, font); break;
    case Screen::Video: DrawVideo(window, font); break;
    case Screen::Loading:
      DrawCentred(window, font, GetLocalisedText(kTextLoading), 230, kTitleColour);
      break;
    case Screen::Message:
      DrawPanel(window, 100.0f, 180.0f, 440.0f, 120.0f, kPanelColour);
      DrawCentred(window, font, m_message[0], 210, kTitleColour);
      DrawCentred(window, font, m_message[1], 250, kTextColour);
      break;
    case Screen::Hidden: break;
  }
}

void CFrontEnd::DrawMenu(RenderWindow* window, BaseFont* font) {
  int32_t y = kMenuTop;
  for (int32_t item = 0; item < kItemCount; ++item) {
    if (!IsItemShown(item)) continue;
    const bool selected = item == m_selection;
    const uint32_t colour = selected ? kSelectedColour : kTextColour;
    if (selected)
      DrawPanel(window, static_cast<float>(kLabelX - 16), static_cast<float>(y - 4), 320.0f,
                static_cast<float>(kLineHeight - 2), kSelectionBarColour);
    window->PrintText(GetLocalisedText(ItemText(item)), kLabelX, y, colour, 0.0f, font);
    const char16_t* value = nullptr;
    if (item == kItemMode) value = GetLocalisedText(kTextNormal + (m_mode == 0 ? 0 : m_mode - 1));
    if (item == kItemDifficulty) value = GetLocalisedText(kTextEasy + m_difficulty);
    if (item == kItemFootballTwoPlayer || item == kItemPirateTwoPlayer)
      value = GetLocalisedText(kTextTwoPlayers);
    if (value) window->PrintText(value, kValueX, y, colour, 0.0f, font);
    y += kLineHeight;
  }
}

void CFrontEnd::DrawVideo(RenderWindow* window, BaseFont* font) {
  const DisplayModeTable& table = GetDisplayModeTable();
  const VideoMenu& menu = GetVideoMenu();
  DrawCentred(window, font, GetLocalisedText(kTextVideo), 60, kTitleColour);
  // A window of rows around the selection, so a long mode list fits the screen.
  int32_t first = m_videoSelection - kVideoRowsShown / 2;
  if (first > table.count - kVideoRowsShown) first = table.count - kVideoRowsShown;
  if (first < 0) first = 0;
  int32_t y = kMenuTop - 20;
  for (int32_t row = first; row < table.count && row < first + kVideoRowsShown; ++row) {
    if (menu.items[row].hidden) continue;
    const uint32_t colour = row == m_videoSelection ? kSelectedColour : kTextColour;
    const bool chosen = row == menu.current;
    window->PrintText(table.rows[row].label, kLabelX, y, colour, 0.0f, font);
    if (chosen) window->PrintText(">", kLabelX - 20, y, colour, 0.0f, font);
    y += kLineHeight;
  }
  const uint32_t backColour = m_videoSelection >= table.count ? kSelectedColour : kTextColour;
  window->PrintText(GetLocalisedText(kTextBack), kLabelX, y + kLineHeight / 2, backColour, 0.0f,
                    font);
}

void CFrontEnd::DrawPauseOverlay(int32_t paused, int32_t waiting) {
  RenderWindow* window = Window();
  if (!window || m_screen != Screen::Hidden) return;
  const bool shown = paused || waiting;
  window->SetFlags(shown ? 0 : BaseRenderWindow::kSuspended);
  BaseFont* font = Font();
  if (!shown || !font) return;
  if (paused) {
    DrawPanel(window, 220.0f, 200.0f, 200.0f, 70.0f, kPanelColour);
    DrawCentred(window, font, GetLocalisedText(kTextPaused), 225, kTitleColour);
  }
  if (waiting) {
    DrawPanel(window, 120.0f, 300.0f, 400.0f, 44.0f, kPanelColour);
    DrawCentred(window, font, GetLocalisedText(kTextWaiting), 312, kTitleColour);
  }
}
