#include "tests/support/DdsWriter.h"

#include <algorithm>
#include <bit>

#include "Platform/Gfx/PixelFormats.h"
#include "tests/support/ByteWriter.h"

namespace ddswriter {

namespace {

using gfx::D3DFORMAT;

constexpr uint32_t kMagic = 0x20534444u;
constexpr uint32_t kCaps = 0x1, kHeight = 0x2, kWidth = 0x4, kPitch = 0x8, kPixelFormat = 0x1000,
                   kMipMapCount = 0x20000, kLinearSize = 0x80000;
constexpr uint32_t kAlphaPixels = 0x1, kAlpha = 0x2, kFourCC = 0x4, kRgb = 0x40,
                   kLuminance = 0x20000;
constexpr uint32_t kCapsComplex = 0x8, kCapsTexture = 0x1000, kCapsMipMap = 0x400000;

bool IsDxt(D3DFORMAT format) {
  return format == gfx::D3DFMT_DXT1 || format == gfx::D3DFMT_DXT3 || format == gfx::D3DFMT_DXT5;
}

// One 8-bit channel scaled into a mask's bits.
uint32_t Pack(uint32_t channel, uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const uint32_t maxValue = mask >> shift;
  return ((channel * maxValue + 127) / 255) << shift;
}

}  // namespace

bool PixelFormatOf(D3DFORMAT format, PixelFormat* out) {
  switch (format) {
    case gfx::D3DFMT_A8R8G8B8:
      *out = {kRgb | kAlphaPixels, 0, 32, 0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u};
      return true;
    case gfx::D3DFMT_X8R8G8B8:
      *out = {kRgb, 0, 32, 0xFF0000u, 0xFF00u, 0xFFu, 0};
      return true;
    case gfx::D3DFMT_R8G8B8:
      *out = {kRgb, 0, 24, 0xFF0000u, 0xFF00u, 0xFFu, 0};
      return true;
    case gfx::D3DFMT_R5G6B5:
      *out = {kRgb, 0, 16, 0xF800u, 0x7E0u, 0x1Fu, 0};
      return true;
    case gfx::D3DFMT_X1R5G5B5:
      *out = {kRgb, 0, 16, 0x7C00u, 0x3E0u, 0x1Fu, 0};
      return true;
    case gfx::D3DFMT_A1R5G5B5:
      *out = {kRgb | kAlphaPixels, 0, 16, 0x7C00u, 0x3E0u, 0x1Fu, 0x8000u};
      return true;
    case gfx::D3DFMT_A4R4G4B4:
      *out = {kRgb | kAlphaPixels, 0, 16, 0xF00u, 0xF0u, 0xFu, 0xF000u};
      return true;
    case gfx::D3DFMT_L8:
      *out = {kLuminance, 0, 8, 0xFFu, 0, 0, 0};
      return true;
    case gfx::D3DFMT_A8L8:
      *out = {kLuminance | kAlphaPixels, 0, 16, 0xFFu, 0, 0, 0xFF00u};
      return true;
    case gfx::D3DFMT_A8:
      *out = {kAlpha, 0, 8, 0, 0, 0, 0xFFu};
      return true;
    case gfx::D3DFMT_DXT1:
    case gfx::D3DFMT_DXT3:
    case gfx::D3DFMT_DXT5:
      *out = {kFourCC, static_cast<uint32_t>(format), 0, 0, 0, 0, 0};
      return true;
    default:
      return false;
  }
}

uint32_t LevelPitch(D3DFORMAT format, uint32_t width) {
  if (IsDxt(format)) return (width + 3) / 4 * (format == gfx::D3DFMT_DXT1 ? 8 : 16);
  PixelFormat pf{};
  if (!PixelFormatOf(format, &pf)) return 0;
  return width * pf.bits / 8;
}

uint32_t LevelBytes(D3DFORMAT format, uint32_t width, uint32_t height) {
  const uint32_t rows = IsDxt(format) ? (height + 3) / 4 : height;
  return LevelPitch(format, width) * rows;
}

std::vector<uint8_t> PackLevel(D3DFORMAT format, const uint32_t* argb, uint32_t width,
                               uint32_t height) {
  std::vector<uint8_t> level(LevelBytes(format, width, height), 0);
  if (IsDxt(format)) {
    gfx::LevelFromArgb(format, argb, width, height, level.data());
    return level;
  }
  PixelFormat pf{};
  if (!PixelFormatOf(format, &pf)) return {};
  const uint32_t bytes = pf.bits / 8;
  const bool luminance = (pf.flags & kLuminance) != 0;
  for (uint32_t i = 0; i < width * height; ++i) {
    const uint32_t c = argb[i];
    const uint32_t a = c >> 24, r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
    uint32_t word = Pack(a, pf.alpha) | Pack(r, pf.red);
    if (!luminance) word |= Pack(g, pf.green) | Pack(b, pf.blue);
    for (uint32_t k = 0; k < bytes; ++k) level[i * bytes + k] = static_cast<uint8_t>(word >> (8 * k));
  }
  return level;
}

std::vector<uint32_t> Downsample(const uint32_t* argb, uint32_t width, uint32_t height) {
  const uint32_t w = std::max(width / 2, 1u);
  const uint32_t h = std::max(height / 2, 1u);
  std::vector<uint32_t> out(static_cast<size_t>(w) * h);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const uint32_t xs[2] = {std::min(2 * x, width - 1), std::min(2 * x + 1, width - 1)};
      const uint32_t ys[2] = {std::min(2 * y, height - 1), std::min(2 * y + 1, height - 1)};
      uint32_t result = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sum = 0;
        for (uint32_t sy : ys) {
          for (uint32_t sx : xs) sum += (argb[sy * width + sx] >> shift) & 0xFF;
        }
        result |= ((sum + 2) / 4) << shift;
      }
      out[y * w + x] = result;
    }
  }
  return out;
}

