#pragma once
// ".lgt" light file images for tests and for the demo data. Games load such a file whole and hand
// its first 88 bytes to a render window as the window's light record: the number of directional
// lights in use (0 to 3), the ambient colour, then three directional lights of direction and
// colour. The writer packs the words itself rather than borrowing the engine's record.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lgtwriter {

struct Light {
  float direction[3] = {0.0f, 0.0f, 0.0f};
  float colour[3] = {0.0f, 0.0f, 0.0f};
};

struct LightDesc {
  uint32_t count = 1;
  float ambient[3] = {0.5f, 0.5f, 0.5f};
  Light lights[3];
  // Bytes after the light record (the games read only the first 88).
  std::vector<uint8_t> trailer;
};

constexpr size_t kRecordSize = 88;
constexpr size_t kOffsetCount = 0;
constexpr size_t kOffsetAmbient = 4;
constexpr size_t kOffsetLights = 16;
constexpr size_t kLightSize = 24;

std::vector<uint8_t> Write(const LightDesc& desc);
// Write into a file (folders are created); false when it cannot be written.
bool SaveLgt(const std::string& path, const LightDesc& desc);

}  // namespace lgtwriter
