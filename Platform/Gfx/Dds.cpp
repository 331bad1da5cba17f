#include "Platform/Gfx/Dds.h"

#include "Platform/Gfx/GfxLog.h"
#include "Platform/Gfx/PixelFormats.h"

namespace gfx {

namespace {

constexpr uint32_t kMagic = 0x20534444u;  // "DDS "
constexpr uint32_t kHeaderSize = 124;
constexpr uint32_t kPixelFormatSize = 32;

uint32_t Word(const uint8_t* image, size_t offset) {
  return static_cast<uint32_t>(image[offset]) | (static_cast<uint32_t>(image[offset + 1]) << 8) |
         (static_cast<uint32_t>(image[offset + 2]) << 16) |
         (static_cast<uint32_t>(image[offset + 3]) << 24);
}

constexpr uint32_t FourCC(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

struct PixelFormat {
  uint32_t flags;
  uint32_t fourCC;
  uint32_t bits;
  uint32_t red, green, blue, alpha;
};

struct MaskedFormat {
  D3DFORMAT format;
  uint32_t kind;  // kDdpfRgb, kDdpfLuminance or kDdpfAlpha
  uint32_t bits;
  uint32_t red, green, blue, alpha;
};

// The layouts each format is written with. An alpha mask only counts when the file says it has
// alpha pixels; a format "without" alpha then matches a file that gives its unused bits a mask
// but no alpha flag.
constexpr MaskedFormat kMaskedFormats[] = {
    {D3DFMT_A8R8G8B8, kDdpfRgb, 32, 0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u},
    {D3DFMT_X8R8G8B8, kDdpfRgb, 32, 0xFF0000u, 0xFF00u, 0xFFu, 0},
    {D3DFMT_R8G8B8, kDdpfRgb, 24, 0xFF0000u, 0xFF00u, 0xFFu, 0},
    {D3DFMT_R5G6B5, kDdpfRgb, 16, 0xF800u, 0x7E0u, 0x1Fu, 0},
    {D3DFMT_A1R5G5B5, kDdpfRgb, 16, 0x7C00u, 0x3E0u, 0x1Fu, 0x8000u},
    {D3DFMT_X1R5G5B5, kDdpfRgb, 16, 0x7C00u, 0x3E0u, 0x1Fu, 0},
    {D3DFMT_A4R4G4B4, kDdpfRgb, 16, 0xF00u, 0xF0u, 0xFu, 0xF000u},
    {D3DFMT_L8, kDdpfLuminance, 8, 0xFFu, 0, 0, 0},
    {D3DFMT_A8L8, kDdpfLuminance, 16, 0xFFu, 0, 0, 0xFF00u},
    {D3DFMT_A8, kDdpfAlpha, 8, 0, 0, 0, 0xFFu},
};

D3DFORMAT FormatOf(const PixelFormat& pf) {
  if (pf.flags & kDdpfFourCC) {
    switch (pf.fourCC) {
      case FourCC('D', 'X', 'T', '1'):
        return D3DFMT_DXT1;
      case FourCC('D', 'X', 'T', '3'):
        return D3DFMT_DXT3;
      case FourCC('D', 'X', 'T', '5'):
        return D3DFMT_DXT5;
      default:
        // Some tools write an uncompressed format's Direct3D number as its FourCC.
        if (pf.fourCC < 256 && BytesPerPixel(static_cast<D3DFORMAT>(pf.fourCC)) != 0) {
          return static_cast<D3DFORMAT>(pf.fourCC);
        }
        return D3DFMT_UNKNOWN;
    }
  }
  const bool hasAlpha = (pf.flags & (kDdpfAlphaPixels | kDdpfAlpha)) != 0;
  uint32_t kind = 0;
  if (pf.flags & kDdpfRgb) {
    kind = kDdpfRgb;
  } else if (pf.flags & kDdpfLuminance) {
    kind = kDdpfLuminance;
  } else if (pf.flags & kDdpfAlpha) {
    kind = kDdpfAlpha;
  } else {
    return D3DFMT_UNKNOWN;
  }
  for (const MaskedFormat& m : kMaskedFormats) {
    if (m.kind != kind || m.bits != pf.bits) continue;
    if (m.red != pf.red || m.green != pf.green || m.blue != pf.blue) continue;
    if (hasAlpha ? m.alpha == pf.alpha : m.alpha == 0) return m.format;
  }
  return D3DFMT_UNKNOWN;
}

HRESULT Refuse(HRESULT result, const char* reason) {
  GfxLog("gfx: DDS image refused: %s\n", reason);
  return result;
}

}  // namespace

HRESULT ReadDds(const void* data, size_t size, DdsImage* image) {
  *image = DdsImage{};
  char reason[160];
  if (!data || size < kDdsDataOffset) {
    std::snprintf(reason, sizeof reason, "%zu bytes is too short for the header", size);
    return Refuse(D3DERR_INVALIDCALL, reason);
  }
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  if (Word(bytes, 0) != kMagic) return Refuse(D3DERR_INVALIDCALL, "no \"DDS \" magic");
  const uint32_t headerSize = Word(bytes, 4);
  const uint32_t flags = Word(bytes, 8);
  const uint32_t height = Word(bytes, 12);
  const uint32_t width = Word(bytes, 16);
  const uint32_t pitchOrLinearSize = Word(bytes, 20);
  const uint32_t depth = Word(bytes, 24);
  const uint32_t mipMapCount = Word(bytes, 28);
  const uint32_t pixelFormatSize = Word(bytes, 76);
  const PixelFormat pf{Word(bytes, 80),  Word(bytes, 84),  Word(bytes, 88), Word(bytes, 92),
                       Word(bytes, 96),  Word(bytes, 100), Word(bytes, 104)};
  const uint32_t caps2 = Word(bytes, 112);

  if (headerSize != kHeaderSize) {
    std::snprintf(reason, sizeof reason, "header size %u, not 124", headerSize);
    return Refuse(D3DERR_INVALIDCALL, reason);
  }
  if (pixelFormatSize != kPixelFormatSize) {
    std::snprintf(reason, sizeof reason, "pixel format size %u, not 32", pixelFormatSize);
    return Refuse(D3DERR_INVALIDCALL, reason);
  }
  if ((flags & (kDdsdWidth | kDdsdHeight)) != (kDdsdWidth | kDdsdHeight)) {
    std::snprintf(reason, sizeof reason, "flags 0x%X do not give the width and height", flags);
    return Refuse(D3DERR_INVALIDCALL, reason);
  }
  if (width == 0 || height == 0 || width > kDdsMaxDimension || height > kDdsMaxDimension) {
    std::snprintf(reason, sizeof reason, "size %u x %u", width, height);
    return Refuse(D3DERR_INVALIDCALL, reason);
  }
  if ((caps2 & (kDdsCaps2CubeMap | kDdsCaps2Volume)) || ((flags & kDdsdDepth) && depth > 1)) {
    return Refuse(D3DERR_NOTAVAILABLE, "cube maps and volume textures are not supported");
  }
  const D3DFORMAT format = FormatOf(pf);
  if (format == D3DFMT_UNKNOWN) {
    std::snprintf(reason, sizeof reason,
                  "pixel format not supported (flags 0x%X, FourCC 0x%08X, %u bits, masks %08X "
                  "%08X %08X %08X)",
                  pf.flags, pf.fourCC, pf.bits, pf.red, pf.green, pf.blue, pf.alpha);
    return Refuse(D3DERR_NOTAVAILABLE, reason);
  }

  // The pitch field is only informative (the data is always tightly packed), but a value that
  // disagrees with the format means the file is not what its header says.
  const uint64_t pitch = FormatPitch(format, width);
  const uint64_t levelSize = FormatLevelSize(format, width, height);
  if ((flags & (kDdsdPitch | kDdsdLinearSize)) && pitchOrLinearSize != 0 &&
      pitchOrLinearSize != pitch && pitchOrLinearSize != levelSize) {
    std::snprintf(reason, sizeof reason, "pitch %u does not fit a %u x %u image (%llu per row)",
                  pitchOrLinearSize, width, height, static_cast<unsigned long long>(pitch));
    return Refuse(D3DERR_INVALIDCALL, reason);
  }

  const uint32_t chainLength = FullMipCount(width, height);
  const uint32_t levelCount = mipMapCount == 0 ? 1 : mipMapCount;
  if (levelCount > chainLength) {
    std::snprintf(reason, sizeof reason, "%u mip levels, a %u x %u chain has %u", levelCount,
                  width, height, chainLength);
    return Refuse(D3DERR_INVALIDCALL, reason);
  }

  uint64_t offset = kDdsDataOffset;
  for (uint32_t level = 0; level < levelCount; ++level) {
    DdsLevel& out = image->levels[level];
    out.width = MipSize(width, level);
    out.height = MipSize(height, level);
    out.pitch = static_cast<uint32_t>(FormatPitch(format, out.width));
    out.size = FormatLevelSize(format, out.width, out.height);
    out.offset = offset;
    offset += out.size;
    if (offset > size) {
      std::snprintf(reason, sizeof reason, "level %u ends at byte %llu, the image has %zu", level,
                    static_cast<unsigned long long>(offset), size);
      *image = DdsImage{};
      return Refuse(D3DERR_INVALIDCALL, reason);
    }
  }
  image->format = format;
  image->width = width;
  image->height = height;
  image->levelCount = levelCount;
  return D3D_OK;
}

}  // namespace gfx