void PutWord(std::vector<uint8_t>* image, size_t offset, uint32_t value) {
  bytewriter::PutU32(*image, offset, value);
}

std::vector<uint8_t> WriteDdsLevels(D3DFORMAT format, uint32_t width, uint32_t height,
                                    const std::vector<std::vector<uint8_t>>& levels) {
  PixelFormat pf{};
  if (!PixelFormatOf(format, &pf) || levels.empty()) return {};
  std::vector<uint8_t> image(kDataOffset, 0);
  const bool chain = levels.size() > 1;
  uint32_t flags = kCaps | kHeight | kWidth | kPixelFormat;
  flags |= IsDxt(format) ? kLinearSize : kPitch;
  if (chain) flags |= kMipMapCount;
  PutWord(&image, 0, kMagic);
  PutWord(&image, kOffsetHeaderSize, 124);
  PutWord(&image, kOffsetFlags, flags);
  PutWord(&image, kOffsetHeight, height);
  PutWord(&image, kOffsetWidth, width);
  PutWord(&image, kOffsetPitch,
          IsDxt(format) ? LevelBytes(format, width, height) : LevelPitch(format, width));
  PutWord(&image, kOffsetMipCount, chain ? static_cast<uint32_t>(levels.size()) : 0);
  PutWord(&image, kOffsetPixelFormatSize, 32);
  PutWord(&image, kOffsetPixelFormatFlags, pf.flags);
  PutWord(&image, kOffsetFourCC, pf.fourCC);
  PutWord(&image, 88, pf.bits);
  PutWord(&image, 92, pf.red);
  PutWord(&image, 96, pf.green);
  PutWord(&image, 100, pf.blue);
  PutWord(&image, 104, pf.alpha);
  PutWord(&image, 108, kCapsTexture | (chain ? kCapsComplex | kCapsMipMap : 0));
  for (const std::vector<uint8_t>& level : levels) image.insert(image.end(), level.begin(), level.end());
  return image;
}

std::vector<uint8_t> WriteDds(D3DFORMAT format, uint32_t width, uint32_t height,
                              const uint32_t* argb, bool mipChain) {
  std::vector<std::vector<uint8_t>> levels;
  std::vector<uint32_t> current(argb, argb + static_cast<size_t>(width) * height);
  uint32_t w = width;
  uint32_t h = height;
  while (true) {
    levels.push_back(PackLevel(format, current.data(), w, h));
    if (!mipChain || (w == 1 && h == 1)) break;
    current = Downsample(current.data(), w, h);
    w = std::max(w / 2, 1u);
    h = std::max(h / 2, 1u);
  }
  return WriteDdsLevels(format, width, height, levels);
}

bool SaveDds(const std::string& path, D3DFORMAT format, uint32_t width, uint32_t height,
             const uint32_t* argb, bool mipChain) {
  const std::vector<uint8_t> image = WriteDds(format, width, height, argb, mipChain);
  return !image.empty() && bytewriter::SaveBytes(path, image);
}

uint16_t Rgb565(uint32_t red5, uint32_t green6, uint32_t blue5) {
  return static_cast<uint16_t>((red5 << 11) | (green6 << 5) | blue5);
}

std::array<uint8_t, 8> Dxt1Block(uint16_t colour0, uint16_t colour1, uint32_t indices) {
  return {static_cast<uint8_t>(colour0),       static_cast<uint8_t>(colour0 >> 8),
          static_cast<uint8_t>(colour1),       static_cast<uint8_t>(colour1 >> 8),
          static_cast<uint8_t>(indices),       static_cast<uint8_t>(indices >> 8),
          static_cast<uint8_t>(indices >> 16), static_cast<uint8_t>(indices >> 24)};
}

std::array<uint8_t, 16> Dxt3Block(uint64_t alphas, uint16_t colour0, uint16_t colour1,
                                  uint32_t indices) {
  std::array<uint8_t, 16> block{};
  for (int k = 0; k < 8; ++k) block[k] = static_cast<uint8_t>(alphas >> (8 * k));
  const std::array<uint8_t, 8> colour = Dxt1Block(colour0, colour1, indices);
  std::copy(colour.begin(), colour.end(), block.begin() + 8);
  return block;
}

std::array<uint8_t, 16> Dxt5Block(uint8_t alpha0, uint8_t alpha1, uint64_t alphaIndices,
                                  uint16_t colour0, uint16_t colour1, uint32_t indices) {
  std::array<uint8_t, 16> block{};
  block[0] = alpha0;
  block[1] = alpha1;
  for (int k = 0; k < 6; ++k) block[2 + k] = static_cast<uint8_t>(alphaIndices >> (8 * k));
  const std::array<uint8_t, 8> colour = Dxt1Block(colour0, colour1, indices);
  std::copy(colour.begin(), colour.end(), block.begin() + 8);
  return block;
}

}  // namespace ddswriter
