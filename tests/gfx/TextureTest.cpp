// Textures on the real device (llvmpipe in headless runs): every DDS format through
// D3DXCreateTextureFromFileInMemory and back out of GL, generated mip chains, locks, pitches,
// UpdateTexture, the DEFAULT-pool count that Reset checks, and textures outliving the device.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Platform/Gfx/D3D.h"
#include "Platform/Gfx/D3DX.h"
#include "Platform/Gfx/PixelFormats.h"
#include "tests/gfx/DeviceFixture.h"
#include "tests/support/DdsWriter.h"

using namespace gfx;

namespace {

using gfxtest::Near;
using gfxtest::Ref;
using gfxtest::WindowedParams;

int CountOff(const std::vector<uint32_t>& actual, const std::vector<uint32_t>& expected,
             int tolerance) {
  int off = 0;
  for (size_t i = 0; i < actual.size(); ++i) {
    if (!Near(actual[i], expected[i], tolerance)) {
      if (off < 4) ADD_FAILURE() << "texel " << i << std::hex << ": " << actual[i] << " not " << expected[i];
      ++off;
    }
  }
  return off;
}

// A channel as a format of `bits` bits holds it, widened back to 8 bits.
uint32_t Quantize(uint32_t channel, uint32_t bits) {
  if (bits == 8) return channel;
  const uint32_t maxValue = (1u << bits) - 1;
  const uint32_t stored = (channel * maxValue + 127) / 255;
  return (stored * 255 + maxValue / 2) / maxValue;
}

// What sampling a texel of `format` written from `argb` gives: channel widths per format,
// missing colour channels 0 (A8) or the luminance (L8, A8L8: the writer takes red), missing
// alpha 1.
uint32_t Expected(D3DFORMAT format, uint32_t argb) {
  const uint32_t a = argb >> 24, r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
  const auto make = [](uint32_t alpha, uint32_t red, uint32_t green, uint32_t blue) {
    return (alpha << 24) | (red << 16) | (green << 8) | blue;
  };
  switch (format) {
    case D3DFMT_A8R8G8B8: return argb;
    case D3DFMT_X8R8G8B8:
    case D3DFMT_R8G8B8: return argb | 0xFF000000u;
    case D3DFMT_R5G6B5: return make(255, Quantize(r, 5), Quantize(g, 6), Quantize(b, 5));
    case D3DFMT_X1R5G5B5: return make(255, Quantize(r, 5), Quantize(g, 5), Quantize(b, 5));
    case D3DFMT_A1R5G5B5: return make(Quantize(a, 1), Quantize(r, 5), Quantize(g, 5), Quantize(b, 5));
    case D3DFMT_A4R4G4B4:
      return make(Quantize(a, 4), Quantize(r, 4), Quantize(g, 4), Quantize(b, 4));
    case D3DFMT_L8: return make(255, r, r, r);
    case D3DFMT_A8: return make(a, 0, 0, 0);
    case D3DFMT_A8L8: return make(a, r, r, r);
    default: return 0;
  }
}

// Distinct in every row and column, alpha on both sides of a half.
std::vector<uint32_t> Pattern(uint32_t width, uint32_t height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t a = (x * 32 + y * 3) & 0xFF;
      pixels[y * width + x] = (a << 24) | ((y * 36) << 16) | ((x * 36) << 8) | (255 - (x + y) * 15);
    }
  }
  return pixels;
}

class DeviceTextureTest : public gfxtest::DeviceFixture {
 protected:
  void TearDown() override {
    TestHooks::DisableCompressedTextures(false);
    DeviceFixture::TearDown();
  }

