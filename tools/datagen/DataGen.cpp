// Writes the demo data folder the program runs on, made from primitives: placeholder art whose
// only job is to exercise every loader with valid files.
//
//   datagen <output folder>      (the folder that will hold "data/")

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/DdsWriter.h"

namespace {

// The texture drawn wherever a texture is missing: a loud magenta and black checker.
bool WriteBadTexture(const std::string& root) {
  const uint32_t size = 64;
  std::vector<uint32_t> texels(size * size);
  for (uint32_t y = 0; y < size; ++y)
    for (uint32_t x = 0; x < size; ++x)
      texels[y * size + x] = ((x / 8 + y / 8) % 2) ? 0xFFFF00FFu : 0xFF000000u;
  return ddswriter::SaveDds(root + "/data/badtexture.dds", gfx::D3DFMT_A8R8G8B8, size, size,
                            texels.data(), true);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: datagen <output folder>\n");
    return 2;
  }
  const std::string root = argv[1];
  if (!WriteBadTexture(root)) {
    std::fprintf(stderr, "datagen: cannot write %s/data/badtexture.dds\n", root.c_str());
    return 1;
  }
  std::printf("datagen: demo data written to %s/data\n", root.c_str());
  return 0;
}
