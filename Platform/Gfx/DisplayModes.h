#pragma once
// The adapter's list of display modes, built from what the desktop's driver reports. Free of SDL
// so that the rules can be tried on made-up mode lists.

#include <cstdint>
#include <vector>

#include "Platform/Gfx/D3DTypes.h"

namespace gfx {

struct DesktopModeSize {
  int32_t width = 0;
  int32_t height = 0;
  int32_t refreshRate = 0;  // 0 when the driver does not say
};

// Every distinct size and refresh rate of at least 640 x 480 among `reported`, plus 640 x 480
// always and 800 x 600 and 1024 x 768 when the desktop is at least that large (drivers without
// mode switching report one mode, or none). An unknown refresh rate counts as 60. Sorted by
// width, height, refresh rate; Format is left D3DFMT_UNKNOWN for the caller to fill.
std::vector<D3DDISPLAYMODE> BuildDisplayModes(const std::vector<DesktopModeSize>& reported,
                                              int32_t desktopWidth, int32_t desktopHeight);

// Whether the adapter lists modes under this format: the 32-bit and the 16-bit desktop
// formats. X1R5G5B5 and A2R10G10B10 are asked for too, and have none.
bool ListsModesFor(D3DFORMAT format);

}  // namespace gfx
