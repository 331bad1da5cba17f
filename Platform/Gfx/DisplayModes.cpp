#include "Platform/Gfx/DisplayModes.h"

#include <algorithm>
#include <tuple>

namespace gfx {

namespace {

constexpr uint32_t kAssumedRefreshRate = 60;
constexpr int32_t kSmallestWidth = 640;
constexpr int32_t kSmallestHeight = 480;

}  // namespace

std::vector<D3DDISPLAYMODE> BuildDisplayModes(const std::vector<DesktopModeSize>& reported,
                                              int32_t desktopWidth, int32_t desktopHeight) {
  std::vector<D3DDISPLAYMODE> modes;
  auto add = [&modes](int32_t width, int32_t height, int32_t refreshRate) {
    const uint32_t rate =
        refreshRate > 0 ? static_cast<uint32_t>(refreshRate) : kAssumedRefreshRate;
    modes.push_back(D3DDISPLAYMODE{static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                                   rate, D3DFMT_UNKNOWN});
  };
  for (const DesktopModeSize& mode : reported) {
    if (mode.width >= kSmallestWidth && mode.height >= kSmallestHeight) {
      add(mode.width, mode.height, mode.refreshRate);
    }
  }
  add(640, 480, 0);
  if (desktopWidth >= 800 && desktopHeight >= 600) add(800, 600, 0);
  if (desktopWidth >= 1024 && desktopHeight >= 768) add(1024, 768, 0);

  auto key = [](const D3DDISPLAYMODE& m) {
    return std::make_tuple(m.Width, m.Height, m.RefreshRate);
  };
  std::sort(modes.begin(), modes.end(),
            [&key](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) { return key(a) < key(b); });
  modes.erase(std::unique(modes.begin(), modes.end(),
                          [&key](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
                            return key(a) == key(b);
                          }),
              modes.end());
  return modes;
}

bool ListsModesFor(D3DFORMAT format) {
  return format == D3DFMT_X8R8G8B8 || format == D3DFMT_R5G6B5;
}

}  // namespace gfx
