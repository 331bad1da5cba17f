#include "Platform/Gfx/PixelFormats.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace gfx {

namespace {

uint32_t Expand5(uint32_t v) { return (v << 3) | (v >> 2); }
uint32_t Expand6(uint32_t v) { return (v << 2) | (v >> 4); }
uint32_t Reduce(uint32_t channel, uint32_t maxValue) { return (channel * maxValue + 127) / 255; }

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}
uint32_t ChannelA(uint32_t c) { return c >> 24; }
uint32_t ChannelR(uint32_t c) { return (c >> 16) & 0xFFu; }
uint32_t ChannelG(uint32_t c) { return (c >> 8) & 0xFFu; }
uint32_t ChannelB(uint32_t c) { return c & 0xFFu; }

// Grey from a colour; a grey colour gives its own level back.
uint32_t Luminance(uint32_t c) {
  return (ChannelR(c) * 77 + ChannelG(c) * 150 + ChannelB(c) * 29 + 128) >> 8;
}

uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void Store16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Store32(uint8_t* p, uint32_t v) {
  Store16(p, v & 0xFFFFu);
  Store16(p + 2, v >> 16);
}

uint32_t From565(uint32_t v) {
  return Argb(255, Expand5((v >> 11) & 31), Expand6((v >> 5) & 63), Expand5(v & 31));
}
uint32_t To565(uint32_t c) {
  return (Reduce(ChannelR(c), 31) << 11) | (Reduce(ChannelG(c), 63) << 5) | Reduce(ChannelB(c), 31);
}

// The four colours of a DXT colour block. Three-colour mode (DXT1 with c0 <= c1) has the mean
// as its third entry and transparent black as its fourth.
void ColourPalette(uint32_t c0, uint32_t c1, bool fourColours, uint32_t palette[4]) {
  const uint32_t a = From565(c0);
  const uint32_t b = From565(c1);
  palette[0] = a;
  palette[1] = b;
  uint32_t third[3];
  uint32_t fourth[3];
  const uint32_t shifts[3] = {16, 8, 0};
  for (int i = 0; i < 3; ++i) {
    const uint32_t ca = (a >> shifts[i]) & 0xFFu;
    const uint32_t cb = (b >> shifts[i]) & 0xFFu;
    if (fourColours) {
      third[i] = (2 * ca + cb) / 3;
      fourth[i] = (ca + 2 * cb) / 3;
    } else {
      third[i] = (ca + cb) / 2;
      fourth[i] = 0;
    }
  }
  palette[2] = Argb(255, third[0], third[1], third[2]);
  palette[3] = fourColours ? Argb(255, fourth[0], fourth[1], fourth[2]) : 0u;
}

// The eight alphas of a DXT5 alpha block.
void AlphaPalette(uint32_t a0, uint32_t a1, uint32_t palette[8]) {
  palette[0] = a0;
  palette[1] = a1;
  if (a0 > a1) {
    for (uint32_t code = 2; code < 8; ++code) palette[code] = ((8 - code) * a0 + (code - 1) * a1) / 7;
  } else {
    for (uint32_t code = 2; code < 6; ++code) palette[code] = ((6 - code) * a0 + (code - 1) * a1) / 5;
    palette[6] = 0;
    palette[7] = 255;
  }
}

uint32_t ColourDistance(uint32_t x, uint32_t y) {
  const int dr = static_cast<int>(ChannelR(x)) - static_cast<int>(ChannelR(y));
  const int dg = static_cast<int>(ChannelG(x)) - static_cast<int>(ChannelG(y));
  const int db = static_cast<int>(ChannelB(x)) - static_cast<int>(ChannelB(y));
  return static_cast<uint32_t>(dr * dr + dg * dg + db * db);
}

void DecodeColourBlock(const uint8_t* block, bool dxt1, uint32_t texels[16]) {
  const uint32_t c0 = Load16(block);
  const uint32_t c1 = Load16(block + 2);
  uint32_t palette[4];
  ColourPalette(c0, c1, !dxt1 || c0 > c1, palette);
  const uint32_t indices = Load32(block + 4);
  for (int i = 0; i < 16; ++i) texels[i] = palette[(indices >> (2 * i)) & 3u];
}