  D3DTexture* Load(const std::vector<uint8_t>& image) {
    D3DTexture* texture = nullptr;
    EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device_, image.data(),
                                                static_cast<uint32_t>(image.size()), &texture),
              D3D_OK);
    return texture;
  }

  std::vector<uint32_t> ReadTexture(D3DTexture* texture, uint32_t width, uint32_t height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0xDEADBEEFu);
    EXPECT_EQ(TestHooks::ReadTexture(device_, texture, pixels.data()), D3D_OK);
    return pixels;
  }

  // Level `level` locked read-only, copied out.
  std::vector<uint8_t> LockedBytes(D3DTexture* texture, uint32_t level, int32_t* pitch) {
    D3DSURFACE_DESC desc{};
    EXPECT_EQ(texture->GetLevelDesc(level, &desc), D3D_OK);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    *pitch = locked.Pitch;
    const size_t size = FormatLevelSize(desc.Format, desc.Width, desc.Height);
    std::vector<uint8_t> bytes(static_cast<const uint8_t*>(locked.pBits),
                               static_cast<const uint8_t*>(locked.pBits) + size);
    EXPECT_EQ(texture->UnlockRect(level), D3D_OK);
    return bytes;
  }

};

TEST_F(DeviceTextureTest, EveryUncompressedFormatReachesGlWithItsTexelsInPlace) {
  const std::vector<uint32_t> pixels = Pattern(8, 8);
  const D3DFORMAT formats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R8G8B8,  D3DFMT_R5G6B5,
                               D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_L8,
                               D3DFMT_A8,       D3DFMT_A8L8};
  for (D3DFORMAT format : formats) {
    SCOPED_TRACE(static_cast<unsigned>(format));
    const std::vector<uint8_t> image = ddswriter::WriteDds(format, 8, 8, pixels.data(), false);
    D3DTexture* texture = Load(image);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetLevelCount(), 4u);  // generated: 8, 4, 2, 1
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(texture->GetLevelDesc(0, &desc), D3D_OK);
    EXPECT_TRUE(desc.Format == format && desc.Pool == D3DPOOL_MANAGED && desc.Width == 8 &&
                desc.Height == 8);

    std::vector<uint32_t> expected(pixels.size());
    for (size_t i = 0; i < pixels.size(); ++i) expected[i] = Expected(format, pixels[i]);
    EXPECT_EQ(CountOff(ReadTexture(texture, 8, 8), expected, 1), 0);

    // The CPU copy is the file's bytes, rows at the format's pitch.
    int32_t pitch = 0;
    const std::vector<uint8_t> bytes = LockedBytes(texture, 0, &pitch);
    EXPECT_EQ(pitch, static_cast<int32_t>(8 * BytesPerPixel(format)));
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), image.begin() + 128));
    texture->Release();
  }
}

