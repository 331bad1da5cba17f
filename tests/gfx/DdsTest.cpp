// The DDS reader and the pixel conversions behind it, without a device: headers of every format,
// refusals of broken images, DXT encoding, 16-bit packings. (DXT decoding is checked texel by
// texel through the device's software path.)
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Platform/Gfx/Dds.h"
#include "Platform/Gfx/PixelFormats.h"
#include "tests/support/DdsWriter.h"

using namespace gfx;

namespace {

constexpr D3DFORMAT kAllFormats[] = {
    D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5,
    D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_L8,     D3DFMT_A8,     D3DFMT_A8L8,
    D3DFMT_DXT1,     D3DFMT_DXT3,     D3DFMT_DXT5};

std::vector<uint32_t> Pattern(uint32_t width, uint32_t height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      pixels[y * width + x] = 0xFF000000u | (x * 30u << 16) | (y * 40u << 8) | 0x55u;
    }
  }
  return pixels;
}

// ReadDds's result, and what it logged.
HRESULT ReadLogged(const std::vector<uint8_t>& image, std::string* log, DdsImage* out = nullptr) {
  DdsImage local;
  testing::internal::CaptureStderr();
  const HRESULT result = ReadDds(image.empty() ? nullptr : image.data(), image.size(),
                                 out ? out : &local);
  *log = testing::internal::GetCapturedStderr();
  return result;
}

uint32_t Expand5(uint32_t v) { return (v << 3) | (v >> 2); }
uint32_t Expand6(uint32_t v) { return (v << 2) | (v >> 4); }

}  // namespace

TEST(DdsTest, EveryFormatIsReadWithItsWholeMipChainLaidOutBackToBack) {
  const std::vector<uint32_t> pixels = Pattern(8, 4);
  for (D3DFORMAT format : kAllFormats) {
    SCOPED_TRACE(static_cast<unsigned>(format));
    const std::vector<uint8_t> image = ddswriter::WriteDds(format, 8, 4, pixels.data(), true);
    ASSERT_FALSE(image.empty());
    DdsImage dds;
    std::string log;
    ASSERT_EQ(ReadLogged(image, &log, &dds), D3D_OK);
    EXPECT_EQ(log, "");
    EXPECT_EQ(dds.format, format);
    EXPECT_EQ(dds.width, 8u);
    EXPECT_EQ(dds.height, 4u);
    ASSERT_EQ(dds.levelCount, 4u);  // 8x4, 4x2, 2x1, 1x1
    const uint32_t sizes[4][2] = {{8, 4}, {4, 2}, {2, 1}, {1, 1}};
    uint64_t offset = 128;
    for (uint32_t level = 0; level < 4; ++level) {
      EXPECT_EQ(dds.levels[level].width, sizes[level][0]);
      EXPECT_EQ(dds.levels[level].height, sizes[level][1]);
      EXPECT_EQ(dds.levels[level].offset, offset);
      EXPECT_EQ(dds.levels[level].size,
                ddswriter::LevelBytes(format, sizes[level][0], sizes[level][1]));
      EXPECT_EQ(dds.levels[level].pitch, ddswriter::LevelPitch(format, sizes[level][0]));
      offset += dds.levels[level].size;
    }
    EXPECT_EQ(offset, image.size());

    // Without a chain the file has one level.
    const std::vector<uint8_t> single = ddswriter::WriteDds(format, 8, 4, pixels.data(), false);
    ASSERT_EQ(ReadLogged(single, &log, &dds), D3D_OK);
    EXPECT_EQ(dds.levelCount, 1u);
  }
}

