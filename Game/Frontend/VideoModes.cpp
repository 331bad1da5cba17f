#include "Game/Frontend/VideoModes.h"

#include "Engine/PC/PCApp.h"
#include "Game/Frontend/SaveProfile.h"

DisplayModeTable& GetDisplayModeTable() {
  static DisplayModeTable s_table = {};
  return s_table;
}

VideoMenu& GetVideoMenu() {
  static VideoMenu s_menu = {};
  return s_menu;
}

void HideDisplayModeItems(int32_t firstRow, void* /*renderer*/) {
  if (firstRow >= kMaxDisplayModeRows) return;
  if (firstRow < 0) firstRow = 0;
  VideoMenu& menu = GetVideoMenu();
  for (int32_t row = firstRow; row < kMaxDisplayModeRows; ++row) {
    menu.items[row].skip = 1;
    menu.items[row].hidden = 1;
  }
  // A selection on a hidden row goes back to the last row still shown (one step back is not
  // enough when it sat further down the hidden range).
  if (menu.current >= firstRow) menu.current = firstRow > 0 ? firstRow - 1 : 0;
}

ChosenDisplayMode& GetChosenDisplayMode() {
  static ChosenDisplayMode s_chosen = {};
  return s_chosen;
}

int32_t SelectDisplayModeRow(int32_t row) {
  const DisplayModeTable& table = GetDisplayModeTable();
  if (row < 0 || row >= table.count || row >= kMaxDisplayModeRows) return 0;
  const DisplayModeRow& mode = table.rows[row];
  Display* display = GetApp().GetDisplay();
  if (!display->IsResolutionSupported(mode.width, mode.height)) return 0;
  display->SetResolution(mode.width, mode.height, mode.bits);
  GetChosenDisplayMode() = {mode.width, mode.height, mode.bits};
  GetVideoMenu().current = row;
  // Kept for the next start, which applies it on its first frame.
  ProfileSettings& settings = GetSaveProfile().Data().settings;
  settings.displayWidth = mode.width;
  settings.displayHeight = mode.height;
  settings.displayBits = mode.bits;
  GetSaveProfile().Save();
  return 1;
}