TEST_F(DeviceTextureTest, DxtBlocksDecodeToTheColoursOfTheirEndPointsOnBothPaths) {
  const uint16_t red = ddswriter::Rgb565(31, 0, 0);
  const uint16_t blue = ddswriter::Rgb565(0, 0, 31);
  const uint16_t green = ddswriter::Rgb565(0, 63, 0);
  const auto alphaCodes = [](const std::array<uint32_t, 4>& row0, uint32_t rest) {
    uint64_t bits = 0;
    for (int i = 0; i < 16; ++i) bits |= uint64_t{i < 4 ? row0[i] : rest} << (3 * i);
    return bits;
  };
  struct Case {
    D3DFORMAT format;
    std::vector<uint8_t> blocks;  // two blocks side by side: an 8 x 4 level
    std::array<uint32_t, 4> firstRow[2];
    uint32_t rest[2];
  };
  std::vector<Case> cases;
  {
    const auto a = ddswriter::Dxt1Block(red, blue, 0x555555E4u);    // row 0: 0 1 2 3, then 1
    const auto b = ddswriter::Dxt1Block(blue, red, 0xFFFFFFE4u);    // three colours, then 3
    Case c{D3DFMT_DXT1, {}, {{0xFFFF0000u, 0xFF0000FFu, 0xFFAA0055u, 0xFF5500AAu},
                             {0xFF0000FFu, 0xFFFF0000u, 0xFF7F007Fu, 0x00000000u}},
           {0xFF0000FFu, 0x00000000u}};
    c.blocks.insert(c.blocks.end(), a.begin(), a.end());
    c.blocks.insert(c.blocks.end(), b.begin(), b.end());
    cases.push_back(c);
  }
  {
    const auto a = ddswriter::Dxt3Block(0xFFFFFFFFFFFF018Full, blue, red, 0x5555550Bu);
    const auto b = ddswriter::Dxt3Block(0x7777777777777777ull, red, blue, 0);
    Case c{D3DFMT_DXT3, {}, {{0xFFAA0055u, 0x885500AAu, 0x110000FFu, 0x000000FFu},
                             {0x77FF0000u, 0x77FF0000u, 0x77FF0000u, 0x77FF0000u}},
           {0xFFFF0000u, 0x77FF0000u}};
    c.blocks.insert(c.blocks.end(), a.begin(), a.end());
    c.blocks.insert(c.blocks.end(), b.begin(), b.end());
    cases.push_back(c);
  }
  {
    // Eight alphas between 255 and 51: code 2 is (6 a0 + a1) / 7, code 7 is (a0 + 6 a1) / 7.
    const auto a = ddswriter::Dxt5Block(255, 51, alphaCodes({0, 1, 2, 7}, 0), green, green, 0);
    const auto b = ddswriter::Dxt5Block(0, 255, alphaCodes({2, 6, 7, 0}, 7), red, blue, 0x55555555u);
    Case c{D3DFMT_DXT5, {}, {{0xFF00FF00u, 0x3300FF00u, 0xE100FF00u, 0x5000FF00u},
                             {0x330000FFu, 0x000000FFu, 0xFF0000FFu, 0x000000FFu}},
           {0xFF00FF00u, 0xFF0000FFu}};
    c.blocks.insert(c.blocks.end(), a.begin(), a.end());
    c.blocks.insert(c.blocks.end(), b.begin(), b.end());
    cases.push_back(c);
  }
  for (bool software : {false, true}) {
    TestHooks::DisableCompressedTextures(software);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(static_cast<unsigned>(c.format)) + (software ? " software" : " S3TC"));
      const std::vector<uint8_t> image = ddswriter::WriteDdsLevels(c.format, 8, 4, {c.blocks});
      D3DTexture* texture = Load(image);
      ASSERT_NE(texture, nullptr);
      std::vector<uint32_t> expected(32);
      for (uint32_t y = 0; y < 4; ++y) {
        for (uint32_t x = 0; x < 8; ++x) {
          expected[y * 8 + x] = y == 0 ? c.firstRow[x / 4][x % 4] : c.rest[x / 4];
        }
      }
      // The software path decodes into A8R8G8B8, which reads back exactly.
      EXPECT_EQ(CountOff(ReadTexture(texture, 8, 4), expected, software ? 0 : 2), 0);
      int32_t pitch = 0;
      EXPECT_EQ(LockedBytes(texture, 0, &pitch), c.blocks);
      EXPECT_EQ(pitch, static_cast<int32_t>(c.blocks.size()));  // one row of two blocks
      texture->Release();
    }
  }
}