TEST(DdsTest, BrokenImagesAreRefusedWithALogLine) {
  const std::vector<uint32_t> pixels = Pattern(8, 4);
  const std::vector<uint8_t> good =
      ddswriter::WriteDds(D3DFMT_A8R8G8B8, 8, 4, pixels.data(), false);
  struct Case {
    const char* why;  // in the refusal's log line
    HRESULT expected;
    std::vector<uint8_t> image;
  };
  std::vector<Case> cases;
  const auto with = [&](const char* why, HRESULT expected, size_t offset, uint32_t value) {
    std::vector<uint8_t> image = good;
    ddswriter::PutWord(&image, offset, value);
    cases.push_back({why, expected, image});
  };
  cases.push_back({"0 bytes is too short for the header", D3DERR_INVALIDCALL, {}});
  cases.push_back({"100 bytes is too short for the header", D3DERR_INVALIDCALL,
                   std::vector<uint8_t>(good.begin(), good.begin() + 100)});
  cases.push_back({"level 0 ends at byte 256, the image has 255", D3DERR_INVALIDCALL,
                   std::vector<uint8_t>(good.begin(), good.end() - 1)});
  with("magic", D3DERR_INVALIDCALL, 0, 0x20534444u + 1);
  with("header size 120, not 124", D3DERR_INVALIDCALL, ddswriter::kOffsetHeaderSize, 120);
  with("pixel format size 24, not 32", D3DERR_INVALIDCALL, ddswriter::kOffsetPixelFormatSize, 24);
  with("do not give the width", D3DERR_INVALIDCALL, ddswriter::kOffsetFlags, 0x1 | 0x2 | 0x1000);
  with("size 0 x 4", D3DERR_INVALIDCALL, ddswriter::kOffsetWidth, 0);
  with("size 8 x 0", D3DERR_INVALIDCALL, ddswriter::kOffsetHeight, 0);
  with("size 65536 x 4", D3DERR_INVALIDCALL, ddswriter::kOffsetWidth, 65536);
  with("size 8 x 2147483648", D3DERR_INVALIDCALL, ddswriter::kOffsetHeight, 0x80000000u);
  with("pitch 30 does not fit", D3DERR_INVALIDCALL, ddswriter::kOffsetPitch, 30);
  // Four levels announced, one level of data present; an 8 x 4 chain has four levels.
  with("level 1 ends at byte", D3DERR_INVALIDCALL, ddswriter::kOffsetMipCount, 4);
  with("5 mip levels, a 8 x 4 chain has 4", D3DERR_INVALIDCALL, ddswriter::kOffsetMipCount, 5);
  with("4294967295 mip levels", D3DERR_INVALIDCALL, ddswriter::kOffsetMipCount, 0xFFFFFFFFu);
  with("cube maps", D3DERR_NOTAVAILABLE, ddswriter::kOffsetCaps2, 0x200 | 0xFC00);
  with("pixel format not supported", D3DERR_NOTAVAILABLE, 92, 0x00FF00u);  // red mask as green
  {
    std::vector<uint8_t> image = good;
    ddswriter::PutWord(&image, ddswriter::kOffsetPixelFormatFlags, 0x4);
    ddswriter::PutWord(&image, ddswriter::kOffsetFourCC, 0x32495441u);  // "ATI2"
    cases.push_back({"FourCC 0x32495441", D3DERR_NOTAVAILABLE, image});
    ddswriter::PutWord(&image, ddswriter::kOffsetFourCC, 0x32545844u);  // "DXT2", premultiplied
    cases.push_back({"FourCC 0x32545844", D3DERR_NOTAVAILABLE, image});
    image = good;
    image[ddswriter::kOffsetFlags + 2] |= 0x80;  // the depth flag, with a depth of 2
    ddswriter::PutWord(&image, ddswriter::kOffsetPitch + 4, 2);
    cases.push_back({"volume textures", D3DERR_NOTAVAILABLE, image});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    std::string log;
    DdsImage dds;
    EXPECT_EQ(ReadLogged(c.image, &log, &dds), c.expected);
    EXPECT_NE(log.find(std::string("gfx: DDS image refused: ")), std::string::npos);
    EXPECT_NE(log.find(c.why), std::string::npos) << log;
    EXPECT_EQ(dds.levelCount, 0u);
  }
  std::string log;
  EXPECT_EQ(ReadLogged(good, &log), D3D_OK);
}

TEST(DdsTest, EveryShortenedImageIsRefused) {
  // Each prefix of a DXT5 file with a chain sits in a buffer of exactly its own size, so a read
  // past the end would be a read past the buffer.
  const std::vector<uint32_t> pixels = Pattern(16, 8);
  const std::vector<uint8_t> image = ddswriter::WriteDds(D3DFMT_DXT5, 16, 8, pixels.data(), true);
  DdsImage dds;
  for (size_t size = 0; size < image.size(); ++size) {
    std::vector<uint8_t> prefix(image.begin(), image.begin() + static_cast<long>(size));
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReadDds(prefix.data(), prefix.size(), &dds), D3DERR_INVALIDCALL) << size;
    testing::internal::GetCapturedStderr();
  }
  EXPECT_EQ(ReadDds(image.data(), image.size(), &dds), D3D_OK);
  EXPECT_EQ(dds.levelCount, 5u);
}

TEST(DdsTest, DxtEncodingKeepsColoursThatTheEndPointsHold) {
  // Two colours that 5:6:5 holds exactly come back exactly; transparent texels stay transparent
  // in DXT1 and keep their alpha in DXT3 and DXT5.
  // Neither colour is the larger in every channel, so a bounding box of the block would miss both.
  const uint32_t a = 0xFF000000u | (Expand5(20) << 16) | (Expand6(40) << 8) | Expand5(3);
  const uint32_t b = 0xFF000000u | (Expand5(2) << 16) | (Expand6(10) << 8) | Expand5(30);
  uint32_t source[16];
  for (int i = 0; i < 16; ++i) source[i] = (i % 3 == 0) ? a : b;
  source[5] = b & 0x00FFFFFFu;
  uint8_t block[16];
  uint32_t decoded[16];
  for (D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5}) {
    SCOPED_TRACE(static_cast<unsigned>(format));
    EncodeDxtBlock(format, source, block);
    DecodeDxtBlock(format, block, decoded);
    for (int i = 0; i < 16; ++i) {
      if (i == 5) {
        EXPECT_EQ(decoded[i] >> 24, 0u);
        continue;
      }
      EXPECT_EQ(decoded[i], source[i]) << i;
    }
  }
}

