#include "tests/support/LgtWriter.h"

#include "tests/support/ByteWriter.h"

namespace lgtwriter {

std::vector<uint8_t> Write(const LightDesc& desc) {
  std::vector<uint8_t> image(kRecordSize, 0);
  bytewriter::PutU32(image, kOffsetCount, desc.count);
  bytewriter::PutF32s(image, kOffsetAmbient, desc.ambient, 3);
  for (size_t light = 0; light < 3; ++light) {
    const size_t at = kOffsetLights + light * kLightSize;
    bytewriter::PutF32s(image, at, desc.lights[light].direction, 3);
    bytewriter::PutF32s(image, at + 12, desc.lights[light].colour, 3);
  }
  image.insert(image.end(), desc.trailer.begin(), desc.trailer.end());
  return image;
}

bool SaveLgt(const std::string& path, const LightDesc& desc) {
  return bytewriter::SaveBytes(path, Write(desc));
}

}  // namespace lgtwriter