TEST_F(DeviceTextureTest, MipChainsAreGeneratedTopRowFirstOrTakenFromTheFile) {
  // Top half red, bottom half blue: every level keeps red above blue until the rows meet.
  std::vector<uint32_t> halves(16 * 8);
  for (size_t i = 0; i < halves.size(); ++i) halves[i] = i < 64 ? 0xFFFF0000u : 0xFF0000FFu;
  D3DTexture* texture = Load(ddswriter::WriteDds(D3DFMT_A8R8G8B8, 16, 8, halves.data(), false));
  ASSERT_NE(texture, nullptr);
  ASSERT_EQ(texture->GetLevelCount(), 5u);
  for (uint32_t level = 0; level < 5; ++level) {
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(texture->GetLevelDesc(level, &desc), D3D_OK);
    EXPECT_TRUE(desc.Width == (16u >> level) && desc.Height == std::max(1u, 8u >> level)) << level;
  }
  int32_t pitch = 0;
  std::vector<uint8_t> bytes = LockedBytes(texture, 2, &pitch);  // 4 x 2
  ASSERT_EQ(bytes.size(), 32u);
  uint32_t texels[8];
  std::memcpy(texels, bytes.data(), sizeof texels);
  EXPECT_EQ(texels[0], 0xFFFF0000u);
  EXPECT_EQ(texels[3], 0xFFFF0000u);
  EXPECT_EQ(texels[4], 0xFF0000FFu);
  EXPECT_EQ(texels[7], 0xFF0000FFu);
  bytes = LockedBytes(texture, 4, &pitch);  // 1 x 1: the rounded mean
  std::memcpy(texels, bytes.data(), 4);
  EXPECT_EQ(texels[0], 0xFF800080u);
  D3DSURFACE_DESC desc{};
  EXPECT_EQ(texture->GetLevelDesc(5, &desc), D3DERR_INVALIDCALL);
  texture->Release();

  // A file's own chain is used as it is, even where a box filter would give something else.
  const std::vector<uint32_t> white(64, 0xFFFFFFFFu);
  const std::vector<uint32_t> green(16, 0xFF00FF00u);
  const std::vector<uint32_t> grey(4, 0xFF808080u);
  texture = Load(ddswriter::WriteDdsLevels(
      D3DFMT_X8R8G8B8, 8, 8,
      {ddswriter::PackLevel(D3DFMT_X8R8G8B8, white.data(), 8, 8),
       ddswriter::PackLevel(D3DFMT_X8R8G8B8, green.data(), 4, 4),
       ddswriter::PackLevel(D3DFMT_X8R8G8B8, grey.data(), 2, 2)}));
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->GetLevelCount(), 3u);
  bytes = LockedBytes(texture, 1, &pitch);
  std::memcpy(texels, bytes.data(), 4);
  EXPECT_EQ(texels[0] | 0xFF000000u, 0xFF00FF00u);
  texture->Release();

  // DXT levels are generated as DXT.
  const std::vector<uint32_t> red(64, 0xFFFF0000u);
  texture = Load(ddswriter::WriteDds(D3DFMT_DXT1, 8, 8, red.data(), false));
  ASSERT_NE(texture, nullptr);
  ASSERT_EQ(texture->GetLevelCount(), 4u);
  bytes = LockedBytes(texture, 3, &pitch);
  ASSERT_EQ(bytes.size(), 8u);
  uint32_t block[16];
  DecodeDxtBlock(D3DFMT_DXT1, bytes.data(), block);
  EXPECT_EQ(block[0], 0xFFFF0000u);
  texture->Release();
}

TEST_F(DeviceTextureTest, TheLoaderRefusesWhatTheReaderRefusesAndWhatTheDeviceCannotHold) {
  const std::vector<uint32_t> pixels = Pattern(8, 8);
  std::vector<uint8_t> image = ddswriter::WriteDds(D3DFMT_A8R8G8B8, 8, 8, pixels.data(), false);
  D3DTexture* texture = reinterpret_cast<D3DTexture*>(0x1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device_, image.data(), 100, &texture),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(texture, nullptr);
  std::vector<uint8_t> unknown = image;
  ddswriter::PutWord(&unknown, ddswriter::kOffsetPixelFormatFlags, 0x4);
  ddswriter::PutWord(&unknown, ddswriter::kOffsetFourCC, 0x31495441u);  // "ATI1"
  EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device_, unknown.data(),
                                              static_cast<uint32_t>(unknown.size()), &texture),
            D3DERR_NOTAVAILABLE);
  EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device_, nullptr, 0, &texture), D3DERR_INVALIDCALL);
  // 8192 wide is a sound file, but larger than the device's textures.
  const std::vector<uint32_t> wide(8192, 0xFF000000u);
  const std::vector<uint8_t> tooWide = ddswriter::WriteDds(D3DFMT_A8, 8192, 1, wide.data(), false);
  EXPECT_TRUE(FAILED(D3DXCreateTextureFromFileInMemory(
      device_, tooWide.data(), static_cast<uint32_t>(tooWide.size()), &texture)));
  EXPECT_EQ(texture, nullptr);
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("gfx: DDS image refused"), std::string::npos);
  EXPECT_NE(log.find("gfx: D3DXCreateTextureFromFileInMemory"), std::string::npos);
}

