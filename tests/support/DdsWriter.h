#pragma once
// DDS file images for tests and for the demo data: every format the device reads (A8R8G8B8,
// X8R8G8B8, R8G8B8, R5G6B5, X1R5G5B5, A1R5G5B5, A4R4G4B4, L8, A8, A8L8, DXT1, DXT3, DXT5), with or
// without a mip chain. Uncompressed texels are packed here from their channel masks, apart from
// the device's own conversions, so that a round trip through the reader checks both. DXT blocks
// can be given by hand (end points and indices) to check decoded colours exactly.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Platform/Gfx/D3DTypes.h"

namespace ddswriter {

// The header's pixel format for a format: flags, FourCC, bit count and channel masks.
struct PixelFormat {
  uint32_t flags;
  uint32_t fourCC;
  uint32_t bits;
  uint32_t red, green, blue, alpha;
};
// False for a format the writer does not know.
bool PixelFormatOf(gfx::D3DFORMAT format, PixelFormat* out);

// Bytes of one level: rows of width x bytes per texel, or rows of 4 x 4 blocks for DXT.
uint32_t LevelPitch(gfx::D3DFORMAT format, uint32_t width);
uint32_t LevelBytes(gfx::D3DFORMAT format, uint32_t width, uint32_t height);

// A8R8G8B8 words (top row first) packed into one level of `format`. Each channel is scaled to
// its mask's width with rounding; luminance is the red channel. DXT levels are encoded with the
// device's block encoder.
std::vector<uint8_t> PackLevel(gfx::D3DFORMAT format, const uint32_t* argb, uint32_t width,
                               uint32_t height);
// The next mip level: each texel the rounded mean of a 2 x 2 box (a side of 1 stays 1).
std::vector<uint32_t> Downsample(const uint32_t* argb, uint32_t width, uint32_t height);

// A whole file image from A8R8G8B8 texels; with `mipChain` it holds every level down to 1 x 1.
std::vector<uint8_t> WriteDds(gfx::D3DFORMAT format, uint32_t width, uint32_t height,
                              const uint32_t* argb, bool mipChain);
// A file image from level data already in the format, level 0 first. More than one level sets
// the mip-count flag and the count to levels.size().
std::vector<uint8_t> WriteDdsLevels(gfx::D3DFORMAT format, uint32_t width, uint32_t height,
                                    const std::vector<std::vector<uint8_t>>& levels);
// WriteDds into a file (folders are created); false when it cannot be written.
bool SaveDds(const std::string& path, gfx::D3DFORMAT format, uint32_t width, uint32_t height,
             const uint32_t* argb, bool mipChain);

// Byte offsets of header fields in a file image, for tests that break them.
constexpr size_t kOffsetHeaderSize = 4;
constexpr size_t kOffsetFlags = 8;
constexpr size_t kOffsetHeight = 12;
constexpr size_t kOffsetWidth = 16;
constexpr size_t kOffsetPitch = 20;
constexpr size_t kOffsetMipCount = 28;
constexpr size_t kOffsetPixelFormatSize = 76;
constexpr size_t kOffsetPixelFormatFlags = 80;
constexpr size_t kOffsetFourCC = 84;
constexpr size_t kOffsetCaps2 = 112;
constexpr size_t kDataOffset = 128;
// Writes a little-endian word into an image.
void PutWord(std::vector<uint8_t>* image, size_t offset, uint32_t value);

// Hand-made DXT blocks. Colours are R5G6B5 words; `indices` holds 2 bits per texel, texel 0
// (top left) in the lowest bits, row by row.
uint16_t Rgb565(uint32_t red5, uint32_t green6, uint32_t blue5);
std::array<uint8_t, 8> Dxt1Block(uint16_t colour0, uint16_t colour1, uint32_t indices);
// `alphas`: 4 bits per texel, texel 0 in the lowest bits.
std::array<uint8_t, 16> Dxt3Block(uint64_t alphas, uint16_t colour0, uint16_t colour1,
                                  uint32_t indices);
// `alphaIndices`: 3 bits per texel (48 bits), texel 0 in the lowest bits.
std::array<uint8_t, 16> Dxt5Block(uint8_t alpha0, uint8_t alpha1, uint64_t alphaIndices,
                                  uint16_t colour0, uint16_t colour1, uint32_t indices);

}  // namespace ddswriter
