#include "tests/support/LgtWriter.h"

#include <cstring>

#include "tests/support/ScnWriter.h"

namespace lgtwriter {

std::vector<uint8_t> Write(const LightDesc& desc) {
  std::vector<uint8_t> image(kRecordSize, 0);
  scnwriter::PutU32(&image, kOffsetCount, desc.count);
  for (size_t i = 0; i < 3; ++i) scnwriter::PutF32(&image, kOffsetAmbient + 4 * i, desc.ambient[i]);
  for (size_t light = 0; light < 3; ++light) {
    const size_t at = kOffsetLights + light * kLightSize;
    for (size_t i = 0; i < 3; ++i) {
      scnwriter::PutF32(&image, at + 4 * i, desc.lights[light].direction[i]);
      scnwriter::PutF32(&image, at + 12 + 4 * i, desc.lights[light].colour[i]);
    }
  }
  image.insert(image.end(), desc.trailer.begin(), desc.trailer.end());
  return image;
}

bool SaveLgt(const std::string& path, const LightDesc& desc) {
  return scnwriter::SaveBytes(path, Write(desc));
}

}  // namespace lgtwriter