TEST_F(DeviceTextureTest, CreateTextureChecksItsArgumentsAsDirect3DDoes) {
  const struct {
    uint32_t width, levels, usage;
    D3DFORMAT format;
    D3DPOOL pool;
  } refused[] = {
      {0, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},
      {8192, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},
      {8, 5, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},  // an 8 x 8 chain has 4 levels
      {8, 1, 0, D3DFMT_A8R3G3B2, D3DPOOL_MANAGED},
      {8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_R5G6B5, D3DPOOL_MANAGED},
      {8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_DXT1, D3DPOOL_DEFAULT},
      {8, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},
  };
  D3DTexture* texture = nullptr;
  testing::internal::CaptureStderr();
  for (const auto& r : refused) {
    EXPECT_EQ(device_->CreateTexture(r.width, 8, r.levels, r.usage, r.format, r.pool, &texture),
              D3DERR_INVALIDCALL)
        << r.width << " " << r.levels << " " << r.usage << " " << r.format;
  }
  EXPECT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(texture, nullptr);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(device_->LiveDefaultPoolResources(), 0);

  ASSERT_EQ(device_->CreateTexture(8, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
  EXPECT_EQ(texture->GetLevelCount(), 4u);  // 0: the full chain
  texture->Release();
}

TEST_F(DeviceTextureTest, LockRectGivesTheFormatsPitchAndTheRectanglesFirstTexel) {
  struct Case {
    D3DFORMAT format;
    int32_t pitch;  // of a 13 x 7 level
  };
  const Case cases[] = {{D3DFMT_A8R8G8B8, 52}, {D3DFMT_R8G8B8, 39}, {D3DFMT_R5G6B5, 26},
                        {D3DFMT_L8, 13},       {D3DFMT_DXT1, 32},   {D3DFMT_DXT5, 64}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<unsigned>(c.format));
    D3DTexture* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(13, 7, 2, 0, c.format, D3DPOOL_MANAGED, &texture), D3D_OK);
    D3DLOCKED_RECT whole{};
    ASSERT_EQ(texture->LockRect(0, &whole, nullptr, 0), D3D_OK);
    EXPECT_EQ(whole.Pitch, c.pitch);
    // A level is locked once at a time; other levels are free.
    D3DLOCKED_RECT again{};
    EXPECT_EQ(texture->LockRect(0, &again, nullptr, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(texture->LockRect(1, &again, nullptr, 0), D3D_OK);
    EXPECT_EQ(texture->UnlockRect(1), D3D_OK);
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
    EXPECT_EQ(texture->UnlockRect(0), D3DERR_INVALIDCALL);

    const uint8_t* base = static_cast<uint8_t*>(whole.pBits);
    D3DLOCKED_RECT part{};
    if (IsCompressedFormat(c.format)) {
      const RECT blocks{4, 4, 12, 7};  // bottom at the level's edge
      ASSERT_EQ(texture->LockRect(0, &part, &blocks, 0), D3D_OK);
      EXPECT_EQ(static_cast<uint8_t*>(part.pBits) - base,
                c.pitch + static_cast<int32_t>(BlockBytes(c.format)));
      texture->UnlockRect(0);
      const RECT offBlock{1, 0, 4, 4};
      EXPECT_EQ(texture->LockRect(0, &part, &offBlock, 0), D3DERR_INVALIDCALL);
    } else {
      const RECT rect{4, 2, 8, 6};
      ASSERT_EQ(texture->LockRect(0, &part, &rect, 0), D3D_OK);
      EXPECT_EQ(static_cast<uint8_t*>(part.pBits) - base,
                2 * c.pitch + 4 * static_cast<int32_t>(BytesPerPixel(c.format)));
      EXPECT_EQ(part.Pitch, c.pitch);
      texture->UnlockRect(0);
    }
    const RECT outside{0, 0, 14, 7};
    EXPECT_EQ(texture->LockRect(0, &part, &outside, 0), D3DERR_INVALIDCALL);
    const RECT empty{3, 3, 3, 5};
    EXPECT_EQ(texture->LockRect(0, &part, &empty, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture->LockRect(2, &part, nullptr, 0), D3DERR_INVALIDCALL);
    texture->Release();
  }

  // Direct3D locks neither render targets nor static DEFAULT textures.
  Ref<D3DTexture> target, fixed;
  ASSERT_EQ(device_->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_R5G6B5,
                                   D3DPOOL_DEFAULT, &target),
            D3D_OK);
  ASSERT_EQ(device_->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &fixed), D3D_OK);
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(target->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(fixed->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTextureTest, WhatALockWritesReachesGlAtUnlockRowsTopFirst) {
  Ref<D3DTexture> texture;
  ASSERT_EQ(device_->CreateTexture(8, 6, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &texture), D3D_OK);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  for (int y = 0; y < 6; ++y) {
    auto* row = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
    for (int x = 0; x < 8; ++x) row[x] = 0x001F;  // blue
  }
  ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
  // Red into columns 2..3 of rows 1..2 only.
  const RECT rect{2, 1, 4, 3};
  ASSERT_EQ(texture->LockRect(0, &locked, &rect, 0), D3D_OK);
  for (int y = 0; y < 2; ++y) {
    auto* row = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
    row[0] = row[1] = 0xF800;
  }
  ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
  std::vector<uint32_t> expected(48, 0xFF0000FFu);
  for (int y = 1; y < 3; ++y) {
    for (int x = 2; x < 4; ++x) expected[y * 8 + x] = 0xFFFF0000u;
  }
  EXPECT_EQ(CountOff(ReadTexture(texture, 8, 6), expected, 0), 0);

  // A surface of the level locks the same memory.
  Ref<D3DSurface> surface;
  ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), D3D_OK);
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(surface->GetDesc(&desc), D3D_OK);
  EXPECT_TRUE(desc.Width == 8 && desc.Height == 6 && desc.Format == D3DFMT_R5G6B5 &&
              desc.Type == D3DRTYPE_SURFACE);
  ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  EXPECT_EQ(reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(locked.pBits) + locked.Pitch)[2], 0xF800);
  EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);  // held by the surface
  EXPECT_EQ(surface->UnlockRect(), D3D_OK);
  D3DSurface* missing = reinterpret_cast<D3DSurface*>(0x1);
  EXPECT_EQ(texture->GetSurfaceLevel(1, &missing), D3DERR_INVALIDCALL);
  EXPECT_EQ(missing, nullptr);
}