void EncodeColourBlock(const uint32_t texels[16], bool dxt1, uint8_t* block) {
  // End points: the two texels farthest apart, so that a block of two colours keeps both and a
  // gradient keeps its ends. DXT1 leaves its transparent texels out of the choice.
  bool transparent = false;
  int first = -1;
  int second = -1;
  uint32_t widest = 0;
  for (int i = 0; i < 16; ++i) {
    if (dxt1 && ChannelA(texels[i]) < 128) {
      transparent = true;
      continue;
    }
    if (first < 0) first = second = i;
    for (int j = i + 1; j < 16; ++j) {
      if (dxt1 && ChannelA(texels[j]) < 128) continue;
      const uint32_t distance = ColourDistance(texels[i], texels[j]);
      if (distance > widest) {
        widest = distance;
        first = i;
        second = j;
      }
    }
  }
  uint32_t high = first < 0 ? 0 : To565(texels[first]);
  uint32_t low = first < 0 ? 0 : To565(texels[second]);
  if (high < low) std::swap(high, low);
  // Four-colour mode needs c0 > c1, DXT1's transparent mode c0 <= c1.
  uint32_t c0 = high;
  uint32_t c1 = low;
  bool fourColours = true;
  if (dxt1 && (transparent || c0 == c1)) {
    c0 = low;
    c1 = high;
    fourColours = false;
  }
  uint32_t palette[4];
  ColourPalette(c0, c1, fourColours, palette);
  uint32_t indices = 0;
  for (int i = 0; i < 16; ++i) {
    uint32_t best = 0;
    if (!fourColours && ChannelA(texels[i]) < 128) {
      best = 3;
    } else {
      const uint32_t candidates = fourColours ? 4 : 3;
      uint32_t bestDistance = ColourDistance(texels[i], palette[0]);
      for (uint32_t k = 1; k < candidates; ++k) {
        const uint32_t distance = ColourDistance(texels[i], palette[k]);
        if (distance < bestDistance) {
          bestDistance = distance;
          best = k;
        }
      }
    }
    indices |= best << (2 * i);
  }
  Store16(block, c0);
  Store16(block + 2, c1);
  Store32(block + 4, indices);
}

}  // namespace

bool IsTextureFormat(D3DFORMAT format) {
  return BytesPerPixel(format) != 0 || BlockBytes(format) != 0;
}

bool IsCompressedFormat(D3DFORMAT format) { return BlockBytes(format) != 0; }

uint32_t BytesPerPixel(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
      return 4;
    case D3DFMT_R8G8B8:
      return 3;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8L8:
      return 2;
    case D3DFMT_L8:
    case D3DFMT_A8:
      return 1;
    default:
      return 0;
  }
}

uint32_t BlockBytes(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_DXT1:
      return 8;
    case D3DFMT_DXT3:
    case D3DFMT_DXT5:
      return 16;
    default:
      return 0;
  }
}

uint64_t FormatPitch(D3DFORMAT format, uint32_t width) {
  if (IsCompressedFormat(format)) return (uint64_t{width} + 3) / 4 * BlockBytes(format);
  return uint64_t{width} * BytesPerPixel(format);
}

uint32_t FormatRows(D3DFORMAT format, uint32_t height) {
  if (IsCompressedFormat(format)) return static_cast<uint32_t>((uint64_t{height} + 3) / 4);
  return height;
}

uint64_t FormatLevelSize(D3DFORMAT format, uint32_t width, uint32_t height) {
  return FormatPitch(format, width) * FormatRows(format, height);
}

uint32_t MipSize(uint32_t size, uint32_t level) {
  if (level >= 32) return 1;
  return std::max<uint32_t>(size >> level, 1);
}

uint32_t FullMipCount(uint32_t width, uint32_t height) {
  uint32_t largest = std::max(width, height);
  uint32_t count = 1;
  while (largest > 1) {
    largest >>= 1;
    ++count;
  }
  return count;
}

void RowToArgb(D3DFORMAT format, const uint8_t* s, uint32_t width, uint32_t* argb) {
  for (uint32_t x = 0; x < width; ++x) {
    uint32_t c = 0;
    switch (format) {
      case D3DFMT_A8R8G8B8:
        c = Load32(s + 4 * x);
        break;
      case D3DFMT_X8R8G8B8:
        c = Load32(s + 4 * x) | 0xFF000000u;
        break;
      case D3DFMT_R8G8B8:
        c = Argb(255, s[3 * x + 2], s[3 * x + 1], s[3 * x]);
        break;
      case D3DFMT_R5G6B5:
        c = From565(Load16(s + 2 * x));
        break;
      case D3DFMT_X1R5G5B5:
      case D3DFMT_A1R5G5B5: {
        const uint32_t v = Load16(s + 2 * x);
        const uint32_t alpha = (format == D3DFMT_X1R5G5B5 || (v & 0x8000u)) ? 255 : 0;
        c = Argb(alpha, Expand5((v >> 10) & 31), Expand5((v >> 5) & 31), Expand5(v & 31));
        break;
      }
      case D3DFMT_A4R4G4B4: {
        const uint32_t v = Load16(s + 2 * x);
        c = Argb(((v >> 12) & 15) * 17, ((v >> 8) & 15) * 17, ((v >> 4) & 15) * 17, (v & 15) * 17);
        break;
      }
      case D3DFMT_L8:
        c = Argb(255, s[x], s[x], s[x]);
        break;
      case D3DFMT_A8:
        c = Argb(s[x], 0, 0, 0);
        break;
      case D3DFMT_A8L8:
        c = Argb(s[2 * x + 1], s[2 * x], s[2 * x], s[2 * x]);
        break;
      default:
        break;
    }
    argb[x] = c;
  }
}