TEST(DdsTest, PackedTexelsReadAsDirect3DDefinesThem) {
  const auto read = [](D3DFORMAT format, std::vector<uint8_t> bytes) {
    uint32_t argb = 0;
    RowToArgb(format, bytes.data(), 1, &argb);
    return argb;
  };
  EXPECT_EQ(read(D3DFMT_R5G6B5, {0x00, 0xF8}), 0xFFFF0000u);
  EXPECT_EQ(read(D3DFMT_R5G6B5, {0xE0, 0x07}), 0xFF00FF00u);
  EXPECT_EQ(read(D3DFMT_R5G6B5, {0x1F, 0x00}), 0xFF0000FFu);
  EXPECT_EQ(read(D3DFMT_A1R5G5B5, {0x00, 0x7C}), 0x00FF0000u);
  EXPECT_EQ(read(D3DFMT_A1R5G5B5, {0x1F, 0x80}), 0xFF0000FFu);
  EXPECT_EQ(read(D3DFMT_X1R5G5B5, {0x00, 0x7C}), 0xFFFF0000u);
  EXPECT_EQ(read(D3DFMT_A4R4G4B4, {0x00, 0x8F}), 0x88FF0000u);
  EXPECT_EQ(read(D3DFMT_A4R4G4B4, {0x3C, 0x00}), 0x000033CCu);
  EXPECT_EQ(read(D3DFMT_R8G8B8, {0x01, 0x02, 0x03}), 0xFF030201u);
  EXPECT_EQ(read(D3DFMT_X8R8G8B8, {0x01, 0x02, 0x03, 0x00}), 0xFF030201u);
  EXPECT_EQ(read(D3DFMT_A8R8G8B8, {0x01, 0x02, 0x03, 0x04}), 0x04030201u);
  EXPECT_EQ(read(D3DFMT_L8, {0x33}), 0xFF333333u);
  EXPECT_EQ(read(D3DFMT_A8, {0x7F}), 0x7F000000u);
  EXPECT_EQ(read(D3DFMT_A8L8, {0x40, 0x80}), 0x80404040u);

  // Every 16-bit value survives a trip to A8R8G8B8 and back (X1R5G5B5's unused bit aside).
  for (D3DFORMAT format : {D3DFMT_R5G6B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8L8}) {
    int mismatches = 0;
    for (uint32_t v = 0; v < 65536; ++v) {
      const uint8_t bytes[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
      uint32_t argb = 0;
      uint8_t back[2] = {};
      RowToArgb(format, bytes, 1, &argb);
      RowFromArgb(format, &argb, 1, back);
      if (back[0] != bytes[0] || back[1] != bytes[1]) ++mismatches;
    }
    EXPECT_EQ(mismatches, 0) << static_cast<unsigned>(format);
  }
}

TEST(DdsTest, SizesOfLevelsAndChains) {
  EXPECT_EQ(FullMipCount(1, 1), 1u);
  EXPECT_EQ(FullMipCount(256, 256), 9u);
  EXPECT_EQ(FullMipCount(16, 8), 5u);
  EXPECT_EQ(FullMipCount(5, 3), 3u);  // 5x3, 2x1, 1x1
  EXPECT_EQ(MipSize(5, 1), 2u);
  EXPECT_EQ(MipSize(5, 7), 1u);
  EXPECT_EQ(FormatPitch(D3DFMT_DXT1, 13), 32u);  // four blocks of 8 bytes
  EXPECT_EQ(FormatRows(D3DFMT_DXT1, 7), 2u);
  EXPECT_EQ(FormatLevelSize(D3DFMT_DXT5, 1, 1), 16u);
  EXPECT_EQ(FormatLevelSize(D3DFMT_R8G8B8, 13, 7), 13u * 3u * 7u);

  // The box filter averages 2 x 2 (rounding to nearest) and keeps a side of 1.
  const uint32_t square[4] = {0xFF000000u, 0xFFFFFFFFu, 0x00FF0000u, 0x000000FFu};
  uint32_t one = 0;
  BoxFilterArgb(square, 2, 2, &one);
  EXPECT_EQ(one, 0x80804080u);  // alpha (255 + 255 + 0 + 0 + 2) / 4 = 128, ...
  const uint32_t column[4] = {0xFF000000u, 0xFF000004u, 0xFF000010u, 0xFF000020u};
  uint32_t half[2] = {};
  BoxFilterArgb(column, 1, 4, half);
  EXPECT_EQ(half[0], 0xFF000002u);
  EXPECT_EQ(half[1], 0xFF000018u);
}