TEST_F(DeviceTextureTest, UpdateTextureCopiesEveryLevelFromSystemMemory) {
  // The system texture's path: paint a SYSTEMMEM twin, then UpdateTexture into the DEFAULT one.
  Ref<D3DTexture> staging, shown, other, smaller;
  ASSERT_EQ(device_->CreateTexture(16, 8, 2, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                   &staging),
            D3D_OK);
  ASSERT_EQ(device_->CreateTexture(16, 8, 2, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                   &shown),
            D3D_OK);
  const std::vector<uint32_t> pixels = Pattern(16, 8);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(staging->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD), D3D_OK);
  ASSERT_EQ(locked.Pitch, 64);
  std::memcpy(locked.pBits, pixels.data(), 16 * 8 * 4);
  ASSERT_EQ(staging->UnlockRect(0), D3D_OK);
  ASSERT_EQ(staging->LockRect(1, &locked, nullptr, D3DLOCK_DISCARD), D3D_OK);
  for (int i = 0; i < 8 * 4; ++i) static_cast<uint32_t*>(locked.pBits)[i] = 0xFF123456u;
  ASSERT_EQ(staging->UnlockRect(1), D3D_OK);
  // A SYSTEMMEM texture is read from its memory.
  EXPECT_EQ(CountOff(ReadTexture(staging, 16, 8), pixels, 0), 0);

  device_->ResetCallCounts();
  ASSERT_EQ(device_->UpdateTexture(staging, shown), D3D_OK);
  EXPECT_EQ(device_->GetCallCount(DeviceCall::UpdateTexture), 1u);
  EXPECT_EQ(CountOff(ReadTexture(shown, 16, 8), pixels, 0), 0);
  int32_t pitch = 0;
  const std::vector<uint8_t> level1 = LockedBytes(shown, 1, &pitch);
  uint32_t texel = 0;
  std::memcpy(&texel, level1.data() + level1.size() - 4, 4);
  EXPECT_EQ(texel, 0xFF123456u);

  // Only SYSTEMMEM into DEFAULT, same format and size.
  ASSERT_EQ(device_->CreateTexture(16, 8, 2, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &other), D3D_OK);
  EXPECT_EQ(device_->UpdateTexture(other, shown), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->UpdateTexture(shown, staging), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->UpdateTexture(staging, nullptr), D3DERR_INVALIDCALL);
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &smaller),
            D3D_OK);
  EXPECT_EQ(device_->UpdateTexture(smaller, shown), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTextureTest, DefaultPoolTexturesHoldOffResetUntilReleased) {
  EXPECT_EQ(device_->LiveDefaultPoolResources(), 0);
  D3DTexture* managed = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed), D3D_OK);
  D3DTexture* target = nullptr;
  ASSERT_EQ(device_->CreateTexture(32, 32, 1, D3DUSAGE_RENDERTARGET, D3DFMT_R5G6B5,
                                   D3DPOOL_DEFAULT, &target),
            D3D_OK);
  EXPECT_EQ(device_->LiveDefaultPoolResources(), 1);
  // A surface keeps its texture alive.
  D3DSurface* surface = nullptr;
  ASSERT_EQ(target->GetSurfaceLevel(0, &surface), D3D_OK);
  target->Release();
  EXPECT_EQ(device_->LiveDefaultPoolResources(), 1);

  D3DPRESENT_PARAMETERS params = WindowedParams(320, 240, window_);
  testing::internal::CaptureStderr();
  EXPECT_EQ(device_->Reset(&params), D3DERR_INVALIDCALL);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Reset refused"), std::string::npos);
  surface->Release();
  EXPECT_EQ(device_->LiveDefaultPoolResources(), 0);
  // Managed textures stay through the reset and keep their contents.
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(managed->LockRect(0, &locked, nullptr, 0), D3D_OK);
  for (int i = 0; i < 64; ++i) static_cast<uint32_t*>(locked.pBits)[i] = 0xFF00FF00u;
  ASSERT_EQ(managed->UnlockRect(0), D3D_OK);
  ASSERT_EQ(device_->Reset(&params), D3D_OK);
  EXPECT_EQ(CountOff(ReadTexture(managed, 8, 8), std::vector<uint32_t>(64, 0xFF00FF00u), 0), 0);
  managed->Release();
}

TEST_F(DeviceTextureTest, TexturesMayOutliveTheirDevice) {
  Ref<D3DTexture> managed, target;
  Ref<D3DSurface> surface;
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed), D3D_OK);
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                   D3DPOOL_DEFAULT, &target),
            D3D_OK);
  ASSERT_EQ(target->GetSurfaceLevel(0, &surface), D3D_OK);
  ASSERT_EQ(device_->SetRenderTarget(0, surface), D3D_OK);
  device_->Release();
  device_ = nullptr;
  EXPECT_EQ(TestHooks::LiveDeviceCount(), 0);
  // Their memory still locks; nothing reaches for the context that is gone.
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(managed->LockRect(0, &locked, nullptr, 0), D3D_OK);
  static_cast<uint32_t*>(locked.pBits)[0] = 1;
  EXPECT_EQ(managed->UnlockRect(0), D3D_OK);
  D3DSURFACE_DESC desc{};
  EXPECT_EQ(surface->GetDesc(&desc), D3D_OK);
}

}  // namespace
