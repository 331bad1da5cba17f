#pragma once
// The video menu's table of display modes, the hiding of its unused rows and the row callback.
// The front end's video screen draws the rows and their pass-over and hidden marks.

#include <cstdint>

#include "Engine/PC/PCDisplay.h"

struct VideoMenuItem {
  int32_t skip;    // passed over by up and down
  int32_t hidden;
};

struct VideoMenu {
  VideoMenuItem items[kMaxDisplayModeRows];
  int32_t current;  // the selected row
};

// The table the display fills and the menu shows; its count starts at 0.
DisplayModeTable& GetDisplayModeTable();
VideoMenu& GetVideoMenu();

// Marks rows firstRow..31 passed over and hidden; a selection on such a row moves back to the
// last row shown.
// `renderer` is the front end's renderer (the menu reads the marks itself).
void HideDisplayModeItems(int32_t firstRow, void* renderer);

// The callback of a row: when the display supports the row's size, switches to it and keeps the
// row as the chosen mode. 1 when it switched.
int32_t SelectDisplayModeRow(int32_t row);

// The mode last chosen in the menu (0 x 0 until one is).
struct ChosenDisplayMode {
  int32_t width;
  int32_t height;
  int32_t bits;
};
ChosenDisplayMode& GetChosenDisplayMode();