void RowFromArgb(D3DFORMAT format, const uint32_t* argb, uint32_t width, uint8_t* d) {
  for (uint32_t x = 0; x < width; ++x) {
    const uint32_t c = argb[x];
    switch (format) {
      case D3DFMT_A8R8G8B8:
        Store32(d + 4 * x, c);
        break;
      case D3DFMT_X8R8G8B8:
        Store32(d + 4 * x, c | 0xFF000000u);
        break;
      case D3DFMT_R8G8B8:
        d[3 * x] = static_cast<uint8_t>(ChannelB(c));
        d[3 * x + 1] = static_cast<uint8_t>(ChannelG(c));
        d[3 * x + 2] = static_cast<uint8_t>(ChannelR(c));
        break;
      case D3DFMT_R5G6B5:
        Store16(d + 2 * x, To565(c));
        break;
      case D3DFMT_X1R5G5B5:
      case D3DFMT_A1R5G5B5: {
        const uint32_t alpha = (format == D3DFMT_X1R5G5B5 || ChannelA(c) >= 128) ? 0x8000u : 0u;
        Store16(d + 2 * x, alpha | (Reduce(ChannelR(c), 31) << 10) |
                               (Reduce(ChannelG(c), 31) << 5) | Reduce(ChannelB(c), 31));
        break;
      }
      case D3DFMT_A4R4G4B4:
        Store16(d + 2 * x, (Reduce(ChannelA(c), 15) << 12) | (Reduce(ChannelR(c), 15) << 8) |
                               (Reduce(ChannelG(c), 15) << 4) | Reduce(ChannelB(c), 15));
        break;
      case D3DFMT_L8:
        d[x] = static_cast<uint8_t>(Luminance(c));
        break;
      case D3DFMT_A8:
        d[x] = static_cast<uint8_t>(ChannelA(c));
        break;
      case D3DFMT_A8L8:
        d[2 * x] = static_cast<uint8_t>(Luminance(c));
        d[2 * x + 1] = static_cast<uint8_t>(ChannelA(c));
        break;
      default:
        break;
    }
  }
}

void DecodeDxtBlock(D3DFORMAT format, const uint8_t* block, uint32_t texels[16]) {
  if (format == D3DFMT_DXT1) {
    DecodeColourBlock(block, true, texels);
    return;
  }
  DecodeColourBlock(block + 8, false, texels);
  if (format == D3DFMT_DXT3) {
    for (int i = 0; i < 16; ++i) {
      const uint32_t alpha = ((block[i / 2] >> (4 * (i % 2))) & 15u) * 17;
      texels[i] = (texels[i] & 0x00FFFFFFu) | (alpha << 24);
    }
    return;
  }
  uint32_t palette[8];
  AlphaPalette(block[0], block[1], palette);
  uint64_t bits = 0;
  for (int i = 0; i < 6; ++i) bits |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
  for (int i = 0; i < 16; ++i) {
    const uint32_t alpha = palette[(bits >> (3 * i)) & 7u];
    texels[i] = (texels[i] & 0x00FFFFFFu) | (alpha << 24);
  }
}

