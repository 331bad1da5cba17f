#pragma once
// The video menu's table of display modes and the hiding of its unused rows. The menu itself
// comes with the front end; until then the rows are kept here with their pass-over and hidden
// marks.

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
// `renderer` is the front end's renderer (unused until the front end exists).
void HideDisplayModeItems(int32_t firstRow, void* renderer);
