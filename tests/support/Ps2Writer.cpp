#include "tests/support/Ps2Writer.h"

#include <cstring>
#include <filesystem>
#include <fstream>

namespace ps2writer {

void PutWord(std::vector<uint8_t>* image, uint32_t word, uint32_t value) {
  const size_t at = size_t(word) * 4;
  if (at + 4 > image->size()) return;
  for (int i = 0; i < 4; ++i) (*image)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutFloat(std::vector<uint8_t>* image, uint32_t word, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  PutWord(image, word, bits);
}

namespace {

void PutFloats(std::vector<uint8_t>* image, uint32_t word, const float* values, int n) {
  for (int i = 0; i < n; ++i) PutFloat(image, word + i, values[i]);
}

}  // namespace

std::vector<uint8_t> WritePs2(const Template& t) {
  std::vector<uint8_t> image(kBlockSize, 0);
  PutWord(&image, kWordMaxParticles, t.maxParticles);
  PutFloat(&image, kWordEmitPerFrame, t.emitPerFrame);
  PutFloat(&image, kWordMaxLife, t.maxLife);
  PutFloat(&image, kWordLifeVariation, t.lifeVariation);
  PutFloats(&image, kWordPositionVariation, t.positionVariation, 4);
  PutFloats(&image, kWordColour, t.colour, 4);
  PutFloats(&image, kWordColourStep, t.colourStep, 4);
  PutFloats(&image, kWordPosition, t.position, 4);
  PutFloats(&image, kWordFriction, t.friction, 4);
  PutFloats(&image, kWordGravity, t.gravity, 4);
  PutFloats(&image, kWordVelocity, t.velocity, 4);
  PutFloats(&image, kWordAngle, t.angle, 4);
  PutFloats(&image, kWordAngleStep, t.angleStep, 4);
  PutFloats(&image, kWordScale, t.scale, 4);
  PutFloats(&image, kWordScaleStep, t.scaleStep, 4);
  PutFloats(&image, kWordAngleVariation, t.angleVariation, 4);
  PutFloats(&image, kWordVelocityVariation, t.velocityVariation, 4);
  PutWord(&image, kWordFlags, t.flags);
  PutFloat(&image, kWordEmitterLife, t.emitterLife);
  PutFloat(&image, kWordYaw, t.yaw);
  PutFloat(&image, kWordYawVariation, t.yawVariation);
  PutFloat(&image, kWordPitch, t.pitch);
  PutFloat(&image, kWordPitchVariation, t.pitchVariation);
  PutFloats(&image, kWordBoundsMin, t.boundsMin, 4);
  PutFloats(&image, kWordBoundsMax, t.boundsMax, 4);
  image.insert(image.end(), t.texture.begin(), t.texture.end());
  image.push_back(0);
  return image;
}

bool SavePs2(const std::string& path, const Template& t) {
  const std::vector<uint8_t> image = WritePs2(t);
  std::error_code error;
  const std::filesystem::path file(path);
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), error);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  return static_cast<bool>(out);
}

}  // namespace ps2writer