void EncodeDxtBlock(D3DFORMAT format, const uint32_t texels[16], uint8_t* block) {
  if (format == D3DFMT_DXT1) {
    EncodeColourBlock(texels, true, block);
    return;
  }
  EncodeColourBlock(texels, false, block + 8);
  if (format == D3DFMT_DXT3) {
    std::memset(block, 0, 8);
    for (int i = 0; i < 16; ++i) {
      block[i / 2] = static_cast<uint8_t>(block[i / 2] | (Reduce(ChannelA(texels[i]), 15) << (4 * (i % 2))));
    }
    return;
  }
  uint32_t a0 = 0;
  uint32_t a1 = 255;
  for (int i = 0; i < 16; ++i) {
    a0 = std::max(a0, ChannelA(texels[i]));
    a1 = std::min(a1, ChannelA(texels[i]));
  }
  uint32_t palette[8];
  AlphaPalette(a0, a1, palette);
  uint64_t bits = 0;
  for (int i = 0; i < 16; ++i) {
    const int alpha = static_cast<int>(ChannelA(texels[i]));
    uint64_t best = 0;
    int bestDistance = 256;
    for (uint32_t code = 0; code < 8; ++code) {
      const int distance = std::abs(alpha - static_cast<int>(palette[code]));
      if (distance < bestDistance) {
        bestDistance = distance;
        best = code;
      }
    }
    bits |= best << (3 * i);
  }
  block[0] = static_cast<uint8_t>(a0);
  block[1] = static_cast<uint8_t>(a1);
  for (int i = 0; i < 6; ++i) block[2 + i] = static_cast<uint8_t>(bits >> (8 * i));
}

bool LevelToArgb(D3DFORMAT format, const uint8_t* source, uint32_t width, uint32_t height,
                 uint32_t* argb) {
  const uint64_t pitch = FormatPitch(format, width);
  if (pitch == 0) return false;
  if (!IsCompressedFormat(format)) {
    for (uint32_t y = 0; y < height; ++y) {
      RowToArgb(format, source + y * pitch, width, argb + uint64_t{y} * width);
    }
    return true;
  }
  const uint32_t blockBytes = BlockBytes(format);
  uint32_t texels[16];
  for (uint32_t by = 0; by < FormatRows(format, height); ++by) {
    for (uint32_t bx = 0; bx * 4 < width; ++bx) {
      DecodeDxtBlock(format, source + by * pitch + uint64_t{bx} * blockBytes, texels);
      for (uint32_t ty = 0; ty < 4 && by * 4 + ty < height; ++ty) {
        for (uint32_t tx = 0; tx < 4 && bx * 4 + tx < width; ++tx) {
          argb[uint64_t{by * 4 + ty} * width + bx * 4 + tx] = texels[ty * 4 + tx];
        }
      }
    }
  }
  return true;
}

bool LevelFromArgb(D3DFORMAT format, const uint32_t* argb, uint32_t width, uint32_t height,
                   uint8_t* dest) {
  const uint64_t pitch = FormatPitch(format, width);
  if (pitch == 0 || width == 0 || height == 0) return false;
  if (!IsCompressedFormat(format)) {
    for (uint32_t y = 0; y < height; ++y) {
      RowFromArgb(format, argb + uint64_t{y} * width, width, dest + y * pitch);
    }
    return true;
  }
  const uint32_t blockBytes = BlockBytes(format);
  uint32_t texels[16];
  for (uint32_t by = 0; by < FormatRows(format, height); ++by) {
    for (uint32_t bx = 0; bx * 4 < width; ++bx) {
      // Texels beyond the level repeat its last row and column, so they do not widen the
      // block's colour range.
      for (uint32_t ty = 0; ty < 4; ++ty) {
        const uint32_t y = std::min(by * 4 + ty, height - 1);
        for (uint32_t tx = 0; tx < 4; ++tx) {
          const uint32_t x = std::min(bx * 4 + tx, width - 1);
          texels[ty * 4 + tx] = argb[uint64_t{y} * width + x];
        }
      }
      EncodeDxtBlock(format, texels, dest + by * pitch + uint64_t{bx} * blockBytes);
    }
  }
  return true;
}

void BoxFilterArgb(const uint32_t* source, uint32_t width, uint32_t height, uint32_t* dest) {
  const uint32_t destWidth = std::max<uint32_t>(width / 2, 1);
  const uint32_t destHeight = std::max<uint32_t>(height / 2, 1);
  for (uint32_t y = 0; y < destHeight; ++y) {
    const uint32_t y0 = height > 1 ? 2 * y : 0;
    const uint32_t y1 = height > 1 ? 2 * y + 1 : 0;
    for (uint32_t x = 0; x < destWidth; ++x) {
      const uint32_t x0 = width > 1 ? 2 * x : 0;
      const uint32_t x1 = width > 1 ? 2 * x + 1 : 0;
      const uint32_t samples[4] = {
          source[uint64_t{y0} * width + x0], source[uint64_t{y0} * width + x1],
          source[uint64_t{y1} * width + x0], source[uint64_t{y1} * width + x1]};
      uint32_t result = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sum = 2;
        for (uint32_t sample : samples) sum += (sample >> shift) & 0xFFu;
        result |= (sum / 4) << shift;
      }
      dest[uint64_t{y} * destWidth + x] = result;
    }
  }
}

}  // namespace gfx
