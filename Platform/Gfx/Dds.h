#pragma once
// The DDS reader: checks a whole DDS file image and says where each of its mip levels lies in it.
// Nothing is copied or kept; every offset it reports has been checked against the image's size,
// so a caller may read `size` bytes at `offset` of each level without further checks.

#include <cstddef>
#include <cstdint>

#include "Platform/Gfx/D3DTypes.h"

namespace gfx {

// The magic word, the 124-byte header.
constexpr uint32_t kDdsDataOffset = 128;
// Larger images are refused outright: no texture the device makes is this big, and it keeps
// every size computation far from overflow.
constexpr uint32_t kDdsMaxDimension = 16384;
constexpr uint32_t kDdsMaxLevels = 15;  // a full chain of kDdsMaxDimension

// Header flags and pixel-format flags, as the file has them.
constexpr uint32_t kDdsdCaps = 0x1;
constexpr uint32_t kDdsdHeight = 0x2;
constexpr uint32_t kDdsdWidth = 0x4;
constexpr uint32_t kDdsdPitch = 0x8;
constexpr uint32_t kDdsdPixelFormat = 0x1000;
constexpr uint32_t kDdsdMipMapCount = 0x20000;
constexpr uint32_t kDdsdLinearSize = 0x80000;
constexpr uint32_t kDdsdDepth = 0x800000;
constexpr uint32_t kDdpfAlphaPixels = 0x1;
constexpr uint32_t kDdpfAlpha = 0x2;
constexpr uint32_t kDdpfFourCC = 0x4;
constexpr uint32_t kDdpfRgb = 0x40;
constexpr uint32_t kDdpfLuminance = 0x20000;
constexpr uint32_t kDdsCapsComplex = 0x8;
constexpr uint32_t kDdsCapsTexture = 0x1000;
constexpr uint32_t kDdsCapsMipMap = 0x400000;
constexpr uint32_t kDdsCaps2CubeMap = 0x200;
constexpr uint32_t kDdsCaps2Volume = 0x200000;

struct DdsLevel {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t pitch = 0;   // bytes per row, or per row of 4 x 4 blocks
  uint64_t offset = 0;  // from the start of the image
  uint64_t size = 0;
};

struct DdsImage {
  D3DFORMAT format = D3DFMT_UNKNOWN;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t levelCount = 0;  // levels stored in the file, at least 1
  DdsLevel levels[kDdsMaxLevels];
};

// D3D_OK with *image filled, or D3DERR_INVALIDCALL for a malformed image (bad magic or header
// sizes, missing size flags, zero or huge sizes, a pitch that disagrees with the format, more
// levels than the chain has, pixel data beyond the end) and D3DERR_NOTAVAILABLE for a pixel
// format, cube map or volume the device does not have. Every refusal writes one "gfx: DDS ..."
// line to the debugger output.
HRESULT ReadDds(const void* data, size_t size, DdsImage* image);

}  // namespace gfx
