// ".dds" textures: the device's reader over the whole image, then every level it reports read to
// its last byte, as the texture upload does.

#include "Platform/Gfx/Dds.h"
#include "tests/fuzz/FuzzTarget.h"
#include "tests/support/DdsWriter.h"

std::vector<FuzzSeed> FuzzSeeds() {
  std::vector<uint32_t> texels(8 * 8);
  for (size_t i = 0; i < texels.size(); ++i) texels[i] = 0xFF000000u | uint32_t(i * 0x030507u);
  std::vector<FuzzSeed> seeds;
  const struct {
    const char* name;
    gfx::D3DFORMAT format;
  } kFormats[] = {{"argb.dds", gfx::D3DFMT_A8R8G8B8}, {"rgb565.dds", gfx::D3DFMT_R5G6B5},
                  {"dxt1.dds", gfx::D3DFMT_DXT1},     {"dxt3.dds", gfx::D3DFMT_DXT3},
                  {"dxt5.dds", gfx::D3DFMT_DXT5}};
  for (const auto& f : kFormats)
    seeds.push_back({f.name, ddswriter::WriteDds(f.format, 8, 8, texels.data(), true)});
  return seeds;
}

bool FuzzSetUp() { return true; }

void FuzzOne(const uint8_t* data, size_t size) {
  // An exact copy, so that a read past the end of the image is seen.
  std::vector<uint8_t> image(data, data + size);
  gfx::DdsImage dds;
  if (gfx::ReadDds(image.data(), image.size(), &dds) != gfx::D3D_OK) return;
  volatile uint8_t sum = 0;
  for (uint32_t i = 0; i < dds.levelCount; ++i)
    if (dds.levels[i].size) sum = sum + image[dds.levels[i].offset + dds.levels[i].size - 1];
}
