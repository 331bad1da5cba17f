#pragma once
// The front end: one menu screen in a render window of its own, drawn with the front end's font
// and 2D polygons. It offers the three mini-games, the game mode (normal and the two
// challenges), the difficulty, the video menu of display modes, the two-player starts while a
// peer is attached, and quit. It also shows the loading screen while a game loads, a message box
// (results, errors) that Select closes, and the pause overlay over a running game.
//
// Its window stays for the whole run; while a game runs it neither clears nor draws but the
// pause overlay, and is drawn after the game's windows.

#include <cstdint>

class BaseFont;
class InputDevice;
class RenderWindow;

class CFrontEnd {
 public:
  enum class Screen : int32_t { Menu, Video, Loading, Message, Hidden };
  enum Item : int32_t {
    kItemDiving,
    kItemFootball,
    kItemPirate,
    kItemFootballTwoPlayer,
    kItemPirateTwoPlayer,
    kItemMode,
    kItemDifficulty,
    kItemVideo,
    kItemQuit,
    kItemCount,
  };
  static constexpr float kSortKey = 10.0f;

  // Opens the window and loads the font and the texts. 1 on success (without a font the menu
  // still works, it only shows nothing).
  int32_t InitFE();
  void CleanUp();

  // One frame of the menus: reads the input, runs the chosen item's callback, queues the drawing.
  void Update(const InputDevice& input);
  // While a game runs: only the pause overlay, and under it, while a two-player game has waited
  // long for the other machine, a line saying so.
  void DrawPauseOverlay(int32_t paused, int32_t waiting = 0);

  void ShowLoadingScreen();
  // A message box; `second` may be null. Select (or Back) closes it and returns to the menu.
  void ShowMessage(const char16_t* first, const char16_t* second);
  // Leaves the menus for a running game.
  void Hide();
  // Back to the main menu.
  void Resume();

  Screen GetScreen() const { return m_screen; }
  // Line 0 or 1 of the message box last shown (null for none).
  const char16_t* GetMessageLine(int32_t line) const {
    return line == 0 || line == 1 ? m_message[line] : nullptr;
  }
  int32_t GetSelection() const { return m_selection; }
  int32_t GetMode() const { return m_mode; }
  int32_t GetDifficulty() const { return m_difficulty; }
  void SetMode(int32_t mode) { m_mode = mode; }
  void SetDifficulty(int32_t level) { m_difficulty = level; }
  int32_t GetWindowId() const { return m_windowId; }
  // Whether an item can be chosen now (the two-player starts need an attached peer).
  bool IsItemShown(int32_t item) const;

 private:
  void UpdateMenu(const InputDevice& input);
  void UpdateVideo(const InputDevice& input);
  void Activate(int32_t item);
  void MoveSelection(int32_t step);
  void Draw();
  void DrawMenu(RenderWindow* window, BaseFont* font);
  void DrawVideo(RenderWindow* window, BaseFont* font);
  void DrawPanel(RenderWindow* window, float x, float y, float w, float h, uint32_t colour);
  void DrawCentred(RenderWindow* window, BaseFont* font, const char16_t* text, int32_t y,
                   uint32_t colour);
  void SetWindowDrawsMenus(bool menus);
  void MakePanelTexture();
  RenderWindow* Window() const;
  BaseFont* Font() const;

  Screen m_screen = Screen::Hidden;
  int32_t m_windowId = -1;
  int32_t m_fontId = -1;
  int32_t m_panelTexture = -1;  // white, tinted by the vertex colour
  int32_t m_selection = kItemDiving;
  int32_t m_videoSelection = 0;
  int32_t m_mode = 0;
  int32_t m_difficulty = 1;
  const char16_t* m_message[2] = {};
};

CFrontEnd* GetFrontEnd();
